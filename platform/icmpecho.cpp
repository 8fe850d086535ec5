#include "platform/icmpecho.h"

#include "platform/service.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSliceMs = 20;
constexpr int kMaxPayload = 65000;

std::atomic<quint16> g_sequence{static_cast<quint16>(::getpid() * 7919u)};

using Clock = std::chrono::steady_clock;

struct EchoSocket {
    int fd = -1;
    bool raw = false; // replies carry the IP header
    ~EchoSocket() {
        if (fd >= 0)
            ::close(fd);
    }
};

void openSocket(EchoSocket* s) {
    s->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (s->fd >= 0)
        return;
    s->fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
    s->raw = s->fd >= 0;
}

quint16 checksum(const unsigned char* data, size_t length) {
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<quint32>(data[i] << 8 | data[i + 1]);
    if (length & 1)
        sum += static_cast<quint32>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

quint16 be16(const unsigned char* p) {
    return static_cast<quint16>(p[0] << 8 | p[1]);
}

EchoResult::Status statusForErrno(int err) {
    switch (err) {
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case ECONNREFUSED:
    case EADDRNOTAVAIL:
        return EchoResult::Status::Unreachable;
    default:
        return EchoResult::Status::Error;
    }
}

enum class Verdict { Ignore, Reply, Unreachable };

// An ICMP message (without IP header) as received; is it about our echo?
Verdict judge(const unsigned char* icmp, size_t length, quint32 from, quint32 target,
              quint16 sequence, bool raw, quint16 identifier) {
    if (length < 8)
        return Verdict::Ignore;
    const unsigned type = icmp[0];
    if (type == ICMP_ECHOREPLY) {
        if (from != target || be16(icmp + 6) != sequence)
            return Verdict::Ignore;
        // A ping socket only ever sees its own replies; a raw one sees every process's.
        if (raw && be16(icmp + 4) != identifier)
            return Verdict::Ignore;
        return Verdict::Reply;
    }
    if (raw && (type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED)) {
        // The error quotes our IP header and the first 8 bytes of our echo.
        if (length < 8 + 20)
            return Verdict::Ignore;
        const unsigned char* inner = icmp + 8;
        const size_t innerHeader = static_cast<size_t>(inner[0] & 0x0F) * 4;
        if ((inner[0] >> 4) != 4 || innerHeader < 20 || length < 8 + innerHeader + 8)
            return Verdict::Ignore;
        quint32 innerDst;
        std::memcpy(&innerDst, inner + 16, 4);
        const unsigned char* echo = inner + innerHeader;
        if (ntohl(innerDst) != target || echo[0] != ICMP_ECHO || be16(echo + 4) != identifier ||
            be16(echo + 6) != sequence)
            return Verdict::Ignore;
        return Verdict::Unreachable;
    }
    return Verdict::Ignore;
}

// Errors the kernel queued for this socket (IP_RECVERR). True when one concerns our echo.
// A receive of one datagram with its sender and its control messages.
msghdr messageInto(sockaddr_in& sender, iovec& iov, char* control, size_t controlSize) {
    msghdr msg{};
    msg.msg_name = &sender;
    msg.msg_namelen = sizeof sender;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = controlSize;
    return msg;
}

bool readErrorQueue(int fd, quint16 sequence) {
    bool ours = false;
    for (;;) {
        unsigned char data[576];
        char control[512];
        sockaddr_in offender{};
        iovec iov{data, sizeof data};
        msghdr msg = messageInto(offender, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0)
            return ours;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            // The quoted packet is our own echo request (ICMP header first).
            if (n >= 8 && data[0] == ICMP_ECHO && be16(data + 6) == sequence && ee.ee_errno != 0)
                ours = true;
        }
    }
}

// Nanoseconds from sentWall until the kernel received the datagram of msg; -1 without a stamp.
qint64 arrivalNs(msghdr& msg, const timespec& sentWall) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec at;
        std::memcpy(&at, CMSG_DATA(c), sizeof at);
        const qint64 ns =
            (qint64(at.tv_sec) - sentWall.tv_sec) * 1000000000LL + (at.tv_nsec - sentWall.tv_nsec);
        return qMax<qint64>(0, ns);
    }
    return -1;
}

void pumpEvents() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

EchoResult SocketIcmpEcho::echo(quint32 address, const QByteArray& payload, int timeoutMs) {
    EchoResult result;
    if (payload.size() > kMaxPayload)
        return result; // Error
    EchoSocket s;
    openSocket(&s);
    if (s.fd < 0) {
        result.status = EchoResult::Status::NoSocket;
        return result;
    }
    const int on = 1;
    ::setsockopt(s.fd, SOL_IP, IP_RECVERR, &on, sizeof on);

    const quint16 sequence = g_sequence.fetch_add(1);
    const quint16 identifier = static_cast<quint16>(::getpid());
    QByteArray packet(8, '\0');
    packet[0] = static_cast<char>(ICMP_ECHO);
    packet[4] = static_cast<char>(identifier >> 8);
    packet[5] = static_cast<char>(identifier & 0xFF);
    packet[6] = static_cast<char>(sequence >> 8);
    packet[7] = static_cast<char>(sequence & 0xFF);
    packet.append(payload);
    const quint16 sum =
        checksum(reinterpret_cast<const unsigned char*>(packet.constData()), packet.size());
    packet[2] = static_cast<char>(sum >> 8);
    packet[3] = static_cast<char>(sum & 0xFF);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(address);
    const int stamp = 1;
    ::setsockopt(s.fd, SOL_SOCKET, SO_TIMESTAMPNS, &stamp, sizeof stamp);
    timespec sentWall{};
    ::clock_gettime(CLOCK_REALTIME, &sentWall);
    const auto sent = Clock::now();
    if (::sendto(s.fd, packet.constData(), static_cast<size_t>(packet.size()), 0,
                 reinterpret_cast<sockaddr*>(&target), sizeof target) < 0) {
        result.status = statusForErrno(errno);
        return result;
    }

    const auto deadline = sent + std::chrono::milliseconds(qMax(0, timeoutMs));
    QByteArray buffer(65536 + 60, Qt::Uninitialized);
    auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    for (;;) {
        // What has arrived is read before the deadline is judged: a reply that came in time
        // counts even when this thread was kept from reading it.
        for (;;) {
            sockaddr_in from{};
            char control[256];
            iovec iov{bytes, static_cast<size_t>(buffer.size())};
            msghdr msg = messageInto(from, iov, control, sizeof control);
            const ssize_t n = ::recvmsg(s.fd, &msg, MSG_DONTWAIT);
            if (n < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                    readErrorQueue(s.fd, sequence)) {
                    result.status = EchoResult::Status::Unreachable;
                    return result;
                }
                break;
            }
            const unsigned char* icmp = bytes;
            size_t length = static_cast<size_t>(n);
            if (s.raw) {
                if (length < 20)
                    continue;
                const size_t header = static_cast<size_t>(bytes[0] & 0x0F) * 4;
                if (header < 20 || header > length)
                    continue;
                icmp += header;
                length -= header;
            }
            switch (judge(icmp, length, ntohl(from.sin_addr.s_addr), address, sequence, s.raw,
                          identifier)) {
            case Verdict::Reply: {
                // The echo's own time: when the kernel took the reply, not when we read it.
                const qint64 ms = arrivalNs(msg, sentWall) / 1000000;
                const qint64 roundTrip =
                    ms >= 0
                        ? ms
                        : std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent)
                              .count();
                if (roundTrip > timeoutMs) {
                    result.status = EchoResult::Status::TimedOut;
                    return result;
                }
                result.status = EchoResult::Status::Ok;
                result.roundTripMs = static_cast<int>(roundTrip);
                return result;
            }
            case Verdict::Unreachable:
                result.status = EchoResult::Status::Unreachable;
                return result;
            case Verdict::Ignore:
                break;
            }
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            result.status = EchoResult::Status::TimedOut;
            return result;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        pollfd p{s.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(qMin<long long>(left, kSliceMs)));
        if (ready < 0 && errno != EINTR) {
            result.status = EchoResult::Status::Error;
            return result;
        }
        if (ready > 0 && (p.revents & POLLERR) && readErrorQueue(s.fd, sequence)) {
            result.status = EchoResult::Status::Unreachable;
            return result;
        }
        if (m_pumpEvents && ready <= 0)
            pumpEvents();
    }
}

IcmpEcho& icmpEcho() {
    return service<IcmpEcho, SocketIcmpEcho>();
}

void setIcmpEcho(IcmpEcho* echo) {
    installService(echo);
}

} // namespace platform
