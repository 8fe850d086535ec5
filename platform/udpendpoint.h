#pragma once
// One UDP endpoint: bind to a local IPv4 address and port, a remote target that stays
// set between sends, one signal per received datagram.
#include <QByteArray>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace platform {

class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit UdpEndpoint(QObject* parent = nullptr);
    ~UdpEndpoint() override;

    // No address sharing: a port in use makes bind fail. Raises the receive buffer to 1 MiB.
    bool bind(const QString& localAddress, quint16 port);
    void close();
    bool isOpen() const;
    QString localAddress() const;
    quint16 localPort() const;

    void setRemote(const QString& host, quint16 port);
    void setRemoteHost(const QString& host);
    void setRemotePort(quint16 port);
    QString remoteHost() const { return m_remoteHost; }
    quint16 remotePort() const { return m_remotePort; }

    // False when not bound, the remote host is not an IPv4 address, or the send fails.
    bool send(const QByteArray& payload);

    // While paused nothing is read: datagrams wait in the socket and are delivered, in
    // order, once reading resumes.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

signals:
    void datagramReceived(const QByteArray& payload);

private:
    void drain();

    QUdpSocket* m_socket = nullptr;
    QString m_remoteHost;
    quint16 m_remotePort = 0;
    bool m_draining = false; // inside drain(): a receiver may delete us meanwhile
    bool m_paused = false;
};

} // namespace platform
