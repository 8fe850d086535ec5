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
// clock starts); the best of three.
double bulkWriteMs(const QString& path, int count) {
    const auto r = records(count);
    double best = -1;
    for (int run = 0; run < 3; ++run) {
        db::createEmptyIniFile(path);
        QElapsedTimer t;
        t.start();
        const bool ok = db::writeSections(r, path);
        const double ms = t.nsecsElapsed() / 1e6;
        if (ok && (best < 0 || ms < best))
            best = ms;
    }
    return best;
}

using db::inistore_testing::WriteStage;
constexpr int kStages = int(WriteStage::DirectorySynced) + 1;

struct Figures {
    double bulk[4];
    double reads;
    double writeMean;
    double writeMax;
    double smallWriteMean;   // the same on a file of one section: what the disk alone costs
    double stageMs[kStages]; // mean time up to each stage of the write from the one before
    qint64 sum;
};
const int kBulkCounts[4] = {100, 500, 1000, 2000};

Figures measure(const QString& dir, bool parsedCopy) {
    db::inistore_testing::setCacheEnabled(parsedCopy);
    Figures f{};
    for (int i = 0; i < 4; ++i)
        f.bulk[i] = bulkWriteMs(dir + QStringLiteral("/bulk.ini"), kBulkCounts[i]);
    const QString path = dir + QStringLiteral("/nms.ini");
    db::createEmptyIniFile(path);
    db::writeSections(records(1000), path);
    db::ReadFromINI(bench::SectionName(0), "sdl", path); // the parsed copy is in place
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 1000; ++i)
        f.sum += db::ReadFromINI(bench::SectionName((i * 7) % 1000), "sdl", path).size();
    f.reads = t.nsecsElapsed() / 1e6;
    double total = 0;
    qint64 lastNs = 0;
    db::inistore_testing::setWriteHook([&](WriteStage stage) {
        const qint64 now = t.nsecsElapsed();
        f.stageMs[int(stage)] += (now - lastNs) / 1e6 / 100;
        lastNs = now;
        return true;
    });
    for (int i = 0; i < 100; ++i) {
        t.restart();
        lastNs = 0;
        db::WriteToINI(bench::SectionName((i * 13) % 1000), "att", QString::number(14 + i), path);
        const double ms = t.nsecsElapsed() / 1e6;
        total += ms;
        f.writeMax = qMax(f.writeMax, ms);
    }
    db::inistore_testing::setWriteHook({});
    f.writeMean = total / 100;
    const QString small = dir + QStringLiteral("/small.ini");
    db::writeSections(records(1), small);
    t.restart();
    for (int i = 0; i < 100; ++i)
        db::WriteToINI(bench::SectionName(0), "att", QString::number(14 + i), small);
    f.smallWriteMean = t.nsecsElapsed() / 1e6 / 100;
    return f;
}

void row(const QString& label, const char* target, double parsedCopy, double reparse) {
    std::printf("%-82s %-9s %9.2f ms %9.2f ms\n", qPrintable(label), target, parsedCopy, reparse);
}

} // namespace

int main() {
    QTemporaryDir dir;
    const Figures cached = measure(dir.path(), true);
    const Figures baseline = measure(dir.path(), false);
    std::printf("%-92s %12s %12s\n", "nms.ini of 18-entry decoder records", "parsed copy",
                "re-parse");
    for (int i = 0; i < 4; ++i)
        row(QStringLiteral(
                "one WriteSectionsToINI of %1 new sections into an empty file, best of 3")
                .arg(kBulkCounts[i]),
            kBulkCounts[i] == 1000 ? "(< 50 ms)" : "", cached.bulk[i], baseline.bulk[i]);
    row(QStringLiteral("1000 ReadFromINI on 1000 sections, all together"), "(< 50 ms)",
        cached.reads, baseline.reads);
    row(QStringLiteral("one WriteToINI of one key on 1000 sections, mean of 100 calls"), "(< 5 ms)",
        cached.writeMean, baseline.writeMean);
    row(QStringLiteral("one WriteToINI of one key on 1000 sections, slowest of the 100"), "",
        cached.writeMax, baseline.writeMax);
    const auto stage = [&](const char* label, std::initializer_list<WriteStage> stages) {
        double a = 0, b = 0;
        for (WriteStage s : stages) {
            a += cached.stageMs[int(s)];
            b += baseline.stageMs[int(s)];
        }
        row(QStringLiteral("  of the mean: ") + QLatin1String(label), "", a, b);
    };
    stage("read or parsed copy, change, serialize, temp file made",
          {WriteStage::Begun, WriteStage::TempCreated});
    stage("temp file written", {WriteStage::Written});
    stage("fsync of the temp file", {WriteStage::Synced});
    stage("close and rename over nms.ini", {WriteStage::BeforeRename, WriteStage::Renamed});
    stage("fsync of the directory, parsed copy kept", {WriteStage::DirectorySynced});
    row(QStringLiteral("one WriteToINI of one key on 1 section, mean of 100 calls"), "",
        cached.smallWriteMean, baseline.smallWriteMean);
    std::printf("(checksum %lld %lld)\n", static_cast<long long>(cached.sum),
                static_cast<long long>(baseline.sum));
    return 0;
}
