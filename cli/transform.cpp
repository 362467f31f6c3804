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

int RunTransform(const TransformOptions& options, std::ostream& out, const InputSource& source) {
    TMapper model{};
    if (!options.model.empty()) {
        model = source.model(options.model);
    }
    NominalPoints nominal = source.nominal(options.nominal);
    MeasurementSet measured =
        source.measurements(options.measured, ParseAngleUnit(options.angleUnit));
    if (nominal.points.size() != measured.vectors.size()) {
        throw InputError(options.measured, 0, "",
                         std::to_string(measured.vectors.size()) + " measured points for " +
                             std::to_string(nominal.points.size()) + " nominal points in " +
                             options.nominal + ": row i of both files is the same point");
    }
    if (!options.start.empty() && options.start.size() != 6) {
        throw UsageError("--start takes six values: Alpha,Beta,Gamma (radians),X,Y,Z (metres)");
    }
    OutputFiles files;
    for (const std::string& input : {options.nominal, options.measured, options.model}) {
        files.AddInput(input);
    }
    if (!options.output.empty()) {
        files.Plan(options.output, "--output", options.force);
    }

    TRANSFORM_PARMS parameters{};
    if (!options.start.empty()) {
        parameters = {options.start[0], options.start[1], options.start[2],
                      options.start[3], options.start[4], options.start[5]};
    }
    const int pointCount = static_cast<int>(nominal.points.size());
    CTransform transform;
    const int status =
        options.toolingBalls
            ? transform.TB_Transform(nominal.points.data(), measured.vectors.data(),
                                     nominal.weights.data(), pointCount, &parameters, &model)
            : transform.UpdateTransform(nominal.points.data(), measured.vectors.data(), pointCount,
                                        &parameters, &model);
    // A refusal is about the files handed in, not a fit that failed to converge.
    if (status == kRefused || status == kNoMemory) {
        throw InputError(
            options.toolingBalls ? options.nominal : options.measured, 0, "",
            std::string("the transform fit refused the points (status ") + std::to_string(status) +
                "): " +
                (options.toolingBalls ? ToolingBallMeaning(status) : BestFitMeaning(status)));
    }

    // Residuals of every point: the nominal point carried by the transform against the
    // calibrated measurement, in the instrument frame.
    Json residuals = Json::array();
    double sum = 0.0;
    double weight = 0.0;
    for (int point = 0; point < pointCount; ++point) {
        CVector calibrated = measured.vectors[static_cast<std::size_t>(point)];
        calibrated.Calibrate(&model);
        const CVector mapped = *transform.GetNextVector(point, &parameters, nominal.points.data());
        const double dx = mapped.X - calibrated.X;
        const double dy = mapped.Y - calibrated.Y;
        const double dz = mapped.Z - calibrated.Z;
        const double pointWeight =
            options.toolingBalls ? nominal.weights[static_cast<std::size_t>(point)] : 1.0;
        sum += pointWeight * (dx * dx + dy * dy + dz * dz);
        weight += pointWeight;
        residuals.push_back({{"line", nominal.lines[static_cast<std::size_t>(point)]},
                             {"dx", dx},
                             {"dy", dy},
                             {"dz", dz},
                             {"distance", std::sqrt(dx * dx + dy * dy + dz * dz)}});
    }
    const double rms = weight > 0.0 ? std::sqrt(sum / weight) : 0.0;
    const Json result = {
        {"fit", options.toolingBalls ? "tooling balls" : "best fit"},
        {"status", status},
        {"meaning", options.toolingBalls ? ToolingBallMeaning(status) : BestFitMeaning(status)},
        {"transform",
         {{"Alpha", parameters.Alpha},
          {"Beta", parameters.Beta},
          {"Gamma", parameters.Gamma},
          {"X", parameters.X},
          {"Y", parameters.Y},
          {"Z", parameters.Z}}},
        {"rms", rms},
        {"residuals", residuals},
    };
    if (!options.output.empty()) {
        files.Stage(options.output, result.dump(2) + "\n");
        files.Commit();
    }
    if (options.json) {
        out << result.dump(2) << '\n';
    } else {
        out << (options.toolingBalls ? "tooling-ball" : "best-fit") << " transform of "
            << pointCount << " points: status " << status << " ("
            << result["meaning"].get<std::string>() << ")\n"
            << "  Alpha " << FormatDouble(parameters.Alpha) << "  Beta "
            << FormatDouble(parameters.Beta) << "  Gamma " << FormatDouble(parameters.Gamma)
            << " (radians)\n"
            << "  X " << FormatDouble(parameters.X) << "  Y " << FormatDouble(parameters.Y)
            << "  Z " << FormatDouble(parameters.Z) << " (metres)\n"
            << "  RMS distance " << rms * 1e6 << " micrometres\n";
    }
    return status == 0 ? kExitSettled : kExitNotSettled;
}

}  // namespace compensation::cli
