#include "platform/programdir.h"

#include <QCoreApplication>

namespace platform {
namespace {
QString g_override;
}

QString programDirectory() {
    if (!g_override.isEmpty())
        return g_override;
    // Lets a test that starts the program point it at a directory of its own.
    const QString fromEnvironment = qEnvironmentVariable("KESTRUNE_PROGRAM_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath();
}

void setProgramDirectory(const QString& dir) {
    g_override = dir;
}

} // namespace platform
