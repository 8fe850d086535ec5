// The element editor of the running station: field rules per element type, captions that
// follow values, the attenuation a user moves, the firmware notice, and the names by which
// scripts and screen readers find the controls.
#include "support/stationfixture.h"

#include "app/frmDisclaimer.h"
#include "fakes/scriptedmessagebox.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

const QByteArray kElements =
    "[02000000000A]\r\nNAME=STUDIO 1\r\nIP=127.0.11.3\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\n"
    "[02000000000B]\r\nNAME=TX SITE\r\nIP=127.0.11.2\r\nINPUT=0\r\nTX=0\r\nMULTI=239.1.2.3\r\n"
    "ROLE=2\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\n"
    "[02000000000E]\r\nNAME=ODD\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n";

// A started station on a shown window with one encoder, one decoder and one UNKNOWN.
struct Editor : testsupport::StationFixture {
    Editor() : StationFixture(QStringLiteral("127.0.11.1")) {
        writeIni(kElements);
        QVERIFY(start());
        station().window().show();
        QVERIFY(QTest::qWaitForWindowActive(&station().window()));
    }
    // What the user sees of the role-dependent part of the editor.
    QString seen() {
        auto& w = c();
        const auto n = [](bool b) { return QString::number(b); };
        const QString bits = n(w.cmbAudioInput->isVisible()) + n(w.scrlAtten->isVisible()) +
                             n(w.scrlBuffer->isEnabled()) + n(w.cmdGetStats->isEnabled()) +
                             n(w.cmdAdjust->isEnabled()) + n(w.toolbarButton[6]->isEnabled());
        return QStringList{w.lblElementType->text(), w.Label7->text(),        w.txtRemoteIP->text(),
                           w.Label9->text(),         w.lblLatency->text(),    w.lblAttenDB->text(),
                           w.lblSilDetLevel->text(), w.lblSilDetTime->text(), bits}
            .join('|');
    }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // Chosen by click and keyboard; an UNKNOWN keeps the last layout but not its addresses;
    // the captions follow the values, with a decimal point in any locale.
    void fieldRulesPerElementType() {
        Editor f;
        auto& c = f.c();
        QVERIFY(f.selectNode("02:00:00:00:00:0A"));
        const QString sil = "|dB|0dBu|0Sec|";
        QCOMPARE(f.seen(), "ENCODER|Multicast IP:|239.1.2.3|Audio source:|2.5mS" + sil + "100101");
        c.cmbAudioTX->setCurrentIndex(0); // unicast: the stored (default) decoder address
        QCOMPARE(f.seen(), "ENCODER|Decoder IP:|192.168.1.91|Audio source:|2.5mS" + sil + "100101");
        QTest::keyClick(c.TreeView1, Qt::Key_Down);
        QCOMPARE(f.seen(), "DECODER|Multicast IP:|239.1.2.3|Audio atten:|10mS|-27.5 dB|-18.4dBu|"
                           "19.6Sec|011110");
        c.chkLowLatency->click();
        c.scrlAtten->setValue(255); // never "-0"
        QCOMPARE(f.seen(), "DECODER|Multicast IP:|239.1.2.3|Audio atten:|6.25mS|0 dB|-18.4dBu|"
                           "19.6Sec|011110");
        QTest::keyClick(c.TreeView1, Qt::Key_End);
        QCOMPARE(f.seen(), "UNKNOWN|Decoder IP:|10.1.1.1|Audio atten:|12.5mS|0 dB|-18.4dBu|"
                           "19.6Sec|011100");
        f.station().RefreshList();
        QCOMPARE(f.seen(), "-|Decoder IP:||Audio atten:|-mS|0 dB|-18.4dBu|19.6Sec|011000");
        QCOMPARE(f.readIni(), kElements); // neither loading nor the program's moves write
    }

    // Sent to the element's 2977 and stored; the program's own moves, before and after,
    // are not.
    void attenuationMovedByUser() {
        for (const auto& [move, sent] : {std::pair("program", 0), {"key", 199}, {"wheel", 197}}) {
            Editor f;
            QUdpSocket element;
            QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977) &&
                    f.selectNode("02:00:00:00:00:0B"));
            QScrollBar* bar = f.c().scrlAtten;
            bar->setFocus();
            if (move == QLatin1String("program")) {
                bar->setValue(150);
            } else if (move == QLatin1String("key")) {
                QTest::keyClick(bar, Qt::Key_Left);
            } else {
                QWheelEvent wheel(QPointF(bar->rect().center()), QPointF(), {}, QPoint(0, -120),
                                  Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(bar, &wheel);
            }
            QTRY_COMPARE(element.pendingDatagramSize(), sent ? 2 : -1);
            QCOMPARE(element.receiveDatagram().data(),
                     sent ? QByteArray(1, char(sent)) + '\0' : "");
            bar->setValue(100);
            QVERIFY(f.readIni().contains("ATT=" + QByteArray::number(sent ? sent : 200) + "\r\n"));
        }
    }

    // Shown while "EULA1" is not a number; each click of the box is stored at once.
    void notice() {
        testsupport::StationFixture f(QStringLiteral("127.0.11.1"));
        f.settings.values.insert("EULA1", "not a number");
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* notice = qobject_cast<app::FrmDisclaimer*>(QApplication::activeModalWidget());
            for (const char* name : {"Label1", "chkAgree", "cmdClose"})
                seen << notice->findChild<QWidget*>(name)->property("text").toString();
            for (int i = 0; i < 3; ++i) {
                notice->chkAgree()->click();
                seen << f.settings.values.value("EULA1") + QString::number(f.settings.saves);
            }
            notice->cmdClose()->click();
        });
        QVERIFY(f.start());
        QCOMPARE(seen, (QStringList{"IMPORTANT NOTICE!",
                                    "I have read and understood all the above. Do not show this "
                                    "notification again.",
                                    "&Close", "11", "02", "13"}));
    }

    // Scripts and screen readers find each control the same way: its name is its object name
    // and its accessible description, and it has the role of its kind.
    void controlsByName() {
        const QList<QPair<QAccessible::Role, QString>> families{
            {QAccessible::EditableText, "txtElementName txtElementIP txtElementMask txtElementGW "
                                        "txtRemoteIP txtVLAN_Audio txtVLAN_OM"},
            {QAccessible::ComboBox,
             "cmbEncoders cmbAudioInput cmbAudioType cmbAudioTX cmbSilDetMode cmbNMSIPAddr"},
            {QAccessible::ScrollBar, "scrlAtten scrlBuffer scrlSilDetLevel scrlSilDetTime"},
            {QAccessible::CheckBox, "chkLowLatency chkSFNEnabled chkGetVolume"},
            {QAccessible::Button,
             "cmdPing cmdGetStats cmdAdjust Toolbar1Button1 "
             "Toolbar1Button2 Toolbar1Button4 Toolbar1Button6 Toolbar1Button7"},
            {QAccessible::StaticText, "lblElementType lblElementMAC lblSerialNumber lblVersion "
                                      "Label7 Label9 lblAttenDB Label20 lblLatency Label24 "
                                      "lblSilDetLevel Label26 lblSilDetTime lblVolume"},
            {QAccessible::Tree, "TreeView1"}};
        testsupport::StationFixture f(QStringLiteral("127.0.11.1"));
        QMainWindow& w = f.station().window();
        for (const auto& [role, names] : families) {
            for (const QString& name : names.split(' ')) {
                auto found = w.findChildren<QWidget*>(name);
                if (auto* action = w.findChild<QAction*>(name))
                    found << w.findChild<QToolBar*>("Toolbar1")->widgetForAction(action);
                QVERIFY2(found.size() == 1, qPrintable(name));
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(found.first());
                QVERIFY2(a->text(QAccessible::Description) == name && a->role() == role,
                         qPrintable(name));
            }
        }
    }

    // At 1024x768 every shown control lies inside the window and none covers another; the
    // toolbar cannot be hidden and no two of its buttons, nor an element, share a picture.
    void usableOnASmallScreen() {
        Editor f;
        auto& w = f.station().window();
        w.resize(1024, 768);
        for (const char* mac : {"02:00:00:00:00:0A", "02:00:00:00:00:0B"}) {
            QVERIFY(f.selectNode(mac));
            QApplication::processEvents();
            QList<QRect> shown;
            for (QWidget* c : w.centralWidget()->findChildren<QWidget*>()) {
                const QString name = c->objectName();
                if (!c->isVisible() || qobject_cast<QGroupBox*>(c) ||
                    (c->accessibleDescription().isEmpty() && !name.startsWith("lblCaption")))
                    continue;
                const QRect r(c->mapTo(&w, QPoint()), c->size());
                QVERIFY2(w.rect().contains(r), qPrintable(name));
                for (const QRect& o : shown)
                    QVERIFY2(!r.intersects(o), qPrintable(name));
                shown << r;
            }
        }
        const std::unique_ptr<QMenu> menu(w.createPopupMenu());
        QVERIFY(!menu || menu->isEmpty());
        QList<QImage> pictures{app::FrmMain::elementIcon(true).pixmap(28).toImage()};
        for (int i : {1, 2, 4, 6, 7}) {
            QVERIFY(!pictures.contains(f.c().toolbarButton[i]->icon().pixmap(28).toImage()));
            pictures << f.c().toolbarButton[i]->icon().pixmap(28).toImage();
        }
        // A chosen node shows its picture as it is, not tinted.
        const QIcon node = f.c().TreeView1->topLevelItem(1)->icon(0);
        QCOMPARE(node.pixmap(20, QIcon::Selected).toImage(), node.pixmap(20).toImage());
    }

    // One click on a record the station refuses shows its box once.
    void refusedRecordClickedOnce() {
        Editor f;
        QByteArray ini = "[02000000000F]\r\n";
        for (int i = 0; i < 22; ++i)
            ini += "K" + QByteArray::number(i) + "=1\r\n";
        f.writeIni(ini);
        f.station().RefreshList();
        QTreeWidget* tree = f.c().TreeView1;
        const QRect node = tree->visualItemRect(tree->topLevelItem(0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, node.center());
        QCOMPARE(f.boxes.texts(), QStringList("Cannot load this element info.\rThe data stored in "
                                              "your computer about this element, is corrupted (1)."));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
