#include "platform/programdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef KN_INSTALLED_MARKER
#define KN_INSTALLED_MARKER "../share/applications/com.talvoren.KestruneNMS.desktop"
#endif

namespace platform {
namespace {
QString g_override;

QString redirected() {
    if (!g_override.isEmpty())
        return g_override;
    // Lets a test or the demo that starts the program point it at a directory of its own.
    return qEnvironmentVariable("KESTRUNE_PROGRAM_DIR");
}
} // namespace

QString programDirectory() {
    const QString dir = redirected();
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

void setProgramDirectory(const QString& dir) {
    g_override = dir;
}

bool isInstalledProgram(const QString& programDir) {
    return QFileInfo(QDir(programDir).filePath(QStringLiteral(KN_INSTALLED_MARKER))).isFile();
}

QString databaseDirectoryFor(const QString& programDir) {
    if (!isInstalledProgram(programDir))
        return programDir;
    // GenericDataLocation follows $XDG_DATA_HOME, else ~/.local/share; root's home for root.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Talvoren/Kestrune");
}

QString databaseDirectory() {
    const QString dir = redirected();
    if (!dir.isEmpty())
        return dir;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString chosen = databaseDirectoryFor(programDir);
    // The store writes nms.ini into an existing folder; a new user has none yet.
    if (chosen != programDir)
        QDir().mkpath(chosen);
    return chosen;
}

} // namespace platform
