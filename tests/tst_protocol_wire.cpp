// The datagrams of the station as bytes: requests, attenuation, configuration, feedback
// decoding, checks and discovery record, the audio level reply.
#include "db/elementstore.h"
#include "diag/levelreply.h"
#include "protocol/wire.h"

#include <QtTest>

namespace {

// What discovery stores for the feedback: "key=value" in writing order, keys in lower case.
QStringList stored(const protocol::Feedback& f) {
    QTemporaryDir dir;
    const db::ElementStore store(dir.filePath("nms.ini"));
    const db::Element e = protocol::reportedElement(f);
    store.save("S", e, db::discoveryFields(e));
    QFile file(store.path());
    file.open(QIODevice::ReadOnly);
    QStringList out;
    for (const QByteArray& line : file.readAll().split('\n').mid(1))
        if (line.contains('='))
            out << QString::fromLatin1(line.trimmed()).section('=', 0, 0).toLower() + "=" +
                       QString::fromLatin1(line.chopped(1)).section('=', 1);
    return out;
}

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// A feedback cut to `length`: 192.168.1.50/24, gateway .1, remote 239.255.255.239, input 1,
// type 0, tx 1, name Studio 1, serial 74565; tail byte k is 0x50 + (k - 40).
QByteArray Feedback(int role, int length, int offset = 0, const char* patch = "") {
    QByteArray d = Hex("C0A80132 FFFFFF00 C0A80101 EFFFFFEF 010001") + "Studio 1        ";
    d += char(role) + Hex("00012345 505152535455565758595A5B5C5D");
    return d.replace(offset, Hex(patch).size(), Hex(patch)).left(length);
}

} // namespace

class TestProtocolWire : public QObject {
    Q_OBJECT
private slots:
    void requests() {
        QCOMPARE(protocol::pagingRequest(), QByteArray("IPMPXSTL TALVOREN PAGING REQUEST"));
        QCOMPARE(diag::levelRequest(), QByteArray("VOL"));
        QCOMPARE(protocol::buildAttenuation(12), Hex("0C00"));
        QCOMPARE(protocol::buildAttenuation(255), Hex("FF00"));
        QCOMPARE(diag::silentLevel().caption, QString("-oodBFS"));
    }

    void configuration() {
        // Every field distinct, so that a byte in the wrong place shows; numbers go out as
        // their low 8 bits.
        db::Element f;
        f.ip = QString("192.168.1.91");
        f.mask = QString("255.255.255.0");
        f.gw = QString("192.168.001.001");
        f.multi = f.remote = QString("239.255.255.239");
        f.input = 1;
        f.type = 0x102;
        f.tx = 3;
        f.sfn = 1;
        f.name = "Studio 1";
        f.buffer = 12;
        f.silenceMode = 4;
        f.silenceLevel = 37;
        f.silenceTime = 43;
        f.lowLatency = 1;
        const QByteArray head = Hex("C0A8015B FFFFFF00 C0A80101 EFFFFFEF 010203");
        QCOMPARE(protocol::buildConfiguration(f, true),
                 head + "\x01STUDIO 1        " + Hex("0C04252B01"));
        QCOMPARE(protocol::buildConfiguration(f, false), head + "\x01STUDIO 1        \x01");
        f.name = QString::fromUtf8("caf\xc3\xa9 de la gare du nord");
        f.sfn = 0;
        f.lowLatency = 0;
        QCOMPARE(protocol::buildConfiguration(f, false),
                 head + QByteArray(1, 0) + "CAF\xC9 DE LA GARE " + QByteArray(1, 0));
        for (db::AddressText* address : {&f.ip, &f.mask, &f.gw, &f.multi}) {
            const db::AddressText valid = std::exchange(*address, QString("10.0.0.256"));
            QVERIFY(protocol::buildConfiguration(f, true).isEmpty());
            *address = valid;
        }
    }

    void feedback_data() {
        QTest::addColumn<QByteArray>("datagram");
        // The record after name to type, which every record shares; or the check that fails.
        QTest::addColumn<QString>("expected");
        auto row = [n = 0](const QByteArray& d, const QString& expected) mutable {
            QTest::addRow("%d: %s", ++n, qPrintable(expected.left(40))) << d << expected;
        };
        const QString encoder = "tx=1|multi=239.255.255.239|role=1|sn=74565|ver=";
        const QString decoder = "tx=1|multi=239.255.255.239|role=2|sn=74565|ver=";
        row(Feedback(1, 40), encoder + "2.0|sfn=0|buf=0|llo=0");
        row(Feedback(1, 41), encoder + "2.0|sfn=0|buf=0|llo=0");
        row(Feedback(1, 44), encoder + "80.81|sfn=82|buf=83|llo=0");
        row(Feedback(1, 45, 18, "00"),
            "tx=0|remote=239.255.255.239|role=1|sn=74565|ver=80.81|sfn=82|buf=83|llo=84");
        row(Feedback(0, 40, 36, "00000001"),
            "tx=1|multi=239.255.255.239|role=0|sn=1|ver=2.0|sfn=0|buf=0|llo=0");
        row(Feedback(2, 40), decoder + "2.0|sfn=0|buf=1|att=255|sdm=0|sdl=37|sdt=43|llo=0");
        row(Feedback(2, 41), decoder + "2.0|sfn=0|buf=1|att=80|sdm=0|sdl=37|sdt=43|llo=0");
        row(Feedback(2, 45), decoder + "81.82|sfn=83|buf=84|att=80|sdm=0|sdl=37|sdt=43|llo=0");
        row(Feedback(2, 53), decoder + "81.82|sfn=83|buf=84|att=80|sdm=85|sdl=86|sdt=87|llo=0");
        row(Feedback(2, 54, 18, "00"), "tx=0|multi=239.255.255.239|role=2|sn=74565|ver=81.82|sfn="
                                       "83|buf=84|att=80|sdm=85|sdl=86|sdt=87|llo=93");
        row(Feedback(1, 45, 16, "02"), "Audio Input");
        row(Feedback(1, 45, 17, "02"), "Audio Type");
        row(Feedback(1, 45, 18, "FF"), "TX Type");
        row(Feedback(1, 45, 35, "03"), "Element Type");
        row(Feedback(1, 45, 36, "00000000"), "Serial Number");
        row(Feedback(1, 45, 36, "80000001"), "Serial Number");
        row(Feedback(1, 45, 16, "0505"), "Audio Input"); // the first failure wins
    }
    void feedback() {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        QVERIFY(!protocol::decodeFeedback(datagram.left(39)));
        const protocol::Feedback f = *protocol::decodeFeedback(datagram);
        QCOMPARE(protocol::checkFeedback(f).value_or(stored(f).join('|')),
                 expected.contains('=')
                     ? "name=STUDIO 1        |ip=192.168.1.50|mask=255.255.255.0|"
                       "gw=192.168.1.1|input=1|type=0|" +
                           expected
                     : "An error occured while retrieving '" + expected +
                           "':\rFeedback is corrupted.");
    }

    void nameBytes() {
        // Control bytes would break the stored record: they become blanks.
        const auto f =
            protocol::decodeFeedback(Feedback(1, 45, 19, "41E9017F1F2042434445464748495051"));
        QCOMPARE(f->name, QString::fromUtf8("A\xc3\xa9    BCDEFGHIPQ"));
    }

    void level_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("reading"); // peak, width in twips, caption
        // `length` bytes of negative samples with one sample put at index k.
        const auto reply = [](int length, int k = 0, const char* sample = "FFFFFF") {
            return QByteArray(length, char(0xFF)).replace(3 * k, 3, Hex(sample));
        };
        QTest::newRow("half scale") << reply(1201, 10, "400000") << "4194304 1050 -6dBFS";
        QTest::newRow("full scale") << reply(1201, 399, "7FFFFF") << "8388607 2100 0dBFS";
        QTest::newRow("silence") << QByteArray(1201, '\0') << "0 0 -oodBFS";
        // 0x2A0000 / 2^23 = 0.328125: -9.679 dB, 689.06 twips.
        QTest::newRow("one decimal") << reply(1201, 5, "2A0000") << "2752512 689 -9.7dBFS";
        // 262.5 twips: the tie goes to the even 262.
        QTest::newRow("width tie") << reply(1201, 7, "100000") << "1048576 262 -18.1dBFS";
        QTest::newRow("largest wins")
            << reply(1201, 1, "100000").replace(30, 3, Hex("300000")) << "3145728 788 -8.5dBFS";
        // A sample counts only when a byte follows it.
        QTest::newRow("1203: tail unused") << reply(1203, 400, "400000") << "0 0 -oodBFS";
        QTest::newRow("3 bytes") << QByteArray(3, 0x40) << "0 0 -oodBFS";
        QTest::newRow("4 bytes") << QByteArray(4, 0x40) << "4210752 1054 -6dBFS";
    }
    void level() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, reading);
        for (QChar separator : {'.', ','}) {
            const diag::LevelReading r = diag::parseLevelReply(reply, separator);
            QCOMPARE(QString("%1 %2 %3").arg(r.peak).arg(r.widthTwips).arg(r.caption),
                     QString(reading).replace('.', separator));
        }
    }
};

QTEST_GUILESS_MAIN(TestProtocolWire)
#include "tst_protocol_wire.moc"
