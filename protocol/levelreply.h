#pragma once
// The audio level reply: 24-bit big-endian samples, reduced to the meter's bar width and
// its dBFS caption.
#include <QByteArray>
#include <QChar>
#include <QString>

namespace protocol {

struct LevelReading {
    qint32 peak = 0;    // largest positive sample, 0 when none
    int widthTwips = 0; // 0 to 2100
    QString caption;    // "-oodBFS", "-6dBFS", "-10.5dBFS"
};

// Examines every sample k with 3k + 3 <= L - 1; negative samples are skipped.
LevelReading ParseLevelReply(const QByteArray& reply, QChar decimalSeparator);

// The reading of an empty meter.
LevelReading SilentLevel();

} // namespace protocol
