#pragma once
// Every feedback datagram of port 2976. Its meaning is fixed when it arrives: during a
// discovery it is a discovery answer; otherwise it may answer the upload that waits for one,
// which alone decides; anything else is dropped.
#include "platform/ipv4address.h"

#include <QObject>

namespace protocol {

class DiscoverySession;
class MainEndpoint;
class Upload;

class FeedbackHandler : public QObject {
    Q_OBJECT
public:
    FeedbackHandler(MainEndpoint& endpoint, DiscoverySession& discovery, Upload& upload,
                    QObject* parent = nullptr);

    void handleDatagram(const QByteArray& payload, platform::Ipv4Address sender);

private:
    DiscoverySession& m_discovery;
    Upload& m_upload;
};

} // namespace protocol
