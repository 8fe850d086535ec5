#include "netnsrig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

QString pidPrefix() {
    return QStringLiteral("kn%1-").arg(QCoreApplication::applicationPid());
}

// Whatever a test starts dies with it, also when the test is killed.
void dieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool runProgram(const QString& program, const QStringList& args, QByteArray* out, int timeoutMs,
                QString* error) {
    QProcess p;
    dieWithParent(p);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs)) {
        *error = program + QStringLiteral(": ") + p.errorString();
        return false;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        *error = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) +
                 QStringLiteral(": timed out");
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                 QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return false;
    }
    return true;
}

QStringList namespaces() {
    QByteArray out;
    QString error;
    if (!runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")}, &out,
                    10000, &error))
        return {};
    QStringList names;
    for (const QByteArray& line : out.split('\n')) {
        const QByteArray name = line.trimmed().split(' ').value(0);
        if (!name.isEmpty())
            names << QString::fromLocal8Bit(name);
    }
    return names;
}

} // namespace

bool rigRequiredByCi() {
    const QByteArray ci = qgetenv("CI").toLower();
    return ci == "true" || ci == "1";
}

QString NetnsRig::unavailableReason() {
    if (::geteuid() != 0)
        return QStringLiteral("network namespace tests need root");
    QString error;
    if (!runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")},
                    nullptr, 10000, &error))
        return QStringLiteral("`ip netns` does not work here: ") + error;
    return {};
}

void NetnsRig::cleanupLeftovers() {
    static const QRegularExpression rigName(QStringLiteral("^kn(\\d+)-"));
    // This process's own names are leftovers only before its first rig.
    static std::atomic<bool> ownChecked{false};
    const bool ownAreLeftovers = !ownChecked.exchange(true);
    const QString own = pidPrefix();
    QString error;
    for (const QString& ns : namespaces()) {
        const QRegularExpressionMatch m = rigName.match(ns);
        if (!m.hasMatch() || (ns.startsWith(own) && !ownAreLeftovers) ||
            (!ns.startsWith(own) && QFile::exists(QStringLiteral("/proc/") + m.captured(1))))
            continue;
        QByteArray pids;
        runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), ns},
                   &pids, 10000, &error);
        for (const QByteArray& pid : pids.split('\n'))
            if (const int n = pid.trimmed().toInt(); n > 0)
                ::kill(n, SIGKILL);
        runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), ns},
                   nullptr, 10000, &error);
    }
}

QString NetnsRig::emulatorPath() {
    QString build = qEnvironmentVariable("KESTRUNE_BUILD_DIR");
    if (build.isEmpty())
        build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    return QDir::cleanPath(build + QStringLiteral("/tools/kestrune-element"));
}

NetnsRig::NetnsRig() {
    m_prefix = pidPrefix() + QString::number(++g_counter) + QLatin1Char('-');
}

NetnsRig::~NetnsRig() {
    destroy();
}

QString NetnsRig::name(const QString& suffix) const {
    return m_prefix + suffix;
}

QString NetnsRig::elementNs(int index) const {
    return index >= 0 && index < elementCount() ? m_elements[size_t(index)].ns : QString();
}

QString NetnsRig::elementAddress(int index) const {
    return index >= 0 && index < elementCount() ? m_elements[size_t(index)].address : QString();
}

bool NetnsRig::run(const QString& program, const QStringList& args, QByteArray* out,
                   int timeoutMs) {
    return runProgram(program, args, out, timeoutMs, &m_error);
}

bool NetnsRig::ip(const QStringList& args) {
    return run(QStringLiteral("ip"), args);
}

bool NetnsRig::setupNamespace(const QString& ns) {
    if (!ip({"netns", "add", ns}))
        return false;
    m_namespaces << ns;
    // Before any interface exists, so that each new one starts without IPv6.
    return ip({"netns", "exec", ns, "sysctl", "-q", "-w", "net.ipv6.conf.all.disable_ipv6=1",
               "net.ipv6.conf.default.disable_ipv6=1"}) &&
           ip({"-n", ns, "link", "set", "lo", "up"});
}

bool NetnsRig::create(const QStringList& stationAddresses, const QStringList& secondNetwork) {
    if (!m_stationNs.isEmpty()) {
        m_error = QStringLiteral("rig already created");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    cleanupLeftovers();
    m_bridgeNs = name(QStringLiteral("br"));
    const QString st = name(QStringLiteral("st"));
    m_secondNetwork = !secondNetwork.isEmpty();
    if (!setupNamespace(m_bridgeNs) ||
        !ip({"-n", m_bridgeNs, "link", "add", "br0", "type", "bridge"}) ||
        !ip({"-n", m_bridgeNs, "link", "set", "br0", "up"}))
        return false;
    if (m_secondNetwork && (!ip({"-n", m_bridgeNs, "link", "add", "br1", "type", "bridge"}) ||
                            !ip({"-n", m_bridgeNs, "link", "set", "br1", "up"})))
        return false;
    if (!setupNamespace(st) ||
        !ip({"netns", "exec", st, "sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"}))
        return false;
    struct Leg {
        QString dev, mac, bridge;
        QStringList addresses;
    };
    QList<Leg> legs{{"eth0", "02:00:00:00:00:01", "br0", stationAddresses}};
    if (m_secondNetwork)
        legs.append({"eth1", "02:00:00:01:00:01", "br1", secondNetwork});
    for (const Leg& leg : legs) {
        const QString peer = QStringLiteral("p%1").arg(m_ports++);
        if (!ip({"link", "add", leg.dev, "address", leg.mac, "netns", st, "type", "veth", "peer",
                 "name", peer, "netns", m_bridgeNs}) ||
            !ip({"-n", m_bridgeNs, "link", "set", peer, "master", leg.bridge, "up"}) ||
            !ip({"-n", st, "link", "set", leg.dev, "up"}))
            return false;
        for (const QString& a : leg.addresses)
            if (!ip({"-n", st, "addr", "add", a, "dev", leg.dev}))
                return false;
    }
    m_stationNs = st;
    return true;
}

QString NetnsRig::addElement(const QString& address, const QString& mac) {
    if (m_stationNs.isEmpty()) {
        m_error = QStringLiteral("create() the rig first");
        return {};
    }
    const bool second = address.startsWith(QStringLiteral("198.51.100."));
    if (second && !m_secondNetwork) {
        m_error = QStringLiteral("no second network in this rig");
        return {};
    }
    const QString ns = name(QStringLiteral("e%1").arg(m_elements.size()));
    const QString peer = QStringLiteral("p%1").arg(m_ports++);
    if (!setupNamespace(ns) ||
        !ip({"link", "add", "eth0", "address", mac, "netns", ns, "type", "veth", "peer", "name",
             peer, "netns", m_bridgeNs}) ||
        !ip({"-n", m_bridgeNs, "link", "set", peer, "master", second ? "br1" : "br0", "up"}) ||
        !ip({"-n", ns, "link", "set", "eth0", "up"}) ||
        !ip({"-n", ns, "addr", "add", address + QStringLiteral("/24"), "dev", "eth0"}))
        return {};
    Element e;
    e.ns = ns;
    e.address = address;
    m_elements.push_back(std::move(e));
    return ns;
}

QString NetnsRig::emulatorLogPath(int elementIndex) const {
    return m_dir.filePath(QStringLiteral("element%1.log").arg(elementIndex));
}

QStringList NetnsRig::emulatorLog(int elementIndex) const {
    QFile f(emulatorLogPath(elementIndex));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QProcess* NetnsRig::startEmulator(int elementIndex, const QStringList& args) {
    if (elementIndex < 0 || elementIndex >= elementCount()) {
        m_error = QStringLiteral("no element %1").arg(elementIndex);
        return nullptr;
    }
    Element& e = m_elements[size_t(elementIndex)];
    if (e.emulator) {
        m_error = QStringLiteral("element %1 already has an emulator").arg(elementIndex);
        return nullptr;
    }
    const QString program = emulatorPath();
    if (!QFile::exists(program)) {
        m_error = QStringLiteral("emulator not built: ") + program;
        return nullptr;
    }
    QStringList all = args;
    if (!all.contains(QStringLiteral("--address")))
        all << QStringLiteral("--address") << e.address;
    if (!all.contains(QStringLiteral("--log"))) {
        QFile::remove(emulatorLogPath(elementIndex)); // each run's log of its own
        all << QStringLiteral("--log") << emulatorLogPath(elementIndex);
    }
    const QString out = m_dir.filePath(QStringLiteral("element%1.out").arg(elementIndex));
    const QString err = m_dir.filePath(QStringLiteral("element%1.err").arg(elementIndex));
    auto p = std::make_unique<QProcess>();
    dieWithParent(*p);
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(out);
    p->setStandardErrorFile(err);
    // `ip netns exec` execs the program in place, so the process is the emulator itself.
    p->start(QStringLiteral("ip"), QStringList{"netns", "exec", e.ns, program} + all);
    if (!p->waitForStarted(10000)) {
        m_error = QStringLiteral("emulator did not start: ") + p->errorString();
        return nullptr;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QFile f(out);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("ready\n"))
            break;
        if (p->state() == QProcess::NotRunning || waited.elapsed() > 10000) {
            QFile ef(err);
            ef.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("emulator not ready: ") + QString::fromLocal8Bit(ef.readAll());
            p->kill();
            p->waitForFinished();
            return nullptr;
        }
        QThread::msleep(5);
    }
    e.emulator = std::move(p);
    return e.emulator.get();
}

void NetnsRig::stopEmulator(int elementIndex) {
    if (elementIndex < 0 || elementIndex >= elementCount())
        return;
    auto& emulator = m_elements[size_t(elementIndex)].emulator;
    if (!emulator)
        return;
    emulator->terminate();
    if (!emulator->waitForFinished(3000)) {
        emulator->kill();
        emulator->waitForFinished(3000);
    }
    emulator.reset();
}

void NetnsRig::stopEmulators() {
    for (int i = 0; i < elementCount(); ++i)
        stopEmulator(i);
}

int NetnsRig::runInStation(const QStringList& argv, QByteArray* output, int timeoutMs) {
    if (m_stationNs.isEmpty() || argv.isEmpty())
        return -1;
    QProcess p;
    dieWithParent(p);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("ip"), QStringList{"netns", "exec", m_stationNs} + argv);
    if (!p.waitForStarted(timeoutMs))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool NetnsRig::enterStation() {
    if (m_stationNs.isEmpty() || m_savedNs >= 0)
        return m_savedNs >= 0;
    // thread-self: the namespace is per thread, and this is the one that moves.
    const int saved = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target =
        ::open(qPrintable(QStringLiteral("/run/netns/") + m_stationNs), O_RDONLY | O_CLOEXEC);
    if (saved < 0 || target < 0 || ::setns(target, CLONE_NEWNET) != 0) {
        m_error = QStringLiteral("setns into %1 failed: %2").arg(m_stationNs, qt_error_string());
        if (saved >= 0)
            ::close(saved);
        if (target >= 0)
            ::close(target);
        return false;
    }
    ::close(target);
    m_savedNs = saved;
    return true;
}

bool NetnsRig::leaveStation() {
    if (m_savedNs < 0)
        return true;
    const bool ok = ::setns(m_savedNs, CLONE_NEWNET) == 0;
    ::close(m_savedNs);
    m_savedNs = -1;
    return ok;
}

void NetnsRig::destroy() {
    stopEmulators();
    leaveStation();
    QString error;
    for (auto it = m_namespaces.crbegin(); it != m_namespaces.crend(); ++it)
        runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), *it},
                   nullptr, 10000, &error);
    m_namespaces.clear();
    m_elements.clear();
    m_stationNs.clear();
}

} // namespace testsupport
