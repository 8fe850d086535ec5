#include "options.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace emulator {

namespace {

const qint64 kMostElements = 16384;

const char kDescription[] =
    "Emulates a network element (ENCODER, DECODER or UNKNOWN) on an IPv4 address, or with\n"
    "--count a fleet of them, each on an address and interface of its own: paging on\n"
    "0.0.0.0:1901, configuration on 2976, attenuation and level on 2977, statistics and delay\n"
    "on 2978. Prints \"ready\" once its ports are bound; stops on SIGTERM or SIGINT. Numbers\n"
    "are plain decimal (\"010\" is ten).\n"
    "\n"
    "Each element answers at most 10 requests a second from any one sender address (paging,\n"
    "configuration, level and statistics requests); the rest within that second are dropped.\n"
    "--answers and --burst multiply each answered request. Attenuation, delay and counter\n"
    "reset datagrams always apply.\n"
    "\n"
    "A configuration with a new element address moves the element there, as a real one does,\n"
    "when the address is a host of the network of the interface that holds the element's\n"
    "address: the new address takes the old one's place on that interface (this needs\n"
    "CAP_NET_ADMIN, e.g. root in a network namespace), and the answer comes from it. Otherwise\n"
    "the element stays on its address and says so on standard error; its feedback reports\n"
    "the configured address all the same.\n"
    "\n"
    "Roles (--role): encoder (role byte 1), decoder (2, sends the 54-byte feedback with\n"
    "attenuation and silence detector), unknown (0); or any role byte 0..255.\n"
    "\n"
    "Keys of --stats, each a 32-bit field of the 61-byte status reply, -2147483648 to\n"
    "4294967295 (both spellings of a negative value), default 0:\n"
    "  txok, rxok      frames sent / received without error (bytes 0, 4)\n"
    "  txerr, rxerr    frames sent / received with an error (bytes 8, 12)\n"
    "  ptpok, ptperr   PTP sync messages good / bad (bytes 16, 20)\n"
    "  clk             PTP clock difference, ns (byte 24)\n"
    "  meas            measured PTP path latency, ns (byte 28)\n"
    "  audok, auderr   audio frames received good / bad (bytes 32, 36)\n"
    "  avg, min, max   network latency average / minimum / maximum, ns (bytes 40, 44, 48)\n"
    "  add             additional SFN delay, ns (byte 52; set by the station's 'S' datagram)\n"
    "  servo           servo correction, ns (byte 56)\n"
    "  autoservo       automatic delay compensation flag, 0..255 (byte 60)";

struct Option {
    const char* name;
    const char* value; // empty: a switch
    const char* help;
};

const Option kOptions[] = {
    {"address", "A",
     "IPv4 address the element answers on, the first one of a fleet. Required. Addresses in "
     "0.0.0.0/8 and from 224.0.0.0 up (multicast, reserved, broadcast) are refused."},
    {"count", "N",
     "play N elements on the N consecutive addresses from --address, 1..16384: element k "
     "(from 0) has the address --address + k, each has sockets of its own, and every other "
     "option applies to each. Give each address an interface of its own, whose MAC is the "
     "element's, in a network namespace of the fleet's own. An element whose network is on "
     "other interfaces there too is tied to its own: it sends and receives there only and "
     "answers the paging that came in there. Default: 1."},
    {"role", "R", "encoder, decoder, unknown or a role byte 0..255 (see above). Default: encoder."},
    {"name", "TEXT",
     "element name, up to 16 Latin-1 characters, blank-padded, case kept; the same for every "
     "element of a fleet. Default: \"ENCODER n\" or \"DECODER n\", n the last number of "
     "--address plus the element's k."},
    {"serial", "N",
     "serial number, -2147483648 to 4294967295 (sent as 32 bits); element k of a fleet has N + "
     "k. Default: 1000 + n, n as for --name."},
    {"mask", "A", "subnet mask in the feedback. Default: 255.255.255.0."},
    {"gw", "A", "gateway address in the feedback. Default: 0.0.0.0."},
    {"remote", "A", "remote (stream) address in the feedback. Default: 0.0.0.0."},
    {"input", "N", "audio input, the index in the station's list (0 or 1), 0..255. Default: 0."},
    {"type", "N", "audio type, the index in the station's list (0 or 1), 0..255. Default: 0."},
    {"tx", "N", "TX type: 0 unicast, 1 or more multicast; 0..255. Default: 0."},
    {"version", "M.m", "firmware version, major and minor each 0..255. Default: 2.1."},
    {"sfn", "N", "PTP sync (SFN) enabled: 0 off, 1 on; 0..255. Default: 0."},
    {"buffer", "N",
     "receive buffer in steps (the station shows the latency they give in mS), 0..255. "
     "Default: 10."},
    {"att", "N",
     "decoder output attenuation in half-dB steps, (N - 255) x 0.5 dB, 14 and below mute; "
     "0..255; the station's 2977 datagram sets it. Default: 0."},
    {"sdm", "N",
     "decoder silence detector mode: 0 auto detect, 1 force internal, 2 force external; 0..255. "
     "Default: 0."},
    {"sdl", "N",
     "decoder silence detector level step, 20 log10(N x 2.0487) - 56 dBu; 0..255. Default: 10."},
    {"sdt", "N", "decoder silence detector time step, N x 0.455 seconds; 0..255. Default: 10."},
    {"llo", "N", "low-latency (1.25 mS) option: 0 off, 1 on; 0..255. Default: 0."},
    {"stats", "LIST", "status counters as key=N,key=N,... (keys above). Default: all 0."},
    {"count-step", "N",
     "txok, rxok, ptpok and audok grow by N every second, 0..1000000. Default: 0 (still)."},
    {"error-step", "N",
     "txerr, rxerr, ptperr and auderr grow by N every second, 0..1000000. Default: 0 (still)."},
    {"delay-wander", "NS",
     "every second the average latency (avg) moves by up to NS nanoseconds, kept within min "
     "and max, 0..1000000. Default: 0 (still)."},
    {"peak", "N",
     "largest sample of the level reply, 0..8388607 (8388607 is full scale, 0 dBFS). Default: "
     "4194304 (-6 dBFS)."},
    {"level-period", "S",
     "the level rises from silence to --peak and falls back once every S seconds, 0..3600. "
     "Default: 0 (steady at --peak)."},
    {"level-bytes", "N", "length of the level reply in bytes, 0..65507. Default: 1201."},
    {"status-bytes", "N",
     "length of the status reply in bytes, 0..1472: 61 is right, fewer cuts it (e.g. 40), more "
     "adds zero bytes (e.g. 62). Default: 61."},
    {"no-answer", "",
     "answer nothing on any port (paging, configuration, level, statistics, delay); "
     "attenuation, delay settings and counter resets still apply."},
    {"delay-ms", "MS",
     "answer paging and configuration this many milliseconds late, 0..60000. Default: 0."},
    {"answers", "N", "send each feedback and status reply N times, 0..100 (0: none). Default: 1."},
    {"burst", "N",
     "answer a paging request with N feedbacks reporting consecutive addresses, 1..1000. "
     "Default: 1."},
    {"truncate", "N",
     "cut every feedback to its first N bytes, 0..1000. Default: whole (45 or 54)."},
    {"report-address", "A",
     "feedback reports this address instead of its own (with --burst, the first one). Default: "
     "its own."},
    {"wrong-name", "TEXT",
     "after a configuration, the feedback reports this name instead, up to 16 Latin-1 "
     "characters. Default: the real name."},
    {"log", "FILE",
     "append each received datagram to FILE as \"port hex\", in a fleet as \"address port "
     "hex\" with the element's address; a FILE that cannot be written is refused. Default: no "
     "file."},
    {"quiet", "", "do not echo received datagrams on standard error."},
};

struct Reader {
    const QCommandLineParser& p;
    QString* error;
    bool ok = true;

    // The option's value as a decimal number within lo..hi; def when absent.
    qint64 number(const char* name, qint64 lo, qint64 hi, qint64 def) {
        if (!ok || !p.isSet(name))
            return def;
        const QString text = p.value(name);
        qint64 v = 0;
        if (!parseDecimal(text, &v))
            return refuse(QStringLiteral("--%1: \"%2\" is not a decimal number").arg(name, text));
        if (v < lo || v > hi)
            return refuse(QStringLiteral("--%1: %2 is out of range (%3 to %4)")
                              .arg(name, text)
                              .arg(lo)
                              .arg(hi));
        return v;
    }
    void address(const char* name, Address* target) {
        if (ok && p.isSet(name) && !parseAddress(p.value(name), target))
            refuse(QStringLiteral("--%1: \"%2\" is not a dotted IPv4 address")
                       .arg(name, p.value(name)));
    }
    // A name as the element keeps it: up to 16 characters of one byte each (Latin-1).
    QString name(const char* option, const QString& def) {
        if (!ok || !p.isSet(option))
            return def;
        const QString text = p.value(option);
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; }))
            refuse(QStringLiteral("--%1: \"%2\" has characters outside Latin-1").arg(option, text));
        else if (text.size() > 16)
            refuse(QStringLiteral("--%1: \"%2\" is longer than 16 characters").arg(option, text));
        return text;
    }
    qint64 refuse(const QString& message) {
        if (ok)
            *error = message;
        ok = false;
        return 0;
    }
};

} // namespace

bool parseCommandLine(const QStringList& arguments, Config* config, QString* error) {
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.addHelpOption();
    for (const Option& o : kOptions) {
        QCommandLineOption option(QString::fromLatin1(o.name), QString::fromLatin1(o.help));
        if (*o.value)
            option.setValueName(QString::fromLatin1(o.value));
        p.addOption(option);
    }
    if (!p.parse(arguments)) {
        *error = p.errorText();
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(p.helpText()));
        std::exit(0);
    }

    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\": every value belongs to an option "
                                "(see --help)")
                     .arg(p.positionalArguments().first());
        return false;
    }

    ElementState s;
    Behaviour& b = config->behaviour;
    Reader r{p, error};
    if (!p.isSet("address") || !parseAddress(p.value("address"), &s.ip))
        return r.refuse(QStringLiteral("--address A (a dotted IPv4 address) is required")), false;
    const quint32 first = toHost(s.ip);
    const qint64 count = r.number("count", 1, kMostElements, 1);
    // The wildcard would take the station's ports on this machine; the rest are no host's.
    for (const quint32 a : {first, quint32(first + count - 1)}) {
        if (r.ok && (a >> 24 == 0 || a >> 24 >= 224))
            r.refuse(QStringLiteral("--address: %1 is not an element's address (unicast, below "
                                    "224.0.0.0, not in 0.0.0.0/8)")
                         .arg(addressText(a)));
    }
    if (p.isSet("role")) {
        const QString role = p.value("role").toLower();
        const int named = role == "encoder"   ? 1
                          : role == "decoder" ? 2
                          : role == "unknown" ? 0
                                              : -1;
        s.role = uint8_t(named >= 0 ? named : r.number("role", 0, 255, 1));
    }
    const QString name = r.name("name", QString());
    const qint64 serial = r.number("serial", INT32_MIN, UINT32_MAX, 1000 + s.ip[3]);
    r.address("mask", &s.mask);
    r.address("gw", &s.gw);
    r.address("remote", &s.remote);
    const struct {
        const char* name;
        uint8_t* target;
    } bytes[] = {{"input", &s.input},   {"type", &s.type}, {"tx", &s.tx},   {"sfn", &s.sfn},
                 {"buffer", &s.buffer}, {"att", &s.att},   {"sdm", &s.sdm}, {"sdl", &s.sdl},
                 {"sdt", &s.sdt},       {"llo", &s.llo}};
    for (const auto& v : bytes)
        *v.target = uint8_t(r.number(v.name, 0, 255, *v.target));
    if (r.ok && p.isSet("version")) {
        const QStringList mm = p.value("version").split('.');
        qint64 major = 0, minor = 0;
        if (mm.size() != 2 || !parseDecimal(mm[0], &major) || !parseDecimal(mm[1], &minor) ||
            major < 0 || major > 255 || minor < 0 || minor > 255)
            r.refuse(QStringLiteral("--version: \"%1\" is not M.m with each 0..255")
                         .arg(p.value("version")));
        s.verMajor = uint8_t(major);
        s.verMinor = uint8_t(minor);
    }
    if (r.ok && p.isSet("stats") && !parseStats(p.value("stats"), &s.stats, error))
        r.ok = false;

    b.noAnswer = p.isSet("no-answer");
    b.quiet = p.isSet("quiet");
    b.logPath = p.value("log");
    b.delayMs = int(r.number("delay-ms", 0, 60000, 0));
    b.truncate = int(r.number("truncate", 0, 1000, -1));
    b.answers = int(r.number("answers", 0, 100, 1));
    b.burst = int(r.number("burst", 1, 1000, 1));
    b.levelBytes = int(r.number("level-bytes", 0, 65507, 1201));
    b.peak = int32_t(r.number("peak", 0, 0x7FFFFF, 0x400000));
    b.statusBytes = int(r.number("status-bytes", 0, 1472, 61));
    b.countStep = int(r.number("count-step", 0, 1000000, 0));
    b.errorStep = int(r.number("error-step", 0, 1000000, 0));
    b.delayWanderNs = int(r.number("delay-wander", 0, 1000000, 0));
    b.levelPeriodS = int(r.number("level-period", 0, 3600, 0));
    if (p.isSet("wrong-name")) {
        ElementState named;
        named.setName(r.name("wrong-name", QString()));
        b.wrongNameSet = true;
        b.wrongName = named.name;
    }
    if (p.isSet("report-address")) {
        r.address("report-address", &b.reportAddress);
        b.reportAddressSet = true;
    }
    if (!r.ok)
        return false;

    const QString defaultName =
        s.role == 2 ? QStringLiteral("DECODER %1") : QStringLiteral("ENCODER %1");
    config->elements.assign(size_t(count), s);
    for (int k = 0; k < int(count); ++k) {
        ElementState& e = config->elements[size_t(k)];
        e.ip = fromHost(first + quint32(k));
        e.setName(p.isSet("name") ? name : defaultName.arg(s.ip[3] + k));
        e.serial = int32_t(uint32_t(serial) + uint32_t(k));
    }
    return true;
}

} // namespace emulator
