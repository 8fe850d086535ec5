// What only a real link shows, in the station's namespace of a rig whose first element
// (192.0.2.10) answers ARP and is the route to 198.18/15, which it cannot reach.
#include "support/netnsrig.h"

#include "platform/icmpecho.h"
#include "platform/neighbourtable.h"
#include "platform/udpendpoint.h"

#include <QtNetwork>
#include <QtTest>

using namespace platform;

class TestLink : public QObject {
    Q_OBJECT
    testsupport::NetnsRig m_rig;

private slots:
    void initTestCase() {
        KN_REQUIRE(testsupport::NetnsRig::unavailableReason());
        QVERIFY2(m_rig.create(), qPrintable(m_rig.lastError()));
        QVERIFY2(m_rig.sh("ip -n ${P}st route add 198.18.0.0/15 via 192.0.2.10\n"
                          "ip netns exec ${P}e0 sysctl -qw net.ipv4.ip_forward=1"),
                 qPrintable(m_rig.lastError()));
    }

    void broadcastLeavesByTheBoundAddress() {
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

    void solicitedNeighbourIsFound() {
        KernelNeighbourTable table;
        table.solicit(0xC000020A);
        QTRY_COMPARE(table.lookup({0xC000020A}).value(0xC000020A).toHex(), "020000000010");
    }

    void routerReportsUnreachable() {
        const EchoResult r = SocketIcmpEcho(false).echo(0xC6120001, QByteArray(), 3000);
        QCOMPARE(r.status, EchoResult::Status::Unreachable);
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
