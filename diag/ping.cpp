#include "diag/ping.h"

#include "platform/icmpecho.h"
#include "platform/messagebox.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"

namespace diag {

namespace {
const QColor kFailed(255, 128, 128);
}

PingResult PingTest::trying() {
    return {true, QStringLiteral("Trying..."), QColor(255, 255, 192)};
}

PingResult PingTest::PingElement(const QString& addressText) {
    const std::optional<platform::Ipv4Address> parsed = platform::Ipv4Address::parse(addressText);
    if (!parsed)
        return {};
    const quint32 address = parsed->toHostOrder();
    platform::EchoResult result;
    if (address == 0 || address == 0xFFFFFFFFu) {
        result.status = platform::EchoResult::Status::Error;
    } else {
        m_endpoint.pause();
        m_notices.hold();
        result = platform::icmpEcho().echo(address, QByteArrayLiteral("hello"), 3000);
        m_notices.release();
        m_endpoint.resume();
    }
    switch (result.status) {
    case platform::EchoResult::Status::NoSocket:
        platform::showMessage(QStringLiteral("Windows Sockets not responding correctly."),
                              QStringLiteral("Ping failed"), platform::MsgIcon::Critical);
        return {true, QStringLiteral("No sockets!"), kFailed};
    case platform::EchoResult::Status::Ok:
        return {true, QStringLiteral("%1 ms").arg(result.roundTripMs), QColor(0, 255, 0)};
    default:
        return {true, QStringLiteral("Failed!"), kFailed};
    }
}

} // namespace diag
