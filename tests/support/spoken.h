#pragma once
// What a screen reader speaks for a label: the caption labels that name it, then its own
// accessible name (for a value label, the value it shows).
#include <QAccessible>
#include <QLabel>

namespace testsupport {

inline QString spoken(QWidget* label) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
    QString caption;
    for (const auto& [other, relation] : iface->relations(QAccessible::Label))
        if (qobject_cast<QLabel*>(other->object()))
            caption += other->text(QAccessible::Name) + QLatin1Char(' ');
    return caption + iface->text(QAccessible::Name);
}

} // namespace testsupport
