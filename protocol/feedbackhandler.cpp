#include "protocol/feedbackhandler.h"

#include "db/inistore.h"
#include "db/maclookup.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "platform/messagebox.h"
#include "protocol/discovery.h"
#include "protocol/editoraccess.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"

namespace protocol {

namespace {

const QString kMacNotFound =
    QStringLiteral("An error occured while retrieving 'Element MAC':\rFeedback is corrupted.");
constexpr quint8 kMacTickLimit = 20;

void critical(const QString& text) {
    platform::showMessage(text, QString(), platform::MsgIcon::Critical);
}

// Addresses compare as numbers and are stored in their canonical form.
bool sameAddress(const QString& received, const QString& typed) {
    return db::Validate_IP(typed) && db::Validate_IP(received) &&
           db::IPToHostOrder(typed) == db::IPToHostOrder(received);
}

} // namespace

FeedbackHandler::FeedbackHandler(MainEndpoint& endpoint, DiscoverySession& discovery,
                                 NoticeQueue& notices, EditorAccess& editor, MacWait macWait,
                                 QObject* parent)
    : QObject(parent), m_discovery(discovery), m_notices(notices), m_editor(editor),
      m_macWait(std::move(macWait)) {
    connect(&endpoint, &MainEndpoint::feedback, this, &FeedbackHandler::handleDatagram);
    // The editor is emptied for a discovery: no later feedback can be that answer.
    connect(&discovery, &DiscoverySession::started, this, [this] {
        m_awaited = false;
        emit stopResponseTimer();
    });
}

void FeedbackHandler::handleDatagram(const QByteArray& payload) {
    const std::optional<Feedback> decoded = DecodeFeedback(payload);
    if (!decoded)
        return;
    if (m_discovery.AutoDiscoverAwaiting()) {
        storeDiscoveredElement(*decoded);
        return;
    }
    // Nobody asked: any host could otherwise hold the window with one datagram. And one
    // answer at a time: a repeat that comes while the first is handled is dropped.
    if (!m_awaited || m_handling)
        return;
    m_handling = true;
    const Feedback feedback = *decoded;
    m_notices.run([this, feedback] {
        handleUploadAnswer(feedback);
        m_handling = false;
    });
}

void FeedbackHandler::storeDiscoveredElement(const Feedback& feedback) {
    m_responseIp = feedback.ip;
    if (const std::optional<QString> failure = CheckFeedback(feedback)) {
        m_notices.post(*failure);
        return;
    }
    emit stopResponseTimer();
    QString mac;
    if (!db::GetRemoteMAC(feedback.ip, mac, QStringLiteral(":"), &m_remoteMac) || mac.isEmpty()) {
        m_notices.post(kMacNotFound);
        return;
    }
    m_discovery.collect(db::Encode_MAC(mac), DiscoveryRecord(feedback));
}

void FeedbackHandler::handleUploadAnswer(const Feedback& feedback) {
    m_responseIp = feedback.ip;
    if (const std::optional<QString> failure = CheckFeedback(feedback)) {
        // Not the answer: the wait and the response timer go on.
        critical(*failure);
    } else {
        emit stopResponseTimer();
        // The time-out box does not end the wait; this answer does, whatever it says.
        m_awaited = false;
        m_remoteMac.clear();
        m_remoteMac = m_macWait(m_responseIp, kMacTickLimit);
        if (m_remoteMac.isEmpty()) {
            // Nothing is written: no MAC, no section to write into.
            critical(kMacNotFound);
        } else if (m_remoteMac != m_editor.selectedMac()) {
            critical(QStringLiteral("The response received does not match the selected element.\r"
                                    "Cannot save this element info."));
        } else if (storeAnswer(feedback)) {
            platform::showMessage(
                QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                QStringLiteral("Configuration changed"), platform::MsgIcon::Information);
        }
    }
    emit listChanged();
}

// Compares the answer with the editor field by field and stores what matched; true when
// everything matched and was stored.
bool FeedbackHandler::storeAnswer(const Feedback& fb) {
    const QString path = db::NmsIniPath();
    const QString section = db::Encode_MAC(m_editor.selectedMac());
    if (db::GetSectionKeyCount(section, path) >= 21) {
        critical(QStringLiteral("The data stored in your computer about this element, is "
                                "corrupted.\rCannot save this element info."));
        return false;
    }
    const ConfigurationFields typed = m_editor.fields();
    bool failed = false;
    db::IniEntries entries;
    auto mismatch = [&](const QString& label) {
        critical(QStringLiteral("An error occured while saving '%1':\rFeedback is corrupted.")
                     .arg(label));
        failed = true;
    };

    if (fb.name.trimmed().toUpper() == typed.name.trimmed().toUpper())
        entries.append({db::keys::name, db::Format_Name(typed.name)});
    else
        mismatch(QStringLiteral("Element Name"));
    const struct {
        QString received, typed, key, label;
    } addresses[] = {
        {fb.ip, typed.ip, db::keys::ip, QStringLiteral("Element IP")},
        {fb.mask, typed.mask, db::keys::mask, QStringLiteral("Element Mask")},
        {fb.gw, typed.gw, db::keys::gw, QStringLiteral("Element GW")},
    };
    for (const auto& a : addresses) {
        if (sameAddress(a.received, a.typed))
            entries.append({a.key, db::CanonicalIP(a.typed)});
        else
            mismatch(a.label);
    }
    const struct {
        int received, typed;
        QString key, label;
    } lists[] = {
        {fb.input, typed.input, db::keys::input, QStringLiteral("Audio Input")},
        {fb.type, typed.type, db::keys::type, QStringLiteral("Audio Type")},
        {fb.tx, typed.tx, db::keys::tx, QStringLiteral("Audio TX")},
    };
    for (const auto& l : lists) {
        if (l.received == l.typed)
            entries.append({l.key, QString::number(l.typed)});
        else
            mismatch(l.label);
    }

    entries.append({db::keys::role, QString::number(fb.role)});
    m_editor.setRole(fb.role);
    if (fb.role != 1 && fb.role != 2)
        failed = true;
    const bool decoder = fb.role == 2;

    if (sameAddress(fb.remote, typed.remote))
        entries.append({fb.tx == 0 && !decoder ? db::keys::remote : db::keys::multi,
                        db::CanonicalIP(typed.remote)});
    else
        mismatch(fb.tx == 0 ? QStringLiteral("Remote IP") : QStringLiteral("Multicast IP"));

    const QString version = QStringLiteral("%1.%2").arg(fb.verMajor).arg(fb.verMinor);
    m_editor.setSerialAndVersion(QString::number(fb.serial), version);
    entries.append({db::keys::sn, QString::number(fb.serial)});
    entries.append({db::keys::ver, version});
    if (decoder)
        entries.append({db::keys::att, QString::number(m_editor.putAttenuation(fb.attenuation))});
    entries.append({db::keys::buf, QString::number(m_editor.putBuffer(fb.buffer))});
    entries.append({db::keys::sfn, QString::number(fb.sfn > 1 ? 0 : fb.sfn)});
    if (decoder) {
        int level = fb.silDetLevel;
        int time = fb.silDetTime;
        m_editor.putSilenceDetector(fb.silDetMode, &level, &time);
        entries.append({db::keys::sdm, QString::number(fb.silDetMode)});
        entries.append({db::keys::sdl, QString::number(level)});
        entries.append({db::keys::sdt, QString::number(time)});
    }
    entries.append({db::keys::llo, QString::number(fb.lowLatency > 1 ? 0 : fb.lowLatency)});

    if (!db::WriteEntriesToINI(section, entries, path)) {
        critical(db::kWriteFailedText);
        failed = true;
    }
    return !failed;
}

} // namespace protocol
