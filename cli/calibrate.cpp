#include "calibrate.h"

#include <cmath>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "input_error.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "run_procedure.h"

namespace compensation::cli {

int RunCalibrate(const CalibrateOptions& options, std::ostream& out, const InputSource& source) {
    TMapper model = source.model(options.model);
    const MeasurementSet set =
        source.measurements(options.input, ParseAngleUnit(options.angleUnit));
    OutputFiles files;
    files.AddInput(options.model);
    files.AddInput(options.input);
    if (!options.output.empty()) {
        files.Plan(options.output, "--output", options.force);
    }
    std::vector<CVector> corrected = set.vectors;
    for (std::size_t row = 0; row < corrected.size(); ++row) {
        CVector& measurement = corrected[row];
        if (options.uncalibrate) {
            measurement.UnCalibrate(&model);
        } else {
            measurement.Calibrate(&model);
        }
        // A finite model can still be large enough to overflow a correction; a row of inf or
        // NaN is no measurement, and would be read back by nothing.
        if (!(std::isfinite(measurement.Range) && std::isfinite(measurement.Azimuth) &&
              std::isfinite(measurement.Elevation) && std::isfinite(measurement.X) &&
              std::isfinite(measurement.Y) && std::isfinite(measurement.Z))) {
            throw InputError(options.input, set.lines[row], "",
                             std::string("the model ") + options.model +
                                 " gives this measurement a " +
                                 (options.uncalibrate ? "reading" : "correction") +
                                 " that is not a finite number");
        }
    }
    const std::string text = FormatMeasurements(corrected, set.unit, true);
    if (options.output.empty()) {
        out << text;
    } else {
        files.Stage(options.output, text);
        files.Commit();
    }
    return kExitSettled;
}

}  // namespace compensation::cli
