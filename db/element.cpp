#include "db/element.h"

#include <QtGlobal>

namespace db {

Role roleFromNumber(qint64 number) {
    return number == 1 ? Role::Encoder : number == 2 ? Role::Decoder : Role::Unknown;
}

int roleNumber(Role role) {
    return role == Role::Encoder ? 1 : role == Role::Decoder ? 2 : 0;
}

QString roleText(Role role) {
    switch (role) {
    case Role::Encoder:
        return QStringLiteral("ENCODER");
    case Role::Decoder:
        return QStringLiteral("DECODER");
    case Role::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

bool AddressText::sameAddress(const AddressText& other) const {
    const auto a = address();
    return a && a == other.address();
}

QString AddressText::canonical() const {
    const auto a = address();
    return a ? a->toString() : m_text;
}

bool Element::remoteIsMulticast(int transmission) const {
    return role == Role::Decoder || transmission > 0;
}

const AddressText& Element::remoteAddress(int transmission) const {
    return remoteIsMulticast(transmission) ? multi : remote;
}

ElementLimits ElementLimits::forVariant(Variant variant) {
    ElementLimits limits;
    limits.bufferMax = variant == Variant::Gps ? 23 : variant == Variant::LowLatency ? 44 : 22;
    return limits;
}

Element limitedTo(Element e, const ElementLimits& l) {
    e.attenuation = qBound(l.attenuationMin, e.attenuation, l.attenuationMax);
    e.buffer = qBound(0, e.buffer, l.bufferMax);
    e.silenceMode = qBound(0, e.silenceMode, l.silenceModeMax);
    e.silenceLevel = qBound(l.silenceLevelMin, e.silenceLevel, l.silenceLevelMax);
    e.silenceTime = qBound(l.silenceTimeMin, e.silenceTime, l.silenceTimeMax);
    e.sfn = e.sfnOn() ? 1 : 0;
    e.lowLatency = e.lowLatencyOn() ? 1 : 0;
    return e;
}

} // namespace db
