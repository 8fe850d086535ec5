#include "protocol/wire.h"

#include "db/records.h"
#include "db/sharedfunctions.h"

namespace protocol {

namespace {

constexpr int kCommonBlock = 40;
constexpr int kRoleDecoder = 2;

// Appends the four address bytes of a valid address text; false when it is not valid.
bool AppendAddress(QByteArray& out, const QString& text) {
    if (!db::Validate_IP(text))
        return false;
    const QStringList parts = db::Split_IP(text);
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        const std::optional<qint64> value = db::ParseDecimal(part, false);
        if (!value || *value < 0 || *value > 255)
            return false;
        out.append(static_cast<char>(static_cast<quint8>(*value)));
    }
    return true;
}

void AppendByte(QByteArray& out, int value) {
    out.append(static_cast<char>(static_cast<quint8>(value & 0xFF)));
}

quint8 At(const QByteArray& d, int offset) {
    return static_cast<quint8>(d.at(offset));
}

QString DottedAt(const QByteArray& d, int offset) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(At(d, offset))
        .arg(At(d, offset + 1))
        .arg(At(d, offset + 2))
        .arg(At(d, offset + 3));
}

// Sets field from the byte at offset when the datagram holds it.
void TakeIfPresent(const QByteArray& d, int offset, quint8& field) {
    if (offset < d.size())
        field = At(d, offset);
}

QString RetrieveError(const char* label) {
    return QStringLiteral("An error occured while retrieving '%1':\rFeedback is corrupted.")
        .arg(QLatin1String(label));
}

} // namespace

QByteArray PagingRequest() {
    return QByteArrayLiteral("IPMPXSTL TALVOREN PAGING REQUEST");
}

QByteArray LevelRequest() {
    return QByteArrayLiteral("VOL");
}

QByteArray BuildConfiguration(const ConfigurationFields& f, bool decoder) {
    QByteArray out;
    out.reserve(decoder ? 41 : 37);
    if (!AppendAddress(out, f.ip) || !AppendAddress(out, f.mask) || !AppendAddress(out, f.gw) ||
        !AppendAddress(out, f.remote))
        return QByteArray();
    AppendByte(out, f.input);
    AppendByte(out, f.type);
    AppendByte(out, f.tx);
    AppendByte(out, f.sfn ? 1 : 0);
    const QString name = db::Format_Name(f.name);
    for (int i = 0; i < 16; ++i)
        AppendByte(out, i < name.size() ? name.at(i).unicode() : ' ');
    if (decoder) {
        AppendByte(out, f.buffer);
        AppendByte(out, f.silDetMode);
        AppendByte(out, f.silDetLevel);
        AppendByte(out, f.silDetTime);
    }
    AppendByte(out, f.lowLatency ? 1 : 0);
    return out;
}

QByteArray BuildAttenuation(quint8 step) {
    QByteArray out(2, '\0');
    out[0] = static_cast<char>(step);
    return out;
}

Datagram DispatchReceived(int length) {
    if (length > 1200)
        return Datagram::LevelReply;
    if (length >= 55 || length == 3 || length < kCommonBlock)
        return Datagram::Ignored;
    return Datagram::Feedback;
}

std::optional<Feedback> DecodeFeedback(const QByteArray& d) {
    const int length = d.size();
    if (length < kCommonBlock)
        return std::nullopt;
    Feedback f;
    f.ip = DottedAt(d, 0);
    f.mask = DottedAt(d, 4);
    f.gw = DottedAt(d, 8);
    f.remote = DottedAt(d, 12);
    f.input = At(d, 16);
    f.type = At(d, 17);
    f.tx = At(d, 18);
    f.name.reserve(16);
    for (int i = 19; i < 35; ++i) {
        const quint8 b = At(d, i);
        // Control bytes would break the stored record and the list captions.
        f.name.append((b < 0x20 || b == 0x7F) ? QChar(' ') : QChar(b));
    }
    f.role = At(d, 35);
    const quint32 serial = (quint32(At(d, 36)) << 24) | (quint32(At(d, 37)) << 16) |
                           (quint32(At(d, 38)) << 8) | quint32(At(d, 39));
    f.serial = static_cast<qint32>(serial);

    if (f.role == kRoleDecoder) {
        f.attenuation = 255;
        f.buffer = 1;
        if (length > 40) {
            TakeIfPresent(d, 40, f.attenuation);
            TakeIfPresent(d, 41, f.verMajor);
            TakeIfPresent(d, 42, f.verMinor);
            TakeIfPresent(d, 43, f.sfn);
            TakeIfPresent(d, 44, f.buffer);
        }
        if (length > 45) {
            TakeIfPresent(d, 45, f.silDetMode);
            TakeIfPresent(d, 46, f.silDetLevel);
            TakeIfPresent(d, 47, f.silDetTime);
            TakeIfPresent(d, 53, f.lowLatency);
        }
    } else if (length > 41) {
        TakeIfPresent(d, 40, f.verMajor);
        TakeIfPresent(d, 41, f.verMinor);
        TakeIfPresent(d, 42, f.sfn);
        TakeIfPresent(d, 43, f.buffer);
        TakeIfPresent(d, 44, f.lowLatency);
    }
    return f;
}

std::optional<QString> CheckFeedback(const Feedback& f) {
    if (!db::Validate_IP(f.ip))
        return RetrieveError("Element IP");
    if (!db::Validate_IP(f.mask))
        return RetrieveError("Element Mask");
    if (!db::Validate_IP(f.gw))
        return RetrieveError("Element GW");
    if (!db::Validate_IP(f.remote))
        return RetrieveError("Remote / Multicast IP");
    if (f.input >= 2)
        return RetrieveError("Audio Input");
    if (f.type >= 2)
        return RetrieveError("Audio Type");
    if (f.tx >= 2)
        return RetrieveError("TX Type");
    if (f.role >= 3)
        return RetrieveError("Element Type");
    if (f.serial < 1)
        return RetrieveError("Serial Number");
    return std::nullopt;
}

db::IniEntries DiscoveryRecord(const Feedback& f) {
    namespace k = db::keys;
    const auto num = [](int v) { return QString::number(v); };
    db::IniEntries e;
    e.reserve(18);
    e.append({k::name, db::Format_Name(f.name)});
    e.append({k::ip, f.ip});
    e.append({k::mask, f.mask});
    e.append({k::gw, f.gw});
    e.append({k::input, num(f.input)});
    e.append({k::type, num(f.type)});
    e.append({k::tx, num(f.tx)});
    e.append({(f.tx != 0 || f.role == kRoleDecoder) ? k::multi : k::remote, f.remote});
    e.append({k::role, num(f.role)});
    e.append({k::sn, QString::number(f.serial)});
    e.append({k::ver, QStringLiteral("%1.%2").arg(f.verMajor).arg(f.verMinor)});
    e.append({k::sfn, num(f.sfn)});
    e.append({k::buf, num(f.buffer)});
    if (f.role == kRoleDecoder) {
        e.append({k::att, num(f.attenuation)});
        e.append({k::sdm, num(f.silDetMode)});
        e.append({k::sdl, num(f.silDetLevel)});
        e.append({k::sdt, num(f.silDetTime)});
    }
    e.append({k::llo, num(f.lowLatency)});
    return e;
}

QString RoleText(int role) {
    switch (role) {
    case 1:
        return QStringLiteral("ENCODER");
    case 2:
        return QStringLiteral("DECODER");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

} // namespace protocol
