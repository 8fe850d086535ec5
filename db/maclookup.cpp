#include "db/maclookup.h"

#include "platform/neighbourtable.h"

#include <QStringList>
#include <QtEndian>

namespace db {

namespace {

// Six bytes, not all 0xFF and not starting with four zero bytes: what no real interface has.
bool usable(const QByteArray& hw) {
    return hw.size() == 6 && hw != QByteArray(6, '\xFF') && !hw.startsWith(QByteArray(4, '\0'));
}

} // namespace

quint32 ConvertIPToLong(const QString& text) {
    const std::optional<Ipv4Address> a = Ipv4Address::parse(text);
    return a ? qToBigEndian(a->toHostOrder()) : 0xFFFFFFFFu;
}

QString FormatMAC(const QByteArray& bytes, const QString& delim) {
    if (bytes.size() != 6)
        return QString();
    QStringList pairs;
    for (char b : bytes)
        pairs.append(QStringLiteral("%1").arg(uint(uchar(b)), 2, 16, QLatin1Char('0')).toUpper());
    return pairs.join(delim);
}

bool GetRemoteMAC(const QString& ip, QString& mac, const QString& delim,
                  QString* sRemoteMacAddress2) {
    const quint32 address = qFromBigEndian(ConvertIPToLong(ip));
    // 0.0.0.0, no address, or the broadcast address: nothing can answer for them.
    if (address == 0 || address == 0xFFFFFFFFu)
        return false;
    platform::NeighbourTable& table = platform::neighbourTable();
    const QByteArray hw = table.lookup({address}).value(address);
    if (!usable(hw)) {
        table.solicit(address);
        return false;
    }
    mac = FormatMAC(hw, delim);
    if (sRemoteMacAddress2)
        *sRemoteMacAddress2 = mac;
    return true;
}

QHash<Ipv4Address, QString> lookUpMacs(const QList<Ipv4Address>& addresses) {
    QList<quint32> wanted;
    wanted.reserve(addresses.size());
    for (Ipv4Address a : addresses)
        if (!a.isAny() && !a.isBroadcast())
            wanted.append(a.toHostOrder());
    const platform::HardwareAddresses found = platform::neighbourTable().lookup(wanted);
    QHash<Ipv4Address, QString> macs;
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        if (usable(*it))
            macs.insert(Ipv4Address(it.key()), FormatMAC(*it, QStringLiteral(":")));
    return macs;
}

void solicitMac(Ipv4Address address) {
    if (!address.isAny() && !address.isBroadcast())
        platform::neighbourTable().solicit(address.toHostOrder());
}

} // namespace db
