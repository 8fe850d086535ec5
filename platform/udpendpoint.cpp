#include "platform/udpendpoint.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

#include <sys/socket.h>

namespace platform {
namespace {

// Room for a whole fleet's answers (a small datagram takes about 1 KiB of kernel memory)
// while the station is busy for a second.
constexpr int kReceiveBuffer = 8 * 1024 * 1024;
constexpr qint64 kLargestDatagram = 65536;

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

bool UdpEndpoint::bind(Ipv4Address localAddress, quint16 port) {
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->close();
    if (!m_socket->bind(QHostAddress(localAddress.toHostOrder()), port,
                        QAbstractSocket::DontShareAddress))
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

Ipv4Address UdpEndpoint::localAddress() const {
    return isOpen() ? Ipv4Address(m_socket->localAddress().toIPv4Address()) : Ipv4Address();
}

quint16 UdpEndpoint::localPort() const {
    return isOpen() ? m_socket->localPort() : 0;
}

bool UdpEndpoint::sendTo(Ipv4Address host, quint16 port, const QByteArray& payload) {
    if (!isOpen() || port == 0)
        return false;
    const qint64 written = m_socket->writeDatagram(payload, QHostAddress(host.toHostOrder()), port);
    return written == payload.size();
}

void UdpEndpoint::dropPending() {
    while (m_socket->state() == QAbstractSocket::BoundState && m_socket->hasPendingDatagrams())
        m_socket->receiveDatagram(0);
}

void UdpEndpoint::setPaused(bool paused) {
    m_paused = paused;
    // What arrived meanwhile raised no new event: read it now.
    if (!paused && !m_resumeQueued) {
        m_resumeQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_resumeQueued = false;
            drain();
        });
    }
}

void UdpEndpoint::drain() {
    // One readiness event may stand for many datagrams: read them all, or the kernel drops the
    // rest once the buffer fills; but in slices, each followed by a turn of the event loop.
    if (m_draining || m_paused)
        return; // a receiver let events run: the outer read goes on
    QPointer<UdpEndpoint> self(this);
    m_draining = true;
    QElapsedTimer slice;
    slice.start();
    while (!m_paused && m_socket->state() == QAbstractSocket::BoundState) {
        if (slice.elapsed() >= kReadSliceMs) {
            setPaused(false); // queues the next slice behind what waits in the event loop
            break;
        }
        // Each pass ends with a read that finds nothing: only a read tells the socket that its
        // notice was answered. A notice that came while a queued slice read everything would
        // otherwise leave it waiting for that read, deaf to every later datagram.
        const bool pending = m_socket->hasPendingDatagrams();
        const QNetworkDatagram datagram =
            m_socket->receiveDatagram(pending ? -1 : kLargestDatagram);
        if (!datagram.isValid())
            break;
        // One that came just now sits in a buffer of the largest size: keep its bytes only.
        const QByteArray payload =
            pending ? datagram.data()
                    : QByteArray(datagram.data().constData(), datagram.data().size());
        emit datagramReceived(payload, Ipv4Address(datagram.senderAddress().toIPv4Address()));
        if (!self)
            return;
    }
    m_draining = false;
}

} // namespace platform
