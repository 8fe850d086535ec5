// Times the INI store on nms.ini files of decoder records (18 entries each). Every figure is
// printed twice: with the parsed copy the store keeps ("parsed copy"), and with the store
// parsing the file again on every call ("re-parse", the baseline). A write's clock covers
// the whole call: reading the file (or using the parsed copy), the change, the temporary
// file written and fsynced, the rename and the fsync of the directory.
#include "bench/benchdatabase.h"
#include "db/inistore.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QList<QPair<QString, db::IniEntries>> records(int count) {
    return bench::Records(
        count, [](int) { return QStringLiteral("DECODER         "); },
        [](int) { return QStringLiteral("2"); });
}

// One WriteSectionsToINI of count new sections into an empty file (made empty before the
// clock starts).
double bulkWriteMs(const QString& path, int count) {
    const auto r = records(count);
    db::CreateEmptyIniFile(path);
    QElapsedTimer t;
    t.start();
    const bool ok = db::WriteSectionsToINI(r, path);
    const double ms = t.nsecsElapsed() / 1e6;
    return ok ? ms : -1;
}

struct Figures {
    double bulk[4];
    double reads;
    double writeMean;
    double writeMax;
    qint64 sum;
};
const int kBulkCounts[4] = {100, 500, 1000, 2000};

Figures measure(const QString& dir, bool parsedCopy) {
    db::inistore_testing::setCacheEnabled(parsedCopy);
    Figures f{};
    for (int i = 0; i < 4; ++i)
        f.bulk[i] = bulkWriteMs(dir + QStringLiteral("/bulk.ini"), kBulkCounts[i]);
    const QString path = dir + QStringLiteral("/nms.ini");
    db::CreateEmptyIniFile(path);
    db::WriteSectionsToINI(records(1000), path);
    db::ReadFromINI(bench::SectionName(0), "sdl", path); // the parsed copy is in place
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 1000; ++i)
        f.sum += db::ReadFromINI(bench::SectionName((i * 7) % 1000), "sdl", path).size();
    f.reads = t.nsecsElapsed() / 1e6;
    double total = 0;
    for (int i = 0; i < 100; ++i) {
        t.restart();
        db::WriteToINI(bench::SectionName((i * 13) % 1000), "att", QString::number(14 + i), path);
        const double ms = t.nsecsElapsed() / 1e6;
        total += ms;
        f.writeMax = qMax(f.writeMax, ms);
    }
    f.writeMean = total / 100;
    return f;
}

void row(const QString& label, const char* target, double parsedCopy, double reparse) {
    std::printf("%-66s %-9s %9.2f ms %9.2f ms\n", qPrintable(label), target, parsedCopy, reparse);
}

} // namespace

int main() {
    QTemporaryDir dir;
    const Figures cached = measure(dir.path(), true);
    const Figures baseline = measure(dir.path(), false);
    std::printf("%-76s %12s %12s\n", "nms.ini of 18-entry decoder records", "parsed copy",
                "re-parse");
    for (int i = 0; i < 4; ++i)
        row(QStringLiteral("one WriteSectionsToINI of %1 new sections into an empty file")
                .arg(kBulkCounts[i]),
            kBulkCounts[i] == 1000 ? "(< 50 ms)" : "", cached.bulk[i], baseline.bulk[i]);
    row(QStringLiteral("1000 ReadFromINI on 1000 sections, all together"), "(< 50 ms)",
        cached.reads, baseline.reads);
    row(QStringLiteral("one WriteToINI of one key on 1000 sections, mean of 100 calls"), "(< 5 ms)",
        cached.writeMean, baseline.writeMean);
    row(QStringLiteral("one WriteToINI of one key on 1000 sections, slowest of the 100"), "",
        cached.writeMax, baseline.writeMax);
    std::printf("(checksum %lld %lld)\n", static_cast<long long>(cached.sum),
                static_cast<long long>(baseline.sum));
    return 0;
}
