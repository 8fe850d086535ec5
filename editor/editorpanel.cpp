#include "editor/editorcontrols.h"

#include "editor/captions.h"

#include "editor/userscrollbar.h"
#include "platform/controlmaking.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace editor {

using namespace platform::make;

namespace {

QWidget* buildElementFrame(QWidget* parent, EditorControls& c) {
    auto* g = frame(parent, QStringLiteral("Element:"), "frmElement");
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
        grid->addWidget(captionFor(r.value, QLatin1String(r.caption), r.name, g), row, 0);
        grid->addWidget(r.value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* buildNetworkFrame(QWidget* parent, EditorControls& c) {
    auto* g = frame(parent, QStringLiteral("Network:"), "frmNetwork");
    auto* grid = new QGridLayout(g);
    c.txtElementName = field(g, "txtElementName", 16);
    c.txtElementName->setToolTip(QStringLiteral("Max 16 chars"));
    c.txtElementIP = field(g, "txtElementIP", 15);
    c.txtElementMask = field(g, "txtElementMask", 15);
    c.txtElementGW = field(g, "txtElementGW", 15);
    c.txtRemoteIP = field(g, "txtRemoteIP", 15);
    const struct {
        QLineEdit* field;
        const char* caption;
        const char* name;
    } rows[] = {{c.txtElementName, "Device name:", "lblCaptionElementName"},
                {c.txtElementIP, "Device IP:", "lblCaptionElementIP"},
                {c.txtElementMask, "Network mask:", "lblCaptionElementMask"},
                {c.txtElementGW, "Gateway IP:", "lblCaptionElementGW"},
                {c.txtRemoteIP, nullptr, "Label7"}};
    int row = 0;
    for (const auto& r : rows) {
        QLabel* caption =
            captionFor(r.field, r.caption ? QLatin1String(r.caption) : kDecoderCaption, r.name, g);
        grid->addWidget(caption, row, 0);
        grid->addWidget(r.field, row, 1);
        ++row;
    }
    c.Label7 = g->findChild<QLabel*>(QStringLiteral("Label7"));
    c.Label7->setAccessibleDescription(QStringLiteral("Label7"));

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
    grid->addWidget(vlan, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return g;
}

QWidget* buildAudioFrame(QWidget* parent, EditorControls& c) {
    auto* g = frame(parent, QStringLiteral("Audio:"), "frmAudio");
    auto* grid = new QGridLayout(g);

    c.cmbAudioInput =
        list(g, "cmbAudioInput", {QStringLiteral("Digital"), QStringLiteral("Analog")}, -1);
    // Created in the order of the rows, which is the Tab order.
    c.scrlAtten = bar<UserScrollBar>(g, "scrlAtten", 14, 255, 255);
    c.lblAttenDB = valueLabel(g, "lblAttenDB", QStringLiteral("dB"), QStringLiteral("-120.5 dB"));
    c.scrlAtten->setValueLabel(c.lblAttenDB);
    // Sent and stored once the thumb is released, not at every step of a drag.
    c.scrlAtten->setTracking(false);
    c.cmbAudioType =
        list(g, "cmbAudioType", {QStringLiteral("Left/Right"), QStringLiteral("MPX")}, -1);
    c.cmbAudioTX =
        list(g, "cmbAudioTX", {QStringLiteral("Unicast"), QStringLiteral("Multicast")}, -1);
    c.cmbEncoders = list(g, "cmbEncoders", {kNoEncoder}, 0);
    c.scrlBuffer = bar<UserScrollBar>(g, "scrlBuffer", 0, 22, 0);
    c.lblLatency = valueLabel(g, "lblLatency", QStringLiteral("0mS"), QStringLiteral("57.5mS"));
    c.scrlBuffer->setValueLabel(c.lblLatency);

    // The audio source list and the attenuation bar share the row of Label9: the editor
    // shows the one that suits the element's role.
    c.Label9 = captionFor(c.cmbAudioInput, kAudioSourceCaption, "Label9", g);
    c.Label9->setAccessibleDescription(QStringLiteral("Label9"));
    c.scrlAtten->setAccessibleName(kAudioAttenCaption);
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

QWidget* buildSilenceFrame(QWidget* parent, EditorControls& c) {
    auto* g = frame(parent, QStringLiteral("Silence detector:"), "frmSilenceDetector");
    auto* grid = new QGridLayout(g);
    c.cmbSilDetMode = list(g, "cmbSilDetMode",
                           {QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                            QStringLiteral("Force external")},
                           -1);
    c.scrlSilDetLevel = bar<UserScrollBar>(g, "scrlSilDetLevel", 1, 154, 1);
    c.lblSilDetLevel =
        valueLabel(g, "lblSilDetLevel", QStringLiteral("0dBu"), QStringLiteral("-49.8dBu"));
    c.scrlSilDetTime = bar<UserScrollBar>(g, "scrlSilDetTime", 1, 220, 1);
    c.lblSilDetTime =
        valueLabel(g, "lblSilDetTime", QStringLiteral("0Sec"), QStringLiteral("100.1Sec"));
    c.scrlSilDetLevel->setValueLabel(c.lblSilDetLevel);
    c.scrlSilDetTime->setValueLabel(c.lblSilDetTime);

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

} // namespace

void buildEditorPanel(QWidget* panel, EditorControls& c) {
    auto* left = new QVBoxLayout;
    left->addWidget(buildElementFrame(panel, c));
    left->addWidget(buildNetworkFrame(panel, c));
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildAudioFrame(panel, c));
    right->addWidget(buildSilenceFrame(panel, c));
    right->addStretch(1);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);
}

} // namespace editor
