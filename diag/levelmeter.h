#pragma once
// The audio level meter: a level request to the selected element on every tick of
// `tmrVolume`, and the reading of each level reply.
#include "protocol/levelreply.h"

#include <QObject>
#include <functional>

class QTimer;

namespace protocol {
class MainEndpoint;
}

namespace diag {

class LevelMeter : public QObject {
    Q_OBJECT
public:
    // target: the selected element's stored address, empty when no element is loaded.
    LevelMeter(protocol::MainEndpoint& endpoint, QTimer* tmrVolume, std::function<QString()> target,
               QObject* parent = nullptr);

    void requestLevel();
    void handleReply(const QByteArray& payload);

signals:
    void readingChanged(const protocol::LevelReading& reading);

private:
    protocol::MainEndpoint& m_endpoint;
    QTimer* m_timer;
    std::function<QString()> m_target;
};

} // namespace diag
