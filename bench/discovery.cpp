// Times a discovery that 500 elements (or the number given as the argument) answer: the
// feedback datagrams go through the station's real endpoint and handler on loopback, and each
// becomes a section of nms.ini. The clock runs from the first send until the rewrite of nms.ini
// that holds the last answer is on disk (renamed into place, directory fsynced); the rewrites'
// own times come from the store's write hook.
#include "app/station.h"
#include "db/frmTreeView.h"
#include "db/inistore.h"
#include "fakes/fakelocaladdresses.h"
#include "fakes/fakeneighbourtable.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"
#include "platform/udpendpoint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <cstdio>

#include "protocol/frmPaging.h"

namespace {

int kElements = 500;
const QString kStation = QStringLiteral("127.0.40.1");

// 127.0.41.1 .. 127.0.41.250, then 127.0.42.1 ..
quint32 elementAddress(int i) {
    return (127u << 24) | ((41u + quint32(i / 250)) << 8) | quint32(i % 250 + 1);
}

// A 45-byte encoder feedback that reports the given address.
QByteArray feedback(quint32 address, int i) {
    QByteArray d;
    for (int shift = 24; shift >= 0; shift -= 8)
        d += char(address >> shift);
    d += QByteArray::fromHex("ffffff00"
                             "7f000001"
                             "efff0001"
                             "01"
                             "00"
                             "01");
    d += QStringLiteral("ELEMENT %1").arg(i, 4).leftJustified(16, QLatin1Char(' ')).toLatin1();
    d += char(1);
    d += QByteArray::fromHex("000003e8");
    d += QByteArray::fromHex("0201000500");
    return d;
}

int sectionsIn(const QByteArray& ini) {
    int n = ini.startsWith('[') ? 1 : 0;
    return n + int(ini.count("\r\n["));
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc > 1)
        kElements = QByteArray(argv[1]).toInt();
    if (kElements < 100 || kElements > 60000) {
        std::fprintf(stderr, "usage: discovery [answers, 100 to 60000]\n");
        return 2;
    }
    QTemporaryDir dir;
    platform::setProgramDirectory(dir.path());
    qputenv("KESTRUNE_LOCK_PATH", dir.filePath(QStringLiteral("nms.lock")).toLocal8Bit());

    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    settings.values.insert(QStringLiteral("EULA1"), QStringLiteral("1"));
    settings.values.insert(QStringLiteral("NMS IP Address"), kStation);
    platform::FakeLocalAddresses addresses;
    addresses.list.addresses = {kStation};
    platform::FakeNeighbourTable neighbours;
    for (int i = 0; i < kElements; ++i) {
        QByteArray mac = QByteArray::fromHex("020000000000");
        mac[4] = char(i >> 8);
        mac[5] = char(i);
        neighbours.add(elementAddress(i), mac);
    }

    app::Station::Timing timing;
    timing.discoveryWindowMs = 20000; // closed early once every answer is in
    app::Station station(timing);
    if (!station.start({})) {
        std::fprintf(stderr, "the station did not start (is %s free?)\n", qPrintable(kStation));
        return 1;
    }

    QUdpSocket sender;
    if (!sender.bind(QHostAddress(QStringLiteral("127.0.40.2")), 0)) {
        std::fprintf(stderr, "cannot bind 127.0.40.2\n");
        return 1;
    }
    QList<QByteArray> datagrams;
    for (int i = 0; i < kElements; ++i)
        datagrams << feedback(elementAddress(i), i);

    QElapsedTimer clock;
    // Every rewrite of nms.ini once the clock runs: its start, and when it was on disk.
    qint64 rewriteStartNs = 0, rewritesNs = 0, lastRewriteNs = 0, onDiskNs = -1;
    int rewrites = 0;
    db::inistore_testing::setWriteHook([&](db::inistore_testing::WriteStage stage) {
        using db::inistore_testing::WriteStage;
        if (!clock.isValid())
            return true;
        if (stage == WriteStage::Begun)
            rewriteStartNs = clock.nsecsElapsed();
        if (stage == WriteStage::DirectorySynced) {
            onDiskNs = clock.nsecsElapsed();
            lastRewriteNs = onDiskNs - rewriteStartNs;
            rewritesNs += lastRewriteNs;
            ++rewrites;
        }
        return true;
    });
    qint64 allHandledNs = -1;
    qint64 first100Ns = -1, before400Ns = -1;
    int handled = 0;
    // Connected after the station's own handler, so it runs once a datagram is dealt with.
    QObject::connect(&station.udpClient(), &platform::UdpEndpoint::datagramReceived, [&] {
        ++handled;
        if (handled == 100)
            first100Ns = clock.nsecsElapsed();
        if (handled == kElements - 100)
            before400Ns = clock.nsecsElapsed();
        if (handled == kElements) {
            allHandledNs = clock.nsecsElapsed();
            if (auto* paging =
                    qobject_cast<protocol::FrmPaging*>(QApplication::activeModalWidget()))
                paging->timer()->start(0);
        }
    });
    int sendFailures = 0;
    QTimer::singleShot(0, [&] {
        clock.start();
        for (const QByteArray& d : datagrams)
            if (sender.writeDatagram(d, QHostAddress(kStation), 2976) != d.size())
                ++sendFailures;
    });
    station.AutoDiscover(); // an empty database: no question

    QFile ini(dir.filePath(QStringLiteral("nms.ini")));
    const int stored = ini.open(QIODevice::ReadOnly) ? sectionsIn(ini.readAll()) : 0;
    if (allHandledNs >= 0 && onDiskNs >= 0) {
        std::printf("discovery of %d answers: %9.2f ms from the first send until the last "
                    "section is in nms.ini on disk (target for 500: < 100 ms)\n",
                    kElements, onDiskNs / 1e6);
        std::printf("  rewrites of nms.ini: %d, together %.2f ms; the last %.2f ms (each from "
                    "the store call until its directory fsync)\n",
                    rewrites, rewritesNs / 1e6, lastRewriteNs / 1e6);
        std::printf("  answers handled, not yet written: first 100 after %.2f ms, all after "
                    "%.2f ms from the first send; the last 100 took %.2f ms\n",
                    first100Ns / 1e6, allHandledNs / 1e6, (allHandledNs - before400Ns) / 1e6);
    } else {
        std::printf("discovery of %d answers: only %d handled within the window\n", kElements,
                    handled);
    }
    std::printf("sections stored: %d of %d (send failures %d, message boxes %d, tree nodes "
                "listed %lld)\n",
                stored, kElements, sendFailures, int(boxes.shown.size()) - 1,
                static_cast<long long>(station.elementList().lstHidden().size()));
    return stored == kElements ? 0 : 1;
}
