// The platform services that need no network of their own: the real box, UDP on loopback, the
// neighbour table's readers on known bytes, address order, settings and the instance lock.
#include "platform/localaddresses.h"
#include "platform/messagebox.h"
#include "platform/neighbourtable.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "platform/udpendpoint.h"

#include <QtTest>
#include <QtWidgets>

#include <arpa/inet.h>
#include <linux/rtnetlink.h>

using namespace platform;

namespace {

const Ipv4Address kLoopback(0x7F000001);
const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");

template <typename T> QByteArray raw(const T& v) {
    return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}

// One entry of 192.168.1.91 in a netlink dump of the neighbour table.
QByteArray entry(quint8 state, const QByteArray& mac = kMac, quint16 type = RTM_NEWNEIGH) {
    const auto attribute = [](quint16 type, const QByteArray& data) {
        const QByteArray bytes = raw(rtattr{quint16(4 + data.size()), type}) + data;
        return bytes + QByteArray(-bytes.size() & 3, '\0'); // netlink's 4-byte alignment
    };
    const QByteArray body = raw(ndmsg{AF_INET, 0, 0, 2, state, 0, 0}) +
                            attribute(NDA_DST, raw(htonl(0xC0A8015B))) + attribute(NDA_LLADDR, mac);
    return raw(nlmsghdr{quint32(16 + body.size()), type, 0, 0, 0}) + body;
}
const QByteArray kDone = raw(nlmsghdr{16, NLMSG_DONE, 0, 0, 0});

const QByteArray kArpHead = "IP address HW type Flags HW address Mask Device\n";
const QByteArray kArpRow = "192.168.1.91     0x1     0x2     00:1a:2b:3c:4d:5e     *     eth0\n";

} // namespace

class TestServices : public QObject {
    Q_OBJECT

private slots:
    // Each box shows "a\r\rb" as two lines with an empty one between.
    void realBox_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QStringList>("shownButtons");
        QTest::newRow("OK") << "" << MsgButtons::Ok << MsgAnswer::Ok << "Talvoren Kestrune Manager"
                            << QStringList{"OK"};
        QTest::newRow("Yes") << "NMS" << MsgButtons::YesNo << MsgAnswer::Yes << "NMS"
                             << QStringList{"Yes", "No"};
    }
    void realBox() {
        QFETCH(QString, title);
        QFETCH(MsgButtons, buttons);
        // The box stays until this returns.
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QStringList shownButtons;
            for (QAbstractButton* b : box->buttons())
                shownButtons << b->text().remove('&');
            QTEST(shownButtons, "shownButtons");
            // The safe answer is the default.
            QCOMPARE(box->defaultButton(), box->buttons().last());
            box->buttons().first()->click();
            QTEST(box->windowTitle(), "shownTitle");
            QCOMPARE(box->text(), "a\n\nb");
        });
        QTEST(showMessage("a\r\rb", title, MsgIcon::Exclamation, buttons), "answer");
    }

    void udpBindRefused() {
        UdpEndpoint a;
        UdpEndpoint b;
        QVERIFY(a.bind(kLoopback, 0));
        // Its port is taken, or the address is not ours.
        for (quint32 refused : {0x7F000001u, 0xC000027Bu})
            QVERIFY(!b.bind(Ipv4Address(refused), a.localPort()));
    }

    // A burst to itself, longer than one read slice, arrives in order, and the endpoint still
    // hears the datagram sent after it. Whether the last slice races the socket's notice
    // depends on the event loop, so the round is repeated.
    void udpBurstThenOneMore() {
        UdpEndpoint endpoint;
        QVERIFY(endpoint.bind(kLoopback, 0));
        QList<QByteArray> sent;
        QList<QByteArray> got;
        connect(&endpoint, &UdpEndpoint::datagramReceived, this,
                [&](const QByteArray& payload) { got << payload; });
        for (int round = 0; round < 10; ++round) {
            for (int length = 1; length <= 1500; ++length) {
                sent << QByteArray(length, char(length));
                QVERIFY(endpoint.sendTo(kLoopback, endpoint.localPort(), sent.last()));
            }
            QTRY_COMPARE(got.size(), sent.size());
            sent << "after";
            QVERIFY(endpoint.sendTo(kLoopback, endpoint.localPort(), sent.last()));
            QTRY_COMPARE(got, sent);
        }
    }

    // The entry of 192.168.1.91 that each reader finds.
    void neighbourReaders_data() {
        // /proc/net/arp's text, else a netlink dump
        QTest::addColumn<bool>("procNetArp");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("found");
        QTest::newRow("after a failed one")
            << false << entry(NUD_FAILED, "failed") + entry(NUD_DELAY) << kMac;
        QTest::newRow("deleted, then after done")
            << false << entry(NUD_STALE, kMac, RTM_DELNEIGH) + kDone + entry(NUD_REACHABLE)
            << QByteArray();
        QTest::newRow("arp: after bad ones")
            << true
            << kArpHead +
                   "192.168.1.91 1 2 00:1a:2b:3c:4d:zz\n192.168.1.91 1 0 00:00:00:00:00:00\n" +
                   kArpRow.trimmed()
            << kMac;
        QTest::newRow("arp: header line") << true << kArpRow << QByteArray();
    }
    void neighbourReaders() {
        QFETCH(bool, procNetArp);
        QFETCH(QByteArray, bytes);
        QTEST((procNetArp ? neighboursInProcArp(bytes) : neighboursInDump(bytes)).value(0xC0A8015B),
              "found");
    }

    // Numeric, loopback last, each once.
    void localAddressOrder() {
        QCOMPARE(orderLocalAddresses({0x7F000001, 0xC0A8010A, 0xC0A80109, 0x0A000000, 0x0A000000}),
                 (QStringList{"10.0.0.0", "192.168.1.9", "192.168.1.10", "127.0.0.1"}));
    }

    void settingsFile() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        IniSettingsStore store;
        QFile file(dir.filePath("Talvoren/Talvoren.ini"));
        QVERIFY(store.save("NMS IP Address", "10.0.0.7"));
        QVERIFY(store.save("AutoClearCounters", " x\";y"));
        QVERIFY(file.open(QFile::ReadOnly));
        QCOMPARE(file.readAll(), "[Kestrune]\nAutoClearCounters=\" x\\\";y\"\n"
                                 "NMS%20IP%20Address=10.0.0.7\n");
    }

    void singleInstance() {
        QTemporaryDir dir;
        const QString path = dir.filePath("lock");
        {
            SingleInstanceLock first(path);
            QVERIFY(first.tryAcquire());
            QVERIFY(!SingleInstanceLock(path).tryAcquire());
        }
        QVERIFY(SingleInstanceLock(path).tryAcquire());
    }
};

QTEST_MAIN(TestServices)
#include "tst_platform_services.moc"
