// libFuzzer entry: every decoder of element datagrams (feedback, level reply, status reply and
// the dispatch by length) takes any bytes, never reads past the end, and keeps the layouts.
#include "db/elementstore.h"
#include "diag/levelreply.h"
#include "diag/statusreply.h"
#include "fuzz/invariant.h"
#include "protocol/wire.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QString dotted(const QByteArray& b, int i) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(at(b, i))
        .arg(at(b, i + 1))
        .arg(at(b, i + 2))
        .arg(at(b, i + 3));
}

qint32 be32(const QByteArray& b, int i) {
    return qint32((quint32(at(b, i)) << 24) | (quint32(at(b, i + 1)) << 16) |
                  (quint32(at(b, i + 2)) << 8) | quint32(at(b, i + 3)));
}

void checkDispatch(int n) {
    using protocol::Datagram;
    const Datagram d = protocol::datagramKind(n);
    const Datagram expected = n > 1200            ? Datagram::LevelReply
                              : n >= 55 || n < 40 ? Datagram::Ignored
                                                  : Datagram::Feedback;
    require(d == expected, "dispatch by length");
}

void checkFeedback(const QByteArray& b) {
    const std::optional<protocol::Feedback> f = protocol::decodeFeedback(b);
    require(f.has_value() == (b.size() >= 40), "a feedback needs its 40-byte common block");
    if (!f)
        return;
    require(f->ip.toString() == dotted(b, 0) && f->mask.toString() == dotted(b, 4) &&
                f->gw.toString() == dotted(b, 8) && f->remote.toString() == dotted(b, 12),
            "addresses of the common block");
    require(f->input == at(b, 16) && f->type == at(b, 17) && f->tx == at(b, 18), "bytes 16-18");
    QByteArray name = b.mid(19, 16);
    for (char& c : name)
        c = quint8(c) < 0x20 || c == 0x7F ? ' ' : c; // control bytes stored as blanks
    require(f->name == QString::fromLatin1(name), "name is bytes 19-34, control bytes blank");
    require(f->role == at(b, 35) && f->serial == be32(b, 36), "role and serial number");
    if (b.size() == 54 && f->role == 2)
        require(f->attenuation == at(b, 40) && f->verMajor == at(b, 41) &&
                    f->silDetTime == at(b, 47) && f->lowLatency == at(b, 53),
                "decoder tail");
    if (b.size() == 45 && f->role != 2)
        require(f->verMajor == at(b, 40) && f->lowLatency == at(b, 44), "encoder tail");
    // Fields a short datagram does not carry take their defaults, never earlier values.
    if (b.size() < 46)
        require(f->silDetMode == 0 && f->silDetLevel == 37 && f->silDetTime == 43,
                "silence detector defaults");
    if (f->role == 2 && b.size() < 54)
        require(f->lowLatency == 0, "low latency default");
    if (f->role == 2 && b.size() == 40)
        require(f->attenuation == 255 && f->buffer == 1 && f->verMajor == 2 && f->verMinor == 0,
                "decoder tail defaults");
    if (f->role != 2 && b.size() <= 41)
        require(f->attenuation == 255 && f->buffer == 0 && f->verMajor == 2 && f->verMinor == 0 &&
                    f->sfn == 0 && f->lowLatency == 0,
                "tail defaults");
    const std::optional<QString> problem = protocol::checkFeedback(*f);
    const bool sound = f->input < 2 && f->type < 2 && f->tx < 2 && f->role < 3 && f->serial >= 1;
    require(problem.has_value() != sound, "checks pass exactly for sound fields");
    require(!problem || problem->endsWith(QStringLiteral("\rFeedback is corrupted.")),
            "check message");
    const db::Element element = protocol::reportedElement(*f);
    const db::Fields record = db::discoveryFields(element);
    require(!record.isEmpty() && record.first() == db::Field::Name &&
                record.last() == db::Field::LowLatency && element.name.size() == 16,
            "record from name to llo");
    require(record.contains(db::Field::Attenuation) == (f->role == 2), "att only for a decoder");
}

void checkLevel(const QByteArray& b) {
    const diag::LevelReading r = diag::parseLevelReply(b, QLatin1Char('.'));
    require(r.peak >= 0 && r.peak <= 0x7FFFFF, "peak is a positive 24-bit sample");
    require(r.widthTwips >= 0 && r.widthTwips <= 2100, "bar width");
    require(r.caption.endsWith(QStringLiteral("dBFS")), "caption");
}

void checkStatus(const QByteArray& b, std::optional<qint64> sfn) {
    const diag::StatsParseResult s = diag::ParseStatsReply(b, sfn, true, QLatin1Char(','));
    require(s.dropped == (b.size() > 61), "statistics take at most 61 bytes");
    require(!s.dropped || s.updates.isEmpty(), "a dropped reply changes no label");
    if (!s.dropped && !s.error && b.size() >= 8)
        require(s.values.txFramesOk == be32(b, 0) && s.values.rxFramesOk == be32(b, 4),
                "first counters");
    const diag::DelayParseResult d = diag::ParseDelayReply(b, sfn, true);
    require(d.dropped == (b.size() != 61), "the delay reply is exactly 61 bytes");
    require(!d.dropped || d.updates.isEmpty(), "a dropped delay reply changes nothing");
    if (d.scrollPosition)
        require(*d.scrollPosition >= 0 && *d.scrollPosition <= diag::kAdditionalDelayMax,
                "scroll position in range");
    if (b.size() >= 4)
        require(diag::GetLongFromReply(b.left(4)) == be32(b, 0), "big-endian field");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Deep copy: the parsers may keep nothing of the buffer, and ASan sees its real end.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkDispatch(int(size));
    checkFeedback(bytes);
    checkLevel(bytes);
    checkStatus(bytes, size > 0 ? std::optional<qint64>(data[0] & 3) : std::nullopt);
    return 0;
}
