// The namespace rig and the element emulator, checked from the station's namespace with plain
// sockets, so that the station's own tests can rely on both.

#include "diag/statusreply.h"
#include "protocol/levelreply.h"
#include "support/netnsrig.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <cstdio>

using testsupport::NetnsRig;

namespace {

const QByteArray kPaging("IPMPXSTL TALVOREN PAGING REQUEST");
const QHostAddress kStation(QStringLiteral("192.0.2.1"));
const QHostAddress kEncoder(QStringLiteral("192.0.2.10"));
const QHostAddress kDecoder(QStringLiteral("192.0.2.11"));

// Encoder: 192.0.2.10/24, gw .254, remote .20, input 1, type 0, tx 1, "Studio 1", role 1,
// serial 4242, version 3.7, sfn 1, buffer 5, llo 1.
const QByteArray kEncoderFeedback = QByteArray::fromHex("c000020a"
                                                        "ffffff00"
                                                        "c00002fe"
                                                        "c0000214"
                                                        "01"
                                                        "00"
                                                        "01"
                                                        "53747564696f20312020202020202020"
                                                        "01"
                                                        "00001092"
                                                        "03"
                                                        "07"
                                                        "01"
                                                        "05"
                                                        "01");
// Decoder: 192.0.2.11/24, gw 0, remote 239.1.2.3, input 0, type 1, tx 1, "TX SITE NORTH",
// role 2, serial -2, att 12, version 2.4, sfn 1, buffer 40, sdm 2, sdl 30, sdt 60, llo 0.
const QByteArray kDecoderFeedback = QByteArray::fromHex("c000020b"
                                                        "ffffff00"
                                                        "00000000"
                                                        "ef010203"
                                                        "00"
                                                        "01"
                                                        "01"
                                                        "54582053495445204e4f525448202020"
                                                        "02"
                                                        "fffffffe"
                                                        "0c"
                                                        "02"
                                                        "04"
                                                        "01"
                                                        "28"
                                                        "02"
                                                        "1e"
                                                        "3c"
                                                        "0000000000"
                                                        "00");

QList<QNetworkDatagram> receive(QUdpSocket& socket, int count) {
    QList<QNetworkDatagram> got;
    QTest::qWaitFor(
        [&] {
            while (socket.hasPendingDatagrams())
                got << socket.receiveDatagram();
            return got.size() >= count;
        },
        5000);
    return got;
}

// Rows of /proc/net/arp: address -> (MAC, flags) for complete entries.
QMap<QString, QString> completeNeighbours() {
    QFile f(QStringLiteral("/proc/net/arp"));
    QMap<QString, QString> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    f.readLine();
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() >= 4 && cols[2] == "0x2")
            rows.insert(QString::fromLatin1(cols[0]), QString::fromLatin1(cols[3]));
    }
    return rows;
}

// What the station's parser makes of one reply to a request of the emulator.
struct Reading {
    QString text;       // "dropped", "error", or the watched figures
    qint64 watched = 0; // GetStats: tx frames; GetDel: average delay; VOL: peak
};

Reading readReply(const QByteArray& request, const QByteArray& reply) {
    if (request == "VOL") {
        const protocol::LevelReading r = protocol::ParseLevelReply(reply, QLatin1Char('.'));
        return {QStringLiteral("peak %1 %2").arg(r.peak).arg(r.caption), r.peak};
    }
    if (request == "GetDel") {
        const diag::DelayParseResult r = diag::ParseDelayReply(reply, "1", "DECODER");
        if (r.dropped || r.error)
            return {r.dropped ? "dropped" : "error", 0};
        return {QStringLiteral("avg %1 min %2 max %3")
                    .arg(r.values.average)
                    .arg(r.values.minimum)
                    .arg(r.values.maximum),
                r.values.average};
    }
    const diag::StatsParseResult r = diag::ParseStatsReply(reply, "1", "DECODER", '.');
    if (r.dropped || r.error)
        return {r.dropped ? "dropped" : "error", 0};
    return {QStringLiteral("tx %1 audio %2 latency %3")
                .arg(r.values.txFramesOk)
                .arg(r.values.rxAudioFramesOk)
                .arg(r.values.ptpSyncLatency),
            r.values.txFramesOk};
}

} // namespace

class tst_net_emulator : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<NetnsRig> m_rig;

private slots:
    void initTestCase() {
        KN_REQUIRE_RIG();
        m_rig = std::make_unique<NetnsRig>();
        QVERIFY2(m_rig->create(), qPrintable(m_rig->lastError()));
        QVERIFY2(!m_rig->addElement("192.0.2.10", "02:00:00:00:00:10").isEmpty(),
                 qPrintable(m_rig->lastError()));
        QVERIFY2(!m_rig->addElement("192.0.2.11", "02:00:00:00:00:11").isEmpty(),
                 qPrintable(m_rig->lastError()));
        QVERIFY2(m_rig->startEmulator(
                     0, {"--role",   "encoder",   "--name",      "Studio 1", "--serial",
                         "4242",     "--gw",      "192.0.2.254", "--remote", "192.0.2.20",
                         "--input",  "1",         "--type",      "0",        "--tx",
                         "1",        "--version", "3.7",         "--sfn",    "1",
                         "--buffer", "5",         "--llo",       "1",        "--quiet"}),
                 qPrintable(m_rig->lastError()));
        QVERIFY2(m_rig->startEmulator(
                     1, {"--role",
                         "decoder",
                         "--name",
                         "TX SITE NORTH",
                         "--serial",
                         "-2",
                         "--remote",
                         "239.1.2.3",
                         "--type",
                         "1",
                         "--tx",
                         "1",
                         "--att",
                         "12",
                         "--version",
                         "2.4",
                         "--sfn",
                         "1",
                         "--buffer",
                         "40",
                         "--sdm",
                         "2",
                         "--sdl",
                         "30",
                         "--sdt",
                         "60",
                         "--llo",
                         "0",
                         "--quiet",
                         "--stats",
                         "txok=10,rxok=20,txerr=0,rxerr=0,ptpok=5,ptperr=1,clk=-120,meas=1000,"
                         "audok=100,auderr=1,avg=100000,min=90000,max=110000,add=25000,"
                         "servo=-120,autoservo=1"}),
                 qPrintable(m_rig->lastError()));
        QVERIFY2(!m_rig->addElement("192.0.2.12", "02:00:00:00:00:12").isEmpty(),
                 qPrintable(m_rig->lastError()));
        QVERIFY2(m_rig->enterStation(), qPrintable(m_rig->lastError()));
    }

    void cleanupTestCase() { m_rig.reset(); }

    // The third element's emulator lives for one test function, also when it failed.
    void cleanup() {
        if (m_rig)
            m_rig->stopEmulator(2);
    }

    void namesAreShortAndUnique() {
        QVERIFY(m_rig->stationNs().startsWith(
            QStringLiteral("kn%1-").arg(QCoreApplication::applicationPid())));
        QVERIFY(m_rig->stationNs() != m_rig->elementNs(0));
        QVERIFY(m_rig->elementNs(0) != m_rig->elementNs(1));
        QByteArray out;
        QCOMPARE(m_rig->runInStation({"cat", "/proc/sys/net/ipv4/ping_group_range"}, &out), 0);
        QCOMPARE(out.simplified(), QByteArray("0 2147483647"));
        QCOMPARE(m_rig->runInStation({"cat", "/proc/sys/net/ipv6/conf/eth0/disable_ipv6"}, &out),
                 0);
        QCOMPARE(out.trimmed(), QByteArray("1"));
    }

    void pagingGetsOneFeedbackPerElement() {
        QUdpSocket s;
        QVERIFY2(s.bind(kStation, 2976), qPrintable(s.errorString()));
        QCOMPARE(s.writeDatagram(kPaging, QHostAddress::Broadcast, 1901), qint64(32));
        const QList<QNetworkDatagram> got = receive(s, 2);
        QCOMPARE(got.size(), 2);
        QMap<QString, QByteArray> bySender;
        for (const QNetworkDatagram& d : got) {
            QCOMPARE(d.senderPort(), 2976);
            bySender.insert(d.senderAddress().toString(), d.data());
        }
        QCOMPARE(bySender.value("192.0.2.10").toHex(), kEncoderFeedback.toHex());
        QCOMPARE(bySender.value("192.0.2.11").toHex(), kDecoderFeedback.toHex());
        QCOMPARE(kEncoderFeedback.size(), 45);
        QCOMPARE(kDecoderFeedback.size(), 54);
        QTest::qWait(200);
        QVERIFY(!s.hasPendingDatagrams()); // one answer each
        QCOMPARE(m_rig->emulatorLog(0).value(0), "1901 " + QString::fromLatin1(kPaging.toHex()));
    }

    void neighbourTableHasTheElementsAfterPaging() {
        const QMap<QString, QString> rows = completeNeighbours();
        QCOMPARE(rows.value("192.0.2.10"), QStringLiteral("02:00:00:00:00:10"));
        QCOMPARE(rows.value("192.0.2.11"), QStringLiteral("02:00:00:00:00:11"));
    }

    void otherDatagramsOnThePagingPortAreNotAnswered() {
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        s.writeDatagram(kPaging.left(31), QHostAddress::Broadcast, 1901);
        s.writeDatagram(kPaging + ' ', QHostAddress::Broadcast, 1901);
        QTest::qWait(200);
        QVERIFY(!s.hasPendingDatagrams());
    }

    void configurationIsLoggedAppliedAndAnswered_data() {
        QTest::addColumn<int>("element");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QByteArray>("feedback");
        // ip mask gw remote input type tx sfn name[16] (buffer sdm sdl sdt) llo
        QTest::newRow("decoder 41 bytes") << 1
                                          << QByteArray::fromHex("c000020b"
                                                                 "ffffff00"
                                                                 "c00002fe"
                                                                 "e0000001"
                                                                 "01"
                                                                 "00"
                                                                 "01"
                                                                 "00"
                                                                 "4e4f525448204d415354202020202020"
                                                                 "32"
                                                                 "01"
                                                                 "14"
                                                                 "0a"
                                                                 "01")
                                          << QByteArray::fromHex("c000020b"
                                                                 "ffffff00"
                                                                 "c00002fe"
                                                                 "e0000001"
                                                                 "01"
                                                                 "00"
                                                                 "01"
                                                                 "4e4f525448204d415354202020202020"
                                                                 "02"
                                                                 "fffffffe"
                                                                 "0c"
                                                                 "02"
                                                                 "04"
                                                                 "00"
                                                                 "32"
                                                                 "01"
                                                                 "14"
                                                                 "0a"
                                                                 "0000000000"
                                                                 "01");
        QTest::newRow("encoder 37 bytes") << 0
                                          << QByteArray::fromHex("c000020a"
                                                                 "ff000000"
                                                                 "00000000"
                                                                 "0a000002"
                                                                 "00"
                                                                 "00"
                                                                 "00"
                                                                 "00"
                                                                 "53545544494f20322020202020202020"
                                                                 "00")
                                          << QByteArray::fromHex("c000020a"
                                                                 "ff000000"
                                                                 "00000000"
                                                                 "0a000002"
                                                                 "00"
                                                                 "00"
                                                                 "00"
                                                                 "53545544494f20322020202020202020"
                                                                 "01"
                                                                 "00001092"
                                                                 "03"
                                                                 "07"
                                                                 "00"
                                                                 "05"
                                                                 "00");
    }
    void configurationIsLoggedAppliedAndAnswered() {
        QFETCH(int, element);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, feedback);
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        const QHostAddress to(m_rig->elementAddress(element));
        QCOMPARE(s.writeDatagram(config, to, 2976), qint64(config.size()));
        const QList<QNetworkDatagram> got = receive(s, 1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].senderAddress(), to);
        QCOMPARE(got[0].data().toHex(), feedback.toHex());
        QCOMPARE(m_rig->emulatorLog(element).value(m_rig->emulatorLog(element).size() - 1),
                 "2976 " + QString::fromLatin1(config.toHex()));
    }

    void statusReplyAndDelaySet() {
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2978));
        s.writeDatagram("GetStats", kDecoder, 2978);
        QList<QNetworkDatagram> got = receive(s, 1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].senderPort(), 2978);
        QCOMPARE(got[0].data().toHex(), QByteArray("0000000a"
                                                   "00000014"
                                                   "00000000"
                                                   "00000000"
                                                   "00000005"
                                                   "00000001"
                                                   "ffffff88"
                                                   "000003e8"
                                                   "00000064"
                                                   "00000001"
                                                   "000186a0"
                                                   "00015f90"
                                                   "0001adb0"
                                                   "000061a8"
                                                   "ffffff88"
                                                   "01"));
        // Set 1 ms, servo off; then reset: counters zero, delays kept.
        s.writeDatagram(QByteArray::fromHex("53000f424000"), kDecoder, 2978);
        s.writeDatagram("RstStats", kDecoder, 2978);
        s.writeDatagram("GetDel", kDecoder, 2978);
        got = receive(s, 1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].data().toHex(), QByteArray("00000000"
                                                   "00000000"
                                                   "00000000"
                                                   "00000000"
                                                   "00000000"
                                                   "00000000"
                                                   "ffffff88"
                                                   "000003e8"
                                                   "00000000"
                                                   "00000000"
                                                   "000186a0"
                                                   "00015f90"
                                                   "0001adb0"
                                                   "000f4240"
                                                   "ffffff88"
                                                   "00"));
    }

    void levelReplyGoesToStationPort2976() {
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        s.writeDatagram("VOL", kEncoder, 2977);
        const QList<QNetworkDatagram> got = receive(s, 1);
        QCOMPARE(got.size(), 1);
        const QByteArray d = got[0].data();
        QCOMPARE(d.size(), 1201);
        int peak = 0;
        bool negativeSeen = false;
        for (int k = 0; 3 * k + 3 <= d.size() - 1; ++k) {
            const auto b0 = uint8_t(d[3 * k]);
            if (b0 >= 0x80) {
                negativeSeen = true;
                continue;
            }
            peak = qMax(peak, (b0 << 16) | (uint8_t(d[3 * k + 1]) << 8) | uint8_t(d[3 * k + 2]));
        }
        QCOMPARE(peak, 0x400000);
        QVERIFY(negativeSeen);
    }

    void misbehaviourOnPaging_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected"); // hex of each datagram from .12, in order
        // ENCODER 12, serial 1012, defaults elsewhere.
        const QString body = "ffffff00"
                             "00000000"
                             "00000000"
                             "000000" +
                             QString::fromLatin1(QByteArray("ENCODER 12      ").toHex()) +
                             "01"
                             "000003f4"
                             "02"
                             "01"
                             "00"
                             "0a"
                             "00";
        const QString full = "c000020c" + body;
        QTest::newRow("plain") << QStringList{} << QStringList{full};
        QTest::newRow("truncate 40")
            << QStringList{"--truncate", "40"} << QStringList{full.left(80)};
        QTest::newRow("answers 3")
            << QStringList{"--answers", "3"} << QStringList{full, full, full};
        QTest::newRow("answers 0") << QStringList{"--answers", "0"} << QStringList{};
        QTest::newRow("no answer") << QStringList{"--no-answer"} << QStringList{};
        QTest::newRow("report address")
            << QStringList{"--report-address", "192.0.2.99"} << QStringList{"c0000263" + body};
        QTest::newRow("burst 3") << QStringList{"--burst", "3"}
                                 << QStringList{full, "c000020d" + body, "c000020e" + body};
        QTest::newRow("unknown role 3") << QStringList{"--role", "3", "--name", "X"}
                                        << QStringList{"c000020c"
                                                       "ffffff00"
                                                       "00000000"
                                                       "00000000"
                                                       "000000"
                                                       "5820202020202020"
                                                       "2020202020202020"
                                                       "03"
                                                       "000003f4"
                                                       "02"
                                                       "01"
                                                       "00"
                                                       "0a"
                                                       "00"};
        QTest::newRow("late") << QStringList{"--delay-ms", "300"} << QStringList{full};
        // Decimal, not octal: 010 is ten.
        QTest::newRow("decimal 010") << QStringList{"--sfn", "010", "--buffer", "012"}
                                     << QStringList{full.left(full.size() - 6) + "0a0c00"};
    }
    void misbehaviourOnPaging() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        QVERIFY2(m_rig->startEmulator(2, args + QStringList{"--quiet"}),
                 qPrintable(m_rig->lastError()));
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        s.writeDatagram(kPaging, QHostAddress::Broadcast, 1901);
        // The two other elements answer too; keep waiting a while for the third one's late or
        // extra answers.
        const QList<QNetworkDatagram> got = receive(s, 2 + int(expected.size()));
        QTest::qWait(300);
        QList<QNetworkDatagram> all = got;
        while (s.hasPendingDatagrams())
            all << s.receiveDatagram();
        QStringList fromThird;
        for (const QNetworkDatagram& d : all)
            if (d.senderAddress() == QHostAddress("192.0.2.12"))
                fromThird << QString::fromLatin1(d.data().toHex());
        m_rig->stopEmulator(2);
        QCOMPARE(fromThird, expected);
    }

    // The emulator's shaped and moving replies, read by the station's own parsers.
    void repliesThroughTheStationsParsers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("length");       // of the reply; -1: no reply
        QTest::addColumn<QString>("expected"); // reading of a still reply; "" when it moves
        QTest::addColumn<qint64>("low");       // a moving figure stays in low..high
        QTest::addColumn<qint64>("high");
        QTest::addColumn<qint64>("step"); // and changes by multiples of step
        const QStringList stats{"--stats", "txok=100,audok=7,meas=1000,add=25000,avg=100000,"
                                           "min=90000,max=110000"};
        QTest::newRow("status 61") << stats << QByteArray("GetStats") << 61
                                   << "tx 100 audio 7 latency 26000" << 0LL << 0LL << 0LL;
        QTest::newRow("status 40 cut")
            << stats + QStringList{"--status-bytes", "40"} << QByteArray("GetStats") << 40
            << "tx 100 audio 7 latency 1000" << 0LL << 0LL << 0LL;
        QTest::newRow("status 62 dropped")
            << stats + QStringList{"--status-bytes", "62"} << QByteArray("GetStats") << 62
            << "dropped" << 0LL << 0LL << 0LL;
        QTest::newRow("delay 61") << stats << QByteArray("GetDel") << 61
                                  << "avg 125000 min 115000 max 135000" << 0LL << 0LL << 0LL;
        QTest::newRow("delay 40 dropped")
            << stats + QStringList{"--status-bytes", "40"} << QByteArray("GetDel") << 40
            << "dropped" << 0LL << 0LL << 0LL;
        QTest::newRow("counters grow")
            << stats + QStringList{"--count-step", "5", "--error-step", "1"}
            << QByteArray("GetStats") << 61 << "" << 100LL << qint64(INT32_MAX) << 5LL;
        QTest::newRow("delay wanders")
            << stats + QStringList{"--delay-wander", "4000"} << QByteArray("GetDel") << 61 << ""
            << 115000LL << 135000LL << 1LL; // add=25000 included
        QTest::newRow("level steady") << QStringList{"--peak", "2097152"} << QByteArray("VOL")
                                      << 1201 << "peak 2097152 -12dBFS" << 0LL << 0LL << 0LL;
        QTest::newRow("level varies") << QStringList{"--level-period", "2", "--peak", "8388607"}
                                      << QByteArray("VOL") << 1201 << "" << 0LL << 8388607LL << 1LL;
        QTest::newRow("no answer: statistics")
            << QStringList{"--no-answer"} << QByteArray("GetStats") << -1 << "" << 0LL << 0LL
            << 0LL;
        QTest::newRow("no answer: delay")
            << QStringList{"--no-answer"} << QByteArray("GetDel") << -1 << "" << 0LL << 0LL << 0LL;
        QTest::newRow("no answer: level")
            << QStringList{"--no-answer"} << QByteArray("VOL") << -1 << "" << 0LL << 0LL << 0LL;
    }
    void repliesThroughTheStationsParsers() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, request);
        QFETCH(int, length);
        QFETCH(QString, expected);
        QFETCH(qint64, low);
        QFETCH(qint64, high);
        QFETCH(qint64, step);
        QVERIFY2(m_rig->startEmulator(2, args + QStringList{"--quiet"}),
                 qPrintable(m_rig->lastError()));
        const QHostAddress element(QStringLiteral("192.0.2.12"));
        const int port = request == "VOL" ? 2977 : 2978;
        QUdpSocket s;
        QVERIFY(s.bind(kStation, request == "VOL" ? 2976 : 2978));
        auto ask = [&] {
            s.writeDatagram(request, element, port);
            const QList<QNetworkDatagram> got = receive(s, 1);
            return got.isEmpty() ? QByteArray() : got[0].data();
        };
        const QByteArray first = ask();
        if (length < 0) {
            QVERIFY(first.isEmpty());
            QTest::qWait(300);
            QVERIFY(!s.hasPendingDatagrams());
            return;
        }
        QCOMPARE(first.size(), length);
        const Reading r0 = readReply(request, first);
        if (!expected.isEmpty()) {
            QCOMPARE(r0.text, expected);
            return;
        }
        // Ask until the figure moves; every reading on the way stays in its bounds.
        Reading r = r0;
        for (int i = 0; i < 40 && r.text == r0.text; ++i) {
            QTest::qWait(250);
            r = readReply(request, ask());
            QVERIFY2(r.watched >= low && r.watched <= high, qPrintable(r.text));
        }
        QVERIFY2(r.text != r0.text, qPrintable(r.text));
        QVERIFY2(r0.watched >= low && r0.watched <= high, qPrintable(r0.text));
        QVERIFY2((r.watched - r0.watched) % step == 0, qPrintable(r0.text + " / " + r.text));
    }

    // Out-of-range and non-decimal values are refused with a message naming the option.
    void refusesBadValues_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("byte too big")
            << QStringList{"--sfn", "256"} << "--sfn: 256 is out of range (0 to 255)";
        QTest::newRow("hexadecimal")
            << QStringList{"--buffer", "0x10"} << "--buffer: \"0x10\" is not a decimal number";
        QTest::newRow("negative count") << QStringList{"--count-step", "-1"}
                                        << "--count-step: -1 is out of range (0 to 1000000)";
        QTest::newRow("level period") << QStringList{"--level-period", "3601"}
                                      << "--level-period: 3601 is out of range (0 to 3600)";
        QTest::newRow("stats octal-looking") << QStringList{"--stats", "txok=0x10"}
                                             << "--stats: \"txok=0x10\" is not key=N with N a "
                                                "decimal number from -2147483648 to 4294967295";
        QTest::newRow("stats key")
            << QStringList{"--stats", "tx=1"} << "--stats: unknown key \"tx\" (see --help)";
        QTest::newRow("address") << QStringList{"--gw", "192.0.2.256"}
                                 << "--gw: \"192.0.2.256\" is not a dotted IPv4 address";
    }
    void refusesBadValues() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess p;
        p.start(qEnvironmentVariable("KESTRUNE_BUILD_DIR") + "/tools/kestrune-element",
                QStringList{"--address", "192.0.2.12"} + args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()),
                 "kestrune-element: " + message + "\n");
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
    }

    void wrongNameAfterConfiguration() {
        QVERIFY2(m_rig->startEmulator(2, {"--wrong-name", "impostor", "--quiet"}),
                 qPrintable(m_rig->lastError()));
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        const QByteArray config = QByteArray::fromHex("c000020cffffff00000000000000000000000000") +
                                  QByteArray("STUDIO 3        ") + QByteArray(1, '\0');
        QCOMPARE(config.size(), 37);
        s.writeDatagram(config, QHostAddress("192.0.2.12"), 2976);
        const QList<QNetworkDatagram> got = receive(s, 1);
        m_rig->stopEmulator(2);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].data().mid(19, 16), QByteArray("impostor        "));
    }

    // A second rig, built and entered while the first one is in use: the station on two
    // networks pages each from its own address and hears only that network's element.
    void stationOnTwoNetworks() {
        NetnsRig two;
        QVERIFY2(two.create({"192.0.2.1/24"}, {"198.51.100.1/24"}), qPrintable(two.lastError()));
        QVERIFY(!two.addElement("192.0.2.10", "02:00:00:00:00:10").isEmpty());
        QVERIFY(!two.addElement("198.51.100.10", "02:00:00:00:01:10").isEmpty());
        QVERIFY2(two.startEmulator(0, {"--quiet"}), qPrintable(two.lastError()));
        QVERIFY2(two.startEmulator(1, {"--quiet"}), qPrintable(two.lastError()));
        QVERIFY2(two.enterStation(), qPrintable(two.lastError()));
        for (const QString& local : {QStringLiteral("192.0.2.1"), QStringLiteral("198.51.100.1")}) {
            QUdpSocket s;
            QVERIFY2(s.bind(QHostAddress(local), 2976), qPrintable(s.errorString()));
            s.writeDatagram(kPaging, QHostAddress::Broadcast, 1901);
            const QList<QNetworkDatagram> got = receive(s, 1);
            QTest::qWait(200);
            QCOMPARE(got.size(), 1);
            QVERIFY(!s.hasPendingDatagrams());
            const QString element = local.left(local.lastIndexOf('.')) + ".10";
            QCOMPARE(got[0].senderAddress(), QHostAddress(element));
        }
        QVERIFY(two.leaveStation());
        // Back in the first rig's station.
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        s.writeDatagram("VOL", kEncoder, 2977);
        QCOMPARE(receive(s, 1).size(), 1);
    }

    // A run killed midway (as by a time-out) leaves nothing: its emulators die with it, and
    // the next rig deletes its namespaces. The killed run is this program, with its rig.
    void killedRunLeavesNothing() {
        if (qEnvironmentVariableIsSet("KN_KILLED_RUN")) {
            std::puts("rig ready");
            std::fflush(stdout);
            QTest::qWait(120000);
            return;
        }
        QProcess run;
        qputenv("KN_KILLED_RUN", "1");
        run.start(QCoreApplication::applicationFilePath(), {"killedRunLeavesNothing"});
        qunsetenv("KN_KILLED_RUN");
        QVERIFY(QTest::qWaitFor([&] { return run.readAllStandardOutput().contains("rig ready"); },
                                60000));
        const QStringList ours = {QStringLiteral("kn%1-*").arg(run.processId())};
        const auto flags = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
        QStringList emulators;
        for (const QString& ns : QDir("/run/netns").entryList(ours, flags)) {
            QProcess ip;
            ip.start("ip", {"netns", "pids", ns});
            ip.waitForFinished();
            emulators
                << QString::fromLatin1(ip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        }
        emulators.removeAll(QString::number(run.processId())); // it entered its station
        QCOMPARE(emulators.size(), 2);
        run.kill();
        QVERIFY(run.waitForFinished());
        for (const QString& pid : emulators)
            QTRY_VERIFY(!QFile::exists("/proc/" + pid));
        NetnsRig next;
        QVERIFY2(next.create(), qPrintable(next.lastError()));
        QCOMPARE(QDir("/run/netns").entryList(ours, flags), QStringList());
    }

    void attenuationIsReportedInTheNextFeedback() {
        QUdpSocket s;
        QVERIFY(s.bind(kStation, 2976));
        s.writeDatagram(QByteArray::fromHex("2a00"), kDecoder, 2977);
        QTRY_COMPARE(m_rig->emulatorLog(1).value(m_rig->emulatorLog(1).size() - 1),
                     QStringLiteral("2977 2a00"));
        s.writeDatagram(kPaging, QHostAddress::Broadcast, 1901);
        const QList<QNetworkDatagram> got = receive(s, 2);
        QCOMPARE(got.size(), 2);
        for (const QNetworkDatagram& d : got)
            if (d.senderAddress() == kDecoder)
                QCOMPARE(uint8_t(d.data().at(40)), uint8_t(0x2a));
    }
};

QTEST_GUILESS_MAIN(tst_net_emulator)
#include "tst_net_emulator.moc"
