#pragma once
// The settings and counters of one emulated element, and the datagrams it builds from them.
// Written on its own, from the byte layouts, so that the emulator checks the station's
// encoding instead of sharing its mistakes.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace emulator {

using Address = std::array<uint8_t, 4>;

// Plain decimal digits with an optional minus sign: "010" is ten, "0x10" is refused.
bool parseDecimal(const QString& text, qint64* out);
bool parseAddress(const QString& text, Address* out);
QString addressText(const Address& a);
quint32 toHost(const Address& a); // the address as a number, first octet highest
Address fromHost(quint32 a);

struct StatusCounters {
    int32_t txOk = 0, rxOk = 0, txErr = 0, rxErr = 0;
    int32_t ptpOk = 0, ptpErr = 0, clockDiff = 0, measured = 0;
    int32_t audioOk = 0, audioErr = 0;
    int32_t avg = 0, min = 0, max = 0;
    int32_t additional = 0, servo = 0;
    uint8_t autoServo = 0;
};

// Parses "txok=10,rxok=20,..." into counters; unknown keys or bad numbers fail with a message.
bool parseStats(const QString& text, StatusCounters* counters, QString* error);

struct ElementState {
    Address ip{192, 0, 2, 10};
    Address mask{255, 255, 255, 0};
    Address gw{0, 0, 0, 0};
    Address remote{0, 0, 0, 0};
    uint8_t input = 0, type = 0, tx = 0;
    QByteArray name = QByteArray("EMULATED ELEMENT"); // always 16 bytes
    uint8_t role = 1;
    int32_t serial = 1;
    uint8_t verMajor = 2, verMinor = 1;
    uint8_t sfn = 0, buffer = 10, att = 0;
    uint8_t sdm = 0, sdl = 10, sdt = 10;
    uint8_t llo = 0;
    StatusCounters stats;

    void setName(const QString& text); // blank-padded or cut to 16 bytes, kept as given

    // 45 bytes, or 54 for role 2. reportedIp replaces the IP bytes when set.
    QByteArray feedback(const Address* reportedIp = nullptr) const;

    // Applies a 37- or 41-byte configuration datagram; other lengths change nothing.
    bool applyConfiguration(const QByteArray& datagram);

    QByteArray statusReply() const; // 61 bytes; the emulator may cut or pad it
    // 'S', BE32 additional delay, servo flag; false if not that datagram.
    bool applySet(const QByteArray& datagram);
    void resetCounters();
};

// L bytes of 24-bit big-endian samples; the largest positive sample is peak (0..0x7FFFFF).
// Negative samples are mixed in so that a reader treating them as unsigned gets it wrong.
QByteArray levelReply(int length, int32_t peak);

void putBe32(QByteArray& b, int offset, int32_t value);

} // namespace emulator
