#pragma once
#include <QByteArray>
#include <QtGlobal>

namespace platform {

struct EchoResult {
    enum class Status { Ok, TimedOut, Unreachable, NoSocket, Error };
    Status status = Status::Error;
    int roundTripMs = 0; // whole ms, floored; valid for Ok
};

// One ICMP echo, synchronous. Address in host byte order.
class IcmpEcho {
public:
    virtual ~IcmpEcho() = default;
    virtual EchoResult echo(quint32 address, const QByteArray& payload, int timeoutMs) = 0;
};

IcmpEcho& icmpEcho();
void setIcmpEcho(IcmpEcho* echo);

} // namespace platform
