// Discovers fleets of 100, 500 and 1,000 emulated elements (or the sizes given as arguments)
// with the real station in this process: the kernel's neighbour and address tables, the real
// 3 s discovery window, nms.ini written to disk. The elements are one emulator process on the
// namespace rig's fleet network. Each size runs twice: alone, and while another host on the
// network sends valid decoder feedbacks reporting on-link addresses nobody answers for, at a
// steady rate. Needs root; without it, says so and exits 0.
#include "support/netnsrig.h"

#include "app/station.h"
#include "db/inistore.h"
#include "platform/messagebox.h"
#include "platform/programdir.h"
#include "platform/settings.h"
#include "protocol/discovery.h"

#include <QApplication>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QString kStation = QStringLiteral("198.18.0.1");
constexpr int kNoisePerSecond = 10;
// From a little before the paging until past the 3.5 s the station has to store a fleet.
constexpr auto kNoiseLead = 300ms;
constexpr auto kNoiseAfterPaging = 4000ms;
constexpr int kNoiseAddresses = 8; // 198.19.255.200 and up: on the fleet's link, nobody there

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Answers every box with Yes (or Ok) and counts them by their first line.
struct CountingMessageBox : platform::MessageBoxService {
    platform::MsgAnswer show(const platform::MessageBoxRequest& request) override {
        ++texts[request.text.section(QLatin1Char('\r'), 0, 0)];
        return request.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::Yes
                                                              : platform::MsgAnswer::Ok;
    }
    QMap<QString, int> texts;
};

int udpSocket(quint32 address, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const timeval wake{0, 50000}; // so that a waiting thread sees it should stop
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// When the paging broadcast left, as a listener on port 1901 in the station's own namespace
// sees it: the kernel loops a broadcast back to local listeners.
class PagingWatch {
public:
    PagingWatch() : m_fd(udpSocket(0, 1901)), m_thread([this] { watch(); }) {}
    ~PagingWatch() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    std::optional<Clock::time_point> seen() const {
        const Clock::rep at = m_seen;
        return at ? std::optional(Clock::time_point(Clock::duration(at))) : std::nullopt;
    }

private:
    void watch() {
        char buffer[64];
        while (!m_stop && m_fd >= 0) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n == 32 && !m_seen)
                m_seen = Clock::now().time_since_epoch().count();
        }
    }
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::atomic<Clock::rep> m_seen{0};
    std::thread m_thread;
};

// A 54-byte decoder feedback that reports one of the unanswered addresses.
QByteArray noiseFeedback(int i) {
    QByteArray d = QByteArray::fromHex("c613ffc8" // 198.19.255.200, + i below
                                       "fffe0000" // mask 255.254.0.0
                                       "00000000" // gateway
                                       "ef010101" // multicast 239.1.1.1
                                       "000001"); // input, type, TX
    d[3] = char(200 + i % kNoiseAddresses);
    d += QByteArray("NOISE           ");
    d += QByteArray::fromHex("02"             // role DECODER
                             "0000004d"       // serial 77
                             "00020100"       // attenuation, version 2.1, SFN
                             "0a000a0a"       // buffer, silence detector mode, level, time
                             "000000000000"); // unread, low latency
    return d;
}

// Another host on the fleet's network: sends those feedbacks to the station at a steady rate
// from its own thread, whatever the station's event loop does.
class FeedbackNoise {
public:
    FeedbackNoise(const QString& hostNamespace, Clock::duration lasting)
        : m_end(Clock::now() + lasting),
          m_thread([this, path = hostNamespace.toLocal8Bit()] { send(path); }) {}
    ~FeedbackNoise() {
        m_stop = true;
        m_thread.join();
    }
    int sent() const { return m_sent; }

private:
    void send(const QByteArray& path) {
        const int space = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (space < 0 || ::setns(space, CLONE_NEWNET) != 0)
            return;
        ::close(space);
        const int fd = udpSocket(QHostAddress(QStringLiteral("198.18.0.2")).toIPv4Address(), 0);
        sockaddr_in station{};
        station.sin_family = AF_INET;
        station.sin_port = htons(2976);
        station.sin_addr.s_addr = htonl(QHostAddress(kStation).toIPv4Address());
        for (auto next = Clock::now(); !m_stop && next < m_end; next += 1000ms / kNoisePerSecond) {
            std::this_thread::sleep_until(next);
            const QByteArray d = noiseFeedback(m_sent);
            if (::sendto(fd, d.constData(), size_t(d.size()), 0,
                         reinterpret_cast<sockaddr*>(&station), sizeof station) == d.size())
                ++m_sent;
        }
        ::close(fd);
    }
    const Clock::time_point m_end;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

// The longest interval between two ticks of a 1 ms timer since it was made.
class GapMeter {
public:
    GapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(1);
    }
    double longestMs() {
        tick();
        return std::chrono::duration<double, std::milli>(m_longest).count();
    }

private:
    void tick() {
        const Clock::time_point now = Clock::now();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    Clock::time_point m_last = Clock::now();
    Clock::duration m_longest{};
};

// The kernel's IPv4 neighbour table, all namespaces together: entries now, and how often an
// entry could not be made ("neighbour table overflow") since boot. Only the first namespace
// shows the figures; the file opened there keeps showing them after the thread moved.
struct NeighbourCounts {
    qint64 entries = -1;
    qint64 overflows = 0;
};
NeighbourCounts neighbourCounts() {
    static const int fd = ::open("/proc/net/stat/arp_cache", O_RDONLY | O_CLOEXEC);
    QByteArray text(65536, '\0');
    const ssize_t n = fd >= 0 ? ::pread(fd, text.data(), size_t(text.size()), 0) : -1;
    text.truncate(qMax<qsizetype>(0, n));
    NeighbourCounts counts;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // one line per processor
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 13)
            continue;
        counts.entries = fields[0].toLongLong(nullptr, 16); // the same on every line
        counts.overflows += fields[12].toLongLong(nullptr, 16);
    }
    return counts;
}

// A line "Key:  123 kB" of /proc/<pid>/status, in MB.
double statusMb(const QString& pid, const char* key) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).simplified().split(' ').value(0).toDouble() / 1024;
    return -1;
}

struct Result {
    double fleetUpS = -1, onDiskS = -1, gapMs = -1, residentMb = -1, peakMb = -1, emulatorMb = -1;
    int stored = 0, writes = 0, noiseSent = 0;
    qint64 entriesBefore = -1, entriesAfter = -1, overflows = -1;
    bool pagingSeen = false;
};

void waitForNeighbourTableToSettle() {
    // The namespaces of the last run are torn down by the kernel after they are deleted.
    qint64 last = neighbourCounts().entries;
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(200ms);
        const qint64 now = neighbourCounts().entries;
        if (now >= last)
            return;
        last = now;
    }
}

void runEventsFor(std::chrono::milliseconds ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::optional<Result> discover(int elements, bool noisy) {
    Result r;
    waitForNeighbourTableToSettle();
    const Clock::time_point building = Clock::now();
    testsupport::NetnsRig rig;
    if (!rig.createFleet(elements, {QStringLiteral("--quiet")})) {
        std::printf("the fleet network failed: %s\n", qPrintable(rig.lastError()));
        return std::nullopt;
    }
    r.fleetUpS = seconds(Clock::now() - building);
    QTemporaryDir dir;
    platform::setProgramDirectory(dir.path());
    qputenv("KESTRUNE_LOCK_PATH", QFile::encodeName(dir.filePath(QStringLiteral("nms.lock"))));
    auto station = std::make_unique<app::Station>();
    if (!station->start({})) {
        std::printf("the station did not start (exit code %d)\n", station->exitCode());
        return std::nullopt;
    }
    PagingWatch paging;
    std::optional<FeedbackNoise> noise;
    if (noisy) {
        noise.emplace(rig.otherHostNamespace(), kNoiseLead + kNoiseAfterPaging);
        runEventsFor(kNoiseLead); // the noise is steady before the paging
    }
    Clock::time_point lastOnDisk{};
    db::inistore_testing::setWriteHook([&](db::inistore_testing::WriteStage stage) {
        if (stage == db::inistore_testing::WriteStage::DirectorySynced) {
            lastOnDisk = Clock::now();
            ++r.writes;
        }
        return true;
    });
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5"); // VmHWM starts again from VmRSS
    clearRefs.close();
    r.residentMb = statusMb(QStringLiteral("self"), "VmRSS:");
    const NeighbourCounts before = neighbourCounts();
    r.entriesBefore = before.entries;

    const Clock::time_point clicked = Clock::now();
    GapMeter gaps;
    station->AutoDiscover();
    while (station->discovery().AutoDiscoverAwaiting())
        runEventsFor(10ms);
    r.gapMs = gaps.longestMs();
    r.peakMb = statusMb(QStringLiteral("self"), "VmHWM:");
    runEventsFor(500ms); // a write that comes after the window still counts
    db::inistore_testing::setWriteHook({});
    r.noiseSent = noise ? noise->sent() : 0;
    noise.reset();

    r.pagingSeen = paging.seen().has_value();
    if (r.writes)
        r.onDiskS = seconds(lastOnDisk - paging.seen().value_or(clicked));
    QFile ini(dir.filePath(QStringLiteral("nms.ini")));
    if (ini.open(QIODevice::ReadOnly))
        for (const QByteArray& line : ini.readAll().split('\n'))
            r.stored += line.startsWith('[') ? 1 : 0;
    r.emulatorMb = statusMb(QString::number(rig.emulatorProcessId(0)), "VmRSS:");
    const NeighbourCounts after = neighbourCounts();
    r.entriesAfter = after.entries;
    r.overflows = after.overflows - before.overflows;
    station.reset();
    platform::setProgramDirectory(QString());
    return r;
}

const char kLegend[] =
    "Discovery of a fleet of emulated elements by the real station in this process: the\n"
    "kernel's neighbour and address tables, the 3 s discovery window, nms.ini on disk.\n"
    "Targets: every element stored, on disk within 3.5 s, longest gap under 100 ms.\n"
    "  network    the fleet's namespaces and interfaces built (ip -batch) and its one emulator\n"
    "             \"ready\", s\n"
    "  stored     sections in nms.ini after the window closed\n"
    "  on disk    from the paging datagram leaving the station (seen by a listener on port 1901\n"
    "             in its namespace) until the directory fsync of the last write of nms.ini, s\n"
    "  writes     writes of nms.ini that reached the disk, the emptying at the paging included\n"
    "  gap        longest interval between two ticks of a 1 ms timer on the station's thread,\n"
    "             from just before the paging until the window closed, ms\n"
    "  station    VmHWM of this process (the station runs in it), reset just before the paging;\n"
    "             in brackets its VmRSS just before the paging, MB\n"
    "  emulator   VmRSS of the one emulator process that plays the whole fleet, after it, MB\n"
    "  neighbours entries in the kernel's neighbour table of all namespaces just before the\n"
    "             paging > after the window, the fleet's permanent ones included (gc_thresh3\n"
    "             does not count those) / 'neighbour table overflow' events during the run\n"
    "  noise      decoder feedbacks another host sent to the station (10 a second from 0.3 s\n"
    "             before the paging until 4 s after it, reporting 8 on-link addresses nobody\n"
    "             answers for)\n"
    "  boxes      message boxes the station showed (each answered Yes or Ok), by first line\n";

void printRow(int elements, const Result& r, const QMap<QString, int>& boxes) {
    int shown = 0;
    for (int n : boxes)
        shown += n;
    std::printf(
        "%8d %6d %7.2f %5d/%-5d %7.3f %6d %8.1f %7.1f (%5.1f) %8.1f %5lld>%-5lld/%3lld %5d%s\n",
        elements, r.noiseSent, r.fleetUpS, r.stored, elements, r.onDiskS, r.writes, r.gapMs,
        r.peakMb, r.residentMb, r.emulatorMb, static_cast<long long>(r.entriesBefore),
        static_cast<long long>(r.entriesAfter), static_cast<long long>(r.overflows), shown,
        r.pagingSeen ? "" : "  (paging not seen: on disk counted from the click)");
    for (auto it = boxes.begin(); it != boxes.end(); ++it)
        std::printf("%10d x %s\n", it.value(), qPrintable(it.key()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    neighbourCounts(); // opened here, in the first namespace
    if (const QString why = testsupport::NetnsRig::unavailableReason(); !why.isEmpty()) {
        std::printf("fleet_discovery: %s; nothing measured.\n", qPrintable(why));
        return 0;
    }
    QList<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const int n = QByteArray(argv[i]).toInt();
        if (n < 1 || n > 4096) {
            std::fprintf(stderr, "usage: fleet_discovery [elements, 1 to 4096] ...\n");
            return 2;
        }
        sizes << n;
    }
    if (sizes.isEmpty())
        sizes = {100, 500, 1000};
    QTemporaryDir config; // the station's settings, not the user's
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    platform::settings().save(QStringLiteral("EULA1"), QStringLiteral("1"));
    platform::settings().save(QStringLiteral("NMS IP Address"), kStation);
    CountingMessageBox boxes;
    platform::setMessageBox(&boxes);

    std::printf("%s\n%8s %6s %7s %11s %7s %6s %8s %15s %8s %15s %5s\n", kLegend, "elements",
                "noise", "network", "stored", "on disk", "writes", "gap", "station", "emulator",
                "neighbours", "boxes");
    for (int elements : sizes) {
        for (bool noisy : {false, true}) {
            boxes.texts.clear();
            if (const auto r = discover(elements, noisy))
                printRow(elements, *r, boxes.texts);
        }
    }
    platform::setMessageBox(nullptr);
    return 0;
}
