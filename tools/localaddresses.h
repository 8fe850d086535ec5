#pragma once
// The IPv4 addresses of this network namespace and the interfaces that hold them, read and
// changed through rtnetlink: an element finds its interface and network here, and moves to a
// new address as a real one does after a configuration.
#include <QHash>
#include <QString>

#include <optional>

namespace emulator {

struct LocalAddress {
    int interfaceIndex = 0;
    int prefixLength = 32;
};

// Every local IPv4 address (host order); nullopt with a message when netlink fails.
std::optional<QHash<quint32, LocalAddress>> readLocalAddresses(QString* error);

// Whether address lies in the network of the interface address `of` with its prefix, and is
// neither that network's own address nor its broadcast address.
bool isHostInNetwork(quint32 address, quint32 of, int prefixLength);

// Puts `to` in place of `from` on the interface, with the same prefix.
bool replaceAddress(const LocalAddress& where, quint32 from, quint32 to, QString* error);

} // namespace emulator
