// The statistics and SFN adjustment windows against an element played by a real UDP socket
// on loopback: station 127.0.30.1, element 127.0.30.2, both on port 2978.
#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "platform/fakes/memorysettings.h"
#include "platform/fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <limits>
#include <memory>

namespace {

const QHostAddress kStation(QStringLiteral("127.0.30.1"));
constexpr quint16 kPort = 2978;
const QString kSection = QStringLiteral("02000000000B"); // 02:00:00:00:00:0B
constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();
const QString kClearKey = QStringLiteral("AutoClearCounters");
// Message boxes as state() writes them: icon, [title], text, [Yes/No].
const QString kReset =
    "(?) [Reset counters] You will reset all counters to zero.\rAre you sure? [Yes/No]";
const QString kErr5 = "(x) " + diag::kStatsErrorText;
const QString kErr4 = "(x) " + diag::kDelayErrorText;
const QString kReminder =
    "(i) There are unsaved parameters. Don't forget to click the 'Save' button.";

// `size` zero bytes with big-endian fields at their offsets, the auto-servo flag at 60.
QByteArray Reply(std::initializer_list<std::pair<int, qint32>> fields, int size = 61,
                 char servo = 0) {
    QByteArray r(size, '\0');
    for (const auto& [offset, value] : fields)
        for (int i = 0; i < 4 && offset + i < size; ++i)
            r[offset + i] = char(quint32(value) >> (24 - 8 * i));
    if (size > 60)
        r[60] = servo;
    return r;
}

QString Ratio(QString text) {
    return text.replace('.', db::UserDecimalSeparator());
}

using Datagrams = QList<QByteArray>;

// One row: the element's nms.ini lines (";" between them; the AutoClearCounters line is the
// user's setting), the user's steps, the element's replies, what the element receives after
// the window's first request, and the window's state afterwards.
void Row(const char* name, bool adjust, const QString& stored, const QStringList& steps,
         const Datagrams& replies, const Datagrams& sent, const QString& state,
         const QString& type = "DECODER") {
    QTest::newRow(name) << adjust << type << stored << steps << replies << sent << state;
}
void OnReply(const char* name, bool adjust, const QString& stored, const Datagrams& replies,
             const QString& state, const QString& type = "DECODER") {
    Row(name, adjust, stored, adjust ? QStringList{"click:chkAutoUpdate"} : QStringList(), replies,
        {}, state, type);
}
constexpr bool Stats = false, Adjust = true;

} // namespace

class TestDiag : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void replies_data();
    void replies() { run(); }
    void actions_data();
    void actions() { run(); }
    void errorBoxDropsFurtherReplies_data();
    void errorBoxDropsFurtherReplies();
    void oddFieldLengths();

private:
    void columns();
    void run();
    bool open(bool adjust, const QString& stored);
    QString state(const QString& expected);
    template <typename T> T* child(const QString& name) {
        T* c = m_window->findChild<T*>(name);
        if (!c)
            qFatal("no control %s", qPrintable(name));
        return c;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    std::unique_ptr<platform::MemorySettings> m_settings;
    std::unique_ptr<platform::ScriptedMessageBox> m_box;
    QLabel m_mac{"02:00:00:00:00:0B"}, m_type;
    std::unique_ptr<QUdpSocket> m_element; // 127.0.30.2:2978
    std::unique_ptr<QDialog> m_window;
};

void TestDiag::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    platform::setProgramDirectory(m_dir->path());
    m_ini = db::NmsIniPath();
    m_settings = std::make_unique<platform::MemorySettings>();
    m_box = std::make_unique<platform::ScriptedMessageBox>();
    m_element = std::make_unique<QUdpSocket>();
    QVERIFY(m_element->bind(QHostAddress("127.0.30.2"), kPort, QUdpSocket::DontShareAddress));
}

void TestDiag::cleanup() {
    m_window.reset();
    m_element.reset();
    m_box.reset();
    m_settings.reset();
    platform::setProgramDirectory(QString());
}

// Writes the element's section, opens the window and takes its first request.
bool TestDiag::open(bool adjust, const QString& stored) {
    QString body = "[" + kSection + "]\r\nname=STUDIO 1\r\n";
    if (!stored.contains("ip="))
        body += "ip=127.0.30.2\r\n";
    for (const QString& line : stored.split(';', Qt::SkipEmptyParts)) {
        if (line.startsWith(kClearKey))
            m_settings->values.insert(kClearKey, line.section('=', 1));
        else
            body += line + "\r\n";
    }
    QFile f(m_ini);
    if (!f.open(QIODevice::WriteOnly) || f.write(body.toLatin1()) < 0)
        return false;
    f.close();
    editor::MainControls main;
    main.lblElementMAC = &m_mac;
    main.lblElementType = &m_type;
    bool started = false;
    if (adjust) {
        auto* w = new diag::FrmAdjust(main, kStation.toString());
        w->setRefreshIntervalMs(60000); // ticks only where a row asks for them
        m_window.reset(w);
        started = w->start();
    } else {
        auto* w = new diag::FrmStatistics(main, kStation.toString());
        m_window.reset(w);
        started = w->start();
    }
    if (!started || stored.contains("ip="))
        return started;
    return QTest::qWaitFor([this] { return m_element->hasPendingDatagrams(); }, 5000) && m_element->receiveDatagram().data() == (adjust ? "GetDel" : "GetStats");
}

// The window as the user and the element see it, for the keys of `expected`: value labels by
// name; scroll, servo (box and caption), auto (refresh), clear (box and setting), title,
// modal, ini:<key> of the element's section, free (port 2978 bindable again), quiet (the
// element got nothing more). Every message box shown follows as box=.
QString TestDiag::state(const QString& expected) {
    QStringList out;
    const auto onOff = [](bool on) { return QString(on ? "on" : "off"); };
    for (const QString& item : expected.split('|')) {
        const QString key = item.section('=', 0, 0);
        QString v;
        if (key == "box")
            continue;
        if (key == "scroll") {
            v = QString::number(child<QScrollBar>("scrlAdditionalDelay")->value());
        } else if (key == "servo") {
            auto* c = child<QCheckBox>("chkAutoServo");
            v = onOff(c->isChecked()) + " " + c->text();
        } else if (key == "auto") {
            const bool box = child<QCheckBox>("chkAutoUpdate")->isChecked();
            v = box == child<QTimer>("Timer2")->isActive() ? onOff(box) : "box and timer differ";
        } else if (key == "clear") {
            v = onOff(child<QCheckBox>("chkAutoClear")->isChecked()) + " " +
                m_settings->values.value(kClearKey, "-");
        } else if (key == "title") {
            v = child<QGroupBox>("frmStats")->title();
        } else if (key == "modal") {
            v = onOff(m_window->isModal());
        } else if (key.startsWith("ini:")) {
            v = db::ReadFromINI(kSection, key.mid(4), m_ini, "-");
        } else if (key == "free") {
            QUdpSocket s;
            v = onOff(s.bind(kStation, kPort, QUdpSocket::DontShareAddress));
        } else if (key == "quiet") {
            v = onOff(!m_element->hasPendingDatagrams());
        } else {
            v = child<QLabel>(key)->text();
        }
        out << key + "=" + v;
    }
    static const char* icons[] = {"", "(i) ", "(?) ", "(!) ", "(x) "};
    for (const auto& b : m_box->shown)
        out << QString("box=") + icons[int(b.icon)] +
                   (b.title.isEmpty() ? "" : "[" + b.title + "] ") + b.text +
                   (b.buttons == platform::MsgButtons::YesNo ? " [Yes/No]" : "");
    return out.join('|');
}

void TestDiag::columns() {
    QTest::addColumn<bool>("adjust");
    QTest::addColumn<QString>("type"); // of the main window's lblElementType
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Datagrams>("replies");
    QTest::addColumn<Datagrams>("sent");
    QTest::addColumn<QString>("expected");
}

void TestDiag::run() {
    QFETCH(bool, adjust);
    QFETCH(QString, type);
    QFETCH(QString, stored);
    QFETCH(QStringList, steps);
    QFETCH(Datagrams, replies);
    QFETCH(Datagrams, sent);
    QFETCH(QString, expected);
    m_type.setText(type);
    QVERIFY(open(adjust, stored));
    for (const QString& step : steps) {
        const QString arg = step.section(':', 1);
        if (step == "yes") {
            m_box->enqueue(platform::MsgAnswer::Yes); // to the next box
        } else if (step.startsWith("click:")) {
            child<QAbstractButton>(arg)->click();
        } else if (step.startsWith("scroll:")) {
            child<QScrollBar>("scrlAdditionalDelay")->setValue(arg.toInt());
        } else if (step.startsWith("key:")) {
            QTest::keyClick(child<QScrollBar>("scrlAdditionalDelay"),
                            QKeySequence::fromString(arg)[0].key());
        } else if (step == "unwritable") {
            platform::setProgramDirectory(m_dir->filePath("gone"));
        } else if (step == "ticks") { // clear timer and refresh ticks, with nowhere to go
            static_cast<diag::FrmAdjust*>(m_window.get())->setClearDelayMs(1);
            static_cast<diag::FrmAdjust*>(m_window.get())->setRefreshIntervalMs(5);
            QTest::qWait(50);
        } else if (step == "close") {
            m_window->reject();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
    for (const QByteArray& r : replies)
        m_element->writeDatagram(r, kStation, kPort);
    for (const QByteArray& d : sent) {
        QVERIFY(QTest::qWaitFor([this] { return m_element->hasPendingDatagrams(); }, 5000));
        QCOMPARE(m_element->receiveDatagram().data().toHex(' '), d.toHex(' '));
    }
    QTRY_COMPARE(state(expected), expected);
}

void TestDiag::replies_data() {
    columns();
    const QString ptpUntouched = "lblPTPRxOK=-|lblPTPRxErr=-|lblPTPClkAdj=-|lblPTPLatency=-";
    OnReply("10/20/0", Stats, "sfn=0", {Reply({{0, 10}, {4, 20}, {8, 0}})},
            "title=STUDIO 1:|lblMACTxOK=10|lblMACRxOK=20|lblMACTxErr=0 (0%)|lblMACRxErr=0 (0%)|" +
                ptpUntouched + "|lblAudioRxFramesOK=0|lblAudioRxFramesErr=0 (0%)");
    OnReply("199/1", Stats, "sfn=1", {Reply({{0, 199}, {8, 1}})},
            "lblMACTxOK=199|lblMACTxErr=" + Ratio("1 (0.5%)"));
    OnReply("1/2, 2/1", Stats, "sfn=1", {Reply({{0, 1}, {8, 2}, {4, 2}, {12, 1}})},
            "lblMACTxErr=" + Ratio("2 (66.67%)") + "|lblMACRxErr=" + Ratio("1 (33.33%)"));
    OnReply("audio 31/1, a tie to even", Stats, "sfn=0", {Reply({{32, 31}, {36, 1}})},
            "lblAudioRxFramesOK=31|lblAudioRxFramesErr=" + Ratio("1 (3.12%)"));
    OnReply("negative counters", Stats, "sfn=1", {Reply({{0, -1}, {8, 1}, {16, -1}, {36, -1}})},
            "lblMACTxOK=-1|lblMACTxErr=1 (0%)|lblPTPRxOK=-1|lblAudioRxFramesErr=-1 (100%)");
    const QByteArray ptp = Reply({{16, 5}, {20, 2}, {24, -120}, {28, 1000}, {52, 500}});
    OnReply("sfn 1 decoder", Stats, "sfn=1", {ptp},
            "lblPTPRxOK=5|lblPTPRxErr=2|lblPTPClkAdj=-120 nS|lblPTPLatency=1500 nS");
    OnReply("sfn 1 encoder", Stats, "sfn=1", {ptp},
            "lblPTPRxOK=5|lblPTPRxErr=2|lblPTPClkAdj=-|lblPTPLatency=-", "ENCODER");
    OnReply("sfn 0 decoder", Stats, "sfn=0", {ptp}, ptpUntouched);
    OnReply("40 bytes", Stats, "sfn=1", {Reply({{28, 777}, {36, 5}, {52, 500}}, 40)},
            "lblPTPLatency=777 nS|lblAudioRxFramesErr=5 (100%)");
    OnReply("38 bytes", Stats, "sfn=1", {Reply({{32, 3}, {36, 5}}, 38)},
            "lblAudioRxFramesOK=3|lblAudioRxFramesErr=0 (0%)");
    const QByteArray txOverflow = Reply({{0, kMax}, {8, 1}});
    OnReply("62 bytes dropped", Stats, "sfn=1",
            {Reply({{0, 10}, {8, 5}, {16, 3}, {32, 9}}, 62), txOverflow},
            "lblMACTxOK=2147483647|lblMACTxErr=-|lblPTPRxOK=-|lblAudioRxFramesOK=-|box=" + kErr5);
    OnReply("tx underflow", Stats, "sfn=1", {Reply({{0, kMin}, {8, -1}})},
            "lblMACRxOK=0|lblMACTxErr=-|box=" + kErr5);
    OnReply("rx overflow", Stats, "sfn=1", {Reply({{0, 4}, {4, kMax}, {12, 1}})},
            "lblMACRxOK=2147483647|lblMACTxErr=0 (0%)|lblMACRxErr=-|box=" + kErr5);
    OnReply("sfn not a number", Stats, "sfn=x1", {Reply({})},
            "lblMACRxErr=0 (0%)|lblPTPRxOK=-|lblAudioRxFramesOK=-|box=" + kErr5);
    OnReply("latency overflow", Stats, "sfn=1", {Reply({{28, kMax}, {52, 1}})},
            "lblPTPClkAdj=0 nS|lblPTPLatency=-|lblAudioRxFramesOK=-|box=" + kErr5);
    OnReply("latency underflow", Stats, "sfn=1", {Reply({{28, kMin}, {52, -1}})},
            "lblPTPLatency=-|box=" + kErr5);
    OnReply("audio overflow", Stats, "sfn=0", {Reply({{32, kMax}, {36, kMax}})},
            "lblAudioRxFramesOK=2147483647|lblAudioRxFramesErr=-|box=" + kErr5);

    const QString onlyFixed = "lblFixedLatencyMAC=265 nS|lblFixedLatencyAUDIO=395 uS, 833 nS|"
                              "lblCurrentDelayAVG=-|scroll=10|lblAdditionalDelay=1 uS, 0 nS|"
                              "servo=off Auto &delay compensation|auto=on";
    const QByteArray far = Reply({{40, 5}, {52, 3000000}}, 61, 1);
    OnReply("encoder", Adjust, "sfn=1;dly=10", {far}, onlyFixed, "ENCODER");
    OnReply("sfn 0", Adjust, "sfn=0;dly=10", {far}, onlyFixed);
    OnReply("3 ms", Adjust, "sfn=1;dly=250", {Reply({{52, 3000000}})},
            "scroll=25000|lblAdditionalDelay=2 mS, 500 uS, 0 nS|auto=off");
    OnReply("-500 ns", Adjust, "sfn=1;dly=100", {Reply({{52, -500}})},
            "scroll=0|lblAdditionalDelay=0 nS|auto=off");
    OnReply("the same delay", Adjust, "sfn=1;dly=250", {Reply({{52, 25000}})},
            "scroll=250|auto=on");
    OnReply("a tie to even", Adjust, "sfn=1", {Reply({{52, 25050}})}, "scroll=250");
    OnReply("100000 + 25000", Adjust, "sfn=1;dly=250",
            {Reply({{40, 100000}, {44, 90000}, {48, 110000}, {52, 25000}})},
            "lblCurrentDelayAVG=125 uS, 0 nS|lblDelaySumAVG=521 uS, 98 nS|"
            "lblCurrentDelayMIN=115 uS, 0 nS|lblDelaySumMIN=511 uS, 98 nS|"
            "lblCurrentDelayMAX=135 uS, 0 nS|lblDelaySumMAX=531 uS, 98 nS|servo=off Auto servo|"
            "auto=on");
    OnReply("servo on", Adjust, "sfn=1;dly=250",
            {Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 1)},
            "servo=on Auto servo (-120 nS)|lblCurrentDelayAVG=124 uS, 880 nS|auto=off");
    OnReply("servo flag 2 is off", Adjust, "sfn=1;dly=250",
            {Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 2)},
            "servo=off Auto servo|lblCurrentDelayAVG=125 uS, 0 nS|auto=on");
    OnReply("delay texts", Adjust, "sfn=1", {Reply({{40, 999}, {44, -1500}, {48, 1000001}})},
            "lblCurrentDelayAVG=999 nS|lblDelaySumAVG=397 uS, 97 nS|"
            "lblCurrentDelayMIN=-1 uS, 500 nS|lblDelaySumMIN=394 uS, 598 nS|"
            "lblCurrentDelayMAX=1 mS, 0 uS, 1 nS");
    OnReply("extremes", Adjust, "sfn=1", {Reply({{40, kMin}, {48, kMax - 396098}})},
            "lblCurrentDelayAVG=-2147 mS, 483 uS, 648 nS|lblDelaySumMAX=2147 mS, 483 uS, 647 nS");
    const QByteArray avgOverflow = Reply({{40, kMax}, {52, 1000}});
    OnReply("average overflow", Adjust, "sfn=1;dly=10", {avgOverflow},
            "scroll=10|lblFixedLatencyMAC=265 nS|lblCurrentDelayAVG=-|box=" + kErr4);
    OnReply("summary overflow", Adjust, "sfn=1", {Reply({{40, kMax - 396097}})},
            "lblCurrentDelayAVG=-|box=" + kErr4);
    OnReply("servo underflow", Adjust, "sfn=1", {Reply({{40, kMin}, {56, -1}}, 61, 1)},
            "servo=on Auto servo (-1 nS)|lblCurrentDelayAVG=-|box=" + kErr4);
    OnReply("maximum overflow", Adjust, "sfn=1", {Reply({{48, kMax}, {52, 100}})},
            "lblCurrentDelayMIN=100 nS|lblCurrentDelayMAX=-|box=" + kErr4);
    OnReply("sfn not a number", Adjust, "sfn=on;dly=250", {Reply({{52, 500}})},
            "lblFixedLatencyMAC=265 nS|scroll=250|box=" + kErr4);
    for (int size : {0, 60, 62})
        OnReply(qPrintable(QString("%1 bytes dropped").arg(size)), Adjust, "sfn=1;dly=10",
                {Reply({{40, 1000}, {52, 3000000}}, size), avgOverflow},
                "scroll=10|lblCurrentDelayAVG=-|box=" + kErr4);
}

void TestDiag::actions_data() {
    columns();
    const QString set = "click:cmdSet", servo = "click:chkAutoServo", on = "click:chkAutoUpdate";
    Row("opening", Adjust, "dly=250;srv=1;AutoClearCounters=1", {}, {}, {},
        "scroll=250|lblAdditionalDelay=25 uS, 0 nS|servo=on Auto &delay compensation|clear=on 1|"
        "auto=off|lblCurrentDelayAVG=-|lblFixedLatencyMAC=-|modal=on");
    Row("opening, not numbers", Adjust, "dly=abc;srv=abc;AutoClearCounters=abc", {}, {}, {},
        "scroll=0|lblAdditionalDelay=0 nS|servo=off Auto &delay compensation|clear=off abc|"
        "ini:dly=abc");
    Row("opening, above range", Adjust, "dly=99999;srv=2;AutoClearCounters=2", {}, {}, {},
        "scroll=25000|lblAdditionalDelay=2 mS, 500 uS, 0 nS|servo=off Auto &delay compensation|"
        "clear=off 2");
    Row("opening, below range", Adjust, "dly=-5", {}, {}, {}, "scroll=0|lblAdditionalDelay=0 nS");
    Row("opening, huge", Adjust, "dly=99999999999", {}, {}, {}, "scroll=25000");
    Row("set 250, servo on", Adjust, "dly=17", {"scroll:250", servo, on, set}, {},
        {QByteArray::fromHex("53000061A801")}, "lblAdditionalDelay=25 uS, 0 nS|auto=off");
    Row("set 25000", Adjust, "", {"scroll:25000", set}, {}, {QByteArray::fromHex("53002625A000")},
        "lblAdditionalDelay=2 mS, 500 uS, 0 nS");
    Row("set 0", Adjust, "dly=17", {"scroll:0", set}, {}, {QByteArray::fromHex("530000000000")},
        "lblAdditionalDelay=0 nS");
    // The clear comes after the timer, so after the refresh sent at once.
    Row("auto clear after set", Adjust, "dly=250", {"click:chkAutoClear", set, "click:cmdRefresh"},
        {}, {QByteArray::fromHex("53000061A800"), "GetDel", "RstStats"}, "clear=on 1");
    Row("auto clear off", Adjust, "", {"click:chkAutoClear", "click:chkAutoClear"}, {}, {},
        "clear=off 0");
    Row("clear ends auto refresh", Adjust, "", {on, "click:cmdResetStats"}, {}, {},
        "auto=off|box=" + kReset);
    Row("scroll ends auto refresh", Adjust, "dly=10", {on, "key:PgUp"}, {}, {},
        "auto=off|scroll=110");
    Row("servo ends auto refresh", Adjust, "", {on, servo}, {}, {}, "auto=off");
    Row("auto clear ends auto refresh", Adjust, "", {on, "click:chkAutoClear"}, {}, {}, "auto=off");
    Row("refresh keeps auto refresh", Adjust, "", {on, "click:cmdRefresh"}, {}, {"GetDel"},
        "auto=on");
    Row("stats reset", Stats, "", {"yes", "click:cmdResetStats", "click:cmdRefreshStats"}, {},
        {"RstStats", "GetStats"}, "box=" + kReset);
    Row("stats reset, No", Stats, "", {"click:cmdResetStats", "click:cmdRefreshStats"}, {},
        {"GetStats"}, "box=" + kReset);
    Row("adjust reset", Adjust, "", {"yes", "click:cmdResetStats"}, {}, {"RstStats"},
        "box=" + kReset);
    Row("adjust reset, No", Adjust, "", {"click:cmdResetStats", "click:cmdRefresh"}, {}, {"GetDel"},
        "box=" + kReset);
    // Moved after the Set, never sent: the element still has 250 and servo on.
    const QStringList setThenMove = {"scroll:250", servo, set, "scroll:400", "key:Right", servo};
    Row("close writes the last set", Adjust, "dly=0;srv=0", setThenMove + QStringList{"close"}, {},
        {QByteArray::fromHex("53000061A801")},
        "scroll=401|ini:dly=250|ini:srv=1|free=on|box=" + kReminder);
    Row("close, store not writable", Adjust, "dly=0;srv=0",
        setThenMove + QStringList{"unwritable", "close"}, {}, {},
        "ini:dly=0|ini:srv=0|box=(x) " + db::kWriteFailedText + "|box=" + kReminder);
    Row("close without set", Adjust, "dly=0;srv=0", {"scroll:250", "close"}, {}, {},
        "ini:dly=0|ini:srv=0|free=on");
    Row("stats holds the port", Stats, "", {}, {}, {}, "modal=on|free=off");
    Row("stats closed", Stats, "", {"close"}, {}, {}, "free=on");
    // Sends with nowhere to go; the window still receives.
    for (const char* ip : {"ip=", "ip=STUDIO", "ip=192.0.2.1"}) {
        Row(qPrintable(QString("stats, ") + ip), Stats, ip,
            {"yes", "click:cmdResetStats", "click:cmdRefreshStats"}, {Reply({{0, 3}})}, {},
            "lblMACTxOK=3|quiet=on|box=" + kReset);
        Row(qPrintable(QString("adjust, ") + ip), Adjust, ip,
            {"click:chkAutoClear", set, on, "ticks", "click:cmdRefresh"}, {Reply({})}, {},
            "lblFixedLatencyMAC=265 nS|quiet=on");
    }
}

void TestDiag::errorBoxDropsFurtherReplies_data() {
    QTest::addColumn<bool>("adjust");
    QTest::addColumn<QByteArray>("failing");
    QTest::addColumn<QByteArray>("good");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::newRow("stats") << Stats << Reply({{0, kMax}, {8, 1}}) << Reply({{0, 66}})
                           << "lblMACTxOK"
                           << "66";
    QTest::newRow("adjust") << Adjust << Reply({{40, kMax}, {52, 1000}})
                            << Reply({{40, 7000}, {52, 3000}}) << "lblCurrentDelayAVG"
                            << "10 uS, 0 nS";
}

void TestDiag::errorBoxDropsFurtherReplies() {
    QFETCH(bool, adjust);
    QFETCH(QByteArray, failing);
    QFETCH(QByteArray, good);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    QVERIFY(open(adjust, "sfn=1;dly=10"));
    m_box->onShow([&](const platform::MessageBoxRequest&) {
        if (m_box->count() == 1) // while the first box is open, another failing reply comes
            m_element->writeDatagram(failing, kStation, kPort);
    });
    m_box->stayOpen(QString(), 50);
    m_element->writeDatagram(failing, kStation, kPort);
    QTRY_COMPARE(m_box->count(), 1);
    m_element->writeDatagram(good, kStation, kPort); // listening again once the box is gone
    QTRY_COMPARE(child<QLabel>(label)->text(), shown);
    QCOMPARE(m_box->texts(), QStringList{adjust ? diag::kDelayErrorText : diag::kStatsErrorText});
}

void TestDiag::oddFieldLengths() {
    QCOMPARE(diag::GetLongFromReply(QByteArray::fromHex("0080FF01")), 0x0080FF01);
    QCOMPARE(diag::GetLongFromReply(QByteArray::fromHex("FFFFFF")), 0);
    QCOMPARE(diag::GetLongFromReply(QByteArray::fromHex("0000000101")), 0);
}

QTEST_MAIN(TestDiag)
#include "tst_diag.moc"
