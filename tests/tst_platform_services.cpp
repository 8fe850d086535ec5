// The platform services that need no network of their own: the real box, UDP on loopback, the
// neighbour table's readers on known bytes, address order, settings, the instance lock and
// where nms.ini lives.
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
#include <sys/mman.h>

using namespace platform;

namespace {

const Ipv4Address kLoopback(0x7F000001);
const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");

template <typename T> QByteArray raw(const T& v) {
    return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}

QByteArray padded(const QByteArray& bytes) { // to netlink's 4-byte alignment
    return bytes + QByteArray(-bytes.size() & 3, '\0');
}

// One entry of a netlink dump of the neighbour table (no hardware address when empty).
QByteArray entry(quint8 state, const QByteArray& mac = kMac, quint32 address = 0xC0A8015B,
                 quint16 type = RTM_NEWNEIGH) {
    const auto attribute = [](quint16 type, const QByteArray& data) {
        return padded(raw(rtattr{quint16(4 + data.size()), type}) + data);
    };
    const QByteArray body = raw(ndmsg{AF_INET, 0, 0, 2, state, 0, 0}) +
                            attribute(NDA_DST, raw(htonl(address))) +
                            (mac.isEmpty() ? "" : attribute(NDA_LLADDR, mac)) +
                            attribute(NDA_PROBES, QByteArray(4, '\0'));
    return raw(nlmsghdr{quint32(16 + body.size()), type, NLM_F_MULTI, 0, 0}) + body;
}
const QByteArray kDone = raw(nlmsghdr{20, NLMSG_DONE, NLM_F_MULTI, 0, 0}) + QByteArray(4, '\0');

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

const QByteArray kArpHead = "IP address HW type Flags HW address Mask Device\n";
const QByteArray kArpRow = "192.168.1.91     0x1     0x2     00:1a:2b:3c:4d:5e     *     eth0\n";

enum class Receiver { Closes, Deletes, PausesAndResumes };

} // namespace

class TestServices : public QObject {
    Q_OBJECT

private slots:
    // Each box shows "a\r\rb" as two lines with an empty one between, with the warning icon.
    void realBox_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<QString>("press");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QStringList>("shownButtons");
        QTest::addColumn<QString>("shownDefault");
        QTest::newRow("OK") << "" << MsgButtons::Ok << "OK" << MsgAnswer::Ok
                            << "Talvoren Kestrune Manager" << QStringList{"OK"} << "OK";
        QTest::newRow("Yes") << "NMS" << MsgButtons::YesNo << "Yes" << MsgAnswer::Yes << "NMS"
                             << QStringList{"Yes", "No"} << "No";
        QTest::newRow("No") << "" << MsgButtons::YesNo << "No" << MsgAnswer::No
                            << "Talvoren Kestrune Manager" << QStringList{"Yes", "No"} << "No";
    }
    void realBox() {
        QFETCH(QString, title);
        QFETCH(MsgButtons, buttons);
        QFETCH(QString, press);
        QTimer::singleShot(0, this, [&] { // the box stays until this returns
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QStringList shownButtons;
            for (QAbstractButton* b : box->buttons()) {
                shownButtons << b->text().remove('&');
                if (shownButtons.last() == press)
                    b->click();
            }
            QTEST(shownButtons, "shownButtons");
            QTEST(box->defaultButton()->text().remove('&'), "shownDefault");
            QTEST(box->windowTitle(), "shownTitle");
            QCOMPARE(box->text(), "a\n\nb");
            QCOMPARE(box->icon(), QMessageBox::Warning);
        });
        QTEST(showMessage("a\r\rb", title, MsgIcon::Exclamation, buttons), "answer");
    }

    void udpEndpoint() {
        UdpEndpoint a;
        UdpEndpoint b;
        QCOMPARE(a.localPort(), 0);
        QVERIFY(!a.sendTo(kLoopback, 9, "x")); // not bound
        QVERIFY(a.bind(kLoopback, 0));
        const quint16 port = a.localPort();
        QCOMPARE(a.localAddress(), kLoopback);
        for (quint32 refused : {0x7F000001u, 0u, 0xC000027Bu}) { // taken, or not ours
            QVERIFY(!b.bind(Ipv4Address(refused), port));
            QVERIFY(!b.isOpen());
        }
        QVERIFY(!a.sendTo(kLoopback, 0, "x"));
        QVERIFY(!a.sendTo(kLoopback, 9, QByteArray(70000, 'x')));
        QVERIFY(a.bind(kLoopback, 0)); // moves without a close, freeing the old port
        QVERIFY(b.bind(kLoopback, port));
    }

    void udpReceiver_data() {
        QTest::addColumn<Receiver>("receiver");
        QTest::addColumn<int>("received");
        QTest::newRow("closes the endpoint") << Receiver::Closes << 1;
        QTest::newRow("deletes the endpoint") << Receiver::Deletes << 1;
        // A receiver that lets events run (a box) gets the next one only once it returns.
        QTest::newRow("pauses and resumes it") << Receiver::PausesAndResumes << 500;
    }
    void udpReceiver() {
        QFETCH(Receiver, receiver);
        QFETCH(int, received);
        QPointer endpoint = new UdpEndpoint(this);
        UdpEndpoint peer;
        QVERIFY(endpoint->bind(kLoopback, 0));
        QVERIFY(peer.bind(kLoopback, 0));
        QList<QByteArray> sent; // a burst, all sent before the receiver reads
        for (int i = 0; i < 500; ++i) {
            sent << QByteArray::number(i) + QByteArray(41, char(i));
            QVERIFY(peer.sendTo(kLoopback, endpoint->localPort(), sent.last()));
        }
        QList<QByteArray> got;
        int depth = 0;
        connect(endpoint, &UdpEndpoint::datagramReceived, this, [&](const QByteArray& payload) {
            got << payload;
            QCOMPARE(++depth, 1);
            if (receiver == Receiver::Closes) {
                endpoint->close();
            } else if (receiver == Receiver::Deletes) {
                delete endpoint;
            } else if (got.size() == 1) {
                endpoint->setPaused(true);
                endpoint->setPaused(false);
                QCoreApplication::processEvents();
            }
            --depth;
        });
        QTRY_COMPARE(got.size(), received);
        QCOMPARE(got, sent.first(received));
        QCOMPARE(endpoint && endpoint->isOpen(), receiver == Receiver::PausesAndResumes);
    }

    // The entry of 192.168.1.91 that each reader finds.
    void neighbourReaders_data() {
        QTest::addColumn<bool>("procNetArp"); // else a netlink dump
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("found");
        const QByteArray other(6, 1);
        QTest::newRow("stale") << false << entry(NUD_STALE) + kDone << kMac;
        QTest::newRow("no hardware address") << false << entry(NUD_REACHABLE, "") << QByteArray();
        QTest::newRow("among others")
            << false
            << entry(NUD_STALE, other, 0xC0A8015A) + entry(NUD_FAILED, other) + entry(NUD_DELAY)
            << kMac;
        QTest::newRow("deleted") << false << entry(NUD_STALE, kMac, 0xC0A8015B, RTM_DELNEIGH)
                                 << QByteArray();
        QTest::newRow("after done") << false << kDone + entry(NUD_REACHABLE) << QByteArray();
        QTest::newRow("truncated") << false << entry(NUD_PROBE).chopped(12) << QByteArray();
        QTest::newRow("arp: complete") << true << kArpHead + kArpRow << kMac;
        QTest::newRow("arp: second, no line end")
            << true << kArpHead + "1.2.3.4 0 2 2:0:0:0:0:1\n" + kArpRow.trimmed() << kMac;
        QTest::newRow("arp: permanent")
            << true << kArpHead + "192.168.1.91 1 6 00:1A:2B:3C:4D:5E" << kMac;
        QTest::newRow("arp: incomplete")
            << true << kArpHead + "192.168.1.91 1 0 00:00:00:00:00:00" << QByteArray();
        QTest::newRow("arp: bad hardware address")
            << true << kArpHead + "192.168.1.91 1 2 00:1a:2b:3c:4d:zz" << QByteArray();
        QTest::newRow("arp: first line names columns") << true << kArpRow << QByteArray();
    }
    void neighbourReaders() {
        QFETCH(bool, procNetArp);
        QFETCH(QByteArray, bytes);
        QTEST((procNetArp ? neighboursInProcArp(bytes) : neighboursInDump(atPageEnd(bytes)))
                  .value(0xC0A8015B),
              "found");
    }

    void localAddressOrder() { // numeric, loopback last, each once
        QCOMPARE(orderLocalAddresses({0x7F000001, 0xC0A8010A, 0xC0A80109, 0x0A000000, 0x0A000000}),
                 (QStringList{"10.0.0.0", "192.168.1.9", "192.168.1.10", "127.0.0.1"}));
    }

    void settingsFile() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        IniSettingsStore store;
        QFile file(dir.filePath("Talvoren/Talvoren.ini"));
        QCOMPARE(store.filePath(), file.fileName());
        QCOMPARE(store.get("EULA1", "0"), "0");
        QVERIFY(!file.exists()); // reading writes nothing
        QVERIFY(store.save("NMS IP Address", "10.0.0.7"));
        QVERIFY(store.save("EULA1", "a, b"));
        QVERIFY(store.save("AutoClearCounters", "1"));
        QVERIFY(store.save("AutoClearCounters", " x\";y"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[Kestrune]\nAutoClearCounters=\" x\\\";y\"\nEULA1=\"a, b\"\n"
                                 "NMS%20IP%20Address=10.0.0.7\n");
        QCOMPARE(IniSettingsStore().get("AutoClearCounters", ""), " x\";y");
        QVERIFY(!IniSettingsStore(file.fileName() + "/x.ini").save("EULA1", "1")); // no folder
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
};

QTEST_MAIN(TestServices)
#include "tst_platform_services.moc"
