#pragma once
// Caption rules of the audio parameter bars. Captions always use a decimal point, whatever
// the user's locale, and never show "-0".
#include <QString>

namespace editor {

inline const QString kAudioSourceCaption = QStringLiteral("Audio source:");
inline const QString kAudioAttenCaption = QStringLiteral("Audio atten:");
inline const QString kMulticastCaption = QStringLiteral("Multicast IP:");
inline const QString kDecoderCaption = QStringLiteral("Decoder IP:");
inline const QString kNoEncoder = QStringLiteral("<None>");

QString attenuationCaption(int value);  // "Mute" at the minimum 14, else "-0.5 dB" ...
QString silenceLevelCaption(int value); // "-18.4dBu"
QString silenceTimeCaption(int value);  // "19.6Sec"

double latencyMs(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked);
QString latencyCaption(int buffer, bool lowLatencyMode, bool gpsMode, bool sfnChecked); // "3.75mS"

} // namespace editor
