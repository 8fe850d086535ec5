#include "protocol/upload.h"

#include "platform/messagebox.h"
#include "platform/udpendpoint.h"
#include "protocol/answer.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"
#include "protocol/ports.h"

namespace protocol {

namespace {

const QString kCorrupted = QStringLiteral("The local database in your computer, is corrupted!");
const QString kErrorTitle = QStringLiteral("Error!");
constexpr quint8 kMacTickLimit = 20;
constexpr int kEarlierKept = 8;

void refuse(const QString& reason) {
    platform::showMessage(reason + QStringLiteral("\rCannot save."), kErrorTitle,
                          platform::MsgIcon::Critical);
}

void critical(const QString& text) {
    platform::showMessage(text, QString(), platform::MsgIcon::Critical);
}

} // namespace

Upload::Upload(MainEndpoint& endpoint, NoticeQueue& notices, std::function<Draft()> draft,
               MacWait macWait, Timing timing, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_notices(notices), m_draft(std::move(draft)),
      m_macWait(std::move(macWait)), m_timing(timing) {
    m_responseTimer.setObjectName(QStringLiteral("timerRemoteSent"));
    m_responseTimer.setSingleShot(true);
    m_responseTimer.setInterval(m_timing.responseTimeoutMs);
    connect(&m_responseTimer, &QTimer::timeout, this, &Upload::onTimeout);
    m_lateTimer.setSingleShot(true);
    m_lateTimer.setInterval(m_timing.lateAnswerMs);
    connect(&m_lateTimer, &QTimer::timeout, this, &Upload::end);
}

std::optional<Draft> Upload::validDraft() const {
    const Draft d = m_draft();
    const db::Element& e = d.element;
    if (!d.selected) {
        refuse(QStringLiteral("No Network Element selected!"));
        return std::nullopt;
    }
    const bool decoder = d.selected->role == db::Role::Decoder;
    if (e.input < 0 || e.type < 0 || e.tx < 0 || (decoder && e.silenceMode < 0)) {
        refuse(QStringLiteral("Please verify that all audio fields are correct!"));
        return std::nullopt;
    }
    if (e.name.isEmpty()) {
        refuse(QStringLiteral("Please verify that the name field is correct!"));
        return std::nullopt;
    }
    if (!e.ip.isValid() || !e.mask.isValid() || !e.gw.isValid() ||
        !e.remoteAddress(e.tx).isValid()) {
        refuse(QStringLiteral("Please verify that all IP fields are correct!"));
        return std::nullopt;
    }
    if (!db::ElementStore().exists() || !d.selected->storedAddress()) {
        refuse(kCorrupted);
        return std::nullopt;
    }
    return d;
}

void Upload::SaveChanges() {
    if (!validDraft())
        return;
    const platform::MsgAnswer answer = platform::showMessage(
        QStringLiteral("This configuration will be sent to selected Network Element and\r"
                       "will also be saved to local database in your computer. \rAre you sure?"),
        QStringLiteral("Send configuration"), platform::MsgIcon::Question,
        platform::MsgButtons::YesNo);
    if (answer != platform::MsgAnswer::Yes)
        return;

    // The editor and the stored address as they are now, after the box: an answer or a
    // discovery may have changed them while the question was open.
    const Draft d = m_draft();
    const std::optional<Ipv4Address> target =
        d.selected ? d.selected->storedAddress() : std::nullopt;
    const QByteArray datagram =
        buildConfiguration(d.element, d.selected && d.selected->role == db::Role::Decoder);
    if (!target || datagram.isEmpty()) {
        refuse(kCorrupted);
        return;
    }
    if (!m_endpoint.BindMainEndpoint())
        return;
    // A later send starts a new transaction; an answer to an earlier one is told apart.
    if (m_current) {
        m_earlier.prepend(*m_current);
        m_earlier.resize(qMin<qsizetype>(m_earlier.size(), kEarlierKept));
    }
    m_current = Sent{*d.selected, *target, *d.element.ip.address(), d.element};
    m_lateTimer.stop();
    m_responseTimer.start();
    m_endpoint.udpClient().sendTo(*target, kMainPort, datagram);
}

void Upload::onTimeout() {
    // The answer is still taken for a while: a late one is handled after this box.
    m_lateTimer.start();
    m_notices.post(
        QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save."),
        kErrorTitle);
}

void Upload::cancel() {
    end();
}

void Upload::end() {
    m_responseTimer.stop();
    m_lateTimer.stop();
    m_current.reset();
    m_earlier.clear();
}

void Upload::offer(const Feedback& feedback, Ipv4Address sender) {
    // Nobody asked, or another host spoke: not an answer, and the wait goes on.
    if (!m_current || (sender != m_current->target && sender != m_current->configured))
        return;
    if (const std::optional<QString> failure = checkFeedback(feedback)) {
        m_notices.post(*failure);
        emit listChanged();
        return;
    }
    // One answer at a time: a repeat of the one being handled is dropped.
    if (m_handling)
        return;
    // The answer to an earlier send, arriving after a newer one went out: it is late.
    if (!echoes(feedback, m_current->configuration))
        for (const Sent& earlier : std::as_const(m_earlier))
            if (earlier.element.section == m_current->element.section &&
                echoes(feedback, earlier.configuration))
                return;
    m_responseTimer.stop();
    m_lateTimer.stop();
    m_handling = true;
    const Sent sent = *m_current;
    m_notices.run([this, sent, feedback] {
        handleAnswer(sent, feedback);
        m_handling = false;
        end();
    });
}

void Upload::handleAnswer(const Sent& sent, const Feedback& answer) {
    m_responseIp = answer.ip.toString();
    m_remoteMac.clear();
    m_remoteMac = m_macWait(m_responseIp, kMacTickLimit);
    const db::ElementStore store;
    if (m_remoteMac.isEmpty()) {
        // Nothing is written: no MAC, no section to write into.
        critical(QStringLiteral(
            "An error occured while retrieving 'Element MAC':\rFeedback is corrupted."));
    } else if (m_remoteMac != sent.element.mac) {
        critical(QStringLiteral("The response received does not match the selected element.\r"
                                "Cannot save this element info."));
    } else if (store.keyCount(sent.element.section) >= 21) {
        critical(QStringLiteral("The data stored in your computer about this element, is "
                                "corrupted.\rCannot save this element info."));
    } else {
        const AnswerCheck check = checkAnswer(answer, sent.configuration, m_limits);
        // Stored first, then told: no box holds the database back.
        const bool written = store.save(sent.element.section, check.stored, check.fields);
        emit answerStored({sent.element.mac, sent.element.section, check.stored.role},
                          check.stored);
        for (const QString& text : check.mismatches)
            critical(text);
        if (!written)
            critical(db::kWriteFailedText);
        else if (!check.failed)
            platform::showMessage(
                QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                QStringLiteral("Configuration changed"), platform::MsgIcon::Information);
    }
    emit listChanged();
}

} // namespace protocol
