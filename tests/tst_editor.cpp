// The element editor of the running station: field rules per element type, captions that
// follow values, the attenuation a user moves, the firmware notice, and the names by which
// scripts and screen readers find the controls.
#include "support/stationfixture.h"

#include "app/frmDisclaimer.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

const QString kEncoderMac = QStringLiteral("02:00:00:00:00:0A");
const QString kDecoderMac = QStringLiteral("02:00:00:00:00:0B");
const QByteArray kElements =
    "[02000000000A]\r\nNAME=STUDIO 1\r\nIP=127.0.11.3\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\n"
    "[02000000000B]\r\nNAME=TX SITE\r\nIP=127.0.11.2\r\nINPUT=0\r\nTX=0\r\nMULTI=239.1.2.3\r\n"
    "ROLE=2\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\n"
    "[02000000000E]\r\nNAME=ODD\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n";

// A started station on a shown window with one encoder, one decoder and one UNKNOWN.
struct Editor : testsupport::StationFixture {
    explicit Editor(const QStringList& args = {}) : StationFixture(QStringLiteral("127.0.11.1")) {
        writeIni(kElements);
        QVERIFY(start(args));
        station().window().show();
        QVERIFY(QTest::qWaitForWindowActive(&station().window()));
    }
    QWidget* find(const QString& name) { return station().window().findChild<QWidget*>(name); }
    // What the user sees of the role-dependent part of the editor.
    QString seen() {
        auto& w = c();
        const auto n = [](bool b) { return QString::number(b); };
        return QStringList{w.lblElementType->text(),
                           w.Label7->text(),
                           w.txtRemoteIP->text(),
                           w.Label9->text(),
                           w.lblLatency->text(),
                           n(w.cmbAudioInput->isVisible()),
                           n(w.scrlAtten->isVisible()),
                           n(w.scrlBuffer->isEnabled()),
                           n(w.cmdGetStats->isEnabled()),
                           n(w.cmdAdjust->isEnabled()),
                           n(w.toolbarButton[6]->isEnabled())}
            .join('|');
    }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // Chosen by click and keyboard; an UNKNOWN keeps the last layout but not its addresses.
    void fieldRulesPerElementType() {
        Editor f;
        auto& c = f.c();
        QVERIFY(f.selectNode(kEncoderMac));
        QCOMPARE(f.seen(), "ENCODER|Multicast IP:|239.1.2.3|Audio source:|2.5mS|1|0|0|1|0|1");
        c.cmbAudioTX->setCurrentIndex(0); // unicast: the stored (default) decoder address
        QCOMPARE(f.seen(), "ENCODER|Decoder IP:|192.168.1.91|Audio source:|2.5mS|1|0|0|1|0|1");
        QTest::keyClick(c.TreeView1, Qt::Key_Down);
        QCOMPARE(f.seen(), "DECODER|Multicast IP:|239.1.2.3|Audio atten:|10mS|0|1|1|1|1|0");
        c.cmbSilDetMode->setCurrentIndex(2);
        QVERIFY(!c.scrlSilDetLevel->isEnabled() && !c.scrlSilDetTime->isEnabled());
        c.cmbSilDetMode->setCurrentIndex(0);
        QVERIFY(c.scrlSilDetLevel->isEnabled());
        QTest::keyClick(c.TreeView1, Qt::Key_End);
        QCOMPARE(f.seen(), "UNKNOWN|Decoder IP:|10.1.1.1|Audio atten:|12.5mS|0|1|1|1|0|0");
        c.txtElementName->setText("EDITED"); // Enter on the loaded node keeps the edits
        QTest::keyClick(c.TreeView1, Qt::Key_Return);
        QCOMPARE(c.txtElementName->text(), QStringLiteral("EDITED"));
        f.station().RefreshList();
        QCOMPARE(f.seen(), "-|Decoder IP:||Audio atten:|-mS|0|1|1|0|0|0");
        QCOMPARE(f.readIni(), kElements); // loading never writes

        // Addresses turn red while malformed; a name takes one-byte characters only and is
        // upper-cased on leaving, its length kept.
        QVERIFY(f.selectNode(kDecoderMac));
        const auto base = [](QLineEdit* e) { return e->palette().color(QPalette::Base); };
        const QColor normal = base(c.txtElementIP);
        c.txtElementMask->setText("10.0.0");
        c.txtElementIP->setText("192.168.1.300");
        QVERIFY(base(c.txtElementIP) == QColor(255, 128, 128) &&
                base(c.txtElementMask) == base(c.txtElementIP));
        c.txtElementIP->setText("192.168.1.30");
        c.txtElementMask->clear();
        QVERIFY(base(c.txtElementIP) == normal && base(c.txtElementMask) == normal);
        c.txtElementName->setFocus();
        c.txtElementName->clear();
        for (QChar ch : QString::fromUtf8("studio \u00e9\u20ac\u00df 1234567890")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(c.txtElementName, &press);
        }
        QCOMPARE(c.txtElementName->text(), QString::fromUtf8("studio \u00e9\u00df 123456"));
        c.txtVLAN_OM->setFocus();
        QCOMPARE(c.txtElementName->text(), QString::fromUtf8("STUDIO \u00c9\u00df 123456"));
    }

    void captions_data() {
        QTest::addColumn<QStringList>("r"); // bar, value, start argument or box, label, caption
        QTest::newRow("att top, never -0")
            << QStringList{"scrlAtten", "255", "", "lblAttenDB", "0 dB"};
        QTest::newRow("att 254") << QStringList{"scrlAtten", "254", "", "lblAttenDB", "-0.5 dB"};
        QTest::newRow("att 15") << QStringList{"scrlAtten", "15", "", "lblAttenDB", "-120 dB"};
        QTest::newRow("att mute") << QStringList{"scrlAtten", "14", "", "lblAttenDB", "Mute"};
        QTest::newRow("level 1") << QStringList{"scrlSilDetLevel", "1", "", "lblSilDetLevel",
                                                "-49.8dBu"};
        QTest::newRow("level 154")
            << QStringList{"scrlSilDetLevel", "154", "", "lblSilDetLevel", "-6dBu"};
        QTest::newRow("time 1") << QStringList{"scrlSilDetTime", "1", "", "lblSilDetTime",
                                               "0.5Sec"};
        QTest::newRow("time 220") << QStringList{"scrlSilDetTime", "220", "", "lblSilDetTime",
                                                 "100.1Sec"};
        QTest::newRow("latency PTP") << QStringList{"scrlBuffer", "1", "", "lblLatency", "5mS"};
        QTest::newRow("latency GPS")
            << QStringList{"scrlBuffer", "23", "GPS", "lblLatency", "60mS"};
        QTest::newRow("latency LL")
            << QStringList{"scrlBuffer", "44", "LL", "lblLatency", "57.5mS"};
        QTest::newRow("latency box")
            << QStringList{"scrlBuffer", "1", "box", "lblLatency", "3.75mS"};
    }
    void captions() {
        QFETCH(QStringList, r);
        Editor f(r[2] == "GPS" || r[2] == "LL" ? QStringList{r[2]} : QStringList());
        QVERIFY(f.selectNode(kDecoderMac));
        if (r[2] == "box" || r[2] == "LL")
            f.c().chkLowLatency->click();
        qobject_cast<QScrollBar*>(f.find(r[0]))->setValue(r[1].toInt());
        QCOMPARE(qobject_cast<QLabel*>(f.find(r[3]))->text(), r[4]);
    }

    void attenuationMovedByUser_data() {
        QTest::addColumn<QString>("move");
        QTest::addColumn<int>("sent"); // 0: nothing goes out and "att" stays 200
        QTest::addColumn<QString>("caption");
        QTest::newRow("set by the program") << "program" << 0 << "-52.5 dB";
        QTest::newRow("arrow key") << "key" << 199 << "-28 dB";
        QTest::newRow("wheel") << "wheel" << 197 << "-29 dB";
        QTest::newRow("thumb released") << "drag" << 255 << "0 dB";
        QTest::newRow("menu Scroll here") << "menu" << 14 << "Mute";
    }
    // Sent to the element's 2977 and stored; the program's own moves, before and after,
    // are not.
    void attenuationMovedByUser() {
        QFETCH(QString, move);
        QFETCH(int, sent);
        QFETCH(QString, caption);
        Editor f;
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977));
        QVERIFY(f.selectNode(kDecoderMac));
        QScrollBar* bar = f.c().scrlAtten;
        const int h = bar->height();
        const QPoint troughStart(h * 3 / 2, h / 2), end(bar->width() - 1, h / 2);
        if (move == "program" || move == "key") {
            bar->setFocus();
            move == "key" ? QTest::keyClick(bar, Qt::Key_Left) : bar->setValue(150);
        } else if (move == "wheel") {
            QWheelEvent wheel(QPointF(bar->rect().center()), QPointF(), {}, QPoint(0, -120),
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
        } else if (move == "drag") {
            bar->setValue(14);
            QTest::mousePress(bar, Qt::LeftButton, {}, troughStart);
            QTest::mouseMove(bar, end);
            QCOMPARE(f.c().lblAttenDB->text(), QStringLiteral("Mute")); // nothing while held
            QVERIFY(!element.waitForReadyRead(50));
            QTest::mouseRelease(bar, Qt::LeftButton, {}, end);
        } else { // the bar's context menu, first entry "Scroll here", on the left arrow
            QTimer::singleShot(0, [] {
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
            });
            QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(1, h / 2));
            QApplication::sendEvent(bar, &menu);
        }
        QCOMPARE(f.c().lblAttenDB->text(), caption);
        QTRY_COMPARE(element.pendingDatagramSize(), sent ? 2 : -1);
        QCOMPARE(element.receiveDatagram().data(), sent ? QByteArray(1, char(sent)) + '\0' : "");
        bar->setValue(100);
        QVERIFY(!element.waitForReadyRead(50));
        QVERIFY(f.readIni().contains("\r\nATT=" + QByteArray::number(sent ? sent : 200) + "\r\n"));
    }

    // Shown while "EULA1" is not a number; each click of the box is stored at once.
    void notice() {
        testsupport::StationFixture f(QStringLiteral("127.0.11.1"));
        f.settings.values.insert("EULA1", "not a number");
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* notice = qobject_cast<app::FrmDisclaimer*>(QApplication::activeModalWidget());
            for (const char* name : {"Label1", "Label2", "Label3", "chkAgree", "cmdClose"})
                seen << notice->findChild<QWidget*>(name)->property("text").toString();
            for (int i = 0; i < 3; ++i) {
                notice->chkAgree()->click();
                seen << f.settings.values.value("EULA1") + QString::number(f.settings.saves);
            }
            notice->cmdClose()->click();
        });
        QVERIFY(f.start());
        QCOMPARE(seen, (QStringList{
                           "IMPORTANT NOTICE!",
                           "Since NMS version 3.4.2, we made many significant changes. DO NOT use "
                           "NMS v.3.4.2 to manage Kestrune equipment with older firmware, or they "
                           "will become unusable.",
                           "If you are not sure which version your Kestrune equipment has, please "
                           "consult your local dealer, or contact our support    at "
                           "support@kestrune.example",
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
            {QAccessible::ComboBox, "cmbEncoders cmbAudioInput cmbAudioType cmbAudioTX "
                                    "cmbSilDetMode cmbNMSIPAddr"},
            {QAccessible::ScrollBar, "scrlAtten scrlBuffer scrlSilDetLevel scrlSilDetTime"},
            {QAccessible::CheckBox, "chkLowLatency chkSFNEnabled chkGetVolume chkAgree"},
            {QAccessible::Button,
             "cmdPing cmdGetStats cmdAdjust cmdClose Toolbar1Button1 "
             "Toolbar1Button2 Toolbar1Button4 Toolbar1Button6 Toolbar1Button7"},
            {QAccessible::StaticText, "lblElementType lblElementMAC lblSerialNumber lblVersion "
                                      "Label7 Label9 lblAttenDB Label20 lblLatency Label24 "
                                      "lblSilDetLevel Label26 lblSilDetTime lblVolume Label1 "
                                      "Label2 Label3"},
            {QAccessible::Tree, "TreeView1"},
            {QAccessible::Slider, "Slider1"}};
        app::FrmMain w;
        app::FrmDisclaimer notice;
        for (const auto& [role, names] : families) {
            for (const QString& name : names.split(' ')) {
                QList<QWidget*> found =
                    w.findChildren<QWidget*>(name) + notice.findChildren<QWidget*>(name);
                if (auto* action = w.findChild<QAction*>(name))
                    found << w.controls().Toolbar1->widgetForAction(action);
                QVERIFY2(found.size() == 1, qPrintable(name));
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(found.first());
                QVERIFY2(a->text(QAccessible::Description) == name && a->role() == role,
                         qPrintable(name));
            }
        }
    }

    // At 1024x768 every shown control lies inside the window and none covers another; the
    // toolbar cannot be hidden and each of its pictures differs from the others.
    void usableOnASmallScreen() {
        Editor f;
        auto& w = f.station().window();
        w.resize(1024, 768);
        for (const QString& mac : {kEncoderMac, kDecoderMac}) {
            QVERIFY(f.selectNode(mac));
            QApplication::processEvents();
            QList<QWidget*> shown;
            for (QWidget* c : w.centralWidget()->findChildren<QWidget*>()) {
                const QString name = c->objectName();
                if (!c->isVisible() || qobject_cast<QGroupBox*>(c) ||
                    (c->accessibleDescription().isEmpty() && !name.startsWith("lblCaption")))
                    continue;
                const QRect r(c->mapTo(&w, QPoint()), c->size());
                QVERIFY2(w.rect().contains(r), qPrintable(name));
                for (QWidget* o : shown)
                    QVERIFY2(!r.intersects(QRect(o->mapTo(&w, QPoint()), o->size())),
                             qPrintable(name + " / " + o->objectName()));
                shown << c;
            }
        }
        const std::unique_ptr<QMenu> menu(w.createPopupMenu());
        QVERIFY(!menu || menu->isEmpty());
        QList<QImage> pictures{app::FrmMain::elementIcon(true).pixmap(28).toImage(),
                               app::FrmMain::elementIcon(false).pixmap(28).toImage()};
        for (int i : {1, 2, 4, 6, 7}) {
            const QImage p = f.c().toolbarButton[i]->icon().pixmap(28).toImage();
            QVERIFY2(!p.isNull() && !pictures.contains(p), qPrintable(QString::number(i)));
            pictures << p;
        }
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
