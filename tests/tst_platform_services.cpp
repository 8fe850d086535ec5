// The platform services on real parts: boxes, UDP, ICMP, the neighbour table, addresses,
// settings, the instance lock and where nms.ini lives. As root the program first moves into
// a network namespace of its own, linked to a peer (192.0.2.2, 02:00:00:00:00:02) that
// forwards nothing; the tests named net* need it.
#include "fakes/scriptedmessagebox.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "platform/programdir.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"

#include "support/requiredbyci.h"

#include <QApplication>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <fcntl.h>
#include <linux/rtnetlink.h>
#include <netinet/ip_icmp.h>
#include <sched.h>
#include <sys/mman.h>

using namespace platform;

namespace {

bool g_ownNetwork = false;
constexpr quint32 kSelf = 0x7F000001, kPeer = 0xC0000202, kNobody = 0xC0000207;
constexpr quint32 kRouted = 0xC6120001; // the peer has no route for it

// PEER: the peer's namespace. Permanent entries (all 02:00:00:00:00:09) include addresses
// that can never be a neighbour; 198.51.100/24 goes via one of them, 198.18/15 via the peer.
const char* const kSetUp =
    "set -e; exec >/dev/null 2>&1; ip link set lo up;"
    "ip link add v0 address 02:00:00:00:00:01 type veth peer name v1 address 02:00:00:00:00:02"
    " netns PEER; ip addr add 192.0.2.1/24 dev v0; ip link set v0 up;"
    "for a in 192.0.2.3 128.0.0.9 240.0.0.9 127.0.0.9 0.0.0.0 224.0.0.9 239.1.1.1"
    " 255.255.255.255; do ip neigh add $a lladdr 02:00:00:00:00:09 dev v0 nud permanent; done;"
    "ip route add 198.51.100.0/24 via 192.0.2.3; ip route add 198.18.0.0/15 via 192.0.2.2;"
    "nsenter --net=PEER sh -c 'ip link set lo up; ip addr add 192.0.2.2/24 dev v1;"
    " ip link set v1 up; sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0'";

bool enterOwnNetwork() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0)
        return false;
    const int peer = ::open("/proc/self/ns/net", O_RDONLY); // open: the peer lives while we do
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(peer); // inherited
    return peer >= 0 && ::unshare(CLONE_NEWNET) == 0 &&
           std::system(QByteArray(kSetUp).replace("PEER", path).constData()) == 0;
}

bool writeProc(const char* key, const char* value) {
    QFile f(QStringLiteral("/proc/sys/net/ipv4/") + QLatin1String(key));
    return f.open(QIODevice::WriteOnly) && f.write(value) > 0;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

template <typename T> QByteArray raw(const T& v) {
    return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}

QByteArray message(quint16 type, const QByteArray& body) {
    nlmsghdr h{static_cast<quint32>(NLMSG_LENGTH(body.size())), type, NLM_F_MULTI, 0, 0};
    return raw(h) + body + QByteArray(NLMSG_ALIGN(h.nlmsg_len) - h.nlmsg_len, '\0');
}

QByteArray attribute(quint16 type, const QByteArray& data) {
    const rtattr a{static_cast<unsigned short>(RTA_LENGTH(data.size())), type};
    return raw(a) + data + QByteArray(RTA_ALIGN(a.rta_len) - a.rta_len, '\0');
}

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e"), kOther(6, 1);
constexpr quint32 kElement = 0xC0A8015B; // 192.168.1.91

// One entry of a netlink dump of the neighbour table.
QByteArray entry(quint16 state, const QByteArray& hw = kMac, quint32 address = kElement,
                 quint16 type = RTM_NEWNEIGH) {
    const ndmsg nd{AF_INET, 0, 0, 2, state, 0, 0};
    const QByteArray body = raw(nd) + attribute(NDA_DST, raw(htonl(address))) +
                            (hw.isNull() ? QByteArray() : attribute(NDA_LLADDR, hw));
    return message(type, body + attribute(NDA_PROBES, QByteArray(4, '\0')));
}

// The bytes end where readable memory ends: a reader that looks past them crashes.
QByteArray atPageEnd(const QByteArray& bytes) {
    static const long page = ::sysconf(_SC_PAGESIZE);
    static char* const end = static_cast<char*>(::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) +
                             page;
    ::mprotect(end, page, PROT_NONE);
    std::memcpy(end - bytes.size(), bytes.constData(), bytes.size());
    return QByteArray::fromRawData(end - bytes.size(), bytes.size());
}

} // namespace

class TestServices : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (QByteArray(QTest::currentTestFunction()).startsWith("net") && !g_ownNetwork) {
            QVERIFY2(!testsupport::rigRequiredByCi(),
                     "needs root for a network namespace of its own");
            QSKIP("needs root for a network namespace of its own");
        }
    }

    void realBox() {
        // The answer, then what the box showed: title|text|icon|buttons|default.
        const auto show = [this](const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, QMessageBox::StandardButton press) {
            QString seen;
            QTimer::singleShot(0, this, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QStringList names;
                for (QAbstractButton* b : box->buttons())
                    names << b->text().remove('&');
                seen = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                                   names.join(' '), box->defaultButton()->text().remove('&')}
                           .join('|');
                box->button(press)->click();
            });
            return QString::number(int(showMessage(text, title, icon, buttons))) + '|' + seen;
        };
        QCOMPARE(show("Invalid IP address.\rCannot save.", "", MsgIcon::Critical, MsgButtons::Ok,
                      QMessageBox::Ok),
                 "0|Talvoren Kestrune Manager|Invalid IP address.\nCannot save.|3|OK|OK");
        QCOMPARE(show("Send?", "NMS", MsgIcon::Question, MsgButtons::YesNo, QMessageBox::Yes),
                 "1|NMS|Send?|4|Yes No|No");
        QCOMPARE(show("a\r\rb", "", MsgIcon::Exclamation, MsgButtons::YesNo, QMessageBox::No),
                 "2|Talvoren Kestrune Manager|a\n\nb|2|Yes No|No");
    }

    void scriptedBox() {
        ScriptedMessageBox box;
        box.enqueue(MsgAnswer::Yes);
        bool ran = false; // held open while events run, until this holds
        QTimer::singleShot(0, this, [&] { ran = true; });
        box.stayOpen("Wait", 10000, [&] { return ran; });
        QCOMPARE(showMessage("Wait\rhere", "T", MsgIcon::Question, MsgButtons::YesNo),
                 MsgAnswer::Yes);
        QVERIFY(ran);
        QCOMPARE(showMessage("Again?", "", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
        QCOMPARE(box.texts(), (QStringList{"Wait\rhere", "Again?"}));
    }

    void udpEndpoint() {
        const Ipv4Address loopback(0x7F000001);
        UdpEndpoint a, b;
        QCOMPARE(a.localPort(), quint16(0));
        QVERIFY(!a.sendTo(loopback, 9, "x")); // not bound
        QVERIFY(a.bind(loopback, 0));
        const quint16 port = a.localPort();
        QCOMPARE(a.localAddress(), loopback);
        for (quint32 refused : {0x7F000001u, 0u, 0xC000027Bu}) // taken, or not ours
            QVERIFY2(!b.bind(Ipv4Address(refused), port) && !b.isOpen(),
                     qPrintable(Ipv4Address(refused).toString()));
        QVERIFY(!a.sendTo(loopback, 0, "x")); // port 0
        QVERIFY(!a.sendTo(loopback, 9, QByteArray(70000, 'x')));
        QVERIFY(a.bind(loopback, 0)); // moves without a close, freeing the old port
        QVERIFY(b.bind(loopback, port));
    }

    void udpReceiver_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("count");
        QTest::newRow("closes") << 0 << 1;
        QTest::newRow("deletes") << 1 << 1;
        // Sent before the receiver reads: all arrive, in order, without loss. A receiver that
        // lets events run (a box) gets the next one only once it returns.
        QTest::newRow("burst, paused and resumed meanwhile") << 2 << 500;
    }
    void udpReceiver() {
        QFETCH(int, action);
        QFETCH(int, count);
        auto* endpoint = new UdpEndpoint(this);
        UdpEndpoint peer;
        const Ipv4Address loopback(0x7F000001);
        QVERIFY(endpoint->bind(loopback, 0) && peer.bind(loopback, 0));
        QPointer<UdpEndpoint> alive(endpoint);
        QList<QByteArray> sent, got;
        for (int i = 0; i < 500; ++i)
            QVERIFY(peer.sendTo(loopback, endpoint->localPort(),
                                sent.emplaceBack(QByteArray::number(i) + QByteArray(41, char(i)))));
        int depth = 0, deepest = 0;
        connect(endpoint, &UdpEndpoint::datagramReceived, this, [&](const QByteArray& p) {
            got << p;
            deepest = qMax(deepest, ++depth);
            if (action == 0)
                endpoint->close();
            else if (action == 1)
                delete endpoint;
            else if (got.size() == 1)
                endpoint->setPaused(true), endpoint->setPaused(false), qApp->processEvents();
            --depth;
        });
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), count, 10000);
        QCOMPARE(got, sent.first(count));
        QCOMPARE(deepest, 1);
        QCOMPARE(alive ? alive->isOpen() : false, action == 2);
    }

    void neighbourReaders_data() {
        QTest::addColumn<QByteArray>("bytes");    // a netlink dump, or /proc/net/arp text
        QTest::addColumn<QByteArray>("expected"); // empty: not found
        const QByteArray done = message(NLMSG_DONE, QByteArray(4, '\0')), none;
        QTest::newRow("stale") << entry(NUD_STALE) + done << kMac;
        QTest::newRow("no hardware") << entry(NUD_REACHABLE, QByteArray()) << none;
        QTest::newRow("among others")
            << entry(NUD_STALE, kOther, kElement - 1) + entry(NUD_FAILED, kOther) + entry(NUD_DELAY)
            << kMac;
        QTest::newRow("deleted") << entry(NUD_STALE, kMac, kElement, RTM_DELNEIGH) << none;
        QTest::newRow("after done") << done + entry(NUD_REACHABLE) << none;
        QTest::newRow("truncated") << entry(NUD_PROBE).chopped(12) << none;
        const QByteArray head = "IP address HW type Flags HW address Mask Device\n",
                         row =
                             "192.168.1.91     0x1     0x2     00:1a:2b:3c:4d:5e     *     eth0\n";
        QTest::newRow("arp: complete") << head + row << kMac;
        QTest::newRow("arp: second, no end")
            << head + "1.2.3.4 0 2 2:0:0:0:0:1\n" + row.trimmed() << kMac;
        QTest::newRow("arp: permanent") << head + "192.168.1.91 1 6 00:1A:2B:3C:4D:5E" << kMac;
        QTest::newRow("arp: incomplete") << head + "192.168.1.91 1 0 00:00:00:00:00:00" << none;
        QTest::newRow("arp: bad hardware") << head + "192.168.1.91 1 2 00:1a:2b:3c:4d:zz" << none;
        QTest::newRow("arp: first line names columns") << row << none;
    }
    void neighbourReaders() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        const HardwareAddresses found = bytes.startsWith("IP") || bytes.startsWith("192")
                                            ? neighboursInProcArp(bytes)
                                            : neighboursInDump(atPageEnd(bytes));
        QCOMPARE(found.value(kElement), expected);
    }

    void localAddressOrder() { // numeric, loopback last, each once
        QCOMPARE(orderLocalAddresses({0x7F000001, 0xC0A8010A, 0xC0A80109, 0x0A000000, 0x0A000000}),
                 (QStringList{"10.0.0.0", "192.168.1.9", "192.168.1.10", "127.0.0.1"}));
    }

    void settingsFile() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        IniSettingsStore store;
        QCOMPARE(store.filePath(), dir.filePath("Talvoren/Talvoren.ini"));
        QCOMPARE(store.get("EULA1", "0"), QStringLiteral("0"));
        QVERIFY(!QFile::exists(store.filePath())); // reading writes nothing
        QVERIFY(store.save("NMS IP Address", "10.0.0.7") && store.save("EULA1", "a, b"));
        QVERIFY(store.save("AutoClearCounters", "1") && store.save("AutoClearCounters", " x\";y"));
        QCOMPARE(contents(store.filePath()), "[Kestrune]\nAutoClearCounters=\" x\\\";y\"\n"
                                             "EULA1=\"a, b\"\nNMS%20IP%20Address=10.0.0.7\n");
        QCOMPARE(IniSettingsStore().get("AutoClearCounters", ""), QStringLiteral(" x\";y"));
        QVERIFY(!IniSettingsStore(store.filePath() + "/x.ini").save("EULA1", "1")); // no folder
    }

    void singleInstance() {
        QTemporaryDir dir;
        const QString path = dir.filePath("nms.lock");
        auto first = std::make_unique<SingleInstanceLock>(path);
        QVERIFY(first->tryAcquire());
        QVERIFY(!SingleInstanceLock(path).tryAcquire());
        QProcess child; // started while we hold it: it must not keep it
        child.start("sleep", {"30"});
        QVERIFY(child.waitForStarted());
        first.reset();
        QVERIFY(SingleInstanceLock(path).tryAcquire());
    }

    void databaseDirectory() {
        // The program's folder (below a fresh one)|a menu entry made in its
        // ../share/applications|the folder of nms.ini.
        for (const QString& c :
             {"build/app||build/app", "copy/bin|other.desktop|copy/bin",
              "usr/bin|com.talvoren.KestruneNMS.desktop|data/Talvoren/Kestrune"}) {
            const QStringList f = c.split('|');
            QTemporaryDir tmp;
            const QDir apps(tmp.filePath(f[0] + "/../share/applications"));
            QVERIFY(QDir().mkpath(tmp.filePath(f[0])) && QDir().mkpath(apps.path()));
            QVERIFY(f[1].isEmpty() || QFile(apps.filePath(f[1])).open(QIODevice::WriteOnly));
            qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.filePath("data")));
            QCOMPARE(databaseDirectoryFor(tmp.filePath(f[0])), tmp.filePath(f[2]));
        }
    }

    void netBroadcastLeavesByTheBoundAddress() {
        QCOMPARE(localAddresses().read().addresses, (QStringList{"192.0.2.1", "127.0.0.1"}));
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, 41901));
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(Ipv4Address(0xC0000201), 0));
        QVERIFY(endpoint.sendTo(Ipv4Address(0xFFFFFFFF), 41901, "PAGE"));
        QVERIFY(listener.waitForReadyRead(2000));
        const QNetworkDatagram got = listener.receiveDatagram();
        QCOMPARE(got.data(), QByteArray("PAGE"));
        QCOMPARE(got.senderAddress(), QHostAddress("192.0.2.1"));
    }

    void netResolve_data() {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("expected"); // in hex
        QTest::newRow("on the link") << kPeer << QByteArray("020000000002");
        QTest::newRow("permanent entry") << 0xC0000203u << QByteArray("020000000009");
        QTest::newRow("128/8 entry") << 0x80000009u << QByteArray("020000000009");
        QTest::newRow("240/4 entry") << 0xF0000009u << QByteArray("020000000009");
        QTest::newRow("nobody there") << kNobody << QByteArray();
        QTest::newRow("off-link, its gateway known") << 0xC6336401u << QByteArray();
        for (quint32 never : {0x7F000009u, 0u, 0xE0000009u, 0xEF010101u, 0xFFFFFFFFu})
            QTest::newRow(qPrintable(QHostAddress(never).toString())) << never << QByteArray();
    }
    void netResolve() {
        QFETCH(quint32, address);
        QFETCH(QByteArray, expected);
        KernelNeighbourTable table;
        table.solicit(address);
        QByteArray found;
        QTest::qWaitFor([&] { return !(found = table.lookup({address}).value(address)).isEmpty(); },
                        expected.isEmpty() ? 300 : 3000);
        QCOMPARE(found.toHex(), expected);
    }

    void netEcho_data() { // "raw:" rows use a raw socket, the others a datagram one
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("expected");
        const int ok = int(EchoResult::Status::Ok), timedOut = int(EchoResult::Status::TimedOut),
                  unreachable = int(EchoResult::Status::Unreachable);
        QTest::newRow("self") << kSelf << QByteArray("hello") << ok;
        QTest::newRow("raw: self, odd") << kSelf << QByteArray("abc") << ok;
        QTest::newRow("raw: peer, empty") << kPeer << QByteArray() << ok;
        QTest::newRow("nobody") << kNobody << QByteArray("hello") << timedOut;
        QTest::newRow("router reports") << kRouted << QByteArray() << unreachable;
        QTest::newRow("raw: router reports") << kRouted << QByteArray() << unreachable;
        QTest::newRow("broadcast") << 0xFFFFFFFFu << QByteArray() << unreachable;
    }
    void netEcho() {
        QFETCH(quint32, address);
        QFETCH(QByteArray, payload);
        QFETCH(int, expected);
        const bool raw = QByteArray(QTest::currentDataTag()).startsWith("raw");
        QVERIFY(writeProc("ping_group_range", raw ? "1 0" : "0 2147483647"));
        const int timeoutMs = address == kNobody ? 300 : 3000;
        const EchoResult r = SocketIcmpEcho(false).echo(address, payload, timeoutMs);
        QCOMPARE(int(r.status), expected);
        QVERIFY(r.roundTripMs >= 0 && r.roundTripMs < timeoutMs);
    }

    void netRawEchoTakesAMinimalReport() {
        // A router may quote no more than the echo's IP header and first 8 bytes. Sent to a
        // broadcast address, such a report is left to the socket's own reading. It is sent
        // while the echo waits, so events must run meanwhile.
        QVERIFY(writeProc("ping_group_range", "1 0") && writeProc("icmp_echo_ignore_all", "1"));
        const int spy = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP), on = 1;
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
        QCOMPARE(int(r.status), int(EchoResult::Status::Unreachable));
    }
};

int main(int argc, char** argv) {
    // Before any thread exists: a network namespace belongs to a thread.
    g_ownNetwork = enterOwnNetwork();
    QApplication app(argc, argv);
    TestServices test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platform_services.moc"
