#include "app/station.h"

#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "app/frmPaging.h"
#include "db/elementlist.h"
#include "db/frmWaiting.h"
#include "db/inistore.h"
#include "db/maclookup.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "editor/elementeditor.h"
#include "editor/vumeter.h"
#include "protocol/levelreply.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include <utility>

namespace app {

namespace {

constexpr quint16 kMainPort = 2976;
constexpr quint16 kAttenuationPort = 2977;
constexpr quint16 kPagingPort = 1901;

const QString kSettingNmsIp = QStringLiteral("NMS IP Address");
const QString kSettingEula = QStringLiteral("EULA1");
const QString kPortMessage = QStringLiteral("Unable to use UDP port 2976: occupied.");
const QString kMacNotFound =
    QStringLiteral("An error occured while retrieving 'Element MAC':\rFeedback is corrupted.");
const QString kWriteFailed =
    QStringLiteral("Unable to write the local database.\rCannot save this element info.");

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

void critical(const QString& text, const QString& title = QString()) {
    platform::showMessage(text, title, MsgIcon::Critical);
}

void setButtonColour(QWidget* w, const QColor& colour) {
    editor::setBackground(w, colour, QPalette::Button);
}

} // namespace

Station::Station(Timing timing, QObject* parent)
    : QObject(parent), m_timing(timing), m_window(std::make_unique<FrmMain>()) {
    m_udpClient = new platform::UdpEndpoint(this);
    m_udpClient->setObjectName(QStringLiteral("udpClient"));
    m_editor = new editor::ElementEditor(m_window->controls(), m_state, this);
    controls().timerRemoteSent->setInterval(m_timing.responseTimeoutMs);
    controls().timerRemoteSent->setSingleShot(false);
    // The editor starts empty: nothing can act on the "-" element.
    controls().cmdGetStats->setEnabled(false);
    controls().cmdAdjust->setEnabled(false);
    connectWindow();
}

Station::~Station() = default;

editor::MainControls& Station::controls() {
    return m_window->controls();
}

void Station::connectWindow() {
    auto& c = controls();
    connect(m_udpClient, &platform::UdpEndpoint::datagramReceived, this,
            &Station::DispatchDatagram);
    connect(c.toolbarButton[1], &QAction::triggered, this, &Station::AutoDiscover);
    connect(c.toolbarButton[2], &QAction::triggered, this, &Station::RefreshList);
    connect(c.toolbarButton[4], &QAction::triggered, this, &Station::SaveChanges);
    connect(c.toolbarButton[6], &QAction::triggered, this, &Station::StartMonitoring);
    connect(c.toolbarButton[7], &QAction::triggered, this, &Station::StopMonitoring);
    connect(c.timerRemoteSent, &QTimer::timeout, this, &Station::onResponseTimeout);
    connect(c.tmrVolume, &QTimer::timeout, this, &Station::onVolumeTick);
    connect(c.Slider1, &QSlider::valueChanged, this,
            [this](int ms) { controls().tmrVolume->setInterval(ms); });
    connect(m_editor, &editor::ElementEditor::attenuationMovedByUser, this,
            &Station::sendAttenuation);
    connect(c.cmbNMSIPAddr, &QComboBox::activated, this, &Station::onNMSIPSelected);
    connect(c.cmdPing, &QPushButton::clicked, this, [this] {
        setButtonColour(controls().cmdPing, QColor(255, 255, 192));
        controls().cmdPing->setText(QStringLiteral("Trying..."));
        PingElement(controls().txtElementIP->text());
    });
    connect(c.cmdGetStats, &QPushButton::clicked, this, &Station::openStatistics);
    connect(c.cmdAdjust, &QPushButton::clicked, this, &Station::openAdjust);
    connect(m_window.get(), &FrmMain::closing, this, [this] {
        m_ended = true;
        m_udpClient->close();
    });
}

void Station::fatal(const QString& message) {
    // No level request may go out while the box is open.
    controls().tmrVolume->stop();
    critical(message);
    m_udpClient->close();
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
            QStringLiteral("Talvoren Kestrune NMS is already running (check the icon in system tray)!"),
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
    FillNMSIPList();
    m_starting = false;
    if (m_ended)
        return false;

    // 8.
    if (!BindMainEndpoint(true))
        return false;
    if (platform::settings().get(kSettingNmsIp, QStringLiteral("0.0.0.0")) !=
        m_state.strLocalNMSIPAddress)
        platform::settings().save(kSettingNmsIp, m_state.strLocalNMSIPAddress);

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

// ---------------------------------------------------------------- element list

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
            c.frmTreeView->setTitle(QStringLiteral("Select element: (%1 items)")
                                        .arg(c.TreeView1->topLevelItemCount()));
        };
        setCaption();

        const db::ElementList list = db::BuildElementList(db::NmsIniPath());
        m_state.lstHidden = list.hidden;
        if (list.empty == db::ElementList::Empty::MissingFile) {
            platform::showMessage(db::kMissingDatabaseText, QStringLiteral("Information"),
                                  MsgIcon::Information);
        } else if (list.empty == db::ElementList::Empty::NoSections) {
            platform::showMessage(db::kEmptyDatabaseText, QStringLiteral("Information"),
                                  MsgIcon::Information);
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

// ---------------------------------------------------------------- main endpoint

bool Station::BindMainEndpoint(bool forceRebind) {
    // Re-binding a bound socket would drop datagrams already queued on it.
    if (!forceRebind && m_udpClient->isOpen() &&
        m_udpClient->localAddress() == m_state.strLocalNMSIPAddress)
        return true;
    m_udpClient->close();
    if (!m_udpClient->bind(m_state.strLocalNMSIPAddress, kMainPort)) {
        fatal(kPortMessage);
        return false;
    }
    return true;
}

void Station::DispatchDatagram(const QByteArray& payload) {
    switch (protocol::DispatchReceived(payload.size())) {
    case protocol::Datagram::LevelReply:
        onLevelReply(payload);
        break;
    case protocol::Datagram::Feedback:
        handleFeedback(payload);
        break;
    case protocol::Datagram::Ignored:
        break;
    }
}

// ---------------------------------------------------------------- feedback handler

void Station::handleFeedback(const QByteArray& payload) {
    // While an upload answer waits in its window or boxes, nothing else is taken.
    if (m_handlingAnswer)
        return;
    const std::optional<protocol::Feedback> decoded = protocol::DecodeFeedback(payload);
    if (!decoded)
        return;
    const protocol::Feedback& feedback = *decoded;
    m_state.UDP_Response_IP = feedback.ip;

    if (const std::optional<QString> failure = protocol::CheckFeedback(feedback)) {
        critical(*failure);
    } else if (m_state.AutoDiscoverAwaiting) {
        controls().timerRemoteSent->stop();
        storeDiscoveredElement(feedback);
    } else {
        controls().timerRemoteSent->stop();
        m_handlingAnswer = true;
        handleUploadAnswer(feedback);
        m_handlingAnswer = false;
    }
    if (!m_state.AutoDiscoverAwaiting && !m_ended)
        Load_Config();
}

void Station::storeDiscoveredElement(const protocol::Feedback& feedback) {
    QString mac;
    if (!db::GetRemoteMAC(feedback.ip, mac, QStringLiteral(":"), &m_state.sRemoteMacAddress2) ||
        mac.isEmpty()) {
        critical(kMacNotFound);
        return;
    }
    if (m_pendingRecords.isEmpty())
        QTimer::singleShot(0, this, &Station::flushDiscoveredElements);
    m_pendingRecords.append({db::Encode_MAC(mac), protocol::DiscoveryRecord(feedback)});
}

void Station::flushDiscoveredElements() {
    if (m_pendingRecords.isEmpty())
        return;
    const auto records = std::exchange(m_pendingRecords, {});
    if (!db::WriteSectionsToINI(records, db::NmsIniPath()))
        m_discoveryWriteFailed = true;
}

void Station::handleUploadAnswer(const protocol::Feedback& fb) {
    auto& c = controls();
    m_state.sRemoteMacAddress2.clear();
    m_state.getMACTimeout = 20;
    {
        db::FrmWaiting wait(m_state.UDP_Response_IP, m_state.getMACTimeout, m_timing.macTickMs,
                            m_window.get());
        m_state.sRemoteMacAddress2 = wait.waitForMac();
        m_state.getMACTimeoutCount = 0;
    }
    if (m_state.sRemoteMacAddress2.isEmpty()) {
        // Nothing is written: no MAC, no section to write into.
        critical(kMacNotFound);
        return;
    }
    if (m_state.sRemoteMacAddress2 != c.lblElementMAC->text()) {
        critical(QStringLiteral("The response received does not match the selected element.\r"
                                "Cannot save this element info."));
        return;
    }
    const QString path = db::NmsIniPath();
    const QString section = db::Encode_MAC(c.lblElementMAC->text());
    if (db::GetSectionKeyCount(section, path) >= 21) {
        critical(QStringLiteral("The data stored in your computer about this element, is "
                                "corrupted.\rCannot save this element info."));
        return;
    }

    bool failed = false;
    db::IniEntries entries;
    auto mismatch = [&](const QString& label) {
        critical(QStringLiteral("An error occured while saving '%1':\rFeedback is corrupted.").arg(label));
        failed = true;
    };
    // Addresses compare as numbers and are stored in their canonical form.
    auto sameAddress = [](const QString& received, const QString& typed) {
        return db::Validate_IP(typed) && db::Validate_IP(received) &&
               db::IPToHostOrder(typed) == db::IPToHostOrder(received);
    };

    if (fb.name.trimmed().toUpper() == c.txtElementName->text().trimmed().toUpper())
        entries.append({db::keys::name, db::Format_Name(c.txtElementName->text())});
    else
        mismatch(QStringLiteral("Element Name"));
    const struct {
        QString received;
        QLineEdit* field;
        QString key;
        QString label;
    } addresses[] = {
        {fb.ip, c.txtElementIP, db::keys::ip, QStringLiteral("Element IP")},
        {fb.mask, c.txtElementMask, db::keys::mask, QStringLiteral("Element Mask")},
        {fb.gw, c.txtElementGW, db::keys::gw, QStringLiteral("Element GW")},
    };
    for (const auto& a : addresses) {
        if (sameAddress(a.received, a.field->text()))
            entries.append({a.key, db::CanonicalIP(a.field->text())});
        else
            mismatch(a.label);
    }
    const struct {
        int received;
        QComboBox* list;
        QString key;
        QString label;
    } lists[] = {
        {fb.input, c.cmbAudioInput, db::keys::input, QStringLiteral("Audio Input")},
        {fb.type, c.cmbAudioType, db::keys::type, QStringLiteral("Audio Type")},
        {fb.tx, c.cmbAudioTX, db::keys::tx, QStringLiteral("Audio TX")},
    };
    for (const auto& l : lists) {
        if (l.received == l.list->currentIndex())
            entries.append({l.key, QString::number(l.list->currentIndex())});
        else
            mismatch(l.label);
    }

    entries.append({db::keys::role, QString::number(fb.role)});
    m_editor->setElementType(protocol::RoleText(fb.role));
    if (fb.role != 1 && fb.role != 2)
        failed = true;
    const bool decoder = fb.role == 2;

    if (sameAddress(fb.remote, c.txtRemoteIP->text()))
        entries.append({fb.tx == 0 && !decoder ? db::keys::remote : db::keys::multi,
                        db::CanonicalIP(c.txtRemoteIP->text())});
    else
        mismatch(fb.tx == 0 ? QStringLiteral("Remote IP") : QStringLiteral("Multicast IP"));

    c.lblSerialNumber->setText(QString::number(fb.serial));
    entries.append({db::keys::sn, QString::number(fb.serial)});
    const QString version = QStringLiteral("%1.%2").arg(fb.verMajor).arg(fb.verMinor);
    c.lblVersion->setText(version);
    entries.append({db::keys::ver, version});
    auto limited = [](QScrollBar* bar, int value) {
        return qBound(bar->minimum(), value, bar->maximum());
    };
    if (decoder) {
        const int att = limited(c.scrlAtten, fb.attenuation);
        c.scrlAtten->setValue(att);
        entries.append({db::keys::att, QString::number(att)});
    }
    const int buffer = limited(c.scrlBuffer, fb.buffer);
    c.scrlBuffer->setValue(buffer);
    entries.append({db::keys::buf, QString::number(buffer)});
    entries.append({db::keys::sfn, QString::number(fb.sfn > 1 ? 0 : fb.sfn)});
    if (decoder) {
        c.cmbSilDetMode->setCurrentIndex(fb.silDetMode < c.cmbSilDetMode->count() ? fb.silDetMode : -1);
        entries.append({db::keys::sdm, QString::number(fb.silDetMode)});
        const int level = limited(c.scrlSilDetLevel, fb.silDetLevel);
        const int time = limited(c.scrlSilDetTime, fb.silDetTime);
        c.scrlSilDetLevel->setValue(level);
        c.scrlSilDetTime->setValue(time);
        entries.append({db::keys::sdl, QString::number(level)});
        entries.append({db::keys::sdt, QString::number(time)});
    }
    entries.append({db::keys::llo, QString::number(fb.lowLatency > 1 ? 0 : fb.lowLatency)});

    if (!db::WriteEntriesToINI(section, entries, path)) {
        critical(kWriteFailed);
        failed = true;
    }
    if (!failed)
        platform::showMessage(QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                              QStringLiteral("Configuration changed"), MsgIcon::Information);
}

// ---------------------------------------------------------------- discovery

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
    auto& c = controls();
    m_editor->ClearElementEditor();
    c.TreeView1->clear();

    FrmPaging paging(m_timing.discoveryWindowMs, m_window.get());
    m_editor->setMonitoring(false);
    m_state.lstHidden.clear();
    c.TreeView1->clear();
    c.cmbEncoders->clear();
    c.cmbEncoders->addItem(QStringLiteral("<None>"));
    c.VUMeter->setWidthTwips(0);
    c.frmTreeView->setTitle(QStringLiteral("Select element: (%1 items)").arg(c.TreeView1->topLevelItemCount()));

    // The old database stays unless the empty one is in place.
    if (!db::CreateEmptyIniFile(db::NmsIniPath())) {
        critical(QStringLiteral("Unable to create the local database.\rAuto Discovery aborted."));
        // The old database is still there: show it again.
        Load_Config();
        return;
    }
    const QString savedHost = m_udpClient->remoteHost();
    const quint16 savedPort = m_udpClient->remotePort();
    m_udpClient->setRemote(QStringLiteral("255.255.255.255"), kPagingPort);
    m_discoveryWriteFailed = false;

    connect(paging.timer(), &QTimer::timeout, &paging, [&] {
        paging.timer()->stop();
        flushDiscoveredElements();
        m_udpClient->setRemote(savedHost, savedPort);
        m_state.AutoDiscoverAwaiting = false;
        Load_Config();
        paging.accept();
    });
    paging.timer()->start();
    m_state.AutoDiscoverAwaiting = true;
    // Leaves from the socket bound to the chosen address, so out of that interface.
    m_udpClient->send(protocol::PagingRequest());
    paging.exec();
    m_state.AutoDiscoverAwaiting = false;

    if (m_discoveryWriteFailed) {
        m_discoveryWriteFailed = false;
        critical(kWriteFailed);
    }
}

// ---------------------------------------------------------------- upload

void Station::SaveChanges() {
    auto& c = controls();
    auto refuse = [](const QString& reason) {
        critical(reason + QStringLiteral("\rCannot save."), QStringLiteral("Error!"));
    };
    if (c.lblElementMAC->text() == QLatin1String("-")) {
        refuse(QStringLiteral("No Network Element selected!"));
        return;
    }
    const bool decoder = c.lblElementType->text() == QLatin1String("DECODER");
    if (c.cmbAudioInput->currentIndex() < 0 || c.cmbAudioType->currentIndex() < 0 ||
        c.cmbAudioTX->currentIndex() < 0 || (decoder && c.cmbSilDetMode->currentIndex() < 0)) {
        refuse(QStringLiteral("Please verify that all audio fields are correct!"));
        return;
    }
    if (c.txtElementName->text().isEmpty()) {
        refuse(QStringLiteral("Please verify that the name field is correct!"));
        return;
    }
    bool addressesValid = true;
    for (QLineEdit* f : {c.txtElementIP, c.txtElementMask, c.txtElementGW, c.txtRemoteIP})
        addressesValid = db::Validate_IP(f->text()) && addressesValid;
    if (!addressesValid) {
        refuse(QStringLiteral("Please verify that all IP fields are correct!"));
        return;
    }
    const QString path = db::NmsIniPath();
    const QString target = selectedElementIp();
    if (!QFileInfo::exists(path) || !db::Validate_IP(target)) {
        refuse(QStringLiteral("The local database in your computer, is corrupted!"));
        return;
    }
    const MsgAnswer answer = platform::showMessage(
        QStringLiteral("This configuration will be sent to selected Network Element and\r"
                       "will also be saved to local database in your computer. \rAre you sure?"),
        QStringLiteral("Send configuration"), MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes)
        return;

    protocol::ConfigurationFields fields;
    fields.ip = c.txtElementIP->text();
    fields.mask = c.txtElementMask->text();
    fields.gw = c.txtElementGW->text();
    fields.remote = c.txtRemoteIP->text();
    fields.input = c.cmbAudioInput->currentIndex();
    fields.type = c.cmbAudioType->currentIndex();
    fields.tx = c.cmbAudioTX->currentIndex();
    fields.sfn = c.chkSFNEnabled->isChecked();
    fields.name = c.txtElementName->text();
    fields.buffer = c.scrlBuffer->value();
    fields.silDetMode = c.cmbSilDetMode->currentIndex();
    fields.silDetLevel = c.scrlSilDetLevel->value();
    fields.silDetTime = c.scrlSilDetTime->value();
    fields.lowLatency = c.chkLowLatency->isChecked();
    const QByteArray datagram = protocol::BuildConfiguration(fields, decoder);

    if (!BindMainEndpoint())
        return;
    m_udpClient->setRemote(target, kMainPort);
    c.timerRemoteSent->start();
    m_udpClient->send(datagram);
}

void Station::onResponseTimeout() {
    controls().timerRemoteSent->stop();
    critical(QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save."),
             QStringLiteral("Error!"));
}

QString Station::selectedElementIp() const {
    return db::ReadFromINI(m_editor->section(), db::keys::ip, db::NmsIniPath(), QString());
}

void Station::sendAttenuation(int step) {
    if (!BindMainEndpoint())
        return;
    m_udpClient->setRemote(selectedElementIp(), kAttenuationPort);
    // A failed send is dropped; the value is stored all the same.
    m_udpClient->send(protocol::BuildAttenuation(quint8(step)));
}

// ---------------------------------------------------------------- level meter

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

void Station::onVolumeTick() {
    // Nothing to ask while no element is loaded or its stored address is no address.
    const QString target = selectedElementIp();
    if (!m_editor->elementLoaded() || !db::Validate_IP(target))
        return;
    if (!BindMainEndpoint())
        return;
    m_udpClient->setRemote(target, kAttenuationPort);
    m_udpClient->send(protocol::LevelRequest());
}

void Station::onLevelReply(const QByteArray& payload) {
    auto& c = controls();
    if (!c.tmrVolume->isActive()) {
        c.lblVolume->setText(QStringLiteral("-oodBFS"));
        c.VUMeter->setWidthTwips(0);
        return;
    }
    const protocol::LevelReading reading = protocol::ParseLevelReply(payload, db::UserDecimalSeparator());
    c.VUMeter->setWidthTwips(reading.widthTwips);
    c.lblVolume->setText(reading.caption);
}

// ---------------------------------------------------------------- interface list, ping

void Station::FillNMSIPList() {
    auto& c = controls();
    const platform::LocalAddressList table = platform::localAddresses().read();
    if (table.errorCode != 0) {
        fatal(QStringLiteral("GetIpAddrTable failed with return value %1").arg(table.errorCode));
        return;
    }
    c.cmbNMSIPAddr->clear();
    c.cmbNMSIPAddr->addItems(table.addresses);
    if (table.addresses.isEmpty())
        return;
    int select = 0;
    for (int i = 0; i < table.addresses.size(); ++i)
        if (table.addresses.at(i) == m_state.strLocalNMSIPAddress)
            select = i;
    c.cmbNMSIPAddr->setCurrentIndex(select);
    onNMSIPSelected(select);
}

void Station::onNMSIPSelected(int index) {
    const QString address = controls().cmbNMSIPAddr->itemText(index);
    if (address.isEmpty() ||
        address == platform::settings().get(kSettingNmsIp, QStringLiteral("0.0.0.0")))
        return;
    m_state.strLocalNMSIPAddress = address;
    if (m_starting)
        return; // saved once the start-up bind has succeeded
    // Saved only once the endpoint is bound to it.
    const quint16 port = m_udpClient->isOpen() ? m_udpClient->localPort() : kMainPort;
    m_udpClient->close();
    if (!m_udpClient->bind(address, port)) {
        fatal(kPortMessage);
        return;
    }
    platform::settings().save(kSettingNmsIp, address);
}

void Station::PingElement(const QString& addressText) {
    auto& c = controls();
    if (!db::Validate_IP(addressText))
        return;
    const quint32 address = db::IPToHostOrder(addressText);
    platform::EchoResult result;
    if (address == 0 || address == 0xFFFFFFFFu) {
        result.status = platform::EchoResult::Status::Error;
    } else {
        result = platform::icmpEcho().echo(address, QByteArrayLiteral("hello"), 3000);
    }
    if (result.status == platform::EchoResult::Status::NoSocket) {
        platform::showMessage(QStringLiteral("Windows Sockets not responding correctly."),
                              QStringLiteral("Ping failed"), MsgIcon::Critical);
        setButtonColour(c.cmdPing, QColor(255, 128, 128));
        c.cmdPing->setText(QStringLiteral("No sockets!"));
        return;
    }
    if (result.status == platform::EchoResult::Status::Ok) {
        setButtonColour(c.cmdPing, QColor(0, 255, 0));
        c.cmdPing->setText(QStringLiteral("%1 ms").arg(result.roundTripMs));
    } else {
        setButtonColour(c.cmdPing, QColor(255, 128, 128));
        c.cmdPing->setText(QStringLiteral("Failed!"));
    }
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
