#pragma once
// The main endpoint `udpClient` on port 2976: binding, the sends of the main window and the
// dispatch of every received datagram by its length. Handlers connected to the two signals
// return at once (anything that waits for a user is queued), so the port is read on while
// any window or box is open.
#include "platform/ipv4address.h"

#include <QObject>
#include <optional>

namespace platform {
class UdpEndpoint;
}

namespace protocol {

class MainEndpoint : public QObject {
    Q_OBJECT
public:
    explicit MainEndpoint(QObject* parent = nullptr);

    platform::UdpEndpoint& udpClient() { return *m_udpClient; }

    // `strLocalNMSIPAddress`: the station's own address, which every endpoint binds to.
    const QString& strLocalNMSIPAddress() const { return m_localAddress; }
    void setLocalAddress(const QString& address) { m_localAddress = address; }
    std::optional<platform::Ipv4Address> localAddress() const;

    // Binds port 2976 at the local address. Re-binding a bound socket would drop datagrams
    // already queued on it, so it only happens when forced or the address changed. False
    // (and bindFailed) when the port cannot be bound.
    bool BindMainEndpoint(bool forceRebind = false);
    // Binds the port it has now (2976 when closed) again at the local address.
    bool rebindKeepingPort();

    // Binds and sends; false when the bind failed. A send that fails is dropped: no answer
    // comes, as when the element is away.
    bool sendTo(platform::Ipv4Address host, quint16 port, const QByteArray& payload);
    bool SendAttenuation(platform::Ipv4Address host, quint8 step);

    // While paused, arriving datagrams wait and are dispatched, in order, on resume.
    void pause();
    void resume();

    void DispatchReceived(const QByteArray& payload, platform::Ipv4Address sender);

signals:
    void levelReply(const QByteArray& payload);
    void feedback(const QByteArray& payload, platform::Ipv4Address sender);
    void bindFailed();

private:
    bool bindAt(quint16 port);

    platform::UdpEndpoint* m_udpClient;
    QString m_localAddress;
    int m_pauses = 0;
};

} // namespace protocol
