// The real program, started as a user starts it, against a running instance, a killed one
// and a taken port. Its boxes and its title are read on standard output.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

class TestStartupProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray contents(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Settings that skip the notice and choose loopback; lock and data in the folder.
    QProcess* station(const QStringList& args, bool printTitle) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRUNE_MESSAGEBOXES", "console");
        env.insert("KESTRUNE_PRINT_TITLE", printTitle ? "1" : "0");
        env.insert("KESTRUNE_PROGRAM_DIR", m_dir.path());
        env.insert("KESTRUNE_LOCK_PATH", m_dir.filePath("nms.lock"));
        env.insert("XDG_CONFIG_HOME", m_dir.path());
        p->setProcessEnvironment(env);
        p->start(qEnvironmentVariable("KESTRUNE_BUILD_DIR") + "/app/kestrune-nms", args);
        return p;
    }

private slots:
    void initTestCase() {
        QVERIFY(QDir(m_dir.path()).mkpath("Talvoren"));
        QFile settings(m_dir.filePath("Talvoren/Talvoren.ini"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[Kestrune]\nEULA1=1\nNMS%20IP%20Address=127.0.0.1\n");
    }

    void startUp_data() {
        QTest::addColumn<QString>("before"); // "running", "killed" instance, or "port" taken
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("second instance refused")
            << "running"
            << ""
            << "BOX 1|Talvoren Kestrune NMS|Talvoren Kestrune NMS is already "
               "running (check the icon in system tray)!\n"
            << 0;
        QTest::newRow("starts after a killed instance")
            << "killed"
            << "gps"
            << "TITLE Kestrune NMS v.3.4.8 [GPSDO version] - Talvoren Broadcast\n"
            << 0;
        QTest::newRow("occupied port ends the program")
            << "port"
            << ""
            << "BOX 4|Talvoren Kestrune Manager|Unable to use UDP port 2976: occupied.\n"
            << 1;
    }
    void startUp() {
        QFETCH(QString, before);
        QFETCH(QString, argument);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QUdpSocket holder;
        std::unique_ptr<QProcess> first;
        if (before == "port") {
            QVERIFY(holder.bind(QHostAddress("127.0.0.1"), 2976));
        } else {
            first.reset(station({}, false));
            const QByteArray pid = QByteArray::number(first->processId()) + '\n';
            QTRY_COMPARE_WITH_TIMEOUT(contents(m_dir.filePath("nms.lock")), pid, 20000);
        }
        if (before == "killed") {
            first->kill(); // no chance to let go of anything
            QVERIFY(first->waitForFinished());
        }
        QProcess* p = station(argument.isEmpty() ? QStringList() : QStringList{argument}, true);
        QVERIFY(p->waitForFinished(20000));
        const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
        QVERIFY2(out.endsWith(output), qPrintable(out));
        QCOMPARE(p->exitCode(), exitCode);
    }
};

QTEST_GUILESS_MAIN(TestStartupProcess)
#include "tst_startup_process.moc"
