#include "transform.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "compensation/transform.h"
#include "input_error.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "run_procedure.h"
#include "text_io.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

// The fits' refusals, as compensation/transform.h documents them.
constexpr int kRefused = -1;
constexpr int kNoMemory = -2;

const char* BestFitMeaning(int status) {
    switch (status) {
        case 0:
            return "converged";
        case 1:
            return "stopped: a step would have raised the weighted RMS; the last good transform "
                   "is kept";
        case 2:
            return "not converged within 30 steps";
        case 3:
            return "fewer than 3 working points";
        case kRefused:
            return "the points cannot be fitted: the distinguished point (type 14) has no other "
                   "point within 1000 m, or lies on it";
        case kNoMemory:
            return "the working arrays for this many points could not be allocated";
        default:
            return "unknown status";
    }
}

const char* ToolingBallMeaning(int status) {
    switch (status) {
        case 0:
            return "converged";
        case 1:
            return "refinement stopped: a step would have raised the weighted RMS";
        case 2:
            return "refinement not converged within 30 steps";
        case 4:
            return "fewer than 3 points with positive weight";
        case 5:
            return "every triple of points is nearly collinear";
        case kRefused:
            return "the weights of the nominal points do not sum to a positive value";
        case kNoMemory:
            return "the working arrays for this many points could not be allocated";
        default:
            return "unknown status";
    }
}

}  // namespace

int RunTransform(const TransformOptions& o, std::ostream& out, const InputSource& source) {
    TMapper model{};
    if (!o.model.empty()) {
        model = source.model(o.model);
    }
    NominalPoints nominal = source.nominal(o.nominal);
    MeasurementSet measured = source.measurements(o.measured, ParseAngleUnit(o.angleUnit));
    if (nominal.points.size() != measured.vectors.size()) {
        throw InputError(o.measured, 0, "",
                         std::to_string(measured.vectors.size()) + " measured points for " +
                             std::to_string(nominal.points.size()) + " nominal points in " +
                             o.nominal + ": row i of both files is the same point");
    }
    if (!o.start.empty() && o.start.size() != 6) {
        throw UsageError("--start takes six values: Alpha,Beta,Gamma (radians),X,Y,Z (metres)");
    }
    OutputFiles files;
    for (const std::string& input : {o.nominal, o.measured, o.model}) {
        files.AddInput(input);
    }
    if (!o.output.empty()) {
        files.Plan(o.output, "--output", o.force);
    }

    TRANSFORM_PARMS parms{};
    if (!o.start.empty()) {
        parms = {o.start[0], o.start[1], o.start[2], o.start[3], o.start[4], o.start[5]};
    }
    const int n = static_cast<int>(nominal.points.size());
    CTransform transform;
    const int status = o.toolingBalls
                           ? transform.TB_Transform(nominal.points.data(), measured.vectors.data(),
                                                    nominal.weights.data(), n, &parms, &model)
                           : transform.UpdateTransform(nominal.points.data(),
                                                       measured.vectors.data(), n, &parms, &model);
    // A refusal is about the files handed in, not a fit that failed to converge.
    if (status == kRefused || status == kNoMemory) {
        throw InputError(
            o.toolingBalls ? o.nominal : o.measured, 0, "",
            std::string("the transform fit refused the points (status ") + std::to_string(status) +
                "): " + (o.toolingBalls ? ToolingBallMeaning(status) : BestFitMeaning(status)));
    }

    // Residuals of every point: the nominal point carried by the transform against the
    // calibrated measurement, in the instrument frame.
    Json residuals = Json::array();
    double sum = 0.0;
    double weight = 0.0;
    for (int i = 0; i < n; ++i) {
        CVector calibrated = measured.vectors[static_cast<std::size_t>(i)];
        calibrated.Calibrate(&model);
        const CVector mapped = *transform.GetNextVector(i, &parms, nominal.points.data());
        const double dx = mapped.X - calibrated.X;
        const double dy = mapped.Y - calibrated.Y;
        const double dz = mapped.Z - calibrated.Z;
        const double w = o.toolingBalls ? nominal.weights[static_cast<std::size_t>(i)] : 1.0;
        sum += w * (dx * dx + dy * dy + dz * dz);
        weight += w;
        residuals.push_back({{"line", nominal.lines[static_cast<std::size_t>(i)]},
                             {"dx", dx},
                             {"dy", dy},
                             {"dz", dz},
                             {"distance", std::sqrt(dx * dx + dy * dy + dz * dz)}});
    }
    const double rms = weight > 0.0 ? std::sqrt(sum / weight) : 0.0;
    const Json result = {
        {"fit", o.toolingBalls ? "tooling balls" : "best fit"},
        {"status", status},
        {"meaning", o.toolingBalls ? ToolingBallMeaning(status) : BestFitMeaning(status)},
        {"transform",
         {{"Alpha", parms.Alpha},
          {"Beta", parms.Beta},
          {"Gamma", parms.Gamma},
          {"X", parms.X},
          {"Y", parms.Y},
          {"Z", parms.Z}}},
        {"rms", rms},
        {"residuals", residuals},
    };
    if (!o.output.empty()) {
        files.Stage(o.output, result.dump(2) + "\n");
        files.Commit();
    }
    if (o.json) {
        out << result.dump(2) << '\n';
    } else {
        out << (o.toolingBalls ? "tooling-ball" : "best-fit") << " transform of " << n
            << " points: status " << status << " (" << result["meaning"].get<std::string>() << ")\n"
            << "  Alpha " << FormatDouble(parms.Alpha) << "  Beta " << FormatDouble(parms.Beta)
            << "  Gamma " << FormatDouble(parms.Gamma) << " (radians)\n"
            << "  X " << FormatDouble(parms.X) << "  Y " << FormatDouble(parms.Y) << "  Z "
            << FormatDouble(parms.Z) << " (metres)\n"
            << "  RMS distance " << rms * 1e6 << " micrometres\n";
    }
    return status == 0 ? kExitSettled : kExitNotSettled;
}

}  // namespace compensation::cli
