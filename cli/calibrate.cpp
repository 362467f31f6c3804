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

int RunCalibrate(const CalibrateOptions& o, std::ostream& out, const InputSource& source) {
    TMapper model = source.model(o.model);
    const MeasurementSet set = source.measurements(o.input, ParseAngleUnit(o.angleUnit));
    OutputFiles files;
    files.AddInput(o.model);
    files.AddInput(o.input);
    if (!o.output.empty()) {
        files.Plan(o.output, "--output", o.force);
    }
    std::vector<CVector> corrected = set.vectors;
    for (std::size_t i = 0; i < corrected.size(); ++i) {
        CVector& v = corrected[i];
        if (o.uncalibrate) {
            v.UnCalibrate(&model);
        } else {
            v.Calibrate(&model);
        }
        // A finite model can still be large enough to overflow a correction; a row of inf or
        // NaN is no measurement, and would be read back by nothing.
        if (!(std::isfinite(v.Range) && std::isfinite(v.Azimuth) && std::isfinite(v.Elevation) &&
              std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z))) {
            throw InputError(o.input, set.lines[i], "",
                             std::string("the model ") + o.model + " gives this measurement a " +
                                 (o.uncalibrate ? "reading" : "correction") +
                                 " that is not a finite number");
        }
    }
    const std::string text = FormatMeasurements(corrected, set.unit, true);
    if (o.output.empty()) {
        out << text;
    } else {
        files.Stage(o.output, text);
        files.Commit();
    }
    return kExitSettled;
}

}  // namespace compensation::cli
