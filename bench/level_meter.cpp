// Cost of handling one 1201-byte level reply and one 61-byte status reply (statistics and
// SFN parsers), averaged over many iterations.
#include "diag/levelreply.h"
#include "diag/statusreply.h"

#include <QByteArray>
#include <chrono>
#include <cstdio>

namespace {

template <typename F> double MicrosecondsPerCall(int iterations, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i)
        f(i);
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count() / iterations;
}

} // namespace

int main() {
    constexpr int kIterations = 100000;

    QByteArray level(1201, '\0');
    for (int k = 0; k < 400; ++k) {
        const int v = (k * 7919) % 0x7FFFFF - 0x400000; // mixed positive and negative samples
        level[3 * k] = char((v >> 16) & 0xFF);
        level[3 * k + 1] = char((v >> 8) & 0xFF);
        level[3 * k + 2] = char(v & 0xFF);
    }
    QByteArray status(61, '\0');
    for (int i = 0; i < 60; ++i)
        status[i] = char((i * 37) & 0x3F);
    status[60] = 1;

    volatile qint64 sink = 0;
    const double levelUs = MicrosecondsPerCall(kIterations, [&](int i) {
        level[0] = char(i & 0x3F);
        const diag::LevelReading r = diag::parseLevelReply(level, QLatin1Char('.'));
        sink = sink + r.widthTwips + r.caption.size();
    });
    const double statusUs = MicrosecondsPerCall(kIterations, [&](int i) {
        status[3] = char(i & 0xFF);
        const diag::StatsParseResult s = diag::ParseStatsReply(status, 1, true, '.');
        const diag::DelayParseResult d = diag::ParseDelayReply(status, 1, true);
        sink = sink + s.updates.size() + d.updates.size();
    });

    std::printf("ParseLevelReply of a 1201-byte level reply:               %.3f us per call\n",
                levelUs);
    std::printf("ParseStatsReply + ParseDelayReply of a 61-byte status reply: %.3f us per pair\n",
                statusUs);
    std::printf("(each the mean of %d calls in a loop; no socket, no window)\n", kIterations);
    return sink == -1 ? 1 : 0;
}
