// The simulate subcommand: every input file of a scenario, and its true model, from the
// simulated tracker.
#ifndef COMPENSATE_SIMULATE_H
#define COMPENSATE_SIMULATE_H

#include <cstdint>
#include <ostream>
#include <string>

namespace compensation::cli {

struct SimulateOptions {
    std::string procedure;  // quick, full or fullfull
    int mode = 0;           // full-full only
    std::uint64_t seed = 1;
    double noiseRange = 0.0;  // metres
    double noiseAngle = 0.0;  // radians
    double size = 1.0;        // scales the number of ring targets and of views
    double boardWidth = 1.0;  // full-full modes 0 and 2: the FBB board's width (2: as wide as tall)
    std::string outDir;
    std::string angleUnit = "deg";
    bool force = false;
};

int RunSimulate(const SimulateOptions& options, std::ostream& out);

}  // namespace compensation::cli

#endif  // COMPENSATE_SIMULATE_H
