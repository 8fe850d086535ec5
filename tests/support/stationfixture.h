#pragma once
// A station that runs in a temporary program directory with scripted boxes, in-memory
// settings and a scripted address table, so a test drives it without touching the user's
// files. Every test program gives it its own loopback address, so programs that run at
// the same time never share port 2976.
#include "app/frmMain.h"
#include "app/station.h"
#include "fakes/fakeicmpecho.h"
#include "fakes/fakelocaladdresses.h"
#include "fakes/fakeneighbourtable.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <memory>

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
class QTreeWidget;
namespace diag {
class VuMeter;
}

namespace testsupport {

// The window's controls, found by their names as a script finds them.
struct Controls {
    QGroupBox* frmTreeView;
    QTreeWidget* TreeView1;
    QComboBox *cmbEncoders, *cmbAudioInput, *cmbAudioType, *cmbAudioTX, *cmbSilDetMode,
        *cmbNMSIPAddr;
    QLineEdit *txtElementName, *txtElementIP, *txtElementMask, *txtElementGW, *txtRemoteIP;
    QLabel *Label7, *Label9, *lblElementType, *lblElementMAC, *lblSerialNumber, *lblVersion,
        *lblAttenDB, *lblLatency, *lblSilDetLevel, *lblSilDetTime, *lblVolume;
    QScrollBar *scrlAtten, *scrlBuffer, *scrlSilDetLevel, *scrlSilDetTime;
    QCheckBox *chkLowLatency, *chkSFNEnabled, *chkGetVolume;
    QPushButton *cmdPing, *cmdGetStats, *cmdAdjust;
    diag::VuMeter* VUMeter;
    QSlider* Slider1;
    QTimer *tmrVolume, *timerRemoteSent;
    QAction* toolbarButton[8];
};

class StationFixture {
public:
    explicit StationFixture(const QString& stationAddress,
                            app::Station::Timing timing = fastTiming());
    ~StationFixture();

    static app::Station::Timing fastTiming() { return {300, 10, 300, 3000}; }

    QString iniPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    void writeIni(const QByteArray& bytes) const;
    QByteArray readIni() const;

    // Runs the start-up sequence with the given arguments.
    bool start(const QStringList& arguments = {}) { return m_station->start(arguments); }

    app::Station& station() { return *m_station; }
    Controls& c() { return m_controls; }

    // Clicks the tree node whose key is this MAC text; false when there is none.
    bool selectNode(const QString& mac);

    QTemporaryDir dir;
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    platform::FakeLocalAddresses addresses;
    platform::FakeNeighbourTable neighbours;
    platform::FakeIcmpEcho echo;

private:
    std::unique_ptr<app::Station> m_station;
    Controls m_controls{};
};

// "192.0.2.1" -> host-order address
inline quint32 hostOrder(const QString& address) {
    return QHostAddress(address).toIPv4Address();
}
inline QByteArray macBytes(const QString& mac) {
    return QByteArray::fromHex(mac.toLatin1());
}

} // namespace testsupport
