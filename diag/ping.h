#pragma once
// The ping test: one ICMP echo to the typed element address. While the echo is on its way
// the receive path is held: datagrams wait in the socket and boxes in their queue, so
// nothing else opens a box or runs a handler, and all of it follows afterwards.
#include <QColor>
#include <QString>

namespace protocol {
class MainEndpoint;
class NoticeQueue;
} // namespace protocol

namespace diag {

struct PingResult {
    bool shown = false; // false: the text was no address, the button keeps "Trying..."
    QString caption;
    QColor colour;
};

class PingTest {
public:
    PingTest(protocol::MainEndpoint& endpoint, protocol::NoticeQueue& notices)
        : m_endpoint(endpoint), m_notices(notices) {}

    // The button while the echo is on its way.
    static PingResult trying();
    PingResult PingElement(const QString& addressText);

private:
    protocol::MainEndpoint& m_endpoint;
    protocol::NoticeQueue& m_notices;
};

} // namespace diag
