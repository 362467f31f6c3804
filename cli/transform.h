// The transform subcommand: the rigid-body transform that carries nominal points onto the
// same points as the instrument measured them (calibrated with a model).
#ifndef COMPENSATE_TRANSFORM_H
#define COMPENSATE_TRANSFORM_H

#include <ostream>
#include <string>
#include <vector>

#include "input_source.h"

namespace compensation::cli {

struct TransformOptions {
    std::string nominal, measured, model, output, angleUnit;
    std::vector<double> start;  // Alpha, Beta, Gamma (radians), X, Y, Z (metres)
    bool toolingBalls = false;
    bool json = false;
    bool force = false;
};

int RunTransform(const TransformOptions& options, std::ostream& out,
                 const InputSource& source = {});

}  // namespace compensation::cli

#endif  // COMPENSATE_TRANSFORM_H
