// The station in one process with a real UDP socket playing the element on loopback: what
// needs a box held open, a scripted address table or a hand-edited file.
#include "support/stationfixture.h"

#include "db/inistore.h"
#include "db/records.h"
#include "diag/vumeter.h"
#include "platform/udpendpoint.h"
#include "protocol/feedbackhandler.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <optional>

using namespace testsupport;

namespace {

const QString kStation = QStringLiteral("127.0.10.1");
const QString kElement = QStringLiteral("127.0.10.2");
const QString kEncoderMac = QStringLiteral("02:00:00:00:00:0A");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:0B");
const QString kSaved = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QByteArray kEncoder =
    "[02000000000A]\r\nNAME=STUDIO 1        \r\nIP=127.0.10.3\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.10.254\r\nINPUT=1\r\nTYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\nSN=1001\r\n";
const QByteArray kDecoder =
    "[02000000000B]\r\nNAME=TX SITE         \r\nIP=127.0.10.2\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
    "VER=2.8\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n";
// The decoder as stored from the answer below with the name "NEW NAME".
const QByteArray kStored = QByteArray(kDecoder)
                               .replace("TX SITE ", "NEW NAME")
                               .replace("2.8", "2.9")
                               .replace("BUF=3", "BUF=4")
                               .replace("T=200", "T=220");

QByteArray ip4(const QString& text) {
    return QByteArray::fromHex(
        QByteArray::number(QHostAddress(text).toIPv4Address(), 16).rightJustified(8, '0'));
}

// As the element answers: a decoder's 54 bytes (att 220, v2.9, PTP on, buffer 4, silence
// 0/37/43), an encoder's 45 (v2.9).
QByteArray feedback(int role, const QString& name, const QString& remote = "239.1.2.3", int tx = 0,
                    int input = 0) {
    return ip4(kElement) + ip4("255.255.255.0") + ip4("127.0.10.254") + ip4(remote) + char(input) +
           char(1) + char(tx) + name.leftJustified(16, ' ').toLatin1() + char(role) +
           QByteArray::fromHex(role == 2 ? "000007D2DC0209010400252B0000000000"
                                         : "000007D20209000000");
}

struct Started : StationFixture {
    explicit Started(const QByteArray& ini = kEncoder + kDecoder) : StationFixture(kStation) {
        writeIni(ini);
        QVERIFY(start());
    }
};

// The next datagram the element's socket receives.
QNetworkDatagram received(QUdpSocket& socket) {
    return QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }, 2000)
               ? socket.receiveDatagram()
               : QNetworkDatagram();
}

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void startUp_data() {
        QTest::addColumn<QStringList>("r"); // arguments, fault, title (none: ended), bar, box
        const QString e("Local database is empty.\rPlease click %1 to probe the network.");
        const QString plain(" - Talvoren Broadcast");
        QTest::newRow("none") << QStringList{"", "", plain, "22", ""};
        QTest::newRow("gps") << QStringList{"gPs", "", " [GPSDO version]" + plain, "23", ""};
        QTest::newRow("no database")
            << QStringList{"", "missing", plain, "22", e.arg("'Auto Discover' icon")};
        QTest::newRow("no sections")
            << QStringList{"", "empty", plain, "22", e.arg("the 'Auto Discover' icon")};
        QTest::newRow("address table")
            << QStringList{"", "table", "", "", "GetIpAddrTable failed with return value 122"};
        QTest::newRow("second instance") << QStringList{"", "instance", "", "",
                                                        "Talvoren Kestrune NMS is already running "
                                                        "(check the icon in system tray)!"};
    }
    void startUp() {
        QFETCH(QStringList, r);
        std::optional<StationFixture> first;
        if (r[1] == "instance")
            QVERIFY(first.emplace(QStringLiteral("127.0.10.9")).start());
        const QByteArray lock = qgetenv("KESTRUNE_LOCK_PATH");
        StationFixture f(kStation);
        if (first)
            qputenv("KESTRUNE_LOCK_PATH", lock);
        if (r[1] != "missing")
            f.writeIni(r[1] == "empty" ? "" : kEncoder + kDecoder);
        if (r[1] == "table")
            f.addresses.failWith(122);
        QCOMPARE(f.start(r[0].split(' ', Qt::SkipEmptyParts)), !r[2].isEmpty());
        QCOMPARE(f.boxes.texts(), r[4].isEmpty() ? QStringList() : QStringList{r[4]});
        QCOMPARE(f.station().hasEnded(), r[2].isEmpty());
        if (r[2].isEmpty())
            return;
        QCOMPARE(f.station().window().windowTitle(), "Kestrune NMS v.3.4.8" + r[2]);
        QCOMPARE(f.c().scrlBuffer->maximum(), r[3].toInt());
        // The ping button waits in light yellow.
        QCOMPARE(f.c().cmdPing->palette().color(QPalette::Button), QColor(255, 255, 192));
    }

    void elementList() {
        Started f(kEncoder + kDecoder +
                  "[badname]\r\nROLE=1\r\n[02000000000c]\r\nNAME=NO ROLE\r\n");
        const auto shown = [&] {
            QStringList t{f.c().frmTreeView->title()};
            for (int i = 0; i < f.c().cmbEncoders->count(); ++i)
                t << f.c().cmbEncoders->itemText(i);
            for (int i = 0; i < f.c().TreeView1->topLevelItemCount(); ++i)
                t << f.c().TreeView1->topLevelItem(i)->text(0);
            return t.join('|');
        };
        const QString expected("Select element: (3 items)|<None>|STUDIO 1 [02:00:00:00:00:0A]|"
                               "STUDIO 1 [02:00:00:00:00:0A]|TX SITE [02:00:00:00:00:0B]|NO "
                               "ROLE [02:00:00:00:00:0C]");
        QCOMPARE(shown(), expected);
        // The encoder's picture and the decoder's, one each for all nodes, not tinted when
        // selected.
        const auto picture = [&](int node, QIcon::Mode mode = QIcon::Normal) {
            return f.c().TreeView1->topLevelItem(node)->icon(0).pixmap(64, mode).toImage();
        };
        QCOMPARE(picture(0),
                 QImage(":/kestrune/icons/image6.png").convertToFormat(picture(0).format()));
        QCOMPARE(picture(1),
                 QImage(":/kestrune/icons/image7.png").convertToFormat(picture(1).format()));
        QCOMPARE(picture(1, QIcon::Selected), picture(1));
        QCOMPARE(f.c().TreeView1->topLevelItem(2)->icon(0).cacheKey(),
                 f.c().TreeView1->topLevelItem(1)->icon(0).cacheKey());
        f.station().RefreshList();
        QCOMPARE(shown(), expected); // nothing appended twice
        // A rebuild asked for from inside a rebuild's event step runs after it, on the new file.
        QTimer::singleShot(0, [&] {
            db::WriteToINI("02000000000D", "name", "LATE", f.iniPath());
            db::WriteToINI("02000000000D", "role", "2", f.iniPath());
            f.station().Load_Config();
        });
        f.station().Load_Config();
        QVERIFY(shown().startsWith("Select element: (4 items)|") &&
                shown().endsWith("|LATE [02:00:00:00:00:0D]"));
        // A record with too many keys is refused; hand-edited values load by their rules.
        QByteArray ini = kEncoder + "[02000000000F]\r\n";
        for (int i = 0; i < 22; ++i)
            ini += "K" + QByteArray::number(i) + "=1\r\n";
        const QByteArray odd =
            "[020000000010]\r\nNAME=ODD\r\nIP=127.0.10.5\r\nINPUT=x\r\nTYPE=7\r\n"
            "TX= 1 \r\nROLE=2\r\nATT=014\r\nBUF=x\r\nSDL=1e2\r\nSDT=\r\nSDM=5\r\n"
            "SFN=2\r\nLLO=01\r\nBOUND=99\r\n";
        f.writeIni(ini + odd);
        f.station().RefreshList();
        QVERIFY(f.selectNode(kEncoderMac));
        QVERIFY(f.selectNode("02:00:00:00:00:0F"));
        QCOMPARE(f.boxes.texts().last(),
                 QStringLiteral("Cannot load this element info.\rThe data stored in "
                                "your computer about this element, is corrupted (1)."));
        QVERIFY(f.selectNode("02:00:00:00:00:10"));
        auto& c = f.c();
        const QList<int> values{c.cmbAudioInput->currentIndex(), c.cmbAudioType->currentIndex(),
                                c.cmbAudioTX->currentIndex(),    c.scrlAtten->value(),
                                c.scrlBuffer->value(),           c.scrlSilDetLevel->value(),
                                c.scrlSilDetTime->value(),       c.cmbSilDetMode->currentIndex(),
                                c.cmbEncoders->currentIndex(),   c.chkSFNEnabled->isChecked(),
                                c.chkLowLatency->isChecked()};
        // Not a number: the key's default; outside a list: no selection; only exactly 1 checks.
        QCOMPARE(values, (QList<int>{-1, -1, 1, 14, 1, 37, 43, -1, -1, 0, 1}));
        QVERIFY(f.readIni().endsWith(odd)); // 14 is not below the bar: nothing rewritten
        // Closing the window from inside a rebuild's event step stops it.
        QTimer::singleShot(0, &f.station().window(), &QWidget::close);
        f.station().RefreshList();
        QCOMPARE(f.c().TreeView1->topLevelItemCount(), 0);
    }

    void upload_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QStringList>("typed"); // name, address
        QTest::addColumn<QByteArray>("answer"); // empty: refused before sending
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("stored");
        const QString differs("An error occured while saving '%1':\rFeedback is corrupted.");
        const QStringList typed{"new name", kElement};
        const QByteArray kept = "[02000000000B]\r\nNAME=TX SITE  ",
                         confirmed = feedback(2, "NEW NAME");
        QTest::newRow("decoder confirmed")
            << kDecoderMac << typed << confirmed << kSaved << kStored;
        QTest::newRow("encoder to one decoder")
            << kEncoderMac << typed << feedback(1, "new name", "192.168.1.91", 0, 1) << kSaved
            << QByteArray(
                   "TX=0\r\nMULTI=239.1.2.3\r\nROLE=1\r\nSN=2002\r\nREMOTE=192.168.1.91\r\n");
        QTest::newRow("remote differs")
            << kDecoderMac << typed << feedback(2, "NEW NAME", "239.9.9.9")
            << differs.arg("Remote IP") << QByteArray("MULTI=239.1.2.3\r\n");
        QTest::newRow("another element answered")
            << kDecoderMac << typed << QByteArray(confirmed).replace(0, 4, ip4("127.0.10.6"))
            << "The response received does not match the selected element.\rCannot save this "
               "element info."
            << kept;
        QTest::newRow("bad ip") << kDecoderMac << QStringList{"X", "1.2.3.256"} << QByteArray()
                                << "Please verify that all IP fields are correct!" << kept;
        QTest::newRow("no name") << kDecoderMac << QStringList{"", kElement} << QByteArray()
                                 << "Please verify that the name field is correct!" << kept;
        QTest::newRow("nothing selected")
            << "-" << typed << QByteArray() << "No Network Element selected!" << kept;
    }
    // The element's address is read after the question (the hook moves it there). The answer,
    // three times, and the time-out come while a ping is on its way: no box opens before the
    // ping's result, then each follows once, in order.
    void upload() {
        QFETCH(QString, mac);
        QFETCH(QStringList, typed);
        QFETCH(QByteArray, answer);
        QFETCH(QString, box);
        QFETCH(QByteArray, stored);
        Started f(kEncoder + QByteArray(kDecoder).replace("IP=127.0.10.2", "IP=127.0.10.8"));
        f.neighbours.add(hostOrder(kElement), macBytes(mac));
        f.neighbours.add(hostOrder("127.0.10.6"), macBytes(kEncoderMac));
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress(kElement), 2976));
        QVERIFY(mac == "-" || f.selectNode(mac));
        f.c().cmbAudioTX->setCurrentIndex(0);
        f.c().txtElementName->setText(typed[0]);
        f.c().txtElementIP->setText(typed[1]);
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        f.boxes.onShow(
            [&](auto&) { db::WriteToINI(db::Encode_MAC(mac), "ip", kElement, f.iniPath()); });
        f.station().SaveChanges();
        if (answer.isEmpty()) {
            QCOMPARE(f.boxes.texts(), QStringList{box + "\rCannot save."});
            QVERIFY(!element.waitForReadyRead(50) && !f.c().timerRemoteSent->isActive());
            return;
        }
        const QNetworkDatagram sent = received(element);
        QCOMPARE(sent.data().size(), mac == kDecoderMac ? 41 : 37);
        f.echo.answer(platform::EchoResult::Status::Ok, 7);
        f.echo.whileWaiting = [&] {
            for (int i = 0; i < 3; ++i)
                element.writeDatagram(answer, QHostAddress(kStation), 2976);
            QVERIFY(QTest::qWaitFor([&] { return !f.c().timerRemoteSent->isActive(); }, 3000));
            QTest::qWait(50);
            QCOMPARE(f.boxes.count(), 1);
        };
        f.c().cmdPing->click();
        const QString timedOut(
            "Waiting for a response from Network Element has timed out!\rCannot save.");
        QTRY_COMPARE(f.boxes.texts().mid(1), (QStringList{timedOut, box}));
        QTest::qWait(100);
        QCOMPARE(f.boxes.count(), 3);
        QVERIFY2(f.readIni().contains(stored), f.readIni().constData());
    }

    // A port held by another socket ends the program after its message; a station that could
    // not move to another interface keeps its setting.
    void bindFailureEndsProgram() {
        for (const auto& [control, address, message] :
             {std::tuple("cmdGetStats", "127.0.10.1",
                         "Error 2: Unable to use UDP port 2978: occupied."),
              std::tuple("cmdAdjust", "127.0.10.1", "Unable to use UDP port 2978: occupied."),
              std::tuple("cmbNMSIPAddr", "127.0.10.7", "Unable to use UDP port 2976: occupied.")}) {
            StationFixture f(kStation);
            f.writeIni(kEncoder + kDecoder);
            f.addresses.list.addresses = {kStation, "127.0.10.7"};
            QVERIFY(f.start() && f.selectNode(kDecoderMac));
            QUdpSocket holder;
            QVERIFY(holder.bind(QHostAddress(address), control[2] == 'b' ? 2976 : 2978));
            if (auto* button = f.station().window().findChild<QPushButton*>(control))
                button->click();
            else
                emit f.c().cmbNMSIPAddr->activated(1);
            QVERIFY(f.station().hasEnded());
            QCOMPARE(f.boxes.texts(), QStringList(QString(message)));
            QCOMPARE(f.settings.values.value("NMS IP Address"), kStation);
        }
    }

    // An answer without a serial number holds its box open past the window while two elements,
    // more of the bad answer and a short answer whose MAC cannot be found arrive behind it.
    void answersBehindAnOpenBox() {
        Started f;
        f.neighbours.add(hostOrder(kElement), macBytes("02:00:00:00:00:21"));
        f.neighbours.add(hostOrder("127.0.10.6"), macBytes("02:00:00:00:00:22"));
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress(kElement), 0));
        const QByteArray noSerial = feedback(2, "bad").replace(36, 4, QByteArray(4, 0));
        QTimer::singleShot(50,
                           [&] { element.writeDatagram(noSerial, QHostAddress(kStation), 2976); });
        f.boxes.onShow([&](const platform::MessageBoxRequest& r) {
            if (r.text.contains("'Serial Number'"))
                for (const QByteArray& d :
                     {feedback(2, "tx site"), noSerial, feedback(2, "second").replace(3, 1, "\x06"),
                      noSerial, feedback(1, "ENC").left(40).replace(3, 1, "M")})
                    element.writeDatagram(d, QHostAddress(kStation), 2976);
        });
        f.boxes.stayOpen("An error occured while retrieving 'Serial Number'", 600);
        f.boxes.enqueue(platform::MsgAnswer::Yes);
        f.station().AutoDiscover();
        QVERIFY(f.readIni().startsWith(
            QByteArray(kStored).replace("0B]", "21]").replace("NEW NAME", "TX SITE ") +
            "[020000000022]\r\n"));
        const QString retrieving("An error occured while retrieving '%1':\rFeedback is corrupted.");
        QTRY_COMPARE(f.boxes.texts().mid(1),
                     (QStringList{retrieving.arg("Serial Number"), retrieving.arg("Element MAC")}));
        QCOMPARE(f.boxes.maxOpen, 1);
    }

    // Declining the discovery question keeps the database as it is: nothing else happens.
    void discoveryDeclined() {
        Started f;
        QVERIFY(f.selectNode(kDecoderMac));
        f.boxes.enqueue(platform::MsgAnswer::No);
        f.station().AutoDiscover();
        QCOMPARE(f.boxes.texts(),
                 QStringList("Performing an 'Auto Discovery' will delete the local database in "
                             "your computer and create a new one, based on the Network Elements "
                             "found (if any). \rAre you sure?"));
        QCOMPARE(f.readIni(), kEncoder + kDecoder);
        QCOMPARE(f.c().lblElementMAC->text(), kDecoderMac); // the editor keeps its element
    }
};

QTEST_MAIN(TestStation)
#include "tst_station.moc"
