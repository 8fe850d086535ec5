// The main window's controls as built (names, types, items, ranges, first texts,
// accessibility, a layout that fits small screens) and the firmware notice window.
#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "editor/vumeter.h"
#include "platform/fakes/memorysettings.h"
#include "support/spoken.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>

class TestFrmMainLayout : public QObject {
    Q_OBJECT

private slots:
    void controlExists_data();
    void controlExists();
    void lists_data();
    void lists();
    void bars_data();
    void bars();
    void fields_data();
    void fields();
    void captions_data();
    void captions();
    void accessibility_data();
    void accessibility();
    void toolbar_data();
    void toolbar();
    void initialState();
    void sharedRowAndFollowingCaption();
    void elementIcons();
    void closingIsSignalled();
    void fitsScreen_data();
    void fitsScreen();

    void noticeTexts_data();
    void noticeTexts();
    void noticeLayoutAndFont();
    void noticeStoresEachClick();
    void noticeCloses();
};

namespace {

QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

QString accessibleDescription(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Description) : QString();
}

// Every widget member of the controls, by name, as the window fills them.
QList<QPair<QString, QWidget*>> widgetMembers(const editor::MainControls& c) {
    return {{"frmTreeView", c.frmTreeView},
            {"TreeView1", c.TreeView1},
            {"cmbEncoders", c.cmbEncoders},
            {"txtElementName", c.txtElementName},
            {"txtElementIP", c.txtElementIP},
            {"txtElementMask", c.txtElementMask},
            {"txtElementGW", c.txtElementGW},
            {"Label7", c.Label7},
            {"txtRemoteIP", c.txtRemoteIP},
            {"txtVLAN_Audio", c.txtVLAN_Audio},
            {"txtVLAN_OM", c.txtVLAN_OM},
            {"lblElementType", c.lblElementType},
            {"lblElementMAC", c.lblElementMAC},
            {"lblSerialNumber", c.lblSerialNumber},
            {"lblVersion", c.lblVersion},
            {"Label9", c.Label9},
            {"cmbAudioInput", c.cmbAudioInput},
            {"cmbAudioType", c.cmbAudioType},
            {"cmbAudioTX", c.cmbAudioTX},
            {"scrlAtten", c.scrlAtten},
            {"lblAttenDB", c.lblAttenDB},
            {"Label20", c.Label20},
            {"scrlBuffer", c.scrlBuffer},
            {"lblLatency", c.lblLatency},
            {"cmbSilDetMode", c.cmbSilDetMode},
            {"Label24", c.Label24},
            {"scrlSilDetLevel", c.scrlSilDetLevel},
            {"lblSilDetLevel", c.lblSilDetLevel},
            {"Label26", c.Label26},
            {"scrlSilDetTime", c.scrlSilDetTime},
            {"lblSilDetTime", c.lblSilDetTime},
            {"chkLowLatency", c.chkLowLatency},
            {"chkSFNEnabled", c.chkSFNEnabled},
            {"cmdPing", c.cmdPing},
            {"cmdGetStats", c.cmdGetStats},
            {"cmdAdjust", c.cmdAdjust},
            {"cmbNMSIPAddr", c.cmbNMSIPAddr},
            {"chkGetVolume", c.chkGetVolume},
            {"VUMeter", c.VUMeter},
            {"lblVolume", c.lblVolume},
            {"Slider1", c.Slider1},
            {"Toolbar1", c.Toolbar1}};
}

} // namespace

// ---------------------------------------------------------------- names and types

void TestFrmMainLayout::controlExists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const struct {
        const char* name;
        const char* cls;
    } rows[] = {{"frmTreeView", "QGroupBox"},
                {"TreeView1", "QTreeWidget"},
                {"cmbEncoders", "QComboBox"},
                {"txtElementName", "QLineEdit"},
                {"txtElementIP", "QLineEdit"},
                {"txtElementMask", "QLineEdit"},
                {"txtElementGW", "QLineEdit"},
                {"Label7", "QLabel"},
                {"txtRemoteIP", "QLineEdit"},
                {"txtVLAN_Audio", "QLineEdit"},
                {"txtVLAN_OM", "QLineEdit"},
                {"lblElementType", "QLabel"},
                {"lblElementMAC", "QLabel"},
                {"lblSerialNumber", "QLabel"},
                {"lblVersion", "QLabel"},
                {"Label9", "QLabel"},
                {"cmbAudioInput", "QComboBox"},
                {"cmbAudioType", "QComboBox"},
                {"cmbAudioTX", "QComboBox"},
                {"scrlAtten", "QScrollBar"},
                {"lblAttenDB", "QLabel"},
                {"Label20", "QLabel"},
                {"scrlBuffer", "QScrollBar"},
                {"lblLatency", "QLabel"},
                {"cmbSilDetMode", "QComboBox"},
                {"Label24", "QLabel"},
                {"scrlSilDetLevel", "QScrollBar"},
                {"lblSilDetLevel", "QLabel"},
                {"Label26", "QLabel"},
                {"scrlSilDetTime", "QScrollBar"},
                {"lblSilDetTime", "QLabel"},
                {"chkLowLatency", "QCheckBox"},
                {"chkSFNEnabled", "QCheckBox"},
                {"cmdPing", "QPushButton"},
                {"cmdGetStats", "QPushButton"},
                {"cmdAdjust", "QPushButton"},
                {"cmbNMSIPAddr", "QComboBox"},
                {"chkGetVolume", "QCheckBox"},
                {"VUMeter", "editor::VuMeter"},
                {"lblVolume", "QLabel"},
                {"Slider1", "QSlider"},
                {"tmrVolume", "QTimer"},
                {"Toolbar1", "QToolBar"},
                {"timerRemoteSent", "QTimer"}};
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << QString::fromLatin1(r.cls);
}

void TestFrmMainLayout::controlExists() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    app::FrmMain w;
    QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
    const QList<QObject*> found = w.findChildren<QObject*>(name);
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first()->inherits(className.toLatin1().constData()),
             found.first()->metaObject()->className());

    // The struct hands out the same object.
    const auto& c = w.controls();
    QCOMPARE(c.frmMain, &w);
    QObject* member = nullptr;
    for (const auto& [n, p] : widgetMembers(c))
        if (n == name)
            member = p;
    if (name == QLatin1String("tmrVolume"))
        member = c.tmrVolume;
    if (name == QLatin1String("timerRemoteSent"))
        member = c.timerRemoteSent;
    QCOMPARE(member, found.first());
    if (auto* timer = qobject_cast<QTimer*>(member))
        QCOMPARE(timer->parent(), &w);
}

// ---------------------------------------------------------------- items and ranges

void TestFrmMainLayout::lists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("index");
    QTest::newRow("cmbAudioInput") << "cmbAudioInput" << QStringList{"Digital", "Analog"} << -1;
    QTest::newRow("cmbAudioType") << "cmbAudioType" << QStringList{"Left/Right", "MPX"} << -1;
    QTest::newRow("cmbAudioTX") << "cmbAudioTX" << QStringList{"Unicast", "Multicast"} << -1;
    QTest::newRow("cmbSilDetMode")
        << "cmbSilDetMode" << QStringList{"Auto detect", "Force internal", "Force external"} << -1;
    QTest::newRow("cmbEncoders") << "cmbEncoders" << QStringList{"<None>"} << 0;
    QTest::newRow("cmbNMSIPAddr") << "cmbNMSIPAddr" << QStringList{} << -1;
}

void TestFrmMainLayout::lists() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, index);
    app::FrmMain w;
    auto* box = w.findChild<QComboBox*>(name);
    QVERIFY(box);
    QStringList actual;
    for (int i = 0; i < box->count(); ++i)
        actual << box->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(box->currentIndex(), index);
    QVERIFY(!box->isEditable());
}

void TestFrmMainLayout::bars_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("captionName");
    QTest::addColumn<QString>("caption");
    QTest::newRow("scrlAtten") << "scrlAtten" << 14 << 255 << 255 << "lblAttenDB"
                               << "dB";
    QTest::newRow("scrlBuffer") << "scrlBuffer" << 0 << 22 << 0 << "lblLatency"
                                << "0mS";
    QTest::newRow("scrlSilDetLevel") << "scrlSilDetLevel" << 1 << 154 << 1 << "lblSilDetLevel"
                                     << "0dBu";
    QTest::newRow("scrlSilDetTime") << "scrlSilDetTime" << 1 << 220 << 1 << "lblSilDetTime"
                                    << "0Sec";
}

void TestFrmMainLayout::bars() {
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, captionName);
    QFETCH(QString, caption);
    app::FrmMain w;
    auto* b = w.findChild<QScrollBar*>(name);
    QVERIFY(b);
    QCOMPARE(b->orientation(), Qt::Horizontal);
    QCOMPARE(b->minimum(), minimum);
    QCOMPARE(b->maximum(), maximum);
    QCOMPARE(b->value(), value);
    QCOMPARE(b->singleStep(), 1);
    QCOMPARE(b->pageStep(), 10);
    auto* l = w.findChild<QLabel*>(captionName);
    QVERIFY(l);
    QCOMPARE(l->text(), caption);
}

void TestFrmMainLayout::fields_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("name") << "txtElementName" << 16 << ""
                          << "Max 16 chars";
    QTest::newRow("ip") << "txtElementIP" << 15 << ""
                        << "";
    QTest::newRow("mask") << "txtElementMask" << 15 << ""
                          << "";
    QTest::newRow("gw") << "txtElementGW" << 15 << ""
                        << "";
    QTest::newRow("remote") << "txtRemoteIP" << 15 << ""
                            << "";
    QTest::newRow("vlan audio") << "txtVLAN_Audio" << 4 << "1"
                                << "Range: 1-4095";
    QTest::newRow("vlan o&m") << "txtVLAN_OM" << 4 << "1"
                              << "Range: 1-4095";
}

void TestFrmMainLayout::fields() {
    QFETCH(QString, name);
    QFETCH(int, maxLength);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    app::FrmMain w;
    auto* f = w.findChild<QLineEdit*>(name);
    QVERIFY(f);
    QCOMPARE(f->maxLength(), maxLength);
    QCOMPARE(f->text(), text);
    QCOMPARE(f->toolTip(), toolTip);
    // One character more than the limit cannot be typed.
    f->clear();
    QTest::keyClicks(f, QString(maxLength + 1, QLatin1Char('7')));
    QCOMPARE(f->text(), QString(maxLength, QLatin1Char('7')));
}

void TestFrmMainLayout::captions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("lblElementMAC") << "lblElementMAC"
                                   << "-";
    QTest::newRow("lblSerialNumber") << "lblSerialNumber"
                                     << "-";
    QTest::newRow("chkSFNEnabled") << "chkSFNEnabled"
                                   << "Enable PTP Sync";
    QTest::newRow("cmdAdjust") << "cmdAdjust"
                               << "Adjust...";
}

void TestFrmMainLayout::captions() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    app::FrmMain w;
    QWidget* widget = w.findChild<QWidget*>(name);
    QVERIFY(widget);
    QString actual;
    if (auto* l = qobject_cast<QLabel*>(widget))
        actual = l->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(widget))
        actual = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(widget))
        actual = g->title();
    QCOMPARE(actual, text);
}

// ---------------------------------------------------------------- accessibility

void TestFrmMainLayout::accessibility_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("txtElementName") << "txtElementName"
                                    << "Device name:";
    QTest::newRow("txtElementIP") << "txtElementIP"
                                  << "Device IP:";
    QTest::newRow("txtElementMask") << "txtElementMask"
                                    << "Network mask:";
    QTest::newRow("txtElementGW") << "txtElementGW"
                                  << "Gateway IP:";
    QTest::newRow("txtRemoteIP") << "txtRemoteIP"
                                 << "Decoder IP:";
    QTest::newRow("txtVLAN_Audio") << "txtVLAN_Audio"
                                   << "Audio:";
    QTest::newRow("txtVLAN_OM") << "txtVLAN_OM"
                                << "VLAN O&M:";
    QTest::newRow("cmbAudioInput") << "cmbAudioInput"
                                   << "Audio source:";
    QTest::newRow("scrlAtten") << "scrlAtten"
                               << "Audio atten:";
    QTest::newRow("scrlBuffer") << "scrlBuffer"
                                << "Buffer size:";
    QTest::newRow("scrlSilDetLevel") << "scrlSilDetLevel"
                                     << "Threshold:";
    QTest::newRow("scrlSilDetTime") << "scrlSilDetTime"
                                    << "Timeout:";
    QTest::newRow("cmbNMSIPAddr") << "cmbNMSIPAddr"
                                  << "NMS IP:";
    QTest::newRow("chkLowLatency") << "chkLowLatency"
                                   << "Enable low latency (1.25mS) option";
    QTest::newRow("chkGetVolume") << "chkGetVolume"
                                  << "Show audio level";
    QTest::newRow("cmdPing follows its caption") << "cmdPing"
                                                 << "<Click to test>";
    QTest::newRow("cmdGetStats") << "cmdGetStats"
                                 << "Get...";
    // A value label is read as its caption, then its value.
    QTest::newRow("lblElementType") << "lblElementType"
                                    << "Element type: -";
    QTest::newRow("lblLatency") << "lblLatency"
                                << "Buffer size: 0mS";
    QTest::newRow("lblSilDetLevel") << "lblSilDetLevel"
                                    << "Threshold: 0dBu";
    QTest::newRow("lblVolume") << "lblVolume"
                               << "Audio level: -oodBFS";
    QTest::newRow("VUMeter") << "VUMeter"
                             << "Audio level:";
    QTest::newRow("Label9") << "Label9"
                            << "Audio source:";
    QTest::newRow("frmTreeView") << "frmTreeView"
                                 << "Select element: (0 items)";
    QTest::newRow("TreeView1") << "TreeView1"
                               << "Select element:";
}

void TestFrmMainLayout::accessibility() {
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    app::FrmMain w;
    QWidget* widget = w.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(qobject_cast<QLabel*>(widget) ? testsupport::spoken(widget) : ::accessibleName(widget),
             accessibleName);
    QCOMPARE(::accessibleDescription(widget), name);
}

void TestFrmMainLayout::toolbar_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("toolTip"); // empty: a separator
    QTest::newRow("1") << 1 << "Auto discover elements";
    QTest::newRow("2") << 2 << "Refresh list";
    QTest::newRow("3") << 3 << "";
    QTest::newRow("4") << 4 << "Save changes";
    QTest::newRow("5") << 5 << "";
    QTest::newRow("6") << 6 << "Start audio monitoring";
    QTest::newRow("7") << 7 << "Stop audio monitoring";
}

void TestFrmMainLayout::toolbar() {
    QFETCH(int, index);
    QFETCH(QString, toolTip);
    app::FrmMain w;
    const auto& c = w.controls();
    QCOMPARE(c.toolbarButton[0], nullptr);
    QCOMPARE(c.Toolbar1->actions().size(), 7);
    QAction* action = c.toolbarButton[index];
    QVERIFY(action);
    QCOMPARE(c.Toolbar1->actions().at(index - 1), action);
    QCOMPARE(action->objectName(), QStringLiteral("Toolbar1Button%1").arg(index));
    QCOMPARE(w.findChild<QAction*>(action->objectName()), action);
    if (toolTip.isEmpty()) {
        QVERIFY(action->isSeparator());
        return;
    }
    QVERIFY(!action->isSeparator());
    QCOMPARE(action->toolTip(), toolTip);
    QVERIFY(!action->icon().isNull());
    QVERIFY(action->isEnabled());
    QWidget* button = c.Toolbar1->widgetForAction(action);
    QVERIFY(button);
    QCOMPARE(::accessibleName(button), toolTip);
    QCOMPARE(::accessibleDescription(button), action->objectName());
    // The picture is the image list's picture of that button.
    const int imageOf[8] = {0, 1, 2, 0, 3, 0, 4, 5};
    QCOMPARE(action->icon().pixmap(32, 32).toImage(),
             app::FrmMain::imageListIcon(imageOf[index]).pixmap(32, 32).toImage());
}

// ---------------------------------------------------------------- state as built

void TestFrmMainLayout::initialState() {
    app::FrmMain w;
    const auto& c = w.controls();
    QVERIFY(c.chkGetVolume->isHidden());
    QVERIFY(!c.chkGetVolume->isChecked());
    QCOMPARE(c.chkGetVolume->toolTip(), QStringLiteral("Show audio level"));
    QCOMPARE(c.cmdPing->toolTip(), QStringLiteral("Test ping from NMS"));
    QCOMPARE(c.cmdGetStats->toolTip(), QStringLiteral("Fetch statistical counters"));
    QCOMPARE(c.cmdPing->palette().color(QPalette::Button), QColor(255, 255, 192));
    QVERIFY(!c.chkLowLatency->isChecked());
    QVERIFY(!c.chkSFNEnabled->isChecked());

    QVERIFY(c.TreeView1->isHeaderHidden());
    QCOMPARE(c.TreeView1->columnCount(), 1);
    QVERIFY(!c.TreeView1->rootIsDecorated());
    QCOMPARE(c.TreeView1->topLevelItemCount(), 0);

    QCOMPARE(c.Slider1->orientation(), Qt::Horizontal);
    QCOMPARE(c.Slider1->minimum(), 20);
    QCOMPARE(c.Slider1->maximum(), 1000);
    QCOMPARE(c.Slider1->value(), 50);
    QCOMPARE(c.VUMeter->widthTwips(), 0);

    QCOMPARE(c.tmrVolume->interval(), 50);
    QVERIFY(!c.tmrVolume->isActive());
    QCOMPARE(c.timerRemoteSent->interval(), 3000);
    QVERIFY(!c.timerRemoteSent->isActive());

    // The VLAN O&M caption shows one ampersand and moves the focus to its field.
    auto* om = w.findChild<QLabel*>("lblCaptionVLAN_OM");
    QVERIFY(om);
    QCOMPARE(om->text(), QStringLiteral("VLAN O&&M:"));
    QCOMPARE(om->buddy(), c.txtVLAN_OM);

    // Every control sits in one of the editor's frames or the tree frame.
    const QStringList frames{"frmTreeView", "frmElement",         "frmNetwork",
                             "frmAudio",    "frmSilenceDetector", "frmDiagnostics"};
    for (const auto& [name, widget] : widgetMembers(c)) {
        if (widget == c.Toolbar1 || widget == c.frmTreeView)
            continue;
        QWidget* p = widget->parentWidget();
        while (p && !frames.contains(p->objectName()))
            p = p->parentWidget();
        QVERIFY2(p, qPrintable(name));
    }
    QCOMPARE(c.cmdPing->parentWidget()->objectName(), QStringLiteral("frmDiagnostics"));
    QCOMPARE(c.VUMeter->parentWidget()->objectName(), QStringLiteral("frmDiagnostics"));
    QCOMPARE(c.scrlAtten->parentWidget(), c.cmbAudioInput->parentWidget());
}

void TestFrmMainLayout::sharedRowAndFollowingCaption() {
    app::FrmMain w;
    const auto& c = w.controls();
    auto* txCaption = w.findChild<QLabel*>("lblCaptionAudioTX");
    QVERIFY(txCaption);
    // As built the shared row offers the source list, as Label9 says.
    QVERIFY(!c.cmbAudioInput->isHidden());
    QVERIFY(!c.cmbAudioTX->isHidden());
    QVERIFY(!txCaption->isHidden());
    QVERIFY(c.scrlAtten->isHidden());
    QVERIFY(c.lblAttenDB->isHidden());

    // A decoder's layout: the transmission list's caption goes with it.
    c.cmbAudioInput->setVisible(false);
    c.cmbAudioTX->setVisible(false);
    c.scrlAtten->setVisible(true);
    c.lblAttenDB->setVisible(true);
    QVERIFY(txCaption->isHidden());
    w.resize(1024, 768);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!txCaption->isVisible());
    QVERIFY(c.scrlAtten->width() >= 100);

    // And back for an encoder, also while the window is shown.
    c.cmbAudioTX->setVisible(true);
    QVERIFY(txCaption->isVisible());
}

void TestFrmMainLayout::elementIcons() {
    const QIcon encoder = app::FrmMain::elementIcon(true);
    const QIcon decoder = app::FrmMain::elementIcon(false);
    QVERIFY(!encoder.isNull());
    QVERIFY(!decoder.isNull());
    QVERIFY(encoder.pixmap(20, 20).toImage() != decoder.pixmap(20, 20).toImage());
    // Seven distinct pictures in the image list.
    QList<QImage> images;
    for (int i = 1; i <= 7; ++i) {
        const QImage image = app::FrmMain::imageListIcon(i).pixmap(32, 32).toImage();
        QVERIFY2(!image.isNull(), qPrintable(QString::number(i)));
        QVERIFY2(!images.contains(image), qPrintable(QString::number(i)));
        images << image;
    }
    QCOMPARE(encoder.pixmap(32, 32).toImage(), images.at(5));
    QCOMPARE(decoder.pixmap(32, 32).toImage(), images.at(6));
}

void TestFrmMainLayout::closingIsSignalled() {
    app::FrmMain w;
    QSignalSpy spy(&w, &app::FrmMain::closing);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.close());
    QCOMPARE(spy.count(), 1);
    QVERIFY(!w.isVisible());
}

// ---------------------------------------------------------------- screen fit

void TestFrmMainLayout::fitsScreen_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("decoder");
    QTest::newRow("1280x800 encoder") << QSize(1280, 800) << false;
    QTest::newRow("1280x800 decoder") << QSize(1280, 800) << true;
    QTest::newRow("1024x768 encoder") << QSize(1024, 768) << false;
    QTest::newRow("1024x768 decoder") << QSize(1024, 768) << true;
}

void TestFrmMainLayout::fitsScreen() {
    QFETCH(QSize, size);
    QFETCH(bool, decoder);
    app::FrmMain w;
    auto& c = w.controls();
    c.cmbAudioInput->setVisible(!decoder);
    c.cmbAudioTX->setVisible(!decoder);
    c.scrlAtten->setVisible(decoder);
    c.lblAttenDB->setVisible(decoder);
    // Room for a window frame and a panel on the small screen.
    QVERIFY2(w.minimumSizeHint().width() <= 1024 - 16 && w.minimumSizeHint().height() <= 768 - 80,
             qPrintable(QStringLiteral("%1x%2")
                            .arg(w.minimumSizeHint().width())
                            .arg(w.minimumSizeHint().height())));

    w.resize(size);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPixmap picture = w.grab();
    QCOMPARE(picture.size() / picture.devicePixelRatio(), size);
    if (qEnvironmentVariableIsSet("KESTRUNE_GRAB_DIR"))
        picture.save(qEnvironmentVariable("KESTRUNE_GRAB_DIR") +
                     QStringLiteral("/frmMain-%1x%2-%3.png")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(decoder ? "decoder" : "encoder"));

    // Every shown control lies inside the window, with its full size hint in one direction
    // at least, and no two shown controls overlap.
    QList<QPair<QString, QRect>> shown;
    for (const auto& [name, widget] : widgetMembers(c)) {
        if (!widget->isVisible() || widget == c.frmTreeView)
            continue;
        const QRect r(widget->mapTo(&w, QPoint(0, 0)), widget->size());
        QVERIFY2(QRect(QPoint(0, 0), size).contains(r), qPrintable(name));
        QVERIFY2(r.height() >= widget->minimumSizeHint().height() || r.height() >= 14,
                 qPrintable(name));
        QVERIFY2(r.width() >= std::min({widget->sizeHint().width(), 60, widget->maximumWidth()}),
                 qPrintable(name));
        shown.append({name, r});
    }
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j) {
            const bool nested = shown[i].second.contains(shown[j].second) ||
                                shown[j].second.contains(shown[i].second);
            if (nested) // the tree inside its frame
                continue;
            QVERIFY2(!shown[i].second.intersects(shown[j].second),
                     qPrintable(shown[i].first + QStringLiteral(" / ") + shown[j].first));
        }
    // Tab goes through the shown controls top to bottom, the left column before the right.
    QVERIFY(QTest::qWaitForWindowActive(&w));
    c.TreeView1->setFocus();
    QStringList order;
    for (QWidget* f = c.TreeView1; order.size() < 30 && !order.contains(f->objectName());
         f = QApplication::focusWidget()) {
        order << f->objectName();
        QTest::keyClick(f, Qt::Key_Tab);
    }
    QStringList expected = {"TreeView1",     "txtElementName", "txtElementIP",    "txtElementMask",
                            "txtElementGW",  "txtRemoteIP",    "txtVLAN_Audio",   "txtVLAN_OM",
                            "cmbAudioType",  "cmbEncoders",    "scrlBuffer",      "chkLowLatency",
                            "chkSFNEnabled", "cmbSilDetMode",  "scrlSilDetLevel", "scrlSilDetTime",
                            "cmbNMSIPAddr",  "cmdPing",        "cmdGetStats",     "cmdAdjust",
                            "Slider1"};
    expected.insert(8, decoder ? "scrlAtten" : "cmbAudioInput");
    if (!decoder)
        expected.insert(10, "cmbAudioTX");
    QCOMPARE(order, expected);

    // The tree takes roughly the left third.
    const int treeWidth = c.frmTreeView->width();
    QVERIFY2(treeWidth > size.width() / 5 && treeWidth < size.width() * 2 / 5,
             qPrintable(QString::number(treeWidth)));
}

// ---------------------------------------------------------------- notice window

void TestFrmMainLayout::noticeTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "Label1"
                            << "IMPORTANT NOTICE!";
    QTest::newRow("Label2")
        << "Label2"
        << "Since NMS version 3.4.2, we made many significant changes. DO NOT use NMS v.3.4.2 to "
           "manage Kestrune equipment with older firmware, or they will become unusable.";
    QTest::newRow("Label3") << "Label3"
                            << "If you are not sure which version your Kestrune equipment has, "
                               "please consult your local dealer, or contact our support    at "
                               "support@kestrune.example";
    QTest::newRow("chkAgree")
        << "chkAgree"
        << "I have read and understood all the above. Do not show this notification again.";
    QTest::newRow("cmdClose") << "cmdClose"
                              << "&Close";
}

void TestFrmMainLayout::noticeTexts() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    app::FrmDisclaimer notice;
    QCOMPARE(notice.objectName(), QStringLiteral("frmDisclaimer"));
    QCOMPARE(notice.windowTitle(), QStringLiteral("Kestrune NMS"));
    QWidget* w = notice.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(::accessibleDescription(w), name);
    if (auto* l = qobject_cast<QLabel*>(w))
        QCOMPARE(l->text(), text);
    else
        QCOMPARE(qobject_cast<QAbstractButton*>(w)->text(), text);
}

void TestFrmMainLayout::noticeLayoutAndFont() {
    app::FrmDisclaimer notice;
    auto* image = notice.findChild<QLabel*>("Image1");
    QVERIFY(image);
    QVERIFY(!image->pixmap().isNull());
    QVERIFY(notice.findChild<QLabel*>("Label1")->font().bold());
    QVERIFY(notice.findChild<QLabel*>("Label2")->wordWrap());
    auto* line = notice.findChild<QFrame*>("Line1");
    QVERIFY(line);
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QVERIFY(!notice.chkAgree()->isChecked());
    QCOMPARE(notice.font().family(), QStringLiteral("MS Sans Serif"));
    QVERIFY(notice.isModal());

    // Top to bottom as listed.
    notice.show();
    QVERIFY(QTest::qWaitForWindowExposed(&notice));
    int previous = -1;
    for (const char* name : {"Image1", "Line1", "Label3", "chkAgree", "cmdClose"}) {
        QWidget* w = notice.findChild<QWidget*>(name);
        const int top = w->mapTo(&notice, QPoint(0, 0)).y();
        QVERIFY2(top > previous, name);
        previous = top;
    }
    QVERIFY(notice.findChild<QWidget*>("Label1")->y() < notice.findChild<QWidget*>("Label2")->y());
    if (qEnvironmentVariableIsSet("KESTRUNE_GRAB_DIR"))
        notice.grab().save(qEnvironmentVariable("KESTRUNE_GRAB_DIR") +
                           QStringLiteral("/frmDisclaimer.png"));
}

void TestFrmMainLayout::noticeStoresEachClick() {
    platform::MemorySettings settings;
    app::FrmDisclaimer notice;
    QVERIFY(settings.values.isEmpty()); // opening writes nothing
    notice.show();
    QVERIFY(QTest::qWaitForWindowExposed(&notice));

    notice.chkAgree()->click();
    QCOMPARE(settings.values.value("EULA1"), QStringLiteral("1"));
    QCOMPARE(settings.saves, 1);
    notice.chkAgree()->click();
    QCOMPARE(settings.values.value("EULA1"), QStringLiteral("0"));
    QCOMPARE(settings.saves, 2);
    // A keyboard toggle is a click as well.
    notice.chkAgree()->setFocus();
    QTest::keyClick(notice.chkAgree(), Qt::Key_Space);
    QCOMPARE(settings.values.value("EULA1"), QStringLiteral("1"));
    // A change made by code is no click and stores nothing.
    notice.chkAgree()->setChecked(false);
    QCOMPARE(settings.saves, 3);
    QCOMPARE(settings.values.keys(), QStringList{"EULA1"});
}

void TestFrmMainLayout::noticeCloses() {
    platform::MemorySettings settings;
    {
        app::FrmDisclaimer notice;
        QTimer::singleShot(0, notice.cmdClose(), &QPushButton::click);
        notice.exec();
        QVERIFY(!notice.isVisible());
    }
    {
        app::FrmDisclaimer notice;
        QTimer::singleShot(0, &notice, &QWidget::close); // the window frame's close
        notice.exec();
        QVERIFY(!notice.isVisible());
    }
    QCOMPARE(settings.saves, 0);
}

QTEST_MAIN(TestFrmMainLayout)
#include "tst_frmmain_layout.moc"
