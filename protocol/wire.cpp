#include "protocol/wire.h"

#include "db/sharedfunctions.h"

namespace protocol {

namespace {

constexpr int kCommonBlock = 40;
constexpr int kRoleDecoder = 2;

void appendByte(QByteArray& out, int value) {
    out.append(static_cast<char>(static_cast<quint8>(value & 0xFF)));
}

quint8 at(const QByteArray& d, int offset) {
    return static_cast<quint8>(d.at(offset));
}

// Sets field from the byte at offset when the datagram holds it.
void takeIfPresent(const QByteArray& d, int offset, quint8& field) {
    if (offset < d.size())
        field = at(d, offset);
}

QString retrieveError(const char* label) {
    return QStringLiteral("An error occured while retrieving '%1':\rFeedback is corrupted.")
        .arg(QLatin1String(label));
}

} // namespace

QByteArray pagingRequest() {
    return QByteArrayLiteral("IPMPXSTL TALVOREN PAGING REQUEST");
}

QByteArray buildConfiguration(const db::Element& d, bool decoder) {
    const auto ip = d.ip.address(), mask = d.mask.address(), gw = d.gw.address(),
               remote = d.remoteAddress(d.tx).address();
    if (!ip || !mask || !gw || !remote)
        return QByteArray();
    QByteArray out;
    out.reserve(decoder ? 41 : 37);
    out += ip->toBytes() + mask->toBytes() + gw->toBytes() + remote->toBytes();
    appendByte(out, d.input);
    appendByte(out, d.type);
    appendByte(out, d.tx);
    appendByte(out, d.sfnOn() ? 1 : 0);
    const QString name = db::Format_Name(d.name);
    for (int i = 0; i < 16; ++i)
        appendByte(out, i < name.size() ? name.at(i).unicode() : ' ');
    if (decoder) {
        appendByte(out, d.buffer);
        appendByte(out, d.silenceMode);
        appendByte(out, d.silenceLevel);
        appendByte(out, d.silenceTime);
    }
    appendByte(out, d.lowLatencyOn() ? 1 : 0);
    return out;
}

QByteArray buildAttenuation(quint8 step) {
    QByteArray out(2, '\0');
    out[0] = static_cast<char>(step);
    return out;
}

Datagram datagramKind(int length) {
    if (length > 1200)
        return Datagram::LevelReply;
    if (length >= 55 || length == 3 || length < kCommonBlock)
        return Datagram::Ignored;
    return Datagram::Feedback;
}

std::optional<Feedback> decodeFeedback(const QByteArray& d) {
    const int length = d.size();
    if (length < kCommonBlock)
        return std::nullopt;
    Feedback f;
    f.ip = Ipv4Address::fromBytes(d, 0);
    f.mask = Ipv4Address::fromBytes(d, 4);
    f.gw = Ipv4Address::fromBytes(d, 8);
    f.remote = Ipv4Address::fromBytes(d, 12);
    f.input = at(d, 16);
    f.type = at(d, 17);
    f.tx = at(d, 18);
    f.name.reserve(16);
    for (int i = 19; i < 35; ++i) {
        const quint8 b = at(d, i);
        // Control bytes would break the stored record and the list captions.
        f.name.append((b < 0x20 || b == 0x7F) ? QChar(' ') : QChar(b));
    }
    f.role = at(d, 35);
    const quint32 serial = (quint32(at(d, 36)) << 24) | (quint32(at(d, 37)) << 16) |
                           (quint32(at(d, 38)) << 8) | quint32(at(d, 39));
    f.serial = static_cast<qint32>(serial);

    if (f.role == kRoleDecoder) {
        f.attenuation = 255;
        f.buffer = 1;
        if (length > 40) {
            takeIfPresent(d, 40, f.attenuation);
            takeIfPresent(d, 41, f.verMajor);
            takeIfPresent(d, 42, f.verMinor);
            takeIfPresent(d, 43, f.sfn);
            takeIfPresent(d, 44, f.buffer);
        }
        if (length > 45) {
            takeIfPresent(d, 45, f.silDetMode);
            takeIfPresent(d, 46, f.silDetLevel);
            takeIfPresent(d, 47, f.silDetTime);
            takeIfPresent(d, 53, f.lowLatency);
        }
    } else if (length > 41) {
        takeIfPresent(d, 40, f.verMajor);
        takeIfPresent(d, 41, f.verMinor);
        takeIfPresent(d, 42, f.sfn);
        takeIfPresent(d, 43, f.buffer);
        takeIfPresent(d, 44, f.lowLatency);
    }
    return f;
}

std::optional<QString> checkFeedback(const Feedback& f) {
    if (f.input >= 2)
        return retrieveError("Audio Input");
    if (f.type >= 2)
        return retrieveError("Audio Type");
    if (f.tx >= 2)
        return retrieveError("TX Type");
    if (f.role >= 3)
        return retrieveError("Element Type");
    if (f.serial < 1)
        return retrieveError("Serial Number");
    return std::nullopt;
}

db::Element reportedElement(const Feedback& f) {
    db::Element e;
    e.name = f.name;
    e.ip = f.ip;
    e.mask = f.mask;
    e.gw = f.gw;
    e.input = f.input;
    e.type = f.type;
    e.tx = f.tx;
    e.multi = f.remote;
    e.remote = f.remote;
    e.role = db::roleFromNumber(f.role);
    e.serial = QString::number(f.serial);
    e.version = QStringLiteral("%1.%2").arg(f.verMajor).arg(f.verMinor);
    e.sfn = f.sfn;
    e.buffer = f.buffer;
    e.lowLatency = f.lowLatency;
    if (f.role == kRoleDecoder) {
        e.attenuation = f.attenuation;
        e.silenceMode = f.silDetMode;
        e.silenceLevel = f.silDetLevel;
        e.silenceTime = f.silDetTime;
    }
    return e;
}

} // namespace protocol
