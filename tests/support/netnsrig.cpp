#include "netnsrig.h"

#include <QFile>

#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

// ns NAME: a namespace with its mark "<creator pid> <its start time> <its pid namespace>
// <namespace inode>" (a pid means nothing in another pid namespace, whose marks stay), IPv6
// off before any interface exists, lo up, unprivileged ICMP echo allowed. plug NS DEV MAC
// ADDRESS/PREFIX BRIDGE: a veth from DEV in NS (made if new) to that bridge in $BR. Then the
// namespaces of dead rigs go, each only when its mark proves it the one that was marked.
const char* const kFunctions = R"sh(set -e; mkdir -p $M
started() { sed 's/.*) //' /proc/$1/stat | cut -d' ' -f20; }
PIDNS=$(stat -L -c %i /proc/$$/ns/pid); OWNER="$PPID $(started $PPID) $PIDNS"
ns() { ip netns add $1; echo "$OWNER $(stat -c %i /run/netns/$1)" >$M/$1
  ip -n $1 link set lo up; ip netns exec $1 sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
    net.ipv6.conf.default.disable_ipv6=1 'net.ipv4.ping_group_range=0 2147483647'; }
plug() { [ -e /run/netns/$1 ] || ns $1
  ip link add $2 address $3 netns $1 type veth peer name ${1#$P}$2 netns $BR
  ip -n $BR link set ${1#$P}$2 master $5 up; ip -n $1 link set $2 up; ip -n $1 addr add $4 dev $2; }
for m in $M/knrig-*; do [ -e "$m" ] || continue; read pid start pidns space <"$m" || true
  [ "$pidns" != "$PIDNS" ] || [ "$(started $pid)" = "$start" ] && continue
  [ "$(stat -c %i /run/netns/${m##*/})" = "$space" ] && ip netns del ${m##*/} || true
  rm "$m"; done
)sh";

// Whatever a test starts dies with it, also when the test is killed.
void dieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p.setProcessChannelMode(QProcess::MergedChannels);
}

} // namespace

QString NetnsRig::unavailableReason() {
    if (::geteuid() != 0)
        return QStringLiteral("network namespace tests need root");
    NetnsRig probe;
    return probe.sh("ip netns list") ? QString() : probe.m_error;
}

NetnsRig::NetnsRig()
    : m_prefix(namePrefix(QCoreApplication::applicationPid()) + QString::number(++g_counter) +
               '-') {}

NetnsRig::~NetnsRig() {
    for (auto& p : m_emulators) {
        p->kill();
        p->waitForFinished();
    }
    if (m_savedNs >= 0) {
        ::setns(m_savedNs, CLONE_NEWNET);
        ::close(m_savedNs);
    }
    sh("for m in $M/$P*; do ip netns del ${m##*/} || true; rm -f $m; done");
}

// The script goes in on standard input, which has no length limit.
bool NetnsRig::sh(const QString& script) {
    QProcess p;
    dieWithParent(p);
    p.start("sh");
    p.write(("P=" + m_prefix + "; BR=${P}br; M=/run/kestrune-netnsrig\n" + kFunctions + script)
                .toLatin1());
    p.closeWriteChannel();
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    m_error = ok ? QString() : script.left(2000) + ": " + p.readAll();
    return ok;
}

bool NetnsRig::create(const QList<QStringList>& emulators, bool far) {
    QString script = "ns $BR; for b in br0 br1; do ip -n $BR link add $b type bridge\n"
                     "ip -n $BR link set $b up; done\n"
                     "plug ${P}st eth0 02:00:00:00:00:01 192.0.2.1/24 br0\n";
    if (far)
        script += "plug ${P}st eth1 02:00:00:01:00:01 198.51.100.1/24 br1\n";
    QStringList addresses{"192.0.2.10", far ? "198.51.100.11" : "192.0.2.11", "192.0.2.12"};
    for (int i = 0; i < 3; ++i)
        script += QString("plug ${P}e%1 eth0 02:00:00:00:00:1%1 %2/24 br%3\n")
                      .arg(i)
                      .arg(addresses[i])
                      .arg(far && i == 1);
    if (!sh(script))
        return false;
    for (int i = 0; i < emulators.size(); ++i)
        if (!startEmulator(i, "e" + QString::number(i), {"--address", addresses[i]}, emulators[i]))
            return false;
    return enterStation();
}

bool NetnsRig::createFleet(int count, const QStringList& emulatorArguments) {
    // In the fleet each interface answers ARP for its own address only, and no reverse-path
    // check drops what comes in on one of the many interfaces of one network. The station's
    // entries are permanent: exempt from the count, and never asked for again.
    return sh("N=" + QString::number(count) + R"sh(
ns $BR; ip -n $BR link add br0 type bridge; ip -n $BR link set br0 up
plug ${P}st eth0 02:00:00:00:00:01 198.18.0.1/15 br0
plug ${P}host eth0 02:00:00:00:00:02 198.18.0.2/15 br0
ns ${P}fleet; for c in all default; do ip netns exec ${P}fleet sysctl -qw \
  net.ipv4.conf.$c.arp_ignore=1 net.ipv4.conf.$c.arp_announce=2 net.ipv4.conf.$c.rp_filter=0; done
k=0; while [ $k -lt $N ]; do m=$((16 + k))
  printf 'link add f%d type veth peer name e%d address 02:00:00:%02x:%02x:%02x netns %sfleet\n' \
    $k $k $((m >> 16)) $((m >> 8 & 255)) $((m & 255)) $P; echo "link set f$k master br0 up"
  k=$((k + 1)); done | ip -n $BR -batch -
k=0; while [ $k -lt $N ]; do a=$((10 + k))
  echo "addr add 198.$((18 + a / 65536)).$((a / 256 % 256)).$((a % 256))/15 dev e$k"
  echo "neigh replace 198.18.0.1 lladdr 02:00:00:00:00:01 dev e$k nud permanent"
  echo "link set e$k up"; k=$((k + 1)); done | ip -n ${P}fleet -batch -
)sh") &&
           startEmulator(0, "fleet",
                         {"--address", "198.18.0.10", "--count", QString::number(count)},
                         emulatorArguments) &&
           enterStation();
}

QStringList NetnsRig::received(int i, int port) const {
    QFile f(m_dir.filePath(QString::number(i)));
    QStringList hex;
    for (const QByteArray& line : (f.open(QIODevice::ReadOnly) ? f.readAll() : "").split('\n'))
        if (line.startsWith(QByteArray::number(port) + ' '))
            hex << line.mid(5);
    return hex;
}

bool NetnsRig::startEmulator(int i, const QString& space, const QStringList& address,
                             const QStringList& arguments) {
    QProcess* p = m_emulators.emplace_back(new QProcess).get();
    dieWithParent(*p);
    // `ip netns exec` execs the program in place, so the process is the emulator itself.
    p->start("ip", QStringList{"netns", "exec", m_prefix + space, emulatorPath(), "--log",
                               m_dir.filePath(QString::number(i))} +
                       address + arguments);
    QByteArray out;
    while (!out.contains("ready\n") && p->waitForReadyRead(10000))
        out += p->readAll();
    m_error = "emulator not ready: " + out;
    return out.contains("ready\n");
}

// The calling thread moves: a network namespace is per thread.
bool NetnsRig::enterStation() {
    m_savedNs = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int station = ::open(qPrintable("/run/netns/" + m_prefix + "st"), O_RDONLY | O_CLOEXEC);
    const bool entered = ::setns(station, CLONE_NEWNET) == 0;
    ::close(station);
    m_error = entered ? "" : "cannot enter the station";
    return entered;
}

} // namespace testsupport
