#include "diag/levelmeter.h"

#include "db/sharedfunctions.h"
#include "protocol/mainendpoint.h"
#include "protocol/wire.h"

#include <QTimer>

namespace diag {

namespace {
constexpr quint16 kLevelPort = 2977;
}

LevelMeter::LevelMeter(protocol::MainEndpoint& endpoint, QTimer* tmrVolume,
                       std::function<QString()> target, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_timer(tmrVolume), m_target(std::move(target)) {
    connect(m_timer, &QTimer::timeout, this, &LevelMeter::requestLevel);
    connect(&m_endpoint, &protocol::MainEndpoint::levelReply, this, &LevelMeter::handleReply);
}

void LevelMeter::requestLevel() {
    // Nothing to ask while no element is loaded or its stored address is no address.
    const QString target = m_target();
    if (!db::Validate_IP(target))
        return;
    m_endpoint.sendTo(target, kLevelPort, protocol::LevelRequest());
}

void LevelMeter::handleReply(const QByteArray& payload) {
    // A late reply after the meter was switched off only blanks it.
    if (!m_timer->isActive()) {
        emit readingChanged(protocol::SilentLevel());
        return;
    }
    emit readingChanged(protocol::ParseLevelReply(payload, db::UserDecimalSeparator()));
}

} // namespace diag
