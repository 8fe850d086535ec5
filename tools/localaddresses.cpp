#include "localaddresses.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emulator {

namespace {

QString systemError(const char* what, int code) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(code)));
}

class Netlink {
public:
    Netlink() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~Netlink() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Netlink(const Netlink&) = delete;
    Netlink& operator=(const Netlink&) = delete;

    // Sends one request; every message of the answer goes to `each`, until the kernel's
    // acknowledgement or the end of a dump. Returns 0 or the kernel's error number.
    template <typename Each> int exchange(QByteArray request, Each each) {
        if (m_fd < 0)
            return errno;
        auto* header = reinterpret_cast<nlmsghdr*>(request.data());
        header->nlmsg_len = quint32(request.size());
        header->nlmsg_seq = ++m_sequence;
        if (::send(m_fd, request.constData(), size_t(request.size()), 0) < 0)
            return errno;
        QByteArray buffer(65536, Qt::Uninitialized);
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer.data(), size_t(buffer.size()), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            int length = int(n);
            for (auto* m = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(m, length);
                 m = NLMSG_NEXT(m, length)) {
                if (m->nlmsg_seq != m_sequence)
                    continue;
                if (m->nlmsg_type == NLMSG_DONE)
                    return 0;
                if (m->nlmsg_type == NLMSG_ERROR)
                    return -static_cast<nlmsgerr*>(NLMSG_DATA(m))->error;
                each(m);
            }
        }
    }

private:
    int m_fd;
    quint32 m_sequence = 0;
};

QByteArray addressMessage(quint16 type, quint16 flags, const LocalAddress& where, quint32 address) {
    struct {
        nlmsghdr header;
        ifaddrmsg body;
        rtattr localAttribute;
        quint32 local;
        rtattr addressAttribute;
        quint32 address;
    } m;
    std::memset(&m, 0, sizeof m);
    m.header.nlmsg_type = type;
    m.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | flags;
    m.body.ifa_family = AF_INET;
    m.body.ifa_prefixlen = quint8(where.prefixLength);
    m.body.ifa_index = quint32(where.interfaceIndex);
    m.localAttribute = {RTA_LENGTH(4), IFA_LOCAL};
    m.local = htonl(address);
    m.addressAttribute = {RTA_LENGTH(4), IFA_ADDRESS};
    m.address = htonl(address);
    return QByteArray(reinterpret_cast<const char*>(&m), sizeof m);
}

} // namespace

std::optional<QHash<quint32, LocalAddress>> readLocalAddresses(QString* error) {
    struct {
        nlmsghdr header;
        ifaddrmsg body;
    } request;
    std::memset(&request, 0, sizeof request);
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.body.ifa_family = AF_INET;
    QHash<quint32, LocalAddress> found;
    Netlink netlink;
    const int failure = netlink.exchange(
        QByteArray(reinterpret_cast<const char*>(&request), sizeof request), [&](nlmsghdr* m) {
            if (m->nlmsg_type != RTM_NEWADDR)
                return;
            const auto* body = static_cast<ifaddrmsg*>(NLMSG_DATA(m));
            int length = int(IFA_PAYLOAD(m));
            for (auto* a = IFA_RTA(body); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
                if (a->rta_type == IFA_LOCAL && RTA_PAYLOAD(a) == 4) {
                    quint32 address;
                    std::memcpy(&address, RTA_DATA(a), 4);
                    found.insert(ntohl(address), {int(body->ifa_index), body->ifa_prefixlen});
                }
            }
        });
    if (failure) {
        *error = systemError("cannot read the local addresses", failure);
        return std::nullopt;
    }
    return found;
}

bool isHostInNetwork(quint32 address, quint32 of, int prefixLength) {
    if (prefixLength <= 0 || prefixLength > 30)
        return false; // no room for a second host beside the element
    const quint32 mask = ~quint32(0) << (32 - prefixLength);
    const quint32 host = address & ~mask;
    return (address & mask) == (of & mask) && host != 0 && host != ~mask;
}

bool replaceAddress(const LocalAddress& where, quint32 from, quint32 to, QString* error) {
    Netlink netlink;
    const auto ignore = [](nlmsghdr*) {};
    // The old one goes first: removing a primary address would take a secondary with it.
    if (const int failure = netlink.exchange(addressMessage(RTM_DELADDR, 0, where, from), ignore)) {
        *error = systemError("cannot remove the old address", failure);
        return false;
    }
    const int failure =
        netlink.exchange(addressMessage(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, where, to), ignore);
    if (!failure)
        return true;
    *error = systemError("cannot add the new address", failure);
    netlink.exchange(addressMessage(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, where, from), ignore);
    return false;
}

} // namespace emulator
