// Times the INI store on a database of 1,000 decoder records (18 entries each): reads and
// writes with the parsed copy, beside the same calls parsing the file every time.
#include "db/inistore.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString section(int i) {
    return QStringLiteral("%1").arg(0x001A2B000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
}

void fill(const QString& path) {
    db::CreateEmptyIniFile(path);
    // Build the file in one go through a single record write per section.
    for (int i = 0; i < 1000; ++i) {
        db::WriteEntriesToINI(section(i),
                              {{"name", "DECODER         "},
                               {"ip", "192.168.1.91"},
                               {"mask", "255.255.255.0"},
                               {"gw", "192.168.1.1"},
                               {"input", "0"},
                               {"type", "1"},
                               {"tx", "1"},
                               {"multi", "239.255.255.239"},
                               {"role", "2"},
                               {"sn", QString::number(1000 + i)},
                               {"ver", "2.00"},
                               {"sfn", "0"},
                               {"buf", "1"},
                               {"att", "14"},
                               {"sdm", "0"},
                               {"sdl", "37"},
                               {"sdt", "43"},
                               {"llo", "0"}},
                              path);
    }
}

void run(const char* label, const QString& path) {
    QElapsedTimer t;
    t.start();
    qint64 sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum += db::ReadFromINI(section((i * 7) % 1000), "sdl", path).size();
    const double reads = t.nsecsElapsed() / 1e6;
    t.restart();
    for (int i = 0; i < 100; ++i)
        db::WriteToINI(section((i * 13) % 1000), "att", QString::number(14 + i), path);
    const double writes = t.nsecsElapsed() / 1e6;
    std::printf("%-22s 1000 ReadFromINI: %9.2f ms   100 WriteToINI: %9.2f ms  (%lld)\n", label,
                reads, writes, static_cast<long long>(sum));
}

} // namespace

int main() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    fill(path);
    std::printf("nms.ini: 1000 sections of 18 entries\n");
    db::inistore_testing::setCacheEnabled(true);
    run("parsed copy", path);
    db::inistore_testing::setCacheEnabled(false);
    run("re-parse every call", path);
    std::printf("target: 1000 reads under 50 ms with the parsed copy\n");
    return 0;
}
