// The element editor of the running station: field rules per element type, captions that
// follow values, the attenuation a user moves, the firmware notice, the toolbar's keys, and
// what scripts and screen readers find of the controls and can do with them.
#include "support/stationfixture.h"

#include "app/frmDisclaimer.h"
#include "diag/frmAdjust.h"
#include "editor/elementeditor.h"
#include "fakes/scriptedmessagebox.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

const QByteArray kElements =
    "[02000000000A]\r\nNAME=STUDIO 1\r\nIP=127.0.11.3\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\n"
    "[02000000000B]\r\nNAME=TX SITE\r\nIP=127.0.11.2\r\nINPUT=0\r\nTX=0\r\nMULTI=239.1.2.3\r\n"
    "ROLE=2\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\n"
    "[02000000000C]\r\nNAME=LOW\r\nIP=127.0.11.2\r\nROLE=2\r\nATT=5\r\n"
    "[02000000000E]\r\nNAME=ODD\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n";

const QString kA = "02:00:00:00:00:0A", kB = "02:00:00:00:00:0B", kC = "02:00:00:00:00:0C";

QAccessibleInterface* reader(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}
// What a screen reader, voice control or switch access does with a control.
void act(QWidget* w, const QString& action) {
    reader(w)->actionInterface()->doAction(action);
}

// How a control is worked: by the program, by a user, or through the accessibility interface.
enum class Way { Program, Key, Wheel, ReaderValue, Shortcut, Space, Enter, Press, None };

// A started station on a shown window with one encoder, two decoders and one UNKNOWN.
struct Editor : testsupport::StationFixture {
    Editor() : StationFixture(QStringLiteral("127.0.11.1")) {
        writeIni(kElements);
        QVERIFY(start());
        station().window().show();
        QVERIFY(QTest::qWaitForWindowActive(&station().window()));
    }
    QToolButton* button(int n) {
        auto* bar = station().window().findChild<QToolBar*>("Toolbar1");
        return qobject_cast<QToolButton*>(
            bar->widgetForAction(station().window().toolbarButton(n)));
    }
    // What the user sees, and a reader hears, of the role-dependent part of the editor: the
    // remote field's name, the captions, the bars' values.
    QString seen() {
        auto w = c();
        const auto n = [](bool b) { return QString::number(b); };
        const auto value = [](QWidget* bar) { return reader(bar)->text(QAccessible::Value); };
        const QString bits = n(w.find<QComboBox>("cmbAudioInput")->isVisible()) +
                             n(w.find<QScrollBar>("scrlAtten")->isVisible()) +
                             n(w.find<QScrollBar>("scrlBuffer")->isEnabled()) +
                             n(w.find<QPushButton>("cmdGetStats")->isEnabled()) +
                             n(w.find<QPushButton>("cmdAdjust")->isEnabled()) +
                             n(station().window().toolbarButton(6)->isEnabled());
        return QStringList{w.find<QLabel>("lblElementType")->text(),
                           reader(w.find<QLineEdit>("txtRemoteIP"))->text(QAccessible::Name),
                           w.find<QLineEdit>("txtRemoteIP")->text(),
                           w.find<QLabel>("Label9")->text(),
                           value(w.find<QScrollBar>("scrlBuffer")),
                           value(w.find<QScrollBar>("scrlAtten")),
                           value(w.find<QScrollBar>("scrlSilDetLevel")),
                           value(w.find<QScrollBar>("scrlSilDetTime")),
                           bits}
            .join('|');
    }
};

} // namespace

Q_DECLARE_METATYPE(Way)

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // Chosen by click and keyboard; an UNKNOWN keeps the last layout but not its addresses;
    // the captions follow the values, with a decimal point in any locale, and the names follow
    // the captions.
    void fieldRulesPerElementType() {
        Editor f;
        auto c = f.c();
        QVERIFY(f.selectNode(kA));
        const QString sil = "|dB|0dBu|0Sec|";
        QCOMPARE(f.seen(), "ENCODER|Multicast IP:|239.1.2.3|Audio source:|2.5mS" + sil + "100101");
        c.find<QComboBox>("cmbAudioTX")
            ->setCurrentIndex(0); // unicast: the stored (default) decoder address
        QCOMPARE(f.seen(), "ENCODER|Decoder IP:|192.168.1.91|Audio source:|2.5mS" + sil + "100101");
        QTest::keyClicks(c.find<QLineEdit>("txtRemoteIP"),
                         "x"); // told in words, not by colour alone
        const QString bad = "ENCODER|Decoder IP: (not a valid address)|192.168.1.91x|";
        QCOMPARE(f.seen(), bad + "Audio source:|2.5mS" + sil + "100101");
        QTest::keyClick(c.find<QTreeWidget>("TreeView1"), Qt::Key_Down);
        QCOMPARE(f.seen(), "DECODER|Multicast IP:|239.1.2.3|Audio atten:|10mS|-27.5 dB|-18.4dBu|"
                           "19.6Sec|011110");
        QCOMPARE(reader(c.find<QScrollBar>("scrlAtten"))->text(QAccessible::Name),
                 "Audio atten: -27.5 dB");
        act(c.find<QCheckBox>("chkLowLatency"), QAccessibleActionInterface::toggleAction());
        c.find<QScrollBar>("scrlAtten")->setValue(255); // never "-0"
        QCOMPARE(f.seen(), "DECODER|Multicast IP:|239.1.2.3|Audio atten:|6.25mS|0 dB|-18.4dBu|"
                           "19.6Sec|011110");
        QTest::keyClick(c.find<QTreeWidget>("TreeView1"), Qt::Key_End);
        QCOMPARE(f.seen(), "UNKNOWN|Decoder IP:|10.1.1.1|Audio atten:|12.5mS|0 dB|-18.4dBu|"
                           "19.6Sec|011100");
        f.station().RefreshList();
        QCOMPARE(f.seen(), "-|Decoder IP:||Audio atten:|-mS|0 dB|-18.4dBu|19.6Sec|011000");
        QCOMPARE(f.readIni(), kElements); // neither loading nor the program's moves write
    }

    // A user's move, by keys, wheel or a reader's value, is sent to the element's 2977 and
    // stored; the program's own moves, before and after, are not. A failed write, of a move or
    // of the load's correction of a value below 14, gets the same box.
    void attenuationMovedByUser_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("readOnly"); // nms.ini may not be written: a box says so
        QTest::addColumn<Way>("move");
        QTest::addColumn<int>("sent"); // 0: nothing
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("program") << kB << false << Way::Program << 0 << QByteArray("ATT=200");
        QTest::newRow("key") << kB << false << Way::Key << 199 << QByteArray("ATT=199");
        QTest::newRow("wheel") << kB << false << Way::Wheel << 197 << QByteArray("ATT=197");
        QTest::newRow("reader's value")
            << kB << false << Way::ReaderValue << 14 << QByteArray("ATT=14");
        QTest::newRow("key, read-only") << kB << true << Way::Key << 199 << QByteArray("ATT=200");
        QTest::newRow("load of 5") << kC << false << Way::None << 0 << QByteArray("ATT=14");
        QTest::newRow("load of 5, read-only")
            << kC << true << Way::None << 0 << QByteArray("ATT=5");
    }
    void attenuationMovedByUser() {
        QFETCH(QString, mac);
        QFETCH(bool, readOnly);
        QFETCH(Way, move);
        QFETCH(int, sent);
        Editor f;
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977));
        QVERIFY(!readOnly || QFile::setPermissions(f.iniPath(), QFile::ReadOwner));
        QVERIFY(f.selectNode(mac));
        QScrollBar* bar = f.c().find<QScrollBar>("scrlAtten");
        bar->setFocus();
        if (move == Way::Program) {
            bar->setValue(150);
        } else if (move == Way::Key) {
            QTest::keyClick(bar, Qt::Key_Left);
        } else if (move == Way::Wheel) {
            QWheelEvent wheel(QPointF(bar->rect().center()), QPointF(), {}, QPoint(0, -120),
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
        } else if (move == Way::ReaderValue) {
            reader(bar)->valueInterface()->setCurrentValue(14);
        }
        QTRY_COMPARE(element.pendingDatagramSize(), sent ? 2 : -1);
        QCOMPARE(element.receiveDatagram().data(), sent ? QByteArray(1, char(sent)) + '\0' : "");
        QCOMPARE(f.boxes.texts(), readOnly ? QStringList{"Unable to write the local database.\r"
                                                         "Cannot save this element info."}
                                           : QStringList());
        bar->setValue(100);
        QFETCH(QByteArray, stored);
        QVERIFY(f.readIni().contains(stored + "\r\n"));
    }

    // Shown while "EULA1" is not a number; each tick or untick of the box, by a click or a
    // reader's Toggle, is stored at once.
    void notice() {
        testsupport::StationFixture f(QStringLiteral("127.0.11.1"));
        f.settings.values.insert("EULA1", "not a number");
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* notice = qobject_cast<app::FrmDisclaimer*>(QApplication::activeModalWidget());
            for (const char* name : {"Label1", "chkAgree", "cmdClose"})
                seen << notice->findChild<QWidget*>(name)->property("text").toString();
            for (bool byReader : {true, false, true}) {
                if (byReader)
                    act(notice->chkAgree(), QAccessibleActionInterface::toggleAction());
                else
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
                QAccessibleInterface* a = reader(found.first());
                QVERIFY2(a->text(QAccessible::Description) == name && a->role() == role,
                         qPrintable(name));
            }
        }
    }

    // Each toolbar command by its key, and by Space, Enter or a reader's Press on its focused
    // button, does what a click does, boxes included; nothing while its button is disabled.
    // The button tells a reader its key.
    void toolbarKeys_data() {
        QTest::addColumn<bool>("monitoring"); // started before
        QTest::addColumn<int>("button");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<Way>("way");
        QTest::addColumn<QString>("box"); // the title of the box shown, if any
        QTest::addColumn<bool>("monitoringAfter");
        QTest::addColumn<QString>("shownAfter");
        const QKeySequence ctrlD("Ctrl+D"), f5("F5"), ctrlS("Ctrl+S"), ctrlM("Ctrl+M"),
            ctrlShiftM("Ctrl+Shift+M");
        QTest::newRow("Ctrl+D discovers")
            << false << 1 << ctrlD << Way::Shortcut << "Auto Discovery" << false << kA;
        QTest::newRow("F5 refreshes") << false << 2 << f5 << Way::Shortcut << "" << false << "-";
        QTest::newRow("Ctrl+S saves")
            << false << 4 << ctrlS << Way::Shortcut << "Error!" << false << kA;
        QTest::newRow("Ctrl+M starts") << false << 6 << ctrlM << Way::Shortcut << "" << true << kA;
        QTest::newRow("Ctrl+Shift+M stops")
            << true << 7 << ctrlShiftM << Way::Shortcut << "" << false << kA;
        QTest::newRow("Ctrl+M, started") << true << 6 << ctrlM << Way::Shortcut << "" << true << kA;
        QTest::newRow("Space starts") << false << 6 << ctrlM << Way::Space << "" << true << kA;
        QTest::newRow("Enter refreshes") << false << 2 << f5 << Way::Enter << "" << false << "-";
        QTest::newRow("Press discovers")
            << false << 1 << ctrlD << Way::Press << "Auto Discovery" << false << kA;
    }
    void toolbarKeys() {
        QFETCH(int, button);
        QFETCH(QKeySequence, keys);
        QFETCH(Way, way);
        QFETCH(QString, box);
        Editor f;
        QVERIFY(f.selectNode(kA));
        QFETCH(bool, monitoring);
        if (monitoring)
            f.station().StartMonitoring();
        QToolButton* b = f.button(button);
        const QString press = QAccessibleActionInterface::pressAction();
        QCOMPARE(reader(b)->actionInterface()->keyBindingsForAction(press), {keys.toString()});
        if (way == Way::Shortcut) {
            QTest::keySequence(&f.station().window(), keys);
        } else if (way == Way::Press) {
            act(b, press);
            QCOMPARE(f.boxes.count(), 0); // the reader is answered before a box can hold it
        } else {
            b->setFocus();
            QTest::keyClick(b, way == Way::Space ? Qt::Key_Space : Qt::Key_Return);
        }
        QTRY_VERIFY(!b->isDown()); // the click follows the press animation of a key or a reader
        QCOMPARE(f.boxes.titles(), box.isEmpty() ? QStringList() : QStringList{box});
        QTEST(f.c().find<QCheckBox>("chkGetVolume")->isChecked(), "monitoringAfter");
        QTEST(f.c().find<QLabel>("lblElementMAC")->text(), "shownAfter");
    }

    // Tab goes from the toolbar's enabled buttons to the list, then on to the editor.
    void tabOrder() {
        Editor f;
        f.button(1)->setFocus();
        QStringList seen;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen, (QStringList{"Toolbar1Button2Widget", "Toolbar1Button4Widget", "TreeView1",
                                    "lblElementType"}));
    }

    // The SFN window's boxes act on a reader's Toggle as on a click, and once on a change the
    // window makes itself (opening with auto clear on, a reply turning auto servo on); the auto
    // servo box is announced by the caption a reply gives it.
    void sfnWindowBoxes_data() {
        QTest::addColumn<QString>("box");       // toggled by a reader; none: a reply turns servo on
        QTest::addColumn<bool>("autoRefresh");  // after; it starts the other way
        QTest::addColumn<QString>("autoClear"); // "AutoClearCounters" after, "1" at opening
        QTest::addColumn<int>("stores");        // of "AutoClearCounters", opening included
        QTest::newRow("auto refresh") << "chkAutoUpdate" << true << "1" << 1;
        QTest::newRow("auto servo") << "chkAutoServo" << false << "1" << 1;
        QTest::newRow("auto clear") << "chkAutoClear" << false << "0" << 2;
        QTest::newRow("reply") << "" << false << "1" << 1;
    }
    void sfnWindowBoxes() {
        QFETCH(QString, box);
        Editor f;
        QVERIFY(f.selectNode(kB));
        f.settings.values.insert("AutoClearCounters", "1");
        const int saves = f.settings.saves;
        diag::FrmAdjust window(*f.station().elementEditor().selected(), "127.0.11.1");
        QVERIFY(window.start());
        window.show();
        auto* autoUpdate = window.findChild<QCheckBox*>("chkAutoUpdate");
        QFETCH(bool, autoRefresh);
        autoUpdate->setChecked(!autoRefresh);
        if (box.isEmpty()) {
            QUdpSocket element;
            const QByteArray servo = QByteArray::fromHex("ffffff8801"); // -120 nS, auto servo on
            element.writeDatagram(QByteArray(56, '\0') + servo, QHostAddress("127.0.11.1"), 2978);
            auto* servoBox = window.findChild<QCheckBox*>("chkAutoServo");
            QTRY_COMPARE(reader(servoBox)->text(QAccessible::Name), "Auto servo (-120 nS)");
            QVERIFY(servoBox->isChecked());
        } else {
            act(window.findChild<QCheckBox*>(box), QAccessibleActionInterface::toggleAction());
        }
        QCOMPARE(autoUpdate->isChecked(), autoRefresh);
        QCOMPARE(window.findChild<QTimer*>("Timer2")->isActive(), autoRefresh);
        QTEST(f.settings.values.value("AutoClearCounters"), "autoClear");
        QTEST(f.settings.saves - saves, "stores");
    }

    // At 1024x768 every shown control lies inside the window and none covers another; the
    // toolbar cannot be hidden and no two of its buttons, nor an element, share a picture.
    void usableOnASmallScreen() {
        Editor f;
        auto& w = f.station().window();
        w.resize(1024, 768);
        for (const QString& mac : {kA, kB}) {
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
            QVERIFY(!pictures.contains(
                f.station().window().toolbarButton(i)->icon().pixmap(28).toImage()));
            pictures << f.station().window().toolbarButton(i)->icon().pixmap(28).toImage();
        }
        // A chosen node shows its picture as it is, not tinted.
        const QIcon node = f.c().find<QTreeWidget>("TreeView1")->topLevelItem(1)->icon(0);
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
        QTreeWidget* tree = f.c().find<QTreeWidget>("TreeView1");
        const QRect node = tree->visualItemRect(tree->topLevelItem(0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, node.center());
        QCOMPARE(f.boxes.texts(),
                 QStringList("Cannot load this element info.\rThe data stored in "
                             "your computer about this element, is corrupted (1)."));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
