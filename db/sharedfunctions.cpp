#include "db/sharedfunctions.h"

#include "platform/ipv4address.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>

namespace db {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The piece between optional blanks; empty when there is nothing else.
QStringView stripBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

bool Validate_IP(const QString& text) {
    return platform::Ipv4Address::parse(text).has_value();
}

QStringList Split_IP(const QString& text) {
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('.'));
}

char16_t upperLatin1(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return c - 0x20;
    // à..þ except ÷; ß and ÿ have no upper case within one byte.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 0x20;
    return c;
}

QString upperLatin1(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        c = QChar(upperLatin1(c.unicode()));
    return out;
}

QString Format_Name(const QString& text) {
    // Names travel as one byte per character: anything beyond Latin-1 becomes '?'.
    QString latin;
    latin.reserve(16);
    const QList<uint> codes = text.toUcs4();
    for (uint code : codes) {
        if (latin.size() == 16)
            break;
        latin.append(code <= 0xFF ? QChar(char16_t(code)) : QLatin1Char('?'));
    }
    while (latin.size() < 16)
        latin.append(QLatin1Char(' '));
    return upperLatin1(latin);
}

double Log10(double value) {
    return std::log(value) / std::log(10.0);
}

std::optional<qint64> parseDecimal(const QString& text, bool allowNegative) {
    QStringView s = stripBlanks(text);
    bool negative = false;
    if (!s.isEmpty() && s[0] == QLatin1Char('-')) {
        if (!allowNegative)
            return std::nullopt;
        negative = true;
        s = s.mid(1);
    }
    if (s.isEmpty())
        return std::nullopt;
    // Accumulate towards the negative side so that the minimum fits too.
    qint64 value = 0;
    const qint64 min = std::numeric_limits<qint64>::min();
    for (QChar c : s) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        const int d = c.unicode() - '0';
        if (value < (min + d) / 10)
            return std::nullopt;
        value = value * 10 - d;
    }
    if (negative)
        return value;
    if (value == min)
        return std::nullopt;
    return -value;
}

qint32 parseLong(const QString& text, qint32 defaultValue) {
    const std::optional<qint64> v = parseDecimal(text, true);
    if (!v || *v < std::numeric_limits<qint32>::min() || *v > std::numeric_limits<qint32>::max())
        return defaultValue;
    return qint32(*v);
}

QString formatShortest(double value, int decimals, QChar decimalSeparator) {
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (decimals < 0)
        decimals = 0;
    if (decimals > 17)
        decimals = 17;
    // to_chars with a precision rounds the double's exact binary value, so a tie exists
    // only when the double itself is exactly halfway (0.125, 2.5); it then goes to even.
    // 2.675 is stored as 2.67499999... and so gives 2.67. No locale is involved.
    char buf[400];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    QString s = QString::fromLatin1(buf, res.ptr - buf);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    s.replace(QLatin1Char('.'), decimalSeparator);
    return s;
}

QChar userDecimalSeparator() {
    const QString p = QLocale::system().decimalPoint();
    return p.isEmpty() ? QLatin1Char('.') : p.at(0);
}

} // namespace db
