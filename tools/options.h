#pragma once
// The emulator's command line: every option with its meaning, unit, range and default, as
// --help prints them, and the strict reading of the values.
#include "element.h"

#include <QStringList>

#include <vector>

namespace emulator {

struct Config {
    std::vector<ElementState> elements; // one, or the --count elements of a fleet
    Behaviour behaviour;
};

// Fills config from the arguments (argv[0] first). Prints --help and exits 0 when asked;
// false with a message naming the option for anything it cannot take.
bool parseCommandLine(const QStringList& arguments, Config* config, QString* error);

} // namespace emulator
