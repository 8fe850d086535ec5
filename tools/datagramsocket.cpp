#include "datagramsocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emulator {

QString addressText(quint32 a) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xFF)
        .arg((a >> 8) & 0xFF)
        .arg(a & 0xFF);
}

DatagramSocket::DatagramSocket() = default;

DatagramSocket::~DatagramSocket() {
    m_notifier.reset();
    close();
}

bool DatagramSocket::open(const Binding& b, QString* error) {
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(b.port);
    local.sin_addr.s_addr = htonl(b.address);
    // Root may go past net.core.rmem_max: a paging broadcast reaches every element of a fleet
    // through this one socket at once.
    const bool ok =
        fd >= 0 && (!b.shared || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0) &&
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
        ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0 &&
        (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &b.receiveBuffer, sizeof b.receiveBuffer) ==
             0 ||
         ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &b.receiveBuffer, sizeof b.receiveBuffer) == 0) &&
        (!b.interfaceIndex || ::setsockopt(fd, SOL_SOCKET, SO_BINDTOIFINDEX, &b.interfaceIndex,
                                           sizeof b.interfaceIndex) == 0) &&
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    if (!ok) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(addressText(b.address))
                     .arg(b.port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_fd = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { readAll(); });
    return true;
}

void DatagramSocket::close() {
    // It may be closed from its own notifier's signal: let the notifier go once that is over.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void DatagramSocket::onDatagram(std::function<void(const Datagram&)> receiver) {
    m_receiver = std::move(receiver);
}

void DatagramSocket::send(const QByteArray& data, quint32 to, quint16 port) const {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(to);
    // A full send buffer drops the datagram, as a busy element would.
    ::sendto(m_fd, data.constData(), size_t(data.size()), MSG_DONTWAIT,
             reinterpret_cast<sockaddr*>(&remote), sizeof remote);
}

void DatagramSocket::readAll() {
    static char buffer[65536];
    // The receiver may close this socket and open it elsewhere (an element moving to a new
    // address); reading goes on from the new one.
    while (m_fd >= 0) {
        sockaddr_in sender{};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec part{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: all read
        }
        Datagram d;
        d.data = QByteArray(buffer, qsizetype(n));
        d.sender = ntohl(sender.sin_addr.s_addr);
        d.senderPort = ntohs(sender.sin_port);
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                d.interfaceIndex = info.ipi_ifindex;
            }
        }
        if (m_receiver)
            m_receiver(d);
    }
}

} // namespace emulator
