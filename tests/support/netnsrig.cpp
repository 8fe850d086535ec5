#include "netnsrig.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

// One mark per namespace a rig made: "<creator pid> <its start time> <namespace inode>".
const QString kMarks = QStringLiteral("/run/kestrune-netnsrig");

// ns NAME: a namespace, marked as the rig's, with IPv6 off (before any interface exists) and
// lo up. plug NS DEV MAC ADDRESS/PREFIX: a veth pair from DEV in NS (made if new) to the
// bridge of the address's network in $BR.
const char* const kFunctions = R"sh(set -e
ns() { ip netns add $1; echo "$OWNER $(stat -c %i /run/netns/$1)" > $MARKS/$1
  ip -n $1 link set lo up
  ip netns exec $1 sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1; }
plug() { if [ ! -e /run/netns/$1 ]; then ns $1; fi; PEER=${1#$P}${2#eth}
  case $4 in 198.51.100.*) B=br1;; *) B=br0;; esac
  ip link add $2 address $3 netns $1 type veth peer name $PEER netns $BR
  ip -n $BR link set $PEER master $B up; ip -n $1 link set $2 up; ip -n $1 addr add $4 dev $2; }
)sh";

// Whatever a test starts dies with it, also when the test is killed.
void dieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p.setProcessChannelMode(QProcess::MergedChannels);
}

// The program's output when it failed, else empty.
QString run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    QProcess p;
    dieWithParent(p);
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ok ? QString() : arguments.join(' ').left(2000) + ": " + p.readAll() + p.errorString();
}

QString runSh(const QString& script) {
    return run(QStringLiteral("sh"), {QStringLiteral("-c"), kFunctions + script});
}

// Field 22 of /proc/<pid>/stat, which tells a process from a later one with the same number;
// empty when there is no such process.
QByteArray startTimeOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields[19] : QByteArray();
}

} // namespace

QString NetnsRig::unavailableReason() {
    return ::geteuid() != 0 ? QStringLiteral("network namespace tests need root")
                            : runSh(QStringLiteral("ip netns list"));
}

NetnsRig::NetnsRig()
    : m_prefix(namePrefix(QCoreApplication::applicationPid()) +
               QStringLiteral("%1-%2-")
                   .arg(QString::fromLatin1(startTimeOf(QCoreApplication::applicationPid())))
                   .arg(++g_counter)) {}

NetnsRig::~NetnsRig() {
    for (auto& p : m_emulators) {
        if (p) {
            p->kill();
            p->waitForFinished();
        }
    }
    if (m_savedNs >= 0) {
        ::setns(m_savedNs, CLONE_NEWNET);
        ::close(m_savedNs);
    }
    sh(QStringLiteral("for m in $MARKS/$P*; do [ -e \"$m\" ] || continue\n"
                      "  ip netns del ${m##*/} || true; rm -f \"$m\"; done"));
}

bool NetnsRig::sh(const QString& script) {
    m_error = runSh(QStringLiteral("P=%1; BR=%1br; MARKS=%2; OWNER='%3 %4'; mkdir -p $MARKS\n")
                        .arg(m_prefix, kMarks)
                        .arg(QCoreApplication::applicationPid())
                        .arg(QString::fromLatin1(startTimeOf(QCoreApplication::applicationPid()))) +
                    script);
    return m_error.isEmpty();
}

bool NetnsRig::ipBatch(const QString& space, const QString& commands) {
    m_error = run(QStringLiteral("ip"), {"-n", space, "-batch", "-"}, commands.toLatin1());
    return m_error.isEmpty();
}

// A namespace goes only when its mark proves it a rig's (the name still holds the namespace
// that was marked) and the rig's process is gone; a mark whose name now holds another
// namespace goes alone.
void NetnsRig::removeStale() {
    const QDir marks(kMarks);
    for (const QString& name : marks.entryList(QDir::Files)) {
        QFile mark(marks.filePath(name));
        const QList<QByteArray> owner = mark.open(QIODevice::ReadOnly)
                                            ? mark.readAll().trimmed().split(' ')
                                            : QList<QByteArray>();
        static const QRegularExpression rigName(QStringLiteral("^knrig-\\d+-\\d+-\\d+-"));
        if (!rigName.match(name).hasMatch() || owner.size() != 3 ||
            startTimeOf(owner[0].toLongLong()) == owner[1])
            continue;
        struct stat space {};
        if (::stat(qPrintable("/run/netns/" + name), &space) == 0 &&
            QByteArray::number(qulonglong(space.st_ino)) == owner[2])
            run(QStringLiteral("ip"), {"netns", "del", name});
        mark.remove();
    }
}

bool NetnsRig::create(QStringList emulators, bool far) {
    removeStale();
    if (!sh(QStringLiteral(
                "ns $BR; for b in br0 br1; do ip -n $BR link add $b type bridge; ip -n $BR link "
                "set $b up; done\n"
                "ns ${P}st; ip netns exec ${P}st sysctl -qw 'net.ipv4.ping_group_range=0 "
                "2147483647'\n"
                "plug ${P}st eth0 02:00:00:00:00:01 192.0.2.1/24\n") +
            (far ? "plug ${P}st eth1 02:00:00:01:00:01 198.51.100.1/24" : "")))
        return false;
    emulators.resize(3);
    m_emulators.resize(3);
    for (int i = 0; i < 3; ++i) {
        const QString address = QString(far && i == 1 ? "198.51.100.1%1" : "192.0.2.1%1").arg(i);
        if (!sh(QStringLiteral("plug ${P}e%1 eth0 02:00:00:00:00:1%1 %2/24").arg(i).arg(address)) ||
            (!emulators[i].isEmpty() &&
             !startEmulator(i, m_prefix + QStringLiteral("e%1").arg(i),
                            QStringList{"--address", address} +
                                emulators[i].split('|', Qt::SkipEmptyParts))))
            return false;
    }
    return enterStation();
}

bool NetnsRig::createFleet(int count, const QStringList& emulatorArguments) {
    removeStale();
    // In the fleet's namespace each interface answers ARP for its own address only, and no
    // reverse-path check drops what comes in on one of the many interfaces of one network.
    if (!sh(QStringLiteral(
            "ns $BR; ip -n $BR link add br0 type bridge; ip -n $BR link set br0 up\n"
            "ns ${P}st; ip netns exec ${P}st sysctl -qw 'net.ipv4.ping_group_range=0 "
            "2147483647'\n"
            "plug ${P}st eth0 02:00:00:00:00:01 198.18.0.1/15\n"
            "plug ${P}host eth0 02:00:00:00:00:02 198.18.0.2/15\n"
            "ns ${P}fleet; ip netns exec ${P}fleet sysctl -qw net.ipv4.conf.all.arp_ignore=1 "
            "net.ipv4.conf.default.arp_ignore=1 net.ipv4.conf.all.arp_announce=2 "
            "net.ipv4.conf.default.arp_announce=2 net.ipv4.conf.all.rp_filter=0 "
            "net.ipv4.conf.default.rp_filter=0\n")))
        return false;
    QString links, addresses;
    for (int k = 0; k < count; ++k) {
        const quint32 mac = 0x10 + quint32(k), address = (198u << 24 | 18u << 16) + 10 + quint32(k);
        links += QStringLiteral("link add f%1 type veth peer name e%1 address "
                                "02:00:00:%2:%3:%4 netns %5fleet\nlink set f%1 master br0 up\n")
                     .arg(k)
                     .arg((mac >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
                     .arg((mac >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                     .arg(mac & 0xFF, 2, 16, QLatin1Char('0'))
                     .arg(m_prefix);
        // Permanent: exempt from the neighbour table's count, and never asked for again.
        addresses += QStringLiteral("addr add %2.%3.%4.%5/15 dev e%1\nneigh replace 198.18.0.1 "
                                    "lladdr 02:00:00:00:00:01 dev e%1 nud permanent\n"
                                    "link set e%1 up\n")
                         .arg(k)
                         .arg(address >> 24)
                         .arg((address >> 16) & 0xFF)
                         .arg((address >> 8) & 0xFF)
                         .arg(address & 0xFF);
    }
    m_emulators.resize(1);
    return ipBatch(m_prefix + "br", links) && ipBatch(m_prefix + "fleet", addresses) &&
           startEmulator(
               0, m_prefix + "fleet",
               QStringList{"--address", "198.18.0.10", "--count", QString::number(count)} +
                   emulatorArguments) &&
           enterStation();
}

QStringList NetnsRig::received(int i, int port) const {
    QFile f(logPath(i));
    return QString::fromLatin1(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray())
        .split(QLatin1Char('\n'))
        .filter(QRegularExpression(QStringLiteral("^%1 ").arg(port)))
        .replaceInStrings(QRegularExpression(QStringLiteral("^\\d+ ")), QString());
}

bool NetnsRig::startEmulator(int i, const QString& space, const QStringList& args) {
    auto& p = m_emulators[size_t(i)] = std::make_unique<QProcess>();
    dieWithParent(*p);
    // `ip netns exec` execs the program in place, so the process is the emulator itself.
    p->start("ip", QStringList{"netns", "exec", space, emulatorPath(), "--log", logPath(i)} + args);
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
