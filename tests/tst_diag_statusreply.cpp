// The port-2978 status reply: field decoding, delay texts, the statistics and SFN parsers.
#include "diag/statusreply.h"

#include <QtTest>
#include <limits>

using diag::LabelUpdate;

namespace {

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

// A reply of `length` zero bytes with 32-bit big-endian fields put at their offsets.
QByteArray Reply(const QList<QPair<int, qint32>>& fields, int length = 61) {
    QByteArray d(length, '\0');
    for (const auto& [offset, value] : fields) {
        const quint32 v = quint32(value);
        for (int i = 0; i < 4; ++i)
            if (offset + i < length)
                d[offset + i] = char((v >> (24 - 8 * i)) & 0xFF);
    }
    return d;
}

using Updates = QList<LabelUpdate>;

QString Dump(const Updates& u) {
    QStringList s;
    for (const LabelUpdate& x : u)
        s << x.label + "=" + x.text;
    return s.join(" | ");
}

#define COMPARE_UPDATES(actual, expected) QCOMPARE(Dump(actual), Dump(expected))

} // namespace

class TestDiagStatusReply : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Separators come from the caller, never from the process locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void formatDelay_data() {
        QTest::addColumn<qint32>("ns");
        QTest::addColumn<QString>("text");
        QTest::newRow("265") << 265 << "265 nS";
        QTest::newRow("395833") << 395833 << "395 uS, 833 nS";
        QTest::newRow("1 ms") << 1000000 << "1 mS, 0 uS, 0 nS";
        QTest::newRow("0") << 0 << "0 nS";
        QTest::newRow("-1500") << -1500 << "-1 uS, 500 nS";
        QTest::newRow("-265") << -265 << "-265 nS";
        QTest::newRow("999") << 999 << "999 nS";
        QTest::newRow("1000") << 1000 << "1 uS, 0 nS";
        QTest::newRow("25 us") << 25000 << "25 uS, 0 nS";
        QTest::newRow("2.5 ms") << 2500000 << "2 mS, 500 uS, 0 nS";
        QTest::newRow("1000001") << 1000001 << "1 mS, 0 uS, 1 nS";
        QTest::newRow("max") << kMax << "2147 mS, 483 uS, 647 nS";
        QTest::newRow("min") << kMin << "-2147 mS, 483 uS, 648 nS";
    }
    void formatDelay() {
        QFETCH(qint32, ns);
        QFETCH(QString, text);
        QCOMPARE(diag::FormatDelay(ns), text);
    }

    void getLong_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<qint32>("value");
        QTest::newRow("256") << QByteArray::fromHex("00000100") << 256;
        QTest::newRow("-1") << QByteArray::fromHex("FFFFFFFF") << -1;
        QTest::newRow("min") << QByteArray::fromHex("80000000") << kMin;
        QTest::newRow("max") << QByteArray::fromHex("7FFFFFFF") << kMax;
        QTest::newRow("high bytes") << QByteArray::fromHex("0080FF01") << 0x0080FF01;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("3 bytes") << QByteArray::fromHex("FFFFFF") << 0;
        QTest::newRow("5 bytes") << QByteArray::fromHex("0000000101") << 0;
    }
    void getLong() {
        QFETCH(QByteArray, field);
        QFETCH(qint32, value);
        QCOMPARE(diag::GetLongFromReply(field), value);
    }

    void fieldAt() {
        const QByteArray r = Reply({{36, 77}}, 40);
        QCOMPARE(diag::FieldAt(r, 36), 77);
        QCOMPARE(diag::FieldAt(r, 38), 0); // partly beyond the end
        QCOMPARE(diag::FieldAt(r, 52), 0); // wholly beyond
        QCOMPARE(diag::FieldAt(r, -1), 0);
    }

    void formatRatio() {
        QCOMPARE(diag::FormatRatio(33.3333333, QLatin1Char('.')), QString("33.33"));
        QCOMPARE(diag::FormatRatio(33.3333333, QLatin1Char(',')), QString("33,33"));
        QCOMPARE(diag::FormatRatio(0.0, QLatin1Char(',')), QString("0"));
        QCOMPARE(diag::FormatRatio(100.0, QLatin1Char('.')), QString("100"));
    }

    void statsExample() {
        const QByteArray r = Reply({{0, 10}, {4, 20}, {8, 0}});
        const diag::StatsParseResult p = diag::ParseStatsReply(r, "0", "DECODER", '.');
        QVERIFY(!p.error);
        QVERIFY(!p.dropped);
        COMPARE_UPDATES(p.updates, (Updates{{"lblMACTxOK", "10"},
                                            {"lblMACRxOK", "20"},
                                            {"lblMACTxErr", "0 (0%)"},
                                            {"lblMACRxErr", "0 (0%)"},
                                            {"lblAudioRxFramesOK", "-"},
                                            {"lblAudioRxFramesErr", "-"},
                                            {"lblAudioRxFramesOK", "0"},
                                            {"lblAudioRxFramesErr", "0 (0%)"}}));
    }

    void statsFullDecoder() {
        const QByteArray r = Reply({{0, 1000},
                                    {4, 2000},
                                    {8, 1},
                                    {12, 2},
                                    {16, 50},
                                    {20, 3},
                                    {24, -42},
                                    {28, 5000},
                                    {32, 31},
                                    {36, 1},
                                    {52, 25000}});
        const diag::StatsParseResult p = diag::ParseStatsReply(r, "1", "DECODER", ',');
        QVERIFY(!p.error);
        COMPARE_UPDATES(p.updates, (Updates{{"lblMACTxOK", "1000"},
                                            {"lblMACRxOK", "2000"},
                                            {"lblMACTxErr", "1 (0,1%)"},
                                            {"lblMACRxErr", "2 (0,1%)"},
                                            {"lblPTPRxOK", "50"},
                                            {"lblPTPRxErr", "3"},
                                            {"lblPTPClkAdj", "-42 nS"},
                                            {"lblPTPLatency", "30000 nS"},
                                            {"lblAudioRxFramesOK", "-"},
                                            {"lblAudioRxFramesErr", "-"},
                                            {"lblAudioRxFramesOK", "31"},
                                            {"lblAudioRxFramesErr", "1 (3,12%)"}}));
        QCOMPARE(p.values.additionalLatency, 25000);
        QCOMPARE(p.values.ptpSyncLatency, 30000);
        QCOMPARE(p.values.ptpSyncValue, -42);
        QCOMPARE(p.values.rxAudioFramesErrRatio, 3.12f);
        QCOMPARE(p.values.txFramesErrRatio, 0.1f);
    }

    void statsRatio_data() {
        QTest::addColumn<qint32>("ok");
        QTest::addColumn<qint32>("err");
        QTest::addColumn<QString>("point");
        QTest::addColumn<QString>("comma");
        QTest::newRow("199/1") << 199 << 1 << "1 (0.5%)"
                               << "1 (0,5%)";
        QTest::newRow("2/1") << 2 << 1 << "1 (33.33%)"
                             << "1 (33,33%)";
        QTest::newRow("zero") << 0 << 0 << "0 (0%)"
                              << "0 (0%)";
        QTest::newRow("all bad") << 0 << 7 << "7 (100%)"
                                 << "7 (100%)";
        QTest::newRow("tie to even 3.125") << 31 << 1 << "1 (3.12%)"
                                           << "1 (3,12%)";
        QTest::newRow("tie to even 0.625") << 159 << 1 << "1 (0.62%)"
                                           << "1 (0,62%)";
        QTest::newRow("2/3") << 1 << 2 << "2 (66.67%)"
                             << "2 (66,67%)";
        QTest::newRow("sum zero, negative") << -1 << 1 << "1 (0%)"
                                            << "1 (0%)";
        QTest::newRow("-1 counter") << 0 << -1 << "-1 (100%)"
                                    << "-1 (100%)";
    }
    void statsRatio() {
        QFETCH(qint32, ok);
        QFETCH(qint32, err);
        QFETCH(QString, point);
        QFETCH(QString, comma);
        const QByteArray r = Reply({{0, ok}, {8, err}, {4, ok}, {12, err}, {32, ok}, {36, err}});
        const QList<QPair<QChar, QString>> cases = {{QLatin1Char('.'), point},
                                                    {QLatin1Char(','), comma}};
        for (const auto& [sep, text] : cases) {
            const diag::StatsParseResult p = diag::ParseStatsReply(r, "0", "ENCODER", sep);
            QVERIFY(!p.error);
            QCOMPARE(p.updates.size(), 8);
            QCOMPARE(p.updates.at(2).text, text);
            QCOMPARE(p.updates.at(3).text, text);
            QCOMPARE(p.updates.at(7).text, text);
        }
    }

    void statsNegativeCounter() {
        const diag::StatsParseResult p =
            diag::ParseStatsReply(Reply({{0, -1}}), "0", "ENCODER", '.');
        QCOMPARE(p.updates.at(0), (LabelUpdate{"lblMACTxOK", "-1"}));
    }

    void statsShortReply() {
        // 40 bytes: offset 52 decodes as 0, the latency shows the raw measured delay.
        const QByteArray r = Reply({{28, 1234}, {36, 5}, {52, 99}}, 40);
        const diag::StatsParseResult p = diag::ParseStatsReply(r, "1", "DECODER", '.');
        QVERIFY(!p.error);
        QVERIFY(p.updates.contains(LabelUpdate{"lblPTPLatency", "1234 nS"}));
        QVERIFY(p.updates.contains(LabelUpdate{"lblAudioRxFramesErr", "5 (100%)"}));
        const diag::StatsParseResult e = diag::ParseStatsReply(QByteArray(), "1", "DECODER", '.');
        QVERIFY(!e.error);
        QCOMPARE(e.updates.size(), 12);
    }

    void statsSfnAndType_data() {
        QTest::addColumn<QString>("sfn");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("ptpLabels");
        QTest::newRow("sfn 0") << "0"
                               << "DECODER" << QStringList{};
        QTest::newRow("sfn 2") << "2"
                               << "DECODER" << QStringList{};
        QTest::newRow("encoder") << "1"
                                 << "ENCODER" << QStringList{"lblPTPRxOK", "lblPTPRxErr"};
        QTest::newRow("decoder") << " 1 "
                                 << "DECODER"
                                 << QStringList{"lblPTPRxOK", "lblPTPRxErr", "lblPTPClkAdj",
                                                "lblPTPLatency"};
    }
    void statsSfnAndType() {
        QFETCH(QString, sfn);
        QFETCH(QString, type);
        QFETCH(QStringList, ptpLabels);
        const diag::StatsParseResult p = diag::ParseStatsReply(Reply({}), sfn, type, '.');
        QVERIFY(!p.error);
        QStringList got;
        for (const LabelUpdate& u : p.updates)
            if (u.label.startsWith("lblPTP"))
                got << u.label;
        QCOMPARE(got, ptpLabels);
    }

    void statsErrors_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("sfn");
        QTest::addColumn<int>("updatesBefore");
        QTest::newRow("tx sum overflow") << Reply({{0, kMax}, {8, 1}}) << "1" << 2;
        QTest::newRow("tx sum underflow") << Reply({{0, kMin}, {8, -1}}) << "1" << 2;
        QTest::newRow("rx sum overflow") << Reply({{4, kMax}, {12, kMax}}) << "1" << 3;
        QTest::newRow("sfn not a number") << Reply({}) << "x1" << 4;
        QTest::newRow("sfn empty") << Reply({}) << "" << 4;
        QTest::newRow("latency overflow") << Reply({{28, kMax}, {52, 1}}) << "1" << 7;
        QTest::newRow("latency underflow") << Reply({{28, kMin}, {52, -1}}) << "1" << 7;
        QTest::newRow("audio sum overflow") << Reply({{32, kMax}, {36, kMax}}) << "0" << 7;
    }
    void statsErrors() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, sfn);
        QFETCH(int, updatesBefore);
        const diag::StatsParseResult p = diag::ParseStatsReply(reply, sfn, "DECODER", '.');
        QVERIFY(p.error);
        QCOMPARE(p.updates.size(), updatesBefore);
        QCOMPARE(
            diag::kStatsErrorText,
            QString("Error 5 while retrieving values. Please reset the device and try again."));
    }

    void delayNotSfnDecoder_data() {
        QTest::addColumn<QString>("sfn");
        QTest::addColumn<QString>("type");
        QTest::newRow("encoder") << "1"
                                 << "ENCODER";
        QTest::newRow("sfn 0") << "0"
                               << "DECODER";
        QTest::newRow("unknown") << "1"
                                 << "UNKNOWN";
    }
    void delayNotSfnDecoder() {
        QFETCH(QString, sfn);
        QFETCH(QString, type);
        const diag::DelayParseResult p =
            diag::ParseDelayReply(Reply({{40, 1}, {52, 5000}}), sfn, type);
        QVERIFY(p.stoppedEarly);
        QVERIFY(!p.error);
        COMPARE_UPDATES(p.updates, (Updates{{"lblFixedLatencyMAC", "265 nS"},
                                            {"lblFixedLatencyAUDIO", "395 uS, 833 nS"}}));
        QVERIFY(!p.scrollPosition);
        QVERIFY(!p.autoServoChecked);
    }

    void delaySfnNotNumber() {
        const diag::DelayParseResult p = diag::ParseDelayReply(Reply({}), "on", "DECODER");
        QVERIFY(p.error);
        QCOMPARE(p.updates.size(), 2);
        QCOMPARE(
            diag::kDelayErrorText,
            QString("Error 4 while retrieving values. Please reset the device and try again."));
    }

    void delayExample() {
        const QByteArray r = Reply({{40, 100000}, {44, 90000}, {48, 110000}, {52, 25000}});
        const diag::DelayParseResult p = diag::ParseDelayReply(r, "1", "DECODER");
        QVERIFY(!p.error);
        QVERIFY(!p.stoppedEarly);
        QCOMPARE(p.scrollPosition, std::optional<int>(250));
        QCOMPARE(p.autoServoChecked, std::optional<bool>(false));
        QCOMPARE(p.autoServoCaption, QString("Auto servo"));
        COMPARE_UPDATES(p.updates, (Updates{{"lblFixedLatencyMAC", "265 nS"},
                                            {"lblFixedLatencyAUDIO", "395 uS, 833 nS"},
                                            {"lblAdditionalDelay", "25 uS, 0 nS"},
                                            {"lblCurrentDelayAVG", "125 uS, 0 nS"},
                                            {"lblDelaySumAVG", "521 uS, 98 nS"},
                                            {"lblCurrentDelayMIN", "115 uS, 0 nS"},
                                            {"lblDelaySumMIN", "511 uS, 98 nS"},
                                            {"lblCurrentDelayMAX", "135 uS, 0 nS"},
                                            {"lblDelaySumMAX", "531 uS, 98 nS"}}));
        QCOMPARE(p.values.average, 125000);
        QCOMPARE(p.values.minimum, 115000);
        QCOMPARE(p.values.maximum, 135000);
        QCOMPARE(p.values.additionalDelayUnits, 250.0);
    }

    void delayServo_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("average");
        QTest::newRow("on") << 1 << true << "Auto servo (-120 nS)"
                            << "99 uS, 880 nS";
        QTest::newRow("off") << 0 << false << "Auto servo"
                             << "100 uS, 0 nS";
        QTest::newRow("other value is off") << 2 << false << "Auto servo"
                                            << "100 uS, 0 nS";
    }
    void delayServo() {
        QFETCH(int, flag);
        QFETCH(bool, checked);
        QFETCH(QString, caption);
        QFETCH(QString, average);
        QByteArray r = Reply({{40, 100000}, {56, -120}});
        r[60] = char(flag);
        const diag::DelayParseResult p = diag::ParseDelayReply(r, "1", "DECODER");
        QCOMPARE(p.autoServoChecked, std::optional<bool>(checked));
        QCOMPARE(p.autoServoCaption, caption);
        QCOMPARE(p.updates.at(3), (LabelUpdate{"lblCurrentDelayAVG", average}));
    }

    void delayScroll_data() {
        QTest::addColumn<qint32>("add");
        QTest::addColumn<int>("position");
        QTest::addColumn<double>("units");
        QTest::newRow("3 ms clamps") << 3000000 << 25000 << 25000.0;
        QTest::newRow("-500 clamps") << -500 << 0 << 0.0;
        QTest::newRow("tie down to even") << 25050 << 250 << 250.5;
        QTest::newRow("tie up to even") << 25150 << 252 << 251.5;
        QTest::newRow("just above tie") << 25051 << 251 << 250.51;
        QTest::newRow("max") << 2500000 << 25000 << 25000.0;
        QTest::newRow("int min") << kMin << 0 << 0.0;
    }
    void delayScroll() {
        QFETCH(qint32, add);
        QFETCH(int, position);
        QFETCH(double, units);
        const diag::DelayParseResult p = diag::ParseDelayReply(Reply({{52, add}}), "1", "DECODER");
        QVERIFY(!p.error);
        QCOMPARE(p.scrollPosition, std::optional<int>(position));
        QCOMPARE(p.values.additionalDelayUnits, units);
        QCOMPARE(p.updates.at(2),
                 (LabelUpdate{"lblAdditionalDelay", diag::FormatDelay(position * 100)}));
    }

    void delayErrors_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("updatesBefore");
        QTest::newRow("average overflow") << Reply({{40, kMax}, {52, 1}}) << 3;
        QTest::newRow("summary overflow") << Reply({{40, kMax - 396097}}) << 3;
        QTest::newRow("summary fits") << Reply({{40, kMax - 396098}}) << 9;
        QTest::newRow("servo underflow") << Reply({{40, kMin}, {56, -1}, {60, 0x01000000}}) << 3;
        QTest::newRow("minimum overflow") << Reply({{44, kMax}, {52, 100}}) << 5;
        QTest::newRow("maximum overflow") << Reply({{48, kMax}, {52, 100}}) << 7;
    }
    void delayErrors() {
        QFETCH(QByteArray, reply);
        QFETCH(int, updatesBefore);
        const diag::DelayParseResult p = diag::ParseDelayReply(reply, "1", "DECODER");
        QCOMPARE(p.error, updatesBefore != 9);
        QCOMPARE(p.updates.size(), updatesBefore);
        QVERIFY(p.scrollPosition);
    }

    void setDelay_data() {
        QTest::addColumn<qint32>("ns");
        QTest::addColumn<bool>("servo");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("250 off") << 25000 << false << QByteArray::fromHex("53000061A800");
        QTest::newRow("250 on") << 25000 << true << QByteArray::fromHex("53000061A801");
        QTest::newRow("25000 off") << 2500000 << false << QByteArray::fromHex("53002625A000");
        QTest::newRow("0 on") << 0 << true << QByteArray::fromHex("530000000001");
        QTest::newRow("-1") << -1 << false << QByteArray::fromHex("53FFFFFFFF00");
    }
    void setDelay() {
        QFETCH(qint32, ns);
        QFETCH(bool, servo);
        QFETCH(QByteArray, bytes);
        QCOMPARE(diag::BuildSetDelay(ns, servo).toHex(' '), bytes.toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TestDiagStatusReply)
#include "tst_diag_statusreply.moc"
