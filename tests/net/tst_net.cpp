// The whole station on a real network of namespaces: emulated elements answer its broadcasts,
// uploads and diagnostics, and the kernel's neighbour table, address table and ICMP echo are the
// real ones. Each test builds its own rig and enters the station's namespace before any socket
// exists.
#include "support/netnsrig.h"
#include "support/stationfixture.h"

#include "platform/udpendpoint.h"
#include "protocol/discovery.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

using namespace testsupport;
using namespace testsupport::loopback;

namespace {

const QStringList kEncoderArgs{"--quiet"};
const QStringList kDecoderArgs{"--role",   "decoder",   "--name", "TX SITE NORTH",
                               "--remote", "239.1.2.3", "--type", "1",
                               "--tx",     "1",         "--sfn",  "1",
                               "--buffer", "5",         "--sdm",  "2",
                               "--sdl",    "30",        "--sdt",  "60",
                               "--att",    "200",       "--quiet"};

// What discovery stores for the two (the emulator's defaults where no option is given), with
// the name an upload may give the decoder.
const QByteArray kEncoderIni =
    "[020000000010]\r\nNAME=ENCODER 10      \r\nIP=192.0.2.10\r\nMASK=255.255.255.0\r\n"
    "GW=0.0.0.0\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\nREMOTE=0.0.0.0\r\nROLE=1\r\nSN=1010\r\n"
    "VER=2.1\r\nSFN=0\r\nBUF=10\r\nLLO=0\r\n";
QByteArray decoder(const QByteArray& name = "TX SITE NORTH   ") {
    return "[020000000011]\r\nNAME=" + name +
           "\r\nIP=192.0.2.11\r\nMASK=255.255.255.0\r\nGW=0.0.0.0\r\nINPUT=0\r\nTYPE=1\r\nTX=1\r\n"
           "MULTI=239.1.2.3\r\nROLE=2\r\nSN=1011\r\nVER=2.1\r\nSFN=1\r\nBUF=5\r\nATT=200\r\nSDM="
           "2\r\n"
           "SDL=30\r\nSDT=60\r\nLLO=0\r\n";
}
const QByteArray kNorth = "NORTH MAST      ";
const QByteArray kPaging = "IPMPXSTL TALVOREN PAGING REQUEST";
const QString kMissing =
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.";
const QString kNoMac = "An error occured while retrieving 'Element MAC':\rFeedback is corrupted.";

const QByteArray kStored = kEncoderIni + decoder();

// What the user does: a discovery, or with the decoder selected, an upload
// of "North Mast" to it or the third element, which carries its name and settings, paged alone
// so that its feedback comes unasked.
enum class Step { Discover, DiscoverOnOtherNetwork, Upload, PageThirdAlone };

// A transaction: the elements, nms.ini before it (none when empty; read-only, also for root, for
// a discovery), the boxes, nms.ini after it (any of these) and the elements the paging request
// reached.
struct Transaction {
    QList<QStringList> elements{kEncoderArgs, kDecoderArgs}; // their emulator arguments
    Step step = Step::Discover;
    QByteArray before = kStored;
    QStringList boxes;
    QByteArrayList after{kStored};
    QList<int> paged;
};

} // namespace

class TestNet : public QObject {
    Q_OBJECT
    std::optional<NetnsRig> m_rig;
    std::optional<StationFixture> m_f;

    // The rig with these elements and the station in it, with the full discovery window and
    // nms.ini as given (none when empty).
    bool start(const QList<QStringList>& elements, const QByteArray& ini = kStored,
               bool far = false) {
        if (!m_rig.emplace().create(elements, far)) {
            qWarning() << m_rig->lastError();
            return false;
        }
        m_f.emplace("192.0.2.1", app::Station::Timing{3000, 10, 300, 3000});
        platform::setNeighbourTable(nullptr); // the kernel's tables, not the fixture's
        platform::setLocalAddresses(nullptr);
        if (!ini.isEmpty())
            m_f->writeIni(ini);
        return m_f->start();
    }

private slots:
    void initTestCase() { KN_REQUIRE(NetnsRig::unavailableReason()); }
    void cleanup() {
        m_f.reset();
        m_rig.reset();
    }

    void transaction_data() {
        QTest::addColumn<Transaction>("t");
        const QStringList late{"--delay-ms", "1500"};
        const QByteArray renamed = kEncoderIni + decoder(kNorth);
        QTest::newRow("read-only database kept")
            << Transaction{.boxes = {kDiscoveryQuestion, "Unable to create the local "
                                                         "database.\rAuto Discovery aborted."}};
        QTest::newRow("only on the chosen network")
            << Transaction{.step = Step::DiscoverOnOtherNetwork,
                           .before = "",
                           .boxes = {kMissing},
                           .after = {decoder().replace("192.0.2.11", "198.51.100.11")},
                           .paged = {1}};
        // The third reports an address where nobody answers ARP; its box stays open past the
        // window while the two answer behind it.
        QTest::newRow("answers behind an open box") << Transaction{
            .elements = {kEncoderArgs + late, kDecoderArgs + late,
                         kDecoderArgs + QStringList{"--report-address", "192.0.2.77"}},
            .before = "",
            .boxes = {kMissing, kNoMac},
            .after = {kStored, decoder() + kEncoderIni},
            .paged = {0, 1, 2}};
        QTest::newRow("upload answered and stored")
            << Transaction{.step = Step::Upload, .boxes = {kQuestion, kSaved}, .after = {renamed}};
        // The time-out box is still open when the answer comes; it is handled after it, once.
        QTest::newRow("upload answer late") << Transaction{
            .elements = {kEncoderArgs, kDecoderArgs + QStringList{"--delay-ms", "700"}},
            .step = Step::Upload,
            .boxes = {kQuestion, kTimedOut, kSaved},
            .after = {renamed}};
        QTest::newRow("unasked feedback dropped")
            << Transaction{.elements = {kEncoderArgs, kDecoderArgs, kDecoderArgs},
                           .step = Step::PageThirdAlone,
                           .paged = {2}};
    }
    void transaction() {
        QFETCH(Transaction, t);
        const bool discover = t.step < Step::Upload;
        QVERIFY(start(t.elements, t.before, t.step == Step::DiscoverOnOtherNetwork));
        StationFixture& f = *m_f;
        if (discover && !t.before.isEmpty())
            QVERIFY(QFile::setPermissions(f.iniPath(), QFile::ReadOwner));
        // The MAC box stays open until the discovery has ended; the time-out box until the
        // late answer has come.
        QSignalSpy read(&f.station().udpClient(), &platform::UdpEndpoint::datagramReceived);
        f.boxes.onShow = [&](const platform::MessageBoxRequest& r) {
            if (r.text.startsWith(kNoMac))
                QTest::qWaitFor(
                    [&] {
                        return !f.station().discovery().AutoDiscoverAwaiting() &&
                               f.find<QTreeWidget>("TreeView1")->topLevelItemCount() == 2;
                    },
                    10000);
            else if (r.text.startsWith(kTimedOut))
                QTest::qWaitFor([&] { return read.count() > 0; }, 5000);
        };
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        if (t.step == Step::DiscoverOnOtherNetwork) // as the user does: the entry below
            QTest::keyClick(f.find<QComboBox>("cmbNMSIPAddr"), Qt::Key_Down);
        if (discover)
            f.station().AutoDiscover();
        else
            QVERIFY(f.selectNode("02:00:00:00:00:11"));
        if (t.step == Step::PageThirdAlone) {
            QUdpSocket().writeDatagram(kPaging, QHostAddress("192.0.2.12"), 1901);
            QVERIFY(read.wait());
        }
        if (t.step == Step::Upload) {
            f.find<QLineEdit>("txtElementName")->setText("North Mast");
            f.station().SaveChanges();
            QTRY_COMPARE(f.boxes.shown.size(), t.boxes.size());
        }
        QTest::qWait(400); // past the response time-out
        QCOMPARE(f.boxes.texts(), t.boxes);
        QVERIFY(f.boxes.maxOpen <= 1);
        const QByteArray ini = f.readIni();
        QVERIFY2(t.after.contains(ini), ini.constData());
        // ip mask gw remote input type tx sfn name buffer sdm sdl sdt llo
        const QByteArray sent =
            "c000020bffffff0000000000ef01020300010101" + kNorth.toHex() + "05021e3c00";
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_rig->received(i, 1901),
                     t.paged.contains(i) ? QStringList{kPaging.toHex()} : QStringList());
            QCOMPARE(m_rig->received(i, 2976),
                     t.step == Step::Upload && i == 1 ? QStringList{sent} : QStringList());
        }
    }

    // The decoder's statistics and SFN delays, a ping of it and of an unused address.
    void diagnostics() {
        QVERIFY(
            start({kEncoderArgs,
                   kDecoderArgs +
                       QStringList{"--stats", "txok=10,txerr=3,meas=1000,avg=100000,add=25000"}}));
        StationFixture& c = *m_f;
        QVERIFY(m_f->selectNode("02:00:00:00:00:11"));
        QStringList shown;
        // Once the label has its value, reads it and closes the window.
        const auto read = [&](const char* button, const char* label) {
            QTimer::singleShot(0, [&] {
                QWidget* w = QApplication::activeModalWidget();
                QLabel* value = w->findChild<QLabel*>(label);
                (void)QTest::qWaitFor([&] { return value->text() != "-"; }, 3000);
                shown << value->text();
                w->close();
            });
            c.find<QPushButton>(button)->click();
        };
        read("cmdGetStats", "lblMACTxErr");
        read("cmdAdjust", "lblDelaySumAVG");
        QCOMPARE(shown, (QStringList{"3 (23.08%)", "521 uS, 98 nS"}));
        QCOMPARE(m_rig->received(1, 2978),
                 (QStringList{QByteArray("GetStats").toHex(), QByteArray("GetDel").toHex()}));
        QPushButton* ping = c.find<QPushButton>("cmdPing");
        ping->click();
        QVERIFY(ping->text().endsWith(" ms"));
        QCOMPARE(ping->palette().color(QPalette::Button), QColor(0x00, 0xFF, 0x00));
        c.find<QLineEdit>("txtElementIP")->setText("192.0.2.99"); // nobody there
        ping->click();
        QCOMPARE(ping->text(), "Failed!");
        QCOMPARE(ping->palette().color(QPalette::Button), QColor(0xFF, 0x80, 0x80));
    }

    // A run killed midway (as by a time-out) leaves nothing: its emulators die with it, and the
    // next rig deletes its namespaces, but neither a namespace it did not make, whatever its
    // name, nor the process in it. The killed run is this program, with its rig.
    void killedRunLeavesNothing() {
        if (qEnvironmentVariableIsSet("KN_KILLED_RUN")) {
            NetnsRig rig;
            QVERIFY(rig.create({{"--quiet"}, {"--quiet"}}));
            qInfo("rig ready");
            QTest::qWait(120000);
        }
        // Another's namespace named like the rig's; this process's number keeps a second
        // checkout's run from meeting it.
        const QString keep = "kn-keep-" + QString::number(QCoreApplication::applicationPid());
        QVERIFY2(QProcess::execute("ip", {"netns", "add", keep}) == 0, qPrintable(keep));
        const auto dropKeep = qScopeGuard([&] { QProcess::execute("ip", {"netns", "del", keep}); });
        QProcess keeper; // its destructor ends sleep before the namespace goes
        keeper.start("ip", {"netns", "exec", keep, "sleep", "600"});
        QVERIFY(keeper.waitForStarted());
        QProcess run;
        run.setEnvironment(QProcess::systemEnvironment() << "KN_KILLED_RUN=1");
        run.start(QCoreApplication::applicationFilePath(), {"killedRunLeavesNothing"});
        QVERIFY(QTest::qWaitFor([&] { return run.readAll().contains("rig ready"); }, 60000));
        const QString ours = NetnsRig::namePrefix(run.processId());
        const auto processesInOurs = [&] {
            QProcess pids;
            pids.start(
                "sh", {"-c", "for n in /run/netns/" + ours + "*; do ip netns pids ${n##*/}; done"});
            pids.waitForFinished();
            return pids.readAll().count('\n');
        };
        QCOMPARE(processesInOurs(), 3); // the run itself entered its station
        run.kill();
        QVERIFY(run.waitForFinished());
        QTRY_COMPARE(processesInOurs(), 0);
        QVERIFY(NetnsRig().create());
        QVERIFY(QDir("/run/netns").entryList().filter(ours).isEmpty());
        QVERIFY(QFile::exists("/run/netns/" + keep));
        QVERIFY(!keeper.waitForFinished(0));
    }
};

QTEST_MAIN(TestNet)
#include "tst_net.moc"
