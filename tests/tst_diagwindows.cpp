// The statistics and SFN adjustment windows against an element played by a real UDP socket
// on loopback: station 127.0.30.1, element 127.0.30.2, both on port 2978.
#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "diag/statusreply.h"
#include "editor/maincontrols.h"
#include "platform/fakes/memorysettings.h"
#include "platform/fakes/scriptedmessagebox.h"
#include "platform/programdir.h"
#include "platform/udpendpoint.h"
#include "support/spoken.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <optional>

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;
using testsupport::spoken;

namespace {

const QString kStation = QStringLiteral("127.0.30.1");
const QString kElementIp = QStringLiteral("127.0.30.2");
constexpr quint16 kPort = 2978;
const QString kMac = QStringLiteral("02:00:00:00:00:0B");
const QString kSection = QStringLiteral("02000000000B");
const QString kReminder =
    QStringLiteral("There are unsaved parameters. Don't forget to click the 'Save' button.");
const QString kResetText = QStringLiteral("You will reset all counters to zero.\rAre you sure?");

using Fields = QList<QPair<int, qint32>>;

QByteArray Reply(const Fields& fields, int size = diag::kStatusReplyLength, int servoFlag = 0) {
    QByteArray r(size, '\0');
    for (const auto& [offset, value] : fields) {
        const quint32 v = static_cast<quint32>(value);
        for (int i = 0; i < 4 && offset + i < size; ++i)
            r[offset + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
    }
    if (size > 60)
        r[60] = static_cast<char>(servoFlag);
    return r;
}

// The element: answers from 127.0.30.2:2978 and records what the station sends it.
class Element {
public:
    Element() {
        ok = m_socket.bind(QHostAddress(kElementIp), kPort, QAbstractSocket::DontShareAddress);
    }
    // The next datagram from the station; empty after a few seconds without one.
    QByteArray next() {
        if (!QTest::qWaitFor([this] { return m_socket.hasPendingDatagrams(); }, 5000))
            return {};
        return m_socket.receiveDatagram().data();
    }
    void reply(const QByteArray& bytes) {
        m_socket.writeDatagram(bytes, QHostAddress(kStation), kPort);
    }
    // Nothing came (checked after letting pending events run).
    bool quiet() {
        QTest::qWait(20);
        return !m_socket.hasPendingDatagrams();
    }
    bool ok = false;

private:
    QUdpSocket m_socket;
};

QString Ratio(const char* text) {
    QString s = QString::fromLatin1(text);
    return s.replace(QLatin1Char('.'), db::UserDecimalSeparator());
}

} // namespace

class TestDiagWindows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void statsShowsCounters_data();
    void statsShowsCounters();
    void statsLongReplyDropped();
    void statsError5KeepsEarlierLabels();
    void statsReset_data();
    void statsReset();
    void statsErrorBoxDropsFurtherReplies();
    void statsControls();

    void adjustOpening_data();
    void adjustOpening();
    void adjustSetBytes_data();
    void adjustSetBytes();
    void adjustAutoClearAfterSet();
    void adjustReply_data();
    void adjustReply();
    void adjustWrongLengthDropped_data();
    void adjustWrongLengthDropped();
    void adjustCloseWritesLastSet_data();
    void adjustCloseWritesLastSet();
    void adjustErrorBoxDropsFurtherReplies();
    void adjustAutoRefreshOffRule_data();
    void adjustAutoRefreshOffRule();
    void adjustReset();
    void adjustControls();

    void unusableAddress_data();
    void unusableAddress();

private:
    void writeIni(const QString& sfn, const QString& dly = QStringLiteral("0"),
                  const QString& srv = QStringLiteral("0"), const QString& ip = kElementIp);
    QString iniValue(const QString& key) const {
        return db::ReadFromINI(kSection, key, db::NmsIniPath(), QStringLiteral("<none>"));
    }
    template <typename T> static T* child(QObject* w, const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    static QString text(QObject* w, const char* name) { return child<QLabel>(w, name)->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<platform::MemorySettings> m_settings;
    std::unique_ptr<platform::ScriptedMessageBox> m_box;
    std::unique_ptr<QLabel> m_lblMac, m_lblType;
    editor::MainControls m_main;
};

void TestDiagWindows::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    platform::setProgramDirectory(m_dir->path());
    m_settings = std::make_unique<platform::MemorySettings>();
    m_box = std::make_unique<platform::ScriptedMessageBox>();
    m_lblMac = std::make_unique<QLabel>(kMac);
    m_lblType = std::make_unique<QLabel>(QStringLiteral("DECODER"));
    m_main = {};
    m_main.lblElementMAC = m_lblMac.get();
    m_main.lblElementType = m_lblType.get();
}

void TestDiagWindows::cleanup() {
    m_box.reset();
    m_settings.reset();
    platform::setProgramDirectory(QString());
    m_dir.reset();
}

void TestDiagWindows::writeIni(const QString& sfn, const QString& dly, const QString& srv,
                               const QString& ip) {
    QFile f(db::NmsIniPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QString body = QStringLiteral("[%1]\r\nip=%2\r\nname=STUDIO 1\r\nsfn=%3\r\n"
                                        "dly=%4\r\nsrv=%5\r\n")
                             .arg(kSection, ip, sfn, dly, srv);
    f.write(body.toLatin1());
}

// ---------------------------------------------------------------- statistics window

void TestDiagWindows::statsShowsCounters_data() {
    QTest::addColumn<QString>("sfn");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected"); // label, text, label, text, ...

    const QStringList ptpUntouched = {"lblPTPRxOK",   "-", "lblPTPRxErr",   "-",
                                      "lblPTPClkAdj", "-", "lblPTPLatency", "-"};
    QTest::newRow("10/20/0") << "0"
                             << "DECODER" << Reply({{0, 10}, {4, 20}, {8, 0}})
                             << (QStringList{"lblMACTxOK", "10", "lblMACRxOK", "20", "lblMACTxErr",
                                             "0 (0%)"} +
                                 ptpUntouched);
    QTest::newRow("199/1") << "1"
                           << "DECODER" << Reply({{0, 199}, {8, 1}})
                           << QStringList{"lblMACTxOK", "199", "lblMACTxErr", Ratio("1 (0.5%)")};
    QTest::newRow("2/1") << "1"
                         << "DECODER" << Reply({{4, 2}, {12, 1}})
                         << QStringList{"lblMACRxOK", "2", "lblMACRxErr", Ratio("1 (33.33%)")};
    QTest::newRow("all zero") << "1"
                              << "DECODER" << Reply({})
                              << QStringList{"lblMACTxErr",         "0 (0%)",
                                             "lblMACRxErr",         "0 (0%)",
                                             "lblAudioRxFramesOK",  "0",
                                             "lblAudioRxFramesErr", "0 (0%)"};
    QTest::newRow("audio ratio") << "0"
                                 << "ENCODER" << Reply({{32, 3}, {36, 1}})
                                 << QStringList{"lblAudioRxFramesOK", "3", "lblAudioRxFramesErr",
                                                Ratio("1 (25%)")};
    const Fields ptp = {{16, 5}, {20, 2}, {24, -120}, {28, 1000}, {52, 500}};
    QTest::newRow("sfn 1 decoder")
        << "1"
        << "DECODER" << Reply(ptp)
        << QStringList{"lblPTPRxOK",   "5",       "lblPTPRxErr",   "2",
                       "lblPTPClkAdj", "-120 nS", "lblPTPLatency", "1500 nS"};
    QTest::newRow("sfn 0 decoder") << "0"
                                   << "DECODER" << Reply(ptp) << ptpUntouched;
    QTest::newRow("sfn 1 encoder")
        << "1"
        << "ENCODER" << Reply(ptp) << QStringList{"lblPTPRxOK",   "5", "lblPTPRxErr",   "2",
                                                  "lblPTPClkAdj", "-", "lblPTPLatency", "-"};
    QTest::newRow("minus one") << "1"
                               << "DECODER" << Reply({{0, -1}, {16, -1}})
                               << QStringList{"lblMACTxOK", "-1", "lblPTPRxOK", "-1"};
    QTest::newRow("40 bytes") << "1"
                              << "DECODER" << Reply({{28, 777}, {52, 500}}, 40)
                              << QStringList{"lblPTPLatency", "777 nS"};
}

void TestDiagWindows::statsShowsCounters() {
    QFETCH(QString, sfn);
    QFETCH(QString, type);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    writeIni(sfn);
    m_lblType->setText(type);
    Element element;
    QVERIFY(element.ok);
    diag::FrmStatistics w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(child<QGroupBox>(&w, "frmStats")->title(), QStringLiteral("STUDIO 1:"));
    QCOMPARE(element.next(), QByteArray("GetStats"));
    element.reply(reply);
    QTRY_VERIFY(text(&w, "lblMACTxOK") != QLatin1String("-"));
    for (int i = 0; i + 1 < expected.size(); i += 2)
        QCOMPARE(text(&w, expected[i].toLatin1().constData()), expected[i + 1]);
    QCOMPARE(spoken(child<QLabel>(&w, "lblMACTxOK")),
             "Good TX Frames: " + child<QLabel>(&w, "lblMACTxOK")->text());
    QCOMPARE(m_box->count(), 0);
}

void TestDiagWindows::statsLongReplyDropped() {
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmStatistics w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetStats"));
    element.reply(Reply({{0, 10}, {8, 5}, {16, 3}, {32, 9}}, 62));
    // Behind it a reply that stops with Error 5 after the first two labels.
    element.reply(Reply({{0, 0x7FFFFFFF}, {8, 1}}));
    QTRY_COMPARE(m_box->count(), 1);
    QCOMPARE(text(&w, "lblMACTxOK"), QStringLiteral("2147483647"));
    for (const char* untouched :
         {"lblMACTxErr", "lblMACRxErr", "lblPTPRxOK", "lblAudioRxFramesOK", "lblAudioRxFramesErr"})
        QCOMPARE(text(&w, untouched), QStringLiteral("-"));
}

void TestDiagWindows::statsError5KeepsEarlierLabels() {
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmStatistics w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetStats"));
    element.reply(Reply({{0, 4}, {4, 0x7FFFFFFF}, {8, 0}, {12, 1}}));
    QTRY_COMPARE(m_box->count(), 1);
    QCOMPARE(m_box->shown[0].text, diag::kStatsErrorText);
    QCOMPARE(m_box->shown[0].title, QString());
    QCOMPARE(m_box->shown[0].icon, MsgIcon::Critical);
    QCOMPARE(text(&w, "lblMACTxOK"), QStringLiteral("4"));
    QCOMPARE(text(&w, "lblMACRxOK"), QStringLiteral("2147483647"));
    QCOMPARE(text(&w, "lblMACTxErr"), QStringLiteral("0 (0%)"));
    QCOMPARE(text(&w, "lblMACRxErr"), QStringLiteral("-"));
    QCOMPARE(text(&w, "lblPTPRxOK"), QStringLiteral("-"));
    QVERIFY(w.isEnabled());
}

void TestDiagWindows::statsReset_data() {
    QTest::addColumn<std::optional<MsgAnswer>>("answer");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("yes") << std::optional<MsgAnswer>(MsgAnswer::Yes) << QByteArray("RstStats");
    QTest::newRow("no") << std::optional<MsgAnswer>(MsgAnswer::No) << QByteArray("GetStats");
    QTest::newRow("default") << std::optional<MsgAnswer>() << QByteArray("GetStats");
}

void TestDiagWindows::statsReset() {
    QFETCH(std::optional<MsgAnswer>, answer);
    QFETCH(QByteArray, sent);
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmStatistics w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetStats"));
    if (answer)
        m_box->enqueue(*answer);
    child<QPushButton>(&w, "cmdResetStats")->click();
    QCOMPARE(m_box->count(), 1);
    QCOMPARE(m_box->shown[0].title, QStringLiteral("Reset counters"));
    QCOMPARE(m_box->shown[0].text, kResetText);
    QCOMPARE(m_box->shown[0].buttons, MsgButtons::YesNo);
    // Refresh marks the end: whatever the reset sent comes before it.
    child<QPushButton>(&w, "cmdRefreshStats")->click();
    QCOMPARE(element.next(), sent);
}

void TestDiagWindows::statsErrorBoxDropsFurtherReplies() {
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmStatistics w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetStats"));
    const QByteArray failing = Reply({{0, 0x7FFFFFFF}, {8, 1}});
    int hooks = 0;
    m_box->onShow([&](const platform::MessageBoxRequest&) {
        if (hooks++ == 0) {
            element.reply(failing); // would open a second box
            element.reply(Reply({{0, 55}}));
            QTest::qWait(50);
        }
    });
    element.reply(failing);
    QTRY_COMPARE(m_box->count(), 1);
    QTest::qWait(20);
    QCOMPARE(text(&w, "lblMACTxOK"), QStringLiteral("2147483647"));
    element.reply(Reply({{0, 66}}));
    QTRY_COMPARE(text(&w, "lblMACTxOK"), QStringLiteral("66"));
    QCOMPARE(m_box->count(), 1);
}

void TestDiagWindows::statsControls() {
    writeIni(QStringLiteral("1"));
    diag::FrmStatistics w(m_main, kStation);
    QCOMPARE(w.objectName(), QStringLiteral("frmStatistics"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Statistics"));
    QCOMPARE(child<QGroupBox>(&w, "frmStats")->title(), QStringLiteral("[DEVICE]"));
    auto* refresh = child<QPushButton>(&w, "cmdRefreshStats");
    QCOMPARE(refresh->text(), QStringLiteral("&Refresh"));
    QCOMPARE(refresh->toolTip(), QStringLiteral("Fetch counters"));
    auto* reset = child<QPushButton>(&w, "cmdResetStats");
    QCOMPARE(reset->text(), QStringLiteral("&Clear"));
    QCOMPARE(reset->toolTip(), QStringLiteral("Reset counters to zero"));
    QCOMPARE(w.findChild<platform::UdpEndpoint*>(QStringLiteral("udpClient2")) != nullptr, true);
    const QStringList labels = {
        "lblMACTxOK",          "lblMACTxErr", "lblMACRxOK",  "lblMACRxErr",  "lblAudioRxFramesOK",
        "lblAudioRxFramesErr", "lblPTPRxOK",  "lblPTPRxErr", "lblPTPClkAdj", "lblPTPLatency"};
    const QStringList captions = {
        "Good TX Frames:",   "Bad TX Frames:",    "Good RX Frames:", "Bad RX Frames:",
        "OK Audio Frames:",  "Bad Audio Frames:", "Good PTP Sync:",  "Bad PTP Sync:",
        "Clock Difference:", "Measured delay:"};
    for (int i = 0; i < labels.size(); ++i) {
        const QByteArray name = labels[i].toLatin1();
        QCOMPARE(spoken(child<QLabel>(&w, name.constData())), captions[i] + " -");
        QCOMPARE(child<QLabel>(&w, name.constData())->accessibleDescription(), labels[i]);
    }
}

// ---------------------------------------------------------------- SFN adjustment window

void TestDiagWindows::adjustOpening_data() {
    QTest::addColumn<QString>("dly");
    QTest::addColumn<QString>("srv");
    QTest::addColumn<QString>("autoClear");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("servo");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QString>("delayText");
    QTest::newRow("plain") << "250"
                           << "1"
                           << "1" << 250 << true << true << "25 uS, 0 nS";
    QTest::newRow("zero") << "0"
                          << "0"
                          << "0" << 0 << false << false << "0 nS";
    QTest::newRow("not a number") << "abc"
                                  << "abc"
                                  << "abc" << 0 << false << false << "0 nS";
    QTest::newRow("above range") << "99999"
                                 << "2"
                                 << "2" << 25000 << false << false << "2 mS, 500 uS, 0 nS";
    QTest::newRow("below range") << "-5"
                                 << "-1"
                                 << "-1" << 0 << false << false << "0 nS";
    QTest::newRow("huge") << "99999999999"
                          << "1"
                          << "0" << 25000 << true << false << "2 mS, 500 uS, 0 nS";
    QTest::newRow("missing") << ""
                             << ""
                             << "" << 0 << false << false << "0 nS";
}

void TestDiagWindows::adjustOpening() {
    QFETCH(QString, dly);
    QFETCH(QString, srv);
    QFETCH(QString, autoClear);
    QFETCH(int, position);
    QFETCH(bool, servo);
    QFETCH(bool, clear);
    QFETCH(QString, delayText);
    writeIni(QStringLiteral("1"), dly, srv);
    if (!autoClear.isEmpty())
        m_settings->values.insert(QStringLiteral("AutoClearCounters"), autoClear);
    const auto before = m_settings->values;
    const QByteArray iniBefore = [] {
        QFile f(db::NmsIniPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    QCOMPARE(child<QScrollBar>(&w, "scrlAdditionalDelay")->value(), position);
    QCOMPARE(w.additionalDelayNs(), position * 100);
    QCOMPARE(child<QCheckBox>(&w, "chkAutoServo")->isChecked(), servo);
    QCOMPARE(child<QCheckBox>(&w, "chkAutoClear")->isChecked(), clear);
    QCOMPARE(spoken(child<QLabel>(&w, "lblAdditionalDelay")), "Latency compensation: " + delayText);
    for (const char* l :
         {"lblCurrentDelayMIN", "lblCurrentDelayMAX", "lblCurrentDelayAVG", "lblDelaySumMIN",
          "lblDelaySumMAX", "lblDelaySumAVG", "lblFixedLatencyAUDIO", "lblFixedLatencyMAC"})
        QVERIFY2(spoken(child<QLabel>(&w, l)).endsWith(": -"), l); // the caption, then the value
    QVERIFY(!child<QCheckBox>(&w, "chkAutoUpdate")->isChecked());
    QVERIFY(!child<QTimer>(&w, "Timer2")->isActive());
    QVERIFY(!child<QTimer>(&w, "Timer1")->isActive());
    QVERIFY(!w.parametersChanged());
    // Opening re-stores at most the same setting, and leaves nms.ini alone.
    QCOMPARE(m_settings->values, before);
    w.reject();
    QFile f(db::NmsIniPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), iniBefore);
    QCOMPARE(m_box->count(), 0);
}

void TestDiagWindows::adjustSetBytes_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("servo");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("delayText");
    QTest::newRow("250 off") << 250 << false << QByteArray::fromHex("53000061A800")
                             << "25 uS, 0 nS";
    QTest::newRow("250 on") << 250 << true << QByteArray::fromHex("53000061A801") << "25 uS, 0 nS";
    QTest::newRow("25000 off") << 25000 << false << QByteArray::fromHex("53002625A000")
                               << "2 mS, 500 uS, 0 nS";
    QTest::newRow("25000 on") << 25000 << true << QByteArray::fromHex("53002625A001")
                              << "2 mS, 500 uS, 0 nS";
    QTest::newRow("0 off") << 0 << false << QByteArray::fromHex("530000000000") << "0 nS";
}

void TestDiagWindows::adjustSetBytes() {
    QFETCH(int, position);
    QFETCH(bool, servo);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, delayText);
    writeIni(QStringLiteral("1"), QStringLiteral("17"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    w.setRefreshIntervalMs(60000);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    child<QScrollBar>(&w, "scrlAdditionalDelay")->setValue(position);
    QCOMPARE(text(&w, "lblAdditionalDelay"), delayText);
    if (servo)
        child<QCheckBox>(&w, "chkAutoServo")->click();
    child<QCheckBox>(&w, "chkAutoUpdate")->click();
    QVERIFY(child<QTimer>(&w, "Timer2")->isActive());
    child<QPushButton>(&w, "cmdSet")->click();
    QVERIFY(!child<QCheckBox>(&w, "chkAutoUpdate")->isChecked());
    QVERIFY(!child<QTimer>(&w, "Timer2")->isActive());
    QVERIFY(!child<QTimer>(&w, "Timer1")->isActive()); // auto clear off
    QCOMPARE(element.next(), datagram);
    QVERIFY(w.parametersChanged());
}

void TestDiagWindows::adjustAutoClearAfterSet() {
    writeIni(QStringLiteral("1"), QStringLiteral("250"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    child<QCheckBox>(&w, "chkAutoClear")->click();
    QCOMPARE(m_settings->values.value(QStringLiteral("AutoClearCounters")), QStringLiteral("1"));
    auto* timer1 = child<QTimer>(&w, "Timer1");
    QCOMPARE(timer1->interval(), 250);
    QVERIFY(timer1->isSingleShot());
    QElapsedTimer clock;
    clock.start();
    child<QPushButton>(&w, "cmdSet")->click();
    QCOMPARE(element.next(), QByteArray::fromHex("53000061A800"));
    QCOMPARE(element.next(), QByteArray("RstStats"));
    QVERIFY(clock.elapsed() >= 200); // not at once: after the clear timer
    QVERIFY(!timer1->isActive());
    QCOMPARE(m_box->count(), 0); // no confirmation for the automatic clear
    // Once per Set: the refresh button's datagram is next.
    child<QPushButton>(&w, "cmdRefresh")->click();
    QCOMPARE(element.next(), QByteArray("GetDel"));

    child<QCheckBox>(&w, "chkAutoClear")->click();
    QCOMPARE(m_settings->values.value(QStringLiteral("AutoClearCounters")), QStringLiteral("0"));
}

void TestDiagWindows::adjustReply_data() {
    QTest::addColumn<QString>("sfn");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("dly");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("servo");
    QTest::addColumn<bool>("autoRefresh"); // still on afterwards
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("3 ms") << "1"
                          << "DECODER"
                          << "250" << Reply({{52, 3000000}}) << 25000 << false << false
                          << QStringList{"lblAdditionalDelay", "2 mS, 500 uS, 0 nS"};
    QTest::newRow("-500 ns") << "1"
                             << "DECODER"
                             << "100" << Reply({{52, -500}}) << 0 << false << false
                             << QStringList{"lblAdditionalDelay", "0 nS"};
    QTest::newRow("equal") << "1"
                           << "DECODER"
                           << "250" << Reply({{52, 25000}}) << 250 << false << true
                           << QStringList{"lblAdditionalDelay", "25 uS, 0 nS"};
    QTest::newRow("average") << "1"
                             << "DECODER"
                             << "250"
                             << Reply({{40, 100000}, {44, 90000}, {48, 110000}, {52, 25000}}) << 250
                             << false << true
                             << QStringList{"lblCurrentDelayAVG",   "125 uS, 0 nS",
                                            "lblDelaySumAVG",       "521 uS, 98 nS",
                                            "lblCurrentDelayMIN",   "115 uS, 0 nS",
                                            "lblCurrentDelayMAX",   "135 uS, 0 nS",
                                            "lblFixedLatencyMAC",   "265 nS",
                                            "lblFixedLatencyAUDIO", "395 uS, 833 nS"};
    QTest::newRow("servo on") << "1"
                              << "DECODER"
                              << "250" << Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 1)
                              << 250 << true << false
                              << QStringList{"chkAutoServo", "Auto servo (-120 nS)",
                                             "lblCurrentDelayAVG", "124 uS, 880 nS"};
    QTest::newRow("servo flag 2") << "1"
                                  << "DECODER"
                                  << "250" << Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 2)
                                  << 250 << false << true
                                  << QStringList{"chkAutoServo", "Auto servo", "lblCurrentDelayAVG",
                                                 "125 uS, 0 nS"};
    const QStringList onlyFixed = {"lblFixedLatencyMAC",   "265 nS",
                                   "lblFixedLatencyAUDIO", "395 uS, 833 nS",
                                   "lblCurrentDelayAVG",   "-",
                                   "lblAdditionalDelay",   "1 uS, 0 nS",
                                   "chkAutoServo",         "Auto &delay compensation"};
    QTest::newRow("encoder") << "1"
                             << "ENCODER"
                             << "10" << Reply({{40, 5}, {52, 3000000}}, 61, 1) << 10 << false
                             << true << onlyFixed;
    QTest::newRow("sfn 0") << "0"
                           << "DECODER"
                           << "10" << Reply({{40, 5}, {52, 3000000}}, 61, 1) << 10 << false << true
                           << onlyFixed;
}

void TestDiagWindows::adjustReply() {
    QFETCH(QString, sfn);
    QFETCH(QString, type);
    QFETCH(QString, dly);
    QFETCH(QByteArray, reply);
    QFETCH(int, position);
    QFETCH(bool, servo);
    QFETCH(bool, autoRefresh);
    QFETCH(QStringList, expected);
    writeIni(sfn, dly);
    m_lblType->setText(type);
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    w.setRefreshIntervalMs(60000);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    child<QCheckBox>(&w, "chkAutoUpdate")->click();
    element.reply(reply);
    QTRY_COMPARE(text(&w, "lblFixedLatencyMAC"), QStringLiteral("265 nS"));
    QCOMPARE(child<QScrollBar>(&w, "scrlAdditionalDelay")->value(), position);
    QCOMPARE(w.additionalDelayNs(), position * 100);
    QCOMPARE(child<QCheckBox>(&w, "chkAutoServo")->isChecked(), servo);
    QCOMPARE(child<QCheckBox>(&w, "chkAutoUpdate")->isChecked(), autoRefresh);
    QCOMPARE(child<QTimer>(&w, "Timer2")->isActive(), autoRefresh);
    for (int i = 0; i + 1 < expected.size(); i += 2) {
        const QByteArray name = expected[i].toLatin1();
        if (name == "chkAutoServo")
            QCOMPARE(child<QCheckBox>(&w, name.constData())->text(), expected[i + 1]);
        else
            QCOMPARE(text(&w, name.constData()), expected[i + 1]);
    }
    QCOMPARE(m_box->count(), 0);
}

void TestDiagWindows::adjustWrongLengthDropped_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("60") << 60;
    QTest::newRow("62") << 62;
    QTest::newRow("0") << 0;
}

void TestDiagWindows::adjustWrongLengthDropped() {
    QFETCH(int, size);
    writeIni(QStringLiteral("1"), QStringLiteral("10"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    QByteArray wrong = Reply({{40, 1000}, {44, 1000}, {48, 1000}, {52, 3000000}}, size);
    element.reply(wrong);
    // Behind it a reply that stops with Error 4 at the average.
    element.reply(Reply({{40, 0x7FFFFFFF}, {52, 1000}}));
    QTRY_COMPARE(m_box->count(), 1);
    QCOMPARE(m_box->shown[0].text, diag::kDelayErrorText);
    QCOMPARE(m_box->shown[0].icon, MsgIcon::Critical);
    QCOMPARE(child<QScrollBar>(&w, "scrlAdditionalDelay")->value(), 10);
    for (const char* l :
         {"lblCurrentDelayAVG", "lblCurrentDelayMIN", "lblCurrentDelayMAX", "lblDelaySumMIN"})
        QCOMPARE(text(&w, l), QStringLiteral("-"));
}

void TestDiagWindows::adjustCloseWritesLastSet_data() {
    QTest::addColumn<bool>("set");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("stored"); // dly and srv afterwards
    QTest::addColumn<QStringList>("boxes");
    const QString failed =
        QStringLiteral("Unable to write the local database.\rCannot save this element info.");
    QTest::newRow("written") << true << true << "250 1" << QStringList{kReminder};
    QTest::newRow("store not writable") << true << false << "0 0" << QStringList{failed, kReminder};
    QTest::newRow("no Set writes nothing") << false << true << "0 0" << QStringList();
}

void TestDiagWindows::adjustCloseWritesLastSet() {
    QFETCH(bool, set);
    QFETCH(bool, writable);
    QFETCH(QString, stored);
    QFETCH(QStringList, boxes);
    writeIni(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"));
    const QString store = db::NmsIniPath();
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    auto* bar = child<QScrollBar>(&w, "scrlAdditionalDelay");
    auto* servo = child<QCheckBox>(&w, "chkAutoServo");
    bar->setValue(250);
    servo->click();
    if (set) {
        child<QPushButton>(&w, "cmdSet")->click();
        QCOMPARE(element.next(), QByteArray::fromHex("53000061A801"));
    }
    // Moved afterwards but never sent: the element still has 250 and servo on.
    bar->setValue(400);
    QTest::keyClick(bar, Qt::Key_Right); // the right arrow key lengthens the delay
    servo->click();
    QCOMPARE(bar->value(), 401);
    if (!writable)
        platform::setProgramDirectory(m_dir->filePath(QStringLiteral("gone")));
    w.reject();
    QCOMPARE(db::ReadFromINI(kSection, db::keys::dly, store, {}) + " " +
                 db::ReadFromINI(kSection, db::keys::srv, store, {}),
             stored);
    QCOMPARE(m_box->texts(), boxes); // a failure comes before the reminder
    for (const auto& box : m_box->shown) {
        QCOMPARE(box.title, QString());
        QCOMPARE(box.icon, box.text == kReminder ? MsgIcon::Information : MsgIcon::Critical);
    }
    QVERIFY(!w.parametersChanged());
    // The port is free again once the window is closed.
    platform::UdpEndpoint other;
    QVERIFY(other.bind(kStation, kPort));
}

void TestDiagWindows::adjustErrorBoxDropsFurtherReplies() {
    writeIni(QStringLiteral("1"), QStringLiteral("10"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    const QByteArray failing = Reply({{40, 0x7FFFFFFF}, {52, 1000}});
    int hooks = 0;
    m_box->onShow([&](const platform::MessageBoxRequest&) {
        if (hooks++ == 0) {
            element.reply(failing);
            element.reply(Reply({{40, 5000}, {52, 2000}}));
            QTest::qWait(50);
        }
    });
    element.reply(failing);
    QTRY_COMPARE(m_box->count(), 1);
    QTest::qWait(20);
    QCOMPARE(child<QScrollBar>(&w, "scrlAdditionalDelay")->value(), 10);
    QCOMPARE(text(&w, "lblCurrentDelayAVG"), QStringLiteral("-"));
    // Listening again once the box is gone.
    element.reply(Reply({{40, 7000}, {52, 3000}}));
    QTRY_COMPARE(text(&w, "lblCurrentDelayAVG"), QStringLiteral("10 uS, 0 nS"));
    QCOMPARE(child<QScrollBar>(&w, "scrlAdditionalDelay")->value(), 30);
    QCOMPARE(m_box->count(), 1);
}

void TestDiagWindows::adjustAutoRefreshOffRule_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("stillOn");
    QTest::newRow("set") << "set" << false;
    QTest::newRow("clear") << "clear" << false;
    QTest::newRow("scroll") << "scroll" << false;
    QTest::newRow("servo") << "servo" << false;
    QTest::newRow("autoclear") << "autoclear" << false;
    QTest::newRow("refresh") << "refresh" << true;
}

void TestDiagWindows::adjustAutoRefreshOffRule() {
    QFETCH(QString, action);
    QFETCH(bool, stillOn);
    writeIni(QStringLiteral("1"), QStringLiteral("10"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    w.setRefreshIntervalMs(60000);
    QVERIFY(w.start());
    child<QCheckBox>(&w, "chkAutoUpdate")->click();
    QVERIFY(child<QTimer>(&w, "Timer2")->isActive());
    if (action == QLatin1String("set"))
        child<QPushButton>(&w, "cmdSet")->click();
    else if (action == QLatin1String("clear"))
        child<QPushButton>(&w, "cmdResetStats")->click();
    else if (action == QLatin1String("scroll"))
        QTest::keyClick(child<QScrollBar>(&w, "scrlAdditionalDelay"), Qt::Key_PageUp);
    else if (action == QLatin1String("servo"))
        child<QCheckBox>(&w, "chkAutoServo")->click();
    else if (action == QLatin1String("autoclear"))
        child<QCheckBox>(&w, "chkAutoClear")->click();
    else
        child<QPushButton>(&w, "cmdRefresh")->click();
    QCOMPARE(child<QCheckBox>(&w, "chkAutoUpdate")->isChecked(), stillOn);
    QCOMPARE(child<QTimer>(&w, "Timer2")->isActive(), stillOn);
}

void TestDiagWindows::adjustReset() {
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QVERIFY(w.start());
    QCOMPARE(element.next(), QByteArray("GetDel"));
    child<QPushButton>(&w, "cmdResetStats")->click(); // default answer: No
    child<QPushButton>(&w, "cmdRefresh")->click();
    QCOMPARE(element.next(), QByteArray("GetDel"));
    m_box->enqueue(MsgAnswer::Yes);
    child<QPushButton>(&w, "cmdResetStats")->click();
    QCOMPARE(element.next(), QByteArray("RstStats"));
    QCOMPARE(m_box->count(), 2);
    for (const auto& b : m_box->shown) {
        QCOMPARE(b.title, QStringLiteral("Reset counters"));
        QCOMPARE(b.text, kResetText);
        QCOMPARE(b.buttons, MsgButtons::YesNo);
    }
}

void TestDiagWindows::adjustControls() {
    writeIni(QStringLiteral("1"));
    Element element;
    diag::FrmAdjust w(m_main, kStation);
    QCOMPARE(w.objectName(), QStringLiteral("frmAdjust"));
    QCOMPARE(w.windowTitle(), QStringLiteral("SFN Adjustment"));
    auto* bar = child<QScrollBar>(&w, "scrlAdditionalDelay");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 25000);
    QCOMPARE(bar->singleStep(), 1);
    QCOMPARE(bar->pageStep(), 100);
    struct Box {
        const char* name;
        const char* caption;
        const char* tip;
    };
    for (const Box& b :
         {Box{"chkAutoUpdate", "&Auto", "Auto refresh (every 1 sec)"},
          Box{"chkAutoServo", "Auto &delay compensation",
              "Enables auto compansation of Network latency"},
          Box{"chkAutoClear", "Auto clea&r counters", "Clear counters after each 'Set' command"}}) {
        auto* c = child<QCheckBox>(&w, b.name);
        QCOMPARE(c->text(), QString::fromLatin1(b.caption));
        QCOMPARE(c->toolTip(), QString::fromLatin1(b.tip));
        QVERIFY(!c->isChecked());
        QCOMPARE(c->accessibleDescription(), QString::fromLatin1(b.name));
    }
    QCOMPARE(child<QPushButton>(&w, "cmdResetStats")->text(), QStringLiteral("&Clear"));
    QCOMPARE(child<QPushButton>(&w, "cmdResetStats")->toolTip(),
             QStringLiteral("Reset counters to zero"));
    QCOMPARE(child<QPushButton>(&w, "cmdRefresh")->text(), QStringLiteral("&Refresh"));
    QCOMPARE(child<QPushButton>(&w, "cmdSet")->text(), QStringLiteral("&Set"));
    auto* t1 = child<QTimer>(&w, "Timer1");
    auto* t2 = child<QTimer>(&w, "Timer2");
    QCOMPARE(t1->interval(), 250);
    QVERIFY(t1->isSingleShot());
    QCOMPARE(t2->interval(), 1000);
    QVERIFY(!t2->isSingleShot());
    QVERIFY(!t1->isActive() && !t2->isActive());
    QVERIFY(w.findChild<platform::UdpEndpoint*>(QStringLiteral("udpClient3")));
    QCOMPARE(bar->focusPolicy(), Qt::StrongFocus);
    QStringList frames;
    for (auto* g : w.findChildren<QGroupBox*>())
        frames << g->title();
    QCOMPARE(frames, (QStringList{"Measurements:", "Adjustments:"}));
}

// ---------------------------------------------------------------- both windows

void TestDiagWindows::unusableAddress_data() {
    QTest::addColumn<QString>("ip");
    QTest::newRow("empty") << "";
    QTest::newRow("not an address") << "STUDIO";
    QTest::newRow("unreachable") << "192.0.2.1";
}

void TestDiagWindows::unusableAddress() {
    QFETCH(QString, ip);
    writeIni(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), ip);
    Element element;
    {
        diag::FrmStatistics w(m_main, kStation);
        QVERIFY(w.start());
        child<QPushButton>(&w, "cmdRefreshStats")->click();
        m_box->enqueue(MsgAnswer::Yes);
        child<QPushButton>(&w, "cmdResetStats")->click();
        QCOMPARE(m_box->count(), 1); // only the confirmation
        // Still receives.
        element.reply(Reply({{0, 3}}));
        QTRY_COMPARE(text(&w, "lblMACTxOK"), QStringLiteral("3"));
        w.reject();
    }
    m_box->clear();
    {
        diag::FrmAdjust w(m_main, kStation);
        w.setClearDelayMs(1);
        w.setRefreshIntervalMs(5);
        QVERIFY(w.start());
        child<QCheckBox>(&w, "chkAutoClear")->click();
        child<QPushButton>(&w, "cmdSet")->click();
        child<QCheckBox>(&w, "chkAutoUpdate")->click();
        QTest::qWait(50); // clear timer and refresh ticks, all with nowhere to go
        child<QPushButton>(&w, "cmdRefresh")->click();
        QCOMPARE(m_box->count(), 0);
        QVERIFY(w.isEnabled());
        element.reply(Reply({{40, 1000}}));
        QTRY_COMPARE(text(&w, "lblFixedLatencyMAC"), QStringLiteral("265 nS"));
        w.reject();
    }
    QCOMPARE(m_box->texts(), QStringList{kReminder});
    // Nothing reached the element's socket either.
    QVERIFY(element.quiet());
}

QTEST_MAIN(TestDiagWindows)
#include "tst_diagwindows.moc"
