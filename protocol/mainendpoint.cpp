#include "protocol/mainendpoint.h"

#include "platform/udpendpoint.h"
#include "protocol/wire.h"

namespace protocol {

namespace {
constexpr quint16 kAttenuationPort = 2977;
}

MainEndpoint::MainEndpoint(const QString& strLocalNMSIPAddress, QObject* parent)
    : QObject(parent), m_udpClient(new platform::UdpEndpoint(this)),
      m_localAddress(strLocalNMSIPAddress) {
    m_udpClient->setObjectName(QStringLiteral("udpClient"));
    connect(m_udpClient, &platform::UdpEndpoint::datagramReceived, this,
            &MainEndpoint::DispatchReceived);
}

bool MainEndpoint::BindMainEndpoint(bool forceRebind) {
    if (!forceRebind && m_udpClient->isOpen() && m_udpClient->localAddress() == m_localAddress)
        return true;
    m_udpClient->close();
    if (!m_udpClient->bind(m_localAddress, kPort)) {
        emit bindFailed();
        return false;
    }
    return true;
}

bool MainEndpoint::rebindKeepingPort() {
    const quint16 port = m_udpClient->isOpen() ? m_udpClient->localPort() : kPort;
    m_udpClient->close();
    if (!m_udpClient->bind(m_localAddress, port)) {
        emit bindFailed();
        return false;
    }
    return true;
}

bool MainEndpoint::sendTo(const QString& host, quint16 port, const QByteArray& payload) {
    if (!BindMainEndpoint())
        return false;
    m_udpClient->setRemote(host, port);
    // A failed send is dropped: no answer comes, as when the element is away.
    m_udpClient->send(payload);
    return true;
}

bool MainEndpoint::SendAttenuation(const QString& host, quint8 step) {
    return sendTo(host, kAttenuationPort, BuildAttenuation(step));
}

void MainEndpoint::pause() {
    if (m_pauses++ == 0)
        m_udpClient->setPaused(true);
}

void MainEndpoint::resume() {
    if (m_pauses > 0 && --m_pauses == 0)
        m_udpClient->setPaused(false);
}

void MainEndpoint::DispatchReceived(const QByteArray& payload) {
    switch (protocol::DispatchReceived(payload.size())) {
    case Datagram::LevelReply:
        emit levelReply(payload);
        break;
    case Datagram::Feedback:
        emit feedback(payload);
        break;
    case Datagram::Ignored:
        break;
    }
}

} // namespace protocol
