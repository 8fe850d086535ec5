// The datagrams of the station as bytes: attenuation, what a datagram is by its length, feedback
// decoding with its checks and the record discovery stores from it, the audio level reply.
#include "db/elementstore.h"
#include "diag/levelreply.h"
#include "protocol/wire.h"

#include <QtTest>

using namespace protocol;
using K = Datagram;

// A feedback cut to length: 192.168.1.50/24, gateway .1, remote 239.255.255.239, input 1,
// type 0, tx 1, name Studio 1, the role, serial 74565; tail byte k is 0x50 + (k - 40). The
// bytes from offset are replaced by those of the hexadecimal patch.
static QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

static QByteArray feedback(int role, int length, int offset = 0, const char* patch = "") {
    QByteArray d = hex("C0A80132 FFFFFF00 C0A80101 EFFFFFEF 010001") + "Studio 1        " +
                   char(role) + hex("00012345 505152535455565758595A5B5C5D");
    return d.replace(offset, strlen(patch) / 2, hex(patch)).left(length);
}

class TestProtocolWire : public QObject {
    Q_OBJECT
private slots:
    void requests() { QCOMPARE(buildAttenuation(12), hex("0C00")); }

    // What the receive handler does with a datagram by its length alone.
    void kind_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<Datagram>("kind");
        const auto row = [](int length, Datagram kind) {
            QTest::addRow("%d", length) << length << kind;
        };
        row(1201, K::LevelReply);
        row(1200, K::Ignored);
        row(55, K::Ignored);
        row(54, K::Feedback);
        row(40, K::Feedback); // the common block of a feedback, nothing more
        row(39, K::Ignored);  // too short for a feedback
    }
    void kind() {
        QFETCH(int, length);
        QFETCH(Datagram, kind);
        QCOMPARE(datagramKind(length), kind);
    }

    // A feedback as discovery stores it (the record from its TX line on), or the message of
    // the check that fails.
    void decoding_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("result");
        const QByteArray decoder = "TX=1\r\nMULTI=239.255.255.239\r\nROLE=2\r\nSN=74565\r\n";
        const auto row = [](const char* name, const QByteArray& datagram,
                            const QByteArray& result) {
            QTest::newRow(name) << datagram << result;
        };
        row("role 0, serial 1, 41", feedback(0, 41, 36, "00000001"),
            "TX=1\r\nMULTI=239.255.255.239\r\nROLE=0\r\nSN=1\r\nVER=2.0\r\nSFN=0\r\nBUF=0\r\nLLO="
            "0\r\n");
        row("encoder, 45, unicast", feedback(1, 45, 18, "00"),
            "TX=0\r\nREMOTE=239.255.255.239\r\nROLE=1\r\nSN=74565\r\nVER=80.81\r\nSFN=82\r\n"
            "BUF=83\r\nLLO=84\r\n");
        row("decoder, 40", feedback(2, 40),
            decoder +
                "VER=2.0\r\nSFN=0\r\nBUF=1\r\nATT=255\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n");
        row("decoder, 41", feedback(2, 41),
            decoder +
                "VER=2.0\r\nSFN=0\r\nBUF=1\r\nATT=80\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n");
        // A decoder's group is stored as multicast, whatever its TX type.
        row("decoder, 54, unicast", feedback(2, 54, 18, "00"),
            "TX=0\r\nMULTI=239.255.255.239\r\nROLE=2\r\nSN=74565\r\nVER=81.82\r\nSFN=83\r\n"
            "BUF=84\r\nATT=80\r\nSDM=85\r\nSDL=86\r\nSDT=87\r\nLLO=93\r\n");
        row("input 2", feedback(1, 45, 16, "02"), "Audio Input");
        row("type 2", feedback(1, 45, 17, "02"), "Audio Type");
        row("TX type 2", feedback(1, 45, 18, "02"), "TX Type");
        row("role 3", feedback(1, 45, 35, "03"), "Element Type");
        row("serial 0", feedback(1, 45, 36, "00000000"), "Serial Number");
    }
    void decoding() {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, result);
        QCOMPARE(decodeFeedback(datagram.left(39)), std::nullopt);
        const Feedback f = *decodeFeedback(datagram);
        if (const auto failed = checkFeedback(f)) {
            QCOMPARE(*failed,
                     "An error occured while retrieving '" + result + "':\rFeedback is corrupted.");
            return;
        }
        QTemporaryDir dir;
        const db::ElementStore store(dir.filePath("nms.ini"));
        const db::Element e = reportedElement(f);
        QVERIFY(store.save("S", e, db::discoveryFields(e)));
        QFile file(store.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[S]\r\nNAME=STUDIO 1        \r\nIP=192.168.1.50\r\n"
                                 "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nINPUT=1\r\nTYPE=0\r\n" +
                                     result);
    }

    // Control bytes would break the stored record: they become blanks.
    void nameBytes() {
        QCOMPARE(decodeFeedback(feedback(1, 45, 19, "41E9017F1F2042434445464748495051"))->name,
                 "Aé    BCDEFGHIPQ");
    }

    void level_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("peak");
        QTest::addColumn<int>("width"); // of the bar, in twips
        QTest::addColumn<QString>("caption");
        // length bytes of negative samples, the sample at index k replaced.
        const auto reply = [](int length, int k = 0, const char* sample = "FFFFFF") {
            return QByteArray(length, char(0xFF)).replace(3 * k, 3, hex(sample));
        };
        QTest::newRow("full scale") << reply(1201, 399, "7FFFFF") << 8388607 << 2100 << "0dBFS";
        // 262.5 twips: the tie goes to the even 262.
        QTest::newRow("width tie") << reply(1201, 7, "100000") << 1048576 << 262 << "-18.1dBFS";
        QTest::newRow("largest wins") << reply(1201, 1, "100000").replace(30, 3, hex("300000"))
                                      << 3145728 << 788 << "-8.5dBFS";
        // A sample counts only when a byte follows it.
        QTest::newRow("3 bytes") << QByteArray(3, 0x40) << 0 << 0 << "-oodBFS";
    }
    void level() {
        QFETCH(QByteArray, reply);
        QFETCH(int, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        for (QChar separator : {'.', ','}) {
            const diag::LevelReading r = diag::parseLevelReply(reply, separator);
            QCOMPARE(r.peak, peak);
            QCOMPARE(r.widthTwips, width);
            QCOMPARE(r.caption, QString(caption).replace('.', separator));
        }
    }
};

QTEST_GUILESS_MAIN(TestProtocolWire)
#include "tst_protocol_wire.moc"
