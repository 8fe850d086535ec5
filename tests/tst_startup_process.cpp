// The real program, started as a user starts it: a second instance, one after a killed
// first instance, and a port that is taken. Its boxes are read on standard output.
#include "platform/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestStartupProcess : public QObject {
    Q_OBJECT
private slots:
    void init();
    void secondInstanceRefused();
    void startsAfterKilledInstance();
    void occupiedPortEndsProgram();

private:
    QProcess* station(const QStringList& args = {});
    QString m_binary;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStartupProcess::init() {
    m_binary = qEnvironmentVariable("KESTRUNE_BUILD_DIR") + QStringLiteral("/app/kestrune-nms");
    QVERIFY2(QFile::exists(m_binary), qPrintable(m_binary));
    m_dir = std::make_unique<QTemporaryDir>();
    QDir(m_dir->path()).mkpath(QStringLiteral("config/Talvoren"));
    QFile settings(m_dir->filePath(QStringLiteral("config/Talvoren/Talvoren.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Kestrune]\nEULA1=1\nNMS%20IP%20Address=127.0.0.1\n");
}

QProcess* TestStartupProcess::station(const QStringList& args) {
    auto* p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTRUNE_MESSAGEBOXES"), QStringLiteral("console"));
    env.insert(QStringLiteral("KESTRUNE_PRINT_TITLE"), QStringLiteral("1"));
    env.insert(QStringLiteral("KESTRUNE_PROGRAM_DIR"), m_dir->path());
    env.insert(QStringLiteral("KESTRUNE_LOCK_PATH"), m_dir->filePath(QStringLiteral("nms.lock")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
    p->setProcessEnvironment(env);
    p->start(m_binary, args);
    return p;
}

void TestStartupProcess::secondInstanceRefused() {
    platform::SingleInstanceLock first(m_dir->filePath(QStringLiteral("nms.lock")));
    QVERIFY(first.tryAcquire());
    QProcess* second = station();
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);
    const QString out = QString::fromLocal8Bit(second->readAllStandardOutput());
    QCOMPARE(out, QStringLiteral("BOX 1|Talvoren Kestrune NMS|Talvoren Kestrune NMS is already "
                                 "running (check the icon in system tray)!\n"));
    // Nothing touched the database.
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("nms.ini"))));
}

void TestStartupProcess::startsAfterKilledInstance() {
    const QString lockPath = m_dir->filePath(QStringLiteral("nms.lock"));
    const pid_t child = fork();
    if (child == 0) {
        platform::SingleInstanceLock held(lockPath);
        if (!held.tryAcquire())
            _exit(2);
        pause();
        _exit(0);
    }
    QVERIFY(child > 0);
    QTest::qWait(200);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    QVERIFY(QFile::exists(lockPath)); // the stale lock file is still there

    QProcess* p = station({QStringLiteral("gps")});
    QVERIFY(p->waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
    QVERIFY2(out.endsWith(QStringLiteral(
                 "TITLE Kestrune NMS v.3.4.8 [GPSDO version] - Talvoren Broadcast\n")),
             qPrintable(out));
    QCOMPARE(p->exitCode(), 0);
}

void TestStartupProcess::occupiedPortEndsProgram() {
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(QStringLiteral("127.0.0.1")), 2976));
    QProcess* p = station();
    QVERIFY(p->waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
    QVERIFY2(out.endsWith(QStringLiteral(
                 "BOX 4|Talvoren Kestrune Manager|Unable to use UDP port 2976: occupied.\n")),
             qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("TITLE")));
    QCOMPARE(p->exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestStartupProcess)
#include "tst_startup_process.moc"
