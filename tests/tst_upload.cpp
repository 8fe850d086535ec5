// An upload as a transaction, on real sockets on loopback: only the element the configuration
// went to answers it, an answer to an earlier send is told apart, the answer is stored for the
// element that answered, and the wait ends.
#include "support/stationfixture.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;
using namespace testsupport::loopback;

namespace {

const QString kNoSerial =
    "An error occured while retrieving 'Serial Number':\rFeedback is corrupted.";

// The decoder selected; another host beside it whose MAC is the encoder's.
struct Uploading : Loopback {
    explicit Uploading(int lateAnswerMs = 3000)
        : Loopback(kEncoder + kDecoder, {300, 10, 300, lateAnswerMs}) {
        arp(kElement, kDecoderMac);
        arp("127.0.10.6", kEncoderMac);
        QVERIFY(selectNode(kDecoderMac));
    }
    bool stored(const QByteArray& name) {
        return readIni().contains("[02000000000B]\r\nNAME=" + name.leftJustified(16) + "\r\n");
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
        QCOMPARE(f.save("NEW NAME").size(), 41);
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress("127.0.10.6")));
        other.writeDatagram(feedback("NEW NAME"), QHostAddress(kStation), 2976);
        QTest::qWait(30);
        f.boxes.onShow = [&](auto& r) {
            if (r.text == kNoSerial) {
                f.send(feedback("NEW NAME"));
                QTest::qWait(200); // the box stays open meanwhile
            }
        };
        f.send(feedback("NEW NAME").replace(36, 4, QByteArray(4, 0)));
        QTRY_COMPARE(f.boxes.texts(), (QStringList{kQuestion, kNoSerial, kSaved}));
        QTest::qWait(400); // past the response time-out: it was stopped by the answer
        QCOMPARE(f.boxes.shown.size(), 3);
        QVERIFY(f.stored("NEW NAME"));
        QCOMPARE(f.neighbours.lookups, 1); // for the real answer alone
    }

    // Saved, timed out, renamed and saved again; then the answer to the first send arrives, and
    // the current one while another element is selected: the current one is stored for the
    // element that answered, and the editor keeps the element it shows.
    void lateAnswerToAnEarlierSend() {
        Uploading f;
        QCOMPARE(f.save("FIRST").size(), 41);
        QTRY_VERIFY(f.boxes.texts().contains(kTimedOut));
        QCOMPARE(f.save("SECOND").size(), 41);
        QVERIFY(f.selectNode(kEncoderMac));
        f.send(feedback("FIRST"));
        f.send(feedback("SECOND"));
        QTRY_COMPARE(f.boxes.texts(), (QStringList{kQuestion, kTimedOut, kQuestion, kSaved}));
        QVERIFY(f.stored("SECOND"));
        QCOMPARE(f.find<QLabel>("lblElementMAC")->text(), kEncoderMac);
        QCOMPARE(f.find<QLabel>("lblVersion")->text(), "2.00"); // the encoder's, as stored
    }

    void waitEnds_data() {
        QTest::addColumn<int>("lateAnswerMs");
        QTest::addColumn<bool>("discovery"); // a discovery began
        QTest::addColumn<bool>("answered");  // the answer came and was handled
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("after the answer")
            << 3000 << false << true << QStringList{kQuestion, kSaved};
        QTest::newRow("a while after the time-out")
            << 100 << false << false << QStringList{kQuestion, kTimedOut};
        QTest::newRow("a discovery")
            << 3000 << true << false << QStringList{kQuestion, kDiscoveryQuestion, kEmpty};
    }
    // After the wait ended, the element's answer is an unasked feedback: no box, no MAC lookup.
    void waitEnds() {
        QFETCH(int, lateAnswerMs);
        QFETCH(bool, discovery);
        QFETCH(bool, answered);
        QFETCH(QStringList, boxes);
        Uploading f(lateAnswerMs);
        QCOMPARE(f.save("NEW NAME").size(), 41);
        if (answered) {
            f.send(feedback("NEW NAME"));
            QTRY_COMPARE(f.boxes.shown.size(), 2);
        } else if (discovery) {
            f.boxes.enqueue(platform::MsgAnswer::Yes);
            f.station().AutoDiscover();
        } else {
            QTRY_COMPARE(f.boxes.shown.size(), 2);
            QTest::qWait(300);
        }
        f.send(feedback("NEW NAME"));
        QTest::qWait(400);
        QCOMPARE(f.boxes.texts(), boxes);
        QCOMPARE(f.neighbours.lookups, answered ? 1 : 0);
    }
};

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
