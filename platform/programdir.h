#pragma once
#include <QString>

namespace platform {

// The directory of the running program (where nms.ini lives). Tests redirect it.
QString programDirectory();
void setProgramDirectory(const QString& dir); // empty: the real directory again

} // namespace platform
