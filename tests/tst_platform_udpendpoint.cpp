// The UDP endpoint on real loopback sockets.
#include "platform/udpendpoint.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace platform;

namespace {

// A plain peer socket on loopback that the endpoint talks to.
struct Peer {
    QUdpSocket socket;
    Peer() { socket.bind(QHostAddress::LocalHost, 0); }
    quint16 port() const { return socket.localPort(); }
    // Waits (bounded) for the next datagram.
    QByteArray next() {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(2000))
            return QByteArray("<none>");
        return socket.receiveDatagram().data();
    }
};

} // namespace

class TestUdpEndpoint : public QObject {
    Q_OBJECT

private slots:
    void bindsAndReportsItsPlace() {
        UdpEndpoint endpoint;
        QVERIFY(!endpoint.isOpen());
        QCOMPARE(endpoint.localPort(), quint16(0));
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        QVERIFY(endpoint.isOpen());
        QCOMPARE(endpoint.localAddress(), QStringLiteral("127.0.0.1"));
        QVERIFY(endpoint.localPort() != 0);
        endpoint.close();
        QVERIFY(!endpoint.isOpen());
        endpoint.close(); // closing twice is harmless
        QVERIFY(endpoint.bind(QStringLiteral("0.0.0.0"), 0));
        QCOMPARE(endpoint.localAddress(), QStringLiteral("0.0.0.0"));
    }

    void bindRefusesAPortInUse() {
        UdpEndpoint first;
        QVERIFY(first.bind(QStringLiteral("127.0.0.1"), 0));
        const quint16 port = first.localPort();
        UdpEndpoint second;
        QVERIFY(!second.bind(QStringLiteral("127.0.0.1"), port));
        QVERIFY(!second.isOpen());
        // The wildcard overlaps the holder's address as well.
        QVERIFY(!second.bind(QStringLiteral("0.0.0.0"), port));
        first.close();
        QVERIFY(second.bind(QStringLiteral("127.0.0.1"), port)); // free again
    }

    void bindRefusesPortHeldByAnotherSocket() {
        // A holder that asked for sharing must not let us in either.
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QAbstractSocket::ShareAddress));
        UdpEndpoint endpoint;
        QVERIFY(!endpoint.bind(QStringLiteral("127.0.0.1"), holder.localPort()));
    }

    void bindRefusesBadAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("three parts") << "127.0.1";
        QTest::newRow("part above 255") << "127.0.0.256";
        QTest::newRow("name") << "localhost";
        QTest::newRow("ipv6") << "::1";
        QTest::newRow("not ours") << "192.0.2.123";
    }
    void bindRefusesBadAddresses() {
        QFETCH(QString, address);
        UdpEndpoint endpoint;
        QVERIFY(!endpoint.bind(address, 0));
        QVERIFY(!endpoint.isOpen());
    }

    void receiveBufferIsRaised() {
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        // Find our socket among the process's descriptors by its port.
        int found = -1;
        for (int fd = 3; fd < 1024 && found < 0; ++fd) {
            sockaddr_in a{};
            socklen_t len = sizeof a;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 &&
                a.sin_family == AF_INET && ntohs(a.sin_port) == endpoint.localPort())
                found = fd;
        }
        QVERIFY(found >= 0);
        int size = 0;
        socklen_t len = sizeof size;
        QCOMPARE(::getsockopt(found, SOL_SOCKET, SO_RCVBUF, &size, &len), 0);
        QVERIFY2(size >= 1024 * 1024, qPrintable(QString::number(size)));
    }

    void sendsToTheRemoteThatStaysSet() {
        Peer peer;
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        endpoint.setRemote(QStringLiteral("127.0.0.1"), peer.port());
        QCOMPARE(endpoint.remoteHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(endpoint.remotePort(), peer.port());
        QVERIFY(endpoint.send(QByteArray("one")));
        QVERIFY(endpoint.send(QByteArray("\x00\x01\xff", 3)));
        QVERIFY(endpoint.send(QByteArray()));
        QCOMPARE(peer.next(), QByteArray("one"));
        QCOMPARE(peer.next(), QByteArray("\x00\x01\xff", 3));
        QCOMPARE(peer.next(), QByteArray());
        // Closing and binding again keeps the remote too.
        endpoint.close();
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        QVERIFY(endpoint.send(QByteArray("after rebind")));
        QCOMPARE(peer.next(), QByteArray("after rebind"));

        Peer other;
        endpoint.setRemotePort(other.port());
        QVERIFY(endpoint.send(QByteArray("port only")));
        QCOMPARE(other.next(), QByteArray("port only"));
        endpoint.setRemoteHost(QStringLiteral("127.0.0.1"));
        QCOMPARE(endpoint.remotePort(), other.port());
    }

    void sendFailsWithoutThrowing_data() {
        QTest::addColumn<bool>("bound");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("size");
        QTest::newRow("not bound") << false << "127.0.0.1" << 2976 << 4;
        QTest::newRow("no host") << true << "" << 2976 << 4;
        QTest::newRow("name") << true << "localhost" << 2976 << 4;
        QTest::newRow("three parts") << true << "127.0.1" << 2976 << 4;
        QTest::newRow("part above 255") << true << "127.0.0.300" << 2976 << 4;
        QTest::newRow("ipv6") << true << "::1" << 2976 << 4;
        QTest::newRow("port 0") << true << "127.0.0.1" << 0 << 4;
        QTest::newRow("too large") << true << "127.0.0.1" << 2976 << 70000;
    }
    void sendFailsWithoutThrowing() {
        QFETCH(bool, bound);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, size);
        UdpEndpoint endpoint;
        if (bound)
            QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        endpoint.setRemote(host, static_cast<quint16>(port));
        QVERIFY(!endpoint.send(QByteArray(size, 'x')));
        QCOMPARE(endpoint.isOpen(), bound); // a failed send leaves the endpoint usable
    }

    void limitedBroadcastIsPermitted() {
        // On loopback a broadcast has no route; what matters is that the send is not refused
        // for want of the broadcast permission (EACCES). Where some route covers it the send
        // succeeds; a refusal for want of a route shows as false, never as a throw.
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        endpoint.setRemote(QStringLiteral("255.255.255.255"), 9);
        const bool sent = endpoint.send(QByteArray("P"));
        Q_UNUSED(sent);
        QVERIFY(endpoint.isOpen());
    }

    void oneSignalPerDatagram() {
        Peer peer;
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        QSignalSpy spy(&endpoint, &UdpEndpoint::datagramReceived);
        const QHostAddress to(QStringLiteral("127.0.0.1"));
        peer.socket.writeDatagram(QByteArray("first"), to, endpoint.localPort());
        peer.socket.writeDatagram(QByteArray(), to, endpoint.localPort());
        peer.socket.writeDatagram(QByteArray(61, '\x07'), to, endpoint.localPort());
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 3, 5000);
        QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("first"));
        QCOMPARE(spy.at(1).at(0).toByteArray(), QByteArray());
        QCOMPARE(spy.at(2).at(0).toByteArray(), QByteArray(61, '\x07'));
    }

    void drainsABurstWithoutLoss() {
        // 500 datagrams sent before the endpoint gets a chance to read: every one arrives,
        // in order, each with its own signal.
        Peer peer;
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        QList<QByteArray> got;
        connect(&endpoint, &UdpEndpoint::datagramReceived, this,
                [&](const QByteArray& p) { got.append(p); });
        constexpr int kCount = 500;
        const QHostAddress to(QStringLiteral("127.0.0.1"));
        for (int i = 0; i < kCount; ++i) {
            QByteArray payload(41, char(i & 0xFF));
            payload.prepend(QByteArray::number(i).rightJustified(4, '0'));
            QCOMPARE(peer.socket.writeDatagram(payload, to, endpoint.localPort()),
                     qint64(payload.size()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), kCount, 10000);
        for (int i = 0; i < kCount; ++i)
            QCOMPARE(got.at(i).left(4), QByteArray::number(i).rightJustified(4, '0'));
    }

    void receiverMayCloseTheEndpoint() {
        Peer peer;
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("127.0.0.1"), 0));
        int seen = 0;
        connect(&endpoint, &UdpEndpoint::datagramReceived, this, [&](const QByteArray&) {
            ++seen;
            endpoint.close();
        });
        const quint16 port = endpoint.localPort();
        for (int i = 0; i < 5; ++i)
            peer.socket.writeDatagram(QByteArray("x"), QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(seen, 1, 5000);
        QTest::qWait(20);
        QCOMPARE(seen, 1);
        QVERIFY(!endpoint.isOpen());
    }

    void receiverMayDeleteTheEndpoint() {
        Peer peer;
        auto* endpoint = new UdpEndpoint;
        QVERIFY(endpoint->bind(QStringLiteral("127.0.0.1"), 0));
        int seen = 0;
        connect(endpoint, &UdpEndpoint::datagramReceived, this, [&](const QByteArray&) {
            ++seen;
            delete endpoint;
        });
        const quint16 port = endpoint->localPort();
        for (int i = 0; i < 5; ++i)
            peer.socket.writeDatagram(QByteArray("x"), QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(seen, 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TestUdpEndpoint)
#include "tst_platform_udpendpoint.moc"
