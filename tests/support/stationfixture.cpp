#include "stationfixture.h"

#include "diag/diagnosticspanel.h"
#include "diag/vumeter.h"
#include "platform/programdir.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace testsupport {

StationFixture::StationFixture(const QString& stationAddress, app::Station::Timing timing) {
    platform::setProgramDirectory(dir.path());
    qputenv("KESTRUNE_LOCK_PATH", QFile::encodeName(dir.filePath(QStringLiteral("nms.lock"))));
    settings.values.insert(QStringLiteral("EULA1"), QStringLiteral("1"));
    settings.values.insert(QStringLiteral("NMS IP Address"), stationAddress);
    addresses.list.addresses = {stationAddress};
    m_station = std::make_unique<app::Station>(timing);
    QWidget& w = m_station->window();
    const auto find = [&w](auto*& target, const char* name) {
        target = w.findChild<std::remove_reference_t<decltype(*target)>*>(QLatin1String(name));
        Q_ASSERT_X(target, "StationFixture", name);
    };
#define KN_FIND(name) find(m_controls.name, #name)
    KN_FIND(frmTreeView);
    KN_FIND(TreeView1);
    KN_FIND(cmbEncoders);
    KN_FIND(cmbAudioInput);
    KN_FIND(cmbAudioType);
    KN_FIND(cmbAudioTX);
    KN_FIND(cmbSilDetMode);
    KN_FIND(cmbNMSIPAddr);
    KN_FIND(txtElementName);
    KN_FIND(txtElementIP);
    KN_FIND(txtElementMask);
    KN_FIND(txtElementGW);
    KN_FIND(txtRemoteIP);
    KN_FIND(Label7);
    KN_FIND(Label9);
    KN_FIND(lblElementType);
    KN_FIND(lblElementMAC);
    KN_FIND(lblSerialNumber);
    KN_FIND(lblVersion);
    KN_FIND(lblAttenDB);
    KN_FIND(lblLatency);
    KN_FIND(lblSilDetLevel);
    KN_FIND(lblSilDetTime);
    KN_FIND(lblVolume);
    KN_FIND(scrlAtten);
    KN_FIND(scrlBuffer);
    KN_FIND(scrlSilDetLevel);
    KN_FIND(scrlSilDetTime);
    KN_FIND(chkLowLatency);
    KN_FIND(chkSFNEnabled);
    KN_FIND(chkGetVolume);
    KN_FIND(cmdPing);
    KN_FIND(cmdGetStats);
    KN_FIND(cmdAdjust);
    KN_FIND(VUMeter);
    KN_FIND(Slider1);
#undef KN_FIND
    m_controls.tmrVolume = m_station->diagnostics().levelMeter().tmrVolume();
    m_controls.timerRemoteSent = m_station->upload().timerRemoteSent();
    for (int n = 1; n <= 7; ++n)
        m_controls.toolbarButton[n] = m_station->window().toolbarButton(n);
}

StationFixture::~StationFixture() {
    m_station.reset();
    platform::setProgramDirectory(QString());
}

void StationFixture::writeIni(const QByteArray& bytes) const {
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray StationFixture::readIni() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool StationFixture::selectNode(const QString& mac) {
    const auto items = c().TreeView1->findItems('[' + mac + ']', Qt::MatchEndsWith);
    if (items.isEmpty())
        return false;
    c().TreeView1->setCurrentItem(items.first()); // as the press of a click chooses it
    return true;
}

} // namespace testsupport
