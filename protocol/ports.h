#pragma once
// The UDP ports of the elements and of the station.
#include <QtGlobal>

namespace protocol {

constexpr quint16 kPagingPort = 1901; // elements listen for the discovery broadcast
constexpr quint16 kMainPort = 2976;   // configuration and feedback, both ends
constexpr quint16 kAudioPort = 2977;  // attenuation and level requests
constexpr quint16 kStatusPort = 2978; // statistics and SFN delay, both ends

} // namespace protocol
