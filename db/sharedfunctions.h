#pragma once
// Address, name and number functions shared by the editor, protocol and diagnostics.
#include <QString>
#include <QStringList>
#include <optional>

namespace db {

bool Validate_IP(const QString& text); // an address by the rules of platform::Ipv4Address
QStringList Split_IP(const QString& text);
QString Format_Name(const QString& text); // exactly 16 characters, upper case within Latin-1
double Log10(double value);

// The one number parser for stored and typed values: ASCII decimal digits, optional
// blanks around, an optional leading "-" when allowNegative. Nothing else.
std::optional<qint64> parseDecimal(const QString& text, bool allowNegative = true);
// parseDecimal limited to 32 bits; defaultValue when it does not parse or does not fit.
qint32 parseLong(const QString& text, qint32 defaultValue);

// Shortest decimal form of value rounded to `decimals` places, ties to even, never "-0".
QString formatShortest(double value, int decimals, QChar decimalSeparator = QLatin1Char('.'));
// The user's decimal separator (the system locale's).
QChar userDecimalSeparator();

// Upper case that keeps one byte per character: a-z and the Latin-1 small letters
// U+00E0..U+00FE except U+00F7; everything else (also U+00DF, U+00FF) unchanged.
char16_t upperLatin1(char16_t c);
QString upperLatin1(const QString& text);

} // namespace db
