// The real program, started as a user starts it: beside a running instance, after a killed
// one, and with its port taken. Its boxes and its title are read on standard output.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

class TestStartupProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir; // settings, lock and data of the program

    QProcess* station(const QStringList& args, const char* printTitle = "1") {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRUNE_MESSAGEBOXES", "console");
        env.insert("KESTRUNE_PRINT_TITLE", printTitle);
        env.insert("KESTRUNE_PROGRAM_DIR", m_dir.path());
        env.insert("KESTRUNE_LOCK_PATH", m_dir.filePath("nms.lock"));
        env.insert("XDG_CONFIG_HOME", m_dir.path());
        p->setProcessEnvironment(env);
        p->start(qEnvironmentVariable("KESTRUNE_BUILD_DIR") + "/app/kestrune-nms", args);
        return p;
    }
    // Its standard output, then its exit code.
    QString run(const QStringList& args = {}) {
        QProcess* p = station(args);
        p->waitForFinished(20000);
        return QString::fromLocal8Bit(p->readAllStandardOutput()) + QString::number(p->exitCode());
    }
    QByteArray lockHolder() {
        QFile f(m_dir.filePath("nms.lock"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    }

private slots:
    void startUp() {
        QFile settings(m_dir.filePath("Talvoren/Talvoren.ini")); // notice accepted, loopback
        QVERIFY(QDir(m_dir.path()).mkpath("Talvoren") && settings.open(QIODevice::WriteOnly));
        settings.write("[Kestrune]\nEULA1=1\nNMS%20IP%20Address=127.0.0.1\n");
        settings.close();
        std::unique_ptr<QProcess> first(station({}, "0"));
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), QByteArray::number(first->processId()), 20000);
        QCOMPARE(run(), "BOX 1|Talvoren Kestrune NMS|Talvoren Kestrune NMS is already running "
                        "(check the icon in system tray)!\n0");
        first->kill(); // no chance to let go of anything
        QVERIFY(first->waitForFinished());
        const QString empty = "BOX 1|Information|Local database is empty.\\rPlease click 'Auto "
                              "Discover' icon to probe the network.\n";
        QCOMPARE(run({"gps"}),
                 empty + "TITLE Kestrune NMS v.3.4.8 [GPSDO version] - Talvoren Broadcast\n0");
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress("127.0.0.1"), 2976));
        QCOMPARE(run(), empty + "BOX 4|Talvoren Kestrune Manager|Unable to use UDP port 2976: "
                                "occupied.\n1");
    }
};

QTEST_GUILESS_MAIN(TestStartupProcess)
#include "tst_startup_process.moc"
