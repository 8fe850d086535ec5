// The statistics and SFN adjustment windows against an element played by a real UDP socket
// on loopback: station 127.0.30.1, element 127.0.30.2, both on port 2978. The user writes
// decimals with a comma.
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <variant>

namespace {

using Datagrams = QList<QByteArray>;
// A number moves the delay bar there; a name is a button clicked or a box a reader toggles.
using Steps = QList<std::variant<int, const char*>>;
constexpr qint32 kMax = 0x7FFFFFFF, kMin = -kMax - 1;
const QString kError5 = "Error 5 while retrieving values. Please reset the device and try again.";
const QString kError4 = "Error 4 while retrieving values. Please reset the device and try again.";
const QString kReset = "You will reset all counters to zero.\rAre you sure?";
const QString kReminder = "There are unsaved parameters. Don't forget to click the 'Save' button.";
const QByteArray kStored = "DLY=0\nSRV=0\n";

// A status reply of `size` zero bytes with big-endian fields at their offsets and the auto
// servo flag at 60.
QByteArray reply(const QList<std::pair<int, qint32>>& fields, int size = 61, char servo = 0) {
    QByteArray r(size, '\0');
    for (const auto& [offset, value] : fields)
        for (int i = 0; i < 4 && offset + i < size; ++i)
            r[offset + i] = char(quint32(value) >> (24 - 8 * i));
    if (size > 60)
        r[60] = servo;
    return r;
}

// The value labels of the statistics window, top to bottom.
const QStringList kStatsLabels{
    "lblMACTxOK",          "lblMACTxErr", "lblMACRxOK",  "lblMACRxErr",  "lblAudioRxFramesOK",
    "lblAudioRxFramesErr", "lblPTPRxOK",  "lblPTPRxErr", "lblPTPClkAdj", "lblPTPLatency"};

} // namespace

class TestDiag : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<platform::MemorySettings> m_settings;
    std::unique_ptr<platform::ScriptedMessageBox> m_boxes;
    std::unique_ptr<QUdpSocket> m_element;
    std::unique_ptr<QDialog> m_window;

    template <class T = QWidget> T* child(const char* name) {
        return m_window->findChild<T*>(name);
    }
    QStringList texts(const QStringList& labels) {
        QStringList out;
        for (const QString& name : labels)
            out << m_window->findChild<QLabel*>(name)->text();
        return out;
    }
    Datagrams m_received;
    // What the element got so far.
    Datagrams received() {
        while (m_element->hasPendingDatagrams())
            m_received << m_element->receiveDatagram().data();
        return m_received;
    }
    void send(const QByteArray& datagram) {
        m_element->writeDatagram(datagram, QHostAddress("127.0.30.1"), 2978);
    }
    QByteArray readIni() {
        QFile f(m_dir->filePath("nms.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool portFree() { return QUdpSocket().bind(QHostAddress("127.0.30.1"), 2978); }
    void checkAutoRefresh(bool on) {
        QCOMPARE(child<QCheckBox>("chkAutoUpdate")->isChecked(), on);
        QCOMPARE(child<QTimer>("Timer2")->isActive(), on);
    }

    // Stores the element with these lines, opens the window on it and takes its first request.
    bool open(bool adjust, const QByteArray& lines, bool decoder = true,
              const QByteArray& ip = "127.0.30.2") {
        QFile f(m_dir->filePath("nms.ini"));
        if (!f.open(QIODevice::WriteOnly) ||
            f.write("[02000000000B]\nNAME=STUDIO 1\nIP=" + ip + "\n" + lines) < 0)
            return false;
        f.close();
        const auto element = db::SelectedElement::of(
            "02:00:00:00:00:0B", decoder ? db::Role::Decoder : db::Role::Encoder);
        auto* a = adjust ? new diag::FrmAdjust(element, "127.0.30.1") : nullptr;
        auto* s = adjust ? nullptr : new diag::FrmStatistics(element, "127.0.30.1");
        m_window.reset(a ? static_cast<QDialog*>(a) : s);
        m_window->show();
        const bool started = a ? a->start() : s->start();
        const bool reachable = ip == "127.0.30.2";
        if (reachable)
            QTest::qWaitFor([&] { return !received().isEmpty(); });
        const Datagrams first = reachable ? Datagrams{adjust ? "GetDel" : "GetStats"} : Datagrams();
        return started && std::exchange(m_received, {}) == first;
    }
    void take(const Steps& steps) {
        for (const auto& step : steps) {
            if (const int* value = std::get_if<int>(&step))
                child<QScrollBar>("scrlAdditionalDelay")->setValue(*value);
            else if (auto* box = child<QCheckBox>(std::get<const char*>(step)))
                QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
                    QAccessibleActionInterface::toggleAction());
            else
                child<QPushButton>(std::get<const char*>(step))->click();
        }
    }

    static void statsRow(const char* name, const QByteArray& sfn, const Datagrams& replies,
                         const QStringList& labels, bool error = false, bool decoder = true) {
        QTest::newRow(name) << sfn << decoder << replies << labels << error;
    }
    static void delayRow(const char* name, const QByteArray& stored, const Datagrams& replies,
                         const QStringList& labels, int scroll, bool servo,
                         const QString& servoName, bool autoRefresh, bool error = false,
                         bool decoder = true) {
        QTest::newRow(name) << stored << decoder << replies << labels << scroll << servo
                            << servoName << autoRefresh << error;
    }
    static void commandRow(const char* name, bool adjust, bool yes, const Steps& steps,
                           const Datagrams& sent, const QString& autoClear,
                           const QByteArray& storedAfter, const QStringList& boxes) {
        QTest::newRow(name) << adjust << yes << steps << sent << autoClear << storedAfter << boxes;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        platform::setProgramDirectory(m_dir->path());
        m_settings = std::make_unique<platform::MemorySettings>();
        m_boxes = std::make_unique<platform::ScriptedMessageBox>();
        m_element = std::make_unique<QUdpSocket>();
        m_received.clear();
        QVERIFY(m_element->bind(QHostAddress("127.0.30.2"), 2978, QUdpSocket::DontShareAddress));
    }
    void cleanup() { m_window.reset(); }

    void statisticsReply_data() {
        QTest::addColumn<QByteArray>("sfn");
        QTest::addColumn<bool>("decoder");
        QTest::addColumn<Datagrams>("replies");
        QTest::addColumn<QStringList>("labels"); // kStatsLabels
        QTest::addColumn<bool>("error");
        statsRow("10, 20 and 0", "0", {reply({{0, 10}, {4, 20}, {32, 31}, {36, 1}})},
                 {"10", "0 (0%)", "20", "0 (0%)", "31", "1 (3,12%)", "-", "-", "-", "-"});
        statsRow("negative counters", "1", {reply({{0, -1}, {8, 1}, {16, -1}, {36, -1}})},
                 {"-1", "1 (0%)", "0", "0 (0%)", "0", "-1 (100%)", "-1", "0", "0 nS", "0 nS"});
        const QByteArray ptp =
            reply({{0, 199}, {8, 1}, {16, 5}, {20, 2}, {24, -120}, {28, 1000}, {52, 500}});
        statsRow("PTP of a decoder", "1", {ptp},
                 {"199", "1 (0,5%)", "0", "0 (0%)", "0", "0 (0%)", "5", "2", "-120 nS", "1500 nS"});
        statsRow("PTP of an encoder", "1", {ptp},
                 {"199", "1 (0,5%)", "0", "0 (0%)", "0", "0 (0%)", "5", "2", "-", "-"}, false,
                 false);
        statsRow("40 bytes", "1",
                 {reply({{0, 1}, {4, 2}, {8, 2}, {12, 1}, {28, 777}, {52, 5}}, 40)},
                 {"1", "2 (66,67%)", "2", "1 (33,33%)", "0", "0 (0%)", "0", "0", "0 nS", "777 nS"});
        statsRow("62 bytes dropped, TX overflows", "1",
                 {reply({{0, 10}, {8, 5}}, 62), reply({{0, kMax}, {8, 1}})},
                 {"2147483647", "-", "0", "-", "-", "-", "-", "-", "-", "-"}, true);
        statsRow("RX overflows", "1", {reply({{0, 4}, {4, kMax}, {12, 1}})},
                 {"4", "0 (0%)", "2147483647", "-", "-", "-", "-", "-", "-", "-"}, true);
        statsRow("sfn not a number", "x1", {reply({})},
                 {"0", "0 (0%)", "0", "0 (0%)", "-", "-", "-", "-", "-", "-"}, true);
        statsRow("measured delay overflows", "1", {reply({{28, kMin}, {52, -1}})},
                 {"0", "0 (0%)", "0", "0 (0%)", "-", "-", "0", "0", "0 nS", "-"}, true);
        statsRow("audio overflows", "0", {reply({{32, kMax}, {36, kMax}})},
                 {"0", "0 (0%)", "0", "0 (0%)", "2147483647", "-", "-", "-", "-", "-"}, true);
    }
    void statisticsReply() {
        QFETCH(QByteArray, sfn);
        QFETCH(bool, decoder);
        QVERIFY(open(false, "SFN=" + sfn + "\n", decoder));
        QCOMPARE(child<QGroupBox>("frmStats")->title(), "STUDIO 1:");
        QFETCH(Datagrams, replies);
        for (const QByteArray& r : replies)
            send(r);
        QFETCH(QStringList, labels);
        QTRY_COMPARE(texts(kStatsLabels), labels);
        QFETCH(bool, error);
        QCOMPARE(m_boxes->texts(), error ? QStringList{kError5} : QStringList());
    }

    // Auto refresh is on when the replies come.
    void delayReply_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("decoder");
        QTest::addColumn<Datagrams>("replies");
        // Network latency (AVG), latency summary (AVG), the additional delay.
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<bool>("servo");
        QTest::addColumn<QString>("servoName"); // as a reader hears the box
        QTest::addColumn<bool>("autoRefresh");
        QTest::addColumn<bool>("error");
        const QString off = "Auto delay compensation", servo = "Auto servo";
        const QByteArray far = reply({{40, 5}, {52, 3000000}}, 61, 1);
        delayRow("encoder", "SFN=1\nDLY=10\n", {far}, {"-", "-", "1 uS, 0 nS"}, 10, false, off,
                 true, false, false);
        delayRow("sfn 0", "SFN=0\nDLY=10\n", {far}, {"-", "-", "1 uS, 0 nS"}, 10, false, off, true);
        delayRow("3 ms", "SFN=1\nDLY=250\n", {reply({{52, 3000000}})},
                 {"3 mS, 0 uS, 0 nS", "3 mS, 396 uS, 98 nS", "2 mS, 500 uS, 0 nS"}, 25000, false,
                 servo, false);
        delayRow("-500 ns", "SFN=1\nDLY=100\n", {reply({{52, -500}})},
                 {"-500 nS", "395 uS, 598 nS", "0 nS"}, 0, false, servo, false);
        delayRow("a tie to even", "SFN=1\n", {reply({{52, 25050}})},
                 {"25 uS, 50 nS", "421 uS, 148 nS", "25 uS, 0 nS"}, 250, false, servo, false);
        delayRow("100000 + 25000", "SFN=1\nDLY=250\n", {reply({{40, 100000}, {52, 25000}})},
                 {"125 uS, 0 nS", "521 uS, 98 nS", "25 uS, 0 nS"}, 250, false, servo, true);
        const QList<std::pair<int, qint32>> withServo = {{40, 100000}, {52, 25000}, {56, -120}};
        delayRow("servo on", "SFN=1\nDLY=250\n", {reply(withServo, 61, 1)},
                 {"124 uS, 880 nS", "520 uS, 978 nS", "25 uS, 0 nS"}, 250, true,
                 "Auto servo (-120 nS)", false);
        delayRow("servo flag 2 is off", "SFN=1\nDLY=250\nSRV=1\n", {reply(withServo, 61, 2)},
                 {"125 uS, 0 nS", "521 uS, 98 nS", "25 uS, 0 nS"}, 250, false, servo, false);
        delayRow("average overflows", "SFN=1\nDLY=10\n", {reply({{40, kMax}, {52, 1000}})},
                 {"-", "-", "1 uS, 0 nS"}, 10, false, servo, true, true);
        delayRow("summary overflows", "SFN=1\n", {reply({{40, kMax - 396097}})}, {"-", "-", "0 nS"},
                 0, false, servo, true, true);
        delayRow("maximum overflows", "SFN=1\n", {reply({{48, kMax}, {52, 100}})},
                 {"100 nS", "396 uS, 198 nS", "100 nS"}, 1, false, servo, false, true);
        delayRow("sfn not a number", "SFN=on\nDLY=250\n", {reply({{52, 500}})},
                 {"-", "-", "25 uS, 0 nS"}, 250, false, off, true, true);
        // The dropped reply would have moved the bar, which ends auto refresh.
        for (int size : {60, 62})
            delayRow(size == 60 ? "60 bytes dropped" : "62 bytes dropped", "SFN=1\nDLY=10\n",
                     {reply({{52, 3000000}}, size), reply({{40, kMax}, {52, 1000}})},
                     {"-", "-", "1 uS, 0 nS"}, 10, false, servo, true, true);
    }
    void delayReply() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, decoder);
        QVERIFY(open(true, stored, decoder));
        take({"chkAutoUpdate"});
        QFETCH(Datagrams, replies);
        for (const QByteArray& r : replies)
            send(r);
        QFETCH(QStringList, labels);
        // Every reply of 61 bytes fills the interface latencies.
        QTRY_COMPARE(texts({"lblFixedLatencyMAC", "lblFixedLatencyAUDIO", "lblCurrentDelayAVG",
                            "lblDelaySumAVG", "lblAdditionalDelay"}),
                     QStringList({"265 nS", "395 uS, 833 nS"}) + labels);
        QTEST(child<QScrollBar>("scrlAdditionalDelay")->value(), "scroll");
        auto* box = child<QCheckBox>("chkAutoServo");
        QTEST(box->isChecked(), "servo");
        QTEST(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name), "servoName");
        QFETCH(bool, autoRefresh);
        checkAutoRefresh(autoRefresh);
        QFETCH(bool, error);
        QCOMPARE(m_boxes->texts(), error ? QStringList{kError4} : QStringList());
    }

    // Each network latency row, the negative and the millisecond forms.
    void delayRows() {
        QVERIFY(open(true, "SFN=1\n"));
        send(reply({{40, kMin}, {44, 1000001}, {48, kMax - 396098}}));
        QTRY_COMPARE(texts({"lblCurrentDelayMIN", "lblCurrentDelayMAX", "lblCurrentDelayAVG",
                            "lblDelaySumMIN", "lblDelaySumMAX", "lblDelaySumAVG"}),
                     QStringList({"1 mS, 0 uS, 1 nS", "2147 mS, 87 uS, 549 nS",
                                  "-2147 mS, 483 uS, 648 nS", "1 mS, 396 uS, 99 nS",
                                  "2147 mS, 483 uS, 647 nS", "-2147 mS, 87 uS, 550 nS"}));
    }

    // The window takes the stored delay, servo and auto clear, and changes nothing stored.
    void adjustOpening_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("autoClear"); // the setting
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("servo");
        QTest::addColumn<int>("stores"); // of the setting: the box ticked at opening stores again
        QTest::newRow("250, on") << QByteArray("DLY=250\r\nSRV=1\r\n") << "1" << 250
                                 << "25 uS, 0 nS" << true << 1;
        QTest::newRow("not numbers")
            << QByteArray("DLY=abc\nSRV=abc\n") << "abc" << 0 << "0 nS" << false << 0;
        QTest::newRow("above range") << QByteArray("DLY=99999\nSRV=2\n") << "2" << 25000
                                     << "2 mS, 500 uS, 0 nS" << false << 0;
        QTest::newRow("below range") << QByteArray("DLY=-5\n") << "0" << 0 << "0 nS" << false << 0;
        QTest::newRow("huge") << QByteArray("DLY=99999999999\n") << "0" << 25000
                              << "2 mS, 500 uS, 0 nS" << false << 0;
    }
    void adjustOpening() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, autoClear);
        m_settings->values.insert("AutoClearCounters", autoClear);
        QVERIFY(open(true, stored));
        const QByteArray before = readIni();
        QTEST(child<QScrollBar>("scrlAdditionalDelay")->value(), "scroll");
        QCOMPARE(texts({"lblCurrentDelayMIN", "lblFixedLatencyMAC", "lblDelaySumAVG"}),
                 QStringList({"-", "-", "-"}));
        QTEST(texts({"lblAdditionalDelay"}).first(), "delay");
        QTEST(child<QCheckBox>("chkAutoServo")->isChecked(), "servo");
        QCOMPARE(child<QCheckBox>("chkAutoClear")->isChecked(), autoClear == "1");
        QTEST(m_settings->saves, "stores");
        QCOMPARE(m_settings->values.value("AutoClearCounters"), autoClear);
        checkAutoRefresh(false);
        m_window->reject();
        QCOMPARE(readIni(), before);
    }

    // What the element gets after the window's first request, what auto refresh does, and
    // what is stored once the window is closed.
    void commands_data() {
        QTest::addColumn<bool>("adjust");
        QTest::addColumn<bool>("yes"); // to the reset question
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Datagrams>("sent");
        QTest::addColumn<QString>("autoClear"); // the setting
        QTest::addColumn<QByteArray>("storedAfter");
        QTest::addColumn<QStringList>("boxes");
        const QByteArray set250 = QByteArray::fromHex("53000061a800");
        const QByteArray set250Servo = QByteArray::fromHex("53000061a801");
        commandRow("set 25000", true, false, {25000, "cmdSet"},
                   {QByteArray::fromHex("53002625a000")}, "", "DLY=25000\r\nSRV=0\r\n",
                   {kReminder});
        // The clear follows its timer, so the refresh sent at once comes first.
        commandRow("auto clear after set", true, false,
                   {250, "chkAutoClear", "cmdSet", "cmdRefresh"}, {set250, "GetDel", "RstStats"},
                   "1", "DLY=250\r\nSRV=0\r\n", {kReminder});
        commandRow("auto clear off", true, false, {"chkAutoClear", "chkAutoClear"}, {}, "0",
                   kStored, {});
        commandRow("reset", true, true, {"cmdResetStats"}, {"RstStats"}, "", kStored, {kReset});
        // Moved after the Set, never sent: the element still has 250 and servo on.
        commandRow("close stores the last set", true, false,
                   {250, "chkAutoServo", "cmdSet", 400, "chkAutoServo"}, {set250Servo}, "",
                   "DLY=250\r\nSRV=1\r\n", {kReminder});
        commandRow("statistics reset", false, true, {"cmdResetStats"}, {"RstStats"}, "", kStored,
                   {kReset});
        commandRow("statistics reset, No", false, false, {"cmdResetStats", "cmdRefreshStats"},
                   {"GetStats"}, "", kStored, {kReset});
    }
    void commands() {
        QFETCH(bool, adjust);
        QFETCH(bool, yes);
        if (yes)
            m_boxes->enqueue(platform::MsgAnswer::Yes);
        QVERIFY(open(adjust, kStored));
        QFETCH(Steps, steps);
        take(steps);
        QFETCH(Datagrams, sent);
        QTRY_COMPARE(received(), sent);
        QTEST(m_settings->values.value("AutoClearCounters"), "autoClear");
        QVERIFY(m_window->isModal());
        QVERIFY(!portFree());
        m_window->reject();
        QVERIFY(portFree());
        QFETCH(QByteArray, storedAfter);
        QCOMPARE(readIni(), "[02000000000B]\nNAME=STUDIO 1\nIP=127.0.30.2\n" + storedAfter);
        QTEST(m_boxes->texts(), "boxes");
        for (const auto& box : m_boxes->shown) {
            const bool question = box.text == kReset;
            QCOMPARE(box.title, question ? "Reset counters" : "");
            QCOMPARE(box.buttons == platform::MsgButtons::YesNo, question);
            QCOMPARE(box.icon, question                ? platform::MsgIcon::Question
                               : box.text == kReminder ? platform::MsgIcon::Information
                                                       : platform::MsgIcon::Critical);
        }
    }

    // With auto refresh on, what ends it.
    void autoRefreshEndedBy_data() {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<bool>("autoRefresh");
        QTest::newRow("refresh") << Steps{"cmdRefresh"} << true;
        QTest::newRow("set") << Steps{"cmdSet"} << false;
        QTest::newRow("clear") << Steps{"cmdResetStats"} << false;
        QTest::newRow("bar moved") << Steps{250} << false;
        QTest::newRow("auto servo") << Steps{"chkAutoServo"} << false;
        QTest::newRow("auto clear") << Steps{"chkAutoClear"} << false;
    }
    void autoRefreshEndedBy() {
        QVERIFY(open(true, kStored));
        take({"chkAutoUpdate"});
        checkAutoRefresh(true);
        QFETCH(Steps, steps);
        take(steps);
        QFETCH(bool, autoRefresh);
        checkAutoRefresh(autoRefresh);
    }

    // An error box drops the replies that come while it is open; then the window listens again.
    void errorBoxDropsReplies_data() {
        QTest::addColumn<bool>("adjust");
        QTest::addColumn<QByteArray>("bad");
        QTest::addColumn<QByteArray>("good");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("box");
        QTest::newRow("statistics")
            << false << reply({{0, kMax}, {8, 1}}) << reply({{0, 66}}) << "lblMACTxOK"
            << "66" << kError5;
        QTest::newRow("adjustment") << true << reply({{40, kMax}, {52, 1000}})
                                    << reply({{40, 7000}, {52, 3000}}) << "lblCurrentDelayAVG"
                                    << "10 uS, 0 nS" << kError4;
    }
    void errorBoxDropsReplies() {
        QFETCH(bool, adjust);
        QFETCH(QByteArray, bad);
        QVERIFY(open(adjust, "SFN=1\n"));
        m_boxes->onShow([&](const auto&) { send(bad); });
        send(bad);
        QTRY_COMPARE(m_boxes->count(), 1);
        QFETCH(QByteArray, good);
        send(good);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QTRY_COMPARE(texts({label}).first(), text);
        QFETCH(QString, box);
        QCOMPARE(m_boxes->texts(), QStringList{box});
    }

    // Sends to an element without a usable address go nowhere; the window still shows replies.
    void unusableAddress_data() {
        QTest::addColumn<bool>("adjust");
        QTest::addColumn<QByteArray>("ip");
        for (bool adjust : {false, true})
            for (const char* ip : {"", "STUDIO", "127.0.30.3"})
                QTest::addRow("%s, \"%s\"", adjust ? "adjustment" : "statistics", ip)
                    << adjust << QByteArray(ip);
    }
    void unusableAddress() {
        QFETCH(bool, adjust);
        QFETCH(QByteArray, ip);
        m_boxes->enqueue(platform::MsgAnswer::Yes);
        QVERIFY(open(adjust, "SFN=1\n", true, ip));
        take(adjust
                 ? Steps{"chkAutoClear", "cmdSet", "chkAutoUpdate", "cmdRefresh", "cmdResetStats"}
                 : Steps{"cmdResetStats", "cmdRefreshStats"});
        send(reply({{0, 3}}));
        QTRY_COMPARE(texts({adjust ? "lblFixedLatencyMAC" : "lblMACTxOK"}),
                     QStringList(adjust ? "265 nS" : "3"));
        QCOMPARE(received(), Datagrams());
    }
};

int main(int argc, char** argv) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    TestDiag test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_diag.moc"
