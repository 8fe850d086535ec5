#pragma once
// An element's answer to an uploaded configuration, compared field by field with what was sent:
// what is stored, under which keys and in which order, and what the user is told.
#include "db/elementstore.h"
#include "protocol/wire.h"

#include <QStringList>

namespace protocol {

struct AnswerCheck {
    db::Element stored;     // the values confirmed and taken from the element
    db::Fields fields;      // the keys written, in their order
    QStringList mismatches; // one message per field that differs, in order
    bool failed = false;    // a field differs, or the element says its role is unknown
};

AnswerCheck checkAnswer(const Feedback& answer, const db::Element& sent,
                        const db::ElementLimits& limits);

// The answer carries every compared field as sent: it answers that configuration.
bool echoes(const Feedback& answer, const db::Element& sent);

} // namespace protocol
