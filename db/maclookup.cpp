#include "db/maclookup.h"

#include "db/sharedfunctions.h"
#include "platform/neighbourtable.h"

#include <QtEndian>

namespace db {

quint32 ConvertIPToLong(const QString& text) {
    if (!Validate_IP(text))
        return 0xFFFFFFFFu;
    return qToBigEndian(IPToHostOrder(text));
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
    const quint32 address = ConvertIPToLong(ip);
    // 0.0.0.0, no address, or the broadcast address: nothing can answer for them.
    if (address == 0 || address == 0xFFFFFFFFu)
        return false;
    const std::optional<QByteArray> hw =
        platform::neighbourTable().resolve(qFromBigEndian(address));
    if (!hw || hw->size() != 6)
        return false;
    if (*hw == QByteArray(6, '\0') || *hw == QByteArray(6, '\xFF'))
        return false;
    const QString text = FormatMAC(*hw, delim);
    mac = text;
    if (sRemoteMacAddress2)
        *sRemoteMacAddress2 = text;
    return true;
}

} // namespace db
