#pragma once
// The main window's controls and window-level variables, as the editor, the element
// list, the feedback handler and the diagnostics reach them. frmMain fills it.
#include "editor/userscrollbar.h"

#include <QString>
#include <QStringList>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QTimer;
class QToolBar;
class QTreeWidget;
class QWidget;

namespace editor {

class VuMeter;

struct MainControls {
    QWidget* frmMain = nullptr;

    // Element list
    QGroupBox* frmTreeView = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QComboBox* cmbEncoders = nullptr;

    // Address and name fields
    QLineEdit* txtElementName = nullptr;
    QLineEdit* txtElementIP = nullptr;
    QLineEdit* txtElementMask = nullptr;
    QLineEdit* txtElementGW = nullptr;
    QLabel* Label7 = nullptr; // "Decoder IP:" / "Multicast IP:"
    QLineEdit* txtRemoteIP = nullptr;
    QLineEdit* txtVLAN_Audio = nullptr;
    QLineEdit* txtVLAN_OM = nullptr;

    // Read-only element facts
    QLabel* lblElementType = nullptr;
    QLabel* lblElementMAC = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLabel* lblVersion = nullptr;

    // Audio parameters
    QLabel* Label9 = nullptr; // "Audio source:" / "Audio atten:"
    QComboBox* cmbAudioInput = nullptr;
    QComboBox* cmbAudioType = nullptr;
    QComboBox* cmbAudioTX = nullptr;
    UserScrollBar* scrlAtten = nullptr;
    QLabel* lblAttenDB = nullptr;
    QLabel* Label20 = nullptr; // "Buffer size:"
    QScrollBar* scrlBuffer = nullptr;
    QLabel* lblLatency = nullptr;
    QComboBox* cmbSilDetMode = nullptr;
    QLabel* Label24 = nullptr; // "Threshold:"
    QScrollBar* scrlSilDetLevel = nullptr;
    QLabel* lblSilDetLevel = nullptr;
    QLabel* Label26 = nullptr; // "Timeout:"
    QScrollBar* scrlSilDetTime = nullptr;
    QLabel* lblSilDetTime = nullptr;
    QCheckBox* chkLowLatency = nullptr;
    QCheckBox* chkSFNEnabled = nullptr;

    // Diagnostics
    QPushButton* cmdPing = nullptr;
    QPushButton* cmdGetStats = nullptr;
    QPushButton* cmdAdjust = nullptr;
    QComboBox* cmbNMSIPAddr = nullptr;

    // Audio level meter
    QCheckBox* chkGetVolume = nullptr; // hidden switch, worked by toolbar buttons 6 and 7
    VuMeter* VUMeter = nullptr;
    QLabel* lblVolume = nullptr;
    QSlider* Slider1 = nullptr;
    QTimer* tmrVolume = nullptr;

    // Toolbar: toolbarButton[1..7] as the toolbar numbers them (3 and 5 separators).
    QToolBar* Toolbar1 = nullptr;
    QAction* toolbarButton[8] = {};

    QTimer* timerRemoteSent = nullptr;
};

// Window-level variables shared by several parts of the station.
struct MainState {
    bool GPSMode = false;
    bool LowLatencyMode = false;
    QString strLocalNMSIPAddress = QStringLiteral("0.0.0.0");
    QStringList lstHidden; // section names of nms.ini, in file order
};

} // namespace editor
