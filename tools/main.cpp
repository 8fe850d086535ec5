// kestrune-element: plays one ENCODER, DECODER or UNKNOWN element on one IPv4 address, for the
// network tests and the demo. Answers paging on 1901, configuration on 2976, attenuation and
// level requests on 2977, statistics and delay commands on 2978; can misbehave on request.

#include "elementstate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace emulator;

namespace {

const QByteArray kPagingRequest("IPMPXSTL TALVOREN PAGING REQUEST");

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

struct Behaviour {
    bool noAnswer = false;
    int delayMs = 0;
    bool wrongNameSet = false;
    QByteArray wrongName;
    int truncate = -1;
    bool reportAddressSet = false;
    Address reportAddress{};
    int answers = 1;
    int burst = 1;
    int levelBytes = 1201;
    int32_t peak = 0x400000;
    bool quiet = false;
};

class Emulator {
public:
    Emulator(ElementState state, Behaviour behaviour, QString logPath)
        : m_state(std::move(state)), m_behaviour(std::move(behaviour)), m_logPath(logPath) {}

    bool start(const QHostAddress& address, QString* error) {
        m_address = address;
        // 0.0.0.0:1901, so that the limited broadcast reaches it.
        if (!m_paging.bind(QHostAddress::AnyIPv4, 1901,
                           QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            *error = QStringLiteral("cannot bind 0.0.0.0:1901: %1").arg(m_paging.errorString());
            return false;
        }
        QUdpSocket* sockets[] = {&m_main, &m_audio, &m_status};
        const quint16 ports[] = {2976, 2977, 2978};
        for (int i = 0; i < 3; ++i) {
            if (!sockets[i]->bind(address, ports[i])) {
                *error = QStringLiteral("cannot bind %1:%2: %3")
                             .arg(address.toString())
                             .arg(ports[i])
                             .arg(sockets[i]->errorString());
                return false;
            }
        }
        // Many stations may page at once in capacity tests; do not drop at the socket.
        const int big = 1 << 20;
        for (QUdpSocket* s : {&m_paging, &m_main, &m_audio, &m_status})
            ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        QObject::connect(&m_paging, &QUdpSocket::readyRead, [this] { drain(m_paging, 1901); });
        QObject::connect(&m_main, &QUdpSocket::readyRead, [this] { drain(m_main, 2976); });
        QObject::connect(&m_audio, &QUdpSocket::readyRead, [this] { drain(m_audio, 2977); });
        QObject::connect(&m_status, &QUdpSocket::readyRead, [this] { drain(m_status, 2978); });
        return true;
    }

private:
    void drain(QUdpSocket& socket, int port) {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket.receiveDatagram();
            if (!d.isValid())
                continue;
            log(port, d.data());
            handle(port, d.data(), d.senderAddress());
        }
    }

    void log(int port, const QByteArray& data) {
        if (!m_behaviour.quiet)
            std::fprintf(stderr, "%d %s\n", port, data.toHex().constData());
        if (m_logPath.isEmpty())
            return;
        QFile f(m_logPath);
        if (f.open(QIODevice::Append)) {
            f.write(QByteArray::number(port) + ' ' + data.toHex() + '\n');
        }
    }

    void handle(int port, const QByteArray& data, const QHostAddress& sender) {
        switch (port) {
        case 1901:
            if (data == kPagingRequest && !m_behaviour.noAnswer)
                answerPaging(sender);
            break;
        case 2976:
            if (m_state.applyConfiguration(data)) {
                m_configured = true;
                if (!m_behaviour.noAnswer)
                    later([this, sender] { sendFeedback(sender, nullptr); });
            }
            break;
        case 2977:
            if (data.size() == 2) {
                m_state.att = static_cast<uint8_t>(data.at(0));
            } else if (data == "VOL") {
                const QByteArray reply = levelReply(m_behaviour.levelBytes, m_behaviour.peak);
                m_audio.writeDatagram(reply, sender, 2976);
            }
            break;
        case 2978:
            if (data == "GetStats" || data == "GetDel") {
                const QByteArray reply = m_state.statusReply();
                for (int i = 0; i < m_behaviour.answers; ++i)
                    m_status.writeDatagram(reply, sender, 2978);
            } else if (data == "RstStats") {
                m_state.resetCounters();
            } else {
                m_state.applySet(data);
            }
            break;
        }
    }

    void answerPaging(const QHostAddress& sender) {
        later([this, sender] {
            const uint32_t first =
                m_behaviour.reportAddressSet
                    ? (uint32_t(m_behaviour.reportAddress[0]) << 24 |
                       uint32_t(m_behaviour.reportAddress[1]) << 16 |
                       uint32_t(m_behaviour.reportAddress[2]) << 8 | m_behaviour.reportAddress[3])
                    : m_address.toIPv4Address();
            if (m_behaviour.burst <= 1 && !m_behaviour.reportAddressSet) {
                sendFeedback(sender, nullptr);
                return;
            }
            for (int i = 0; i < qMax(1, m_behaviour.burst); ++i) {
                const uint32_t a = first + uint32_t(i);
                const Address reported{uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8),
                                       uint8_t(a)};
                sendFeedback(sender, &reported);
            }
        });
    }

    void sendFeedback(const QHostAddress& to, const Address* reported) {
        ElementState shown = m_state;
        if (m_configured && m_behaviour.wrongNameSet)
            shown.name = m_behaviour.wrongName;
        if (!reported && m_behaviour.reportAddressSet)
            reported = &m_behaviour.reportAddress;
        QByteArray fb = shown.feedback(reported);
        if (m_behaviour.truncate >= 0)
            fb = fb.left(m_behaviour.truncate);
        for (int i = 0; i < m_behaviour.answers; ++i)
            m_main.writeDatagram(fb, to, 2976);
    }

    template <typename F> void later(F f) {
        if (m_behaviour.delayMs > 0)
            QTimer::singleShot(m_behaviour.delayMs, f);
        else
            f();
    }

    ElementState m_state;
    Behaviour m_behaviour;
    QString m_logPath;
    QHostAddress m_address;
    bool m_configured = false;
    QUdpSocket m_paging, m_main, m_audio, m_status;
};

bool toByte(const QString& text, uint8_t* out) {
    bool ok = false;
    const uint v = text.toUInt(&ok, 0);
    if (!ok || v > 255)
        return false;
    *out = uint8_t(v);
    return true;
}

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "kestrune-element: %s\n", qPrintable(message));
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Emulates one network element."));
    p.addHelpOption();
    const QStringList valued = {"address",  "role",
                                "name",     "serial",
                                "mask",     "gw",
                                "remote",   "input",
                                "type",     "tx",
                                "version",  "sfn",
                                "buffer",   "att",
                                "sdm",      "sdl",
                                "sdt",      "llo",
                                "delay-ms", "wrong-name",
                                "truncate", "report-address",
                                "answers",  "burst",
                                "log",      "level-bytes",
                                "peak",     "stats"};
    for (const QString& name : valued)
        p.addOption(QCommandLineOption(name, name, QStringLiteral("value")));
    p.addOption(QCommandLineOption(QStringLiteral("no-answer"), QStringLiteral("never answer")));
    p.addOption(QCommandLineOption(QStringLiteral("quiet"), QStringLiteral("no echo on stderr")));
    p.process(app);

    ElementState s;
    Behaviour b;
    if (!p.isSet("address") || !parseAddress(p.value("address"), &s.ip))
        fail(QStringLiteral("--address A (IPv4) is required"));
    const QHostAddress bindAddress(p.value("address"));
    s.serial = 1000 + s.ip[3];

    if (p.isSet("role")) {
        const QString r = p.value("role").toLower();
        if (r == "encoder")
            s.role = 1;
        else if (r == "decoder")
            s.role = 2;
        else if (r == "unknown")
            s.role = 0;
        else if (!toByte(r, &s.role))
            fail("bad --role");
    }
    s.setName(p.isSet("name")
                  ? p.value("name")
                  : (s.role == 2 ? QStringLiteral("DECODER %1") : QStringLiteral("ENCODER %1"))
                        .arg(s.ip[3]));
    if (p.isSet("serial")) {
        bool ok = false;
        const qint64 v = p.value("serial").toLongLong(&ok, 0);
        if (!ok || v < INT32_MIN || v > UINT32_MAX)
            fail("bad --serial");
        s.serial = int32_t(uint32_t(v));
    }
    struct {
        const char* key;
        Address* target;
    } addresses[] = {{"mask", &s.mask}, {"gw", &s.gw}, {"remote", &s.remote}};
    for (auto& a : addresses)
        if (p.isSet(a.key) && !parseAddress(p.value(a.key), a.target))
            fail(QStringLiteral("bad --%1").arg(a.key));
    struct {
        const char* key;
        uint8_t* target;
    } bytes[] = {{"input", &s.input},   {"type", &s.type}, {"tx", &s.tx},   {"sfn", &s.sfn},
                 {"buffer", &s.buffer}, {"att", &s.att},   {"sdm", &s.sdm}, {"sdl", &s.sdl},
                 {"sdt", &s.sdt},       {"llo", &s.llo}};
    for (auto& v : bytes)
        if (p.isSet(v.key) && !toByte(p.value(v.key), v.target))
            fail(QStringLiteral("bad --%1").arg(v.key));
    if (p.isSet("version")) {
        const QStringList mm = p.value("version").split('.');
        if (mm.size() != 2 || !toByte(mm[0], &s.verMajor) || !toByte(mm[1], &s.verMinor))
            fail("bad --version (M.m)");
    }
    if (p.isSet("stats")) {
        QString error;
        if (!parseStats(p.value("stats"), &s.stats, &error))
            fail(error);
    }

    b.noAnswer = p.isSet("no-answer");
    b.quiet = p.isSet("quiet");
    auto intOption = [&p](const char* key, int def, int lo) {
        if (!p.isSet(key))
            return def;
        bool ok = false;
        const int v = p.value(key).toInt(&ok, 0);
        if (!ok || v < lo)
            fail(QStringLiteral("bad --%1").arg(key));
        return v;
    };
    b.delayMs = intOption("delay-ms", 0, 0);
    b.truncate = intOption("truncate", -1, 0);
    b.answers = intOption("answers", 1, 0);
    b.burst = intOption("burst", 1, 1);
    b.levelBytes = intOption("level-bytes", 1201, 0);
    b.peak = intOption("peak", 0x400000, 0);
    if (p.isSet("wrong-name")) {
        ElementState tmp;
        tmp.setName(p.value("wrong-name"));
        b.wrongNameSet = true;
        b.wrongName = tmp.name;
    }
    if (p.isSet("report-address")) {
        if (!parseAddress(p.value("report-address"), &b.reportAddress))
            fail("bad --report-address");
        b.reportAddressSet = true;
    }

    if (::pipe(g_signalPipe) != 0)
        fail("pipe failed");
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    Emulator emulator(s, b, p.value("log"));
    QString error;
    if (!emulator.start(bindAddress, &error))
        fail(error);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
