#pragma once
// Element records: one section of nms.ini per element, named by its MAC.
#include <QString>

namespace db {

// Shown when a record cannot be written (a full disk, an unwritable directory).
inline const QString kWriteFailedText =
    QStringLiteral("Unable to write the local database.\rCannot save this element info.");

QString Encode_MAC(const QString& srcMAC);      // "00:1a:..." (17) -> "001A..." (12), else ""
QString Decode_MAC(const QString& sectionName); // 12 -> 17 with ":", else ""

// Program directory joined with "nms.ini".
QString NmsIniPath();

} // namespace db
