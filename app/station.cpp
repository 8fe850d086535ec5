#include "app/station.h"

#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "db/frmTreeView.h"
#include "db/frmWaiting.h"
#include "db/sharedfunctions.h"
#include "diag/diagnosticspanel.h"
#include "editor/elementeditor.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"
#include "protocol/discovery.h"
#include "protocol/feedbackhandler.h"
#include "protocol/frmPaging.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"

#include <QAction>
#include <QTreeWidget>

namespace app {

using platform::MsgIcon;

Station::Station(Timing timing, QObject* parent) : QObject(parent), m_timing(timing) {
    m_endpoint = new protocol::MainEndpoint(this);
    m_notices = new protocol::NoticeQueue(this);
    m_list = new db::ElementTreeView;
    m_editor = new editor::ElementEditor;
    m_diagnostics = new diag::DiagnosticsPanel(*m_endpoint, *m_notices);
    m_window = std::make_unique<FrmMain>(m_list, m_editor, m_diagnostics);
    m_discovery = new protocol::DiscoverySession(*m_endpoint, *m_notices, this);
    const int tickMs = m_timing.macTickMs;
    FrmMain* window = m_window.get();
    m_upload = new protocol::Upload(
        *m_endpoint, *m_notices, [this] { return draft(); },
        [tickMs, window](const QString& address, quint8 tickLimit) {
            db::FrmWaiting wait(address, tickLimit, tickMs, window);
            return wait.waitForMac();
        },
        {m_timing.responseTimeoutMs, m_timing.lateAnswerMs}, this);
    m_feedback = new protocol::FeedbackHandler(*m_endpoint, *m_discovery, *m_upload, this);
    connectParts();
}

Station::~Station() = default;

platform::UdpEndpoint& Station::udpClient() {
    return m_endpoint->udpClient();
}

protocol::Draft Station::draft() const {
    return {m_editor->selected(), m_editor->draft()};
}

void Station::connectParts() {
    connect(m_endpoint, &protocol::MainEndpoint::bindFailed, this,
            [this] { fatal(QStringLiteral("Unable to use UDP port 2976: occupied.")); });
    connect(m_diagnostics, &diag::DiagnosticsPanel::fatal, this, &Station::fatal);

    m_list->setPictures(FrmMain::elementIcon(true), FrmMain::elementIcon(false));
    m_list->setInform([this](const QString& text) { inform(text); });
    connect(m_list, &db::ElementTreeView::nodeChosen, m_editor, &editor::ElementEditor::chooseNode);
    connect(m_list, &db::ElementTreeView::rebuilding, this, [this] {
        m_editor->setEncoders({});
        m_diagnostics->levelMeter().emptyBar();
    });
    connect(m_list, &db::ElementTreeView::rebuilt, m_editor, &editor::ElementEditor::setEncoders);

    diag::DiagnosticsPanel* d = m_diagnostics;
    d->setTypedAddress([this] { return m_editor->draft().ip.text(); });
    connect(m_editor, &editor::ElementEditor::elementChanged, d,
            &diag::DiagnosticsPanel::setElement);
    connect(m_editor, &editor::ElementEditor::statisticsAllowed, d,
            &diag::DiagnosticsPanel::setStatisticsAllowed);
    connect(m_editor, &editor::ElementEditor::adjustAllowed, d,
            &diag::DiagnosticsPanel::setAdjustAllowed);
    connect(m_editor, &editor::ElementEditor::loadStarted, d,
            &diag::DiagnosticsPanel::resetPingColour);
    connect(m_editor, &editor::ElementEditor::pingReady, d, &diag::DiagnosticsPanel::resetPing);
    connect(m_editor, &editor::ElementEditor::monitoringAllowed, &d->levelMeter(),
            &diag::LevelMeter::setAllowed);
    connect(&d->levelMeter(), &diag::LevelMeter::buttonsChanged, this,
            [this](bool start, bool stop) {
                m_window->toolbarButton(6)->setEnabled(start);
                m_window->toolbarButton(7)->setEnabled(stop);
            });
    connect(m_editor, &editor::ElementEditor::attenuationMoved, this,
            [this](const db::SelectedElement& element, int step) {
                if (const auto address = element.storedAddress())
                    m_endpoint->SendAttenuation(*address, quint8(step));
            });

    connect(m_upload, &protocol::Upload::answerStored, m_editor,
            &editor::ElementEditor::showStored);
    connect(m_upload, &protocol::Upload::listChanged, this, &Station::Load_Config);
    connect(m_discovery, &protocol::DiscoverySession::finished, this, [this](bool writeFailed) {
        Load_Config();
        if (writeFailed)
            m_notices->post(db::kWriteFailedText);
    });

    const QList<void (Station::*)()> commands{
        nullptr, &Station::AutoDiscover,    &Station::RefreshList,   nullptr, &Station::SaveChanges,
        nullptr, &Station::StartMonitoring, &Station::StopMonitoring};
    for (int n = 1; n <= 7; ++n)
        if (commands[n])
            connect(m_window->toolbarButton(n), &QAction::triggered, this, commands[n]);
    connect(m_window.get(), &FrmMain::closing, this, [this] {
        m_ended = true;
        m_list->stop();
        udpClient().close();
    });
}

void Station::fatal(const QString& message) {
    // No level request may go out while the box is open.
    m_diagnostics->levelMeter().tmrVolume()->stop();
    platform::showMessage(message, QString(), MsgIcon::Critical);
    udpClient().close();
    m_ended = true;
    m_exitCode = 1;
    emit programEnded(m_exitCode);
}

void Station::inform(const QString& text) {
    // Behind a box of the receive path, never on top of it.
    const QString title = QStringLiteral("Information");
    if (m_notices->idle())
        platform::showMessage(text, title, MsgIcon::Information);
    else
        m_notices->post(text, title, MsgIcon::Information);
}

bool Station::start(const QStringList& arguments) {
    // 1. The whole argument text, upper-cased, is one word or nothing.
    const QString word = arguments.join(QLatin1Char(' ')).toUpper();
    const db::Variant variant = word == QLatin1String("GPS")  ? db::Variant::Gps
                                : word == QLatin1String("LL") ? db::Variant::LowLatency
                                                              : db::Variant::Standard;
    m_editor->setVariant(variant);
    m_upload->setLimits(m_editor->limits());

    // 2.
    m_endpoint->setLocalAddress(
        platform::settings().get(platform::kNmsIpAddressSetting, platform::kNmsIpAddressDefault));

    // 3.
    m_instanceLock = std::make_unique<platform::SingleInstanceLock>();
    if (!m_instanceLock->tryAcquire()) {
        platform::showMessage(
            QStringLiteral(
                "Talvoren Kestrune NMS is already running (check the icon in system tray)!"),
            QStringLiteral("Talvoren Kestrune NMS"), MsgIcon::Information);
        m_ended = true;
        return false;
    }

    // 4. A value that is not a number counts as 0: the notice is shown.
    if (db::parseLong(platform::settings().get(platform::kEulaSetting, QStringLiteral("0")), 0) ==
        0) {
        FrmDisclaimer notice;
        notice.exec();
    }

    // 5.
    m_window->toolbarButton(6)->setEnabled(false);
    m_window->toolbarButton(7)->setEnabled(false);

    // 6.
    Load_Config();

    // 7. The list's selection only chooses the address now; step 8 saves it once bound.
    m_diagnostics->setStarting(true);
    const int tableError = m_diagnostics->FillNMSIPList();
    m_diagnostics->setStarting(false);
    if (tableError != 0) {
        fatal(QStringLiteral("GetIpAddrTable failed with return value %1").arg(tableError));
        return false;
    }

    // 8.
    if (!m_endpoint->BindMainEndpoint(true))
        return false;
    m_diagnostics->savedWhenBound();

    // 9. (The buffer's range follows the variant, set in step 1.)
    const QString suffix = variant == db::Variant::Gps ? QStringLiteral(" [GPSDO version]")
                           : variant == db::Variant::LowLatency
                               ? QStringLiteral(" [Low Latency Option]")
                               : QString();
    m_window->setWindowTitle(QStringLiteral("Kestrune NMS v.3.4.8") + suffix +
                             QStringLiteral(" - Talvoren Broadcast"));
    return true;
}

void Station::Load_Config() {
    m_list->Load_Config();
}

void Station::RefreshList() {
    m_list->tree()->clear();
    Load_Config();
    m_editor->ClearElementEditor();
}

void Station::AutoDiscover() {
    if (!m_list->lstHidden().isEmpty()) {
        const platform::MsgAnswer answer = platform::showMessage(
            QStringLiteral("Performing an 'Auto Discovery' will delete the local database in your "
                           "computer and create a new one, based on the Network Elements found "
                           "(if any). \rAre you sure?"),
            QStringLiteral("Auto Discovery"), MsgIcon::Question, platform::MsgButtons::YesNo);
        if (answer != platform::MsgAnswer::Yes)
            return;
    }
    m_editor->ClearElementEditor();
    m_list->clear();
    protocol::FrmPaging paging(*m_discovery, m_timing.discoveryWindowMs, m_window.get());
    if (!paging.run()) {
        platform::showMessage(
            QStringLiteral("Unable to create the local database.\rAuto Discovery aborted."),
            QString(), MsgIcon::Critical);
        // The old database is still there: show it again.
        Load_Config();
    }
}

void Station::SaveChanges() {
    m_upload->SaveChanges();
}

void Station::StartMonitoring() {
    m_diagnostics->levelMeter().start();
}

void Station::StopMonitoring() {
    m_diagnostics->levelMeter().stop();
}

} // namespace app
