// The whole station on a real network of namespaces: emulated elements answer its broadcasts
// and uploads, and the kernel's neighbour table, address table and ICMP echo are the real ones.
// Every test builds its own rig, enters the station's namespace and then makes the station.

#include "support/netnsrig.h"
#include "support/stationfixture.h"

#include "editor/vumeter.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "platform/udpendpoint.h"
#include "protocol/discovery.h"
#include "protocol/feedbackhandler.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>

using testsupport::NetnsRig;
using testsupport::StationFixture;

namespace {

const QString kStation = QStringLiteral("192.0.2.1");
const QString kEncoderMac = QStringLiteral("02:00:00:00:00:10");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:11");
const QString kStrayMac = QStringLiteral("02:00:00:00:00:12");
const QString kFarMac = QStringLiteral("02:00:00:01:00:10");

const QStringList kEncoderArgs = {"--role",   "encoder",   "--name",      "Studio 1", "--serial",
                                  "4242",     "--gw",      "192.0.2.254", "--remote", "192.0.2.20",
                                  "--input",  "1",         "--type",      "0",        "--tx",
                                  "1",        "--version", "3.7",         "--sfn",    "1",
                                  "--buffer", "5",         "--llo",       "1",        "--quiet"};
const QStringList kDecoderArgs = {"--role",   "decoder", "--name",    "TX SITE NORTH",
                                  "--serial", "2002",    "--remote",  "239.1.2.3",
                                  "--type",   "1",       "--tx",      "1",
                                  "--att",    "200",     "--version", "2.4",
                                  "--sfn",    "1",       "--buffer",  "5",
                                  "--sdm",    "2",       "--sdl",     "30",
                                  "--sdt",    "60",      "--llo",     "0",
                                  "--quiet"};

// What discovery stores for the two emulators above: 14 and 18 entries.
const QByteArray kEncoderSection = "[020000000010]\r\n"
                                   "NAME=STUDIO 1        \r\n"
                                   "IP=192.0.2.10\r\n"
                                   "MASK=255.255.255.0\r\n"
                                   "GW=192.0.2.254\r\n"
                                   "INPUT=1\r\n"
                                   "TYPE=0\r\n"
                                   "TX=1\r\n"
                                   "MULTI=192.0.2.20\r\n"
                                   "ROLE=1\r\n"
                                   "SN=4242\r\n"
                                   "VER=3.7\r\n"
                                   "SFN=1\r\n"
                                   "BUF=5\r\n"
                                   "LLO=1\r\n";
const QByteArray kDecoderSection = "[020000000011]\r\n"
                                   "NAME=TX SITE NORTH   \r\n"
                                   "IP=192.0.2.11\r\n"
                                   "MASK=255.255.255.0\r\n"
                                   "GW=0.0.0.0\r\n"
                                   "INPUT=0\r\n"
                                   "TYPE=1\r\n"
                                   "TX=1\r\n"
                                   "MULTI=239.1.2.3\r\n"
                                   "ROLE=2\r\n"
                                   "SN=2002\r\n"
                                   "VER=2.4\r\n"
                                   "SFN=1\r\n"
                                   "BUF=5\r\n"
                                   "ATT=200\r\n"
                                   "SDM=2\r\n"
                                   "SDL=30\r\n"
                                   "SDT=60\r\n"
                                   "LLO=0\r\n";

const QString kQuestion = QStringLiteral(
    "Performing an 'Auto Discovery' will delete the local database in your computer and create a "
    "new one, based on the Network Elements found (if any). \rAre you sure?");
const QString kSendQuestion =
    QStringLiteral("This configuration will be sent to selected Network Element and\rwill also be "
                   "saved to local database in your computer. \rAre you sure?");
const QString kSaved = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kTimedOut =
    QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save.");
const QString kMissingDb = QStringLiteral(
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
const QString kEmptyDb = QStringLiteral(
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");
const QByteArray kPagingHex = QByteArray("IPMPXSTL TALVOREN PAGING REQUEST").toHex();

int entryLines(const QByteArray& section) {
    return int(section.count("\r\n")) - 1;
}

QStringList treeTexts(StationFixture& f) {
    QStringList texts;
    for (int i = 0; i < f.c().TreeView1->topLevelItemCount(); ++i)
        texts << f.c().TreeView1->topLevelItem(i)->text(0);
    return texts;
}

// The lines of an emulator's log that arrived on one port.
QStringList logOnPort(const NetnsRig& rig, int element, int port) {
    QStringList lines;
    const QString prefix = QString::number(port) + QLatin1Char(' ');
    for (const QString& line : rig.emulatorLog(element))
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    return lines;
}

// The kernel's tables instead of the fixture's scripted ones.
void useRealPlatform() {
    platform::setNeighbourTable(nullptr);
    platform::setLocalAddresses(nullptr);
    platform::setIcmpEcho(nullptr);
}

bool waitForBox(StationFixture& f, const QString& text, int ms = 5000) {
    return QTest::qWaitFor([&] { return f.boxes.texts().contains(text); }, ms);
}

} // namespace

class tst_net_station : public QObject {
    Q_OBJECT
private:
    // Bridge, station at 192.0.2.1 and the two elements; false with the rig's error otherwise.
    bool buildRig(NetnsRig& rig, bool stray = false) {
        return rig.create() && !rig.addElement("192.0.2.10", kEncoderMac).isEmpty() &&
               !rig.addElement("192.0.2.11", kDecoderMac).isEmpty() &&
               (!stray || !rig.addElement("192.0.2.12", kStrayMac).isEmpty());
    }
    std::unique_ptr<StationFixture>
    makeStation(NetnsRig& rig, app::Station::Timing timing = StationFixture::fastTiming()) {
        if (!rig.enterStation())
            return nullptr;
        auto f = std::make_unique<StationFixture>(kStation, timing);
        useRealPlatform();
        return f;
    }

private slots:
    void discoveryStoresEncoderAndDecoder();
    void uploadReachesDecoderAndIsConfirmed();
    void uploadAnsweredWithWrongName();
    void unsolicitedFeedbackIsDropped();
    void discoveryWithoutAnswersLeavesEmptyDatabase();
    void readOnlyDatabaseKept();
    void discoveryOnlyOnChosenNetwork();
    void pingEmulatedElementAndUnusedAddress();
    void levelMeterAndUploadWhileMonitoring();
    void interfaceListFromRealTable();
    void repeatedAnswersThenUploadToDiscoveredDecoder();
    void answerAfterTimeOutIsStillProcessed();
    void answersBehindAnOpenBoxAreStored();
};

// The one run at the real three-second window.
void tst_net_station::discoveryStoresEncoderAndDecoder() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs), qPrintable(rig.lastError()));
    auto f = makeStation(rig, app::Station::Timing());
    QVERIFY2(f, qPrintable(rig.lastError()));
    QVERIFY(f->start());
    QCOMPARE(f->boxes.texts(), QStringList{kMissingDb});

    QElapsedTimer took;
    took.start();
    f->station().AutoDiscover(); // an empty database: no question
    // The real window (a coarse timer may fire up to 5 % early), not a shortened one.
    QVERIFY2(took.elapsed() >= 2700,
             qPrintable(QString::number(took.elapsed()) + " ms: " + f->boxes.texts().join('|')));
    QVERIFY(!f->station().discovery().AutoDiscoverAwaiting());
    QCOMPARE(f->boxes.texts(), QStringList{kMissingDb});

    QCOMPARE(entryLines(kEncoderSection), 14);
    QCOMPARE(entryLines(kDecoderSection), 18);
    const QByteArray ini = f->readIni();
    // The two answers may come in either order; each section is whole and alone.
    if (ini.startsWith(kEncoderSection))
        QCOMPARE(ini, kEncoderSection + kDecoderSection);
    else
        QCOMPARE(ini, kDecoderSection + kEncoderSection);
    const QStringList nodes = treeTexts(*f);
    QCOMPARE(nodes.size(), 2);
    QVERIFY2(nodes.contains("STUDIO 1 [02:00:00:00:00:10]"), qPrintable(nodes.join('|')));
    QVERIFY2(nodes.contains("TX SITE NORTH [02:00:00:00:00:11]"), qPrintable(nodes.join('|')));
    QCOMPARE(f->c().frmTreeView->title(), QStringLiteral("Select element: (2 items)"));
    QCOMPARE(logOnPort(rig, 0, 1901), QStringList{kPagingHex});
    QCOMPARE(logOnPort(rig, 1, 1901), QStringList{kPagingHex});
    QCOMPARE(f->neighbours.calls, 0); // the MACs came from the kernel's table
}

void tst_net_station::uploadReachesDecoderAndIsConfirmed() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kDecoderMac));
    QCOMPARE(f->c().lblElementType->text(), QStringLiteral("DECODER"));
    f->c().txtElementName->setText("North Mast");
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().SaveChanges();
    QVERIFY(waitForBox(*f, kSaved));
    QCOMPARE(f->boxes.texts(), (QStringList{kSendQuestion, kSaved}));
    QCOMPARE(f->boxes.titles().last(), QStringLiteral("Configuration changed"));

    // ip mask gw remote input type tx sfn name[16] buffer sdm sdl sdt llo
    const QByteArray sent = QByteArray::fromHex("c000020b"
                                                "ffffff00"
                                                "00000000"
                                                "ef010203"
                                                "00"
                                                "01"
                                                "01"
                                                "01") +
                            QByteArray("NORTH MAST      ") + QByteArray::fromHex("05021e3c00");
    QCOMPARE(sent.size(), 41);
    QCOMPARE(logOnPort(rig, 1, 2976), QStringList{QString::fromLatin1(sent.toHex())});
    // The wait window found the MAC in the kernel's table, not in the scripted one.
    QCOMPARE(f->station().feedbackHandler().sRemoteMacAddress2(), kDecoderMac);
    QCOMPARE(f->neighbours.calls, 0);
    QByteArray expected = kEncoderSection + kDecoderSection;
    expected.replace("NAME=TX SITE NORTH   \r\n", "NAME=NORTH MAST      \r\n");
    QCOMPARE(f->readIni(), expected);
    QVERIFY(treeTexts(*f).contains("NORTH MAST [02:00:00:00:00:11]"));
    QVERIFY(!f->c().timerRemoteSent->isActive());
    QTest::qWait(400); // past the response time-out: the answer stopped it
    QCOMPARE(f->boxes.count(), 2);
}

void tst_net_station::uploadAnsweredWithWrongName() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs + QStringList{"--wrong-name", "SOMETHING ELSE"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kDecoderMac));
    f->c().txtElementName->setText("North Mast");
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().SaveChanges();
    const QString wrongName =
        QStringLiteral("An error occured while saving 'Element Name':\rFeedback is corrupted.");
    QVERIFY(waitForBox(*f, wrongName));
    QTest::qWait(400);
    QCOMPARE(f->boxes.texts(), (QStringList{kSendQuestion, wrongName}));
    // Every other field matched what was stored already; the name was not stored.
    QCOMPARE(f->readIni(), kEncoderSection + kDecoderSection);
}

void tst_net_station::unsolicitedFeedbackIsDropped() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig, true), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs), qPrintable(rig.lastError()));
    // The stray element even carries the selected element's name and settings.
    QVERIFY2(rig.startEmulator(2, kDecoderArgs), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kDecoderMac));
    // A paging request sent to the third element alone: its answer comes to port 2976
    // unasked, while the decoder is selected.
    QUdpSocket pager;
    QVERIFY(pager.bind(QHostAddress(kStation), 0));
    QCOMPARE(
        pager.writeDatagram("IPMPXSTL TALVOREN PAGING REQUEST", QHostAddress("192.0.2.12"), 1901),
        qint64(32));
    // Nothing was sent to anyone: the answer is dropped, with no box and no wait window.
    QSignalSpy read(&f->station().udpClient(), &platform::UdpEndpoint::datagramReceived);
    QVERIFY(read.wait(3000));
    QTest::qWait(200);
    QCOMPARE(f->boxes.count(), 0);
    QVERIFY(f->station().feedbackHandler().sRemoteMacAddress2().isEmpty());
    QCOMPARE(f->readIni(), kEncoderSection + kDecoderSection);
    QVERIFY(logOnPort(rig, 1, 2976).isEmpty());
}

void tst_net_station::discoveryWithoutAnswersLeavesEmptyDatabase() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs + QStringList{"--no-answer"}),
             qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs + QStringList{"--no-answer"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QCOMPARE(treeTexts(*f).size(), 2);
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().AutoDiscover();
    QCOMPARE(f->boxes.texts(), (QStringList{kQuestion, kEmptyDb}));
    QVERIFY(QFile::exists(f->iniPath()));
    QCOMPARE(QFileInfo(f->iniPath()).size(), qint64(0));
    QCOMPARE(f->c().TreeView1->topLevelItemCount(), 0);
    QCOMPARE(f->c().frmTreeView->title(), QStringLiteral("Select element: (0 items)"));
    QVERIFY(f->station().state().lstHidden.isEmpty());
    // The request did go out; nobody answered it.
    QCOMPARE(logOnPort(rig, 0, 1901), QStringList{kPagingHex});
    QCOMPARE(logOnPort(rig, 1, 1901), QStringList{kPagingHex});
}

// nms.ini without write permission, also for root: discovery is refused and keeps it.
void tst_net_station::readOnlyDatabaseKept() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    const QByteArray old = kDecoderSection + kEncoderSection;
    f->writeIni(old);
    QVERIFY(f->start());
    QVERIFY(QFile::setPermissions(f->iniPath(), QFile::ReadOwner | QFile::ReadOther));
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().AutoDiscover();
    QTest::qWait(300);
    QCOMPARE(f->boxes.texts(),
             (QStringList{kQuestion, "Unable to create the local database.\rAuto Discovery aborted."}));
    QCOMPARE(f->readIni(), old);
    QVERIFY(!f->station().discovery().AutoDiscoverAwaiting());
    // The tree shows the database that is still there.
    QCOMPARE(f->c().TreeView1->topLevelItemCount(), 2);
    QCOMPARE(rig.emulatorLog(0), QStringList());
    QCOMPARE(rig.emulatorLog(1), QStringList());
}

void tst_net_station::discoveryOnlyOnChosenNetwork() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(rig.create({"192.0.2.1/24"}, {"198.51.100.1/24"}), qPrintable(rig.lastError()));
    QVERIFY2(!rig.addElement("192.0.2.10", kEncoderMac).isEmpty(), qPrintable(rig.lastError()));
    QVERIFY2(!rig.addElement("198.51.100.10", kFarMac).isEmpty(), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    QVERIFY(f->start());
    QCOMPARE(f->station().state().strLocalNMSIPAddress, kStation);
    f->station().AutoDiscover();
    QCOMPARE(f->readIni(), kEncoderSection);
    QCOMPARE(treeTexts(*f), QStringList{"STUDIO 1 [02:00:00:00:00:10]"});
    QVERIFY(rig.emulatorLog(1).isEmpty()); // the broadcast never reached the other network
}

void tst_net_station::pingEmulatedElementAndUnusedAddress() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kEncoderMac));
    QPushButton* ping = f->c().cmdPing;

    ping->click();
    QVERIFY2(QRegularExpression("^\\d+ ms$").match(ping->text()).hasMatch(),
             qPrintable(ping->text()));
    QCOMPARE(ping->palette().color(QPalette::Button), QColor(0x00, 0xFF, 0x00));

    // Nobody there: the whole three seconds, then the failure.
    f->c().txtElementIP->setText("192.0.2.99");
    QElapsedTimer took;
    took.start();
    ping->click();
    QVERIFY(took.elapsed() >= 2900);
    QCOMPARE(ping->text(), QStringLiteral("Failed!"));
    QCOMPARE(ping->palette().color(QPalette::Button), QColor(0xFF, 0x80, 0x80));
    QCOMPARE(f->boxes.count(), 0);
}

void tst_net_station::levelMeterAndUploadWhileMonitoring() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs + QStringList{"--peak", "4194304"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kEncoderMac));
    auto& c = f->c();
    f->station().StartMonitoring();
    QVERIFY(c.tmrVolume->isActive());
    QVERIFY(QTest::qWaitFor([&] { return c.lblVolume->text() == "-6dBFS"; }, 3000));
    QCOMPARE(c.VUMeter->widthTwips(), 1050);
    QVERIFY(logOnPort(rig, 0, 2977).contains(QByteArray("VOL").toHex()));

    c.txtElementName->setText("Studio 2");
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().SaveChanges();
    QVERIFY(waitForBox(*f, kSaved));
    QCOMPARE(f->boxes.texts(), (QStringList{kSendQuestion, kSaved}));
    // ip mask gw remote input type tx sfn name[16] llo
    const QByteArray sent = QByteArray::fromHex("c000020a"
                                                "ffffff00"
                                                "c00002fe"
                                                "c0000214"
                                                "01"
                                                "00"
                                                "01"
                                                "01") +
                            QByteArray("STUDIO 2        ") + QByteArray::fromHex("01");
    QCOMPARE(sent.size(), 37);
    QCOMPARE(logOnPort(rig, 0, 2976), QStringList{QString::fromLatin1(sent.toHex())});
    QByteArray expected = kEncoderSection + kDecoderSection;
    expected.replace("NAME=STUDIO 1        \r\n", "NAME=STUDIO 2        \r\n");
    QCOMPARE(f->readIni(), expected);
    f->station().StopMonitoring();
    QCOMPARE(c.lblVolume->text(), QStringLiteral("-oodBFS"));
    QCOMPARE(c.VUMeter->widthTwips(), 0);
}

void tst_net_station::interfaceListFromRealTable() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(rig.create({"192.0.2.1/24"}, {"198.51.100.1/24"}), qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection);
    QVERIFY(f->start());
    QComboBox* list = f->c().cmbNMSIPAddr;
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    QCOMPARE(entries, (QStringList{"192.0.2.1", "198.51.100.1", "127.0.0.1"}));
    QCOMPARE(list->currentText(), kStation);
    QCOMPARE(f->station().udpClient().localAddress(), kStation);
}

void tst_net_station::repeatedAnswersThenUploadToDiscoveredDecoder() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs + QStringList{"--answers", "2"}),
             qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs + QStringList{"--answers", "2"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    QVERIFY(f->start());
    f->station().AutoDiscover();
    // A second answer writes the same keys again: still one section each.
    const QByteArray ini = f->readIni();
    if (ini.startsWith(kEncoderSection))
        QCOMPARE(ini, kEncoderSection + kDecoderSection);
    else
        QCOMPARE(ini, kDecoderSection + kEncoderSection);
    QCOMPARE(f->boxes.texts(), QStringList{kMissingDb});

    // The paging target is gone again: the upload goes to the stored address on 2976.
    QVERIFY(f->selectNode(kDecoderMac));
    f->c().txtElementName->setText("North Mast");
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    f->station().SaveChanges();
    QVERIFY(waitForBox(*f, kSaved));
    QCOMPARE(logOnPort(rig, 1, 2976).size(), 1);
    QCOMPARE(logOnPort(rig, 1, 1901), QStringList{kPagingHex});
    QVERIFY(f->readIni().contains("[020000000011]\r\nNAME=NORTH MAST      \r\n"));
    // Its second answer is dropped: one answer is handled, one confirmation shown.
    QTest::qWait(300);
    QCOMPARE(f->boxes.texts(), (QStringList{kMissingDb, kSendQuestion, kSaved}));
}

void tst_net_station::answerAfterTimeOutIsStillProcessed() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig), qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs + QStringList{"--delay-ms", "700"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig);
    QVERIFY2(f, qPrintable(rig.lastError()));
    f->writeIni(kEncoderSection + kDecoderSection);
    QVERIFY(f->start());
    QVERIFY(f->selectNode(kDecoderMac));
    f->c().txtElementName->setText("North Mast");
    f->boxes.enqueue(platform::MsgAnswer::Yes);
    // The time-out box is still open when the answer comes; it is handled after it, once.
    QSignalSpy read(&f->station().udpClient(), &platform::UdpEndpoint::datagramReceived);
    f->boxes.stayOpen(kTimedOut, 5000, [&] { return read.count() > 0; });
    f->station().SaveChanges();
    QVERIFY(waitForBox(*f, kSaved));
    QTest::qWait(300);
    QCOMPARE(f->boxes.texts(), (QStringList{kSendQuestion, kTimedOut, kSaved}));
    QCOMPARE(f->boxes.titles().at(1), QStringLiteral("Error!"));
    QCOMPARE(f->boxes.maxOpen, 1);
    QVERIFY(f->readIni().contains("[020000000011]\r\nNAME=NORTH MAST      \r\n"));
}

void tst_net_station::answersBehindAnOpenBoxAreStored() {
    KN_REQUIRE_RIG();
    NetnsRig rig;
    QVERIFY2(buildRig(rig, true), qPrintable(rig.lastError()));
    // The first answer reports an address where nobody answers the station's ARP request;
    // its box stays open past the window while the two elements answer behind it.
    QVERIFY2(rig.startEmulator(2, kDecoderArgs + QStringList{"--report-address", "192.0.2.77"}),
             qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(0, kEncoderArgs + QStringList{"--delay-ms", "1500"}),
             qPrintable(rig.lastError()));
    QVERIFY2(rig.startEmulator(1, kDecoderArgs + QStringList{"--delay-ms", "1500"}),
             qPrintable(rig.lastError()));
    auto f = makeStation(rig, app::Station::Timing());
    QVERIFY2(f, qPrintable(rig.lastError()));
    QVERIFY(f->start());
    const QString noMac =
        QStringLiteral("An error occured while retrieving 'Element MAC':\rFeedback is corrupted.");
    f->boxes.stayOpen(noMac, 10000, [&] {
        return !f->station().discovery().AutoDiscoverAwaiting() && treeTexts(*f).size() == 2;
    });
    f->station().AutoDiscover();
    QCOMPARE(f->boxes.texts(), (QStringList{kMissingDb, noMac}));
    const QByteArray ini = f->readIni();
    QVERIFY2(ini == kEncoderSection + kDecoderSection || ini == kDecoderSection + kEncoderSection,
             ini.constData());
    QCOMPARE(treeTexts(*f).size(), 2);
}

QTEST_MAIN(tst_net_station)
#include "tst_net_station.moc"
