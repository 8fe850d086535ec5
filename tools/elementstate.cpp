#include "elementstate.h"

#include <QRegularExpression>
#include <QStringList>

namespace emulator {

bool parseDecimal(const QString& text, qint64* out) {
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!decimal.match(text).hasMatch())
        return false;
    *out = text.toLongLong();
    return true;
}

bool parseAddress(const QString& text, Address* out) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    Address a{};
    for (int i = 0; i < 4; ++i) {
        qint64 v = 0;
        if (!parseDecimal(parts[i], &v) || v < 0 || v > 255)
            return false;
        a[i] = static_cast<uint8_t>(v);
    }
    *out = a;
    return true;
}

QString addressText(const Address& a) {
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

quint32 toHost(const Address& a) {
    return quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | a[3];
}

Address fromHost(quint32 a) {
    return {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
}

void putBe32(QByteArray& b, int offset, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    b[offset] = static_cast<char>(u >> 24);
    b[offset + 1] = static_cast<char>(u >> 16);
    b[offset + 2] = static_cast<char>(u >> 8);
    b[offset + 3] = static_cast<char>(u);
}

static int32_t be32(const QByteArray& b, int offset) {
    const auto* p = reinterpret_cast<const uint8_t*>(b.constData()) + offset;
    return static_cast<int32_t>((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                                (uint32_t(p[2]) << 8) | uint32_t(p[3]));
}

bool parseStats(const QString& text, StatusCounters* c, QString* error) {
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int eq = item.indexOf(QLatin1Char('='));
        const QString key = item.left(eq).trimmed().toLower();
        qint64 v = 0;
        // Accept both signed and unsigned spellings of a 32-bit field (-1 or 4294967295).
        if (eq <= 0 || !parseDecimal(item.mid(eq + 1).trimmed(), &v) || v < INT32_MIN ||
            v > UINT32_MAX) {
            *error = QStringLiteral("--stats: \"%1\" is not key=N with N a decimal number from "
                                    "-2147483648 to 4294967295")
                         .arg(item);
            return false;
        }
        const auto value = static_cast<int32_t>(static_cast<uint32_t>(v));
        struct Field {
            const char* key;
            int32_t StatusCounters::*member;
        };
        static const Field fields[] = {
            {"txok", &StatusCounters::txOk},     {"rxok", &StatusCounters::rxOk},
            {"txerr", &StatusCounters::txErr},   {"rxerr", &StatusCounters::rxErr},
            {"ptpok", &StatusCounters::ptpOk},   {"ptperr", &StatusCounters::ptpErr},
            {"clk", &StatusCounters::clockDiff}, {"meas", &StatusCounters::measured},
            {"audok", &StatusCounters::audioOk}, {"auderr", &StatusCounters::audioErr},
            {"avg", &StatusCounters::avg},       {"min", &StatusCounters::min},
            {"max", &StatusCounters::max},       {"add", &StatusCounters::additional},
            {"servo", &StatusCounters::servo},
        };
        bool known = false;
        for (const Field& f : fields) {
            if (key == QLatin1String(f.key)) {
                c->*f.member = value;
                known = true;
            }
        }
        if (key == QLatin1String("autoservo")) {
            if (v < 0 || v > 255) {
                *error = QStringLiteral("--stats: autoservo=%1 is out of range (0 to 255)").arg(v);
                return false;
            }
            c->autoServo = static_cast<uint8_t>(value);
            known = true;
        }
        if (!known) {
            *error = QStringLiteral("--stats: unknown key \"%1\" (see --help)").arg(key);
            return false;
        }
    }
    return true;
}

void ElementState::setName(const QString& text) {
    QByteArray n = text.toLatin1().left(16);
    while (n.size() < 16)
        n.append(' ');
    name = n;
}

QByteArray ElementState::feedback(const Address* reportedIp) const {
    QByteArray b(role == 2 ? 54 : 45, '\0');
    auto putAddress = [&b](int offset, const Address& a) {
        for (int i = 0; i < 4; ++i)
            b[offset + i] = static_cast<char>(a[i]);
    };
    putAddress(0, reportedIp ? *reportedIp : ip);
    putAddress(4, mask);
    putAddress(8, gw);
    putAddress(12, remote);
    b[16] = static_cast<char>(input);
    b[17] = static_cast<char>(type);
    b[18] = static_cast<char>(tx);
    for (int i = 0; i < 16; ++i)
        b[19 + i] = name.at(i);
    b[35] = static_cast<char>(role);
    putBe32(b, 36, serial);
    if (role == 2) {
        b[40] = static_cast<char>(att);
        b[41] = static_cast<char>(verMajor);
        b[42] = static_cast<char>(verMinor);
        b[43] = static_cast<char>(sfn);
        b[44] = static_cast<char>(buffer);
        b[45] = static_cast<char>(sdm);
        b[46] = static_cast<char>(sdl);
        b[47] = static_cast<char>(sdt);
        b[53] = static_cast<char>(llo);
    } else {
        b[40] = static_cast<char>(verMajor);
        b[41] = static_cast<char>(verMinor);
        b[42] = static_cast<char>(sfn);
        b[43] = static_cast<char>(buffer);
        b[44] = static_cast<char>(llo);
    }
    return b;
}

bool ElementState::applyConfiguration(const QByteArray& d) {
    if (d.size() != 37 && d.size() != 41)
        return false;
    auto u8 = [&d](int i) { return static_cast<uint8_t>(d.at(i)); };
    auto address = [&u8](int offset) {
        return Address{u8(offset), u8(offset + 1), u8(offset + 2), u8(offset + 3)};
    };
    ip = address(0);
    mask = address(4);
    gw = address(8);
    remote = address(12);
    input = u8(16);
    type = u8(17);
    tx = u8(18);
    sfn = u8(19);
    name = d.mid(20, 16);
    if (d.size() == 41) {
        buffer = u8(36);
        sdm = u8(37);
        sdl = u8(38);
        sdt = u8(39);
        llo = u8(40);
    } else {
        llo = u8(36);
    }
    return true;
}

QByteArray ElementState::statusReply() const {
    QByteArray b(61, '\0');
    const int32_t fields[] = {stats.txOk,    stats.rxOk,       stats.txErr,     stats.rxErr,
                              stats.ptpOk,   stats.ptpErr,     stats.clockDiff, stats.measured,
                              stats.audioOk, stats.audioErr,   stats.avg,       stats.min,
                              stats.max,     stats.additional, stats.servo};
    for (int i = 0; i < 15; ++i)
        putBe32(b, i * 4, fields[i]);
    b[60] = static_cast<char>(stats.autoServo);
    return b;
}

bool ElementState::applySet(const QByteArray& d) {
    if (d.size() != 6 || d.at(0) != 'S')
        return false;
    stats.additional = be32(d, 1);
    stats.autoServo = static_cast<uint8_t>(d.at(5));
    return true;
}

void ElementState::resetCounters() {
    stats.txOk = stats.rxOk = stats.txErr = stats.rxErr = 0;
    stats.ptpOk = stats.ptpErr = 0;
    stats.audioOk = stats.audioErr = 0;
}

QByteArray levelReply(int length, int32_t peak) {
    QByteArray b(qMax(0, length), '\0');
    const int samples = length / 3;
    auto put = [&b](int k, uint32_t v) {
        b[3 * k] = static_cast<char>(v >> 16);
        b[3 * k + 1] = static_cast<char>(v >> 8);
        b[3 * k + 2] = static_cast<char>(v);
    };
    const int32_t top = qBound(0, peak, 0x7FFFFF);
    for (int k = 0; k < samples; ++k) {
        switch (k % 4) {
        case 0:
            put(k, 0xFFFFFF);
            break; // -1
        case 1:
            put(k, 0x800000);
            break; // most negative
        case 2:
            put(k, uint32_t(top / 8 * (k % 7)));
            break; // below the peak
        default:
            put(k, 0);
            break;
        }
    }
    if (samples > 0)
        put(samples / 2, uint32_t(top));
    return b;
}

} // namespace emulator
