#pragma once
// Settings held in memory for unit tests; stands in while it lives.
#include "fakes/installed.h"
#include "platform/settings.h"

#include <QMap>

namespace platform {

class MemorySettings : public Installed<SettingsStore> {
public:
    QString get(const QString& key, const QString& defaultValue) const override {
        ++reads;
        return values.value(key, defaultValue);
    }
    bool save(const QString& key, const QString& value) override {
        ++saves;
        if (failSaves)
            return false;
        values.insert(key, value);
        return true;
    }

    QMap<QString, QString> values;
    bool failSaves = false; // a store that cannot be written
    mutable int reads = 0;
    int saves = 0;
};

} // namespace platform
