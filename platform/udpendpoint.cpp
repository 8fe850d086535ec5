#include "platform/udpendpoint.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#include <sys/socket.h>

namespace platform {
namespace {

constexpr int kReceiveBuffer = 1024 * 1024;

// Strict dotted quad: four decimal parts 0..255, nothing else (no "127.1", no names).
bool parseIpv4(const QString& text, quint32* address) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        const uint octet = part.toUInt();
        if (octet > 255)
            return false;
        value = (value << 8) | octet;
    }
    *address = value;
    return true;
}

void raiseReceiveBuffer(qintptr fd) {
    const int size = kReceiveBuffer;
    // The forced variant passes the system ceiling when we may; the plain one otherwise.
    if (::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0)
        return;
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

} // namespace

UdpEndpoint::UdpEndpoint(QObject* parent) : QObject(parent), m_socket(new QUdpSocket(this)) {
    connect(m_socket, &QUdpSocket::readyRead, this, &UdpEndpoint::drain);
}

UdpEndpoint::~UdpEndpoint() {
    if (m_draining) {
        // Deleted by a receiver of one of our datagrams: the socket is still inside its own
        // signal and must outlive it. Close it now so the port is free at once.
        m_socket->disconnect(this);
        m_socket->close();
        m_socket->setParent(nullptr);
        m_socket->deleteLater();
    }
}

bool UdpEndpoint::bind(const QString& localAddress, quint16 port) {
    quint32 address = 0;
    if (!parseIpv4(localAddress, &address))
        return false;
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->close();
    if (!m_socket->bind(QHostAddress(address), port, QAbstractSocket::DontShareAddress))
        return false;
    const qintptr fd = m_socket->socketDescriptor();
    raiseReceiveBuffer(fd);
    // Permit the limited broadcast (and directed ones) whatever form the target takes.
    const int on = 1;
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    return true;
}

void UdpEndpoint::close() {
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->close();
}

bool UdpEndpoint::isOpen() const {
    return m_socket->state() == QAbstractSocket::BoundState;
}

QString UdpEndpoint::localAddress() const {
    return isOpen() ? m_socket->localAddress().toString() : QString();
}

quint16 UdpEndpoint::localPort() const {
    return isOpen() ? m_socket->localPort() : 0;
}

void UdpEndpoint::setRemote(const QString& host, quint16 port) {
    m_remoteHost = host;
    m_remotePort = port;
}

void UdpEndpoint::setRemoteHost(const QString& host) {
    m_remoteHost = host;
}

void UdpEndpoint::setRemotePort(quint16 port) {
    m_remotePort = port;
}

bool UdpEndpoint::send(const QByteArray& payload) {
    if (!isOpen())
        return false;
    quint32 address = 0;
    if (!parseIpv4(m_remoteHost.trimmed(), &address) || m_remotePort == 0)
        return false;
    const qint64 written = m_socket->writeDatagram(payload, QHostAddress(address), m_remotePort);
    return written == payload.size();
}

void UdpEndpoint::setPaused(bool paused) {
    m_paused = paused;
    // What arrived meanwhile raised no new event: read it now.
    if (!paused)
        QMetaObject::invokeMethod(this, &UdpEndpoint::drain, Qt::QueuedConnection);
}

void UdpEndpoint::drain() {
    // One readiness event may stand for many datagrams: read them all, or the kernel
    // drops the rest once the buffer fills. A receiver may close or delete us meanwhile.
    if (m_draining || m_paused)
        return; // a receiver let events run: the outer loop reads on
    QPointer<UdpEndpoint> self(this);
    m_draining = true;
    while (!m_paused && m_socket->state() == QAbstractSocket::BoundState &&
           m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        emit datagramReceived(datagram.data());
        if (!self)
            return;
    }
    m_draining = false;
}

} // namespace platform
