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
    "[02000000000B]\r\nNAME=TX SITE\r\nIP=127.0.11.2\r\nMASK=255.0.0.0\r\nGW=127.0.0.254\r\n"
    "INPUT=0\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\n"
    "SDL=37\r\nSDT=43\r\n[02000000000C]\r\nNAME=LOW\r\nIP=127.0.11.2\r\nROLE=2\r\nATT=5\r\n"
    "[02000000000E]\r\nNAME=ODD\r\nTX=0\r\nREMOTE=10.1.1.1\r\nROLE=3\r\n";

const QString kUnwritten = "Unable to write the local database.\rCannot save this element info.";
const QString kA = "02:00:00:00:00:0A", kB = "02:00:00:00:00:0B";

QAccessibleInterface* reader(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}
// What a screen reader, voice control or switch access does with a control.
void act(QWidget* w, const QString& action = QAccessibleActionInterface::toggleAction()) {
    reader(w)->actionInterface()->doAction(action);
}
QAccessibleInterface* byDescription(QAccessibleInterface* a, const QString& text) {
    if (a->text(QAccessible::Description) == text)
        return a;
    for (int i = 0; i < a->childCount(); ++i)
        if (auto* found = byDescription(a->child(i), text))
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

// What the editor shows after the first `steps` of a scenario. Texts: the element type, the
// names a reader hears of the remote field, the shared row's caption and the attenuation, then
// the values it hears of the remote field, the buffer, the silence level and time. Then whether
// the layout is an encoder's (the source list shown, the attenuation hidden, the buffer
// disabled, "Start audio monitoring" enabled) or the reverse, and whether statistics and
// adjustment are enabled.
struct Shown {
    int steps;
    QStringList texts;
    bool encoder = false, stats = true, adjust = false;
};

// How a control is worked: by the program, by a user, or through the accessibility interface.
enum class Way {
    None,
    Program,
    Key,
    Shortcut,
    Drag,
    Middle,
    ScrollHere,
    ReaderValue,
    Space,
    Enter,
    Press
};

// An element's attenuation moved one way (`mac` 0C holds 5): what the element gets (0:
// nothing), the "ATT" line stored after, and whether nms.ini is read-only, so a box says so.
struct Move {
    Way way;
    int sent = 0;
    QByteArray stored;
    bool readOnly = false;
    QString mac = kB;
};

// Keys typed into a field once it is entered (\b is Backspace): its text once the focus has
// left, and whether it is light red.
struct Typed {
    const char* field;
    QString typed, text;
    bool red = false;
};

// A toolbar button worked by its key or another way, with monitoring started before or not:
// the key it tells a reader, the title of the box shown, whether monitoring runs after and the
// MAC shown after.
struct Command {
    int button;
    QString keys, box;
    bool monitoringAfter = false, monitoring = false;
    Way way = Way::Shortcut;
    QString shown = kA;
};

// A started station on a shown window with one encoder, two decoders and one UNKNOWN.
struct Editor : testsupport::StationFixture {
    Editor() : StationFixture("127.0.11.1") {
        writeIni(kElements);
        QVERIFY(start());
        station().window().show();
        QVERIFY(QTest::qWaitForWindowActive(&station().window()));
    }
    template <class T = QWidget> T* get(const char* name) { return c().find<T>(name); }
    QAction* action(int n) { return station().window().toolbarButton(n); }
    QWidget* button(int n) { return get<QToolBar>("Toolbar1")->widgetForAction(action(n)); }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // The scenario: an encoder chosen by click; unicast chosen and an x typed into the remote
    // address; a decoder chosen by key; low latency ticked by a reader and the attenuation set
    // to 255 by the program; an UNKNOWN chosen by key; the list refreshed. An UNKNOWN keeps the
    // last layout but not its addresses; captions follow the values with a decimal point in any
    // locale, never "-0"; loading and the program's moves write nothing.
    void fieldRulesPerElementType_data() {
        QTest::addColumn<Shown>("row");
        const QString src = "Audio source:", att = "Audio atten:", mc = "Multicast IP:";
        const QString ip = "239.1.2.3", lvl = "-18.4dBu", time = "19.6Sec";
        QTest::newRow("encoder") << Shown{
            1, {"ENCODER", mc, src, "Audio atten: dB", ip, "2.5mS", "0dBu", "0Sec"}, true};
        QTest::newRow("unicast, not an address")
            << Shown{2,
                     {"ENCODER", "Decoder IP: (not a valid address)", src, "Audio atten: dB",
                      "192.168.1.91x", "2.5mS", "0dBu", "0Sec"},
                     true};
        QTest::newRow("decoder") << Shown{
            3,
            {"DECODER", mc, att, "Audio atten: -27.5 dB", ip, "10mS", lvl, time},
            false,
            true,
            true};
        QTest::newRow("low latency, 255")
            << Shown{4,
                     {"DECODER", mc, att, "Audio atten: 0 dB", ip, "6.25mS", lvl, time},
                     false,
                     true,
                     true};
        QTest::newRow("unknown") << Shown{
            5,
            {"UNKNOWN", "Decoder IP:", att, "Audio atten: 0 dB", "10.1.1.1", "12.5mS", lvl, time}};
        QTest::newRow("cleared") << Shown{
            6, {"-", "Decoder IP:", att, "Audio atten: 0 dB", "", "-mS", lvl, time}, false, false};
    }
    void fieldRulesPerElementType() {
        QFETCH(Shown, row);
        Editor f;
        auto* tree = f.get("TreeView1");
        const std::function<void()> scenario[] = {
            [&] { QVERIFY(f.selectNode(kA)); },
            [&] {
                f.get<QComboBox>("cmbAudioTX")->setCurrentIndex(0);
                QTest::keyClicks(f.get("txtRemoteIP"), "x");
            },
            [&] { QTest::keyClick(tree, Qt::Key_Down); },
            [&] {
                act(f.get("chkLowLatency"));
                f.get<QScrollBar>("scrlAtten")->setValue(255);
            },
            [&] { QTest::keyClick(tree, Qt::Key_End); },
            [&] { f.station().RefreshList(); }};
        for (int i = 0; i < row.steps; ++i)
            scenario[i]();
        QStringList heard;
        for (auto* name : {"lblElementType", "txtRemoteIP", "Label9", "scrlAtten"})
            heard << reader(f.get(name))->text(QAccessible::Name);
        for (auto* name : {"txtRemoteIP", "scrlBuffer", "scrlSilDetLevel", "scrlSilDetTime"})
            heard << reader(f.get(name))->text(QAccessible::Value);
        QCOMPARE(heard, row.texts);
        for (bool encoderLayout :
             {f.get("cmbAudioInput")->isVisible(), f.get("scrlAtten")->isHidden(),
              !f.get("scrlBuffer")->isEnabled(), f.action(6)->isEnabled()})
            QCOMPARE(encoderLayout, row.encoder);
        QCOMPARE(f.get("cmdGetStats")->isEnabled(), row.stats);
        QCOMPARE(f.get("cmdAdjust")->isEnabled(), row.adjust);
        QCOMPARE(f.readIni(), kElements);
    }

    // A user's move is sent to the element's 2977 and stored; the program's own moves, before
    // and after, are not; a dragged thumb sends once it is released. A failed write, of a move
    // or of the load's correction of a value below 14, gets the same box.
    void attenuationMovedByUser_data() {
        QTest::addColumn<Move>("row");
        QTest::newRow("program") << Move{Way::Program, 0, "ATT=200"};
        QTest::newRow("key") << Move{Way::Key, 199, "ATT=199"};
        QTest::newRow("thumb dragged") << Move{Way::Drag, 255, "ATT=255"};
        QTest::newRow("middle click") << Move{Way::Middle, 14, "ATT=14"};
        QTest::newRow("Scroll here") << Move{Way::ScrollHere, 255, "ATT=255"};
        QTest::newRow("reader's value") << Move{Way::ReaderValue, 14, "ATT=14"};
        QTest::newRow("key, read-only") << Move{Way::Key, 199, "ATT=200", true};
        QTest::newRow("load of 5") << Move{Way::None, 0, "ATT=14", false, "02:00:00:00:00:0C"};
        QTest::newRow("load of 5, read-only")
            << Move{Way::None, 0, "ATT=5", true, "02:00:00:00:00:0C"};
    }
    void attenuationMovedByUser() {
        QFETCH(Move, row);
        Editor f;
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977));
        QVERIFY(!row.readOnly || QFile::setPermissions(f.iniPath(), QFile::ReadOwner));
        QVERIFY(f.selectNode(row.mac));
        auto* bar = f.get<QScrollBar>("scrlAtten");
        bar->setFocus();
        const int y = bar->height() / 2;
        const QPoint right(bar->width() + 50, y);
        if (row.way == Way::Program)
            bar->setValue(150);
        if (row.way == Way::Key)
            QTest::keyClick(bar, Qt::Key_Left);
        if (row.way == Way::Drag) {
            QTest::mousePress(bar, Qt::LeftButton, {},
                              part(bar, QStyle::SC_ScrollBarSlider).center());
            QTest::mouseMove(bar, right);
            QVERIFY(bar->isSliderDown() && !element.hasPendingDatagrams());
            QVERIFY(f.readIni().contains("ATT=200\r\n"));
            QTest::mouseRelease(bar, Qt::LeftButton, {}, right);
        }
        if (row.way == Way::Middle)
            QTest::mouseClick(bar, Qt::MiddleButton, {},
                              part(bar, QStyle::SC_ScrollBarSubPage).topLeft() + QPoint(1, y));
        if (row.way == Way::ScrollHere) {
            // "Scroll here" is the menu's first item.
            QTimer::singleShot(0, [] {
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
            });
            const QPoint here = part(bar, QStyle::SC_ScrollBarAddPage).topRight() + QPoint(-1, y);
            QContextMenuEvent menu(QContextMenuEvent::Mouse, here, bar->mapToGlobal(here));
            QApplication::sendEvent(bar, &menu);
        }
        if (row.way == Way::ReaderValue)
            reader(bar)->valueInterface()->setCurrentValue(14);
        QTRY_COMPARE(element.pendingDatagramSize(), row.sent ? 2 : -1);
        QCOMPARE(element.receiveDatagram().data(),
                 row.sent ? QByteArray(1, char(row.sent)) + '\0' : "");
        QCOMPARE(f.boxes.texts(), row.readOnly ? QStringList{kUnwritten} : QStringList());
        bar->setValue(100);
        QVERIFY(f.readIni().contains(row.stored + "\r\n"));
    }

    // Entering a field selects its whole text, so typing replaces it; each field holds its
    // length; an address field is light red while its text is no address; the name is upper-
    // cased once the focus leaves it.
    void textFields_data() {
        QTest::addColumn<Typed>("row");
        QTest::newRow("IP of 16") << Typed{"txtElementIP", "1234567890123456", "123456789012345",
                                           true};
        QTest::newRow("IP of 300") << Typed{"txtElementIP", "192.168.1.300", "192.168.1.300", true};
        QTest::newRow("IP corrected") << Typed{"txtElementIP", "192.168.1.300\b", "192.168.1.30"};
        QTest::newRow("mask of 3 parts") << Typed{"txtElementMask", "10.0.0", "10.0.0", true};
        QTest::newRow("gateway of 5 parts")
            << Typed{"txtElementGW", "10.0.0.1.5", "10.0.0.1.5", true};
        QTest::newRow("mask emptied") << Typed{"txtElementMask", "x\b", ""};
        QTest::newRow("mask of 16")
            << Typed{"txtElementMask", "10.0.0.10.0.0.10", "10.0.0.10.0.0.1", true};
        QTest::newRow("gateway of 16")
            << Typed{"txtElementGW", "10.0.0.1.5.6.7.8", "10.0.0.1.5.6.7.", true};
        QTest::newRow("remote of 16")
            << Typed{"txtRemoteIP", "239.255.255.2399", "239.255.255.239"};
        QTest::newRow("name of 17")
            << Typed{"txtElementName", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP"};
        QTest::newRow("audio VLAN of 5") << Typed{"txtVLAN_Audio", "40951", "4095"};
        QTest::newRow("O&M VLAN of 5") << Typed{"txtVLAN_OM", "12345", "1234"};
    }
    void textFields() {
        QFETCH(Typed, row);
        Editor f;
        QVERIFY(f.selectNode(kB));
        auto* edit = f.get<QLineEdit>(row.field);
        const QString before = edit->text();
        QVERIFY(!before.isEmpty());
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(2, 5));
        QTRY_COMPARE(edit->selectedText(), before);
        QTest::keyClicks(edit, row.typed);
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->text(), row.text);
        QCOMPARE(edit->palette().color(QPalette::Base),
                 row.red ? QColor(255, 128, 128) : QApplication::palette().color(QPalette::Base));
    }

    // Shown while "EULA1" is not a number; each tick or untick of the box, by a reader's
    // Toggle or a click, is stored at once.
    void notice() {
        testsupport::StationFixture f("127.0.11.1");
        f.settings.values.insert("EULA1", "not a number");
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* notice = qobject_cast<app::FrmDisclaimer*>(QApplication::activeModalWidget());
            for (auto* name : {"Label1", "chkAgree", "cmdClose"})
                seen << notice->findChild<QWidget*>(name)->property("text").toString();
            for (bool byReader : {true, false, true}) {
                if (byReader)
                    act(notice->chkAgree());
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
        for (auto* name : {"txtElementIP", "scrlAtten", "Toolbar1Button4"})
            QTest::newRow(name) << QString(name);
    }
    void controlByDescription() {
        QFETCH(QString, name);
        Editor f;
        auto* found = byDescription(reader(&f.station().window()), name);
        QVERIFY(found && found->object()->objectName().startsWith(name));
    }

    // Each toolbar command by its key, and by Space, Enter or a reader's Press on its focused
    // button, does what a click does, boxes included; nothing while its button is disabled.
    // The button tells a reader its key.
    void toolbarKeys_data() {
        QTest::addColumn<Command>("row");
        QTest::newRow("Ctrl+D discovers") << Command{1, "Ctrl+D", "Auto Discovery"};
        QTest::newRow("F5 refreshes") << Command{.button = 2, .keys = "F5", .shown = "-"};
        QTest::newRow("Ctrl+S saves") << Command{4, "Ctrl+S", "Error!"};
        QTest::newRow("Ctrl+M starts") << Command{6, "Ctrl+M", "", true};
        QTest::newRow("Ctrl+Shift+M stops")
            << Command{.button = 7, .keys = "Ctrl+Shift+M", .monitoring = true};
        QTest::newRow("Ctrl+M, started") << Command{6, "Ctrl+M", "", true, true};
        QTest::newRow("Space starts")
            << Command{.button = 6, .keys = "Ctrl+M", .monitoringAfter = true, .way = Way::Space};
        QTest::newRow("Enter refreshes")
            << Command{.button = 2, .keys = "F5", .way = Way::Enter, .shown = "-"};
        QTest::newRow("Press discovers")
            << Command{.button = 1, .keys = "Ctrl+D", .box = "Auto Discovery", .way = Way::Press};
    }
    void toolbarKeys() {
        QFETCH(Command, row);
        Editor f;
        QVERIFY(f.selectNode(kA));
        if (row.monitoring)
            f.station().StartMonitoring();
        QWidget* b = f.button(row.button);
        const QString press = QAccessibleActionInterface::pressAction();
        QCOMPARE(reader(b)->actionInterface()->keyBindingsForAction(press), {row.keys});
        b->setFocus();
        if (row.way == Way::Shortcut)
            QTest::keySequence(&f.station().window(), QKeySequence(row.keys));
        if (row.way == Way::Space || row.way == Way::Enter)
            QTest::keyClick(b, row.way == Way::Space ? Qt::Key_Space : Qt::Key_Return);
        if (row.way == Way::Press) {
            act(b, press);
            QCOMPARE(f.boxes.count(), 0); // the reader is answered before a box can hold it
        }
        // The click follows the press animation of a key or a reader.
        QTRY_VERIFY(!qobject_cast<QToolButton*>(b)->isDown());
        QCOMPARE(f.boxes.titles(), row.box.isEmpty() ? QStringList() : QStringList{row.box});
        QCOMPARE(f.get<QCheckBox>("chkGetVolume")->isChecked(), row.monitoringAfter);
        QCOMPARE(f.get<QLabel>("lblElementMAC")->text(), row.shown);
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
                const QRect r(c->mapTo(&w, QPoint()), c->size());
                if (!c->isVisible() || qobject_cast<QGroupBox*>(c) ||
                    (c->accessibleDescription().isEmpty() && !name.startsWith("lblCaption")))
                    continue;
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
            pictures << f.action(i)->icon().pixmap(28).toImage();
            QCOMPARE(pictures.count(pictures.last()), 1);
        }
        // A chosen node shows its picture as it is, not tinted.
        const QIcon node = f.get<QTreeWidget>("TreeView1")->topLevelItem(1)->icon(0);
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
        auto* tree = f.get<QTreeWidget>("TreeView1");
        const QRect node = tree->visualItemRect(tree->topLevelItem(0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, node.center());
        QCOMPARE(f.boxes.texts(),
                 QStringList("Cannot load this element info.\rThe data stored in "
                             "your computer about this element, is corrupted (1)."));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
