#pragma once
// The audio level request, and its reply: 24-bit big-endian samples, reduced to the meter's bar
// width and its dBFS caption.
#include <QByteArray>
#include <QChar>
#include <QString>

namespace diag {

struct LevelReading {
    qint32 peak = 0;    // largest positive sample, 0 when none
    int widthTwips = 0; // 0 to 2100
    QString caption;    // "-oodBFS", "-6dBFS", "-10.5dBFS"
};

// The 3-byte request, "VOL".
QByteArray levelRequest();

// Examines every sample k with 3k + 3 <= L - 1; negative samples are skipped.
LevelReading parseLevelReply(const QByteArray& reply, QChar decimalSeparator);

// The reading of an empty meter.
LevelReading silentLevel();

} // namespace diag
