#include "db/records.h"

#include "db/sharedfunctions.h"

namespace db {

QString Encode_MAC(const QString& srcMAC) {
    if (srcMAC.size() != 17)
        return QString();
    QString s = srcMAC;
    s.remove(QLatin1Char(':'));
    return upperLatin1(s);
}

QString Decode_MAC(const QString& sectionName) {
    if (sectionName.size() != 12)
        return QString();
    const QString upper = upperLatin1(sectionName);
    QString out;
    out.reserve(17);
    for (int i = 0; i < 12; i += 2) {
        if (i > 0)
            out.append(QLatin1Char(':'));
        out.append(upper.mid(i, 2));
    }
    return out;
}

} // namespace db
