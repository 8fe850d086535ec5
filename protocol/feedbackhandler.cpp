#include "protocol/feedbackhandler.h"

#include "protocol/discovery.h"
#include "protocol/mainendpoint.h"
#include "protocol/upload.h"
#include "protocol/wire.h"

namespace protocol {

FeedbackHandler::FeedbackHandler(MainEndpoint& endpoint, DiscoverySession& discovery,
                                 Upload& upload, QObject* parent)
    : QObject(parent), m_discovery(discovery), m_upload(upload) {
    connect(&endpoint, &MainEndpoint::feedback, this, &FeedbackHandler::handleDatagram);
    // The editor is emptied for a discovery: no later feedback can be that answer.
    connect(&discovery, &DiscoverySession::started, &upload, &Upload::cancel);
}

void FeedbackHandler::handleDatagram(const QByteArray& payload, platform::Ipv4Address sender) {
    const std::optional<Feedback> decoded = decodeFeedback(payload);
    if (!decoded)
        return;
    if (m_discovery.AutoDiscoverAwaiting())
        m_discovery.take(*decoded, sender);
    else
        m_upload.offer(*decoded, sender);
}

} // namespace protocol
