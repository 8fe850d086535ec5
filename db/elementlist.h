#pragma once
// The element list as the tree shows it, built from nms.ini without any window.
#include <QList>
#include <QString>
#include <QStringList>

namespace db {

// Shown when nms.ini does not exist.
inline const QString kMissingDatabaseText = QStringLiteral(
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
// Shown when nms.ini holds no section.
inline const QString kEmptyDatabaseText = QStringLiteral(
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");

struct ElementNode {
    QString key;  // Decode_MAC of the section name
    QString text; // name + " [" + MAC + "]"
    bool encoder; // role is the number 1
};

struct ElementList {
    QStringList hidden;       // every section name, in file order
    QList<ElementNode> nodes; // one per usable section, in file order
    QStringList encoders;     // texts of the encoder nodes ("<None>" is the caller's)
    enum class Empty { No, MissingFile, NoSections } empty = Empty::No;
};

ElementList BuildElementList(const QString& nmsIniPath);

} // namespace db
