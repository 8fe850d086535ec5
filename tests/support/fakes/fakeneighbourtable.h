#pragma once
// A neighbour table held in a map, which records what it was asked.
#include "fakes/installed.h"
#include "platform/neighbourtable.h"

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
    void solicit(quint32) override {}

    // address in host byte order -> raw hardware bytes
    void add(quint32 address, const QByteArray& hardware) { entries.insert(address, hardware); }

    HardwareAddresses entries;
    int lookups = 0;
    QList<quint32> asked;
};

} // namespace platform
