// The element emulator refuses a bad value before it binds anything, naming the option.
#include "support/netnsrig.h"
#include "tools/senderlimit.h"

#include <QTest>

class TestEmulator : public QObject {
    Q_OBJECT
private slots:
    void refusesBadValues_data() {
        QTest::addColumn<QStringList>("arguments"); // after --address 192.0.2.12
        QTest::addColumn<QString>("refusal");
        QTest::newRow("stray word") << QStringList{"--name", "STUDIO", "1"}
                                    << "unexpected argument \"1\": every value belongs to an "
                                       "option (see --help)";
        QTest::newRow("name too long")
            << QStringList{"--name", "SEVENTEEN LETTERS"}
            << "--name: \"SEVENTEEN LETTERS\" is longer than 16 characters";
        QTest::newRow("name outside Latin-1")
            << QStringList{"--name", "STUDIO \u03A9"}
            << "--name: \"STUDIO \u03A9\" has characters outside Latin-1";
        QTest::newRow("log not writable")
            << QStringList{"--log", "/nonexistent/element.log"}
            << "--log: cannot write \"/nonexistent/element.log\": No such file or directory";
        QTest::newRow("broadcast address")
            << QStringList{"--address", "255.255.255.255"}
            << "--address: 255.255.255.255 is not an element's address (unicast, below "
               "224.0.0.0, not in 0.0.0.0/8)";
        // It would take port 2976 from a station on the same machine.
        QTest::newRow("any address")
            << QStringList{"--address", "0.0.0.0"}
            << "--address: 0.0.0.0 is not an element's address (unicast, below 224.0.0.0, not "
               "in 0.0.0.0/8)";
    }
    void refusesBadValues() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(testsupport::NetnsRig::emulatorPath(),
                QStringList{"--address", "192.0.2.12"} + arguments);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromUtf8(p.readAll()), "kestrune-element: " + refusal + "\n");
    }

    // At most ten requests a second from one sender are answered, one more each 100 ms.
    void answersTenASecondPerSender_data() {
        QTest::addColumn<QList<qint64>>("times"); // ms, all from 10.0.0.1
        QTest::addColumn<int>("answered");
        QTest::newRow("burst") << QList<qint64>(12, 0) << 10;
        QTest::newRow("burst, then 99 ms") << QList<qint64>(10, 0) + QList<qint64>{99} << 10;
        QTest::newRow("burst, then 100 ms") << QList<qint64>(10, 0) + QList<qint64>{100} << 11;
    }
    void answersTenASecondPerSender() {
        QFETCH(QList<qint64>, times);
        QFETCH(int, answered);
        emulator::SenderLimit limit;
        int admitted = 0;
        for (qint64 t : times)
            admitted += limit.admit(0x0A000001, t);
        QCOMPARE(admitted, answered);
        QVERIFY(limit.admit(0x0A000002, times.last())); // another sender is not held back
    }
};

QTEST_MAIN(TestEmulator)
#include "tst_emulator.moc"
