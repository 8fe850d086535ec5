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

NeighbourTable& neighbourTable();
void setNeighbourTable(NeighbourTable* table);

} // namespace platform
