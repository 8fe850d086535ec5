#include "platform/neighbourtable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QThread>

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

NeighbourTable* g_installed = nullptr;

// States in which the entry's hardware address is known.
constexpr quint16 kCompleteStates =
    NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
constexpr int kProcArpComplete = 0x2; // ATF_COM

// No neighbour can ever answer for these: the table is not worth a second of waiting.
bool neverOnLink(quint32 address) {
    const quint32 top = address >> 24;
    return address == 0 || address == 0xFFFFFFFFu || top == 127 || top == 0 ||
           (top >= 224 && top <= 239);
}

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

bool readU32(const QByteArray& bytes, int offset, quint32* out) {
    if (offset < 0 || offset + 4 > bytes.size())
        return false;
    std::memcpy(out, bytes.constData() + offset, 4);
    return true;
}

} // namespace

std::optional<QByteArray> findInNeighbourDump(const QByteArray& messages, quint32 address) {
    const quint32 wanted = htonl(address);
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
        if (h.nlmsg_type == RTM_NEWNEIGH &&
            length >= static_cast<int>(NLMSG_LENGTH(sizeof(ndmsg)))) {
            ndmsg nd;
            std::memcpy(&nd, messages.constData() + bodyAt, sizeof nd);
            if (nd.ndm_family == AF_INET && (nd.ndm_state & kCompleteStates)) {
                bool dstMatches = false;
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
                        quint32 dst = 0;
                        dstMatches = readU32(messages, dataAt, &dst) && dst == wanted;
                    } else if (attr.rta_type == NDA_LLADDR) {
                        hardware = messages.mid(dataAt, dataLength);
                    }
                    at += static_cast<int>(RTA_ALIGN(static_cast<unsigned>(attrLength)));
                }
                if (dstMatches && !hardware.isEmpty())
                    return hardware;
            }
        }
        offset = next;
    }
    return std::nullopt;
}

std::optional<QByteArray> findInProcArp(const QByteArray& text, quint32 address) {
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 4)
            continue;
        in_addr parsed{};
        if (::inet_pton(AF_INET, fields.at(0).constData(), &parsed) != 1 ||
            ntohl(parsed.s_addr) != address)
            continue;
        bool ok = false;
        const int flags = fields.at(2).toInt(&ok, 0);
        if (!ok || !(flags & kProcArpComplete))
            continue;
        const QList<QByteArray> octets = fields.at(3).split(':');
        QByteArray hardware;
        for (const QByteArray& octet : octets) {
            const uint value = octet.toUInt(&ok, 16);
            if (!ok || octet.size() > 2 || value > 0xFF) {
                hardware.clear();
                break;
            }
            hardware.append(static_cast<char>(value));
        }
        if (!hardware.isEmpty())
            return hardware;
    }
    return std::nullopt;
}

KernelNeighbourTable::KernelNeighbourTable(int giveUpMs, int pollMs)
    : m_giveUpMs(giveUpMs), m_pollMs(pollMs > 0 ? pollMs : 1) {}

std::optional<QByteArray> KernelNeighbourTable::lookup(quint32 address) const {
    if (const auto dump = dumpNeighbours())
        return findInNeighbourDump(*dump, address);
    QFile arp(QStringLiteral("/proc/net/arp"));
    if (!arp.open(QIODevice::ReadOnly))
        return std::nullopt;
    return findInProcArp(arp.readAll(), address);
}

std::optional<QByteArray> KernelNeighbourTable::resolve(quint32 address) {
    if (neverOnLink(address))
        return std::nullopt;
    if (auto found = lookup(address))
        return found;
    // Only the address itself is looked up, so an off-link address never yields the
    // gateway's hardware address.
    startResolution(address);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < m_giveUpMs) {
        QThread::msleep(static_cast<unsigned long>(m_pollMs));
        if (auto found = lookup(address))
            return found;
    }
    return std::nullopt;
}

NeighbourTable& neighbourTable() {
    if (g_installed)
        return *g_installed;
    static KernelNeighbourTable real;
    return real;
}

void setNeighbourTable(NeighbourTable* table) {
    g_installed = table;
}

} // namespace platform
