// The platform services on real parts: boxes, UDP, ICMP, the neighbour table, addresses,
// settings, the instance lock and where nms.ini lives. As root the program first moves into
// a network namespace of its own, linked to a peer (192.0.2.2, 02:00:00:00:00:02) that
// forwards nothing; the tests named net* need it.
#include "platform/fakes/scriptedmessagebox.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "platform/programdir.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netinet/ip_icmp.h>
#include <sched.h>
#include <sys/mman.h>

using namespace platform;

Q_DECLARE_METATYPE(platform::MsgIcon)
Q_DECLARE_METATYPE(platform::MsgButtons)
Q_DECLARE_METATYPE(platform::MsgAnswer)

namespace {

bool g_ownNetwork = false;

// PEER: the peer's namespace. Permanent entries (all 02:00:00:00:00:09) include addresses
// that can never be a neighbour; 198.51.100/24 goes via one of them, 198.18/15 via the peer.
const char* const kSetUp =
    "set -e; exec >/dev/null 2>&1; ip link set lo up;"
    "ip link add v0 address 02:00:00:00:00:01 type veth peer name v1 address 02:00:00:00:00:02"
    " netns PEER; ip addr add 192.0.2.1/24 dev v0; ip link set v0 up;"
    "for a in 192.0.2.3 128.0.0.9 240.0.0.9 127.0.0.9 0.0.0.0 224.0.0.9 239.1.1.1"
    " 255.255.255.255; do ip neigh add $a lladdr 02:00:00:00:00:09 dev v0 nud permanent; done;"
    "ip route add 198.51.100.0/24 via 192.0.2.3; ip route add 198.18.0.0/15 via 192.0.2.2;"
    "ip route add unreachable 203.0.113.0/24;"
    "nsenter --net=PEER sh -c 'ip link set lo up; ip addr add 192.0.2.2/24 dev v1;"
    " ip link set v1 up; sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0'";

bool enterOwnNetwork() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0)
        return false;
    const int peer = ::open("/proc/self/ns/net", O_RDONLY); // open: the peer lives while we do
    if (peer < 0 || ::unshare(CLONE_NEWNET) != 0)
        return false;
    const QByteArray path =
        "/proc/" + QByteArray::number(::getpid()) + "/fd/" + QByteArray::number(peer);
    return std::system(QByteArray(kSetUp).replace("PEER", path).constData()) == 0;
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

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
constexpr quint32 kElement = 0xC0A8015B; // 192.168.1.91

QByteArray neighbour(quint16 state, const QByteArray& hw = kMac, quint32 address = kElement,
                     unsigned char family = AF_INET, quint16 type = RTM_NEWNEIGH) {
    const ndmsg nd{family, 0, 0, 2, state, 0, 0};
    QByteArray body = raw(nd) + attribute(NDA_DST, raw(htonl(address)));
    if (!hw.isNull())
        body += attribute(NDA_LLADDR, hw);
    return message(type, body + attribute(NDA_PROBES, QByteArray(4, '\0')));
}

const QByteArray kDone = message(NLMSG_DONE, QByteArray(4, '\0'));

// The bytes end where readable memory ends: a reader that looks past them crashes.
QByteArray atPageEnd(const QByteArray& bytes) {
    static char* const end = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        auto* m = static_cast<char*>(
            ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ::mprotect(m + page, page, PROT_NONE);
        return m + page;
    }();
    std::memcpy(end - bytes.size(), bytes.constData(), bytes.size());
    return QByteArray::fromRawData(end - bytes.size(), bytes.size());
}

QByteArray arpRow(const char* ip, const char* flags, const char* hw) {
    return QByteArray(ip) + "     0x1         " + flags + "         " + hw + "     *        eth0\n";
}

} // namespace

class TestServices : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (QByteArray(QTest::currentTestFunction()).startsWith("net") && !g_ownNetwork) {
            if (qgetenv("CI") == "true")
                QFAIL("needs root for a network namespace of its own");
            QSKIP("needs root for a network namespace of its own");
        }
    }

    void realBox_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<MsgIcon>("icon");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<QString>("shown"); // title|text|icon|buttons|default
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("lines, application title")
            << "Invalid IP address.\rCannot save."
            << "" << MsgIcon::Critical << MsgButtons::Ok << int(QMessageBox::Ok)
            << "Talvoren Kestrune Manager|Invalid IP address.\nCannot save.|3|OK|OK"
            << MsgAnswer::Ok;
        QTest::newRow("own title")
            << "Running!"
            << "Talvoren Kestrune NMS" << MsgIcon::Information << MsgButtons::Ok
            << int(QMessageBox::Ok) << "Talvoren Kestrune NMS|Running!|1|OK|OK" << MsgAnswer::Ok;
        QTest::newRow("yes") << "Send?"
                             << "" << MsgIcon::Question << MsgButtons::YesNo
                             << int(QMessageBox::Yes)
                             << "Talvoren Kestrune Manager|Send?|4|No Yes|No" << MsgAnswer::Yes;
        QTest::newRow("no") << "a\r\rb"
                            << "" << MsgIcon::Exclamation << MsgButtons::YesNo
                            << int(QMessageBox::No)
                            << "Talvoren Kestrune Manager|a\n\nb|2|No Yes|No" << MsgAnswer::No;
    }
    void realBox() {
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(MsgIcon, icon);
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(QString, shown);
        QFETCH(MsgAnswer, answer);
        QString seen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QStringList names;
            for (QAbstractButton* b : box->buttons())
                names << b->text().remove(QLatin1Char('&'));
            names.sort();
            seen = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                               names.join(' '), box->defaultButton()->text().remove('&')}
                       .join('|');
            box->button(QMessageBox::StandardButton(press))->click();
        });
        QCOMPARE(showMessage(text, title, icon, buttons), answer);
        QCOMPARE(seen, shown);
    }

    void scriptedBox() {
        ScriptedMessageBox box;
        box.enqueue(MsgAnswer::Yes);
        QCOMPARE(showMessage("Send?", "", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::Yes);
        QCOMPARE(showMessage("Again?", "T", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
        // Held open while events run, until the condition holds.
        bool ran = false;
        QTimer::singleShot(0, this, [&] { ran = true; });
        box.stayOpen("Wait", 10000, [&] { return ran; });
        QCOMPARE(showMessage("Wait\rhere", "", MsgIcon::Critical), MsgAnswer::Ok);
        QVERIFY(ran);
        QCOMPARE(box.texts(), (QStringList{"Send?", "Again?", "Wait\rhere"}));
        QCOMPARE(box.titles(), (QStringList{"", "T", ""}));
    }

    void udpBind() {
        UdpEndpoint a, b;
        QCOMPARE(a.localPort(), quint16(0));
        QVERIFY(a.bind("127.0.0.1", 0));
        const quint16 port = a.localPort();
        QCOMPARE(a.localAddress(), QStringLiteral("127.0.0.1"));
        for (const char* taken : {"127.0.0.1", "0.0.0.0"})
            QVERIFY(!b.bind(taken, port)); // occupied
        QVERIFY(!b.bind("localhost", 0) && !b.bind("127.0.1", 0) && !b.bind("192.0.2.123", 0));
        QVERIFY(a.bind("127.0.0.1", 0)); // moves without a close, freeing the old port
        QVERIFY(b.bind("127.0.0.1", port));
    }

    void udpSendRefused_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("size");
        QTest::newRow("name") << "localhost" << 2976 << 4;
        QTest::newRow("part above 255") << "127.0.0.256" << 2976 << 4;
        QTest::newRow("ipv6") << "::1" << 2976 << 4;
        QTest::newRow("port 0") << "127.0.0.1" << 0 << 4;
        QTest::newRow("too large") << "127.0.0.1" << 2976 << 70000;
    }
    void udpSendRefused() {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, size);
        UdpEndpoint endpoint;
        endpoint.setRemote(host, quint16(port));
        QVERIFY(!endpoint.send("x")); // not bound
        QVERIFY(endpoint.bind("127.0.0.1", 0));
        QVERIFY(!endpoint.send(QByteArray(size, 'x')));
        QVERIFY(endpoint.isOpen());
    }

    void udpBurstArrivesWhole() {
        // Sent before the receiver gets a chance to read: every one arrives, in order.
        UdpEndpoint from, to;
        QVERIFY(to.bind("127.0.0.1", 0) && from.bind("127.0.0.1", 0));
        QList<QByteArray> got;
        connect(&to, &UdpEndpoint::datagramReceived, this, [&](const QByteArray& p) { got << p; });
        from.setRemote(" 127.0.0.1", to.localPort());
        QList<QByteArray> sent{QByteArray(), QByteArray("\0\1", 2)};
        for (int i = 0; i < 500; ++i)
            sent << QByteArray::number(i) + QByteArray(41, char(i));
        for (const QByteArray& p : sent)
            QVERIFY(from.send(p));
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), sent.size(), 10000);
        QCOMPARE(got, sent);
    }

    void udpReceiverEndsTheEndpoint_data() {
        QTest::addColumn<bool>("deletes");
        QTest::newRow("closes") << false;
        QTest::newRow("deletes") << true;
    }
    void udpReceiverEndsTheEndpoint() {
        QFETCH(bool, deletes);
        auto* endpoint = new UdpEndpoint(this);
        QVERIFY(endpoint->bind("127.0.0.1", 0));
        QPointer<UdpEndpoint> alive(endpoint);
        int seen = 0;
        connect(endpoint, &UdpEndpoint::datagramReceived, this, [&] {
            ++seen;
            deletes ? delete endpoint : endpoint->close();
        });
        QUdpSocket peer;
        for (int i = 0; i < 5; ++i)
            peer.writeDatagram("x", QHostAddress::LocalHost, endpoint->localPort());
        QTRY_COMPARE_WITH_TIMEOUT(seen, 1, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(seen, 1);
        QVERIFY(deletes ? !alive : !endpoint->isOpen());
        delete alive;
    }

    void netlinkDump_data() {
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<QByteArray>("expected"); // null: not found
        const QByteArray other = QByteArray::fromHex("020000000001");
        QTest::newRow("reachable") << neighbour(NUD_REACHABLE) + kDone << kMac;
        QTest::newRow("stale") << neighbour(NUD_STALE) + kDone << kMac;
        QTest::newRow("permanent") << neighbour(NUD_PERMANENT) + kDone << kMac;
        QTest::newRow("incomplete") << neighbour(NUD_INCOMPLETE, QByteArray(6, 0)) << QByteArray();
        QTest::newRow("failed") << neighbour(NUD_FAILED) + kDone << QByteArray();
        QTest::newRow("noarp") << neighbour(NUD_NOARP) + kDone << QByteArray();
        QTest::newRow("no hardware") << neighbour(NUD_REACHABLE, QByteArray()) << QByteArray();
        QTest::newRow("other address") << neighbour(NUD_STALE, other, kElement + 1) << QByteArray();
        QTest::newRow("among others") << neighbour(NUD_STALE, other, kElement - 1) +
                                             neighbour(NUD_FAILED, other) + neighbour(NUD_DELAY)
                                      << kMac;
        QTest::newRow("ipv6") << neighbour(NUD_STALE, kMac, kElement, AF_INET6) << QByteArray();
        QTest::newRow("deleted") << neighbour(NUD_STALE, kMac, kElement, AF_INET, RTM_DELNEIGH)
                                 << QByteArray();
        QTest::newRow("after done") << kDone + neighbour(NUD_REACHABLE) << QByteArray();
        QTest::newRow("eight bytes") << neighbour(NUD_PROBE, QByteArray(8, 7)) << QByteArray(8, 7);
        QTest::newRow("truncated") << neighbour(NUD_STALE).chopped(12) << QByteArray();
    }
    void netlinkDump() {
        QFETCH(QByteArray, dump);
        QFETCH(QByteArray, expected);
        QCOMPARE(findInNeighbourDump(atPageEnd(dump), kElement).value_or(QByteArray()), expected);
    }

    void procNetArp_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head = "IP address       HW type     Flags       HW address            "
                                "Mask     Device\n";
        const QByteArray row = arpRow("192.168.1.91", "0x2", "00:1a:2b:3c:4d:5e");
        QTest::newRow("complete") << head + row << kMac;
        QTest::newRow("no newline") << head + row.chopped(1) << kMac;
        QTest::newRow("permanent")
            << head + arpRow("192.168.1.91", "0x6", "00:1A:2B:3C:4D:5E") << kMac;
        QTest::newRow("incomplete")
            << head + arpRow("192.168.1.91", "0x0", "00:00:00:00:00:00") << QByteArray();
        QTest::newRow("second row")
            << head + arpRow("192.168.1.9", "0x2", "02:00:00:00:00:01") + row << kMac;
        QTest::newRow("bad hardware")
            << head + arpRow("192.168.1.91", "0x2", "00:1a:zz:3c:4d:5e") << QByteArray();
        QTest::newRow("first line is never a row") << row << QByteArray();
    }
    void procNetArp() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(findInProcArp(text, kElement).value_or(QByteArray()), expected);
    }

    void localAddressOrder() {
        // Numeric, loopback last, each once.
        QCOMPARE(
            orderLocalAddresses(
                {0x7F000001, 0xC0A8010A, 0xC0A80109, 0x0A000000, 0x09FFFFFF, 0x0A000000}),
            (QStringList{"9.255.255.255", "10.0.0.0", "192.168.1.9", "192.168.1.10", "127.0.0.1"}));
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
        QCOMPARE(settings().get("EULA1", ""), QStringLiteral("a, b"));
        // Below a plain file nothing can be written.
        QVERIFY(!IniSettingsStore(store.filePath() + "/x.ini").save("EULA1", "1"));
    }

    void singleInstance() {
        QTemporaryDir dir;
        const QString path = dir.filePath("nms.lock");
        auto first = std::make_unique<SingleInstanceLock>(path);
        QVERIFY(first->tryAcquire());
        QCOMPARE(contents(path), QByteArray::number(::getpid()) + '\n');
        QVERIFY(!SingleInstanceLock(path).tryAcquire());
        QProcess child; // started while we hold it: it must not keep it
        child.start("sleep", {"30"});
        QVERIFY(child.waitForStarted());
        first.reset();
        QVERIFY(SingleInstanceLock(path).tryAcquire());
        // A holder killed without a chance to let go.
        QProcess holder;
        holder.start("sh", {"-c", "exec 9>>\"$0\"; flock -n 9; echo held; exec sleep 30", path});
        QVERIFY(holder.waitForReadyRead());
        QVERIFY(!SingleInstanceLock(path).tryAcquire());
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(SingleInstanceLock(path).tryAcquire());
    }

    void databaseDirectory_data() {
        QTest::addColumn<QString>("programDir"); // below a fresh folder, as all paths here
        QTest::addColumn<QString>("entry");      // a file made there
        QTest::addColumn<QString>("dataHome");   // $XDG_DATA_HOME; "" unset
        QTest::addColumn<QString>("expected");
        const QString entry = "share/applications/com.talvoren.KestruneNMS.desktop";
        QTest::newRow("build folder") << "build/app"
                                      << "build/x"
                                      << "data"
                                      << "build/app";
        QTest::newRow("copied bin folder") << "copy/bin"
                                           << "copy/share/applications/other.desktop"
                                           << "data"
                                           << "copy/bin";
        QTest::newRow("installed") << "usr/bin"
                                   << "usr/" + entry << "data"
                                   << "data/Talvoren/Kestrune";
        QTest::newRow("installed, default data home") << "opt/bin"
                                                      << "opt/" + entry << ""
                                                      << "home/.local/share/Talvoren/Kestrune";
    }
    void databaseDirectory() {
        QFETCH(QString, programDir);
        QFETCH(QString, entry);
        QFETCH(QString, dataHome);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(programDir) &&
                QDir(tmp.path()).mkpath(QFileInfo(entry).path()));
        QVERIFY(QFile(tmp.filePath(entry)).open(QIODevice::WriteOnly));
        qputenv("HOME", QFile::encodeName(tmp.filePath("home")));
        qputenv("XDG_DATA_HOME",
                QFile::encodeName(dataHome.isEmpty() ? "" : tmp.filePath(dataHome)));
        QCOMPARE(databaseDirectoryFor(tmp.filePath(programDir)), tmp.filePath(expected));
        QVERIFY(!QFileInfo::exists(tmp.filePath("data/Talvoren"))); // made on use, not here
    }

    void netBroadcastLeavesByTheBoundAddress() {
        QCOMPARE(localAddresses().read().addresses, (QStringList{"192.0.2.1", "127.0.0.1"}));
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, 41901));
        UdpEndpoint endpoint, wildcard;
        QVERIFY(endpoint.bind("192.0.2.1", 0) && wildcard.bind("0.0.0.0", 0));
        endpoint.setRemote("255.255.255.255", 41901);
        wildcard.setRemote("255.255.255.255", 41901);
        QVERIFY(!wildcard.send("PAGE")); // no route covers it
        QVERIFY(endpoint.send("PAGE"));
        QVERIFY(listener.waitForReadyRead(2000));
        const QNetworkDatagram got = listener.receiveDatagram();
        QCOMPARE(got.data(), QByteArray("PAGE"));
        QCOMPARE(got.senderAddress(), QHostAddress("192.0.2.1"));
        QCOMPARE(got.destinationAddress(), QHostAddress::Broadcast);
    }

    void netResolve_data() {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("giveUpMs");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray entry = QByteArray::fromHex("020000000009");
        QTest::newRow("host on the link")
            << 0xC0000202u << 1000 << QByteArray::fromHex("020000000002");
        QTest::newRow("permanent entry") << 0xC0000203u << 0 << entry;
        QTest::newRow("128/8 entry") << 0x80000009u << 0 << entry;
        QTest::newRow("240/4 entry") << 0xF0000009u << 0 << entry;
        QTest::newRow("nobody there") << 0xC0000207u << 100 << QByteArray();
        QTest::newRow("off-link, its gateway known") << 0xC6336401u << 100 << QByteArray();
        for (quint32 never : {0x7F000009u, 0u, 0xE0000009u, 0xEF010101u, 0xFFFFFFFFu})
            QTest::newRow(qPrintable(QHostAddress(never).toString())) << never << 0 << QByteArray();
    }
    void netResolve() {
        QFETCH(quint32, address);
        QFETCH(int, giveUpMs);
        QFETCH(QByteArray, expected);
        QCOMPARE(KernelNeighbourTable(giveUpMs).resolve(address).value_or(QByteArray()), expected);
    }

    void netEcho_data() {
        QTest::addColumn<bool>("datagram"); // else a raw socket
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("expected");
        const int ok = int(EchoResult::Status::Ok),
                  unreachable = int(EchoResult::Status::Unreachable);
        QTest::newRow("datagram: self") << true << 0x7F000001u << QByteArray("hello") << 3000 << ok;
        QTest::newRow("raw: self, odd") << false << 0x7F000001u << QByteArray("abc") << 3000 << ok;
        QTest::newRow("raw: peer, empty") << false << 0xC0000202u << QByteArray() << 3000 << ok;
        QTest::newRow("datagram: peer, large")
            << true << 0xC0000202u << QByteArray(1400, 'x') << 3000 << ok;
        QTest::newRow("datagram: nobody") << true << 0xC0000207u << QByteArray("hello") << 300
                                          << int(EchoResult::Status::TimedOut);
        QTest::newRow("datagram: router reports")
            << true << 0xC6120001u << QByteArray("hello") << 3000 << unreachable;
        QTest::newRow("raw: router reports")
            << false << 0xC6120001u << QByteArray("hello") << 3000 << unreachable;
        QTest::newRow("raw: no route")
            << false << 0xCB007101u << QByteArray("hello") << 3000 << unreachable;
        QTest::newRow("broadcast")
            << true << 0xFFFFFFFFu << QByteArray("hello") << 300 << unreachable;
    }
    void netEcho() {
        QFETCH(bool, datagram);
        QFETCH(quint32, address);
        QFETCH(QByteArray, payload);
        QFETCH(int, timeoutMs);
        QFETCH(int, expected);
        QVERIFY(writeProc("ping_group_range", datagram ? "0 2147483647" : "1 0"));
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
        const EchoResult r = SocketIcmpEcho().echo(0x7F000001, QByteArray(), 3000);
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
