#pragma once
// The main endpoint `udpClient` on port 2976: binding, the sends of the main window and the
// dispatch of every received datagram by its length. Handlers connected to the two signals
// return at once (anything that waits for a user is queued), so the port is read on while
// any window or box is open.
#include <QObject>

namespace platform {
class UdpEndpoint;
}

namespace protocol {

class MainEndpoint : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kPort = 2976;

    // strLocalNMSIPAddress: the station's own address, read at every bind.
    explicit MainEndpoint(const QString& strLocalNMSIPAddress, QObject* parent = nullptr);

    platform::UdpEndpoint& udpClient() { return *m_udpClient; }

    // Binds port 2976 at the local address. Re-binding a bound socket would drop datagrams
    // already queued on it, so it only happens when forced or the address changed. False
    // (and bindFailed) when the port cannot be bound.
    bool BindMainEndpoint(bool forceRebind = false);
    // Binds the port it has now (2976 when closed) again at the local address.
    bool rebindKeepingPort();

    // Binds, sets the remote target and sends; false when the bind failed.
    bool sendTo(const QString& host, quint16 port, const QByteArray& payload);
    bool SendAttenuation(const QString& host, quint8 step);

    // While paused, arriving datagrams wait and are dispatched, in order, on resume.
    void pause();
    void resume();

    void DispatchReceived(const QByteArray& payload);

signals:
    void levelReply(const QByteArray& payload);
    void feedback(const QByteArray& payload);
    void bindFailed();

private:
    platform::UdpEndpoint* m_udpClient;
    const QString& m_localAddress;
    int m_pauses = 0;
};

} // namespace protocol
