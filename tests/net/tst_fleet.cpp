// A discovery of a fleet of emulated elements with the real station and the kernel's tables:
// every answer is stored although the station is busy for a second right after the paging, or
// another host floods it with feedbacks for addresses nobody answers for.
#include "support/netnsrig.h"
#include "support/stationfixture.h"

#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "protocol/discovery.h"

#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr int kElements = 300;

qint64 residentKb() {
    QFile f(QStringLiteral("/proc/self/statm")); // pages: size resident ...
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(1).toLongLong() * 4 : 0;
}

// From the fleet's other host, as fast as it goes: valid decoder feedbacks, each reporting
// another address of the fleet's network where nobody is.
class Flood {
public:
    explicit Flood(const QString& hostNamespace)
        : m_thread([this, path = QFile::encodeName(hostNamespace)] { run(path); }) {}
    ~Flood() {
        m_stop = true;
        m_thread.join();
    }

private:
    void run(const QByteArray& path) {
        const int space = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (space < 0 || ::setns(space, CLONE_NEWNET) != 0)
            return;
        ::close(space);
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in station{AF_INET, htons(2976), {::inet_addr("198.18.0.1")}, {}};
        QByteArray d = QByteArray::fromHex("c6130000fffe000000000000ef010101000001") +
                       "FLOOD           " +
                       QByteArray::fromHex("020000004d00020100"
                                           "0a000a0a000000000000");
        for (quint32 n = 0; !m_stop; ++n) {
            d[2] = char(0x80 | (n >> 8 & 0x7F)); // 198.19.128.0 and up
            d[3] = char(n);
            ::sendto(s, d.constData(), size_t(d.size()), 0, reinterpret_cast<sockaddr*>(&station),
                     sizeof station);
        }
        ::close(s);
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class TestFleet : public QObject {
    Q_OBJECT
private slots:
    void discovery_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("flooded");
        QTest::newRow("station busy for a second after the paging") << true << false;
        QTest::newRow("flooded with feedbacks for addresses nobody has") << false << true;
    }
    void discovery() {
        KN_REQUIRE_RIG();
        QFETCH(bool, busy);
        QFETCH(bool, flooded);
        NetnsRig rig;
        QVERIFY2(rig.createFleet(kElements, {"--role", "decoder", "--quiet"}),
                 qPrintable(rig.lastError()));
        StationFixture f(QStringLiteral("198.18.0.1"), app::Station::Timing());
        platform::setNeighbourTable(nullptr);
        platform::setLocalAddresses(nullptr);
        QVERIFY(f.start());
        std::optional<Flood> flood;
        if (flooded)
            flood.emplace(rig.otherHostNamespace());
        qint64 startKb = residentKb(), peakKb = startKb;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] { peakKb = qMax(peakKb, residentKb()); });
        sample.start(50);
        if (busy) // just after the paging, while the answers arrive
            QTimer::singleShot(0, [] { QThread::msleep(1000); });
        f.station().AutoDiscover();
        QTRY_VERIFY_WITH_TIMEOUT(!f.station().discovery().finishing(), 5000);
        flood.reset();
        const QByteArray ini = f.readIni();
        QCOMPARE(ini.count("\r\n[") + (ini.startsWith('[') ? 1 : 0), kElements);
#if defined(__SANITIZE_ADDRESS__)
        peakKb -= 256 * 1024; // freed memory kept in quarantine
#endif
        QVERIFY2(peakKb - startKb <= 64 * 1024, qPrintable(QString::number(peakKb - startKb)));
        QVERIFY(f.boxes.maxOpen <= 1);
    }
};

QTEST_MAIN(TestFleet)
#include "tst_fleet.moc"
