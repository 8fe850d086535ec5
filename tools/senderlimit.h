#pragma once
// How often an element answers one sender: at most kPerSecond requests a second from any one
// address, the rest dropped. The emulator is installed system-wide and answers anyone, so a
// forged sender address must not turn it into an amplifier of its long replies.
#include <QHash>

namespace emulator {

class SenderLimit {
public:
    static constexpr int kPerSecond = 10;

    // Whether a request from sender at nowMs (a steady clock) may be answered.
    bool admit(quint32 sender, qint64 nowMs);

private:
    // Per sender, when its next request would find the allowance full again: each answered
    // request moves it 1000 / kPerSecond ms on, and a second's worth may be outstanding.
    QHash<quint32, qint64> m_fullAt;
};

} // namespace emulator
