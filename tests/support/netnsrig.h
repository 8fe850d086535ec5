#pragma once
// A private test network of namespaces (root only), in one of two shapes.
//
// The standard network: a bridge namespace holds br0 (192.0.2.0/24) and br1
// (198.51.100.0/24); the station namespace has eth0 192.0.2.1 (02:00:00:00:00:01) and, on
// request, eth1 198.51.100.1; each element namespace has eth0 on the bridge of its address.
//
// A fleet: on one bridge (198.18.0.0/15) the station at 198.18.0.1 (02:00:00:00:00:01), another
// host at 198.18.0.2 (02:00:00:00:00:02) and N elements in one namespace, element k on an
// interface of its own with the address 198.18.0.10 + k and the MAC 02:00:00 followed by
// 0x000010 + k, all served by one emulator. Each element interface answers ARP for its own
// address only and holds a permanent neighbour entry for the station, so that the fleet's
// side adds nothing to the kernel's neighbour table count, which all namespaces share.
//
// Names are "knrig-<pid>-<start time>-<n>-..." and each namespace has a mark in
// /run/kestrune-netnsrig: a rig deletes a namespace left behind only when the mark proves it
// was a rig's (same name, same namespace) and its creator is dead; nothing else is touched.
// IPv6 is off and the station may open unprivileged ICMP echo sockets.
//
// create() and createFleet() move the calling thread into the station (a network namespace is
// per thread): call them from the main thread before any socket exists. The destructor stops
// the emulators, moves back and deletes the namespaces, also when a test failed midway.
// KN_REQUIRE_RIG() skips without root, but fails when CI=true.
#include "support/requiredbyci.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace testsupport {

class NetnsRig {
public:
    NetnsRig();
    ~NetnsRig();

    static QString unavailableReason(); // empty when the rig can be built here
    static QString emulatorPath() {     // <build>/tools/kestrune-element
        return QCoreApplication::applicationDirPath() + "/../tools/kestrune-element";
    }
    // How the names of the namespaces of the rigs of process pid begin.
    static QString namePrefix(qint64 pid) { return QStringLiteral("knrig-%1-").arg(pid); }

    // The standard network with three elements: the encoder .10, the decoder .11
    // (198.51.100.10 when far) and a third one .12, MAC 02:00:00:00:00:1<n>. Each runs the
    // emulator with its arguments ('|' between; none: no emulator) plus --address and --log,
    // and is "ready". Then the calling thread enters the station.
    bool create(QStringList emulators = {}, bool far = false);
    // A fleet of count elements, their emulator run with these arguments plus --address,
    // --count and --log. Then the calling thread enters the station.
    bool createFleet(int count, const QStringList& emulatorArguments = {});
    // The other host of a fleet, for setns() by a thread that sends from there.
    QString otherHostNamespace() const { return "/run/netns/" + m_prefix + "host"; }

    QStringList received(int i, int port) const; // hex of what element i's emulator got there
    qint64 emulatorProcessId(int i) const { return m_emulators.at(size_t(i))->processId(); }
    QString lastError() const { return m_error; }

private:
    bool sh(const QString& script); // with $P the prefix, $BR the bridge namespace
    bool ipBatch(const QString& space, const QString& commands);
    QString logPath(int i) const { return m_dir.filePath(QStringLiteral("element%1.log").arg(i)); }
    bool startEmulator(int i, const QString& space, const QStringList& args);
    bool enterStation();
    void removeStale();

    QString m_prefix;
    std::vector<std::unique_ptr<QProcess>> m_emulators;
    QTemporaryDir m_dir;
    QString m_error;
    int m_savedNs = -1;
};

} // namespace testsupport

#define KN_REQUIRE_RIG()                                                                           \
    if (const QString why = ::testsupport::NetnsRig::unavailableReason(); !why.isEmpty()) {        \
        QVERIFY2(!::testsupport::rigRequiredByCi(), qPrintable(why));                              \
        QSKIP(qPrintable(why));                                                                    \
    }
