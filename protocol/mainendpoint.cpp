#include "protocol/mainendpoint.h"

#include "platform/udpendpoint.h"
#include "protocol/ports.h"
#include "protocol/wire.h"

namespace protocol {

MainEndpoint::MainEndpoint(QObject* parent)
    : QObject(parent), m_udpClient(new platform::UdpEndpoint(this)) {
    m_udpClient->setObjectName(QStringLiteral("udpClient"));
    connect(m_udpClient, &platform::UdpEndpoint::datagramReceived, this,
            &MainEndpoint::DispatchReceived);
}

std::optional<platform::Ipv4Address> MainEndpoint::localAddress() const {
    return platform::Ipv4Address::parse(m_localAddress);
}

bool MainEndpoint::bindAt(quint16 port) {
    m_udpClient->close();
    const auto address = localAddress();
    if (!address || !m_udpClient->bind(*address, port)) {
        emit bindFailed();
        return false;
    }
    return true;
}

bool MainEndpoint::BindMainEndpoint(bool forceRebind) {
    if (!forceRebind && m_udpClient->isOpen() && m_udpClient->localAddress() == localAddress())
        return true;
    return bindAt(kMainPort);
}

bool MainEndpoint::rebindKeepingPort() {
    return bindAt(m_udpClient->isOpen() ? m_udpClient->localPort() : kMainPort);
}

bool MainEndpoint::sendTo(platform::Ipv4Address host, quint16 port, const QByteArray& payload) {
    if (!BindMainEndpoint())
        return false;
    m_udpClient->sendTo(host, port, payload);
    return true;
}

bool MainEndpoint::SendAttenuation(platform::Ipv4Address host, quint8 step) {
    return sendTo(host, kAudioPort, buildAttenuation(step));
}

void MainEndpoint::pause() {
    if (m_pauses++ == 0)
        m_udpClient->setPaused(true);
}

void MainEndpoint::resume() {
    if (m_pauses > 0 && --m_pauses == 0)
        m_udpClient->setPaused(false);
}

void MainEndpoint::DispatchReceived(const QByteArray& payload, platform::Ipv4Address sender) {
    switch (datagramKind(payload.size())) {
    case Datagram::LevelReply:
        emit levelReply(payload);
        break;
    case Datagram::Feedback:
        emit feedback(payload, sender);
        break;
    case Datagram::Ignored:
        break;
    }
}

} // namespace protocol
