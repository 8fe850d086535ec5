#include "diag/levelreply.h"

#include "db/sharedfunctions.h"

#include <cmath>

namespace diag {

namespace {
constexpr double kFullScale = 8388608.0; // 2^23
constexpr double kFullWidthTwips = 2100.0;
} // namespace

QByteArray levelRequest() {
    return QByteArrayLiteral("VOL");
}

LevelReading silentLevel() {
    return LevelReading{0, 0, QStringLiteral("-oodBFS")};
}

LevelReading parseLevelReply(const QByteArray& reply, QChar decimalSeparator) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(reply.constData());
    const qsizetype length = reply.size();
    qint32 peak = 0;
    for (qsizetype offset = 0; offset + 3 <= length - 1; offset += 3) {
        const unsigned char b0 = bytes[offset];
        if (b0 >= 0x80)
            continue;
        const qint32 value =
            (qint32(b0) << 16) | (qint32(bytes[offset + 1]) << 8) | qint32(bytes[offset + 2]);
        if (value > peak)
            peak = value;
    }
    if (peak == 0)
        return silentLevel();

    const double r = peak / kFullScale;
    LevelReading reading;
    reading.peak = peak;
    // Round-half-even under the default floating-point rounding mode.
    reading.widthTwips = static_cast<int>(std::nearbyint(r * kFullWidthTwips));
    reading.caption =
        db::formatShortest(20.0 * db::Log10(r), 1, decimalSeparator) + QStringLiteral("dBFS");
    return reading;
}

} // namespace diag
