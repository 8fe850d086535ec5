// The real ICMP echo on loopback, where this process may open an ICMP socket.
#include "platform/icmpecho.h"

#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform;

namespace {

bool canOpenIcmpSocket() {
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

} // namespace

class TestIcmpEcho : public QObject {
    Q_OBJECT

private slots:
    void loopbackAnswers_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("hello") << QByteArray("hello");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("odd length") << QByteArray("abc");
        QTest::newRow("large") << QByteArray(1400, '\xA5');
    }
    void loopbackAnswers() {
        QFETCH(QByteArray, payload);
        if (!canOpenIcmpSocket())
            QSKIP("no ICMP socket for this user");
        SocketIcmpEcho echo(false);
        const EchoResult r = echo.echo(0x7F000001, payload, 3000);
        QCOMPARE(r.status, EchoResult::Status::Ok);
        QVERIFY(r.roundTripMs >= 0);
        QVERIFY(r.roundTripMs < 3000);
    }

    void repeatedEchoesEachGetTheirAnswer() {
        if (!canOpenIcmpSocket())
            QSKIP("no ICMP socket for this user");
        SocketIcmpEcho echo(false);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(echo.echo(0x7F000001, "hello", 3000).status, EchoResult::Status::Ok);
    }

    void accessorGivesTheRealEcho() {
        QVERIFY(dynamic_cast<SocketIcmpEcho*>(&icmpEcho()) != nullptr);
    }

    void broadcastIsRefusedNotSent() {
        if (!canOpenIcmpSocket())
            QSKIP("no ICMP socket for this user");
        SocketIcmpEcho echo(false);
        const EchoResult r = echo.echo(0xFFFFFFFF, "hello", 200);
        QVERIFY(r.status != EchoResult::Status::Ok);
    }
};

QTEST_GUILESS_MAIN(TestIcmpEcho)
#include "tst_platform_icmpecho.moc"
