// libFuzzer entry: the element emulator's parsers: the configuration datagram it applies, its
// "set delay" datagram, and the texts of its --stats and address options. What they take
// changes exactly the fields of the layout; what they refuse changes nothing.
#include "fuzz/invariant.h"
#include "tools/elementstate.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace emulator;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    ElementState s;
    s.role = 2;
    const QByteArray old = s.feedback();
    const bool applied = s.applyConfiguration(bytes);
    require(applied == (size == 37 || size == 41), "configuration is 37 or 41 bytes");
    const QByteArray now = s.feedback();
    if (!applied) {
        require(now == old, "a refused configuration changes nothing");
    } else {
        require(now.left(19) == bytes.left(19), "addresses and audio bytes as sent");
        require(now.mid(19, 16) == bytes.mid(20, 16), "name as sent");
        require(at(now, 43) == at(bytes, 19), "SFN flag");
        require(at(now, 53) == at(bytes, int(size) - 1), "low latency is the last byte");
        require(now.mid(35, 5) == old.mid(35, 5), "role and serial number stay");
    }

    ElementState d;
    const QByteArray oldStatus = d.statusReply();
    const bool set = d.applySet(bytes);
    require(set == (size == 6 && data[0] == 'S'), "set delay is 'S' and five bytes");
    const QByteArray status = d.statusReply();
    if (set)
        require(status.mid(52, 4) == bytes.mid(1, 4) && at(status, 60) == data[5],
                "delay and servo flag as sent");
    else
        require(status == oldStatus, "a refused set changes nothing");

    const QString text = QString::fromLatin1(bytes);
    StatusCounters c;
    QString error;
    if (!parseStats(text, &c, &error))
        require(!error.isEmpty(), "a refused --stats says why");
    Address a{1, 2, 3, 4};
    Address back{};
    if (parseAddress(text, &a))
        require(parseAddress(addressText(a), &back) && back == a, "an address reads back");
    else
        require(a == (Address{1, 2, 3, 4}), "a refused address changes nothing");
    return 0;
}
