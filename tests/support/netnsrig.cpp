#include "netnsrig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

// Whatever a test starts dies with it, also when the test is killed.
void dieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p.setStandardInputFile(QProcess::nullDevice());
}

// "ip" with space-separated arguments; the error text, empty on success.
QString runIp(const QString& args, QByteArray* out = nullptr) {
    QProcess p;
    dieWithParent(p);
    p.start(QStringLiteral("ip"), args.split(QLatin1Char(' ')));
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("ip %1: %2 %3").arg(args, p.errorString(), p.readAllStandardError());
    if (out)
        *out = p.readAllStandardOutput();
    return {};
}

} // namespace

bool rigRequiredByCi() {
    const QByteArray ci = qgetenv("CI").toLower();
    return ci == "true" || ci == "1";
}

QString NetnsRig::unavailableReason() {
    return ::geteuid() != 0 ? QStringLiteral("network namespace tests need root")
                            : runIp(QStringLiteral("netns list"));
}

void NetnsRig::cleanupLeftovers() {
    static const QRegularExpression rigName(QStringLiteral("^kn(\\d+)-\\S*"),
                                            QRegularExpression::MultilineOption);
    QByteArray list, pids;
    runIp(QStringLiteral("netns list"), &list);
    for (auto it = rigName.globalMatch(QString::fromLocal8Bit(list)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        // A process that still runs owns its rigs; this one had its pid before, if any, when
        // it makes its first rig.
        if (QFile::exists(QStringLiteral("/proc/") + m.captured(1)) &&
            (m.captured(1).toLongLong() != QCoreApplication::applicationPid() || g_counter > 1))
            continue;
        runIp(QStringLiteral("netns pids ") + m.captured(0), &pids);
        for (const QByteArray& pid : pids.split('\n'))
            if (const int n = pid.trimmed().toInt(); n > 0)
                ::kill(n, SIGKILL);
        runIp(QStringLiteral("netns del ") + m.captured(0));
    }
}

QString NetnsRig::emulatorPath() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../tools/kestrune-element"));
}

NetnsRig::NetnsRig()
    : m_prefix(
          QStringLiteral("kn%1-%2-").arg(QCoreApplication::applicationPid()).arg(++g_counter)) {}

NetnsRig::~NetnsRig() {
    for (auto& p : m_emulators)
        if (p)
            p->kill(), p->waitForFinished();
    if (m_savedNs >= 0)
        ::setns(m_savedNs, CLONE_NEWNET), ::close(m_savedNs);
    for (auto it = m_namespaces.crbegin(); it != m_namespaces.crend(); ++it)
        runIp(QStringLiteral("netns del ") + *it);
}

bool NetnsRig::ip(const QString& args) {
    m_error = runIp(args);
    return m_error.isEmpty();
}

bool NetnsRig::addNamespace(const QString& ns) {
    if (m_namespaces.contains(ns))
        return true;
    if (!ip("netns add " + ns))
        return false;
    m_namespaces << ns;
    // Before any interface exists, so that each new one starts without IPv6.
    return ip("netns exec " + ns + " sysctl -q -w net.ipv6.conf.all.disable_ipv6=1" +
              " net.ipv6.conf.default.disable_ipv6=1") &&
           ip("-n " + ns + " link set lo up");
}

// A veth pair from dev in ns to the bridge of the address's network.
bool NetnsRig::plug(const QString& ns, const QString& dev, const QString& mac,
                    const QString& address) {
    const QString bridge = address.startsWith(QLatin1String("198.51.100.")) ? "br1" : "br0";
    const QString peer = QStringLiteral("p%1").arg(m_ports++);
    return addNamespace(ns) &&
           ip(QStringLiteral("link add %1 address %2 netns %3 type veth peer name %4 netns %5br")
                  .arg(dev, mac, ns, peer, m_prefix)) &&
           ip(QStringLiteral("-n %1br link set %2 master %3 up").arg(m_prefix, peer, bridge)) &&
           ip(QStringLiteral("-n %1 link set %2 up").arg(ns, dev)) &&
           ip(QStringLiteral("-n %1 addr add %2/24 dev %3").arg(ns, address, dev));
}

bool NetnsRig::create(bool secondNetwork) {
    cleanupLeftovers();
    const QString br = m_prefix + "br", st = m_prefix + "st";
    for (const char* b : {"br0", "br1"})
        if (!addNamespace(br) || !ip(QStringLiteral("-n %1 link add %2 type bridge").arg(br, b)) ||
            !ip(QStringLiteral("-n %1 link set %2 up").arg(br, b)))
            return false;
    // The range is two numbers; a tab keeps them one argument of "ip".
    return addNamespace(st) &&
           ip("netns exec " + st + " sysctl -q -w net.ipv4.ping_group_range=0\t2147483647") &&
           plug(st, "eth0", "02:00:00:00:00:01", "192.0.2.1") &&
           (!secondNetwork || plug(st, "eth1", "02:00:00:01:00:01", "198.51.100.1"));
}

bool NetnsRig::addElement(const QString& address, const QString& mac, const QStringList& args) {
    const int i = int(m_emulators.size());
    m_emulators.emplace_back();
    return plug(m_prefix + QStringLiteral("e%1").arg(i), "eth0", mac, address) &&
           (args.isEmpty() || startEmulator(i, address, args));
}

QString NetnsRig::logPath(int i) const {
    return m_dir.filePath(QStringLiteral("element%1.log").arg(i));
}

QStringList NetnsRig::emulatorLog(int i) const {
    QFile f(logPath(i));
    return f.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
               : QStringList();
}

bool NetnsRig::startEmulator(int i, const QString& address, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    dieWithParent(*p);
    p->setProcessChannelMode(QProcess::MergedChannels);
    // `ip netns exec` execs the program in place, so the process is the emulator itself.
    p->start("ip", QStringList{"netns", "exec", m_prefix + QStringLiteral("e%1").arg(i),
                               emulatorPath(), "--address", address, "--log", logPath(i)} +
                       args);
    QByteArray out;
    while (!out.contains("ready\n") && p->waitForReadyRead(10000))
        out += p->readAll();
    m_error = QStringLiteral("emulator not ready: ") + QString::fromLocal8Bit(out);
    m_emulators[size_t(i)] = std::move(p);
    return out.contains("ready\n");
}

bool NetnsRig::enterStation() {
    // thread-self: the namespace is per thread, and this is the one that moves.
    m_savedNs = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(qPrintable("/run/netns/" + m_prefix + "st"), O_RDONLY | O_CLOEXEC);
    const bool ok = m_savedNs >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    m_error = ok ? QString() : QStringLiteral("setns failed: ") + qt_error_string();
    ::close(target);
    return ok;
}

} // namespace testsupport
