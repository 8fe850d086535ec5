#pragma once
// Per-user settings: application "Talvoren", section "Kestrune", values as text.
#include <QString>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString& key, const QString& defaultValue) const = 0;
    virtual bool save(const QString& key, const QString& value) = 0; // synced at once
};

SettingsStore& settings();
void setSettings(SettingsStore* store); // nullptr puts the real one back

} // namespace platform
