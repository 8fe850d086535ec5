#include "platform/neighbourtable.h"

#include "platform/service.h"

#include <QFile>

#include <optional>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// States in which the entry's hardware address is known.
constexpr quint16 kCompleteStates =
    NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
constexpr int kProcArpComplete = 0x2; // ATF_COM

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One dump of the IPv4 neighbour table; nullopt when netlink cannot be used.
std::optional<QByteArray> dumpNeighbours() {
    FdCloser fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        ndmsg body;
    } request;
    std::memset(&request, 0, sizeof request);
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return std::nullopt;

    QByteArray all;
    QByteArray buffer(32768, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::recv(fd.get(), buffer.data(), static_cast<size_t>(buffer.size()), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        all.append(buffer.constData(), n);
        // The dump ends with NLMSG_DONE (or an error) as the last message of a read.
        bool done = false;
        int offset = 0;
        while (offset + static_cast<int>(sizeof(nlmsghdr)) <= n) {
            nlmsghdr h;
            std::memcpy(&h, buffer.constData() + offset, sizeof h);
            if (h.nlmsg_len < sizeof(nlmsghdr) || offset + static_cast<int>(h.nlmsg_len) > n)
                break;
            if (h.nlmsg_type == NLMSG_DONE || h.nlmsg_type == NLMSG_ERROR)
                done = true;
            offset += static_cast<int>(NLMSG_ALIGN(h.nlmsg_len));
        }
        if (done)
            break;
    }
    return all;
}

void startResolution(quint32 address) {
    FdCloser fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0)
        return;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9); // discard: nobody is expected to answer
    target.sin_addr.s_addr = htonl(address);
    const char byte = 0;
    ::sendto(fd.get(), &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&target), sizeof target);
}

} // namespace

bool neverOnLink(quint32 address) {
    const quint32 top = address >> 24;
    return address == 0 || address == 0xFFFFFFFFu || top == 127 || top == 0 ||
           (top >= 224 && top <= 239);
}

HardwareAddresses neighboursInDump(const QByteArray& messages) {
    HardwareAddresses found;
    int offset = 0;
    const int total = static_cast<int>(messages.size());
    while (offset + static_cast<int>(sizeof(nlmsghdr)) <= total) {
        nlmsghdr h;
        std::memcpy(&h, messages.constData() + offset, sizeof h);
        const int length = static_cast<int>(h.nlmsg_len);
        if (length < static_cast<int>(sizeof(nlmsghdr)) || length > total - offset)
            break; // truncated or corrupt: stop rather than read past the end
        const int next = offset + static_cast<int>(NLMSG_ALIGN(static_cast<unsigned>(length)));
        if (h.nlmsg_type == NLMSG_DONE || h.nlmsg_type == NLMSG_ERROR)
            break;
        const int bodyAt = offset + static_cast<int>(NLMSG_HDRLEN);
        ndmsg nd{};
        const bool isEntry =
            h.nlmsg_type == RTM_NEWNEIGH && length >= static_cast<int>(NLMSG_LENGTH(sizeof(ndmsg)));
        if (isEntry)
            std::memcpy(&nd, messages.constData() + bodyAt, sizeof nd);
        if (isEntry && nd.ndm_family == AF_INET && (nd.ndm_state & kCompleteStates)) {
            std::optional<quint32> dst;
            QByteArray hardware;
            int at = bodyAt + static_cast<int>(NLMSG_ALIGN(sizeof(ndmsg)));
            const int end = offset + length;
            while (at + static_cast<int>(sizeof(rtattr)) <= end) {
                rtattr attr;
                std::memcpy(&attr, messages.constData() + at, sizeof attr);
                const int attrLength = attr.rta_len;
                if (attrLength < static_cast<int>(sizeof(rtattr)) || attrLength > end - at)
                    break;
                const int dataAt = at + static_cast<int>(RTA_LENGTH(0));
                const int dataLength = attrLength - static_cast<int>(RTA_LENGTH(0));
                if (attr.rta_type == NDA_DST && dataLength == 4) {
                    quint32 networkOrder = 0;
                    std::memcpy(&networkOrder, messages.constData() + dataAt, 4);
                    dst = ntohl(networkOrder);
                } else if (attr.rta_type == NDA_LLADDR) {
                    hardware = messages.mid(dataAt, dataLength);
                }
                at += static_cast<int>(RTA_ALIGN(static_cast<unsigned>(attrLength)));
            }
            if (dst && !hardware.isEmpty() && !found.contains(*dst))
                found.insert(*dst, hardware);
        }
        offset = next;
    }
    return found;
}

HardwareAddresses neighboursInProcArp(const QByteArray& text) {
    HardwareAddresses found;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 4)
            continue;
        in_addr parsed{};
        bool ok = false;
        const int flags = fields.at(2).toInt(&ok, 0);
        if (::inet_pton(AF_INET, fields.at(0).constData(), &parsed) != 1 || !ok ||
            !(flags & kProcArpComplete))
            continue;
        const quint32 address = ntohl(parsed.s_addr);
        QByteArray hardware;
        for (const QByteArray& octet : fields.at(3).split(':')) {
            const uint value = octet.toUInt(&ok, 16);
            if (!ok || octet.size() > 2 || value > 0xFF) {
                hardware.clear();
                break;
            }
            hardware.append(static_cast<char>(value));
        }
        if (!hardware.isEmpty() && !found.contains(address))
            found.insert(address, hardware);
    }
    return found;
}

HardwareAddresses KernelNeighbourTable::lookup(const QList<quint32>& addresses) {
    HardwareAddresses table;
    if (const auto dump = dumpNeighbours()) {
        table = neighboursInDump(*dump);
    } else {
        QFile arp(QStringLiteral("/proc/net/arp"));
        if (arp.open(QIODevice::ReadOnly))
            table = neighboursInProcArp(arp.readAll());
    }
    HardwareAddresses wanted;
    for (quint32 a : addresses) {
        const auto it = table.constFind(a);
        if (it != table.constEnd() && !neverOnLink(a))
            wanted.insert(a, *it);
    }
    return wanted;
}

void KernelNeighbourTable::solicit(quint32 address) {
    // Only the address itself is ever looked up, so an off-link address never yields the
    // gateway's hardware address.
    if (!neverOnLink(address))
        startResolution(address);
}

NeighbourTable& neighbourTable() {
    return service<NeighbourTable, KernelNeighbourTable>();
}

void setNeighbourTable(NeighbourTable* table) {
    installService(table);
}

} // namespace platform
