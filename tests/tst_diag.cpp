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
constexpr qint32 kMax = 0x7FFFFFFF;
const QString kReset = "You will reset all counters to zero.\rAre you sure?";
const QString kReminder = "There are unsaved parameters. Don't forget to click the 'Save' button.";
const QByteArray kRecord = "[02000000000B]\nNAME=STUDIO 1\nIP=127.0.30.2\n";

// A status reply of `size` zero bytes with big-endian fields at their offsets.
QByteArray reply(const QList<std::pair<int, qint32>>& fields, int size = 61) {
    QByteArray r(size, '\0');
    for (const auto& [offset, value] : fields)
        for (int i = 0; i < 4; ++i)
            r[offset + i] = char(quint32(value) >> (24 - 8 * i));
    return r;
}

// The element has the stored lines besides its name and address, the setting
// "AutoClearCounters" is 0, and the user takes the steps, answering Yes to the reset question
// or not. Then: what the element got after the window's first request, the additional delay,
// the auto clear box (the setting follows a tick), how often the setting was stored; once the
// window is closed, the element's lines (empty: as stored) and every box shown.
struct CommandRow {
    bool adjust = true;
    QByteArray stored = "DLY=0\nSRV=0\n";
    bool yes = false;
    Steps steps;
    Datagrams sent;
    QString delay = "0 nS";
    bool clear = false;
    int stores = 0;
    QByteArray written;
    QStringList boxes;
};

// A program folder of its own with the element 02:00:00:00:00:0B, and a window on it.
struct Window {
    QTemporaryDir dir;
    platform::MemorySettings settings;
    platform::ScriptedMessageBox boxes;
    QUdpSocket element;
    Datagrams got; // by the element, after the window's first request
    std::unique_ptr<QDialog> w;

    bool open(bool adjust, const QByteArray& lines, const QByteArray& ip = "127.0.30.2") {
        platform::setProgramDirectory(dir.path());
        QFile f(dir.filePath("nms.ini"));
        if (!f.open(QIODevice::WriteOnly) ||
            f.write("[02000000000B]\nNAME=STUDIO 1\nIP=" + ip + "\n" + lines) < 0 ||
            !element.bind(QHostAddress("127.0.30.2"), 2978))
            return false;
        f.close();
        const auto e = db::SelectedElement::of("02:00:00:00:00:0B", db::Role::Decoder);
        auto* a = adjust ? new diag::FrmAdjust(e, "127.0.30.1") : nullptr;
        auto* s = adjust ? nullptr : new diag::FrmStatistics(e, "127.0.30.1");
        w.reset(a ? static_cast<QDialog*>(a) : s);
        if (!(a ? a->start() : s->start()))
            return false;
        if (ip != "127.0.30.2")
            return true;
        QTest::qWaitFor([&] { return !received().isEmpty(); });
        return std::exchange(got, {}) == Datagrams{adjust ? "GetDel" : "GetStats"};
    }
    QByteArray ini() {
        QFile f(dir.filePath("nms.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    Datagrams received() {
        while (element.hasPendingDatagrams())
            got << element.receiveDatagram().data();
        return got;
    }
    void send(const QByteArray& datagram) {
        element.writeDatagram(datagram, QHostAddress("127.0.30.1"), 2978);
    }
    // Sends the replies; the last comes again when a box shows.
    void send(const Datagrams& replies) {
        boxes.onShow = [=, this](const auto&) { send(replies.last()); };
        for (const QByteArray& r : replies)
            send(r);
    }
    template <class T = QCheckBox> T* child(const char* name) { return w->findChild<T*>(name); }
    QStringList texts(const QStringList& labels) {
        QStringList out;
        for (const QString& name : labels)
            out << w->findChild<QLabel*>(name)->text();
        return out;
    }
    void take(const Steps& steps) {
        for (const auto& step : steps) {
            if (const int* value = std::get_if<int>(&step))
                child<QScrollBar>("scrlAdditionalDelay")->setValue(*value);
            else if (auto* box = child(std::get<const char*>(step)))
                QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
                    QAccessibleActionInterface::toggleAction());
            else
                child<QPushButton>(std::get<const char*>(step))->click();
        }
    }
    void checkAutoRefresh(bool on) {
        QCOMPARE(child("chkAutoUpdate")->isChecked(), on);
        QCOMPARE(child<QTimer>("Timer2")->isActive(), on);
    }
};

} // namespace

class TestDiag : public QObject {
    Q_OBJECT
private slots:
    // With SFN off, counters that overflow bring "Error 5". The reply comes again while the box
    // is open: that one is dropped, and the window listens again afterwards.
    void statisticsOverflow() {
        Window w;
        QVERIFY(w.open(false, "SFN=0\n"));
        QCOMPARE(w.child<QGroupBox>("frmStats")->title(), "STUDIO 1:");
        w.send(Datagrams{reply({{0, 10}, {4, 20}, {32, kMax}, {36, kMax}})});
        const QString n = "-";
        QTRY_COMPARE(w.texts({"lblMACTxOK", "lblMACTxErr", "lblMACRxOK", "lblMACRxErr",
                              "lblAudioRxFramesOK", "lblAudioRxFramesErr", "lblPTPRxOK",
                              "lblPTPRxErr", "lblPTPClkAdj", "lblPTPLatency"}),
                     (QStringList{"10", "0 (0%)", "20", "0 (0%)", "2147483647", n, n, n, n, n}));
        QCOMPARE(
            w.boxes.texts(),
            QStringList("Error 5 while retrieving values. Please reset the device and try again."));
        w.send(reply({{0, 66}}));
        QTRY_COMPARE(w.texts({"lblMACTxOK"}), QStringList("66"));
    }

    // A reply of 60 bytes brings "Error 4" and comes again while the box is open: that one is
    // dropped, or it would have moved the bar, which ends auto refresh. The reply of 61 bytes
    // after it fills the interface latencies; its summary overflows.
    void delayError() {
        Window w;
        QVERIFY(w.open(true, "SFN=1\nDLY=250\n"));
        w.take({"chkAutoUpdate"});
        w.send(Datagrams{reply({{52, 3000000}}, 60),
                         reply({{40, kMax - 396097 - 25000}, {52, 25000}})});
        QTRY_COMPARE(w.texts({"lblFixedLatencyMAC", "lblFixedLatencyAUDIO", "lblCurrentDelayAVG",
                              "lblDelaySumAVG", "lblAdditionalDelay"}),
                     (QStringList{"265 nS", "395 uS, 833 nS", "-", "-", "25 uS, 0 nS"}));
        w.checkAutoRefresh(true);
        QCOMPARE(
            w.boxes.texts(),
            QStringList("Error 4 while retrieving values. Please reset the device and try again."));
    }

    // Auto refresh runs from a tick until Clear; auto servo and the auto refresh are off once
    // the steps are done.
    void commands_data() {
        QTest::addColumn<CommandRow>("row");
        // The clear follows its timer, so the refresh sent at once comes first.
        QTest::newRow("auto clear after set")
            << CommandRow{.steps = {250, "chkAutoClear", "cmdSet", "cmdRefresh"},
                          .sent = {QByteArray::fromHex("53000061a800"), "GetDel", "RstStats"},
                          .delay = "25 uS, 0 nS",
                          .clear = true,
                          .stores = 1,
                          .written = "DLY=250\r\nSRV=0\r\n",
                          .boxes = {kReminder}};
        QTest::newRow("reset ends auto refresh")
            << CommandRow{.yes = true,
                          .steps = {"chkAutoUpdate", "cmdResetStats"},
                          .sent = {"RstStats"},
                          .boxes = {kReset}};
        QTest::newRow("statistics reset, No")
            << CommandRow{.adjust = false,
                          .steps = {"cmdResetStats", "cmdRefreshStats"},
                          .sent = {"GetStats"},
                          .boxes = {kReset}};
    }
    void commands() {
        QFETCH(CommandRow, row);
        Window w;
        w.settings.values.insert("AutoClearCounters", "0");
        if (row.yes)
            w.boxes.enqueue(platform::MsgAnswer::Yes);
        QVERIFY(w.open(row.adjust, row.stored));
        w.take(row.steps);
        QTRY_COMPARE(w.received(), row.sent);
        if (row.adjust) {
            QCOMPARE(w.texts({"lblCurrentDelayMIN", "lblFixedLatencyMAC", "lblAdditionalDelay"}),
                     QStringList({"-", "-", row.delay}));
            QVERIFY(!w.child("chkAutoServo")->isChecked());
            QCOMPARE(w.child("chkAutoClear")->isChecked(), row.clear);
            w.checkAutoRefresh(false);
        }
        QCOMPARE(w.settings.values.value("AutoClearCounters"), row.clear ? "1" : "0");
        QCOMPARE(w.settings.saves, row.stores);
        QVERIFY(w.w->isModal());
        w.w->reject();
        QCOMPARE(w.ini(), kRecord + (row.written.isEmpty() ? row.stored : row.written));
        QCOMPARE(w.boxes.texts(), row.boxes);
        // The reset a Yes/No question with its own title, the rest under the program's.
        for (const auto& box : w.boxes.shown) {
            QCOMPARE(box.title, box.text == kReset ? "Reset counters" : "");
            QCOMPARE(box.buttons == platform::MsgButtons::YesNo, box.text == kReset);
        }
    }

    // Sends to an element without a usable address go nowhere; the window still shows replies.
    void unusableAddress() {
        Window w;
        w.boxes.enqueue(platform::MsgAnswer::Yes);
        QVERIFY(w.open(true, "SFN=1\n", "STUDIO"));
        w.take({"chkAutoClear", "cmdSet", "chkAutoUpdate", "cmdRefresh", "cmdResetStats"});
        w.send(reply({{0, 3}}));
        QTRY_COMPARE(w.texts({"lblFixedLatencyMAC"}), QStringList("265 nS"));
        QCOMPARE(w.received(), Datagrams());
    }
};

int main(int argc, char** argv) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    TestDiag test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_diag.moc"
