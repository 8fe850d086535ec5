#pragma once
// A test whose real component (root, a namespace, a private mount) is missing may skip on a
// developer's machine, but fails under CI=true or CI=1.
#include <QByteArray>

namespace testsupport {

inline bool rigRequiredByCi() {
    return qgetenv("CI").toLower() == "true" || qgetenv("CI") == "1";
}

} // namespace testsupport

// Skips, or fails under CI, when why (the missing component) is not empty.
#define KN_REQUIRE(why)                                                                            \
    if (const QString missing = (why); !missing.isEmpty()) {                                       \
        QVERIFY2(!::testsupport::rigRequiredByCi(), qPrintable(missing));                          \
        QSKIP(qPrintable(missing));                                                                \
    }
