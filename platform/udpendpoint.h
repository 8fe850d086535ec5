#pragma once
// One UDP endpoint: bound to a local IPv4 address and port, sends to a named target, and one
// signal per received datagram with its sender.
#include "platform/ipv4address.h"

#include <QByteArray>
#include <QObject>

class QUdpSocket;

namespace platform {

class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit UdpEndpoint(QObject* parent = nullptr);
    ~UdpEndpoint() override;

    // No address sharing: a port in use makes bind fail. The receive buffer is raised so that
    // a burst of answers waits in the kernel while the station is busy.
    bool bind(Ipv4Address localAddress, quint16 port);
    void close();
    bool isOpen() const;
    Ipv4Address localAddress() const; // 0.0.0.0 while closed
    quint16 localPort() const;        // 0 while closed

    // False when not bound or the send fails (an unreachable network, a full buffer).
    bool sendTo(Ipv4Address host, quint16 port, const QByteArray& payload);

    // Reads and drops every datagram waiting now.
    void dropPending();

    // While paused nothing is read: datagrams wait in the socket and are delivered, in
    // order, once reading resumes.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    // How long one read of a burst may run before the rest waits for the next turn of the
    // event loop, so windows, timers and input keep going under any flood.
    static constexpr int kReadSliceMs = 10;

signals:
    void datagramReceived(const QByteArray& payload, platform::Ipv4Address sender);

private:
    void drain();

    QUdpSocket* m_socket = nullptr;
    bool m_draining = false; // inside drain(): a receiver may delete us meanwhile
    bool m_paused = false;
    bool m_resumeQueued = false;
};

} // namespace platform
