#include "protocol/discovery.h"

#include "db/records.h"
#include "platform/udpendpoint.h"
#include "protocol/mainendpoint.h"
#include "protocol/wire.h"

#include <QTimer>

namespace protocol {

namespace {
constexpr quint16 kPagingPort = 1901;
}

DiscoverySession::DiscoverySession(MainEndpoint& endpoint, QObject* parent)
    : QObject(parent), m_endpoint(endpoint) {}

bool DiscoverySession::begin() {
    if (!db::CreateEmptyIniFile(db::NmsIniPath()))
        return false;
    platform::UdpEndpoint& udp = m_endpoint.udpClient();
    m_savedHost = udp.remoteHost();
    m_savedPort = udp.remotePort();
    udp.setRemote(QStringLiteral("255.255.255.255"), kPagingPort);
    m_writeFailed = false;
    emit started();
    m_awaiting = true;
    // Leaves from the socket bound to the chosen address, so out of that interface.
    udp.send(PagingRequest());
    return true;
}

void DiscoverySession::end() {
    flush();
    m_endpoint.udpClient().setRemote(m_savedHost, m_savedPort);
    m_awaiting = false;
    emit listChanged();
}

void DiscoverySession::collect(const QString& section, const db::IniEntries& record) {
    if (m_pending.isEmpty())
        QTimer::singleShot(0, this, &DiscoverySession::flush);
    m_pending.append({section, record});
}

void DiscoverySession::flush() {
    if (m_pending.isEmpty())
        return;
    const auto records = std::exchange(m_pending, {});
    if (!db::WriteSectionsToINI(records, db::NmsIniPath()))
        m_writeFailed = true;
}

} // namespace protocol
