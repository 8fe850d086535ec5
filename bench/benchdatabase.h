#pragma once
// The nms.ini the benchmarks measure on: decoder-sized records (18 entries), section names
// counting up from one MAC, written in one rewrite.
#include "db/inistore.h"

#include <functional>

namespace bench {

inline QString SectionName(int i) {
    return QStringLiteral("%1").arg(0x001A2B000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
}

// name(i) and role(i) give each record its own name and role.
inline QList<QPair<QString, db::IniEntries>> Records(int count,
                                                     const std::function<QString(int)>& name,
                                                     const std::function<QString(int)>& role) {
    QList<QPair<QString, db::IniEntries>> records;
    for (int i = 0; i < count; ++i)
        records.append({SectionName(i),
                        {{"name", name(i)},
                         {"ip", "192.168.1.91"},
                         {"mask", "255.255.255.0"},
                         {"gw", "192.168.1.1"},
                         {"input", "0"},
                         {"type", "1"},
                         {"tx", "1"},
                         {"multi", "239.255.255.239"},
                         {"role", role(i)},
                         {"sn", QString::number(1000 + i)},
                         {"ver", "2.00"},
                         {"sfn", "0"},
                         {"buf", "1"},
                         {"att", "14"},
                         {"sdm", "0"},
                         {"sdl", "37"},
                         {"sdt", "43"},
                         {"llo", "0"}}});
    return records;
}

inline void FillDatabase(const QString& path, int count, const std::function<QString(int)>& name,
                         const std::function<QString(int)>& role) {
    db::createEmptyIniFile(path);
    db::writeSections(Records(count, name, role), path);
}

} // namespace bench
