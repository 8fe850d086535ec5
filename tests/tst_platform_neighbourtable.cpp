// The readers of the kernel's neighbour table, on bytes built here, and the real lookup
// of addresses that never have a neighbour.
#include "platform/neighbourtable.h"

#include <QtTest>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

using namespace platform;

namespace {

void appendAttribute(QByteArray* out, quint16 type, const QByteArray& data) {
    rtattr a{};
    a.rta_type = type;
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(data.size()));
    out->append(reinterpret_cast<const char*>(&a), sizeof a);
    out->append(data);
    out->append(QByteArray(RTA_ALIGN(a.rta_len) - a.rta_len, '\0'));
}

QByteArray ipv4(quint32 hostOrder) {
    const quint32 n = htonl(hostOrder);
    return QByteArray(reinterpret_cast<const char*>(&n), 4);
}

// One RTM_NEWNEIGH message as the kernel sends it in a dump.
QByteArray neighbour(quint32 address, quint16 state, const QByteArray& hardware,
                     int family = AF_INET, quint16 type = RTM_NEWNEIGH) {
    QByteArray body;
    ndmsg nd{};
    nd.ndm_family = static_cast<unsigned char>(family);
    nd.ndm_ifindex = 2;
    nd.ndm_state = state;
    body.append(reinterpret_cast<const char*>(&nd), sizeof nd);
    body.append(QByteArray(NLMSG_ALIGN(sizeof nd) - sizeof nd, '\0'));
    appendAttribute(&body, NDA_DST, ipv4(address));
    if (!hardware.isNull())
        appendAttribute(&body, NDA_LLADDR, hardware);
    appendAttribute(&body, NDA_PROBES, QByteArray(4, '\0'));
    nlmsghdr h{};
    h.nlmsg_len = static_cast<quint32>(NLMSG_LENGTH(body.size()));
    h.nlmsg_type = type;
    h.nlmsg_flags = NLM_F_MULTI;
    QByteArray out(reinterpret_cast<const char*>(&h), sizeof h);
    out.append(body);
    out.append(QByteArray(NLMSG_ALIGN(h.nlmsg_len) - h.nlmsg_len, '\0'));
    return out;
}

QByteArray done() {
    nlmsghdr h{};
    h.nlmsg_len = NLMSG_LENGTH(4);
    h.nlmsg_type = NLMSG_DONE;
    QByteArray out(reinterpret_cast<const char*>(&h), sizeof h);
    out.append(QByteArray(4, '\0'));
    return out;
}

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
constexpr quint32 kElement = 0xC0A8015B; // 192.168.1.91

} // namespace

Q_DECLARE_METATYPE(std::optional<QByteArray>)

class TestNeighbourTable : public QObject {
    Q_OBJECT

private slots:
    void netlinkDump_data() {
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<QByteArray>("expected"); // null: not found
        const QByteArray other = QByteArray::fromHex("020000000001");
        QTest::newRow("reachable") << neighbour(kElement, NUD_REACHABLE, kMac) + done() << kMac;
        QTest::newRow("stale") << neighbour(kElement, NUD_STALE, kMac) + done() << kMac;
        QTest::newRow("delay") << neighbour(kElement, NUD_DELAY, kMac) + done() << kMac;
        QTest::newRow("probe") << neighbour(kElement, NUD_PROBE, kMac) + done() << kMac;
        QTest::newRow("permanent") << neighbour(kElement, NUD_PERMANENT, kMac) + done() << kMac;
        QTest::newRow("incomplete")
            << neighbour(kElement, NUD_INCOMPLETE, QByteArray(6, '\0')) + done() << QByteArray();
        QTest::newRow("failed") << neighbour(kElement, NUD_FAILED, kMac) + done() << QByteArray();
        QTest::newRow("noarp") << neighbour(kElement, NUD_NOARP, kMac) + done() << QByteArray();
        QTest::newRow("none state") << neighbour(kElement, NUD_NONE, kMac) + done() << QByteArray();
        QTest::newRow("no hardware attribute")
            << neighbour(kElement, NUD_REACHABLE, QByteArray()) + done() << QByteArray();
        QTest::newRow("other address only")
            << neighbour(kElement + 1, NUD_REACHABLE, other) + done() << QByteArray();
        QTest::newRow("among others") << neighbour(kElement - 1, NUD_REACHABLE, other) +
                                             neighbour(kElement, NUD_FAILED, other) +
                                             neighbour(kElement, NUD_STALE, kMac) + done()
                                      << kMac;
        QTest::newRow("ipv6 family ignored")
            << neighbour(kElement, NUD_REACHABLE, other, AF_INET6) + done() << QByteArray();
        QTest::newRow("deleted entry ignored")
            << neighbour(kElement, NUD_REACHABLE, other, AF_INET, RTM_DELNEIGH) + done()
            << QByteArray();
        QTest::newRow("after done ignored")
            << done() + neighbour(kElement, NUD_REACHABLE, kMac) << QByteArray();
        QTest::newRow("eight-byte hardware address")
            << neighbour(kElement, NUD_REACHABLE, QByteArray::fromHex("0102030405060708")) + done()
            << QByteArray::fromHex("0102030405060708");
        QTest::newRow("without done") << neighbour(kElement, NUD_REACHABLE, kMac) << kMac;
    }
    void netlinkDump() {
        QFETCH(QByteArray, dump);
        QFETCH(QByteArray, expected);
        const auto found = findInNeighbourDump(dump, kElement);
        QCOMPARE(found.has_value(), !expected.isNull());
        if (found)
            QCOMPARE(*found, expected);
    }

    void procNetArp_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head =
            "IP address       HW type     Flags       HW address            Mask     Device\n";
        QTest::newRow("complete")
            << head +
                   "192.168.1.91     0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
            << kMac;
        QTest::newRow("permanent")
            << head +
                   "192.168.1.91     0x1         0x6         00:1A:2B:3C:4D:5E     *        eth0\n"
            << kMac;
        QTest::newRow("incomplete")
            << head +
                   "192.168.1.91     0x1         0x0         00:00:00:00:00:00     *        eth0\n"
            << QByteArray();
        QTest::newRow("other address")
            << head +
                   "192.168.1.9      0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
            << QByteArray();
        QTest::newRow("second row")
            << head +
                   "192.168.1.90     0x1         0x2         02:00:00:00:00:01     *        eth0\n"
                   "192.168.1.91     0x1         0x2         00:1a:2b:3c:4d:5e     *        eth1\n"
            << kMac;
        QTest::newRow("no trailing newline")
            << head + "192.168.1.91     0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0"
            << kMac;
        QTest::newRow("bad hardware text")
            << head +
                   "192.168.1.91     0x1         0x2         00:1a:zz:3c:4d:5e     *        eth0\n"
            << QByteArray();
        QTest::newRow("first line is never a row")
            << QByteArray("192.168.1.91 0x1 0x2 00:1a:2b:3c:4d:5e * eth0\n") << QByteArray();
    }
    void procNetArp() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        const auto found = findInProcArp(text, kElement);
        QCOMPARE(found.has_value(), !expected.isNull());
        if (found)
            QCOMPARE(*found, expected);
    }

    void addressesWithoutNeighbours_data() {
        QTest::addColumn<quint32>("address");
        QTest::newRow("0.0.0.0") << 0u;
        QTest::newRow("127.0.0.1") << 0x7F000001u;
        QTest::newRow("127.1.2.3") << 0x7F010203u;
        QTest::newRow("255.255.255.255") << 0xFFFFFFFFu;
        QTest::newRow("multicast") << 0xE0000001u;
    }
    void addressesWithoutNeighbours() {
        QFETCH(quint32, address);
        KernelNeighbourTable table;
        QVERIFY(!table.resolve(address).has_value());
    }
};

QTEST_GUILESS_MAIN(TestNeighbourTable)
#include "tst_platform_neighbourtable.moc"
