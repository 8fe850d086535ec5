#pragma once
// A scripted echo that records what it was asked; stands in while it lives.
#include "fakes/installed.h"
#include "platform/icmpecho.h"

#include <QList>
#include <QQueue>
#include <functional>

namespace platform {

class FakeIcmpEcho : public Installed<IcmpEcho> {
public:
    struct Call {
        quint32 address = 0;
        QByteArray payload;
        int timeoutMs = 0;
    };

    EchoResult echo(quint32 address, const QByteArray& payload, int timeoutMs) override {
        calls.append({address, payload, timeoutMs});
        if (whileWaiting)
            whileWaiting();
        return queued.isEmpty() ? result : queued.dequeue();
    }

    void answer(EchoResult::Status status, int roundTripMs = 0) {
        result.status = status;
        result.roundTripMs = roundTripMs;
    }

    EchoResult result{EchoResult::Status::TimedOut, 0}; // when nothing is queued
    QQueue<EchoResult> queued;
    QList<Call> calls;
    std::function<void()> whileWaiting; // runs as if the echo were on its way
};

} // namespace platform
