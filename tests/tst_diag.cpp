// The statistics and SFN adjustment windows against an element played by a real UDP socket
// on loopback: station 127.0.30.1, element 127.0.30.2, both on port 2978.
#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QCheckBox>
#include <QLabel>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

const QHostAddress kStation(QStringLiteral("127.0.30.1"));
constexpr quint16 kPort = 2978;
const QString kSection = QStringLiteral("02000000000B"); // 02:00:00:00:00:0B
constexpr qint32 kMax = 0x7FFFFFFF, kMin = -kMax - 1;
// Message boxes as state() writes them: icon, [title], text, [Yes/No].
const QString kReset =
    "|box=(?) [Reset counters] You will reset all counters to zero.\rAre you sure? [Yes/No]";
const QString kErr5 = "|box=(x) " + diag::kStatsErrorText;
const QString kErr4 = "|box=(x) " + diag::kDelayErrorText;
const QString kReminder =
    "|box=(i) There are unsaved parameters. Don't forget to click the 'Save' button.";

// `size` zero bytes with big-endian fields at their offsets, the auto-servo flag at 60.
QByteArray Reply(std::initializer_list<std::pair<int, qint32>> fields, int size = 61,
                 char servo = 0) {
    QByteArray r(size, '\0');
    for (const auto& [offset, value] : fields)
        for (int i = 0; i < 4 && offset + i < size; ++i)
            r[offset + i] = char(quint32(value) >> (24 - 8 * i));
    return size > 60 ? r.replace(60, 1, QByteArray(1, servo)) : r;
}

QString Ratio(QString text) {
    return text.replace('.', db::userDecimalSeparator());
}

using Datagrams = QList<QByteArray>;
constexpr bool Stats = false, Adjust = true;

// One row: the element's nms.ini lines (";" between them; AutoClearCounters is the user's
// setting, type the main window's element type), the element's replies, the window's state
// afterwards, the user's steps.
void Row(const char* name, bool adjust, const QString& stored, const Datagrams& replies,
         const QString& state, const QStringList& steps = {}) {
    QTest::addRow("%s: %s", adjust ? "adjust" : "stats", name)
        << adjust << stored << replies << state << steps;
}

} // namespace

class TestDiag : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    std::unique_ptr<platform::MemorySettings> m_settings;
    std::unique_ptr<platform::ScriptedMessageBox> m_box;
    std::unique_ptr<QUdpSocket> m_element; // 127.0.30.2:2978
    std::unique_ptr<QDialog> m_window;

    template <typename T> T* child(const QString& name) { return m_window->findChild<T*>(name); }
    QStringList m_sent; // what the element got after the window's first request
    void send(const QByteArray& reply) { m_element->writeDatagram(reply, kStation, kPort); }

    // Writes the element's section, opens the window and takes its first request.
    bool open(bool adjust, const QString& stored) {
        QFile f(m_ini);
        f.open(QIODevice::WriteOnly);
        f.write(("[" + kSection + "]\r\nname=STUDIO 1\r\n" + QString(stored).replace(';', "\r\n") +
                 "\r\nip=127.0.30.2\r\n")
                    .toLatin1());
        f.close();
        if (stored.contains("AutoClearCounters="))
            m_settings->values["AutoClearCounters"] =
                stored.section("Counters=", 1).section(';', 0, 0);
        const auto main = db::SelectedElement::of(
            "02:00:00:00:00:0B",
            stored.contains("type=ENCODER") ? db::Role::Encoder : db::Role::Decoder);
        auto* a = adjust ? new diag::FrmAdjust(main, kStation.toString()) : nullptr;
        auto* s = adjust ? nullptr : new diag::FrmStatistics(main, kStation.toString());
        m_window.reset(a ? static_cast<QDialog*>(a) : s);
        if (!(a ? a->start() : s->start()))
            return false;
        return stored.contains("ip=") ||
               (QTest::qWaitFor([this] { return m_element->hasPendingDatagrams(); }, 5000) &&
                m_element->receiveDatagram().data() == (adjust ? "GetDel" : "GetStats"));
    }

    // The window as the user and the element see it, for the keys of `expected`: value labels
    // without "lbl"; scroll; servo (box and caption); auto (box/refresh timer); clear (box and
    // setting); modal; ini:<key> of the element's section; free (port 2978 can be bound
    // again); sent (what the element got, the set datagram in hex). Every box shown follows.
    QString state(const QString& expected) {
        QStringList out;
        while (m_element->hasPendingDatagrams()) {
            const QByteArray d = m_element->receiveDatagram().data();
            m_sent << (d.startsWith('S') ? d.toHex() : d);
        }
        const auto onOff = [](bool on) { return QString(on ? "on" : "off"); };
        for (const QString& item : expected.split('|')) {
            const QString key = item.section('=', 0, 0);
            const auto box = [&](const char* name) { return child<QCheckBox>(name); };
            if (key != "box")
                out << key + "=" +
                           (key == "scroll"
                                ? QString::number(child<QScrollBar>("scrlAdditionalDelay")->value())
                            : key == "servo" ? onOff(box("chkAutoServo")->isChecked()) + " " +
                                                   box("chkAutoServo")->text()
                            : key == "auto" ? onOff(box("chkAutoUpdate")->isChecked()) + "/" +
                                                  onOff(child<QTimer>("Timer2")->isActive())
                            : key == "clear" ? onOff(box("chkAutoClear")->isChecked()) + " " +
                                                   m_settings->values.value("AutoClearCounters")
                            : key == "modal" ? onOff(m_window->isModal())
                            : key.startsWith("ini:")
                                ? db::ReadFromINI(kSection, key.mid(4), m_ini, "-")
                            : key == "free" ? onOff(QUdpSocket().bind(kStation, kPort))
                            : key == "sent" ? m_sent.join(' ')
                                            : child<QLabel>("lbl" + key)->text());
        }
        static const char* icons[] = {"", "(i) ", "(?) ", "(!) ", "(x) "};
        for (const auto& b : m_box->shown)
            out << QString("box=") + icons[int(b.icon)] +
                       (b.title.isEmpty() ? "" : "[" + b.title + "] ") + b.text +
                       (b.buttons == platform::MsgButtons::YesNo ? " [Yes/No]" : "");
        return out.join('|');
    }

private slots:
    void init() {
        m_window.reset();
        m_sent.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        platform::setProgramDirectory(m_dir->path());
        m_ini = db::NmsIniPath();
        m_settings = std::make_unique<platform::MemorySettings>();
        m_box = std::make_unique<platform::ScriptedMessageBox>();
        m_element = std::make_unique<QUdpSocket>();
        QVERIFY(m_element->bind(QHostAddress("127.0.30.2"), kPort, QUdpSocket::DontShareAddress));
    }

    void window_data();
    void window() {
        QFETCH(bool, adjust);
        QFETCH(QString, stored);
        QFETCH(Datagrams, replies);
        QFETCH(QString, expected);
        QFETCH(QStringList, steps);
        QVERIFY(open(adjust, stored));
        for (const QString& step : steps) {
            const QString arg = step.section(':', 1);
            if (step == "yes")
                m_box->enqueue(platform::MsgAnswer::Yes); // to the next box
            else if (step.startsWith("click:"))
                child<QAbstractButton>(arg)->click();
            else if (step.startsWith("scroll:"))
                child<QScrollBar>("scrlAdditionalDelay")->setValue(arg.toInt());
            else if (step == "close")
                m_window->reject();
            else if (step == "reply") {
                // The first reply now; once its box is gone, the window listens again.
                send(replies.takeFirst());
                QTRY_COMPARE(m_box->count(), 1);
                QTest::qWait(20);
            } else if (step == "box stays open") {
                // Meanwhile the first reply comes again: it must not open a second box.
                m_box->stayOpen(QString(), 50);
                m_box->onShow([&, again = replies.first()](auto&) { send(again); });
            }
        }
        for (const QByteArray& r : replies)
            send(r);
        QTRY_COMPARE(state(expected), expected);
    }
};

void TestDiag::window_data() {
    QTest::addColumn<bool>("adjust");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<Datagrams>("replies");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("steps");
    // 1 of 32 is 3.125%: halves go to even.
    Row("10/20/0", Stats, "sfn=0", {Reply({{0, 10}, {4, 20}, {8, 0}, {32, 31}, {36, 1}})},
        "MACTxOK=10|MACRxOK=20|MACTxErr=0 (0%)|MACRxErr=0 (0%)|PTPRxOK=-|"
        "AudioRxFramesErr=" +
            Ratio("1 (3.12%)"));
    Row("negative counters", Stats, "sfn=1", {Reply({{0, -1}, {8, 1}, {16, -1}, {36, -1}})},
        "MACTxOK=-1|MACTxErr=1 (0%)|PTPRxOK=-1|AudioRxFramesErr=-1 (100%)");
    const QByteArray sync = Reply({{16, 5}, {20, 2}, {24, -120}, {28, 1000}, {52, 500}});
    Row("sfn 1 decoder", Stats, "sfn=1", {sync},
        "PTPRxOK=5|PTPRxErr=2|PTPClkAdj=-120 nS|PTPLatency=1500 nS");
    Row("sfn 1 encoder", Stats, "sfn=1;type=ENCODER", {sync},
        "PTPRxOK=5|PTPRxErr=2|PTPClkAdj=-|PTPLatency=-");
    Row("40 bytes", Stats, "sfn=1",
        {Reply({{0, 1}, {8, 2}, {4, 2}, {12, 1}, {28, 777}, {52, 5}}, 40)},
        "MACTxErr=" + Ratio("2 (66.67%)") + "|MACRxErr=" + Ratio("1 (33.33%)") +
            "|PTPLatency=777 nS");
    const QByteArray txOverflow = Reply({{0, kMax}, {8, 1}});
    Row("62 bytes dropped", Stats, "sfn=1", {Reply({{0, 10}, {8, 5}}, 62), txOverflow},
        "MACTxOK=2147483647|MACTxErr=-|PTPRxOK=-" + kErr5);
    Row("rx overflow", Stats, "sfn=1", {Reply({{0, 4}, {4, kMax}, {12, 1}})},
        "MACRxOK=2147483647|MACTxErr=0 (0%)|MACRxErr=-" + kErr5);
    Row("sfn not a number", Stats, "sfn=x1", {Reply({})},
        "MACRxErr=0 (0%)|PTPRxOK=-|AudioRxFramesOK=-" + kErr5);
    Row("latency underflow", Stats, "sfn=1", {Reply({{28, kMin}, {52, -1}})},
        "PTPClkAdj=0 nS|PTPLatency=-|AudioRxFramesOK=-" + kErr5);
    Row("audio overflow", Stats, "sfn=0", {Reply({{32, kMax}, {36, kMax}})},
        "AudioRxFramesOK=2147483647|AudioRxFramesErr=-" + kErr5);
    Row("error box drops further replies", Stats, "sfn=1", {txOverflow, Reply({{0, 66}})},
        "MACTxOK=66" + kErr5, {"box stays open", "reply"});

    const QString on = "click:chkAutoUpdate";
    const QString fixed = "FixedLatencyMAC=265 nS|FixedLatencyAUDIO=395 uS, 833 nS|";
    const QByteArray far = Reply({{40, 5}, {52, 3000000}}, 61, 1);
    const QString untouched = fixed + "CurrentDelayAVG=-|scroll=10|AdditionalDelay=1 uS, 0 nS|"
                                      "servo=off Auto &delay compensation|auto=on/on";
    Row("encoder", Adjust, "sfn=1;dly=10;type=ENCODER", {far}, untouched, {on});
    Row("sfn 0", Adjust, "sfn=0;dly=10", {far}, untouched, {on});
    Row("3 ms", Adjust, "sfn=1;dly=250", {Reply({{52, 3000000}})},
        "scroll=25000|AdditionalDelay=2 mS, 500 uS, 0 nS|auto=off/off", {on});
    Row("-500 ns", Adjust, "sfn=1;dly=100", {Reply({{52, -500}})},
        "scroll=0|AdditionalDelay=0 nS|auto=off/off", {on});
    Row("same delay", Adjust, "sfn=1;dly=250", {Reply({{52, 25000}})}, "scroll=250|auto=on/on",
        {on});
    Row("a tie to even", Adjust, "sfn=1", {Reply({{52, 25050}})}, "scroll=250");
    Row("100000 + 25000", Adjust, "sfn=1;dly=250",
        {Reply({{40, 100000}, {44, 90000}, {48, 110000}, {52, 25000}})},
        fixed + "CurrentDelayAVG=125 uS, 0 nS|DelaySumAVG=521 uS, 98 nS|CurrentDelayMIN=115 uS, "
                "0 nS|DelaySumMIN=511 uS, 98 nS|CurrentDelayMAX=135 uS, 0 nS|DelaySumMAX=531 uS, "
                "98 nS|servo=off Auto servo|auto=on/on",
        {on});
    Row("servo on", Adjust, "sfn=1;dly=250",
        {Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 1)},
        "servo=on Auto servo (-120 nS)|CurrentDelayAVG=124 uS, 880 nS|auto=off/off", {on});
    Row("servo flag 2 is off", Adjust, "sfn=1;dly=250",
        {Reply({{40, 100000}, {52, 25000}, {56, -120}}, 61, 2)},
        "servo=off Auto servo|CurrentDelayAVG=125 uS, 0 nS|auto=on/on", {on});
    Row("delay texts", Adjust, "sfn=1", {Reply({{40, kMin}, {44, 1000001}, {48, kMax - 396098}})},
        "CurrentDelayAVG=-2147 mS, 483 uS, 648 nS|CurrentDelayMIN=1 mS, 0 uS, 1 nS|"
        "DelaySumMAX=2147 mS, 483 uS, 647 nS");
    const QByteArray avgOverflow = Reply({{40, kMax}, {52, 1000}});
    Row("average overflow", Adjust, "sfn=1;dly=10", {avgOverflow},
        fixed + "scroll=10|CurrentDelayAVG=-" + kErr4);
    Row("summary overflow", Adjust, "sfn=1", {Reply({{40, kMax - 396097}})},
        "CurrentDelayAVG=-" + kErr4);
    Row("maximum overflow", Adjust, "sfn=1", {Reply({{48, kMax}, {52, 100}})},
        "CurrentDelayMIN=100 nS|CurrentDelayMAX=-" + kErr4);
    Row("sfn not a number", Adjust, "sfn=on;dly=250", {Reply({{52, 500}})},
        fixed + "scroll=250" + kErr4);
    for (int size : {0, 60, 62})
        Row(qPrintable(QString("%1 bytes dropped").arg(size)), Adjust, "sfn=1;dly=10",
            {Reply({{40, 1000}, {52, 3000000}}, size), avgOverflow},
            "scroll=10|CurrentDelayMIN=-" + kErr4);
    Row("error box drops further replies", Adjust, "sfn=1",
        {avgOverflow, Reply({{40, 7000}, {52, 3000}})}, "CurrentDelayAVG=10 uS, 0 nS" + kErr4,
        {"box stays open", "reply"});

    Row("opening", Adjust, "dly=250;srv=1;AutoClearCounters=1", {},
        "scroll=250|AdditionalDelay=25 uS, 0 nS|servo=on Auto &delay compensation|clear=on 1|"
        "auto=off/off|CurrentDelayAVG=-|FixedLatencyMAC=-|modal=on");
    Row("opening, not numbers", Adjust, "dly=abc;srv=abc;AutoClearCounters=abc", {},
        "scroll=0|AdditionalDelay=0 nS|servo=off Auto &delay compensation|clear=off abc|"
        "ini:dly=abc");
    Row("opening, above range", Adjust, "dly=99999;srv=2;AutoClearCounters=2", {},
        "scroll=25000|AdditionalDelay=2 mS, 500 uS, 0 nS|servo=off Auto &delay compensation|"
        "clear=off 2");
    Row("opening, below range", Adjust, "dly=-5", {}, "scroll=0|AdditionalDelay=0 nS");
    Row("opening, huge", Adjust, "dly=99999999999", {}, "scroll=25000");
    const QString set = "click:cmdSet", servo = "click:chkAutoServo", clear = "click:chkAutoClear";
    const QString reset = "click:cmdResetStats", refresh = "click:cmdRefresh";
    Row("set 25000", Adjust, "", {},
        "AdditionalDelay=2 mS, 500 uS, 0 nS|auto=off/off|sent=53002625a000",
        {"scroll:25000", on, set});
    // The clear comes after its timer, so after the refresh sent at once.
    Row("auto clear after set", Adjust, "dly=250", {},
        "clear=on 1|sent=53000061a800 GetDel RstStats", {clear, set, refresh});
    Row("auto clear off", Adjust, "", {}, "clear=off 0", {clear, clear});
    Row("clear ends auto refresh", Adjust, "", {}, "auto=off/off|sent=GetDel" + kReset,
        {on, reset, refresh});
    Row("servo ends auto refresh", Adjust, "", {}, "auto=off/off", {on, servo});
    Row("auto clear ends auto refresh", Adjust, "", {}, "auto=off/off", {on, clear});
    Row("refresh keeps auto refresh", Adjust, "", {}, "auto=on/on|sent=GetDel", {on, refresh});
    Row("reset", Adjust, "", {}, "sent=RstStats" + kReset, {"yes", reset});
    Row("reset", Stats, "", {}, "modal=on|free=off|sent=RstStats" + kReset, {"yes", reset});
    Row("reset, No", Stats, "", {}, "free=on|sent=GetStats" + kReset,
        {reset, "click:cmdRefreshStats", "close"});
    // Moved after the Set, never sent: the element still has 250 and servo on.
    const QStringList setThenMove = {"scroll:250", servo, set, "scroll:400", servo};
    Row("close writes the last set", Adjust, "dly=0;srv=0", {},
        "scroll=400|ini:dly=250|ini:srv=1|free=on|sent=53000061a801" + kReminder,
        setThenMove + QStringList{"close"});
    Row("close without set", Adjust, "dly=0;srv=0", {}, "auto=off/off|ini:dly=0|ini:srv=0|free=on",
        {on, "scroll:250", "close"}); // a scroll movement ends auto refresh
    // Sends with nowhere to go; the window still receives.
    for (const char* ip : {"ip=", "ip=STUDIO", "ip=192.0.2.1"}) {
        Row(ip, Stats, ip, {Reply({{0, 3}})}, "MACTxOK=3|sent=" + kReset,
            {"yes", reset, "click:cmdRefreshStats"});
        Row(ip, Adjust, ip, {Reply({})}, "FixedLatencyMAC=265 nS|sent=", {clear, set, on, refresh});
    }
}

QTEST_MAIN(TestDiag)
#include "tst_diag.moc"
