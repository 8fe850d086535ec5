#pragma once
// What the upload and the answer to it read from the element editor, and the element's own
// values the answer puts back into it. The main window implements it over its controls.
#include "protocol/wire.h"

namespace protocol {

class EditorAccess {
public:
    virtual ~EditorAccess() = default;

    // `lblElementMAC`: the selected element's MAC text, "-" when none.
    virtual QString selectedMac() const = 0;
    // `lblElementType`: "ENCODER", "DECODER" or "UNKNOWN".
    virtual QString roleText() const = 0;
    // The values typed and chosen; a list without a selection gives -1.
    virtual ConfigurationFields fields() const = 0;

    // The answer's values taken from the element; each put is limited to its control's range
    // and returns the value the control took.
    virtual void setRole(int role) = 0;
    virtual void setSerialAndVersion(const QString& serial, const QString& version) = 0;
    virtual int putAttenuation(int value) = 0;
    virtual int putBuffer(int value) = 0;
    virtual void putSilenceDetector(int mode, int* level, int* time) = 0;
};

} // namespace protocol
