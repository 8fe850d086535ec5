#include "db/elementlist.h"

#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"

#include <QFileInfo>
#include <QSet>

namespace db {

namespace {

bool isSectionOfMac(const QString& name) {
    if (name.size() != 12)
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

} // namespace

ElementList BuildElementList(const QString& nmsIniPath) {
    ElementList list;
    if (!QFileInfo::exists(nmsIniPath)) {
        list.empty = ElementList::Empty::MissingFile;
        return list;
    }
    LoadIniSectionsLB(list.hidden, nmsIniPath);
    if (list.hidden.isEmpty()) {
        list.empty = ElementList::Empty::NoSections;
        return list;
    }
    // Walk a copy: the names of this moment, whatever happens to the file meanwhile.
    const QStringList names = list.hidden;
    QSet<QString> seen;
    for (const QString& section : names) {
        // Only sections named by a MAC make nodes; a name differing only in case is the
        // same section to the store, so it is listed once.
        if (!isSectionOfMac(section))
            continue;
        const QString key = Decode_MAC(section);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        const std::optional<qint64> role =
            ParseDecimal(ReadFromINI(section, keys::role, nmsIniPath));
        const QString name = ReadFromINI(section, keys::name, nmsIniPath);
        ElementNode node{key, name + QStringLiteral(" [") + key + QLatin1Char(']'),
                         role && *role == 1};
        if (node.encoder)
            list.encoders.append(node.text);
        list.nodes.append(node);
    }
    return list;
}

} // namespace db
