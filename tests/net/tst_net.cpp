// The whole station on a real network of namespaces: emulated elements answer its broadcasts,
// uploads and diagnostics, and the kernel's neighbour table, address table and ICMP echo are the
// real ones. Each test builds its own rig and enters the station's namespace before any socket
// exists.
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

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

using namespace testsupport;
using namespace testsupport::loopback;
using Elements = QList<QStringList>; // each element's emulator arguments

namespace {

const QStringList kEncoderArgs{
    "--name",     "Studio 1", "--serial", "4242", "--gw",  "192.0.2.254", "--remote",
    "192.0.2.20", "--input",  "1",        "--tx", "1",     "--version",   "3.7",
    "--sfn",      "1",        "--buffer", "5",    "--llo", "1",           "--quiet"};
const QStringList kDecoderArgs{"--role",   "decoder", "--name",    "TX SITE NORTH",
                               "--serial", "2002",    "--remote",  "239.1.2.3",
                               "--type",   "1",       "--tx",      "1",
                               "--att",    "200",     "--version", "2.4",
                               "--sfn",    "1",       "--buffer",  "5",
                               "--sdm",    "2",       "--sdl",     "30",
                               "--sdt",    "60",      "--quiet"};

// What discovery stores for the two, with the name an upload may give them.
QByteArray encoder(const QByteArray& name = "STUDIO 1        ") {
    return "[020000000010]\r\nNAME=" + name +
           "\r\nIP=192.0.2.10\r\nMASK=255.255.255.0\r\nGW=192.0.2.254\r\nINPUT=1\r\nTYPE=0\r\n"
           "TX=1\r\nMULTI=192.0.2.20\r\nROLE=1\r\nSN=4242\r\nVER=3.7\r\nSFN=1\r\nBUF=5\r\nLLO="
           "1\r\n";
}
QByteArray decoder(const QByteArray& name = "TX SITE NORTH   ") {
    return "[020000000011]\r\nNAME=" + name +
           "\r\nIP=192.0.2.11\r\nMASK=255.255.255.0\r\nGW=0.0.0.0\r\nINPUT=0\r\nTYPE=1\r\nTX=1\r\n"
           "MULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\nVER=2.4\r\nSFN=1\r\nBUF=5\r\nATT=200\r\nSDM="
           "2\r\n"
           "SDL=30\r\nSDT=60\r\nLLO=0\r\n";
}
const QString kStationIp = QStringLiteral("192.0.2.1");
const QByteArray kNorth = "NORTH MAST      ";
const QByteArray kPaging = "IPMPXSTL TALVOREN PAGING REQUEST";
// "North Mast" as sent: ip mask gw remote input type tx sfn name, then the decoder's buffer sdm
// sdl sdt llo, or the encoder's llo.
const QByteArray kToDecoder =
    "c000020bffffff0000000000ef01020300010101" + kNorth.toHex() + "05021e3c00";
const QByteArray kToEncoder = "c000020affffff00c00002fec000021401000101" + kNorth.toHex() + "01";

const QString kMissing =
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.";
const QString kNoMac = "An error occured while retrieving 'Element MAC':\rFeedback is corrupted.";

// A discovery: the elements, nms.ini before it (none when empty), the boxes, nms.ini after it
// (any of these) and the elements the paging request reached.
struct Discovery {
    Elements elements{kEncoderArgs, kDecoderArgs};
    QByteArray before;
    bool far = false;       // the decoder on the station's other network
    bool readOnly = false;  // nms.ini, also for root
    bool chooseFar = false; // the station's other address chosen in the list first
    int windowMs = 300;
    QStringList boxes;
    QByteArrayList after;
    QList<int> paged;
};

// "North Mast" to an element, stored in nms.ini or discovered first.
struct Upload {
    Elements elements{kEncoderArgs, kDecoderArgs};
    bool discoverFirst = false;
    bool toEncoder = false; // with its level meter on; else to the decoder
    QStringList boxes;
    QByteArrayList after;
};

} // namespace

class TestNet : public QObject {
    Q_OBJECT
    std::optional<NetnsRig> m_rig;
    std::optional<StationFixture> m_f;

    // The rig with these elements and the station in it, nms.ini as given (none when empty).
    bool start(const Elements& elements, const QByteArray& ini, bool far = false,
               int discoveryWindowMs = 300) {
        if (!m_rig.emplace().create(elements, far))
            return false;
        m_f.emplace(kStationIp, app::Station::Timing{discoveryWindowMs, 10, 300, 3000});
        platform::setNeighbourTable(nullptr); // the kernel's tables, not the fixture's
        platform::setLocalAddresses(nullptr);
        platform::setIcmpEcho(nullptr);
        if (!ini.isEmpty())
            m_f->writeIni(ini);
        return m_f->start();
    }

    QTreeWidget* tree() { return m_f->find<QTreeWidget>("TreeView1"); }

    // The boxes, nms.ini (any of after) and the tree, and what each element got: the paging
    // request, and the configuration uploaded to one.
    void check(const QStringList& boxes, const QByteArrayList& after, const QList<int>& paged,
               int uploaded = -1, const QByteArray& sent = {}) {
        StationFixture& f = *m_f;
        QTest::qWait(400); // past the response time-out
        QCOMPARE(f.boxes.texts(), boxes);
        QVERIFY(f.boxes.maxOpen <= 1);
        const QByteArray ini = f.readIni();
        QVERIFY2(after.contains(ini), ini.constData());
        const int elements = ini.count("NAME=");
        QCOMPARE(tree()->topLevelItemCount(), elements);
        QCOMPARE(f.find<QGroupBox>("frmTreeView")->title(),
                 QString("Select element: (%1 items)").arg(elements));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_rig->received(i, 1901),
                     paged.contains(i) ? QStringList{kPaging.toHex()} : QStringList());
            QCOMPARE(m_rig->received(i, 2976), i == uploaded ? QStringList{sent} : QStringList());
        }
    }

private slots:
    void initTestCase() { KN_REQUIRE(NetnsRig::unavailableReason()); }
    void cleanup() {
        m_f.reset();
        m_rig.reset();
    }

    void discovery_data() {
        QTest::addColumn<Discovery>("d");
        const QStringList mute{"--no-answer"};
        const QStringList late{"--delay-ms", "1500"};
        QTest::newRow("none answering: empty database")
            << Discovery{.elements = {kEncoderArgs + mute, kDecoderArgs + mute},
                         .before = encoder() + decoder(),
                         .boxes = {kDiscoveryQuestion, kEmpty},
                         .after = {""},
                         .paged = {0, 1}};
        QTest::newRow("read-only database kept")
            << Discovery{.before = decoder() + encoder(),
                         .readOnly = true,
                         .boxes = {kDiscoveryQuestion,
                                   "Unable to create the local database.\rAuto Discovery aborted."},
                         .after = {decoder() + encoder()}};
        QTest::newRow("only on the saved network")
            << Discovery{.far = true, .boxes = {kMissing}, .after = {encoder()}, .paged = {0}};
        QTest::newRow("on the network chosen in the list")
            << Discovery{.far = true,
                         .chooseFar = true,
                         .boxes = {kMissing},
                         .after = {decoder().replace("192.0.2.11", "198.51.100.11")},
                         .paged = {1}};
        // The third reports an address where nobody answers ARP; its box stays open past the
        // window while the two answer behind it.
        QTest::newRow("answers behind an open box")
            << Discovery{.elements = {kEncoderArgs + late, kDecoderArgs + late,
                                      kDecoderArgs + QStringList{"--report-address", "192.0.2.77"}},
                         .windowMs = 3000,
                         .boxes = {kMissing, kNoMac},
                         .after = {encoder() + decoder(), decoder() + encoder()},
                         .paged = {0, 1, 2}};
    }
    void discovery() {
        QFETCH(Discovery, d);
        QVERIFY2(start(d.elements, d.before, d.far, d.windowMs), qPrintable(m_rig->lastError()));
        StationFixture& f = *m_f;
        if (d.readOnly)
            QVERIFY(QFile::setPermissions(f.iniPath(), QFile::ReadOwner));
        f.boxes.stayOpen(kNoMac, 10000, [&] {
            return !f.station().discovery().AutoDiscoverAwaiting() &&
                   tree()->topLevelItemCount() == 2;
        });
        auto* addresses = f.find<QComboBox>("cmbNMSIPAddr");
        if (d.chooseFar) // as the user does: the entry below the chosen one
            QTest::keyClick(addresses, Qt::Key_Down);
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        f.station().AutoDiscover();
        check(d.boxes, d.after, d.paged);
        // The address list is the real table's, and the chosen address is in use and saved.
        const QString chosen = d.chooseFar ? "198.51.100.1" : kStationIp;
        QCOMPARE(addresses->count(), d.far ? 3 : 2);
        QCOMPARE(addresses->currentText(), chosen);
        QCOMPARE(f.station().udpClient().localAddress().toString(), chosen);
        QCOMPARE(f.station().udpClient().localPort(), 2976);
        QCOMPARE(f.settings.values.value("NMS IP Address"), chosen);
    }

    void upload_data() {
        QTest::addColumn<Upload>("u");
        const QStringList twice{"--answers", "2"};
        // Every other field matches what is stored already; the name is not stored.
        QTest::newRow("wrong name answered") << Upload{
            .elements = {kEncoderArgs,
                         kDecoderArgs + QStringList{"--wrong-name", "SOMETHING ELSE"}},
            .boxes = {kQuestion,
                      "An error occured while saving 'Element Name':\rFeedback is corrupted."},
            .after = {encoder() + decoder()}};
        // The time-out box is still open when the answer comes; it is handled after it, once.
        QTest::newRow("late answer still processed")
            << Upload{.elements = {kEncoderArgs, kDecoderArgs + QStringList{"--delay-ms", "700"}},
                      .boxes = {kQuestion, kTimedOut, kSaved},
                      .after = {encoder() + decoder(kNorth)}};
        QTest::newRow("encoder while monitoring") << Upload{.toEncoder = true,
                                                            .boxes = {kQuestion, kSaved},
                                                            .after = {encoder(kNorth) + decoder()}};
        // The paging target is gone again: the upload goes to the stored address on 2976, and
        // the second answer to it is dropped; discovery stored one section each.
        QTest::newRow("discovered decoder answering twice")
            << Upload{.elements = {kEncoderArgs + twice, kDecoderArgs + twice},
                      .discoverFirst = true,
                      .boxes = {kMissing, kQuestion, kSaved},
                      .after = {encoder() + decoder(kNorth), decoder(kNorth) + encoder()}};
    }
    void upload() {
        QFETCH(Upload, u);
        const bool toEncoder = u.toEncoder;
        QVERIFY2(start(u.elements, u.discoverFirst ? "" : encoder() + decoder()),
                 qPrintable(m_rig->lastError()));
        StationFixture& f = *m_f;
        StationFixture& c = f;
        QSignalSpy read(&f.station().udpClient(), &platform::UdpEndpoint::datagramReceived);
        f.boxes.stayOpen(kTimedOut, 5000, [&] { return read.count() > 0; });
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        if (u.discoverFirst)
            f.station().AutoDiscover();
        const QString mac = toEncoder ? "02:00:00:00:00:10" : "02:00:00:00:00:11";
        QVERIFY(f.selectNode(mac));
        if (toEncoder) { // the emulator's level is -6 dBFS
            f.station().StartMonitoring();
            QTRY_COMPARE(c.find<QLabel>("lblVolume")->text(), "-6dBFS");
            QCOMPARE(c.find<diag::VuMeter>("VUMeter")->widthTwips(), 1050);
            QVERIFY(m_rig->received(0, 2977).contains("564f4c"));
        }
        c.find<QLineEdit>("txtElementName")->setText("North Mast");
        f.station().SaveChanges();
        QTRY_COMPARE(f.boxes.shown.size(), u.boxes.size());
        QVERIFY(!f.station().upload().timerRemoteSent()->isActive());
        QCOMPARE(f.station().upload().sRemoteMacAddress2(), mac);
        check(u.boxes, u.after, u.discoverFirst ? QList{0, 1} : QList<int>(), toEncoder ? 0 : 1,
              toEncoder ? kToEncoder : kToDecoder);
        if (toEncoder) {
            f.station().StopMonitoring();
            QCOMPARE(c.find<QLabel>("lblVolume")->text(), "-oodBFS");
            QCOMPARE(c.find<diag::VuMeter>("VUMeter")->widthTwips(), 0);
        }
    }

    // The decoder's statistics and SFN delays, a delay set, a ping of it and of an unused
    // address.
    void diagnostics() {
        const QStringList stats{"--stats", "txok=10,txerr=3,meas=1000,avg=100000,add=25000"};
        QVERIFY2(start({kEncoderArgs, kDecoderArgs + stats}, encoder() + decoder()),
                 qPrintable(m_rig->lastError()));
        StationFixture& c = *m_f;
        QVERIFY(m_f->selectNode("02:00:00:00:00:11"));
        QStringList shown;
        // Once the last label has its value, reads them, sets a delay of 1 ms where there is
        // one, and closes the window.
        const auto read = [&](const char* button, const QStringList& labels) {
            QTimer::singleShot(0, [&] {
                QWidget* w = QApplication::activeModalWidget();
                const auto text = [w](const QString& label) {
                    return w->findChild<QLabel*>(label)->text();
                };
                (void)QTest::qWaitFor([&] { return text(labels.last()) != "-"; }, 3000);
                for (const QString& label : labels)
                    shown << text(label);
                if (auto* delay = w->findChild<QScrollBar*>("scrlAdditionalDelay")) {
                    delay->setValue(10000);
                    w->findChild<QPushButton*>("cmdSet")->click();
                }
                w->close();
            });
            c.find<QPushButton>(button)->click();
        };
        read("cmdGetStats", {"lblMACTxErr", "lblPTPLatency"});
        read("cmdAdjust", {"lblCurrentDelayAVG", "lblAdditionalDelay", "lblDelaySumAVG"});
        QCOMPARE(shown, (QStringList{"3 (23.08%)", "26000 nS", "125 uS, 0 nS", "25 uS, 0 nS",
                                     "521 uS, 98 nS"}));
        QCOMPARE(m_rig->received(1, 2978),
                 (QStringList{QByteArray("GetStats").toHex(), QByteArray("GetDel").toHex(),
                              "53000f424000"}));
        QPushButton* ping = c.find<QPushButton>("cmdPing");
        ping->click();
        QVERIFY2(QRegularExpression("^\\d+ ms$").match(ping->text()).hasMatch(),
                 qPrintable(ping->text()));
        QCOMPARE(ping->palette().color(QPalette::Button), QColor(0x00, 0xFF, 0x00));
        c.find<QLineEdit>("txtElementIP")->setText("192.0.2.99"); // nobody there
        ping->click();
        QCOMPARE(ping->text(), "Failed!");
        QCOMPARE(ping->palette().color(QPalette::Button), QColor(0xFF, 0x80, 0x80));
        check({"There are unsaved parameters. Don't forget to click the 'Save' button."},
              {encoder() + decoder() + "DLY=10000\r\nSRV=0\r\n"}, {});
    }

    // Paged alone, the third element, which carries the selected decoder's name and settings,
    // answers unasked.
    void unaskedFeedbackDropped() {
        QVERIFY2(start({kEncoderArgs, kDecoderArgs, kDecoderArgs}, encoder() + decoder()),
                 qPrintable(m_rig->lastError()));
        QVERIFY(m_f->selectNode("02:00:00:00:00:11"));
        QSignalSpy read(&m_f->station().udpClient(), &platform::UdpEndpoint::datagramReceived);
        QUdpSocket pager;
        QVERIFY(pager.bind(QHostAddress(kStationIp)));
        pager.writeDatagram(kPaging, QHostAddress("192.0.2.12"), 1901);
        QVERIFY(read.wait());
        check({}, {encoder() + decoder()}, {2});
        QCOMPARE(m_f->station().upload().sRemoteMacAddress2(), "");
    }

    // A namespace the rig did not make survives a whole run, stale clean-up included, whatever
    // its name, and so does the process in it.
    void rigLeavesOthersAlone() {
        QVERIFY2(QProcess::execute("ip", {"netns", "add", "kn-keep"}) == 0,
                 "kn-keep exists already; it is not this test's to use");
        QProcess keeper;
        keeper.start("ip", {"netns", "exec", "kn-keep", "sleep", "600"});
        QVERIFY(keeper.waitForStarted());
        QVERIFY2(NetnsRig().create({{"--quiet"}}), "rig failed");
        const bool kept = QFile::exists("/run/netns/kn-keep") && !keeper.waitForFinished(0);
        keeper.kill();
        keeper.waitForFinished();
        QProcess::execute("ip", {"netns", "del", "kn-keep"});
        QVERIFY(kept);
    }

    // A run killed midway (as by a time-out) leaves nothing: its emulators die with it, and the
    // next rig deletes its namespaces. The killed run is this program, with its rig.
    void killedRunLeavesNothing() {
        NetnsRig rig;
        if (qEnvironmentVariableIsSet("KN_KILLED_RUN")) {
            QVERIFY(rig.create({{"--quiet"}, {"--quiet"}}));
            qInfo("rig ready");
            QTest::qWait(120000);
        }
        QProcess run;
        run.setEnvironment(QProcess::systemEnvironment() << "KN_KILLED_RUN=1");
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(), {"killedRunLeavesNothing"});
        QVERIFY(QTest::qWaitFor([&] { return run.readAll().contains("rig ready"); }, 60000));
        const QString ours = NetnsRig::namePrefix(run.processId());
        QProcess pids;
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

QTEST_MAIN(TestNet)
#include "tst_net.moc"
