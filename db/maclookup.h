#pragma once
// The MAC address behind an element's IPv4 address, from the kernel's neighbour table. Nothing
// here waits: an address the table lacks is solicited, and found by a later lookup.
#include "platform/ipv4address.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace db {

using platform::Ipv4Address;

// Dotted text to the address as inet_addr gives it (network byte order in memory):
// 0.0.0.0 -> 0, a text that is no address -> 0xFFFFFFFF. Strict decimal pieces only.
quint32 ConvertIPToLong(const QString& text);
// Six bytes as upper-case hexadecimal pairs joined by delim; "" for any other length.
QString FormatMAC(const QByteArray& bytes, const QString& delim);
// True when the table holds a usable hardware address for ip now; it is then written into mac
// and, when given, into *sRemoteMacAddress2. Otherwise nothing is changed and the address is
// solicited, so that a later call can find it.
bool GetRemoteMAC(const QString& ip, QString& mac, const QString& delim,
                  QString* sRemoteMacAddress2 = nullptr);

// The MAC texts (":" between pairs) of the addresses the table holds, from one reading of it.
QHash<Ipv4Address, QString> lookUpMacs(const QList<Ipv4Address>& addresses);
// Makes the kernel ask for an address, so that a later lookup can find it.
void solicitMac(Ipv4Address address);

} // namespace db
