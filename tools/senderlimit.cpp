#include "senderlimit.h"

namespace emulator {

namespace {

constexpr qint64 kStepMs = 1000 / SenderLimit::kPerSecond;
constexpr int kPruneAbove = 64;    // senders remembered before the idle ones are forgotten
constexpr int kMostSenders = 1024; // beyond that, new senders wait until some go idle

} // namespace

bool SenderLimit::admit(quint32 sender, qint64 nowMs) {
    auto it = m_fullAt.find(sender);
    if (it == m_fullAt.end()) {
        if (m_fullAt.size() >= kPruneAbove) {
            // A sender whose allowance is full again is no different from a new one.
            m_fullAt.removeIf([nowMs](const auto& entry) { return entry.value() <= nowMs; });
            if (m_fullAt.size() >= kMostSenders)
                return false;
        }
        it = m_fullAt.insert(sender, nowMs);
    }
    const qint64 from = qMax(it.value(), nowMs);
    if (from - nowMs > 1000 - kStepMs)
        return false;
    it.value() = from + kStepMs;
    return true;
}

} // namespace emulator
