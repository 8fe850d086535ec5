#pragma once
// Every feedback datagram of port 2976. Its meaning is fixed when it arrives: during a
// discovery it is a discovery answer, stored at once; otherwise it is the answer to the
// upload that awaits one, handled (wait window, checks, boxes) as one queued step; any other
// feedback is dropped.
#include "protocol/wire.h"

#include <QObject>
#include <functional>

namespace protocol {

class DiscoverySession;
class EditorAccess;
class MainEndpoint;
class NoticeQueue;

class FeedbackHandler : public QObject {
    Q_OBJECT
public:
    // The MAC wait window: given the reported address, the MAC text found or empty.
    using MacWait = std::function<QString(const QString& address, quint8 tickLimit)>;

    // Takes every feedback of the endpoint.
    FeedbackHandler(MainEndpoint& endpoint, DiscoverySession& discovery, NoticeQueue& notices,
                    EditorAccess& editor, MacWait macWait, QObject* parent = nullptr);

    void handleDatagram(const QByteArray& payload);

    // An upload was sent: one answer to it is awaited until one has been handled.
    void expectAnswer() { m_awaited = true; }
    bool answerAwaited() const { return m_awaited; }

    QString UDP_Response_IP() const { return m_responseIp; }
    QString sRemoteMacAddress2() const { return m_remoteMac; }

signals:
    // A feedback passed the nine checks: the response timer stops.
    void stopResponseTimer();
    void listChanged();

private:
    void storeDiscoveredElement(const Feedback& feedback);
    void handleUploadAnswer(const Feedback& feedback);
    bool storeAnswer(const Feedback& feedback);

    DiscoverySession& m_discovery;
    NoticeQueue& m_notices;
    EditorAccess& m_editor;
    MacWait m_macWait;
    QString m_responseIp; // `UDP_Response_IP`
    QString m_remoteMac;  // `sRemoteMacAddress2`
    bool m_awaited = false;
    bool m_handling = false; // an answer is queued or being handled
};

} // namespace protocol
