#pragma once
// Settings held in memory; stands in while it lives.
#include "fakes/installed.h"
#include "platform/settings.h"

#include <QMap>

namespace platform {

class MemorySettings : public Installed<SettingsStore> {
public:
    QString get(const QString& key, const QString& defaultValue) const override {
        return values.value(key, defaultValue);
    }
    bool save(const QString& key, const QString& value) override {
        ++saves;
        values.insert(key, value);
        return true;
    }

    QMap<QString, QString> values;
    int saves = 0;
};

} // namespace platform
