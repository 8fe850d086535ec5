#pragma once
// The editor's own controls, made by buildEditorPanel and worked by ElementEditor alone.
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace editor {

class UserScrollBar;

struct EditorControls {
    // Element facts
    QLabel* lblElementType = nullptr;
    QLabel* lblElementMAC = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLabel* lblVersion = nullptr;

    // Address and name fields
    QLineEdit* txtElementName = nullptr;
    QLineEdit* txtElementIP = nullptr;
    QLineEdit* txtElementMask = nullptr;
    QLineEdit* txtElementGW = nullptr;
    QLabel* Label7 = nullptr; // "Decoder IP:" / "Multicast IP:"
    QLineEdit* txtRemoteIP = nullptr;
    QLineEdit* txtVLAN_Audio = nullptr;
    QLineEdit* txtVLAN_OM = nullptr;

    // Audio parameters
    QLabel* Label9 = nullptr; // "Audio source:" / "Audio atten:"
    QComboBox* cmbAudioInput = nullptr;
    QComboBox* cmbAudioType = nullptr;
    QComboBox* cmbAudioTX = nullptr;
    QComboBox* cmbEncoders = nullptr;
    UserScrollBar* scrlAtten = nullptr;
    QLabel* lblAttenDB = nullptr;
    QLabel* Label20 = nullptr; // "Buffer size:"
    UserScrollBar* scrlBuffer = nullptr;
    QLabel* lblLatency = nullptr;
    QCheckBox* chkLowLatency = nullptr;
    QCheckBox* chkSFNEnabled = nullptr;

    // Silence detector
    QComboBox* cmbSilDetMode = nullptr;
    QLabel* Label24 = nullptr; // "Threshold:"
    UserScrollBar* scrlSilDetLevel = nullptr;
    QLabel* lblSilDetLevel = nullptr;
    QLabel* Label26 = nullptr; // "Timeout:"
    UserScrollBar* scrlSilDetTime = nullptr;
    QLabel* lblSilDetTime = nullptr;
};

// Lays the four frames out on panel (facts and network on the left, audio and silence detector
// on the right), in Tab order.
void buildEditorPanel(QWidget* panel, EditorControls& c);

} // namespace editor
