// The element emulator refuses a bad value before it binds anything, naming the option.
#include "support/netnsrig.h"

#include <QTest>

class TestEmulator : public QObject {
    Q_OBJECT
private slots:
    void refusesBadValues_data() {
        QTest::addColumn<QStringList>("arguments"); // after --address 192.0.2.12
        QTest::addColumn<QString>("refusal");
        QTest::newRow("byte too big")
            << QStringList{"--sfn", "256"} << "--sfn: 256 is out of range (0 to 255)";
        QTest::newRow("octal-looking")
            << QStringList{"--buffer", "010x"} << "--buffer: \"010x\" is not a decimal number";
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
};

QTEST_MAIN(TestEmulator)
#include "tst_emulator.moc"
