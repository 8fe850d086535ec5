// Times the element list over 1,000 records, with the parsed copy and re-parsing per read.
#include "db/elementlist.h"
#include "db/inistore.h"

#include "app/station.h"
#include "platform/fakes/memorysettings.h"
#include "platform/fakes/scriptedmessagebox.h"
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
    db::CreateEmptyIniFile(path);
    for (int i = 0; i < 1000; ++i) {
        const QString s =
            QStringLiteral("%1").arg(0x001A2B000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
        db::IniEntries e{{"name", QStringLiteral("ELEMENT %1").arg(i, 4)},
                         {"ip", "192.168.1.91"},
                         {"mask", "255.255.255.0"},
                         {"gw", "192.168.1.1"},
                         {"input", "0"},
                         {"type", "1"},
                         {"tx", "1"},
                         {"multi", "239.255.255.239"},
                         {"role", i % 2 ? "2" : "1"},
                         {"sn", QString::number(i)},
                         {"ver", "2.00"},
                         {"sfn", "0"},
                         {"buf", "1"},
                         {"att", "14"},
                         {"sdm", "0"},
                         {"sdl", "37"},
                         {"sdt", "43"},
                         {"llo", "0"}};
        db::WriteEntriesToINI(s, e, path);
    }
    for (bool cached : {true, false}) {
        db::inistore_testing::setCacheEnabled(cached);
        QElapsedTimer t;
        t.start();
        const db::ElementList l = db::BuildElementList(path);
        std::printf("%-22s BuildElementList of 1000 sections: %9.2f ms (%lld nodes, %lld "
                    "encoders)\n",
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
    std::printf("%-22s Load_Config of 1000 sections:      %9.2f ms\n", "station window",
                t.nsecsElapsed() / 1e6);
    std::printf("target: under 100 ms with the parsed copy\n");
    return 0;
}
