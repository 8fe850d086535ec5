#pragma once
// Per-user settings: application "Talvoren", section "Kestrune", values as text.
#include <QString>

namespace platform {

// The three settings of the station.
inline const QString kNmsIpAddressSetting = QStringLiteral("NMS IP Address");
inline const QString kNmsIpAddressDefault = QStringLiteral("0.0.0.0");
inline const QString kEulaSetting = QStringLiteral("EULA1");
inline const QString kAutoClearCountersSetting = QStringLiteral("AutoClearCounters");

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString& key, const QString& defaultValue) const = 0;
    virtual bool save(const QString& key, const QString& value) = 0; // synced at once
};

// The real store: an INI file, section "Kestrune", every value text, written through at once.
class IniSettingsStore : public SettingsStore {
public:
    IniSettingsStore(); // <user config dir>/Talvoren/Talvoren.ini
    explicit IniSettingsStore(QString filePath);
    QString get(const QString& key, const QString& defaultValue) const override;
    bool save(const QString& key, const QString& value) override;
    QString filePath() const { return m_filePath; }
    static QString defaultFilePath();

private:
    QString m_filePath;
};

SettingsStore& settings();
void setSettings(SettingsStore* store); // nullptr puts the real one back

} // namespace platform
