#include "calibrate.h"

#include "compensation/mapper.h"
#include "compensation/vector.h"
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
    for (CVector& v : corrected) {
        if (o.uncalibrate) {
            v.UnCalibrate(&model);
        } else {
            v.Calibrate(&model);
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
