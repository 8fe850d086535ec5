#pragma once
// A private test network of namespaces (root only). A bridge namespace holds br0
// (192.0.2.0/24) and, on request, br1 (198.51.100.0/24); the station namespace has eth0
// 192.0.2.1 (02:00:00:00:00:01) and then eth1 198.51.100.1; each element namespace has eth0 on
// the bridge of its address. Names are "kn<pid>-<n>-..." so parallel runs never collide. IPv6
// is off and the station may open unprivileged ICMP echo sockets.
//
// enterStation() moves the calling thread (a network namespace is per thread): call it from
// the main thread before any socket exists. The destructor stops the emulators and deletes the
// namespaces, also when a test failed midway. KN_REQUIRE_RIG() skips without root, but fails
// when CI=true.
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

    bool create(bool secondNetwork = false);
    // An element on the bridge of its address (198.51.100.x: the second one). Unless args is
    // empty, its emulator runs with them (plus --address and --log) and is "ready".
    bool addElement(const QString& address, const QString& mac, const QStringList& args);
    QStringList received(int i, int port) const; // hex of what element i's emulator got there
    bool enterStation();
    QString lastError() const { return m_error; }

private:
    bool sh(const QString& script); // with $P the prefix, $BR the bridge namespace
    bool startEmulator(int i, const QString& address, const QStringList& args);

    QString m_prefix;
    std::vector<std::unique_ptr<QProcess>> m_emulators;
    QTemporaryDir m_dir;
    QString m_error;
    int m_savedNs = -1;
};

bool rigRequiredByCi(); // CI=true: what cannot run here is a failure, not a skip

} // namespace testsupport

#define KN_REQUIRE_RIG()                                                                           \
    if (const QString why = ::testsupport::NetnsRig::unavailableReason(); !why.isEmpty()) {        \
        QVERIFY2(!::testsupport::rigRequiredByCi(), qPrintable(why));                              \
        QSKIP(qPrintable(why));                                                                    \
    }
