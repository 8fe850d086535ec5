#pragma once
// One discovery: the emptied database, the paging broadcast, and the answers of the collection
// window. An answer's MAC is taken from the neighbour table soon after it arrives, while its
// entry is fresh; an address the table lacks is solicited and looked up again later, never
// waited for. Solicitations go out a few milliseconds' worth at a time, since each makes the
// kernel broadcast a request. Answers are stored in a few rewrites while they come and once more
// at the end. A repeated answer replaces the earlier one, so memory follows the elements, not
// the traffic.
#include "db/elementstore.h"
#include "protocol/wire.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

namespace protocol {

class MainEndpoint;
class NoticeQueue;

class DiscoverySession : public QObject {
    Q_OBJECT
public:
    DiscoverySession(MainEndpoint& endpoint, NoticeQueue& notices, QObject* parent = nullptr);

    // True from the broadcast until the window closes (`AutoDiscoverAwaiting`).
    bool AutoDiscoverAwaiting() const { return m_awaiting; }

    // Opening: the empty nms.ini in place of the old one, then the broadcast. False when the
    // empty file could not be put in place (the old one stays and nothing is sent).
    bool begin();
    // The window closed: no more answers are taken. What is left is looked up and stored,
    // then finished() follows (at once, or after a short grace for addresses solicited last).
    void end();
    bool finishing() const { return m_finishing; }

    // A feedback that arrived from sender while the window was open.
    void take(const Feedback& feedback, Ipv4Address sender);

    // At most this many answers wait for their MAC at once; a flood of made-up addresses beyond
    // it is dropped.
    static constexpr int kMaxUnresolved = 16384;
    // An element answers from the address it reports. Of the answers one host sends for other
    // addresses, at most this many wait for a MAC the table lacks, and they are solicited after
    // the elements' own: one host cannot crowd out a fleet.
    static constexpr int kMaxRelayedPerSender = 256;

signals:
    // The broadcast is about to leave: an upload answer awaited until now can no longer come.
    void started();
    // Everything is stored; writeFailed when nms.ini could not be written.
    void finished(bool writeFailed);

private:
    struct Waiting {
        Feedback feedback; // the latest answer reporting its address
        Ipv4Address sender;
        bool solicited = false;
        qint64 solicitedAtMs = 0;
        bool relayed() const { return sender != feedback.ip; }
    };
    void scheduleLookup();
    void lookUp();
    void queueSolicitation(Waiting& waiting, QHash<Ipv4Address, int>& relayed);
    void solicitSome();
    void finishWhenSolicited();
    QList<Ipv4Address> waitingAddresses() const;
    void store(const QString& mac, const Feedback& feedback);
    void write();
    void finish();

    MainEndpoint& m_endpoint;
    NoticeQueue& m_notices;
    db::ElementStore m_store;
    bool m_awaiting = false;
    bool m_finishing = false;
    bool m_writeFailed = false;
    QList<Waiting> m_waiting;               // in the order the addresses first answered
    QHash<Ipv4Address, int> m_waitingIndex; // the address an answer reports -> its place
    QList<Ipv4Address> m_toSolicit, m_relayedToSolicit;
    QList<db::ElementRecord> m_unwritten;
    QHash<QString, int> m_unwrittenIndex; // section -> position in m_unwritten
    QElapsedTimer m_clock;
    QTimer m_lookupTimer, m_lookAgainTimer, m_solicitTimer, m_writeTimer, m_graceTimer;
};

} // namespace protocol
