// A discovery of a fleet of emulated elements with the real station and the kernel's tables:
// every answer is stored although the station is busy for a second right after the paging, or
// another host sends a thousand feedbacks a second for addresses nobody answers for. Memory grows
// by at most 64 MB, also when that host sends as fast as it can (the kernel then drops what
// finds the socket's buffer full, answers too).
#include "support/netnsrig.h"
#include "support/residentgrowth.h"
#include "support/stationfixture.h"

#include "platform/localaddresses.h"
#include "platform/neighbourtable.h"
#include "protocol/discovery.h"

#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <sched.h>
#include <thread>

using namespace testsupport;

namespace {

// From the fleet's other host until stopped, perSecond of them or as fast as it goes (0): valid
// decoder feedbacks, each reporting another address of the fleet's network where nobody is
// (198.19.128.0 and up).
void flood(std::stop_token stop, QByteArray hostNamespace, int perSecond) {
    const int space = ::open(hostNamespace.constData(), O_RDONLY | O_CLOEXEC);
    if (::setns(space, CLONE_NEWNET) != 0)
        return;
    ::close(space);
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in station{AF_INET, htons(2976), {::inet_addr("198.18.0.1")}, {}};
    QByteArray d = QByteArray::fromHex("c6130000fffe000000000000ef010101000001") +
                   "FLOOD           " +
                   QByteArray::fromHex("020000004d000201000a000a0a000000000000");
    auto next = std::chrono::steady_clock::now();
    for (quint32 n = 0; !stop.stop_requested(); ++n) {
        if (perSecond > 0 && n % 10 == 0) // ten at a time
            std::this_thread::sleep_until(next +=
                                          std::chrono::microseconds(10'000'000) / perSecond);
        d[2] = char(0x80 | (n >> 8 & 0x7F));
        d[3] = char(n);
        ::sendto(s, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr*>(&station),
                 sizeof station);
    }
    ::close(s);
}

} // namespace

class TestFleet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KN_REQUIRE(NetnsRig::unavailableReason()); }

    void discovery_data() {
        QTest::addColumn<bool>("busy");          // for a second after the paging
        QTest::addColumn<int>("floodPerSecond"); // feedbacks for addresses nobody has; -1 none
        QTest::addColumn<bool>("everyAnswer");   // stored
        QTest::newRow("busy") << true << -1 << true;
        QTest::newRow("1,000 a second") << false << 1000 << true;
        QTest::newRow("as fast as it goes") << false << 0 << false;
    }
    void discovery() {
        QFETCH(bool, busy);
        QFETCH(int, floodPerSecond);
        QFETCH(bool, everyAnswer);
        NetnsRig rig;
        QVERIFY2(rig.createFleet(300, {"--role", "decoder", "--quiet"}),
                 qPrintable(rig.lastError()));
        StationFixture f(QStringLiteral("198.18.0.1"), app::Station::Timing());
        platform::setNeighbourTable(nullptr);
        platform::setLocalAddresses(nullptr);
        QVERIFY(f.start());
        std::jthread flooding;
        if (floodPerSecond >= 0)
            flooding =
                std::jthread(flood, QFile::encodeName(rig.otherHostNamespace()), floodPerSecond);
        if (busy) // just after the paging, while the answers arrive
            QTimer::singleShot(0, [] { QThread::msleep(1000); });
        ResidentGrowth growth;
        growth.start(100);
        f.station().AutoDiscover();
        QTRY_VERIFY_WITH_TIMEOUT(!f.station().discovery().finishing(), 5000);
        flooding = {};
#if !defined(__SANITIZE_ADDRESS__) // whose quarantine keeps freed memory
        QVERIFY2(growth.kb() <= 64 * 1024, qPrintable(QString::number(growth.kb())));
#endif
        QVERIFY(!f.readIni().contains("FLOOD"));
        if (everyAnswer)
            QCOMPARE(f.readIni().count("NAME="), 300); // one section each
        QVERIFY(f.boxes.maxOpen <= 1);
    }
};

QTEST_MAIN(TestFleet)
#include "tst_fleet.moc"
