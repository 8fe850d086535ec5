#pragma once
#include <QString>

namespace platform {

// The directory of the running program. Tests redirect it.
QString programDirectory();
void setProgramDirectory(const QString& dir); // empty: the real directory again

// Where nms.ini lives. A program run from its build folder or a copied folder keeps it beside
// itself; an installed program (its folder is the bin folder of an installation, which holds
// the desktop entry at the installed place) keeps it in the user's data folder,
// $XDG_DATA_HOME/Talvoren/Kestrune, since a system folder is not the user's to write. A
// redirected program directory wins.
QString databaseDirectory(); // makes the user's data folder when it is the one
QString databaseDirectoryFor(const QString& programDir); // the rule alone, no side effects
bool isInstalledProgram(const QString& programDir);

} // namespace platform
