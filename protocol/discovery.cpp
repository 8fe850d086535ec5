#include "protocol/discovery.h"

#include "db/maclookup.h"
#include "platform/udpendpoint.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"
#include "protocol/ports.h"

namespace protocol {

namespace {

const QString kMacNotFound =
    QStringLiteral("An error occured while retrieving 'Element MAC':\rFeedback is corrupted.");
// Answers found meanwhile are stored this often, not at every burst.
constexpr int kWriteEveryMs = 100;
// How long an address solicited at the very end may take to answer.
constexpr int kGraceMs = 300;
// How long solicitations may go on before the event loop gets its turn again.
constexpr int kSolicitSliceMs = 5;
// How often the addresses still waiting are looked up again, so that answers are stored while
// the window is open rather than all at its end.
constexpr int kLookAgainMs = 100;

} // namespace

DiscoverySession::DiscoverySession(MainEndpoint& endpoint, NoticeQueue& notices, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_notices(notices) {
    m_lookupTimer.setSingleShot(true);
    m_lookupTimer.setInterval(0);
    connect(&m_lookupTimer, &QTimer::timeout, this, &DiscoverySession::lookUp);
    m_lookAgainTimer.setSingleShot(true);
    m_lookAgainTimer.setInterval(kLookAgainMs);
    connect(&m_lookAgainTimer, &QTimer::timeout, this, &DiscoverySession::lookUp);
    m_solicitTimer.setSingleShot(true);
    m_solicitTimer.setInterval(0);
    connect(&m_solicitTimer, &QTimer::timeout, this, &DiscoverySession::solicitSome);
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(kWriteEveryMs);
    connect(&m_writeTimer, &QTimer::timeout, this, &DiscoverySession::write);
    m_graceTimer.setSingleShot(true);
    connect(&m_graceTimer, &QTimer::timeout, this, &DiscoverySession::finish);
}

bool DiscoverySession::begin() {
    if (m_finishing)
        finish(); // the last one's grace is cut short: its answers are stored now
    m_store = db::ElementStore();
    if (!m_store.replaceWithEmpty())
        return false;
    m_writeFailed = false;
    m_clock.start();
    emit started();
    m_awaiting = true;
    // Leaves from the socket bound to the chosen address, so out of that interface.
    m_endpoint.udpClient().sendTo(Ipv4Address(0xFFFFFFFFu), kPagingPort, pagingRequest());
    return true;
}

void DiscoverySession::take(const Feedback& feedback, Ipv4Address sender) {
    if (!m_awaiting)
        return;
    if (const std::optional<QString> failure = checkFeedback(feedback)) {
        m_notices.post(*failure);
        return;
    }
    const auto at = m_waitingIndex.constFind(feedback.ip);
    if (at != m_waitingIndex.constEnd()) {
        m_waiting[*at].feedback = feedback; // a repeat: the latest answer counts
    } else if (m_waiting.size() < kMaxUnresolved) {
        m_waitingIndex.insert(feedback.ip, int(m_waiting.size()));
        m_waiting.append({feedback, sender});
    }
    scheduleLookup();
}

void DiscoverySession::scheduleLookup() {
    if (!m_lookupTimer.isActive())
        m_lookupTimer.start();
}

QList<Ipv4Address> DiscoverySession::waitingAddresses() const {
    QList<Ipv4Address> addresses;
    addresses.reserve(m_waiting.size());
    for (const Waiting& w : m_waiting)
        addresses.append(w.feedback.ip);
    return addresses;
}

void DiscoverySession::lookUp() {
    if (m_waiting.isEmpty())
        return;
    // One reading of the table for everything that waits; new addresses are solicited once.
    const QHash<Ipv4Address, QString> macs = db::lookUpMacs(waitingAddresses());
    QList<Waiting> still;
    QHash<Ipv4Address, int> relayed; // answers waiting, by the host that sent them for others
    for (Waiting& w : m_waiting) {
        const auto found = macs.constFind(w.feedback.ip);
        if (found != macs.constEnd()) {
            store(*found, w.feedback);
            continue;
        }
        if (w.relayed() && !w.solicited && relayed.value(w.sender) >= kMaxRelayedPerSender)
            continue; // not kept: it cannot become a section soon enough
        if (!w.solicited)
            queueSolicitation(w, relayed);
        else if (w.relayed())
            ++relayed[w.sender];
        still.append(w);
    }
    m_waiting = still;
    m_waitingIndex.clear();
    for (int i = 0; i < m_waiting.size(); ++i)
        m_waitingIndex.insert(m_waiting[i].feedback.ip, i);
    if ((!m_toSolicit.isEmpty() || !m_relayedToSolicit.isEmpty()) && !m_solicitTimer.isActive())
        m_solicitTimer.start();
    if (!m_waiting.isEmpty() && m_awaiting && !m_lookAgainTimer.isActive())
        m_lookAgainTimer.start();
}

void DiscoverySession::queueSolicitation(Waiting& w, QHash<Ipv4Address, int>& relayed) {
    w.solicited = true;
    if (w.relayed()) {
        ++relayed[w.sender];
        m_relayedToSolicit.append(w.feedback.ip);
    } else {
        m_toSolicit.append(w.feedback.ip);
    }
}

void DiscoverySession::solicitSome() {
    QElapsedTimer slice;
    slice.start();
    while ((!m_toSolicit.isEmpty() || !m_relayedToSolicit.isEmpty()) &&
           slice.elapsed() < kSolicitSliceMs) {
        // The elements' own answers first.
        QList<Ipv4Address>& queue = m_toSolicit.isEmpty() ? m_relayedToSolicit : m_toSolicit;
        const Ipv4Address address = queue.takeFirst();
        const auto at = m_waitingIndex.constFind(address);
        if (at == m_waitingIndex.constEnd())
            continue; // found meanwhile
        db::solicitMac(address);
        m_waiting[*at].solicitedAtMs = m_clock.elapsed();
    }
    if (!m_toSolicit.isEmpty() || !m_relayedToSolicit.isEmpty())
        m_solicitTimer.start();
    else
        finishWhenSolicited();
}

void DiscoverySession::store(const QString& mac, const Feedback& feedback) {
    const db::Element element = reportedElement(feedback);
    const db::ElementRecord record{db::Encode_MAC(mac), element, db::discoveryFields(element)};
    const auto at = m_unwrittenIndex.constFind(record.section);
    if (at != m_unwrittenIndex.constEnd()) {
        m_unwritten[*at] = record;
    } else {
        m_unwrittenIndex.insert(record.section, int(m_unwritten.size()));
        m_unwritten.append(record);
    }
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
}

void DiscoverySession::write() {
    m_writeTimer.stop();
    if (m_unwritten.isEmpty())
        return;
    if (!m_store.saveAll(m_unwritten))
        m_writeFailed = true;
    m_unwritten.clear();
    m_unwrittenIndex.clear();
}

void DiscoverySession::end() {
    m_awaiting = false;
    m_finishing = true;
    m_lookupTimer.stop();
    m_lookAgainTimer.stop();
    lookUp();
    finishWhenSolicited();
}

void DiscoverySession::finishWhenSolicited() {
    if (!m_finishing || !m_toSolicit.isEmpty() || !m_relayedToSolicit.isEmpty())
        return; // the solicitations still to go come back here
    // An address solicited a moment ago gets a little longer to answer; older ones had
    // their chance.
    qint64 youngest = -1;
    for (const Waiting& w : std::as_const(m_waiting))
        youngest = qMax(youngest, w.solicitedAtMs);
    const qint64 wait = youngest < 0 ? 0 : youngest + kGraceMs - m_clock.elapsed();
    if (wait > 0)
        m_graceTimer.start(int(wait));
    else
        finish();
}

void DiscoverySession::finish() {
    m_graceTimer.stop();
    m_solicitTimer.stop();
    m_toSolicit.clear();
    m_relayedToSolicit.clear();
    if (!m_finishing)
        return;
    if (!m_waiting.isEmpty()) {
        const QHash<Ipv4Address, QString> macs = db::lookUpMacs(waitingAddresses());
        for (const Waiting& w : std::as_const(m_waiting)) {
            const auto found = macs.constFind(w.feedback.ip);
            if (found != macs.constEnd())
                store(*found, w.feedback);
            else
                m_notices.post(kMacNotFound); // one box, however many were not found
        }
        m_waiting.clear();
        m_waitingIndex.clear();
    }
    write();
    m_finishing = false;
    emit finished(std::exchange(m_writeFailed, false));
}

} // namespace protocol
