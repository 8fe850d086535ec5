// kestrune-element: plays one ENCODER, DECODER or UNKNOWN element on one IPv4 address, for the
// network tests and the demo. Answers paging on 1901, configuration on 2976, attenuation and
// level requests on 2977, statistics and delay commands on 2978; can misbehave on request.
// kestrune-element --help describes every option.

#include "options.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Config config;
    QString error;
    if (!parseCommandLine(app.arguments(), &config, &error))
        fail(error);

    if (::pipe(g_signalPipe) != 0)
        fail("pipe failed");
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    Emulator emulator(config.state, config.behaviour);
    if (!emulator.start(config.bindAddress, &error))
        fail(error);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
