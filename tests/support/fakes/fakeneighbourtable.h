#pragma once
// A neighbour table held in a map. An entry added as "when solicited" appears once the station
// has asked for it, as a real one does after its ARP exchange.
#include "fakes/installed.h"
#include "platform/neighbourtable.h"

#include <QSet>

namespace platform {

class FakeNeighbourTable : public Installed<NeighbourTable> {
public:
    HardwareAddresses lookup(const QList<quint32>& addresses) override {
        ++lookups;
        asked += addresses;
        HardwareAddresses found;
        for (quint32 a : addresses)
            if (entries.contains(a))
                found.insert(a, entries.value(a));
        return found;
    }
    void solicit(quint32 address) override {
        solicited.append(address);
        if (afterSolicit.contains(address))
            entries.insert(address, afterSolicit.take(address));
    }

    // address in host byte order -> raw hardware bytes
    void add(quint32 address, const QByteArray& hardware) { entries.insert(address, hardware); }
    void addWhenSolicited(quint32 address, const QByteArray& hardware) {
        afterSolicit.insert(address, hardware);
    }

    HardwareAddresses entries, afterSolicit;
    int lookups = 0;
    QList<quint32> asked, solicited;
};

} // namespace platform
