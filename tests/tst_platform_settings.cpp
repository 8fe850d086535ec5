// The per-user settings store: a real INI file under a temporary config directory.
#include "platform/fakes/memorysettings.h"
#include "platform/settings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

class TestSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;

    static QByteArray contents(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init() {
        QFile::remove(IniSettingsStore::defaultFilePath());
        setSettings(nullptr);
    }

    void defaultFileFollowsTheConfigDirectory() {
        QCOMPARE(IniSettingsStore::defaultFilePath(),
                 m_config.path() + QStringLiteral("/Talvoren/Talvoren.ini"));
        QCOMPARE(IniSettingsStore().filePath(), IniSettingsStore::defaultFilePath());
    }

    void absentKeyGivesTheDefault_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::newRow("address") << "NMS IP Address"
                                 << "0.0.0.0";
        QTest::newRow("notice") << "EULA1"
                                << "0";
        QTest::newRow("counters") << "AutoClearCounters"
                                  << "0";
        QTest::newRow("empty default") << "EULA1"
                                       << "";
    }
    void absentKeyGivesTheDefault() {
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        IniSettingsStore store;
        QCOMPARE(store.get(key, defaultValue), defaultValue);
        QVERIFY(!QFile::exists(store.filePath())); // reading writes nothing
    }

    void roundTrip_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("address") << "NMS IP Address"
                                 << "192.168.1.10";
        QTest::newRow("notice") << "EULA1"
                                << "1";
        QTest::newRow("counters") << "AutoClearCounters"
                                  << "0";
        QTest::newRow("comma") << "NMS IP Address"
                               << "a, b";
        QTest::newRow("empty") << "EULA1"
                               << "";
        QTest::newRow("blanks") << "EULA1"
                                << "  1  ";
        QTest::newRow("quote and semicolon") << "EULA1"
                                             << "x\";y";
    }
    void roundTrip() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        IniSettingsStore writer;
        QVERIFY(writer.save(key, value));
        // A second store, as a later run would have, reads it from the file.
        IniSettingsStore reader;
        QCOMPARE(reader.get(key, QStringLiteral("<default>")), value);
        QCOMPARE(writer.get(key, QStringLiteral("<default>")), value);
    }

    void fileHoldsTheSectionAndValuesAsText() {
        IniSettingsStore store;
        QVERIFY(store.save(QStringLiteral("NMS IP Address"), QStringLiteral("10.0.0.7")));
        // Synced at once: the file is complete before save returns.
        QCOMPARE(contents(store.filePath()), QByteArray("[Kestrune]\n"
                                                        "NMS%20IP%20Address=10.0.0.7\n"));
        QVERIFY(store.save(QStringLiteral("EULA1"), QStringLiteral("1")));
        QCOMPARE(contents(store.filePath()), QByteArray("[Kestrune]\n"
                                                        "EULA1=1\n"
                                                        "NMS%20IP%20Address=10.0.0.7\n"));
    }

    void laterSaveReplacesTheValue() {
        IniSettingsStore store;
        QVERIFY(store.save(QStringLiteral("AutoClearCounters"), QStringLiteral("1")));
        QVERIFY(store.save(QStringLiteral("AutoClearCounters"), QStringLiteral("0")));
        QCOMPARE(IniSettingsStore().get(QStringLiteral("AutoClearCounters"), QString()),
                 QStringLiteral("0"));
    }

    void explicitFilePath() {
        const QString path = m_config.filePath(QStringLiteral("elsewhere/own.ini"));
        IniSettingsStore store(path);
        QVERIFY(store.save(QStringLiteral("EULA1"), QStringLiteral("1")));
        QCOMPARE(contents(path), QByteArray("[Kestrune]\nEULA1=1\n"));
        QVERIFY(!QFile::exists(IniSettingsStore::defaultFilePath()));
    }

    void saveReportsAFileThatCannotBeWritten() {
        // The file's directory is a plain file: nothing can be written there.
        const QString blocker = m_config.filePath(QStringLiteral("blocker"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        IniSettingsStore store(blocker + QStringLiteral("/Talvoren.ini"));
        QVERIFY(!store.save(QStringLiteral("EULA1"), QStringLiteral("1")));
        QCOMPARE(store.get(QStringLiteral("EULA1"), QStringLiteral("0")), QStringLiteral("0"));
    }

    void accessorDefaultsToTheRealStore() {
        QVERIFY(dynamic_cast<IniSettingsStore*>(&settings()) != nullptr);
        QVERIFY(settings().save(QStringLiteral("EULA1"), QStringLiteral("1")));
        QCOMPARE(contents(IniSettingsStore::defaultFilePath()),
                 QByteArray("[Kestrune]\nEULA1=1\n"));
    }

    void memoryStoreInstallsItself() {
        {
            MemorySettings memory;
            QCOMPARE(&settings(), static_cast<SettingsStore*>(&memory));
            QVERIFY(settings().save(QStringLiteral("EULA1"), QStringLiteral("1")));
            QCOMPARE(memory.values.value(QStringLiteral("EULA1")), QStringLiteral("1"));
            QCOMPARE(settings().get(QStringLiteral("AutoClearCounters"), QStringLiteral("0")),
                     QStringLiteral("0"));
            memory.failSaves = true;
            QVERIFY(!settings().save(QStringLiteral("EULA1"), QStringLiteral("0")));
            QCOMPARE(memory.values.value(QStringLiteral("EULA1")), QStringLiteral("1"));
            QCOMPARE(memory.saves, 2);
        }
        QVERIFY(dynamic_cast<IniSettingsStore*>(&settings()) != nullptr);
        QVERIFY(!QFile::exists(IniSettingsStore::defaultFilePath()));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_platform_settings.moc"
