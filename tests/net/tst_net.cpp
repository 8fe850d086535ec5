// The whole station on a real network of namespaces: emulated elements answer its broadcasts,
// uploads and diagnostics, and the kernel's neighbour table, address table and ICMP echo are
// the real ones. Each test builds its own rig and enters the station's namespace before any
// socket exists. The last tests check the emulator's own options that the station's
// transactions do not reach.
#include "support/netnsrig.h"
#include "support/stationfixture.h"

#include "db/frmTreeView.h"
#include "diag/vumeter.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "platform/udpendpoint.h"
#include "protocol/discovery.h"
#include "protocol/upload.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>

using namespace testsupport;

namespace {

// Program arguments, '|' between them.
QStringList args(const QString& text) {
    return text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

const QString kStation = QStringLiteral("192.0.2.1");
const QString kEncoderMac = QStringLiteral("02:00:00:00:00:10");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:11");
const QString kEncoderArgs =
    "--role|encoder|--name|Studio 1|--serial|4242|--gw|192.0.2.254|--remote|192.0.2.20|--input|1|"
    "--type|0|--tx|1|--version|3.7|--sfn|1|--buffer|5|--llo|1|--quiet|";
const QString kDecoderArgs =
    "--role|decoder|--name|TX SITE NORTH|--serial|2002|--remote|239.1.2.3|--type|1|--tx|1|--att|"
    "200|--version|2.4|--sfn|1|--buffer|5|--sdm|2|--sdl|30|--sdt|60|--llo|0|--quiet|--stats|txok="
    "10,rxok=20,txerr=3,rxerr=4,ptpok=5,ptperr=1,clk=-120,meas=1000,audok=100,auderr=2,avg=100000,"
    "min=90000,max=110000,add=25000|";
// What discovery stores for the two emulators above.
const QByteArray kEncoderSection =
    "[020000000010]\r\nNAME=STUDIO 1        \r\nIP=192.0.2.10\r\nMASK=255.255.255.0\r\n"
    "GW=192.0.2.254\r\nINPUT=1\r\nTYPE=0\r\nTX=1\r\nMULTI=192.0.2.20\r\nROLE=1\r\nSN=4242\r\n"
    "VER=3.7\r\nSFN=1\r\nBUF=5\r\nLLO=1\r\n";
const QByteArray kDecoderSection =
    "[020000000011]\r\nNAME=TX SITE NORTH   \r\nIP=192.0.2.11\r\nMASK=255.255.255.0\r\n"
    "GW=0.0.0.0\r\nINPUT=0\r\nTYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
    "VER=2.4\r\nSFN=1\r\nBUF=5\r\nATT=200\r\nSDM=2\r\nSDL=30\r\nSDT=60\r\nLLO=0\r\n";
const QByteArray kBoth = kEncoderSection + kDecoderSection;

// The texts of the boxes a transaction shows.
const QHash<QString, QString> kBoxes{
    {"missing",
     "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network."},
    {"empty",
     "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network."},
    {"question",
     "Performing an 'Auto Discovery' will delete the local database in your computer "
     "and create a new one, based on the Network Elements found (if any). \rAre you sure?"},
    {"read-only", "Unable to create the local database.\rAuto Discovery aborted."},
    {"no-mac", "An error occured while retrieving 'Element MAC':\rFeedback is corrupted."},
    {"send", "This configuration will be sent to selected Network Element and\rwill also be saved "
             "to local database in your computer. \rAre you sure?"},
    {"saved", "New configuration has been sucessfuly saved and loaded!"},
    {"wrong-name", "An error occured while saving 'Element Name':\rFeedback is corrupted."},
    {"unsaved", "There are unsaved parameters. Don't forget to click the 'Save' button."},
    {"timed-out", "Waiting for a response from Network Element has timed out!\rCannot save."}};
const QByteArray kPaging = "IPMPXSTL TALVOREN PAGING REQUEST";

} // namespace

class tst_net : public QObject {
    Q_OBJECT
private slots:
    // Discovery, uploads and an unasked feedback, with what reaches the elements, the boxes
    // and nms.ini.
    void transaction_data() {
        QTest::addColumn<QByteArray>("before"); // nms.ini at start, "" for none
        // "extra arguments per element after its own, ';' between / steps / boxes (keys of
        // kBoxes)". Steps: "discover" (in the "3 s window", not a shortened one), "read-only"
        // nms.ini (also for root), the decoder on the station's other network ("far"), "upload" the
        // name "North Mast" to the "decoder" or the "encoder" (with the level meter running),
        // "page" the third element alone so that its feedback comes unasked while the decoder is
        // selected, or "diagnose" the decoder: ping it, read its statistics and SFN delays, set a
        // delay, then ping an unused address.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArrayList>("after"); // any of these
        const QByteArray de = kDecoderSection + kEncoderSection;
        const auto renamed = [](QByteArray ini, const char* from) {
            return ini.replace(from, "NAME=NORTH MAST      \r\n");
        };
        const QByteArray north = renamed(kBoth, "NAME=TX SITE NORTH   \r\n");
        const QByteArrayList either{kBoth, de};
        QTest::newRow("discovery") << QByteArray() << " / discover, 3 s window / missing" << either;
        QTest::newRow("no answers: empty database")
            << kBoth << "--no-answer;--no-answer / discover / question empty" << QByteArrayList{""};
        QTest::newRow("read-only database kept")
            << de << " / discover read-only / question read-only" << QByteArrayList{de};
        QTest::newRow("only on the chosen network")
            << QByteArray() << " / discover far / missing" << QByteArrayList{kEncoderSection};
        // The third answer reports an address where nobody answers the station's ARP request;
        // its box stays open past the window while the two elements answer behind it.
        QTest::newRow("answers behind an open box")
            << QByteArray()
            << "--delay-ms|1500;--delay-ms|1500;--report-address|192.0.2.77 / discover, 3 s window "
               "/ missing no-mac"
            << either;
        QTest::newRow("upload confirmed")
            << kBoth << " / upload decoder / send saved" << QByteArrayList{north};
        // Every other field matches what is stored already; the name is not stored.
        QTest::newRow("wrong name answered")
            << kBoth << ";--wrong-name|SOMETHING ELSE / upload decoder / send wrong-name"
            << QByteArrayList{kBoth};
        // The time-out box is still open when the answer comes; it is handled after it, once.
        QTest::newRow("late answer still processed")
            << kBoth << ";--delay-ms|700 / upload decoder / send timed-out saved"
            << QByteArrayList{north};
        QTest::newRow("encoder while monitoring")
            << kBoth << "--peak|4194304 / upload encoder / send saved"
            << QByteArrayList{renamed(kBoth, "NAME=STUDIO 1        \r\n")};
        // The paging target is gone again: the upload goes to the stored address on 2976, and
        // the second answer to it is dropped; discovery stored one section each.
        QTest::newRow("discovered decoder answering twice")
            << QByteArray()
            << "--answers|2;--answers|2 / discover upload decoder / missing send saved"
            << QByteArrayList{north, renamed(de, "NAME=TX SITE NORTH   \r\n")};
        QTest::newRow("diagnostics: ping, statistics, SFN delay set")
            << kBoth << " / diagnose / unsaved" << QByteArrayList{kBoth + "DLY=10000\r\nSRV=0\r\n"};
        // The stray element carries the selected decoder's name and settings.
        QTest::newRow("unasked feedback dropped")
            << kBoth << ";; / page / " << QByteArrayList{kBoth};
    }
    void transaction() {
        KN_REQUIRE_RIG();
        QFETCH(QByteArray, before);
        QFETCH(QString, script);
        QFETCH(QByteArrayList, after);
        const QString extra = script.section(" / ", 0, 0), steps = script.section(" / ", 1, 1);
        const bool far = steps.contains("far"), discover = steps.contains("discover");
        const int upload = steps.contains("decoder") ? 1 : steps.contains("encoder") ? 0 : -1;
        QStringList emulators = extra.split(';');
        emulators.resize(qMax(2, int(emulators.size())));
        for (int i = 0; i < emulators.size(); ++i)
            emulators[i].prepend(i ? kDecoderArgs : kEncoderArgs);
        NetnsRig rig;
        QVERIFY2(rig.create(emulators, far), qPrintable(rig.lastError()));
        StationFixture f(kStation, steps.contains("3 s window") ? app::Station::Timing()
                                                                : StationFixture::fastTiming());
        // The kernel's tables instead of the fixture's scripted ones.
        platform::setNeighbourTable(nullptr);
        platform::setLocalAddresses(nullptr);
        platform::setIcmpEcho(nullptr);
        if (!before.isEmpty())
            f.writeIni(before);
        QVERIFY(f.start());
        auto c = f.c();
        if (steps.contains("read-only"))
            QVERIFY(QFile::setPermissions(f.iniPath(), QFile::ReadOwner | QFile::ReadOther));
        f.boxes.stayOpen(kBoxes["no-mac"], 10000, [&] {
            return !f.station().discovery().AutoDiscoverAwaiting() &&
                   c.find<QTreeWidget>("TreeView1")->topLevelItemCount() == 2;
        });
        QSignalSpy read(&f.station().udpClient(), &platform::UdpEndpoint::datagramReceived);
        f.boxes.stayOpen(kBoxes["timed-out"], 5000, [&] { return read.count() > 0; });
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        if (discover) {
            f.station().AutoDiscover();
            QVERIFY(!f.station().discovery().AutoDiscoverAwaiting());
        }
        const QString mac = upload ? kDecoderMac : kEncoderMac;
        QVERIFY((discover && upload < 0) || f.selectNode(mac));
        if (upload == 0) {
            f.station().StartMonitoring();
            QVERIFY(QTest::qWaitFor([&] { return c.find<QLabel>("lblVolume")->text() == "-6dBFS"; },
                                    3000));
            QCOMPARE(c.find<diag::VuMeter>("VUMeter")->widthTwips(), 1050);
            QVERIFY(rig.received(0, 2977).contains(QByteArray("VOL").toHex()));
        }
        QStringList expected;
        for (const QString& key : script.section(" / ", 2).split(' ', Qt::SkipEmptyParts))
            expected << kBoxes[key];
        if (upload >= 0) {
            c.find<QLineEdit>("txtElementName")->setText("North Mast");
            f.station().SaveChanges();
            QVERIFY(QTest::qWaitFor([&] { return f.boxes.count() == expected.size(); }, 5000));
            QVERIFY(!f.station().upload().timerRemoteSent()->isActive());
        }
        if (steps.contains("page")) {
            QUdpSocket pager;
            QVERIFY(pager.bind(QHostAddress(kStation), 0));
            pager.writeDatagram(kPaging, QHostAddress("192.0.2.12"), 1901);
            QVERIFY(read.wait(3000));
        }
        if (steps.contains("diagnose")) {
            QStringList seen;
            const auto read = [&](QPushButton* button, const QString& names) {
                QTimer::singleShot(0, [&] {
                    QWidget* w = QApplication::activeModalWidget();
                    QVERIFY(QTest::qWaitFor(
                        [&] { return w->findChild<QLabel*>(args(names).last())->text() != "-"; },
                        3000));
                    for (const QString& name : args(names))
                        seen << w->findChild<QLabel*>(name)->text();
                    if (auto* delay = w->findChild<QScrollBar*>("scrlAdditionalDelay")) {
                        delay->setValue(10000); // 1 ms
                        w->findChild<QPushButton*>("cmdSet")->click();
                    }
                    w->close();
                });
                button->click();
            };
            read(f.c().find<QPushButton>("cmdGetStats"),
                 "lblMACTxOK|lblMACTxErr|lblMACRxOK|lblMACRxErr|lblAudioRxFramesOK|"
                 "lblAudioRxFramesErr|lblPTPRxOK|lblPTPRxErr|lblPTPClkAdj|lblPTPLatency");
            read(f.c().find<QPushButton>("cmdAdjust"),
                 "lblCurrentDelayMIN|lblCurrentDelayAVG|lblAdditionalDelay|lblDelaySumAVG");
            QCOMPARE(seen, args("10|3 (23.08%)|20|4 (16.67%)|100|2 (1.96%)|5|1|-120 nS|26000 nS|"
                                "115 uS, 0 nS|125 uS, 0 nS|25 uS, 0 nS|521 uS, 98 nS"));
            QCOMPARE(rig.received(1, 2978),
                     (QStringList{QByteArray("GetStats").toHex(), QByteArray("GetDel").toHex(),
                                  "53000f424000"}));
            QPushButton* ping = f.c().find<QPushButton>("cmdPing");
            ping->click();
            QVERIFY2(ping->text().endsWith(" ms") && ping->text().chopped(3).toInt() >= 0,
                     qPrintable(ping->text()));
            QCOMPARE(ping->palette().color(QPalette::Button), QColor(0x00, 0xFF, 0x00));
            f.c().find<QLineEdit>("txtElementIP")->setText("192.0.2.99"); // nobody there
            ping->click();
            QCOMPARE(ping->text(), QStringLiteral("Failed!"));
            QCOMPARE(ping->palette().color(QPalette::Button), QColor(0xFF, 0x80, 0x80));
        }
        QTest::qWait(400); // past the response time-out
        QCOMPARE(f.boxes.texts(), expected);
        QVERIFY(f.boxes.maxOpen <= 1);
        const QByteArray ini = f.readIni();
        QVERIFY2(after.contains(ini), ini.constData());
        QVERIFY(QFile::exists(f.iniPath()));
        QStringList nodes; // the tree shows what nms.ini holds
        static const QRegularExpression section("\\[0200000000(1[01])\\]\r\nNAME=(.*\\S) *\r");
        for (auto it = section.globalMatch(ini); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            nodes << m.captured(2) + " [02:00:00:00:00:" + m.captured(1) + "]";
        }
        QStringList tree;
        for (int i = 0; i < c.find<QTreeWidget>("TreeView1")->topLevelItemCount(); ++i)
            tree << c.find<QTreeWidget>("TreeView1")->topLevelItem(i)->text(0);
        QCOMPARE(tree, nodes);
        QCOMPARE(c.find<QGroupBox>("frmTreeView")->title(),
                 QStringLiteral("Select element: (%1 items)").arg(nodes.size()));
        QCOMPARE(f.station().elementList().lstHidden().size(), nodes.size());
        QCOMPARE(f.neighbours.lookups, 0); // MACs come from the kernel's table
        if (!discover)                     // the MAC the upload waited for
            QCOMPARE(f.station().upload().sRemoteMacAddress2(), upload < 0 ? QString() : mac);
        // ip mask gw remote input type tx sfn name[16] (buffer sdm sdl sdt) llo
        const QString sent = (upload ? "c000020bffffff0000000000ef01020300010101"
                                     : "c000020affffff00c00002fec000021401000101") +
                             QByteArray("NORTH MAST      ").toHex() +
                             (upload ? "05021e3c00" : "01");
        for (int i = 0; i < 3; ++i) {
            // One request reached each element on the chosen network, none when refused.
            const bool paged = (discover && i < emulators.size() && !steps.contains("read-only") &&
                                !(far && i == 1)) ||
                               (i == 2 && steps.contains("page"));
            QCOMPARE(rig.received(i, 1901), QStringList(paged, kPaging.toHex()));
            QCOMPARE(rig.received(i, 2976), QStringList(upload == i, sent));
        }
        if (far) { // the address list comes from the real table, the chosen one in use
            QComboBox* list = c.find<QComboBox>("cmbNMSIPAddr");
            QCOMPARE(QStringList({list->itemText(0), list->itemText(1), list->itemText(2),
                                  list->currentText(),
                                  f.station().udpClient().localAddress().toString()}),
                     args("192.0.2.1|198.51.100.1|127.0.0.1|192.0.2.1|192.0.2.1"));
            QCOMPARE(list->count(), 3);
        }
        if (upload == 0) {
            f.station().StopMonitoring();
            QCOMPARE(c.find<QLabel>("lblVolume")->text(), QStringLiteral("-oodBFS"));
            QCOMPARE(c.find<diag::VuMeter>("VUMeter")->widthTwips(), 0);
        }
    }

    // The emulator refuses a bad value before it binds anything, naming the option.
    void emulatorRefusesBadValues_data() {
        QTest::addColumn<QStringList>("arguments"); // after --address 192.0.2.12
        QTest::addColumn<QString>("refusal");
        QTest::newRow("byte too big")
            << QStringList{"--sfn", "256"} << "--sfn: 256 is out of range (0 to 255)";
        QTest::newRow("octal-looking")
            << QStringList{"--buffer", "010x"} << "--buffer: \"010x\" is not a decimal number";
        QTest::newRow("stats value") << QStringList{"--stats", "txok=0x10"}
                                     << "--stats: \"txok=0x10\" is not key=N with N a decimal "
                                        "number from -2147483648 to 4294967295";
        QTest::newRow("address") << QStringList{"--gw", "192.0.2.256"}
                                 << "--gw: \"192.0.2.256\" is not a dotted IPv4 address";
        QTest::newRow("stray word") << QStringList{"--name", "STUDIO", "1"}
                                    << "unexpected argument \"1\": every value belongs to an "
                                       "option (see --help)";
        QTest::newRow("name too long")
            << QStringList{"--name", "SEVENTEEN LETTERS"}
            << "--name: \"SEVENTEEN LETTERS\" is longer than 16 characters";
        QTest::newRow("name outside Latin-1")
            << QStringList{"--name", "STUDIO \u03A9"}
            << "--name: \"STUDIO \u03A9\" has characters outside Latin-1";
        QTest::newRow("wrong name outside Latin-1")
            << QStringList{"--wrong-name", "\u0141\u00D3D\u0179"}
            << "--wrong-name: \"\u0141\u00D3D\u0179\" has characters outside Latin-1";
        QTest::newRow("log not writable")
            << QStringList{"--log", "/nonexistent/element.log"}
            << "--log: cannot write \"/nonexistent/element.log\": No such file or directory";
        QTest::newRow("broadcast address")
            << QStringList{"--address", "255.255.255.255"}
            << "--address: 255.255.255.255 is not an element's address (unicast, below "
               "224.0.0.0, not in 0.0.0.0/8)";
        QTest::newRow("any address") << QStringList{"--address", "0.0.0.0"}
                                     << "--address: 0.0.0.0 is not an element's address "
                                        "(unicast, below 224.0.0.0, not in 0.0.0.0/8)";
    }
    void emulatorRefusesBadValues() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(NetnsRig::emulatorPath(), QStringList{"--address", "192.0.2.12"} + arguments);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromUtf8(p.readAll()), "kestrune-element: " + refusal + "\n");
    }

    // A namespace the rig did not make survives a whole run, stale clean-up included,
    // whatever its name, and so does the process in it.
    void rigLeavesOthersAlone() {
        KN_REQUIRE_RIG();
        QVERIFY2(QProcess::execute("ip", {"netns", "add", "kn-keep"}) == 0,
                 "kn-keep exists already; it is not this test's to use");
        QProcess keeper;
        keeper.start("ip", {"netns", "exec", "kn-keep", "sleep", "600"});
        QVERIFY(keeper.waitForStarted());
        {
            NetnsRig rig;
            QVERIFY2(rig.create({"--quiet"}), qPrintable(rig.lastError()));
        }
        const bool kept = QFile::exists("/run/netns/kn-keep") && !keeper.waitForFinished(0);
        keeper.kill();
        keeper.waitForFinished();
        QProcess::execute("ip", {"netns", "del", "kn-keep"});
        QVERIFY(kept);
    }

    // A run killed midway (as by a time-out) leaves nothing: its emulators die with it, and
    // the next rig deletes its namespaces. The killed run is this program, with its rig.
    void killedRunLeavesNothing() {
        KN_REQUIRE_RIG();
        NetnsRig rig;
        if (qEnvironmentVariableIsSet("KN_KILLED_RUN")) {
            QVERIFY2(rig.create({"--quiet", "--quiet"}), qPrintable(rig.lastError()));
            qInfo("rig ready");
            QTest::qWait(120000);
        }
        QProcess run, pids;
        run.setEnvironment(QProcess::systemEnvironment() << "KN_KILLED_RUN=1");
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(), {"killedRunLeavesNothing"});
        QVERIFY(QTest::qWaitFor([&] { return run.readAll().contains("rig ready"); }, 60000));
        const QString ours = NetnsRig::namePrefix(run.processId());
        pids.start("sh",
                   {"-c", "for n in /run/netns/" + ours + "*; do ip netns pids ${n##*/}; done"});
        QVERIFY(pids.waitForFinished());
        QStringList emulators = QString(pids.readAll()).split('\n', Qt::SkipEmptyParts);
        emulators.removeAll(QString::number(run.processId())); // it entered its station
        QCOMPARE(emulators.size(), 2);
        run.kill();
        QVERIFY(run.waitForFinished());
        for (const QString& pid : emulators)
            QTRY_VERIFY(!QFile::exists("/proc/" + pid));
        QVERIFY2(rig.create(), qPrintable(rig.lastError()));
        QVERIFY(QDir("/run/netns").entryList().filter(ours).isEmpty());
    }
};

QTEST_MAIN(tst_net)
#include "tst_net.moc"
