#include "platform/settings.h"

#include "platform/service.h"

#include <QSettings>
#include <QStandardPaths>

namespace platform {
namespace {

const QString kSection = QStringLiteral("Kestrune");

} // namespace

IniSettingsStore::IniSettingsStore() : m_filePath(defaultFilePath()) {}

IniSettingsStore::IniSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString IniSettingsStore::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Talvoren/Talvoren.ini");
}

// A fresh QSettings per call: its status is sticky, and a store that lives for the whole
// run must see each save's own outcome and any change another instance made.
QString IniSettingsStore::get(const QString& key, const QString& defaultValue) const {
    QSettings store(m_filePath, QSettings::IniFormat);
    store.beginGroup(kSection);
    const QVariant value = store.value(key);
    if (!value.isValid())
        return defaultValue;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

bool IniSettingsStore::save(const QString& key, const QString& value) {
    QSettings store(m_filePath, QSettings::IniFormat);
    if (store.status() != QSettings::NoError && store.status() != QSettings::FormatError)
        return false;
    store.beginGroup(kSection);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

SettingsStore& settings() {
    return service<SettingsStore, IniSettingsStore>();
}

void setSettings(SettingsStore* store) {
    installService(store);
}

} // namespace platform
