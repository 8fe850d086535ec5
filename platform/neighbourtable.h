#pragma once
// Address resolution: the hardware addresses the kernel's neighbour table holds for on-link
// IPv4 addresses. Nothing here waits: a lookup reads the table as it is, and an address the
// table lacks can be solicited, so that its entry is there at a later lookup.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QtGlobal>

namespace platform {

using HardwareAddresses = QHash<quint32, QByteArray>; // IPv4 (host order) -> hardware bytes

class NeighbourTable {
public:
    virtual ~NeighbourTable() = default;
    // The complete entries for these addresses now, from one reading of the table. Addresses
    // no neighbour can have (0/8, 127/8, multicast, broadcast) are never in it.
    virtual HardwareAddresses lookup(const QList<quint32>& addresses) = 0;
    // Starts resolution of the address: one small datagram makes the kernel ask for it.
    virtual void solicit(quint32 address) = 0;
};

// The kernel's table (netlink, /proc/net/arp when netlink is unavailable).
class KernelNeighbourTable : public NeighbourTable {
public:
    HardwareAddresses lookup(const QList<quint32>& addresses) override;
    void solicit(quint32 address) override;
};

// The readers of the two table formats, apart so they can be tested on known bytes. Each
// gives the first complete entry of every address in the table.
HardwareAddresses neighboursInDump(const QByteArray& netlinkMessages);
HardwareAddresses neighboursInProcArp(const QByteArray& procNetArp);
bool neverOnLink(quint32 address);

NeighbourTable& neighbourTable();
void setNeighbourTable(NeighbourTable* table);

} // namespace platform
