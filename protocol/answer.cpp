#include "protocol/answer.h"

namespace protocol {

namespace {

struct Compared {
    db::Field field;
    const char* label;
    bool same;
};

QList<Compared> compare(const Feedback& a, const db::Element& sent) {
    const auto same = [](Ipv4Address received, const db::AddressText& typed) {
        return typed.address() == received;
    };
    return {
        {db::Field::Name, "Element Name",
         a.name.trimmed().toUpper() == sent.name.trimmed().toUpper()},
        {db::Field::Ip, "Element IP", same(a.ip, sent.ip)},
        {db::Field::Mask, "Element Mask", same(a.mask, sent.mask)},
        {db::Field::Gw, "Element GW", same(a.gw, sent.gw)},
        {db::Field::Input, "Audio Input", a.input == sent.input},
        {db::Field::Type, "Audio Type", a.type == sent.type},
        {db::Field::Tx, "Audio TX", a.tx == sent.tx},
    };
}

QString mismatch(const char* label) {
    return QStringLiteral("An error occured while saving '%1':\rFeedback is corrupted.")
        .arg(QLatin1String(label));
}

} // namespace

bool echoes(const Feedback& answer, const db::Element& sent) {
    for (const Compared& c : compare(answer, sent))
        if (!c.same)
            return false;
    return sent.remoteAddress(sent.tx).address() == answer.remote;
}

AnswerCheck checkAnswer(const Feedback& answer, const db::Element& sent,
                        const db::ElementLimits& limits) {
    const db::Element reported = db::limitedTo(reportedElement(answer), limits);
    AnswerCheck check;
    db::Element& stored = check.stored;
    stored = sent;
    for (const Compared& c : compare(answer, sent)) {
        if (c.same) {
            check.fields << c.field;
        } else {
            check.mismatches << mismatch(c.label);
            check.failed = true;
        }
    }

    stored.role = reported.role;
    check.fields << db::Field::Role;
    if (reported.role == db::Role::Unknown)
        check.failed = true;
    const bool decoder = reported.role == db::Role::Decoder;

    // Which key the group is stored under follows the element's own answer.
    const db::AddressText& remote = sent.remoteAddress(sent.tx);
    stored.multi = stored.remote = remote;
    if (remote.address() == answer.remote) {
        check.fields << (answer.tx == 0 && !decoder ? db::Field::Remote : db::Field::Multi);
    } else {
        check.mismatches << mismatch(answer.tx == 0 ? "Remote IP" : "Multicast IP");
        check.failed = true;
    }

    stored.serial = reported.serial;
    stored.version = reported.version;
    stored.attenuation = reported.attenuation;
    stored.buffer = reported.buffer;
    stored.sfn = reported.sfn;
    stored.silenceMode = reported.silenceMode;
    stored.silenceLevel = reported.silenceLevel;
    stored.silenceTime = reported.silenceTime;
    stored.lowLatency = reported.lowLatency;
    check.fields << db::Field::Serial << db::Field::Version;
    if (decoder)
        check.fields << db::Field::Attenuation;
    check.fields << db::Field::Buffer << db::Field::Sfn;
    if (decoder)
        check.fields << db::Field::SilenceMode << db::Field::SilenceLevel << db::Field::SilenceTime;
    check.fields << db::Field::LowLatency;
    return check;
}

} // namespace protocol
