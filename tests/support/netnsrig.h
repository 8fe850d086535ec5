#pragma once
// A private test network built from network namespaces (root only).
//
// Topology: one bridge namespace holds br0 (192.0.2.0/24) and, on request, br1
// (198.51.100.0/24). The station namespace has eth0 on br0 (and eth1 on br1); each element
// namespace has eth0 on the bridge of its address's network. Names are "kn<pid>-<n>-..." so
// parallel runs never collide; interface names inside the namespaces are short and fixed.
// MACs are fixed (station 02:00:00:00:00:01 / 02:00:00:01:00:01, elements as given), IPv6 is
// off, lo is up, and the station may open unprivileged ICMP echo sockets.
//
// How a test runs "inside" the station: enterStation() calls setns(2) on the calling thread.
// A network namespace is per thread, so call it from the main thread before any socket is
// made; threads and processes started later from that thread inherit it. /proc/net/arp then
// shows the station's table. The destructor returns the thread to its old namespace, stops
// the emulators and deletes every namespace, also when a test function failed midway.
//
// Use KN_REQUIRE_RIG() at the top of a test: it skips without root, but fails when CI=true.

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace testsupport {

class NetnsRig {
public:
    NetnsRig();
    ~NetnsRig();
    NetnsRig(const NetnsRig&) = delete;
    NetnsRig& operator=(const NetnsRig&) = delete;

    // Empty when the rig can be built here (root and a working `ip netns`), else why not.
    static QString unavailableReason();
    static bool available() { return unavailableReason().isEmpty(); }
    // Deletes the rig namespaces ("kn<pid>-...") of processes that are gone, or of an earlier
    // process that had this pid, and kills what still runs in them; create() calls it.
    static void cleanupLeftovers();

    // Builds bridge and station namespaces. Addresses with prefix, e.g. "192.0.2.1/24";
    // secondNetwork addresses (198.51.100.0/24) give the station a second interface eth1.
    bool create(const QStringList& stationAddresses = {QStringLiteral("192.0.2.1/24")},
                const QStringList& secondNetwork = {});
    // An element namespace with one address on the network its address belongs to
    // (198.51.100.x goes to the second bridge); returns its name, empty on failure.
    QString addElement(const QString& address, const QString& mac);

    QString stationNs() const { return m_stationNs; }
    QString elementNs(int index) const;
    QString elementAddress(int index) const;
    int elementCount() const { return int(m_elements.size()); }

    // Starts the emulator in the element's namespace (adds --address and --log unless given),
    // stdio to files in workDir(), and waits for its "ready". nullptr on failure.
    QProcess* startEmulator(int elementIndex, const QStringList& args = {});
    void stopEmulator(int elementIndex);
    void stopEmulators();
    QString emulatorLogPath(int elementIndex) const;
    QStringList emulatorLog(int elementIndex) const; // the lines of the --log file
    static QString emulatorPath();                   // <build>/tools/kestrune-element

    // Runs argv in the station namespace and waits; returns the exit code (-1 if it did not
    // run or timed out); output gets stdout.
    int runInStation(const QStringList& argv, QByteArray* output = nullptr, int timeoutMs = 30000);
    // Runs `ip <args>` (e.g. {"-n", ns, "link", ...}); true on exit code 0.
    bool ip(const QStringList& args);

    bool enterStation(); // setns of the calling thread into the station namespace
    bool leaveStation(); // back to where it was

    QString workDir() const { return m_dir.path(); }
    QString lastError() const { return m_error; }

private:
    struct Element {
        QString ns, address;
        std::unique_ptr<QProcess> emulator;
    };
    bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr,
             int timeoutMs = 10000);
    bool setupNamespace(const QString& ns);
    QString name(const QString& suffix) const;
    void destroy();

    QString m_prefix;
    QString m_bridgeNs, m_stationNs;
    bool m_secondNetwork = false;
    int m_ports = 0;
    std::vector<Element> m_elements;
    QStringList m_namespaces;
    QTemporaryDir m_dir;
    QString m_error;
    int m_savedNs = -1;
};

// True when the environment asks unavailable rigs to be failures rather than skips.
bool rigRequiredByCi();

} // namespace testsupport

#define KN_REQUIRE_RIG()                                                                           \
    do {                                                                                           \
        const QString knReason = ::testsupport::NetnsRig::unavailableReason();                     \
        if (!knReason.isEmpty()) {                                                                 \
            if (::testsupport::rigRequiredByCi())                                                  \
                QFAIL(qPrintable(knReason));                                                       \
            QSKIP(qPrintable(knReason));                                                           \
        }                                                                                          \
    } while (false)
