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

// The real echo: an unprivileged ping socket where the system allows one, else a raw
// socket. While it waits it lets non-input events run every ~20 ms so windows repaint.
class SocketIcmpEcho : public IcmpEcho {
public:
    explicit SocketIcmpEcho(bool pumpEvents = true) : m_pumpEvents(pumpEvents) {}
    EchoResult echo(quint32 address, const QByteArray& payload, int timeoutMs) override;

private:
    bool m_pumpEvents;
};

IcmpEcho& icmpEcho();
void setIcmpEcho(IcmpEcho* echo);

} // namespace platform
