// The table of local IPv4 addresses: its order, and the real system's table.
#include "platform/localaddresses.h"

#include <QtTest>

using namespace platform;

class TestLocalAddresses : public QObject {
    Q_OBJECT

private slots:
    void order_data() {
        QTest::addColumn<QList<quint32>>("addresses");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("loopback last") << QList<quint32>{0x7F000001, 0xC0A8010A, 0x0A000001}
                                       << QStringList{"10.0.0.1", "192.168.1.10", "127.0.0.1"};
        // Numeric, not text order: 9 before 10, and 192.168.1.9 before 192.168.1.10.
        QTest::newRow("numeric") << QList<quint32>{0xC0A8010A, 0xC0A80109, 0x0A000000, 0x09FFFFFF}
                                 << QStringList{"9.255.255.255", "10.0.0.0", "192.168.1.9",
                                                "192.168.1.10"};
    }
    void order() {
        QFETCH(QList<quint32>, addresses);
        QFETCH(QStringList, expected);
        QCOMPARE(orderLocalAddresses(addresses), expected);
    }

    void systemTableHasLoopbackLast() {
        const LocalAddressList list = localAddresses().read();
        QCOMPARE(list.errorCode, 0);
        QVERIFY(list.addresses.contains(QStringLiteral("127.0.0.1")));
        bool loopbackSeen = false;
        for (const QString& a : list.addresses) {
            const bool loopback = a.startsWith(QLatin1String("127."));
            QVERIFY2(!loopbackSeen || loopback, qPrintable(list.addresses.join(' ')));
            loopbackSeen = loopbackSeen || loopback;
            QVERIFY(!a.contains(QLatin1Char(':'))); // IPv4 only
        }
        QCOMPARE(list.addresses.last().left(4), QStringLiteral("127."));
    }
};

QTEST_GUILESS_MAIN(TestLocalAddresses)
#include "tst_platform_localaddresses.moc"
