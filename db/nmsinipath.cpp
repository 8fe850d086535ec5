// Kept apart from the MAC conversions so that code using only those does not need the
// platform's program directory.
#include "db/records.h"

#include "platform/programdir.h"

namespace db {

QString NmsIniPath() {
    return platform::databaseDirectory() + QStringLiteral("/nms.ini");
}

} // namespace db
