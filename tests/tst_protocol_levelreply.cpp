// The audio level reply: which samples count, bar width and dBFS caption.
#include "protocol/levelreply.h"

#include <QtTest>

namespace {

// A reply of `length` bytes of negative filler with one sample placed at sample index k.
QByteArray Reply(int length, int k = -1, const QByteArray& sample = QByteArray()) {
    QByteArray d(length, char(0xFF));
    if (k >= 0)
        d.replace(3 * k, 3, sample);
    return d;
}

} // namespace

class TestProtocolLevelReply : public QObject {
    Q_OBJECT
private slots:
    void reading_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        const auto h = [](const char* x) { return QByteArray::fromHex(x); };
        QTest::newRow("half scale") << Reply(1201, 10, h("400000")) << 4194304 << 1050 << "-6dBFS";
        QTest::newRow("quarter") << Reply(1201, 0, h("200000")) << 2097152 << 525 << "-12dBFS";
        QTest::newRow("full scale") << Reply(1201, 399, h("7FFFFF")) << 8388607 << 2100 << "0dBFS";
        QTest::newRow("only negative") << Reply(1201) << 0 << 0 << "-oodBFS";
        QTest::newRow("silence") << QByteArray(1201, '\0') << 0 << 0 << "-oodBFS";
        // 0x2A0000 / 2^23 = 0.328125: -9.679 dB, 689.06 twips
        QTest::newRow("one decimal") << Reply(1201, 5, h("2A0000")) << 2752512 << 689 << "-9.7dBFS";
        QTest::newRow("smallest") << Reply(1201, 5, h("000001")) << 1 << 0 << "-138.5dBFS";
        // Sample 400 of a 1204-byte reply needs 3*400+3 <= 1203: it is examined.
        QTest::newRow("1204 last sample")
            << Reply(1204, 400, h("400000")) << 4194304 << 1050 << "-6dBFS";
        // In a 1203-byte reply, bytes 1200..1202 are not examined (1203 > 1202).
        QTest::newRow("1203 tail unused") << Reply(1203, 400, h("400000")) << 0 << 0 << "-oodBFS";
        // 262.5 twips: the tie goes to the even 262.
        QTest::newRow("width tie") << Reply(1201, 7, h("100000")) << 1048576 << 262 << "-18.1dBFS";
        QTest::newRow("largest wins") << Reply(1201, 1, h("100000")).replace(30, 3, h("300000"))
                                      << 3145728 << 788 << "-8.5dBFS";
    }
    void reading() {
        QFETCH(QByteArray, reply);
        QFETCH(int, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        const protocol::LevelReading r = protocol::ParseLevelReply(reply, QLatin1Char('.'));
        QCOMPARE(r.peak, peak);
        QCOMPARE(r.widthTwips, width);
        QCOMPARE(r.caption, caption);
    }

    void decimalSeparator() {
        const QByteArray reply = Reply(1201, 3, QByteArray::fromHex("2A0000"));
        QCOMPARE(protocol::ParseLevelReply(reply, QLatin1Char(',')).caption, QString("-9,7dBFS"));
        QCOMPARE(protocol::ParseLevelReply(Reply(1201, 3, QByteArray::fromHex("400000")),
                                           QLatin1Char(','))
                     .caption,
                 QString("-6dBFS"));
    }

    void shortRepliesAreSafe() {
        // A sample counts only when a byte follows it.
        const QList<QPair<int, int>> cases = {{0, 0}, {1, 0}, {3, 0}, {4, 0x7F7F7F}, {7, 0x7F7F7F}};
        for (const auto& [len, peak] : cases) {
            const protocol::LevelReading r =
                protocol::ParseLevelReply(QByteArray(len, char(0x7F)), QLatin1Char('.'));
            QCOMPARE(r.peak, peak);
        }
    }

    void silentLevel() {
        const protocol::LevelReading r = protocol::SilentLevel();
        QCOMPARE(r.widthTwips, 0);
        QCOMPARE(r.caption, QString("-oodBFS"));
    }
};

QTEST_GUILESS_MAIN(TestProtocolLevelReply)
#include "tst_protocol_levelreply.moc"
