// The element editor of the running station: what it shows per element type, the attenuation a
// user moves, the text fields' rules, the firmware notice, the toolbar's keys, and what screen
// readers and scripts find and can do.
#include "support/stationfixture.h"

#include "app/frmDisclaimer.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

const QByteArray kElements =
    "[02000000000A]\r\nNAME=STUDIO 1\r\nIP=127.0.11.3\r\nTX=1\r\nMULTI=239.1.2.3\r\nROLE=1\r\n"
    "[02000000000B]\r\nNAME=TX "
    "SITE\r\nIP=127.0.11.2\r\nMASK=255.0.0.0\r\nGW=127.0.0.254\r\nINPUT=0\r\nTX=0\r\n"
    "MULTI=239.1.2.3\r\nROLE=2\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\n"
    "[02000000000C]\r\nNAME=LOW\r\nIP=127.0.11.2\r\nROLE=2\r\nATT=5\r\n"
    "[02000000000E]\r\nNAME=ODD\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n";

const QString kA = "02:00:00:00:00:0A", kB = "02:00:00:00:00:0B", kC = "02:00:00:00:00:0C";

QAccessibleInterface* reader(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}
// What a screen reader, voice control or switch access does with a control.
void act(QWidget* w, const QString& action) {
    reader(w)->actionInterface()->doAction(action);
}
QAccessibleInterface* byDescription(QAccessibleInterface* a, const QString& description) {
    if (a->text(QAccessible::Description) == description)
        return a;
    for (int i = 0; i < a->childCount(); ++i)
        if (QAccessibleInterface* found = byDescription(a->child(i), description))
            return found;
    return nullptr;
}
// Where a part of a horizontal bar lies now.
QRect part(QScrollBar* bar, QStyle::SubControl control) {
    QStyleOptionSlider o;
    o.initFrom(bar);
    o.state |= QStyle::State_Horizontal;
    o.minimum = bar->minimum();
    o.maximum = bar->maximum();
    o.sliderPosition = bar->sliderPosition();
    o.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, control, bar);
}

// What the editor shows after the first `steps` of a scenario: the element type; the remote
// field's name, as a reader hears it, and text; the caption of the shared row; what a reader
// hears of the buffer, the attenuation, the silence level and time. Then whether the layout is
// an encoder's (the source list shown, the attenuation hidden, the buffer disabled, "Start
// audio monitoring" enabled) or the reverse, and whether statistics and adjustment are enabled.
struct Shown {
    int steps;
    QStringList texts;
    bool encoder = false, stats = true, adjust = false;
};

// How a control is worked: by the program, by a user, or through the accessibility interface.
enum class Way {
    Program,
    Key,
    Drag,
    Middle,
    ScrollHere,
    ReaderValue,
    Shortcut,
    Space,
    Enter,
    Press,
    None
};

// The attenuation of an element moved one way: what the element gets (0: nothing) and the
// "att" line nms.ini holds afterwards. With readOnly nms.ini may not be written.
struct Move {
    QString mac = kB;
    bool readOnly = false;
    Way way = Way::None;
    int sent = 0;
    QByteArray stored;
};

// Keys typed into a field once it is entered (\b is Backspace): its text once the focus has
// left, and whether it is light red.
struct Typed {
    QString field, typed, text;
    bool red = false;
};

// A toolbar button worked its way, with monitoring started before or not: the key it tells a
// reader, the title of the box shown, if any, whether monitoring runs and the MAC shown after.
struct Command {
    bool monitoring = false;
    int button;
    QString keys;
    Way way = Way::Shortcut;
    QString box;
    bool monitoringAfter = false;
    QString shown = kA;
};

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
        return qobject_cast<QToolButton*>(bar->widgetForAction(c().toolbarButton[n]));
    }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // Each row takes the first `steps` of these: an encoder chosen by click, unicast chosen and
    // an x typed into the remote address, a decoder chosen by key, low latency ticked by a
    // reader and the attenuation set to 255 by the program, an UNKNOWN chosen by key, the list
    // refreshed. An UNKNOWN keeps the last layout but not its addresses; captions follow the
    // values with a decimal point in any locale; loading and the program's moves write nothing.
    void fieldRulesPerElementType_data() {
        QTest::addColumn<Shown>("row");
        QTest::newRow("encoder") << Shown{.steps = 1,
                                          .texts = {"ENCODER", "Multicast IP:", "239.1.2.3",
                                                    "Audio source:", "2.5mS", "Audio atten: dB",
                                                    "0dBu", "0Sec"},
                                          .encoder = true};
        QTest::newRow("unicast, not an address")
            << Shown{.steps = 2,
                     .texts = {"ENCODER", "Decoder IP: (not a valid address)", "192.168.1.91x",
                               "Audio source:", "2.5mS", "Audio atten: dB", "0dBu", "0Sec"},
                     .encoder = true};
        QTest::newRow("decoder") << Shown{.steps = 3,
                                          .texts = {"DECODER", "Multicast IP:", "239.1.2.3",
                                                    "Audio atten:", "10mS", "Audio atten: -27.5 dB",
                                                    "-18.4dBu", "19.6Sec"},
                                          .adjust = true};
        QTest::newRow("low latency, 255")
            << Shown{.steps = 4,
                     .texts = {"DECODER", "Multicast IP:", "239.1.2.3", "Audio atten:", "6.25mS",
                               "Audio atten: 0 dB", "-18.4dBu", "19.6Sec"},
                     .adjust = true};
        QTest::newRow("unknown") << Shown{.steps = 5,
                                          .texts = {"UNKNOWN", "Decoder IP:", "10.1.1.1",
                                                    "Audio atten:", "12.5mS", "Audio atten: 0 dB",
                                                    "-18.4dBu", "19.6Sec"}};
        QTest::newRow("cleared") << Shown{.steps = 6,
                                          .texts = {"-", "Decoder IP:", "", "Audio atten:", "-mS",
                                                    "Audio atten: 0 dB", "-18.4dBu", "19.6Sec"},
                                          .stats = false};
    }
    void fieldRulesPerElementType() {
        QFETCH(Shown, row);
        Editor f;
        auto& c = f.c();
        const std::function<void()> scenario[] = {
            [&] { QVERIFY(f.selectNode(kA)); },
            [&] {
                c.cmbAudioTX->setCurrentIndex(0);
                QTest::keyClicks(c.txtRemoteIP, "x");
            },
            [&] { QTest::keyClick(c.TreeView1, Qt::Key_Down); },
            [&] {
                act(c.chkLowLatency, QAccessibleActionInterface::toggleAction());
                c.scrlAtten->setValue(255);
            },
            [&] { QTest::keyClick(c.TreeView1, Qt::Key_End); },
            [&] { f.station().RefreshList(); }};
        for (int i = 0; i < row.steps; ++i)
            scenario[i]();
        const auto value = [](QWidget* bar) { return reader(bar)->text(QAccessible::Value); };
        QCOMPARE(
            (QStringList{c.lblElementType->text(), reader(c.txtRemoteIP)->text(QAccessible::Name),
                         c.txtRemoteIP->text(), c.Label9->text(), value(c.scrlBuffer),
                         reader(c.scrlAtten)->text(QAccessible::Name), value(c.scrlSilDetLevel),
                         value(c.scrlSilDetTime)}),
            row.texts);
        QCOMPARE(c.cmbAudioInput->isVisible(), row.encoder);
        QCOMPARE(c.scrlAtten->isVisible(), !row.encoder);
        QCOMPARE(c.scrlBuffer->isEnabled(), !row.encoder);
        QCOMPARE(c.toolbarButton[6]->isEnabled(), row.encoder);
        QCOMPARE(c.cmdGetStats->isEnabled(), row.stats);
        QCOMPARE(c.cmdAdjust->isEnabled(), row.adjust);
        QCOMPARE(f.readIni(), kElements);
    }

    // A user's move is sent to the element's 2977 and stored; the program's own moves, before
    // and after, are not; a dragged thumb sends once it is released. A failed write, of a move
    // or of the load's correction of a value below 14, gets the same box.
    void attenuationMovedByUser_data() {
        QTest::addColumn<Move>("row");
        QTest::newRow("program") << Move{.way = Way::Program, .stored = "ATT=200"};
        QTest::newRow("key") << Move{.way = Way::Key, .sent = 199, .stored = "ATT=199"};
        QTest::newRow("thumb dragged") << Move{.way = Way::Drag, .sent = 255, .stored = "ATT=255"};
        QTest::newRow("middle click") << Move{.way = Way::Middle, .sent = 14, .stored = "ATT=14"};
        QTest::newRow("Scroll here")
            << Move{.way = Way::ScrollHere, .sent = 255, .stored = "ATT=255"};
        QTest::newRow("reader's value")
            << Move{.way = Way::ReaderValue, .sent = 14, .stored = "ATT=14"};
        QTest::newRow("key, read-only")
            << Move{.readOnly = true, .way = Way::Key, .sent = 199, .stored = "ATT=200"};
        QTest::newRow("load of 5") << Move{.mac = kC, .stored = "ATT=14"};
        QTest::newRow("load of 5, read-only")
            << Move{.mac = kC, .readOnly = true, .stored = "ATT=5"};
    }
    void attenuationMovedByUser() {
        QFETCH(Move, row);
        const Way move = row.way;
        Editor f;
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977));
        QVERIFY(!row.readOnly || QFile::setPermissions(f.iniPath(), QFile::ReadOwner));
        QVERIFY(f.selectNode(row.mac));
        QScrollBar* bar = f.c().scrlAtten;
        bar->setFocus();
        const int y = bar->height() / 2;
        if (move == Way::Program) {
            bar->setValue(150);
        } else if (move == Way::Key) {
            QTest::keyClick(bar, Qt::Key_Left);
        } else if (move == Way::Drag) {
            QTest::mousePress(bar, Qt::LeftButton, {},
                              part(bar, QStyle::SC_ScrollBarSlider).center());
            QTest::mouseMove(bar, QPoint(bar->width() + 50, y));
            QVERIFY(bar->isSliderDown());
            QVERIFY(!element.hasPendingDatagrams() && f.readIni().contains("ATT=200\r\n"));
            QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() + 50, y));
        } else if (move == Way::Middle) {
            QTest::mouseClick(bar, Qt::MiddleButton, {},
                              part(bar, QStyle::SC_ScrollBarSubPage).topLeft() + QPoint(1, y));
        } else if (move == Way::ScrollHere) {
            // "Scroll here" is the menu's first item.
            QTimer::singleShot(0, [] {
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
            });
            const QPoint here = part(bar, QStyle::SC_ScrollBarAddPage).topRight() + QPoint(-1, y);
            QContextMenuEvent menu(QContextMenuEvent::Mouse, here, bar->mapToGlobal(here));
            QApplication::sendEvent(bar, &menu);
        } else if (move == Way::ReaderValue) {
            reader(bar)->valueInterface()->setCurrentValue(14);
        }
        QTRY_COMPARE(element.pendingDatagramSize(), row.sent ? 2 : -1);
        QCOMPARE(element.receiveDatagram().data(),
                 row.sent ? QByteArray(1, char(row.sent)) + '\0' : "");
        QCOMPARE(f.boxes.texts(), row.readOnly ? QStringList{"Unable to write the local database.\r"
                                                             "Cannot save this element info."}
                                               : QStringList());
        bar->setValue(100);
        QVERIFY(f.readIni().contains(row.stored + "\r\n"));
    }

    // Entering a field selects its whole text, so typing replaces it; each field holds its
    // length; an address field is light red while its text is no address; the name is upper-
    // cased once the focus leaves it.
    void textFields_data() {
        QTest::addColumn<Typed>("row");
        QTest::newRow("IP of 300") << Typed{"txtElementIP", "192.168.1.300", "192.168.1.300", true};
        QTest::newRow("IP corrected") << Typed{"txtElementIP", "192.168.1.300\b", "192.168.1.30"};
        QTest::newRow("IP of 16") << Typed{"txtElementIP", "1234567890123456", "123456789012345",
                                           true};
        QTest::newRow("mask of 3 parts") << Typed{"txtElementMask", "10.0.0", "10.0.0", true};
        QTest::newRow("mask emptied") << Typed{"txtElementMask", "x\b", ""};
        QTest::newRow("gateway of 5 parts")
            << Typed{"txtElementGW", "10.0.0.1.5", "10.0.0.1.5", true};
        QTest::newRow("mask of 16")
            << Typed{"txtElementMask", "255.255.255.2555", "255.255.255.255"};
        QTest::newRow("gateway of 16")
            << Typed{"txtElementGW", "10.0.0.1.5.6.7.8", "10.0.0.1.5.6.7.", true};
        QTest::newRow("remote of 16")
            << Typed{"txtRemoteIP", "239.255.255.2399", "239.255.255.239"};
        QTest::newRow("name") << Typed{"txtElementName", "studio a", "STUDIO A"};
        QTest::newRow("name of 17")
            << Typed{"txtElementName", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP"};
        QTest::newRow("audio VLAN") << Typed{"txtVLAN_Audio", "4095", "4095"};
        QTest::newRow("O&M VLAN of 5") << Typed{"txtVLAN_OM", "12345", "1234"};
    }
    void textFields() {
        QFETCH(Typed, row);
        Editor f;
        QVERIFY(f.selectNode(kB));
        auto* edit = f.station().window().findChild<QLineEdit*>(row.field);
        const QString before = edit->text();
        QVERIFY(!before.isEmpty());
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(2, edit->height() / 2));
        QTRY_COMPARE(edit->selectedText(), before);
        QTest::keyClicks(edit, row.typed);
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!edit->hasFocus());
        QCOMPARE(edit->text(), row.text);
        QCOMPARE(edit->palette().color(QPalette::Base),
                 row.red ? QColor(255, 128, 128) : QApplication::palette().color(QPalette::Base));
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

    // A script finds a control by its accessible description, which is the control's name.
    void controlByDescription_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::newRow("address field") << "txtElementIP" << int(QAccessible::EditableText);
        QTest::newRow("attenuation") << "scrlAtten" << int(QAccessible::ScrollBar);
        QTest::newRow("Save changes") << "Toolbar1Button4" << int(QAccessible::Button);
    }
    void controlByDescription() {
        QFETCH(QString, name);
        Editor f;
        QVERIFY(f.selectNode(kB));
        QAccessibleInterface* found = byDescription(reader(&f.station().window()), name);
        QVERIFY(found);
        QTEST(int(found->role()), "role");
        QVERIFY(found->object()->objectName().startsWith(name));
    }

    // Each toolbar command by its key, and by Space, Enter or a reader's Press on its focused
    // button, does what a click does, boxes included; nothing while its button is disabled.
    // The button tells a reader its key.
    void toolbarKeys_data() {
        QTest::addColumn<Command>("row");
        QTest::newRow("Ctrl+D discovers")
            << Command{.button = 1, .keys = "Ctrl+D", .box = "Auto Discovery"};
        QTest::newRow("F5 refreshes") << Command{.button = 2, .keys = "F5", .shown = "-"};
        QTest::newRow("Ctrl+S saves") << Command{.button = 4, .keys = "Ctrl+S", .box = "Error!"};
        QTest::newRow("Ctrl+M starts")
            << Command{.button = 6, .keys = "Ctrl+M", .monitoringAfter = true};
        QTest::newRow("Ctrl+Shift+M stops")
            << Command{.monitoring = true, .button = 7, .keys = "Ctrl+Shift+M"};
        QTest::newRow("Ctrl+M, started")
            << Command{.monitoring = true, .button = 6, .keys = "Ctrl+M", .monitoringAfter = true};
        QTest::newRow("Space starts")
            << Command{.button = 6, .keys = "Ctrl+M", .way = Way::Space, .monitoringAfter = true};
        QTest::newRow("Enter refreshes")
            << Command{.button = 2, .keys = "F5", .way = Way::Enter, .shown = "-"};
        QTest::newRow("Press discovers")
            << Command{.button = 1, .keys = "Ctrl+D", .way = Way::Press, .box = "Auto Discovery"};
    }
    void toolbarKeys() {
        QFETCH(Command, row);
        const Way way = row.way;
        Editor f;
        QVERIFY(f.selectNode(kA));
        if (row.monitoring)
            f.station().StartMonitoring();
        QToolButton* b = f.button(row.button);
        const QString press = QAccessibleActionInterface::pressAction();
        QCOMPARE(reader(b)->actionInterface()->keyBindingsForAction(press), {row.keys});
        if (way == Way::Shortcut) {
            QTest::keySequence(&f.station().window(), QKeySequence(row.keys));
        } else if (way == Way::Press) {
            act(b, press);
            QCOMPARE(f.boxes.count(), 0); // the reader is answered before a box can hold it
        } else {
            b->setFocus();
            QTest::keyClick(b, way == Way::Space ? Qt::Key_Space : Qt::Key_Return);
        }
        QTRY_VERIFY(!b->isDown()); // the click follows the press animation of a key or a reader
        QCOMPARE(f.boxes.titles(), row.box.isEmpty() ? QStringList() : QStringList{row.box});
        QCOMPARE(f.c().chkGetVolume->isChecked(), row.monitoringAfter);
        QCOMPARE(f.c().lblElementMAC->text(), row.shown);
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
        QCOMPARE(f.boxes.texts(),
                 QStringList("Cannot load this element info.\rThe data stored in "
                             "your computer about this element, is corrupted (1)."));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
