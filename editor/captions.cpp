#include "editor/captions.h"

#include "db/sharedfunctions.h"

#include <cmath>

namespace editor {

namespace {
constexpr int kAttenuationMute = 14;
const QChar kPoint = QLatin1Char('.');
} // namespace

QString attenuationCaption(int value) {
    if (value == kAttenuationMute)
        return QStringLiteral("Mute");
    return db::formatShortest((value - 255) * 0.5, 1, kPoint) + QStringLiteral(" dB");
}

QString silenceLevelCaption(int value) {
    // The bar starts at 1; a value of 0 or less has no level (log of zero).
    if (value < 1)
        return QStringLiteral("-oodBu");
    const double level = 20.0 * std::log10(value * 2.04870129870129) - 56.0;
    return db::formatShortest(level, 1, kPoint) + QStringLiteral("dBu");
}

QString silenceTimeCaption(int value) {
    return db::formatShortest(value * 0.455104166666667, 1, kPoint) + QStringLiteral("Sec");
}

double latencyMs(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked) {
    if (lowLatencyMode)
        return 1.25 * buffer + 2.5;
    if (gpsMode || sfnChecked)
        return 2.5 * buffer + 2.5;
    return 2.5 * buffer + 5.0;
}

QString latencyCaption(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked) {
    // Steps of 1.25 need two decimals at most.
    return db::formatShortest(latencyMs(buffer, lowLatencyMode, gpsMode, sfnChecked), 2, kPoint) +
           QStringLiteral("mS");
}

} // namespace editor
