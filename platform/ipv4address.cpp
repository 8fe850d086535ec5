#include "platform/ipv4address.h"

namespace platform {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// One piece: blanks, one to three ASCII digits, blanks; -1 when it is anything else.
int piece(QStringView text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (e == b || e - b > 3)
        return -1;
    int value = 0;
    for (qsizetype i = b; i < e; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value <= 255 ? value : -1;
}

} // namespace

std::optional<Ipv4Address> Ipv4Address::parse(QStringView text) {
    quint32 value = 0;
    int pieces = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype dot = text.indexOf(QLatin1Char('.'), start);
        const int v = piece(text.mid(start, dot < 0 ? -1 : dot - start));
        if (v < 0 || ++pieces > 4)
            return std::nullopt;
        value = value << 8 | quint32(v);
        if (dot < 0)
            break;
        start = dot + 1;
    }
    if (pieces != 4)
        return std::nullopt;
    return Ipv4Address(value);
}

Ipv4Address Ipv4Address::fromBytes(const QByteArray& bytes, int offset) {
    if (offset < 0 || offset + 4 > bytes.size())
        return Ipv4Address();
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | quint8(bytes[offset + i]);
    return Ipv4Address(value);
}

QString Ipv4Address::toString() const {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(m_value >> 24)
        .arg((m_value >> 16) & 0xFF)
        .arg((m_value >> 8) & 0xFF)
        .arg(m_value & 0xFF);
}

QByteArray Ipv4Address::toBytes() const {
    QByteArray out(4, Qt::Uninitialized);
    for (int i = 0; i < 4; ++i)
        out[i] = char(m_value >> (24 - 8 * i));
    return out;
}

} // namespace platform
