// Times the INI store on a database of 1,000 decoder records (18 entries each): reads and
// writes with the parsed copy, beside the same calls parsing the file every time.
#include "bench/benchdatabase.h"
#include "db/inistore.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void fill(const QString& path) {
    bench::FillDatabase(
        path, 1000, [](int) { return QStringLiteral("DECODER         "); },
        [](int) { return QStringLiteral("2"); });
}

void run(const char* label, const QString& path) {
    QElapsedTimer t;
    t.start();
    qint64 sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum += db::ReadFromINI(bench::SectionName((i * 7) % 1000), "sdl", path).size();
    const double reads = t.nsecsElapsed() / 1e6;
    t.restart();
    for (int i = 0; i < 100; ++i)
        db::WriteToINI(bench::SectionName((i * 13) % 1000), "att", QString::number(14 + i), path);
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
