// libFuzzer entry: the two readers of the kernel's neighbour table (the netlink dump and the
// text of /proc/net/arp) over any bytes. A hardware address they return comes from a complete
// entry of the asked address, and a valid entry behind the fuzzed text is still found.
#include "platform/neighbourtable.h"
#include "fuzz/invariant.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr quint32 kAsked = 0xC000020Au; // 192.0.2.10
const QByteArray kAskedText("192.0.2.10");
const QByteArray kMac = QByteArray::fromHex("02000000000a");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The netlink dump: whatever it returns is bytes of the dump.
    const platform::HardwareAddresses dump = platform::neighboursInDump(bytes);
    for (const QByteArray& hw : dump)
        require(!hw.isEmpty() && bytes.contains(hw), "hardware address out of the dump");

    // The text table.
    const platform::HardwareAddresses table = platform::neighboursInProcArp(bytes);
    const bool mentioned = bytes.contains(kAskedText);
    const QByteArray found = table.value(kAsked);
    require(found.isNull() || (mentioned && !found.isEmpty() && found.size() <= bytes.size() / 2),
            "a hardware address only for a row of the asked address");
    // A complete row appended after the fuzzed text is found unless an earlier row answered.
    const QByteArray row = "\n192.0.2.10 0x1 0x2 02:00:00:00:00:0a * eth0\n";
    const QByteArray behind = platform::neighboursInProcArp(bytes + row).value(kAsked);
    require(!behind.isEmpty(), "a complete row is found");
    if (!mentioned)
        require(behind == kMac, "the appended row's address");
    else if (!found.isNull())
        require(behind == found, "the first complete row wins");
    return 0;
}
