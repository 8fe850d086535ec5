#pragma once
// Caption rules of the audio parameter bars. Captions always use a decimal point, whatever
// the user's locale, and never show "-0".
#include <QString>

namespace editor {

QString AttenuationCaption(int value);  // "Mute" at the minimum 14, else "-0.5 dB" ...
QString SilenceLevelCaption(int value); // "-18.4dBu"
QString SilenceTimeCaption(int value);  // "19.6Sec"

double LatencyMs(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked);
QString LatencyCaption(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked); // "3.75mS"

} // namespace editor
