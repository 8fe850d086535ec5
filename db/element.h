#pragma once
// One element as the station knows it: the values of its record in nms.ini, typed, and the
// ranges the editor holds them in.
#include "platform/ipv4address.h"

#include <QString>
#include <optional>

namespace db {

using platform::Ipv4Address;

enum class Role { Unknown, Encoder, Decoder };
Role roleFromNumber(qint64 number); // 1 encoder, 2 decoder, any other number unknown
int roleNumber(Role role);          // as a feedback carries it: 0, 1 or 2
QString roleText(Role role);        // "ENCODER", "DECODER", "UNKNOWN"

// An address as stored or typed: the text as it stands, which is an address or not.
class AddressText {
public:
    AddressText() = default;
    AddressText(QString text) : m_text(std::move(text)) {} // NOLINT: a text is an address text
    AddressText(Ipv4Address address) : m_text(address.toString()) {} // NOLINT

    const QString& text() const { return m_text; }
    std::optional<Ipv4Address> address() const { return Ipv4Address::parse(m_text); }
    bool isValid() const { return address().has_value(); }
    // Both are addresses, and the same one, however they are written.
    bool sameAddress(const AddressText& other) const;
    // The address in its plain form; the text as it stands when it is none.
    QString canonical() const;

private:
    QString m_text;
};

inline const QString kDefaultMulticast = QStringLiteral("239.255.255.239");
inline const QString kDefaultRemote = QStringLiteral("192.168.1.91");
inline const QString kDefaultVersion = QStringLiteral("2.00");

struct Element {
    QString name; // without the blanks that pad it to 16 in nms.ini
    AddressText ip, mask, gw;
    int input = -1, type = -1, tx = -1; // list indices; -1 for none
    AddressText multi{kDefaultMulticast}, remote{kDefaultRemote};
    Role role = Role::Unknown;
    QString serial;                    // shown as stored
    QString version = kDefaultVersion; // "major.minor", shown as stored
    std::optional<qint64> sfn = 0;     // as stored; nullopt when it is no number
    int buffer = 1;
    int attenuation = 0;
    int silenceMode = 0, silenceLevel = 37, silenceTime = 43;
    int lowLatency = 0; // as stored or reported; on only when exactly 1
    int bound = 0;      // index in the encoder list; nothing writes it
    qint64 delay = 0;   // SFN additional delay in 100 ns, as stored (its window limits it)
    bool autoServo = false;

    // The address the remote field shows and an upload sends: a decoder's multicast group, an
    // encoder's (and an unknown element's) by its transmission, the group for multicast.
    const AddressText& remoteAddress(int transmission) const;
    bool sfnOn() const { return sfn == 1; }
    bool lowLatencyOn() const { return lowLatency == 1; }
    bool remoteIsMulticast(int transmission) const;
};

// The variant the station was started in; it sets the buffer's range.
enum class Variant { Standard, Gps, LowLatency };

struct ElementLimits {
    int attenuationMin = 14, attenuationMax = 255;
    int bufferMax = 22; // the minimum is 0
    int silenceModeMax = 2;
    int silenceLevelMin = 1, silenceLevelMax = 154;
    int silenceTimeMin = 1, silenceTimeMax = 220;

    static ElementLimits forVariant(Variant variant);
};

// The values an element reported, as the editor can hold them: each bar's value within its
// range, the silence detector's mode within its list, each option 0 or 1.
Element limitedTo(Element reported, const ElementLimits& limits);

} // namespace db
