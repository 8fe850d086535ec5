// Broadcast, address resolution and ICMP echo on a small network of our own: this
// process moves into a network namespace of its own before anything else starts, with a
// link 192.0.2.0/24 to a peer namespace (192.0.2.2, hardware 02:00:00:00:00:02) that
// routes nothing further. Needs root; skips otherwise.
#include "platform/icmpecho.h"
#include "platform/neighbourtable.h"
#include "platform/udpendpoint.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <cstdlib>
#include <sched.h>
#include <unistd.h>

using namespace platform;

namespace {

const char* const kSetUp =
    "set -e; exec >/dev/null 2>&1;"
    "ip link set lo up;"
    "sysctl -qw net.ipv6.conf.all.disable_ipv6=1 || true;"
    "unshare -n sleep 60 & echo $! > /tmp/kn-platform-peer-$PPID.pid;"
    "peer=$(cat /tmp/kn-platform-peer-$PPID.pid); n=0;"
    "while [ \"$(readlink /proc/$peer/ns/net)\" = \"$(readlink /proc/self/ns/net)\" ];"
    " do n=$((n+1)); [ $n -lt 500 ]; sleep 0.01; done;"
    "ip link add v0 address 02:00:00:00:00:01 type veth peer name v1 address 02:00:00:00:00:02;"
    "ip link set v1 netns $peer;"
    "ip addr add 192.0.2.1/24 dev v0; ip link set v0 up;"
    "ip neigh add 192.0.2.3 lladdr 02:00:00:00:00:03 dev v0 nud permanent;"
    "ip route add 198.51.100.0/24 via 192.0.2.2;"
    "ip route add 198.18.0.0/15 via 192.0.2.2;"
    "ip route add unreachable 203.0.113.0/24;"
    "nsenter -t $peer -n sh -c 'ip link set lo up; ip addr add 192.0.2.2/24 dev v1;"
    " ip link set v1 up; sysctl -qw net.ipv6.conf.all.disable_ipv6=1 || true;"
    " sysctl -qw net.ipv4.ip_forward=1; sysctl -qw net.ipv4.icmp_ratelimit=0;"
    " ip route add blackhole 198.51.100.0/24; ip route add 198.18.0.0/15 via 192.0.2.1'";
const char* const kTearDown = "exec >/dev/null 2>&1; kill $(cat /tmp/kn-platform-peer-$PPID.pid);"
                              " rm -f /tmp/kn-platform-peer-$PPID.pid";

bool g_ownNetwork = false;

constexpr quint32 kPeer = 0xC0000202;       // 192.0.2.2
constexpr quint32 kPermanent = 0xC0000203;  // 192.0.2.3
constexpr quint32 kNobody = 0xC0000207;     // 192.0.2.7
constexpr quint32 kBeyondPeer = 0xC6336401; // 198.51.100.1, via the peer, which drops it
constexpr quint32 kViaRouter = 0xC6120001;  // 198.18.0.1, via the peer, which forwards it
constexpr quint32 kNoRoute = 0xCB007101;    // 203.0.113.1, unreachable route

bool setPingGroups(const char* range) {
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    return f.open(QIODevice::WriteOnly) && f.write(range) > 0;
}

bool setDefaultTtl(const char* ttl) {
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ip_default_ttl"));
    return f.open(QIODevice::WriteOnly) && f.write(ttl) > 0;
}

} // namespace

Q_DECLARE_METATYPE(platform::EchoResult::Status)

class TestOwnNetwork : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!g_ownNetwork)
            QSKIP("needs root for a network namespace of its own");
    }

    void limitedBroadcastLeavesByTheBoundAddress() {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, 41901));
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("192.0.2.1"), 0));
        endpoint.setRemote(QStringLiteral("255.255.255.255"), 41901);
        QVERIFY(endpoint.send(QByteArray("PAGE")));
        QVERIFY(listener.hasPendingDatagrams() || listener.waitForReadyRead(2000));
        const QNetworkDatagram got = listener.receiveDatagram();
        QCOMPARE(got.data(), QByteArray("PAGE"));
        QCOMPARE(got.senderAddress(), QHostAddress(QStringLiteral("192.0.2.1")));
        QCOMPARE(got.destinationAddress(), QHostAddress(QStringLiteral("255.255.255.255")));
    }

    void broadcastFromTheWildcardFailsPlainly() {
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(QStringLiteral("0.0.0.0"), 0));
        endpoint.setRemote(QStringLiteral("255.255.255.255"), 41901);
        QVERIFY(!endpoint.send(QByteArray("PAGE"))); // no route covers it
        QVERIFY(endpoint.isOpen());
    }

    void resolvesAHostOnTheLink() {
        KernelNeighbourTable table;
        const auto found = table.resolve(kPeer);
        QVERIFY(found.has_value());
        QCOMPARE(*found, QByteArray::fromHex("020000000002"));
        QCOMPARE(table.resolve(kPeer), QByteArray::fromHex("020000000002")); // now in the table
    }

    void permanentEntryNeedsNoResolution() {
        KernelNeighbourTable table(0);
        QCOMPARE(table.resolve(kPermanent), QByteArray::fromHex("020000000003"));
    }

    void nobodyThereGivesNothing() {
        KernelNeighbourTable table(300);
        QVERIFY(!table.resolve(kNobody).has_value());
    }

    void offLinkAddressNeverGivesTheGatewayAddress() {
        KernelNeighbourTable table(300);
        QVERIFY(table.resolve(kPeer).has_value());        // the gateway is known...
        QVERIFY(!table.resolve(kBeyondPeer).has_value()); // ...and not passed off as the host
    }

    void echo_data() {
        QTest::addColumn<QByteArray>("pingGroups"); // "0 2147483647": datagram socket
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<EchoResult::Status>("expected");
        const QByteArray open = "0 2147483647";
        const QByteArray closed = "1 0";
        QTest::newRow("datagram: peer answers") << open << kPeer << 3000 << EchoResult::Status::Ok;
        QTest::newRow("raw: peer answers") << closed << kPeer << 3000 << EchoResult::Status::Ok;
        QTest::newRow("datagram: self") << open << 0xC0000201u << 3000 << EchoResult::Status::Ok;
        QTest::newRow("raw: self") << closed << 0xC0000201u << 3000 << EchoResult::Status::Ok;
        QTest::newRow("datagram: nobody") << open << kNobody << 300 << EchoResult::Status::TimedOut;
        QTest::newRow("raw: nobody") << closed << kNobody << 300 << EchoResult::Status::TimedOut;
        // Sent with a time to live of 1, the echo dies at the peer, which reports it.
        QTest::newRow("datagram: router reports the echo")
            << open << kViaRouter << 3000 << EchoResult::Status::Unreachable;
        QTest::newRow("raw: router reports the echo")
            << closed << kViaRouter << 3000 << EchoResult::Status::Unreachable;
        QTest::newRow("datagram: no route")
            << open << kNoRoute << 3000 << EchoResult::Status::Unreachable;
        QTest::newRow("raw: no route")
            << closed << kNoRoute << 3000 << EchoResult::Status::Unreachable;
    }
    void echo() {
        QFETCH(QByteArray, pingGroups);
        QFETCH(quint32, address);
        QFETCH(int, timeoutMs);
        QFETCH(EchoResult::Status, expected);
        QVERIFY(setPingGroups(pingGroups.constData()));
        QVERIFY(setDefaultTtl(address == kViaRouter ? "1" : "64"));
        SocketIcmpEcho echo(false);
        const EchoResult r = echo.echo(address, "hello", timeoutMs);
        QVERIFY(setDefaultTtl("64"));
        QCOMPARE(r.status, expected);
        if (expected == EchoResult::Status::Ok)
            QVERIFY(r.roundTripMs >= 0 && r.roundTripMs < timeoutMs);
    }

    void eventsRunWhileWaiting() {
        QVERIFY(setPingGroups("0 2147483647"));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(0);
        SocketIcmpEcho echo; // pumps by default
        QCOMPARE(echo.echo(kNobody, "hello", 200).status, EchoResult::Status::TimedOut);
        QVERIFY(ticks > 0);
        timer.stop();
        ticks = 0;
        timer.start(0);
        SocketIcmpEcho quiet(false);
        QCOMPARE(quiet.echo(kNobody, "hello", 100).status, EchoResult::Status::TimedOut);
        QCOMPARE(ticks, 0);
    }

    void cleanupTestCase() {
        if (g_ownNetwork)
            setPingGroups("1 0");
    }
};

int main(int argc, char** argv) {
    // Before any thread exists: a namespace is a per-thread property.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0)
        g_ownNetwork = std::system(kSetUp) == 0;
    int rc;
    {
        QCoreApplication app(argc, argv);
        TestOwnNetwork test;
        rc = QTest::qExec(&test, argc, argv);
    }
    if (g_ownNetwork)
        std::system(kTearDown);
    return rc;
}

#include "tst_platform_ownnetwork.moc"
