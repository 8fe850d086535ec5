#pragma once
// Element records: one section of nms.ini per element, named by its MAC.
#include <QString>

namespace db {

namespace keys {
inline const QString name = QStringLiteral("name");
inline const QString ip = QStringLiteral("ip");
inline const QString mask = QStringLiteral("mask");
inline const QString gw = QStringLiteral("gw");
inline const QString input = QStringLiteral("input");
inline const QString type = QStringLiteral("type");
inline const QString tx = QStringLiteral("tx");
inline const QString multi = QStringLiteral("multi");
inline const QString remote = QStringLiteral("remote");
inline const QString role = QStringLiteral("role");
inline const QString sn = QStringLiteral("sn");
inline const QString ver = QStringLiteral("ver");
inline const QString sfn = QStringLiteral("sfn");
inline const QString buf = QStringLiteral("buf");
inline const QString att = QStringLiteral("att");
inline const QString sdm = QStringLiteral("sdm");
inline const QString sdl = QStringLiteral("sdl");
inline const QString sdt = QStringLiteral("sdt");
inline const QString llo = QStringLiteral("llo");
inline const QString bound = QStringLiteral("bound");
inline const QString dly = QStringLiteral("dly");
inline const QString srv = QStringLiteral("srv");
} // namespace keys

namespace defaults {
inline const QString multi = QStringLiteral("239.255.255.239");
inline const QString remote = QStringLiteral("192.168.1.91");
inline const QString ver = QStringLiteral("2.00");
} // namespace defaults

// Shown when a record cannot be written (a full disk, an unwritable directory).
inline const QString kWriteFailedText =
    QStringLiteral("Unable to write the local database.\rCannot save this element info.");

QString Encode_MAC(const QString& srcMAC);     // "00:1a:..." (17) -> "001A..." (12), else ""
QString Decode_MAC(const QString& sectionName); // 12 -> 17 with ":", else ""

// Program directory joined with "nms.ini".
QString NmsIniPath();

} // namespace db
