// kestrune-element: plays ENCODER, DECODER or UNKNOWN elements, one per IPv4 address, for the
// network tests, the benchmarks and the demo. Answers paging on 1901, configuration on 2976,
// attenuation and level requests on 2977, statistics and delay commands on 2978; can
// misbehave on request. kestrune-element --help describes every option.

#include "emulator.h"
#include "options.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace emulator;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "kestrune-element: %s\n", qPrintable(message));
    std::exit(2);
}

// Three sockets per element: a fleet needs more descriptors than the usual 1024.
bool raiseDescriptorLimit(size_t elements, QString* error) {
    const rlim_t needed = rlim_t(3 * elements + 64);
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed)
        return true;
    const rlim_t had = limit.rlim_cur;
    limit.rlim_cur = needed;
    limit.rlim_max = qMax(limit.rlim_max, needed); // only root may raise the hard limit
    if (::setrlimit(RLIMIT_NOFILE, &limit) == 0)
        return true;
    *error = QStringLiteral("--count: %1 elements need %2 open files; the limit is %3 "
                            "(ulimit -n)")
                 .arg(elements)
                 .arg(needed)
                 .arg(qulonglong(had));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Config config;
    QString error;
    if (!parseCommandLine(app.arguments(), &config, &error) ||
        !raiseDescriptorLimit(config.elements.size(), &error))
        fail(error);

    if (::pipe(g_signalPipe) != 0)
        fail("pipe failed");
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    Emulator emulator(config.elements, config.behaviour);
    if (!emulator.start(&error))
        fail(error);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
