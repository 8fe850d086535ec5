#pragma once
// Under CI=true a test whose real component (root, a namespace, a private mount) is missing
// fails instead of skipping; a developer's machine without it may skip.
#include <QByteArray>
#include <QtGlobal>

namespace testsupport {

inline bool rigRequiredByCi() {
    return qgetenv("CI").toLower() == "true" || qgetenv("CI") == "1";
}

} // namespace testsupport
