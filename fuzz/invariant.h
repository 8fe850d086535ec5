#pragma once
// What every fuzz target calls for a property the input must never break: a broken one ends
// the run as a crash, so libFuzzer keeps the input that broke it.
#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace {

inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// One byte of a datagram, unsigned.
inline quint8 at(const QByteArray& b, int i) {
    return quint8(b.at(i));
}

} // namespace
