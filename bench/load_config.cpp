// Times the element list over 1,000 records, with the parsed copy and re-parsing per read,
// and the building of that database.
#include "bench/benchdatabase.h"
#include "db/elementlist.h"
#include "db/inistore.h"

#include "app/station.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    QElapsedTimer fill;
    fill.start();
    bench::FillDatabase(
        path, 1000, [](int i) { return QStringLiteral("ELEMENT %1").arg(i, 4); },
        [](int i) { return QString::fromLatin1(i % 2 ? "2" : "1"); });
    std::printf("building the database (CreateEmptyIniFile, one WriteSectionsToINI of 1000 "
                "sections): %9.2f ms\n",
                fill.nsecsElapsed() / 1e6);
    for (bool cached : {true, false}) {
        db::inistore_testing::setCacheEnabled(cached);
        QElapsedTimer t;
        t.start();
        const db::ElementList l = db::BuildElementList(path);
        std::printf("%-22s BuildElementList of 1000 sections (names and reads only): %9.2f ms "
                    "(%lld nodes, %lld encoders)\n",
                    cached ? "parsed copy" : "re-parse every call", t.nsecsElapsed() / 1e6,
                    static_cast<long long>(l.nodes.size()),
                    static_cast<long long>(l.encoders.size()));
    }
    // The whole rebuild as the window runs it: list, tree nodes, encoder list, events.
    db::inistore_testing::setCacheEnabled(true);
    platform::setProgramDirectory(dir.path());
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    app::Station station;
    QElapsedTimer t;
    t.start();
    station.Load_Config();
    std::printf(
        "%-22s Load_Config of 1000 sections (one parse, list, tree, encoder list, events): %9.2f "
        "ms\n",
        "station window", t.nsecsElapsed() / 1e6);
    std::printf("target: under 100 ms with the parsed copy\n");
    return 0;
}
