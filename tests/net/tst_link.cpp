// The platform's network services on a real link: broadcast, address resolution and ICMP echo,
// in the station's namespace of a rig whose first element (192.0.2.10) answers ARP and echo,
// and routes nothing.
#include "support/netnsrig.h"

#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "platform/udpendpoint.h"

#include <QtNetwork>
#include <QtTest>

#include <netinet/ip_icmp.h>

using namespace platform;
using Status = EchoResult::Status;

namespace {

constexpr quint32 kSelf = 0x7F000001;
constexpr quint32 kPeer = 0xC000020A;   // 192.0.2.10
constexpr quint32 kNobody = 0xC0000207; // 192.0.2.7
constexpr quint32 kRouted = 0xC6120001; // 198.18.0.1: the peer has no route for it

bool writeProc(const QString& key, const char* value) {
    QFile f("/proc/sys/net/ipv4/" + key);
    return f.open(QIODevice::WriteOnly) && f.write(value) > 0;
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT
    testsupport::NetnsRig m_rig;

private slots:
    // Permanent entries (02:00:00:00:00:09) include addresses that can never be a neighbour;
    // 198.51.100/24 goes via one of them, 198.18/15 via the peer.
    void initTestCase() {
        KN_REQUIRE(testsupport::NetnsRig::unavailableReason());
        QVERIFY2(m_rig.create(), qPrintable(m_rig.lastError()));
        QVERIFY2(m_rig.sh("for a in 192.0.2.3 128.0.0.9 240.0.0.9 127.0.0.9 0.0.0.0 224.0.0.9 "
                          "239.1.1.1 255.255.255.255; do ip -n ${P}st neigh add $a lladdr "
                          "02:00:00:00:00:09 dev eth0 nud permanent; done\n"
                          "ip -n ${P}st route add 198.51.100.0/24 via 192.0.2.3\n"
                          "ip -n ${P}st route add 198.18.0.0/15 via 192.0.2.10\n"
                          "ip netns exec ${P}e0 sysctl -qw net.ipv4.ip_forward=1 "
                          "net.ipv4.icmp_ratemask=0"),
                 qPrintable(m_rig.lastError()));
    }

    void broadcastLeavesByTheBoundAddress() {
        QCOMPARE(localAddresses().read().addresses, (QStringList{"192.0.2.1", "127.0.0.1"}));
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, 41901));
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(Ipv4Address(0xC0000201), 0));
        QVERIFY(endpoint.sendTo(Ipv4Address(0xFFFFFFFF), 41901, "PAGE"));
        QVERIFY(listener.waitForReadyRead(2000));
        const QNetworkDatagram got = listener.receiveDatagram();
        QCOMPARE(got.data(), "PAGE");
        QCOMPARE(got.senderAddress(), QHostAddress("192.0.2.1"));
    }

    void resolve_data() { // solicited, then looked up
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("hardwareHex"); // empty: none
        QTest::newRow("on the link") << kPeer << QByteArray("020000000010");
        QTest::newRow("permanent entry") << 0xC0000203u << QByteArray("020000000009");
        QTest::newRow("128/8 entry") << 0x80000009u << QByteArray("020000000009");
        QTest::newRow("240/4 entry") << 0xF0000009u << QByteArray("020000000009");
        QTest::newRow("nobody there") << kNobody << QByteArray();
        QTest::newRow("off-link, its gateway known") << 0xC6336401u << QByteArray();
        for (quint32 never : {0x7F000009u, 0u, 0xE0000009u, 0xEF010101u, 0xFFFFFFFFu})
            QTest::newRow(qPrintable(QHostAddress(never).toString())) << never << QByteArray();
    }
    void resolve() {
        QFETCH(quint32, address);
        QFETCH(QByteArray, hardwareHex);
        KernelNeighbourTable table;
        table.solicit(address);
        const auto found = [&] { return table.lookup({address}).value(address).toHex(); };
        QCOMPARE(
            QTest::qWaitFor([&] { return !found().isEmpty(); }, hardwareHex.isEmpty() ? 300 : 3000),
            !hardwareHex.isEmpty());
        QCOMPARE(found(), hardwareHex);
    }

    void echo_data() {
        QTest::addColumn<bool>("raw"); // a raw socket, else a datagram one
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<Status>("status");
        QTest::newRow("self") << false << kSelf << QByteArray("hello") << Status::Ok;
        QTest::newRow("raw: self, odd length") << true << kSelf << QByteArray("abc") << Status::Ok;
        QTest::newRow("raw: peer, empty") << true << kPeer << QByteArray() << Status::Ok;
        QTest::newRow("nobody") << false << kNobody << QByteArray("hello") << Status::TimedOut;
        QTest::newRow("router reports") << false << kRouted << QByteArray() << Status::Unreachable;
        QTest::newRow("raw: router reports")
            << true << kRouted << QByteArray() << Status::Unreachable;
        QTest::newRow("broadcast") << false << 0xFFFFFFFFu << QByteArray() << Status::Unreachable;
    }
    void echo() {
        QFETCH(bool, raw);
        QFETCH(quint32, address);
        QFETCH(QByteArray, payload);
        QVERIFY(writeProc("ping_group_range", raw ? "1 0" : "0 2147483647"));
        const int timeoutMs = address == kNobody ? 300 : 3000;
        const EchoResult r = SocketIcmpEcho(false).echo(address, payload, timeoutMs);
        QTEST(r.status, "status");
        QVERIFY(r.roundTripMs >= 0 && r.roundTripMs < timeoutMs);
    }

    void rawEchoTakesAMinimalReport() {
        // A router may quote no more than the echo's IP header and first 8 bytes. Sent to a
        // broadcast address, such a report is left to the socket's own reading. It is sent
        // while the echo waits, so events must run meanwhile.
        QVERIFY(writeProc("ping_group_range", "1 0"));
        QVERIFY(writeProc("icmp_echo_ignore_all", "1"));
        const int spy = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
        const int on = 1;
        ::setsockopt(spy, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        QTimer::singleShot(0, this, [spy] {
            unsigned char report[8 + 28] = {ICMP_TIME_EXCEEDED};
            const sockaddr_in to{AF_INET, 0, {htonl(0x7FFFFFFF)}, {}};
            if (::recv(spy, report + 8, 28, 0) == 28) // our echo, as it arrived
                ::sendto(spy, report, sizeof report, 0, (const sockaddr*)&to, sizeof to);
        });
        const EchoResult r = SocketIcmpEcho().echo(kSelf, QByteArray(), 3000);
        ::close(spy);
        QVERIFY(writeProc("icmp_echo_ignore_all", "0"));
        QCOMPARE(r.status, Status::Unreachable);
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
