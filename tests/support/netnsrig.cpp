#include "netnsrig.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

// ns NAME: a namespace with IPv6 off (before any interface exists) and lo up.
// plug NS DEV MAC ADDRESS: a veth pair from DEV in NS (made if new) to the bridge of the
// address's network in $BR.
const char* const kFunctions = R"(set -e
ns() { ip netns add $1; ip -n $1 link set lo up
  ip netns exec $1 sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1; }
plug() { if [ ! -e /run/netns/$1 ]; then ns $1; fi; PEER=${1#$P}${2#eth}
  case $4 in 198.51.100.*) B=br1;; *) B=br0;; esac
  ip link add $2 address $3 netns $1 type veth peer name $PEER netns $BR
  ip -n $BR link set $PEER master $B up; ip -n $1 link set $2 up; ip -n $1 addr add $4/24 dev $2; }
)";

// Whatever a test starts dies with it, also when the test is killed.
void dieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p.setProcessChannelMode(QProcess::MergedChannels);
}

// The script's output when it failed, else empty.
QString runSh(const QString& script) {
    QProcess p;
    dieWithParent(p);
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), kFunctions + script});
    const bool ok =
        p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ok ? QString() : script + QStringLiteral(": ") + p.readAll() + p.errorString();
}

} // namespace

QString NetnsRig::unavailableReason() {
    return ::geteuid() != 0 ? QStringLiteral("network namespace tests need root")
                            : runSh(QStringLiteral("ip netns list"));
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
    sh(QStringLiteral(
        "for n in $(ip netns list | grep -o \"^$P[^ ]*\"); do ip netns del $n; done"));
}

bool NetnsRig::sh(const QString& script) {
    m_error = runSh(QStringLiteral("P=%1; BR=%1br; ").arg(m_prefix) + script);
    return m_error.isEmpty();
}

bool NetnsRig::create(QStringList emulators, bool far) {
    if (!sh(QStringLiteral(
                "for n in $(ip netns list | grep -o '^kn[0-9]*-[^ ]*'); do pid=${n#kn}\n"
                "  if [ -e /proc/${pid%%-*} ] && [ ${pid%%-*} != %1 -o %2 != 1 ]; then continue; "
                "fi\n"
                "  kill -9 $(ip netns pids $n) 2>/dev/null || true; ip netns del $n || true; done\n"
                "ns $BR; for b in br0 br1; do ip -n $BR link add $b type bridge; ip -n $BR link "
                "set $b up; done\n"
                "ns ${P}st; ip netns exec ${P}st sysctl -qw 'net.ipv4.ping_group_range=0 "
                "2147483647'\n"
                "plug ${P}st eth0 02:00:00:00:00:01 192.0.2.1\n")
                .arg(QCoreApplication::applicationPid())
                .arg(g_counter) +
            (far ? "plug ${P}st eth1 02:00:00:01:00:01 198.51.100.1" : "")))
        return false;
    emulators.resize(3);
    m_emulators.resize(3);
    for (int i = 0; i < 3; ++i) {
        const QString address = QString(far && i == 1 ? "198.51.100.1%1" : "192.0.2.1%1").arg(i);
        if (!sh(QStringLiteral("plug ${P}e%1 eth0 02:00:00:00:00:1%1 %2").arg(i).arg(address)) ||
            (!emulators[i].isEmpty() &&
             !startEmulator(i, address, emulators[i].split('|', Qt::SkipEmptyParts))))
            return false;
    }
    return enterStation();
}

QStringList NetnsRig::received(int i, int port) const {
    QFile f(logPath(i));
    return QString::fromLatin1(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray())
        .split(QLatin1Char('\n'))
        .filter(QRegularExpression(QStringLiteral("^%1 ").arg(port)))
        .replaceInStrings(QRegularExpression(QStringLiteral("^\\d+ ")), QString());
}

bool NetnsRig::startEmulator(int i, const QString& address, const QStringList& args) {
    auto& p = m_emulators[size_t(i)] = std::make_unique<QProcess>();
    dieWithParent(*p);
    // `ip netns exec` execs the program in place, so the process is the emulator itself.
    p->start("ip", QStringList{"netns", "exec", m_prefix + QStringLiteral("e%1").arg(i),
                               emulatorPath(), "--address", address, "--log", logPath(i)} +
                       args);
    QByteArray out;
    while (!out.contains("ready\n") && p->waitForReadyRead(10000))
        out += p->readAll();
    m_error = QStringLiteral("emulator not ready: ") + QString::fromLocal8Bit(out);
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
