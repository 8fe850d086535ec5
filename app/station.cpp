#include "app/station.h"

#include "app/editorbridge.h"
#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "db/elementlist.h"
#include "db/frmWaiting.h"
#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "diag/interfacechoice.h"
#include "diag/levelmeter.h"
#include "diag/ping.h"
#include "editor/elementeditor.h"
#include "editor/vumeter.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"
#include "protocol/discovery.h"
#include "protocol/feedbackhandler.h"
#include "protocol/frmPaging.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"
#include "protocol/upload.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace app {

namespace {

const QString kSettingNmsIp = QStringLiteral("NMS IP Address");
const QString kSettingEula = QStringLiteral("EULA1");

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

void critical(const QString& text) {
    platform::showMessage(text, QString(), MsgIcon::Critical);
}

} // namespace

Station::Station(Timing timing, QObject* parent)
    : QObject(parent), m_timing(timing), m_window(std::make_unique<FrmMain>()) {
    auto& c = controls();
    m_editor = new editor::ElementEditor(c, m_state, this);
    m_editorBridge = std::make_unique<EditorBridge>(c, *m_editor);
    m_endpoint = new protocol::MainEndpoint(m_state.strLocalNMSIPAddress, this);
    m_notices = new protocol::NoticeQueue(this);
    m_discovery = new protocol::DiscoverySession(*m_endpoint, this);
    const int macTickMs = m_timing.macTickMs;
    FrmMain* window = m_window.get();
    m_feedback = new protocol::FeedbackHandler(
        *m_endpoint, *m_discovery, *m_notices, *m_editorBridge,
        [macTickMs, window](const QString& address, quint8 tickLimit) {
            db::FrmWaiting wait(address, tickLimit, macTickMs, window);
            return wait.waitForMac();
        },
        this);
    c.timerRemoteSent->setInterval(m_timing.responseTimeoutMs);
    c.timerRemoteSent->setSingleShot(false);
    m_upload = new protocol::Upload(*m_endpoint, *m_feedback, *m_notices, *m_editorBridge,
                                    c.timerRemoteSent, this);
    m_levelMeter = new diag::LevelMeter(
        *m_endpoint, c.tmrVolume,
        [this] { return m_editor->elementLoaded() ? selectedElementIp() : QString(); }, this);
    m_ping = std::make_unique<diag::PingTest>(*m_endpoint, *m_notices);
    m_interfaces =
        std::make_unique<diag::InterfaceChoice>(*m_endpoint, m_state.strLocalNMSIPAddress);
    // The editor starts empty: nothing can act on the "-" element.
    c.cmdGetStats->setEnabled(false);
    c.cmdAdjust->setEnabled(false);
    connectWindow();
}

Station::~Station() = default;

editor::MainControls& Station::controls() {
    return m_window->controls();
}

platform::UdpEndpoint& Station::udpClient() {
    return m_endpoint->udpClient();
}

void Station::connectWindow() {
    auto& c = controls();
    connect(m_endpoint, &protocol::MainEndpoint::bindFailed, this,
            [this] { fatal(QStringLiteral("Unable to use UDP port 2976: occupied.")); });
    connect(m_feedback, &protocol::FeedbackHandler::listChanged, this, &Station::Load_Config);
    connect(m_discovery, &protocol::DiscoverySession::listChanged, this, &Station::Load_Config);
    connect(m_levelMeter, &diag::LevelMeter::readingChanged, this,
            [this](const protocol::LevelReading& reading) {
                controls().VUMeter->setWidthTwips(reading.widthTwips);
                controls().lblVolume->setText(reading.caption);
            });
    connect(c.toolbarButton[1], &QAction::triggered, this, &Station::AutoDiscover);
    connect(c.toolbarButton[2], &QAction::triggered, this, &Station::RefreshList);
    connect(c.toolbarButton[4], &QAction::triggered, this, &Station::SaveChanges);
    connect(c.toolbarButton[6], &QAction::triggered, this, &Station::StartMonitoring);
    connect(c.toolbarButton[7], &QAction::triggered, this, &Station::StopMonitoring);
    connect(c.Slider1, &QSlider::valueChanged, this,
            [this](int ms) { controls().tmrVolume->setInterval(ms); });
    connect(m_editor, &editor::ElementEditor::attenuationMovedByUser, this,
            [this](int step) { m_endpoint->SendAttenuation(selectedElementIp(), quint8(step)); });
    connect(c.cmbNMSIPAddr, &QComboBox::activated, this, [this](int index) {
        m_interfaces->choose(controls().cmbNMSIPAddr->itemText(index), !m_starting);
    });
    connect(c.cmdPing, &QPushButton::clicked, this, [this] {
        auto show = [this](const diag::PingResult& r) {
            editor::setBackground(controls().cmdPing, r.colour, QPalette::Button);
            controls().cmdPing->setText(r.caption);
        };
        show(diag::PingTest::trying());
        const diag::PingResult result = m_ping->PingElement(controls().txtElementIP->text());
        if (result.shown)
            show(result);
    });
    connect(c.cmdGetStats, &QPushButton::clicked, this, &Station::openStatistics);
    connect(c.cmdAdjust, &QPushButton::clicked, this, &Station::openAdjust);
    connect(m_window.get(), &FrmMain::closing, this, [this] {
        m_ended = true;
        udpClient().close();
    });
}

void Station::fatal(const QString& message) {
    // No level request may go out while the box is open.
    controls().tmrVolume->stop();
    critical(message);
    udpClient().close();
    m_ended = true;
    m_exitCode = 1;
    emit programEnded(m_exitCode);
}

// ---------------------------------------------------------------- start-up

bool Station::start(const QStringList& arguments) {
    auto& c = controls();

    // 1. The whole argument text, upper-cased, is one word or nothing.
    const QString argumentText = arguments.join(QLatin1Char(' ')).toUpper();
    if (argumentText == QLatin1String("GPS"))
        m_state.GPSMode = true;
    else if (argumentText == QLatin1String("LL"))
        m_state.LowLatencyMode = true;
    else
        m_state.GPSMode = false;

    // 2.
    m_state.strLocalNMSIPAddress =
        platform::settings().get(kSettingNmsIp, QStringLiteral("0.0.0.0"));

    // 3.
    m_instanceLock = std::make_unique<platform::SingleInstanceLock>();
    if (!m_instanceLock->tryAcquire()) {
        platform::showMessage(
            QStringLiteral(
                "Talvoren Kestrune NMS is already running (check the icon in system tray)!"),
            QStringLiteral("Talvoren Kestrune NMS"), MsgIcon::Information);
        m_ended = true;
        m_exitCode = 0;
        return false;
    }

    // 4. A value that is not a number counts as 0: the notice is shown.
    if (db::ParseLong(platform::settings().get(kSettingEula, QStringLiteral("0")), 0) == 0) {
        FrmDisclaimer notice;
        notice.exec();
    }

    // 5.
    c.toolbarButton[6]->setEnabled(false);
    c.toolbarButton[7]->setEnabled(false);

    // 6.
    Load_Config();

    // 7. The list's selection only chooses the address now; it is saved once step 8
    // has bound to it.
    m_starting = true;
    const bool listed = fillInterfaceList();
    m_starting = false;
    if (!listed)
        return false;

    // 8.
    if (!m_endpoint->BindMainEndpoint(true))
        return false;
    m_interfaces->saveBound();

    // 9.
    QString suffix;
    int bufferMaximum;
    if (m_state.GPSMode) {
        suffix = QStringLiteral(" [GPSDO version] - Talvoren Broadcast");
        bufferMaximum = 23;
    } else if (m_state.LowLatencyMode) {
        suffix = QStringLiteral(" [Low Latency Option] - Talvoren Broadcast");
        bufferMaximum = 44;
    } else {
        suffix = QStringLiteral(" - Talvoren Broadcast");
        bufferMaximum = 22;
    }
    m_window->setWindowTitle(QStringLiteral("Kestrune NMS v.3.4.8") + suffix);
    c.scrlBuffer->setMaximum(bufferMaximum);
    return true;
}

bool Station::fillInterfaceList() {
    auto& c = controls();
    const diag::InterfaceList list = m_interfaces->FillNMSIPList();
    if (list.errorCode != 0) {
        fatal(QStringLiteral("GetIpAddrTable failed with return value %1").arg(list.errorCode));
        return false;
    }
    c.cmbNMSIPAddr->clear();
    c.cmbNMSIPAddr->addItems(list.addresses);
    if (list.select < 0)
        return true;
    c.cmbNMSIPAddr->setCurrentIndex(list.select);
    return m_interfaces->choose(list.addresses.at(list.select), !m_starting);
}

// ---------------------------------------------------------------- element list

void Station::inform(const QString& text) {
    // Behind a box of the receive path, never on top of it.
    if (m_notices->idle())
        platform::showMessage(text, QStringLiteral("Information"), MsgIcon::Information);
    else
        m_notices->post(text, QStringLiteral("Information"), MsgIcon::Information);
}

void Station::Load_Config() {
    // A rebuild asked for while one runs (from an event let through below) runs
    // after it, never inside it.
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    do {
        m_reloadPending = false;
        auto& c = controls();
        m_state.lstHidden.clear();
        c.TreeView1->clear();
        c.cmbEncoders->clear();
        c.cmbEncoders->addItem(QStringLiteral("<None>"));
        c.VUMeter->setWidthTwips(0);
        auto setCaption = [&] {
            c.frmTreeView->setTitle(
                QStringLiteral("Select element: (%1 items)").arg(c.TreeView1->topLevelItemCount()));
        };
        setCaption();

        const db::ElementList list = db::BuildElementList(db::NmsIniPath());
        m_state.lstHidden = list.hidden;
        if (list.empty == db::ElementList::Empty::MissingFile) {
            inform(db::kMissingDatabaseText);
        } else if (list.empty == db::ElementList::Empty::NoSections) {
            inform(db::kEmptyDatabaseText);
        } else {
            int encoderIndex = 0;
            for (const db::ElementNode& node : list.nodes) {
                // Keeps the window alive on a large list; a rebuild asked for
                // meanwhile is only noted (above).
                QCoreApplication::processEvents();
                if (m_ended || m_reloadPending)
                    break;
                auto* item = new QTreeWidgetItem(c.TreeView1, QStringList(node.text));
                item->setData(0, Qt::UserRole, node.key);
                item->setIcon(0, FrmMain::elementIcon(node.encoder));
                if (node.encoder && encoderIndex < list.encoders.size())
                    c.cmbEncoders->addItem(list.encoders.at(encoderIndex++));
            }
        }
        setCaption();
    } while (m_reloadPending && !m_ended);
    m_loading = false;
}

void Station::RefreshList() {
    controls().TreeView1->clear();
    Load_Config();
    m_editor->ClearElementEditor();
}

void Station::clearListViews() {
    auto& c = controls();
    m_state.lstHidden.clear();
    c.TreeView1->clear();
    c.cmbEncoders->clear();
    c.cmbEncoders->addItem(QStringLiteral("<None>"));
    c.VUMeter->setWidthTwips(0);
    c.frmTreeView->setTitle(
        QStringLiteral("Select element: (%1 items)").arg(c.TreeView1->topLevelItemCount()));
}

QString Station::selectedElementIp() const {
    return db::ReadFromINI(m_editor->section(), db::keys::ip, db::NmsIniPath(), QString());
}

// ---------------------------------------------------------------- toolbar

void Station::AutoDiscover() {
    if (!m_state.lstHidden.isEmpty()) {
        const MsgAnswer answer = platform::showMessage(
            QStringLiteral("Performing an 'Auto Discovery' will delete the local database in your "
                           "computer and create a new one, based on the Network Elements found "
                           "(if any). \rAre you sure?"),
            QStringLiteral("Auto Discovery"), MsgIcon::Question, MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes)
            return;
    }
    m_editor->ClearElementEditor();
    controls().TreeView1->clear();

    protocol::FrmPaging paging(*m_discovery, m_timing.discoveryWindowMs, m_window.get());
    m_editor->setMonitoring(false);
    clearListViews();
    if (!paging.run()) {
        critical(QStringLiteral("Unable to create the local database.\rAuto Discovery aborted."));
        // The old database is still there: show it again.
        Load_Config();
        return;
    }
    if (m_discovery->takeWriteFailure())
        critical(db::kWriteFailedText);
}

void Station::SaveChanges() {
    m_upload->SaveChanges();
}

void Station::StartMonitoring() {
    m_editor->setMonitoring(true);
    controls().toolbarButton[6]->setEnabled(false);
    controls().toolbarButton[7]->setEnabled(true);
}

void Station::StopMonitoring() {
    m_editor->setMonitoring(false);
    controls().toolbarButton[6]->setEnabled(true);
    controls().toolbarButton[7]->setEnabled(false);
}

void Station::openStatistics() {
    diag::FrmStatistics window(controls(), m_state.strLocalNMSIPAddress, m_window.get());
    if (!window.start()) {
        fatal(QStringLiteral("Error 2: Unable to use UDP port 2978: occupied."));
        return;
    }
    window.exec();
}

void Station::openAdjust() {
    diag::FrmAdjust window(controls(), m_state.strLocalNMSIPAddress, m_window.get());
    if (!window.start()) {
        fatal(QStringLiteral("Unable to use UDP port 2978: occupied."));
        return;
    }
    window.exec();
}

} // namespace app
