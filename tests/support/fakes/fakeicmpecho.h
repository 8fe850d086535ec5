#pragma once
// A scripted echo; stands in while it lives.
#include "fakes/installed.h"
#include "platform/icmpecho.h"

#include <functional>

namespace platform {

class FakeIcmpEcho : public Installed<IcmpEcho> {
public:
    EchoResult echo(quint32, const QByteArray&, int) override {
        if (whileWaiting)
            whileWaiting();
        return result;
    }
    void answer(EchoResult::Status status, int roundTripMs = 0) { result = {status, roundTripMs}; }

    EchoResult result{EchoResult::Status::TimedOut, 0};
    std::function<void()> whileWaiting; // runs as if the echo were on its way
};

} // namespace platform
