#pragma once
// The MAC address behind an element's IPv4 address, from the kernel's neighbour table.
#include <QByteArray>
#include <QString>

namespace db {

// Dotted text to the address as inet_addr gives it (network byte order in memory):
// 0.0.0.0 -> 0, a text that is no address -> 0xFFFFFFFF. Strict decimal pieces only.
quint32 ConvertIPToLong(const QString& text);
// Six bytes as upper-case hexadecimal pairs joined by delim; "" for any other length.
QString FormatMAC(const QByteArray& bytes, const QString& delim);
// True when a usable hardware address was found; it is then written into mac and, when
// given, into *sRemoteMacAddress2. Otherwise nothing is changed.
bool GetRemoteMAC(const QString& ip, QString& mac, const QString& delim,
                  QString* sRemoteMacAddress2 = nullptr);

} // namespace db
