#pragma once
// An IPv4 address, the one form every part of the station reads, writes and sends to.
#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <optional>

namespace platform {

class Ipv4Address {
public:
    constexpr Ipv4Address() = default; // 0.0.0.0
    constexpr explicit Ipv4Address(quint32 hostOrder) : m_value(hostOrder) {}

    // Four pieces joined by ".", each one to three ASCII digits (0 to 255) with optional blanks
    // or tabs around them. Anything else is no address: names, "127.1", hexadecimal, signs.
    static std::optional<Ipv4Address> parse(QStringView text);
    // The four bytes at offset, first octet first, as datagrams carry them; 0.0.0.0 when the
    // bytes are not all there.
    static Ipv4Address fromBytes(const QByteArray& bytes, int offset = 0);

    constexpr quint32 toHostOrder() const { return m_value; }
    QString toString() const;   // "192.168.1.10": plain decimal, no blanks
    QByteArray toBytes() const; // four bytes, first octet first
    constexpr bool isAny() const { return m_value == 0; }
    constexpr bool isBroadcast() const { return m_value == 0xFFFFFFFFu; }

    friend constexpr bool operator==(Ipv4Address a, Ipv4Address b) = default;

private:
    quint32 m_value = 0;
};

inline size_t qHash(Ipv4Address a, size_t seed = 0) {
    return ::qHash(a.toHostOrder(), seed);
}

} // namespace platform
