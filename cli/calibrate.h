// The calibrate subcommand: applies a model to measurements (or removes it).
#ifndef COMPENSATE_CALIBRATE_H
#define COMPENSATE_CALIBRATE_H

#include <ostream>
#include <string>

#include "input_source.h"

namespace compensation::cli {

struct CalibrateOptions {
    std::string model, input, output, angleUnit;
    bool uncalibrate = false;
    bool force = false;
};

// Writes the corrected measurements with their X, Y, Z to the output file (or to `out` when no
// file is named). Returns the exit status; bad input throws before anything is written.
int RunCalibrate(const CalibrateOptions& options, std::ostream& out,
                 const InputSource& source = {});

}  // namespace compensation::cli

#endif  // COMPENSATE_CALIBRATE_H
