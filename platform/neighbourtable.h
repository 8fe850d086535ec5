#pragma once
#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace platform {

// Address resolution: the hardware address the kernel holds for an on-link IPv4
// address (host byte order). Only complete entries count; when there is none a small
// datagram starts resolution and the table is polled for about a second.
class NeighbourTable {
public:
    virtual ~NeighbourTable() = default;
    virtual std::optional<QByteArray> resolve(quint32 address) = 0;
};

// The kernel's table (netlink, /proc/net/arp when netlink is unavailable).
class KernelNeighbourTable : public NeighbourTable {
public:
    explicit KernelNeighbourTable(int giveUpMs = 1000, int pollMs = 10);
    std::optional<QByteArray> resolve(quint32 address) override;

private:
    std::optional<QByteArray> lookup(quint32 address) const;
    int m_giveUpMs;
    int m_pollMs;
};

// The readers of the two table formats, apart so they can be tested on known bytes.
// Both return the hardware address of the first complete entry for the address.
std::optional<QByteArray> findInNeighbourDump(const QByteArray& netlinkMessages, quint32 address);
std::optional<QByteArray> findInProcArp(const QByteArray& procNetArp, quint32 address);

NeighbourTable& neighbourTable();
void setNeighbourTable(NeighbourTable* table);

} // namespace platform
