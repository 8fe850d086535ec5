// The station in one process: start-up, the element list, the editor and the upload
// transaction against a real UDP socket playing the element on loopback.
#include "support/spoken.h"
#include "support/stationfixture.h"

#include "protocol/discovery.h"
#include "protocol/feedbackhandler.h"

#include "db/inistore.h"
#include "db/sharedfunctions.h"
#include "editor/elementeditor.h"
#include "editor/vumeter.h"
#include "platform/udpendpoint.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QNetworkDatagram>
#include <QUdpSocket>

using namespace testsupport;

namespace {

const QString kStation = QStringLiteral("127.0.10.1");
const QString kElement = QStringLiteral("127.0.10.2");
const QString kEncoderMac = QStringLiteral("02:00:00:00:00:0A");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:0B");

QByteArray twoElements() {
    return "[02000000000A]\r\nNAME=STUDIO 1        \r\nIP=127.0.10.3\r\nMASK=255.255.255.0\r\n"
           "GW=127.0.10.254\r\nINPUT=1\r\nTYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\nSN=1001\r\n"
           "VER=2.7\r\nSFN=0\r\nBUF=5\r\nLLO=0\r\n"
           "[02000000000B]\r\nNAME=TX SITE         \r\nIP=127.0.10.2\r\nMASK=255.255.255.0\r\n"
           "GW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
           "VER=2.8\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n";
}

QByteArray ip4(const QString& text) {
    QByteArray b;
    for (const QString& p : text.split('.'))
        b.append(char(p.toInt()));
    return b;
}

// A decoder's 54-byte feedback as the element would answer.
QByteArray decoderFeedback(const QString& name, quint8 att = 200, quint8 buffer = 3) {
    QByteArray d = ip4(kElement) + ip4("255.255.255.0") + ip4("127.0.10.254") + ip4("239.1.2.3");
    d += char(0);
    d += char(1);
    d += char(0);
    d += name.leftJustified(16, ' ', true).toLatin1();
    d += char(2);
    d += QByteArray::fromHex("000007D2");
    d += char(att);
    d += char(2);
    d += char(9);
    d += char(1);
    d += char(buffer);
    d += char(0);
    d += char(37);
    d += char(43);
    d += QByteArray(5, 0);
    d += char(0);
    return d;
}

bool waitForDatagram(QUdpSocket& socket, QByteArray* payload, QHostAddress* from = nullptr,
                     quint16* port = nullptr, int ms = 2000) {
    if (!socket.hasPendingDatagrams() && !QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }, ms))
        return false;
    payload->resize(int(socket.pendingDatagramSize()));
    socket.readDatagram(payload->data(), payload->size(), from, port);
    return true;
}

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void eulaNotice();
    void emptyDatabaseMessages();
    void elementList();
    void rebuildRequestedDuringRebuild();
    void loadEncoderDecoderUnknownAndClear();
    void corruptedRecordRefused();
    void oddStoredValues();
    void fieldRules();
    void attenuationUserChange_data();
    void attenuationUserChange();
    void uploadConfirmedAndStored();
    void pingHoldsTimeOutAndAnswer();
    void uploadValidation_data();
    void uploadValidation();
    void bindFailureEndsProgram_data();
    void bindFailureEndsProgram();
    void discoveryQuestionNo();
    void discoveryStoresAnswers();
    void levelMeter();
    void ping_data();
    void ping();
    void interfaceSelection();
    void addressTableUnreadable();
};

void TestStation::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("bufferMaximum");
    QTest::newRow("none") << QStringList() << " - Talvoren Broadcast" << 22;
    QTest::newRow("GPS") << QStringList{"GPS"} << " [GPSDO version] - Talvoren Broadcast" << 23;
    QTest::newRow("gps mixed") << QStringList{"gPs"} << " [GPSDO version] - Talvoren Broadcast" << 23;
    QTest::newRow("ll") << QStringList{"ll"} << " [Low Latency Option] - Talvoren Broadcast" << 44;
    QTest::newRow("GPS LL") << QStringList{"GPS", "LL"} << " - Talvoren Broadcast" << 22;
    QTest::newRow("other") << QStringList{"XYZ"} << " - Talvoren Broadcast" << 22;
}

void TestStation::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, suffix);
    QFETCH(int, bufferMaximum);
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start(args));
    QCOMPARE(f.station().window().windowTitle(), QStringLiteral("Kestrune NMS v.3.4.8") + suffix);
    QCOMPARE(f.c().scrlBuffer->maximum(), bufferMaximum);
    QVERIFY(!f.c().toolbarButton[6]->isEnabled());
    QVERIFY(!f.c().toolbarButton[7]->isEnabled());
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(f.station().udpClient().localPort(), quint16(2976));
    QVERIFY(!f.c().cmdGetStats->isEnabled());
    QVERIFY(!f.c().cmdAdjust->isEnabled());
}

void TestStation::eulaNotice() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    f.settings.values.insert("EULA1", "not a number");
    int shown = 0;
    // Tick the box twice (1, then 0), then once more, and close the window.
    QTimer::singleShot(50, [&] {
        auto* notice = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(notice);
        QCOMPARE(notice->objectName(), QStringLiteral("frmDisclaimer"));
        auto* agree = notice->findChild<QCheckBox*>("chkAgree");
        QVERIFY(agree && !agree->isChecked());
        agree->click();
        QCOMPARE(f.settings.values.value("EULA1"), QStringLiteral("1"));
        agree->click();
        QCOMPARE(f.settings.values.value("EULA1"), QStringLiteral("0"));
        agree->click();
        ++shown;
        notice->findChild<QPushButton*>("cmdClose")->click();
    });
    QVERIFY(f.start());
    QCOMPARE(shown, 1);
    QCOMPARE(f.settings.values.value("EULA1"), QStringLiteral("1"));
}

void TestStation::emptyDatabaseMessages() {
    {
        StationFixture f(kStation);
        QVERIFY(f.start());
        QCOMPARE(f.boxes.texts(), QStringList{"Local database is empty.\rPlease click 'Auto Discover' icon to probe the network."});
        QCOMPARE(f.boxes.titles(), QStringList{"Information"});
        QCOMPARE(f.c().frmTreeView->title(), QStringLiteral("Select element: (0 items)"));
    }
    {
        StationFixture f(kStation);
        f.writeIni("");
        QVERIFY(f.start());
        QCOMPARE(f.boxes.texts(), QStringList{"Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network."});
    }
}

void TestStation::elementList() {
    StationFixture f(kStation);
    f.writeIni(twoElements() + "[badname]\r\nROLE=1\r\n[02000000000c]\r\nNAME=NO ROLE\r\n");
    QVERIFY(f.start());
    QTreeWidget* tree = f.c().TreeView1;
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("STUDIO 1 [02:00:00:00:00:0A]"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("TX SITE [02:00:00:00:00:0B]"));
    QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("NO ROLE [02:00:00:00:00:0C]"));
    QCOMPARE(f.c().frmTreeView->title(), QStringLiteral("Select element: (3 items)"));
    QCOMPARE(f.c().cmbEncoders->count(), 2);
    QCOMPARE(f.c().cmbEncoders->itemText(0), QStringLiteral("<None>"));
    QCOMPARE(f.c().cmbEncoders->itemText(1), QStringLiteral("STUDIO 1 [02:00:00:00:00:0A]"));
    QCOMPARE(f.station().state().lstHidden,
             QStringList({"02000000000A", "02000000000B", "badname", "02000000000c"}));
    // Refresh twice: the same tree, nothing appended twice.
    f.station().RefreshList();
    f.station().RefreshList();
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(f.c().cmbEncoders->count(), 2);
    QCOMPARE(f.c().lblElementMAC->text(), QStringLiteral("-"));
}

void TestStation::rebuildRequestedDuringRebuild() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    int nested = 0;
    // Runs from inside the rebuild's event step: it changes the file and asks again.
    QTimer::singleShot(0, [&] {
        ++nested;
        db::WriteToINI("02000000000D", "name", "LATE", f.iniPath());
        db::WriteToINI("02000000000D", "role", "2", f.iniPath());
        f.station().Load_Config();
    });
    f.station().Load_Config();
    QCOMPARE(nested, 1);
    QTreeWidget* tree = f.c().TreeView1;
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("LATE [02:00:00:00:00:0D]"));
    QCOMPARE(f.c().frmTreeView->title(), QStringLiteral("Select element: (3 items)"));
}

void TestStation::loadEncoderDecoderUnknownAndClear() {
    StationFixture f(kStation);
    f.writeIni(twoElements() + "[02000000000E]\r\nNAME=ODD\r\nIP=127.0.10.9\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n");
    QVERIFY(f.start());
    auto& c = f.c();
    f.station().window().show();
    QVERIFY(QTest::qWaitForWindowActive(&f.station().window()));

    QVERIFY(f.selectNode(kEncoderMac));
    QCOMPARE(c.lblElementType->text(), QStringLiteral("ENCODER"));
    QCOMPARE(c.txtElementName->text(), QStringLiteral("STUDIO 1"));
    QCOMPARE(c.Label7->text(), QStringLiteral("Multicast IP:"));
    QCOMPARE(c.txtRemoteIP->text(), QStringLiteral("239.1.2.3"));
    QCOMPARE(c.Label9->text(), QStringLiteral("Audio source:"));
    QVERIFY(!c.cmbAudioInput->isHidden());
    QVERIFY(c.scrlAtten->isHidden());
    QCOMPARE(c.scrlBuffer->value(), 0);
    QVERIFY(!c.scrlBuffer->isEnabled());
    QCOMPARE(c.lblLatency->text(), QStringLiteral("2.5mS"));
    QVERIFY(c.toolbarButton[6]->isEnabled());
    QVERIFY(!c.toolbarButton[7]->isEnabled());
    QVERIFY(c.cmdGetStats->isEnabled());
    QVERIFY(!c.cmdAdjust->isEnabled());
    QCOMPARE(c.lblVersion->text(), QStringLiteral("2.7"));
    QCOMPARE(c.cmdPing->text(), QStringLiteral("<Click to test>"));
    // Choosing unicast puts the stored (default) decoder address in.
    c.cmbAudioTX->setCurrentIndex(0);
    QCOMPARE(c.Label7->text(), QStringLiteral("Decoder IP:"));
    QCOMPARE(c.txtRemoteIP->text(), QStringLiteral("192.168.1.91"));

    QTest::keyClick(c.TreeView1, Qt::Key_Down); // the keyboard chooses as a click does
    QCOMPARE(c.lblElementType->text(), QStringLiteral("DECODER"));
    QCOMPARE(testsupport::spoken(c.lblAttenDB), QStringLiteral("Audio atten: -27.5 dB"));
    QVERIFY(c.cmbAudioInput->isHidden());
    QVERIFY(!c.scrlAtten->isHidden());
    QCOMPARE(c.scrlAtten->value(), 200);
    QCOMPARE(c.scrlBuffer->value(), 3);
    QCOMPARE(c.lblLatency->text(), QStringLiteral("10mS")); // PTP sync on: 2.5 x 3 + 2.5
    QCOMPARE(c.lblSilDetLevel->text(), QStringLiteral("-18.4dBu"));
    QCOMPARE(c.lblSilDetTime->text(), QStringLiteral("19.6Sec"));
    QCOMPARE(c.Label7->text(), QStringLiteral("Multicast IP:"));
    QVERIFY(c.cmdAdjust->isEnabled());
    QVERIFY(!c.toolbarButton[6]->isEnabled());
    c.cmbSilDetMode->setCurrentIndex(2);
    QVERIFY(!c.scrlSilDetLevel->isEnabled());
    c.cmbSilDetMode->setCurrentIndex(0);
    QVERIFY(c.scrlSilDetLevel->isEnabled());
    // Loading never sends: nothing programmatic touched the store's att.
    QVERIFY(f.readIni().contains("ATT=200\r\n"));

    // UNKNOWN: own addresses by the encoder rule, layout kept from the decoder.
    QTest::keyClick(c.TreeView1, Qt::Key_End);
    QCOMPARE(c.lblElementType->text(), QStringLiteral("UNKNOWN"));
    QCOMPARE(c.Label7->text(), QStringLiteral("Decoder IP:"));
    QCOMPARE(c.txtRemoteIP->text(), QStringLiteral("10.1.1.1"));
    QCOMPARE(c.Label9->text(), QStringLiteral("Audio atten:"));
    // Enter on the node already loaded keeps the edits; Home goes to the first (loaded by
    // Enter at the end).
    c.txtElementName->setText("EDITED");
    QTest::keyClick(c.TreeView1, Qt::Key_Return);
    QCOMPARE(c.txtElementName->text(), QStringLiteral("EDITED"));
    QTest::keyClick(c.TreeView1, Qt::Key_Home);

    f.station().elementEditor().ClearElementEditor();
    QCOMPARE(c.lblElementMAC->text(), QStringLiteral("-"));
    QCOMPARE(c.lblElementType->text(), QStringLiteral("-"));
    QCOMPARE(c.cmdPing->text(), QStringLiteral("<Unknown>"));
    QCOMPARE(c.lblLatency->text(), QStringLiteral("-mS"));
    QVERIFY(c.txtElementIP->text().isEmpty());
    QCOMPARE(c.cmbAudioTX->currentIndex(), -1);
    QVERIFY(!c.cmdGetStats->isEnabled());
    QVERIFY(!c.cmdAdjust->isEnabled());
    QVERIFY(!c.toolbarButton[6]->isEnabled());
    QVERIFY(!c.toolbarButton[7]->isEnabled());
    QVERIFY(!c.chkGetVolume->isChecked());
    // Enter loads the node under the cursor once it is not the one shown.
    QTest::keyClick(c.TreeView1, Qt::Key_Return);
    QCOMPARE(c.lblElementMAC->text(), kEncoderMac);
}

void TestStation::corruptedRecordRefused() {
    StationFixture f(kStation);
    QByteArray ini = twoElements() + "[02000000000F]\r\n";
    for (int i = 0; i < 22; ++i)
        ini += "K" + QByteArray::number(i) + "=1\r\n";
    f.writeIni(ini);
    QVERIFY(f.start());
    QVERIFY(f.selectNode(kEncoderMac));
    QVERIFY(f.selectNode("02:00:00:00:00:0F"));
    QCOMPARE(f.boxes.texts().last(), QStringLiteral("Cannot load this element info.\rThe data stored in your computer about this element, is corrupted (1)."));
    QCOMPARE(f.c().lblElementMAC->text(), kEncoderMac);
}

void TestStation::oddStoredValues() {
    StationFixture f(kStation);
    f.writeIni("[020000000010]\r\nNAME=ODD VALUES\r\nIP=127.0.10.5\r\nINPUT=x\r\nTYPE=7\r\nTX= 1 \r\n"
               "ROLE=2\r\nATT=9999\r\nBUF=-3\r\nSDL=1e2\r\nSDT=\r\nSDM=5\r\nSFN=2\r\nLLO=01\r\nBOUND=99\r\n");
    QVERIFY(f.start());
    QVERIFY(f.selectNode("02:00:00:00:00:10"));
    auto& c = f.c();
    QCOMPARE(c.cmbAudioInput->currentIndex(), -1); // not a number: no selection
    QCOMPARE(c.cmbAudioType->currentIndex(), -1);  // outside the list
    QCOMPARE(c.cmbAudioTX->currentIndex(), 1);
    QCOMPARE(c.scrlAtten->value(), 255);           // limited to the bar
    QCOMPARE(c.scrlBuffer->value(), 0);
    QCOMPARE(c.scrlSilDetLevel->value(), 37);       // no exponent: the default
    QCOMPARE(c.scrlSilDetTime->value(), 43);
    QCOMPARE(c.cmbSilDetMode->currentIndex(), -1);
    QCOMPARE(c.cmbEncoders->currentIndex(), -1);
    QVERIFY(!c.chkSFNEnabled->isChecked());         // only exactly 1 checks it
    QVERIFY(c.chkLowLatency->isChecked());
    QCOMPARE(f.boxes.count(), 0);
    // An unselected mode on a decoder stops the upload before anything is sent.
    f.boxes.enqueue(platform::MsgAnswer::Yes);
    c.cmbAudioInput->setCurrentIndex(0);
    c.cmbAudioType->setCurrentIndex(0);
    f.station().SaveChanges();
    QCOMPARE(f.boxes.texts().last(), QStringLiteral("Please verify that all audio fields are correct!\rCannot save."));
}

void TestStation::fieldRules() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QVERIFY(f.selectNode(kDecoderMac));
    auto& c = f.c();
    const QColor normal = QApplication::palette().color(QPalette::Base);
    c.txtElementIP->setText("192.168.1.300");
    QCOMPARE(c.txtElementIP->palette().color(QPalette::Base), QColor(255, 128, 128));
    QVERIFY(c.cmdGetStats->isEnabled()); // typing does not change it
    c.txtElementIP->setText("192.168.1.30");
    QCOMPARE(c.txtElementIP->palette().color(QPalette::Base), normal);
    c.txtElementMask->setText("10.0.0");
    QCOMPARE(c.txtElementMask->palette().color(QPalette::Base), QColor(255, 128, 128));
    c.txtElementMask->clear();
    QCOMPARE(c.txtElementMask->palette().color(QPalette::Base), normal);

    QCOMPARE(c.txtElementName->maxLength(), 16);
    QCOMPARE(c.txtElementIP->maxLength(), 15);
    // Only characters one byte carries; upper case on leaving keeps the length.
    f.station().window().show();
    c.txtElementName->setFocus();
    c.txtElementName->clear();
    for (QChar ch : QString::fromUtf8("studio \u00e9\u20ac\u00df")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(c.txtElementName, &press);
    }
    QCOMPARE(c.txtElementName->text(), QString::fromUtf8("studio \u00e9\u00df"));
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(c.txtElementName, &leave);
    QCOMPARE(c.txtElementName->text(), QString::fromUtf8("STUDIO \u00c9\u00df"));
}

void TestStation::attenuationUserChange_data() {
    QTest::addColumn<QString>("move");
    QTest::addColumn<int>("sent"); // 0: nothing goes out and "att" stays 200
    QTest::addColumn<QString>("caption");
    QTest::newRow("set by the program") << "program" << 0 << "-52.5 dB";
    QTest::newRow("arrow key") << "key" << 199 << "-28 dB";
    QTest::newRow("wheel") << "wheel" << 197 << "-29 dB";
    QTest::newRow("middle-click jump") << "middle" << 14 << "Mute";
    QTest::newRow("thumb released") << "drag" << 255 << "0 dB";
    QTest::newRow("menu Scroll here") << "menu" << 14 << "Mute";
}

// Each move of a decoder's attenuation bar by the user, as real events on the shown
// window, sends the step to the element's 2977 and stores it; the program's own do not.
void TestStation::attenuationUserChange() {
    QFETCH(QString, move);
    QFETCH(int, sent);
    QFETCH(QString, caption);
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress(kElement), 2977));
    QVERIFY(f.selectNode(kDecoderMac));
    f.station().window().show();
    QVERIFY(QTest::qWaitForWindowActive(&f.station().window()));
    QScrollBar* bar = f.c().scrlAtten;
    const int h = bar->height();
    const QPoint arrow(1, h / 2), troughStart(h * 3 / 2, h / 2); // the left arrow is h wide
    f.c().TreeView1->setFocus();
    QByteArray got;
    if (move == "program" || move == "key") {
        bar->setFocus(); // wherever the focus is, the program's value is not sent
        move == "key" ? QTest::keyClick(bar, Qt::Key_Left) : bar->setValue(150);
    } else if (move == "middle") {
        QTest::mouseClick(bar, Qt::MiddleButton, {}, troughStart);
    } else if (move == "wheel") {
        QWheelEvent wheel(QPointF(bar->rect().center()), QPointF(), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
    } else if (move == "drag") {
        bar->setValue(14); // the thumb right of the arrow
        QTest::mousePress(bar, Qt::LeftButton, {}, troughStart);
        QTest::mouseMove(bar, QPoint(bar->width() - 1, h / 2));
        // While the thumb is held nothing changes, not even the caption.
        QCOMPARE(f.c().lblAttenDB->text(), QStringLiteral("Mute"));
        QVERIFY(!waitForDatagram(element, &got, nullptr, nullptr, 50));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() - 1, h / 2));
    } else { // the first entry of the bar's context menu, "Scroll here", on the left arrow
        QTimer::singleShot(0, [] {
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        });
        QContextMenuEvent menu(QContextMenuEvent::Mouse, arrow);
        QApplication::sendEvent(bar, &menu);
    }
    QCOMPARE(waitForDatagram(element, &got, nullptr, nullptr, sent ? 2000 : 50), sent != 0);
    QCOMPARE(got.toHex(), sent ? QByteArray(1, char(sent)).append('\0').toHex() : "");
    QCOMPARE(f.c().lblAttenDB->text(), caption);
    QVERIFY(f.readIni().contains("\r\nATT=" + QByteArray::number(sent ? sent : 200) + "\r\n"));
    // A click gives it the focus; the wheel and the menu leave it where it was.
    QCOMPARE(bar->hasFocus(), move != "wheel" && move != "menu");
}

void TestStation::uploadConfirmedAndStored() {
    StationFixture f(kStation);
    f.writeIni(twoElements().replace("IP=127.0.10.2", "IP=127.0.10.8"));
    f.neighbours.add(hostOrder(kElement), macBytes(kDecoderMac));
    QVERIFY(f.start());
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress(kElement), 2976));
    QVERIFY(f.selectNode(kDecoderMac));
    f.c().txtElementName->setText("new name");
    f.c().txtElementIP->setText(kElement);
    f.c().txtElementGW->setText("127.0.10.254");
    f.boxes.enqueue(platform::MsgAnswer::Yes);
    // The stored address is read when sending, after the question.
    f.boxes.onShow([&](auto&) { db::WriteToINI("02000000000B", "ip", kElement, f.iniPath()); });
    f.station().SaveChanges();
    QCOMPARE(f.boxes.texts().last(), QStringLiteral("This configuration will be sent to selected Network Element and\rwill also be saved to local database in your computer. \rAre you sure?"));
    QCOMPARE(f.boxes.titles().last(), QStringLiteral("Send configuration"));

    QByteArray got;
    QHostAddress from;
    quint16 port = 0;
    QVERIFY(waitForDatagram(element, &got, &from, &port));
    QCOMPARE(got.size(), 41);
    QCOMPARE(got.toHex(), (ip4(kElement) + ip4("255.255.255.0") + ip4("127.0.10.254") + ip4("239.1.2.3") +
                           QByteArray::fromHex("00010001") + QByteArray("NEW NAME        ") +
                           QByteArray::fromHex("0300252B00")).toHex());
    QCOMPARE(port, quint16(2976));
    QVERIFY(f.c().timerRemoteSent->isActive());

    // A repeated answer is dropped while the first is handled, and after it nothing is awaited.
    for (int i = 0; i < 3; ++i)
        element.writeDatagram(decoderFeedback("NEW NAME", 220, 4), from, port);
    QVERIFY(QTest::qWaitFor([&] { return f.boxes.texts().contains("New configuration has been sucessfuly saved and loaded!"); }, 3000));
    QVERIFY(!f.c().timerRemoteSent->isActive());
    QCOMPARE(f.boxes.titles().last(), QStringLiteral("Configuration changed"));
    const QByteArray ini = f.readIni();
    QVERIFY2(ini.contains("[02000000000B]\r\nNAME=NEW NAME        \r\nIP=127.0.10.2\r\nMASK=255.255.255.0\r\n"
                          "GW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
                          "VER=2.9\r\nSFN=1\r\nBUF=4\r\nATT=220\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n"),
             ini.constData());
    QCOMPARE(f.c().TreeView1->topLevelItem(1)->text(0), QStringLiteral("NEW NAME [02:00:00:00:00:0B]"));
    // The answer stopped the timer: no time-out follows, and no second confirmation.
    QTest::qWait(400);
    QCOMPARE(f.boxes.count(), 2);
}

void TestStation::pingHoldsTimeOutAndAnswer() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    f.neighbours.add(hostOrder(kElement), macBytes(kDecoderMac));
    QVERIFY(f.start());
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress(kElement), 2976));
    QVERIFY(f.selectNode(kDecoderMac));
    f.boxes.enqueue(platform::MsgAnswer::Yes);
    f.station().SaveChanges();
    QByteArray got;
    QHostAddress from;
    quint16 port = 0;
    QVERIFY(waitForDatagram(element, &got, &from, &port));
    // While the echo is on its way the time-out fires and the answer arrives: neither
    // opens a box before the ping's own result, then both follow, in order, once.
    int boxesWhileWaiting = -1;
    f.echo.answer(platform::EchoResult::Status::Ok, 7);
    f.echo.whileWaiting = [&] {
        element.writeDatagram(decoderFeedback("TX SITE"), from, port);
        QTest::qWaitFor([&] { return !f.c().timerRemoteSent->isActive(); }, 3000);
        QTest::qWait(50);
        boxesWhileWaiting = f.boxes.count();
    };
    f.c().cmdPing->click();
    QCOMPARE(f.c().cmdPing->text(), QStringLiteral("7 ms"));
    QCOMPARE(boxesWhileWaiting, 1);
    QTRY_COMPARE(f.boxes.texts().mid(1), (QStringList{"Waiting for a response from Network Element has timed out!\rCannot save.",
                                                      "New configuration has been sucessfuly saved and loaded!"}));
    QTest::qWait(400);
    QCOMPARE(f.boxes.count(), 3);
}

void TestStation::uploadValidation_data() {
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("message");
    QTest::newRow("none selected") << "" << "X" << "1.2.3.4" << "No Network Element selected!";
    QTest::newRow("name before ip") << kDecoderMac << "" << "1.2.3" << "Please verify that the name field is correct!";
    QTest::newRow("bad ip") << kDecoderMac << "X" << "1.2.3.256" << "Please verify that all IP fields are correct!";
}

void TestStation::uploadValidation() {
    QFETCH(QString, select);
    QFETCH(QString, name);
    QFETCH(QString, ip);
    QFETCH(QString, message);
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress(kElement), 2976));
    if (!select.isEmpty())
        QVERIFY(f.selectNode(select));
    f.c().txtElementName->setText(name);
    f.c().txtElementIP->setText(ip);
    f.boxes.enqueue(platform::MsgAnswer::Yes);
    f.station().SaveChanges();
    QCOMPARE(f.boxes.texts(), QStringList{message + "\rCannot save."});
    QCOMPARE(f.boxes.titles(), QStringList{"Error!"});
    QTest::qWait(50);
    QVERIFY(!element.hasPendingDatagrams());
    QVERIFY(!f.c().timerRemoteSent->isActive());
}

void TestStation::bindFailureEndsProgram_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("statistics") << "cmdGetStats"
                                << "Error 2: Unable to use UDP port 2978: occupied.";
    QTest::newRow("SFN adjustment") << "cmdAdjust"
                                    << "Unable to use UDP port 2978: occupied.";
}

// Port 2978 held by another socket ends the program after the window's message (port 2976
// at start-up: tst_startup_process, on the real program).
void TestStation::bindFailureEndsProgram() {
    QFETCH(QString, button);
    QFETCH(QString, message);
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QVERIFY(f.selectNode(kDecoderMac));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(kStation), 2978));
    QSignalSpy ended(&f.station(), &app::Station::programEnded);
    f.station().window().findChild<QPushButton*>(button)->click();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(f.boxes.texts().last(), message);
}

void TestStation::discoveryQuestionNo() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QVERIFY(f.selectNode(kDecoderMac));
    f.station().AutoDiscover(); // the scripted box answers No
    QCOMPARE(f.boxes.texts(), QStringList{"Performing an 'Auto Discovery' will delete the local database in your computer and create a new one, based on the Network Elements found (if any). \rAre you sure?"});
    QCOMPARE(f.boxes.titles(), QStringList{"Auto Discovery"});
    QCOMPARE(f.boxes.shown.first().buttons, platform::MsgButtons::YesNo);
    QCOMPARE(f.readIni(), twoElements());
    QCOMPARE(f.c().TreeView1->topLevelItemCount(), 2);
    QCOMPARE(f.c().lblElementMAC->text(), kDecoderMac);
}

void TestStation::discoveryStoresAnswers() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    f.neighbours.add(hostOrder(kElement), macBytes("02:00:00:00:00:21"));
    f.neighbours.add(hostOrder("127.0.10.6"), macBytes("02:00:00:00:00:22"));
    QVERIFY(f.start());
    f.station().udpClient().setRemote(kElement, 2976);
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress(kElement), 0));
    auto send = [&](const QByteArray& d) { element.writeDatagram(d, QHostAddress(kStation), 2976); };
    // A short encoder answer from an address whose MAC cannot be found; its box stays open
    // past the window while two elements and a burst of one bad answer arrive behind it.
    QByteArray encoder = decoderFeedback("ENC");
    encoder[0] = char(127); encoder[1] = 0; encoder[2] = char(10); encoder[3] = char(77);
    encoder[35] = char(1);
    encoder.truncate(40);
    QByteArray second = decoderFeedback("second"), noSerial = decoderFeedback("bad");
    second[3] = char(6);
    noSerial[39] = 0;
    noSerial[38] = 0;
    QTimer::singleShot(50, [&] {
        QVERIFY(f.readIni().isEmpty()); // emptied before paging
        QVERIFY(f.station().discovery().AutoDiscoverAwaiting());
        send(encoder);
    });
    f.boxes.onShow([&](const platform::MessageBoxRequest& r) {
        if (r.text.contains("'Element MAC'"))
            for (const QByteArray& d : {decoderFeedback("tx site"), noSerial, second, noSerial, noSerial})
                send(d);
    });
    f.boxes.stayOpen("An error occured while retrieving 'Element MAC'", 600);
    f.boxes.enqueue(platform::MsgAnswer::Yes);
    f.station().feedbackHandler().expectAnswer(); // a discovery ends the wait for an upload answer
    f.station().AutoDiscover();
    QVERIFY(!f.station().discovery().AutoDiscoverAwaiting());
    QVERIFY(!f.station().feedbackHandler().answerAwaited());
    QVERIFY(f.readIni().startsWith("[020000000021]\r\nNAME=TX SITE         \r\nIP=127.0.10.2\r\n"
                                   "MASK=255.255.255.0\r\nGW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\n"
                                   "MULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\nVER=2.9\r\nSFN=1\r\nBUF=3\r\n"
                                   "ATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n[020000000022]\r\n"));
    // One box per failure, in arrival order, one at a time; no answer became an upload answer.
    QTRY_COMPARE(f.boxes.texts().mid(1), (QStringList{"An error occured while retrieving 'Element MAC':\rFeedback is corrupted.",
                                                      "An error occured while retrieving 'Serial Number':\rFeedback is corrupted."}));
    QCOMPARE(f.boxes.maxOpen, 1);
    QCOMPARE(f.c().TreeView1->topLevelItemCount(), 2);
    QCOMPARE(f.c().frmTreeView->title(), QStringLiteral("Select element: (2 items)"));
    // The target saved before paging is back.
    QCOMPARE(f.station().udpClient().remoteHost(), kElement);
    QCOMPARE(f.station().udpClient().remotePort(), quint16(2976));
}

void TestStation::levelMeter() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    QUdpSocket element;
    QVERIFY(element.bind(QHostAddress("127.0.10.3"), 2977));
    auto& c = f.c();
    QVERIFY(f.selectNode(kEncoderMac));
    QVERIFY(c.toolbarButton[6]->isEnabled());
    c.toolbarButton[6]->trigger();
    QVERIFY(c.chkGetVolume->isChecked());
    QVERIFY(!c.toolbarButton[6]->isEnabled());
    QVERIFY(c.toolbarButton[7]->isEnabled());
    QByteArray got;
    QHostAddress from;
    quint16 port = 0;
    QVERIFY(waitForDatagram(element, &got, &from, &port));
    QCOMPARE(got, QByteArray("VOL"));
    QCOMPARE(port, quint16(2976));
    QByteArray reply(1201, char(0));
    reply[30] = char(0x40);
    reply[60] = char(0xFF); // negative samples are skipped
    // The meter moves while a box is open.
    f.boxes.onShow([&](auto&) { element.writeDatagram(reply, from, port); });
    f.boxes.stayOpen("Please verify", 2000, [&] { return c.lblVolume->text() == "-6dBFS"; });
    c.txtElementName->clear();
    f.station().SaveChanges();
    QCOMPARE(c.lblVolume->text(), QStringLiteral("-6dBFS"));
    QCOMPARE(c.VUMeter->widthTwips(), 1050);
    c.toolbarButton[7]->trigger();
    QCOMPARE(c.lblVolume->text(), QStringLiteral("-oodBFS"));
    QCOMPARE(c.VUMeter->widthTwips(), 0);
    QVERIFY(c.toolbarButton[6]->isEnabled());
    QVERIFY(!c.toolbarButton[7]->isEnabled());
    QTest::qWait(100);
    while (element.hasPendingDatagrams())
        element.receiveDatagram();
    QTest::qWait(150);
    QVERIFY(!element.hasPendingDatagrams());
    // A late reply after the meter went off only blanks it.
    element.writeDatagram(reply, from, port);
    QTest::qWait(100);
    QCOMPARE(c.lblVolume->text(), QStringLiteral("-oodBFS"));
    // Loading a decoder while monitoring stops it and leaves both buttons off.
    c.toolbarButton[6]->trigger();
    QVERIFY(f.selectNode(kDecoderMac));
    QVERIFY(!c.chkGetVolume->isChecked());
    QVERIFY(!c.tmrVolume->isActive());
    QVERIFY(!c.toolbarButton[6]->isEnabled());
    QVERIFY(!c.toolbarButton[7]->isEnabled());
}

void TestStation::ping_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("echoes");
    using S = platform::EchoResult::Status;
    QTest::newRow("answer") << "127.0.10.2" << int(S::Ok) << "0 ms" << QColor(0, 255, 0) << 1;
    QTest::newRow("leading zeros") << "127.000.010.002" << int(S::Ok) << "0 ms" << QColor(0, 255, 0) << 1;
    QTest::newRow("time-out") << "127.0.10.99" << int(S::TimedOut) << "Failed!" << QColor(255, 128, 128) << 1;
    QTest::newRow("zero address") << "0.0.0.0" << int(S::Ok) << "Failed!" << QColor(255, 128, 128) << 0;
    QTest::newRow("three parts") << "10.0.0" << int(S::Ok) << "Trying..." << QColor(255, 255, 192) << 0;
    QTest::newRow("part above 255") << "10.0.0.256" << int(S::Ok) << "Trying..." << QColor(255, 255, 192) << 0;
    QTest::newRow("no sockets") << "127.0.10.2" << int(S::NoSocket) << "No sockets!" << QColor(255, 128, 128) << 1;
}

void TestStation::ping() {
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(QString, caption);
    QFETCH(QColor, colour);
    QFETCH(int, echoes);
    StationFixture f(kStation);
    f.writeIni(twoElements());
    QVERIFY(f.start());
    f.echo.answer(platform::EchoResult::Status(status), 0);
    f.c().txtElementIP->setText(address);
    f.c().cmdPing->click();
    QCOMPARE(f.c().cmdPing->text(), caption);
    QCOMPARE(f.c().cmdPing->palette().color(QPalette::Button), colour);
    QCOMPARE(int(f.echo.calls.size()), echoes);
    if (echoes) {
        QCOMPARE(f.echo.calls.first().address, hostOrder(db::CanonicalIP(address)));
        QCOMPARE(f.echo.calls.first().payload, QByteArray("hello"));
        QCOMPARE(f.echo.calls.first().timeoutMs, 3000);
    }
    if (caption == "No sockets!")
        QCOMPARE(f.boxes.texts(), QStringList{"Windows Sockets not responding correctly."});
    else
        QCOMPARE(f.boxes.count(), 0);
}

void TestStation::interfaceSelection() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    // The saved address is gone: the first entry is chosen, bound, then saved.
    f.settings.values.insert("NMS IP Address", "10.9.9.9");
    f.addresses.list.addresses = {"127.0.10.1", "127.0.10.7", "127.0.0.1"};
    QVERIFY(f.start());
    QCOMPARE(f.c().cmbNMSIPAddr->count(), 3);
    QCOMPARE(f.c().cmbNMSIPAddr->currentText(), QStringLiteral("127.0.10.1"));
    QCOMPARE(f.settings.values.value("NMS IP Address"), QStringLiteral("127.0.10.1"));
    QCOMPARE(f.station().udpClient().localAddress(), QStringLiteral("127.0.10.1"));

    // Choosing the saved one changes nothing.
    const int saves = f.settings.saves;
    emit f.c().cmbNMSIPAddr->activated(0);
    QCOMPARE(f.settings.saves, saves);

    emit f.c().cmbNMSIPAddr->activated(1);
    QCOMPARE(f.station().udpClient().localAddress(), QStringLiteral("127.0.10.7"));
    QCOMPARE(f.settings.values.value("NMS IP Address"), QStringLiteral("127.0.10.7"));
    QCOMPARE(f.station().state().strLocalNMSIPAddress, QStringLiteral("127.0.10.7"));

    // A port that cannot be bound: the message, and the old setting stays.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress("127.0.10.1"), 2976));
    QSignalSpy ended(&f.station(), &app::Station::programEnded);
    emit f.c().cmbNMSIPAddr->activated(0);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(f.boxes.texts().last(), QStringLiteral("Unable to use UDP port 2976: occupied."));
    QCOMPARE(f.settings.values.value("NMS IP Address"), QStringLiteral("127.0.10.7"));
}

void TestStation::addressTableUnreadable() {
    StationFixture f(kStation);
    f.writeIni(twoElements());
    f.addresses.failWith(122);
    QSignalSpy ended(&f.station(), &app::Station::programEnded);
    QVERIFY(!f.start());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(f.boxes.texts(), QStringList{"GetIpAddrTable failed with return value 122"});
    QVERIFY(!f.station().udpClient().isOpen());
}

QTEST_MAIN(TestStation)
#include "tst_station.moc"
