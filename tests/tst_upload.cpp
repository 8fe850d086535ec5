// An upload as a transaction, on real sockets on loopback: only the element the configuration
// went to answers it, an answer to an earlier send is told apart, the answer is stored for the
// element that answered, and the wait ends.
#include "support/stationfixture.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

using namespace testsupport;

namespace {

const QString kStation = QStringLiteral("127.0.12.1");
const QString kElement = QStringLiteral("127.0.12.2");
const QString kOther = QStringLiteral("127.0.12.6");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:0B");
const QString kEncoderMac = QStringLiteral("02:00:00:00:00:0A");
const QByteArray kEncoder = "[02000000000A]\r\nNAME=STUDIO 1\r\nIP=127.0.12.3\r\nROLE=1\r\n"
                            "SN=1001\r\n";
const QByteArray kDecoder =
    "[02000000000B]\r\nNAME=TX SITE         \r\nIP=127.0.12.2\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.12.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n";
const QString kQuestion = "This configuration will be sent to selected Network Element and\rwill "
                          "also be saved to local database in your computer. \rAre you sure?";
const QString kTimedOut =
    "Waiting for a response from Network Element has timed out!\rCannot save.";
const QString kSaved = "New configuration has been sucessfuly saved and loaded!";
const QString kNoSerial =
    "An error occured while retrieving 'Serial Number':\rFeedback is corrupted.";
const QString kDiscovery = "Performing an 'Auto Discovery' will delete the local database in your "
                           "computer and create a new one, based on the Network Elements found "
                           "(if any). \rAre you sure?";
const QString kEmpty =
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.";

// The decoder's 54-byte answer with this name and serial number: 127.0.12.2/24, gateway .254,
// group 239.1.2.3, type MPX, attenuation 220, version 2.9.
QByteArray answer(const QByteArray& name, const char* serial = "000007D2") {
    return QByteArray::fromHex("7F000C02FFFFFF007F000CFEEF010203000100") +
           name.leftJustified(16, ' ') + char(2) + QByteArray::fromHex(serial) +
           QByteArray::fromHex("DC0209010400252B0000000000");
}

// A started station with an encoder and the decoder selected, the decoder played by a socket on
// its address and another host beside it.
struct Uploading : StationFixture {
    QUdpSocket element, other;

    explicit Uploading(int lateAnswerMs = 3000, const QByteArray& decoder = kDecoder)
        : StationFixture(kStation, {300, 10, 300, lateAnswerMs}) {
        writeIni(kEncoder + decoder);
        neighbours.add(hostOrder(kElement), macBytes(kDecoderMac));
        neighbours.add(hostOrder(kOther), macBytes(kEncoderMac));
        QVERIFY(start() && selectNode(kDecoderMac));
        QVERIFY(element.bind(QHostAddress(kElement), 2976) && other.bind(QHostAddress(kOther), 0));
    }
    // Saves with this name; true when the configuration reached the element.
    bool save(const QString& name) {
        c().txtElementName->setText(name);
        boxes.enqueue(platform::MsgAnswer::Yes);
        station().SaveChanges();
        return element.waitForReadyRead(2000) && element.receiveDatagram().data().size() == 41;
    }
    void fromElement(const QByteArray& datagram) {
        element.writeDatagram(datagram, QHostAddress(kStation), 2976);
    }
    // The decoder's name as nms.ini holds it.
    QByteArray storedName() {
        const QByteArray ini = readIni();
        return ini.mid(ini.indexOf("[02000000000B]\r\nNAME=") + 21, 16);
    }
};

} // namespace

class TestUpload : public QObject {
    Q_OBJECT
private slots:
    // Another host's answer, then the element's own answer without a serial number (its box
    // held open), then the element's real answer behind that box: only the last one counts.
    void onlyItsElementAnswers() {
        Uploading f;
        QVERIFY(f.save("NEW NAME"));
        f.other.writeDatagram(answer("NEW NAME"), QHostAddress(kStation), 2976);
        QTest::qWait(30);
        f.boxes.onShow([&](const platform::MessageBoxRequest& r) {
            if (r.text == kNoSerial)
                f.fromElement(answer("NEW NAME"));
        });
        f.boxes.stayOpen(kNoSerial, 200);
        f.fromElement(answer("NEW NAME", "00000000"));
        QTRY_COMPARE(f.boxes.texts(), (QStringList{kQuestion, kNoSerial, kSaved}));
        QTest::qWait(400); // past the response time-out: it was stopped by the answer
        QCOMPARE(f.boxes.count(), 3);
        QCOMPARE(f.storedName(), QByteArray("NEW NAME        "));
        QVERIFY(!f.neighbours.asked.contains(hostOrder(kOther))); // no MAC was looked for it
    }

    // Saved, timed out, renamed and saved again; then the answer to the first send arrives, and
    // the current one while another element is selected: the current one is stored for the
    // element that answered, and the editor keeps the element it shows.
    void lateAnswerToAnEarlierSend() {
        Uploading f;
        QVERIFY(f.save("FIRST"));
        QTRY_VERIFY(f.boxes.texts().contains(kTimedOut));
        QVERIFY(f.save("SECOND"));
        QVERIFY(f.selectNode(kEncoderMac));
        f.fromElement(answer("FIRST"));
        f.fromElement(answer("SECOND"));
        QTRY_COMPARE(f.boxes.texts(), (QStringList{kQuestion, kTimedOut, kQuestion, kSaved}));
        QCOMPARE(f.storedName(), QByteArray("SECOND          "));
        QCOMPARE(f.c().lblElementMAC->text(), kEncoderMac);
        QCOMPARE(f.c().lblVersion->text(), QStringLiteral("2.00")); // the encoder's, as stored
    }

    // An address written by hand with a blank in it is still the element's: the configuration
    // goes to it.
    void storedAddressWithBlanks() {
        Uploading f(3000, QByteArray(kDecoder).replace("IP=127.0.12.2", "IP=127.0.12. 2"));
        QVERIFY(f.save("NEW NAME"));
    }

    void waitEnds_data() {
        QTest::addColumn<int>("lateAnswerMs");
        QTest::addColumn<QString>("meanwhile"); // "answered", "time", or "discovery"
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("an answer was handled")
            << 3000 << "answered" << QStringList{kQuestion, kSaved};
        QTest::newRow("a while after the time-out")
            << 100 << "time" << QStringList{kQuestion, kTimedOut};
        QTest::newRow("a discovery")
            << 3000 << "discovery" << QStringList{kQuestion, kDiscovery, kEmpty};
    }
    // After the wait ended, the element's answer is an unasked feedback: no box, no MAC lookup.
    void waitEnds() {
        QFETCH(int, lateAnswerMs);
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, boxes);
        Uploading f(lateAnswerMs);
        QVERIFY(f.save("NEW NAME"));
        if (meanwhile == "answered") {
            f.fromElement(answer("NEW NAME"));
            QTRY_COMPARE(f.boxes.count(), 2);
        } else if (meanwhile == "time") {
            QTRY_COMPARE(f.boxes.count(), 2);
            QTest::qWait(300);
        } else {
            f.boxes.enqueue(platform::MsgAnswer::Yes);
            f.station().AutoDiscover();
        }
        const int lookups = f.neighbours.lookups;
        f.fromElement(answer("NEW NAME"));
        QTest::qWait(400);
        QCOMPARE(f.boxes.texts(), boxes);
        QCOMPARE(f.neighbours.lookups, lookups);
    }
};

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
