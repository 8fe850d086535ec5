// The real program, started as a user starts it: beside a running instance and after a
// killed one. Its boxes and its title are read on standard output.
#include <QtNetwork>
#include <QtTest>

class TestStartupProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir; // settings, lock and data of the program

    // Prints its boxes, and its title once it shows its window (then ends) if printTitle is 1.
    QProcess* station(const QStringList& args, const QString& printTitle = "1") {
        auto* p = new QProcess(this);
        p->setEnvironment(QProcess::systemEnvironment() +
                          QStringList{"KESTRUNE_MESSAGEBOXES=console",
                                      "KESTRUNE_PRINT_TITLE=" + printTitle,
                                      "KESTRUNE_PROGRAM_DIR=" + m_dir.path(),
                                      "KESTRUNE_LOCK_PATH=" + m_dir.filePath("nms.lock"),
                                      "XDG_CONFIG_HOME=" + m_dir.path()});
        p->start(qEnvironmentVariable("KESTRUNE_BUILD_DIR") + "/app/kestrune-nms", args);
        return p;
    }
    // Its standard output, then its exit code.
    QString run(const QStringList& args = {}) {
        QProcess* p = station(args);
        p->waitForFinished(20000);
        return p->readAllStandardOutput() + QString::number(p->exitCode());
    }

private slots:
    void startUp() {
        QFile settings(m_dir.filePath("Talvoren/Talvoren.ini")); // notice accepted, loopback
        QVERIFY(QDir(m_dir.path()).mkpath("Talvoren") && settings.open(QIODevice::WriteOnly));
        settings.write("[Kestrune]\nEULA1=1\nNMS%20IP%20Address=127.0.0.1\n");
        settings.close();
        std::unique_ptr<QProcess> first(station({}, "0"));
        QVERIFY(first->waitForReadyRead(20000)); // its first box: it holds the lock by then
        QCOMPARE(run(), "BOX 1|Talvoren Kestrune NMS|Talvoren Kestrune NMS is already running "
                        "(check the icon in system tray)!\n0");
        first->kill(); // no chance to let go of anything
        QVERIFY(first->waitForFinished());
        const QString empty = "BOX 1|Information|Local database is empty.\\rPlease click 'Auto "
                              "Discover' icon to probe the network.\n";
        QCOMPARE(run({"gps"}),
                 empty + "TITLE Kestrune NMS v.3.4.8 [GPSDO version] - Talvoren Broadcast\n0");
    }
};

QTEST_GUILESS_MAIN(TestStartupProcess)
#include "tst_startup_process.moc"
