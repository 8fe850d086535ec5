#pragma once
// A private test network of namespaces (root only). A bridge namespace holds br0
// (192.0.2.0/24) and br1 (198.51.100.0/24); the station namespace has eth0 192.0.2.1
// (02:00:00:00:00:01) and, on request, eth1 198.51.100.1; each element namespace has eth0 on
// the bridge of its address. Names are "kn<pid>-<n>-..." so parallel runs never collide. IPv6
// is off and the station may open unprivileged ICMP echo sockets.
//
// create() moves the calling thread into the station (a network namespace is per thread):
// call it from the main thread before any socket exists. The destructor stops the emulators,
// moves back and deletes the namespaces, also when a test failed midway. KN_REQUIRE_RIG()
// skips without root, but fails when CI=true.
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

    // The station at 192.0.2.1 (with 198.51.100.1 when far) and three elements: the encoder
    // .10, the decoder .11 (198.51.100.10 when far) and a third one .12, MAC 02:00:00:00:00:1<n>.
    // Each runs the emulator with its arguments ('|' between; none: no emulator) plus
    // --address and --log, and is "ready". Then the calling thread enters the station.
    bool create(QStringList emulators = {}, bool far = false);
    QStringList received(int i, int port) const; // hex of what element i's emulator got there
    QString lastError() const { return m_error; }

private:
    bool sh(const QString& script); // with $P the prefix, $BR the bridge namespace
    QString logPath(int i) const { return m_dir.filePath(QStringLiteral("element%1.log").arg(i)); }
    bool startEmulator(int i, const QString& address, const QStringList& args);
    bool enterStation();

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
