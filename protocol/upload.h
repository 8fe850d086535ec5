#pragma once
// "Save changes": validation, confirmation, the configuration datagram to the element's stored
// address, and the transaction that waits for that element's answer. Only a feedback from the
// element the configuration went to answers it: from the address it was sent to, or from the
// address the configuration gives the element. The wait ends when an answer has been handled,
// at the next send, at a discovery, or at the latest a while after the time-out box.
#include "db/elementstore.h"
#include "protocol/wire.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace protocol {

class MainEndpoint;
class NoticeQueue;

// The editor as the upload reads it: the element shown, and the values the user has drafted
// (the remote field in both `multi` and `remote`).
struct Draft {
    std::optional<db::SelectedElement> selected; // nullopt: the editor shows no element
    db::Element element;
};

class Upload : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int responseTimeoutMs = 3000; // `timerRemoteSent`
        int lateAnswerMs = 30000;     // after the time-out box, a late answer is still taken
    };
    // The MAC wait window: given the reported address and the tick limit, the MAC text found
    // or empty.
    using MacWait = std::function<QString(const QString& address, quint8 tickLimit)>;

    Upload(MainEndpoint& endpoint, NoticeQueue& notices, std::function<Draft()> draft,
           MacWait macWait, Timing timing, QObject* parent = nullptr);

    void SaveChanges();
    void setLimits(const db::ElementLimits& limits) { m_limits = limits; }

    // A feedback that is no discovery answer; dropped unless it answers the upload.
    void offer(const Feedback& feedback, Ipv4Address sender);
    // A discovery begins: the element the answer would be stored for may be gone.
    void cancel();
    bool awaiting() const { return m_current.has_value(); }

    QTimer* timerRemoteSent() { return &m_responseTimer; }
    QString UDP_Response_IP() const { return m_responseIp; }
    QString sRemoteMacAddress2() const { return m_remoteMac; }

signals:
    // The confirmed values of an element are stored; the editor shows them if it shows it.
    void answerStored(const db::SelectedElement& element, const db::Element& stored);
    void listChanged();

private:
    struct Sent {
        db::SelectedElement element;
        Ipv4Address target, configured;
        db::Element configuration;
    };
    std::optional<Draft> validDraft() const;
    void onTimeout();
    void end();
    void handleAnswer(const Sent& sent, const Feedback& answer);

    MainEndpoint& m_endpoint;
    NoticeQueue& m_notices;
    std::function<Draft()> m_draft;
    MacWait m_macWait;
    Timing m_timing;
    db::ElementLimits m_limits;
    std::optional<Sent> m_current;
    QList<Sent> m_earlier; // earlier sends whose late answers are told apart
    bool m_handling = false;
    QTimer m_responseTimer, m_lateTimer;
    QString m_responseIp; // `UDP_Response_IP`
    QString m_remoteMac;  // `sRemoteMacAddress2`
};

} // namespace protocol
