#pragma once
// The emulator's command line: every option with its meaning, unit, range and default, as
// --help prints them, and the strict reading of the values.
#include "emulator.h"

#include <QStringList>

namespace emulator {

struct Config {
    ElementState state;
    Behaviour behaviour;
    QHostAddress bindAddress;
};

// Fills config from the arguments (argv[0] first). Prints --help and exits 0 when asked;
// false with a message naming the option for anything it cannot take.
bool parseCommandLine(const QStringList& arguments, Config* config, QString* error);

} // namespace emulator
