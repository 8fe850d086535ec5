#include "app/frmMain.h"

#include "app/controlmaking.h"
#include "editor/vumeter.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

// The image list (frmMain.qrc) lives in a static library: it is registered only when
// something references it.
static void initIconResources() {
    Q_INIT_RESOURCE(frmMain);
}

namespace app {

using namespace make;

QIcon FrmMain::imageListIcon(int image) {
    initIconResources();
    return QIcon(QStringLiteral(":/kestrune/icons/image%1.png").arg(image));
}

QIcon FrmMain::elementIcon(bool encoder) {
    return imageListIcon(encoder ? 6 : 7);
}

FrmMain::FrmMain(QWidget* parent) : QMainWindow(parent) {
    initIconResources();
    auto& c = m_controls;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrune NMS"));
    setWindowIcon(elementIcon(true));
    c.frmMain = this;

    buildToolbar();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);

    // Element list on the left.
    c.frmTreeView =
        named(new QGroupBox(QStringLiteral("Select element: (0 items)"), central), "frmTreeView");
    c.TreeView1 = named(new QTreeWidget(c.frmTreeView), "TreeView1");
    c.TreeView1->setColumnCount(1);
    c.TreeView1->setHeaderHidden(true);
    c.TreeView1->setRootIsDecorated(false);
    c.TreeView1->setIconSize(QSize(20, 20));
    c.TreeView1->setAccessibleName(QStringLiteral("Select element:"));
    auto* treeLayout = new QVBoxLayout(c.frmTreeView);
    treeLayout->addWidget(c.TreeView1);

    // Editor on the right: facts and network on one side, audio on the other,
    // diagnostics across the bottom.
    auto* editorPanel = new QWidget(central);
    editorPanel->setObjectName(QStringLiteral("editorPanel"));
    auto* left = new QVBoxLayout;
    left->addWidget(buildElementFrame());
    left->addWidget(buildNetworkFrame());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildAudioFrame());
    right->addWidget(buildSilenceFrame());
    right->addStretch(1);
    auto* editorLayout = new QGridLayout(editorPanel);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->addLayout(left, 0, 0);
    editorLayout->addLayout(right, 0, 1);
    editorLayout->addWidget(buildDiagnosticsFrame(), 1, 0, 1, 2);
    editorLayout->setColumnStretch(0, 1);
    editorLayout->setColumnStretch(1, 1);
    editorLayout->setRowStretch(2, 1); // spare height goes below the diagnostics

    auto* mainLayout = new QHBoxLayout(central);
    mainLayout->addWidget(c.frmTreeView, 3);
    mainLayout->addWidget(editorPanel, 7);

    // The window's timers; the station starts and stops them.
    c.tmrVolume = new QTimer(this);
    c.tmrVolume->setObjectName(QStringLiteral("tmrVolume"));
    c.tmrVolume->setInterval(50);
    c.timerRemoteSent = new QTimer(this);
    c.timerRemoteSent->setObjectName(QStringLiteral("timerRemoteSent"));
    c.timerRemoteSent->setInterval(3000);

    QSize size(1180, 760);
    if (QScreen* s = screen())
        size = size.boundedTo(s->availableSize());
    resize(size);
}

void FrmMain::buildToolbar() {
    auto& c = m_controls;
    c.Toolbar1 = named(new QToolBar(QStringLiteral("Toolbar"), this), "Toolbar1");
    c.Toolbar1->setAccessibleName(QStringLiteral("Toolbar"));
    c.Toolbar1->setMovable(false);
    c.Toolbar1->setFloatable(false);
    c.Toolbar1->setIconSize(QSize(28, 28));
    c.Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    c.Toolbar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, c.Toolbar1);

    struct Entry {
        const char* toolTip; // nullptr: a separator
        int image;
    };
    const Entry entries[8] = {{nullptr, 0},
                              {"Auto discover elements", 1},
                              {"Refresh list", 2},
                              {nullptr, 0},
                              {"Save changes", 3},
                              {nullptr, 0},
                              {"Start audio monitoring", 4},
                              {"Stop audio monitoring", 5}};
    for (int n = 1; n <= 7; ++n) {
        QAction* action;
        const QString name = QStringLiteral("Toolbar1Button%1").arg(n);
        if (entries[n].toolTip) {
            const QString tip = QLatin1String(entries[n].toolTip);
            action = c.Toolbar1->addAction(imageListIcon(entries[n].image), tip);
            action->setToolTip(tip);
            if (QWidget* button = c.Toolbar1->widgetForAction(action)) {
                button->setObjectName(name + QStringLiteral("Widget"));
                button->setAccessibleName(tip);
                button->setAccessibleDescription(name);
            }
        } else {
            action = c.Toolbar1->addSeparator();
        }
        action->setObjectName(name);
        c.toolbarButton[n] = action;
    }
}

QWidget* FrmMain::buildElementFrame() {
    auto& c = m_controls;
    auto* g = frame(centralWidget(), QStringLiteral("Element:"), "frmElement");
    auto* grid = new QGridLayout(g);
    c.lblElementType =
        valueLabel(g, "lblElementType", QStringLiteral("-"), QStringLiteral("UNKNOWN"));
    c.lblElementMAC =
        valueLabel(g, "lblElementMAC", QStringLiteral("-"), QStringLiteral("00:00:00:00:00:00"));
    c.lblSerialNumber = valueLabel(g, "lblSerialNumber", QStringLiteral("-"), QString());
    c.lblVersion = valueLabel(g, "lblVersion", QStringLiteral("-"), QString());
    const struct {
        QLabel* value;
        const char* caption;
        const char* name;
    } rows[] = {{c.lblElementType, "Element type:", "lblCaptionElementType"},
                {c.lblElementMAC, "MAC address:", "lblCaptionElementMAC"},
                {c.lblSerialNumber, "Serial number:", "lblCaptionSerialNumber"},
                {c.lblVersion, "DSP version:", "lblCaptionVersion"}};
    int row = 0;
    for (const auto& r : rows) {
        r.value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(captionFor(r.value, QLatin1String(r.caption), r.name, g), row, 0);
        grid->addWidget(r.value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* FrmMain::buildNetworkFrame() {
    auto& c = m_controls;
    auto* g = frame(centralWidget(), QStringLiteral("Network:"), "frmNetwork");
    auto* grid = new QGridLayout(g);
    c.txtElementName = field(g, "txtElementName", 16);
    c.txtElementName->setToolTip(QStringLiteral("Max 16 chars"));
    c.txtElementIP = field(g, "txtElementIP", 15);
    c.txtElementMask = field(g, "txtElementMask", 15);
    c.txtElementGW = field(g, "txtElementGW", 15);
    c.txtRemoteIP = field(g, "txtRemoteIP", 15);
    grid->addWidget(
        captionFor(c.txtElementName, QStringLiteral("Device name:"), "lblCaptionElementName", g), 0,
        0);
    grid->addWidget(c.txtElementName, 0, 1);
    grid->addWidget(
        captionFor(c.txtElementIP, QStringLiteral("Device IP:"), "lblCaptionElementIP", g), 1, 0);
    grid->addWidget(c.txtElementIP, 1, 1);
    grid->addWidget(
        captionFor(c.txtElementMask, QStringLiteral("Network mask:"), "lblCaptionElementMask", g),
        2, 0);
    grid->addWidget(c.txtElementMask, 2, 1);
    grid->addWidget(
        captionFor(c.txtElementGW, QStringLiteral("Gateway IP:"), "lblCaptionElementGW", g), 3, 0);
    grid->addWidget(c.txtElementGW, 3, 1);
    c.Label7 = captionFor(c.txtRemoteIP, QStringLiteral("Decoder IP:"), "Label7", g);
    c.Label7->setAccessibleDescription(QStringLiteral("Label7"));
    grid->addWidget(c.Label7, 4, 0);
    grid->addWidget(c.txtRemoteIP, 4, 1);

    // The two VLAN fields side by side in a frame of their own.
    auto* vlan = frame(g, QStringLiteral("VLAN:"), "frmVLAN");
    auto* vlanRow = new QHBoxLayout(vlan);
    c.txtVLAN_Audio = field(vlan, "txtVLAN_Audio", 4, QStringLiteral("1"));
    c.txtVLAN_OM = field(vlan, "txtVLAN_OM", 4, QStringLiteral("1"));
    for (QLineEdit* f : {c.txtVLAN_Audio, c.txtVLAN_OM}) {
        f->setToolTip(QStringLiteral("Range: 1-4095"));
        f->setMaximumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    }
    vlanRow->addWidget(
        captionFor(c.txtVLAN_Audio, QStringLiteral("Audio:"), "lblCaptionVLAN_Audio", vlan));
    vlanRow->addWidget(c.txtVLAN_Audio);
    vlanRow->addSpacing(16);
    vlanRow->addWidget(
        captionFor(c.txtVLAN_OM, QStringLiteral("VLAN O&&M:"), "lblCaptionVLAN_OM", vlan));
    vlanRow->addWidget(c.txtVLAN_OM);
    vlanRow->addStretch(1);
    grid->addWidget(vlan, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* FrmMain::buildAudioFrame() {
    auto& c = m_controls;
    auto* g = frame(centralWidget(), QStringLiteral("Audio:"), "frmAudio");
    auto* grid = new QGridLayout(g);

    c.cmbAudioInput =
        list(g, "cmbAudioInput", {QStringLiteral("Digital"), QStringLiteral("Analog")}, -1);
    // Created in the order of the rows, which is the Tab order.
    c.scrlAtten = bar<editor::UserScrollBar>(g, "scrlAtten", 14, 255, 255);
    c.lblAttenDB = valueLabel(g, "lblAttenDB", QStringLiteral("dB"), QStringLiteral("-120.5 dB"));
    c.cmbAudioType =
        list(g, "cmbAudioType", {QStringLiteral("Left/Right"), QStringLiteral("MPX")}, -1);
    c.cmbAudioTX =
        list(g, "cmbAudioTX", {QStringLiteral("Unicast"), QStringLiteral("Multicast")}, -1);
    c.cmbEncoders = list(g, "cmbEncoders", {QStringLiteral("<None>")}, 0);
    c.scrlBuffer = bar(g, "scrlBuffer", 0, 22, 0);
    c.lblLatency = valueLabel(g, "lblLatency", QStringLiteral("0mS"), QStringLiteral("57.5mS"));

    // The audio source list and the attenuation bar share the row of Label9: the editor
    // shows the one that suits the element's role.
    c.Label9 = captionFor(c.cmbAudioInput, QStringLiteral("Audio source:"), "Label9", g);
    c.Label9->setAccessibleDescription(QStringLiteral("Label9"));
    c.scrlAtten->setAccessibleName(QStringLiteral("Audio atten:"));
    auto* shared = new QHBoxLayout;
    shared->setContentsMargins(0, 0, 0, 0);
    shared->addWidget(c.cmbAudioInput, 1);
    shared->addWidget(c.scrlAtten, 1);
    shared->addWidget(c.lblAttenDB);
    // Until a role is shown the row offers the source, as its caption says.
    c.scrlAtten->setVisible(false);
    c.lblAttenDB->setVisible(false);
    grid->addWidget(c.Label9, 0, 0);
    grid->addLayout(shared, 0, 1, 1, 2);

    grid->addWidget(
        captionFor(c.cmbAudioType, QStringLiteral("Audio type:"), "lblCaptionAudioType", g), 1, 0);
    grid->addWidget(c.cmbAudioType, 1, 1, 1, 2);
    auto* txCaption =
        captionFor(c.cmbAudioTX, QStringLiteral("Transmission:"), "lblCaptionAudioTX", g);
    new VisibilityFollower(c.cmbAudioTX, txCaption);
    grid->addWidget(txCaption, 2, 0);
    grid->addWidget(c.cmbAudioTX, 2, 1, 1, 2);
    grid->addWidget(
        captionFor(c.cmbEncoders, QStringLiteral("Bound encoder:"), "lblCaptionEncoders", g), 3, 0);
    grid->addWidget(c.cmbEncoders, 3, 1, 1, 2);

    c.Label20 =
        captionFor(c.lblLatency, QStringLiteral("Buffer size:"), "Label20", g, c.scrlBuffer);
    c.Label20->setAccessibleDescription(QStringLiteral("Label20"));
    grid->addWidget(c.Label20, 4, 0);
    grid->addWidget(c.scrlBuffer, 4, 1);
    grid->addWidget(c.lblLatency, 4, 2);

    c.chkLowLatency = named(new QCheckBox(QStringLiteral("Enable low latency (1.25mS) option"), g),
                            "chkLowLatency");
    c.chkSFNEnabled = named(new QCheckBox(QStringLiteral("Enable PTP Sync"), g), "chkSFNEnabled");
    c.chkLowLatency->setAccessibleName(c.chkLowLatency->text());
    c.chkSFNEnabled->setAccessibleName(c.chkSFNEnabled->text());
    grid->addWidget(c.chkLowLatency, 5, 0, 1, 3);
    grid->addWidget(c.chkSFNEnabled, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* FrmMain::buildSilenceFrame() {
    auto& c = m_controls;
    auto* g = frame(centralWidget(), QStringLiteral("Silence detector:"), "frmSilenceDetector");
    auto* grid = new QGridLayout(g);
    c.cmbSilDetMode = list(g, "cmbSilDetMode",
                           {QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                            QStringLiteral("Force external")},
                           -1);
    c.scrlSilDetLevel = bar(g, "scrlSilDetLevel", 1, 154, 1);
    c.lblSilDetLevel =
        valueLabel(g, "lblSilDetLevel", QStringLiteral("0dBu"), QStringLiteral("-49.8dBu"));
    c.scrlSilDetTime = bar(g, "scrlSilDetTime", 1, 220, 1);
    c.lblSilDetTime =
        valueLabel(g, "lblSilDetTime", QStringLiteral("0Sec"), QStringLiteral("100.1Sec"));

    grid->addWidget(captionFor(c.cmbSilDetMode, QStringLiteral("Mode:"), "lblCaptionSilDetMode", g),
                    0, 0);
    grid->addWidget(c.cmbSilDetMode, 0, 1, 1, 2);
    c.Label24 =
        captionFor(c.lblSilDetLevel, QStringLiteral("Threshold:"), "Label24", g, c.scrlSilDetLevel);
    c.Label24->setAccessibleDescription(QStringLiteral("Label24"));
    grid->addWidget(c.Label24, 1, 0);
    grid->addWidget(c.scrlSilDetLevel, 1, 1);
    grid->addWidget(c.lblSilDetLevel, 1, 2);
    c.Label26 =
        captionFor(c.lblSilDetTime, QStringLiteral("Timeout:"), "Label26", g, c.scrlSilDetTime);
    c.Label26->setAccessibleDescription(QStringLiteral("Label26"));
    grid->addWidget(c.Label26, 2, 0);
    grid->addWidget(c.scrlSilDetTime, 2, 1);
    grid->addWidget(c.lblSilDetTime, 2, 2);
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* FrmMain::buildDiagnosticsFrame() {
    auto& c = m_controls;
    auto* g = frame(centralWidget(), QStringLiteral("Diagnostics:"), "frmDiagnostics");
    auto* grid = new QGridLayout(g);

    c.cmbNMSIPAddr = list(g, "cmbNMSIPAddr", {}, -1);
    c.cmbNMSIPAddr->setMinimumContentsLength(15);
    c.cmdPing = named(new QPushButton(QStringLiteral("<Click to test>"), g), "cmdPing");
    c.cmdPing->setToolTip(QStringLiteral("Test ping from NMS"));
    {
        QPalette p = c.cmdPing->palette();
        p.setColor(QPalette::Button, QColor(255, 255, 192));
        c.cmdPing->setPalette(p);
        c.cmdPing->setAutoFillBackground(true);
    }
    c.cmdGetStats = named(new QPushButton(QStringLiteral("Get..."), g), "cmdGetStats");
    c.cmdGetStats->setToolTip(QStringLiteral("Fetch statistical counters"));
    c.cmdAdjust = named(new QPushButton(QStringLiteral("Adjust..."), g), "cmdAdjust");

    c.chkGetVolume = named(new QCheckBox(QStringLiteral("Show audio level"), g), "chkGetVolume");
    c.chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    c.chkGetVolume->setAccessibleName(QStringLiteral("Show audio level"));
    c.chkGetVolume->setVisible(false);
    c.VUMeter = named(new editor::VuMeter(g), "VUMeter");
    c.lblVolume =
        valueLabel(g, "lblVolume", QStringLiteral("-oodBFS"), QStringLiteral("-138.5dBFS"));
    c.Slider1 = named(new QSlider(Qt::Horizontal, g), "Slider1");
    c.Slider1->setRange(20, 1000);
    c.Slider1->setValue(50);
    c.Slider1->setToolTip(QStringLiteral("Audio level request interval (ms)"));

    grid->addWidget(captionFor(c.cmbNMSIPAddr, QStringLiteral("NMS IP:"), "lblCaptionNMSIPAddr", g),
                    0, 0);
    grid->addWidget(c.cmbNMSIPAddr, 0, 1);
    grid->addWidget(captionFor(c.cmdPing, QStringLiteral("Ping test:"), "lblCaptionPing", g), 0, 3);
    grid->addWidget(c.cmdPing, 0, 4);

    grid->addWidget(
        captionFor(c.cmdGetStats, QStringLiteral("Statistics:"), "lblCaptionGetStats", g), 1, 0);
    grid->addWidget(c.cmdGetStats, 1, 1, Qt::AlignLeft);
    grid->addWidget(
        captionFor(c.cmdAdjust, QStringLiteral("SFN adjustment:"), "lblCaptionAdjust", g), 1, 3);
    grid->addWidget(c.cmdAdjust, 1, 4, Qt::AlignLeft);

    auto* meter = new QHBoxLayout;
    meter->setContentsMargins(0, 0, 0, 0);
    meter->addWidget(c.VUMeter);
    meter->addWidget(c.lblVolume);
    meter->addWidget(c.chkGetVolume);
    meter->addStretch(1);
    grid->addWidget(
        captionFor(c.lblVolume, QStringLiteral("Audio level:"), "lblCaptionVUMeter", g, c.VUMeter),
        2, 0);
    grid->addLayout(meter, 2, 1);
    grid->addWidget(
        captionFor(c.Slider1, QStringLiteral("Level interval:"), "lblCaptionSlider1", g), 2, 3);
    grid->addWidget(c.Slider1, 2, 4);

    grid->setColumnMinimumWidth(2, 24);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    return g;
}

void FrmMain::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

} // namespace app
