// The element editor of the running station: what it shows per element type, the attenuation a
// user moves, the text fields' rules and the toolbar's keys.
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
    "SDL=37\r\nSDT=43\r\n";

const QString kA = "02:00:00:00:00:0A", kB = "02:00:00:00:00:0B";

QAccessibleInterface* reader(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
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
// disabled, "Start audio monitoring" enabled, adjustment disabled) or the reverse.
struct Shown {
    int steps;
    QStringList texts;
    bool encoder = false;
};

// How the attenuation is moved: by the program or by a user's mouse.
enum class Way { Program, Drag, Middle, ScrollHere, Reader };

// The decoder's attenuation moved one way: what the element gets (0: nothing) and the "ATT"
// line stored after.
struct Move {
    Way way;
    int sent = 0;
    QByteArray stored;
};

// Keys typed into a field once it is entered (\b is Backspace): its text once the focus has
// left, and whether it is light red.
struct Typed {
    const char* field;
    QString typed, text;
    bool red = false;
};

// A toolbar button worked by its key, with monitoring started before or not:
// the key it tells a reader, the title of the box shown, whether monitoring runs after and the
// MAC shown after.
struct Command {
    int button;
    QString keys, box;
    bool monitoringAfter = false, monitoring = false;
    QString shown = kA;
    bool byReader = false; // a screen reader's Press on the button instead of the keys
};

// A started station on a shown window with one encoder and two decoders.
struct Editor : testsupport::StationFixture {
    Editor() : StationFixture("127.0.11.1") {
        writeIni(kElements);
        QVERIFY(start());
        station().window().show();
        QVERIFY(QTest::qWaitForWindowActive(&station().window()));
    }
    template <class T = QWidget> T* get(const char* name) { return find<T>(name); }
    QAction* action(int n) { return station().window().toolbarButton(n); }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }

    // The scenario: an encoder chosen by click; unicast chosen and an x typed into the remote
    // address; a decoder chosen by key. Captions use a decimal point in any locale; loading
    // writes nothing.
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
            3, {"DECODER", mc, att, "Audio atten: -27.5 dB", ip, "10mS", lvl, time}};
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
            [&] { QTest::keyClick(tree, Qt::Key_Down); }};
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
        QVERIFY(f.get("cmdGetStats")->isEnabled());
        QCOMPARE(f.get("cmdAdjust")->isEnabled(), !row.encoder);
        QCOMPARE(f.readIni(), kElements);
    }

    // A user's move is sent to the element's 2977 and stored; the program's own moves, before
    // and after, are not; a dragged thumb sends once it is released.
    void attenuationMovedByUser_data() {
        QTest::addColumn<Move>("row");
        QTest::newRow("program") << Move{Way::Program, 0, "ATT=200"};
        QTest::newRow("thumb dragged") << Move{Way::Drag, 255, "ATT=255"};
        QTest::newRow("middle click") << Move{Way::Middle, 14, "ATT=14"};
        QTest::newRow("Scroll here") << Move{Way::ScrollHere, 255, "ATT=255"};
        QTest::newRow("reader's value") << Move{Way::Reader, 20, "ATT=20"};
    }
    void attenuationMovedByUser() {
        QFETCH(Move, row);
        Editor f;
        QUdpSocket element;
        QVERIFY(element.bind(QHostAddress("127.0.11.2"), 2977));
        QVERIFY(f.selectNode(kB));
        auto* bar = f.get<QScrollBar>("scrlAtten");
        const int y = bar->height() / 2;
        const QPoint right(bar->width() + 50, y);
        if (row.way == Way::Program)
            bar->setValue(150);
        if (row.way == Way::Drag) {
            QTest::mousePress(bar, Qt::LeftButton, {},
                              part(bar, QStyle::SC_ScrollBarSlider).center());
            QTest::mouseMove(bar, right);
            QVERIFY(bar->isSliderDown() && !element.hasPendingDatagrams());
            QVERIFY(f.readIni().contains("ATT=200\r\n"));
            QTest::mouseRelease(bar, Qt::LeftButton, {}, right);
        }
        if (row.way == Way::Reader)
            reader(bar)->valueInterface()->setCurrentValue(20);
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
        QTRY_COMPARE(element.pendingDatagramSize(), row.sent ? 2 : -1);
        QCOMPARE(element.receiveDatagram().data(),
                 row.sent ? QByteArray(1, char(row.sent)) + '\0' : "");
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
        QTest::newRow("name of 17")
            << Typed{"txtElementName", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP"};
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

    // The notice stores "EULA1" at once on each tick and untick, by a reader's Toggle or a click.
    void notice() {
        testsupport::StationFixture f("127.0.11.1");
        f.settings.values.insert("EULA1", "0");
        QStringList stored;
        QTimer::singleShot(0, [&] {
            auto* notice = qobject_cast<app::FrmDisclaimer*>(QApplication::activeModalWidget());
            QAccessible::queryAccessibleInterface(notice->chkAgree())
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::toggleAction());
            stored << f.settings.values.value("EULA1");
            notice->chkAgree()->click();
            stored << f.settings.values.value("EULA1");
            notice->cmdClose()->click();
        });
        QVERIFY(f.start());
        QCOMPARE(stored, (QStringList{"1", "0"}));
    }

    // Each toolbar command by its key does what a click does, boxes included. The button tells
    // a reader its key.
    void toolbarKeys_data() {
        QTest::addColumn<Command>("row");
        QTest::newRow("Ctrl+D discovers") << Command{1, "Ctrl+D", "Auto Discovery"};
        QTest::newRow("F5 refreshes") << Command{.button = 2, .keys = "F5", .shown = "-"};
        QTest::newRow("Ctrl+S saves") << Command{4, "Ctrl+S", "Error!"};
        QTest::newRow("reader presses Save")
            << Command{.button = 4, .keys = "Ctrl+S", .box = "Error!", .byReader = true};
        QTest::newRow("Ctrl+M starts") << Command{6, "Ctrl+M", "", true};
        QTest::newRow("Ctrl+Shift+M stops")
            << Command{.button = 7, .keys = "Ctrl+Shift+M", .monitoring = true};
    }
    void toolbarKeys() {
        QFETCH(Command, row);
        Editor f;
        QVERIFY(f.selectNode(kA));
        if (row.monitoring)
            f.station().StartMonitoring();
        QWidget* b = f.get<QToolBar>("Toolbar1")->widgetForAction(f.action(row.button));
        const QString press = QAccessibleActionInterface::pressAction();
        QCOMPARE(reader(b)->actionInterface()->keyBindingsForAction(press), {row.keys});
        if (row.byReader)
            reader(b)->actionInterface()->doAction(press);
        else
            QTest::keySequence(&f.station().window(), QKeySequence(row.keys));
        // The click follows the press animation of a key.
        QTRY_VERIFY(!qobject_cast<QToolButton*>(b)->isDown());
        QCOMPARE(f.boxes.titles(), row.box.isEmpty() ? QStringList() : QStringList{row.box});
        QCOMPARE(f.get<QCheckBox>("chkGetVolume")->isChecked(), row.monitoringAfter);
        QCOMPARE(f.get<QLabel>("lblElementMAC")->text(), row.shown);
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
