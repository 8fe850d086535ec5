// libFuzzer entry: the order of the local address table over any list of addresses (the
// system hands the table over as structures; this is what the station makes of them).
// Ascending, loopback last, each address once, every one a dotted address of the input.
#include "fuzz/invariant.h"
#include "platform/localaddresses.h"

#include <QHostAddress>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QList<quint32> input;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        quint32 a = 0;
        std::memcpy(&a, data + i, 4);
        input.append(a);
    }
    const QStringList shown = platform::orderLocalAddresses(input);
    const QSet<quint32> distinct(input.cbegin(), input.cend());
    require(shown.size() == distinct.size(), "each address once");
    bool loopbackSeen = false;
    quint32 previous = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QHostAddress parsed;
        require(parsed.setAddress(shown[i]) && parsed.protocol() == QAbstractSocket::IPv4Protocol &&
                    parsed.toString() == shown[i],
                "a plain dotted address");
        const quint32 a = parsed.toIPv4Address();
        require(distinct.contains(a), "only addresses of the table");
        const bool loopback = (a >> 24) == 127;
        require(!loopbackSeen || loopback, "loopback addresses last");
        if (i > 0 && loopback == loopbackSeen)
            require(a > previous, "ascending");
        loopbackSeen = loopback;
        previous = a;
    }
    return 0;
}
