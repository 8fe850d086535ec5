// The single-instance lock on real lock files, with real second holders.
#include "platform/singleinstance.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString lockPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static QByteArray contents(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void defaultPath_data() {
        QTest::addColumn<QString>("forced");
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("expected");
        const QString tmpDir = m_dir.path();
        QTest::newRow("runtime dir") << "" << tmpDir << tmpDir + "/kestrune-nms.lock";
        QTest::newRow("no runtime dir")
            << ""
            << "" << QStringLiteral("/tmp/kestrune-nms-%1.lock").arg(::getuid());
        QTest::newRow("runtime dir missing")
            << "" << tmpDir + "/absent"
            << QStringLiteral("/tmp/kestrune-nms-%1.lock").arg(::getuid());
        QTest::newRow("forced") << tmpDir + "/own.lock" << tmpDir << tmpDir + "/own.lock";
    }
    void defaultPath() {
        QFETCH(QString, forced);
        QFETCH(QString, runtime);
        QFETCH(QString, expected);
        const QByteArray savedForced = qgetenv("KESTRUNE_LOCK_PATH");
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        auto setOrUnset = [](const char* name, const QString& value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, QFile::encodeName(value));
        };
        setOrUnset("KESTRUNE_LOCK_PATH", forced);
        setOrUnset("XDG_RUNTIME_DIR", runtime);
        const QString got = SingleInstanceLock::defaultPath();
        setOrUnset("KESTRUNE_LOCK_PATH", QString::fromLocal8Bit(savedForced));
        setOrUnset("XDG_RUNTIME_DIR", QString::fromLocal8Bit(savedRuntime));
        QCOMPARE(got, expected);
    }

    void secondHolderIsRefusedUntilTheFirstEnds() {
        const QString path = lockPath("a.lock");
        auto first = std::make_unique<SingleInstanceLock>(path);
        QVERIFY(first->tryAcquire());
        QVERIFY(first->tryAcquire()); // asking again keeps it
        QCOMPARE(contents(path), QByteArray::number(::getpid()) + '\n');
        {
            SingleInstanceLock second(path);
            QVERIFY(!second.tryAcquire());
            QVERIFY(!second.tryAcquire());
        }
        QVERIFY(first->tryAcquire()); // a refused newcomer did not disturb the holder
        first.reset();
        QVERIFY(QFile::exists(path)); // left in place for the next holder
        SingleInstanceLock third(path);
        QVERIFY(third.tryAcquire());
    }

    void differentPathsDoNotMeet() {
        SingleInstanceLock a(lockPath("b1.lock"));
        SingleInstanceLock b(lockPath("b2.lock"));
        QVERIFY(a.tryAcquire());
        QVERIFY(b.tryAcquire());
    }

    void staleFileOfADeadInstanceIsTakenOver() {
        const QString path = lockPath("stale.lock");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("4194301\nleft over by a crash\n");
        f.close();
        SingleInstanceLock lock(path);
        QVERIFY(lock.tryAcquire());
        QCOMPARE(contents(path), QByteArray::number(::getpid()) + '\n');
    }

    void killedHolderLeavesTheLockTakeable() {
        const QString path = lockPath("killed.lock");
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(ready[0]);
            SingleInstanceLock held(path);
            const char verdict = held.tryAcquire() ? '1' : '0';
            (void)::write(ready[1], &verdict, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char verdict = 0;
        QCOMPARE(::read(ready[0], &verdict, 1), ssize_t(1));
        ::close(ready[0]);
        QCOMPARE(verdict, '1');
        {
            SingleInstanceLock mine(path);
            QVERIFY(!mine.tryAcquire());
        }
        QCOMPARE(contents(path), QByteArray::number(child) + '\n');
        // Killed without a chance to unlock: the kernel lets go.
        QCOMPARE(::kill(child, SIGKILL), 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        SingleInstanceLock mine(path);
        QVERIFY(mine.tryAcquire());
    }

    void programsStartedByTheHolderDoNotKeepIt() {
        const QString path = lockPath("child.lock");
        auto holder = std::make_unique<SingleInstanceLock>(path);
        QVERIFY(holder->tryAcquire());
        QProcess sleeper;
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted());
        holder.reset();
        SingleInstanceLock next(path);
        const bool taken = next.tryAcquire();
        sleeper.kill();
        sleeper.waitForFinished();
        QVERIFY(taken);
    }

    void unusableLockFileDoesNotClaimAnotherInstance() {
        // A lock that cannot even be opened proves nothing about another instance.
        QFile blocker(lockPath("plainfile"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SingleInstanceLock lock(lockPath("plainfile") + QStringLiteral("/x.lock"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("single instance: cannot open"));
        QVERIFY(lock.tryAcquire());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_platform_singleinstance.moc"
