#pragma once
// A private test network of namespaces (root only), in one of two shapes.
//
// The standard network: a bridge namespace holds br0 (192.0.2.0/24) and br1
// (198.51.100.0/24); the station namespace has eth0 192.0.2.1 (02:00:00:00:00:01) and, when far,
// eth1 198.51.100.1; element i (0 to 2) has eth0 192.0.2.1i (the decoder 1 far: 198.51.100.11),
// MAC 02:00:00:00:00:1i.
//
// A fleet: on one bridge (198.18.0.0/15) the station at 198.18.0.1 (02:00:00:00:00:01), another
// host at 198.18.0.2 and N elements in one namespace, element k on an interface of its own with
// the address 198.18.0.10 + k and the MAC 02:00:00 followed by 0x000010 + k, all played by one
// emulator. Each element interface answers ARP for its own address only and holds a permanent
// entry for the station, so the fleet adds nothing to the neighbour table count that all
// namespaces share.
//
// Names are "knrig-<pid>-<n>-..." and each namespace has a mark in
// /run/kestrune-netnsrig: a rig deletes a namespace left behind only when the mark proves it was
// a rig's (same name, same namespace) and its creator is dead; nothing else is touched. IPv6 is
// off and the station may open unprivileged ICMP echo sockets.
//
// create() and createFleet() move the calling thread into the station (a network namespace is
// per thread): call them from the main thread before any socket exists. The destructor stops
// the emulators, moves back and deletes the namespaces, also when a test failed midway.
#include "support/requiredbyci.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace testsupport {

class NetnsRig {
public:
    NetnsRig();
    ~NetnsRig();

    static QString unavailableReason(); // empty when the rig can be built here
    static QString emulatorPath() {
        return QCoreApplication::applicationDirPath() + "/../tools/kestrune-element";
    }
    static QString namePrefix(qint64 pid) { return QStringLiteral("knrig-%1-").arg(pid); }

    // The standard network; element i runs the emulator with emulators[i] plus --address and
    // --log (none beyond the list), and is "ready".
    bool create(const QList<QStringList>& emulators = {}, bool far = false);
    // A fleet of count elements, one emulator with these arguments plus --address and --count.
    bool createFleet(int count, const QStringList& emulatorArguments = {});
    QString otherHostNamespace() const { return "/run/netns/" + m_prefix + "host"; }

    QStringList received(int i, int port) const; // hex of what element i got on that port
    qint64 emulatorProcessId(int i) const { return m_emulators.at(size_t(i))->processId(); }
    QString lastError() const { return m_error; }
    // Runs a shell script as root: ${P}st is the station's namespace, ${P}e0 to ${P}e2 the
    // elements', $BR the bridges'.
    bool sh(const QString& script);

private:
    bool startEmulator(int i, const QString& space, const QStringList& address,
                       const QStringList& arguments);
    bool enterStation();

    QString m_prefix;
    std::vector<std::unique_ptr<QProcess>> m_emulators;
    QTemporaryDir m_dir;
    QString m_error;
    int m_savedNs = -1;
};

} // namespace testsupport
