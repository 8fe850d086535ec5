#include "platform/localaddresses.h"

#include "platform/ipv4address.h"
#include "platform/service.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace platform {
namespace {

bool isLoopback(quint32 address) {
    return (address >> 24) == 127;
}

} // namespace

QStringList orderLocalAddresses(QList<quint32> addresses) {
    std::sort(addresses.begin(), addresses.end(), [](quint32 a, quint32 b) {
        if (isLoopback(a) != isLoopback(b))
            return !isLoopback(a);
        return a < b;
    });
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    QStringList out;
    out.reserve(addresses.size());
    for (quint32 a : addresses)
        out.append(Ipv4Address(a).toString());
    return out;
}

LocalAddressList SystemLocalAddresses::read() {
    LocalAddressList result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        result.errorCode = errno != 0 ? errno : EIO;
        return result;
    }
    QList<quint32> found;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        found.append(ntohl(in->sin_addr.s_addr));
    }
    ::freeifaddrs(list);
    result.addresses = orderLocalAddresses(found);
    return result;
}

LocalAddressSource& localAddresses() {
    return service<LocalAddressSource, SystemLocalAddresses>();
}

void setLocalAddresses(LocalAddressSource* source) {
    installService(source);
}

} // namespace platform
