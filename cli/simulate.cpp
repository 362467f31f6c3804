#include "simulate.h"

#include <compensation_sim/simulator.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "input_error.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "run_procedure.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

Json Pair(int n1, int n2) {
    return Json::array({n1, n2});
}

}  // namespace

int RunSimulate(const SimulateOptions& o, std::ostream& out) {
    if (o.procedure != "quick" && o.procedure != "full" && o.procedure != "fullfull") {
        throw UsageError("simulate " + o.procedure + ": expected quick, full or fullfull");
    }
    if (o.mode < 0 || o.mode > 2) {
        throw UsageError("--mode " + std::to_string(o.mode) + ": expected 0, 1 or 2");
    }
    if (!(o.noiseRange >= 0.0) || !(o.noiseAngle >= 0.0) || !(o.size > 0.0)) {
        throw UsageError("noise must be zero or positive and --size positive");
    }
    const AngleUnit unit = ParseAngleUnit(o.angleUnit);
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(o.outDir, ec) && !fs::is_directory(o.outDir, ec)) {
        throw UsageError("--out-dir " + o.outDir + " is not a directory");
    }

    sim::Options options;
    options.noise.range = o.noiseRange;
    options.noise.angle = o.noiseAngle;
    options.noise.seed = o.seed;
    options.size_scale = o.size;
    options.mode = o.mode;
    sim::Scenario s;
    try {
        s = sim::MakeScenario(o.procedure, options);
    } catch (const std::exception& e) {
        throw UsageError(std::string("the simulator cannot make this scenario: ") + e.what());
    }

    const bool full = o.procedure != "quick";
    const bool fullFull = o.procedure == "fullfull";
    const bool flying = fullFull && o.mode != 2;
    Json scenario = {{"procedure", o.procedure}};
    if (fullFull) {
        scenario["mode"] = o.mode;
    }
    scenario["angle_unit"] = AngleUnitSuffix(unit);
    scenario["measurements"] = "measurements.csv";
    std::vector<std::pair<std::string, std::string>> files = {
        {"measurements.csv", FormatMeasurements(s.main, unit, false)}};
    if (full) {
        scenario["outside"] = "outside.csv";
        files.push_back({"outside.csv", FormatMeasurements(s.outside1, unit, false)});
    }
    if (fullFull) {
        scenario["outside2"] = "outside2.csv";
        files.push_back({"outside2.csv", FormatMeasurements(s.outside2, unit, false)});
    }
    if (flying) {
        scenario["flying"] = "flying.csv";
        scenario["flying_targets_per_view"] = s.nTargetsFly;
        files.push_back({"flying.csv", FormatMeasurements(s.flying, unit, false)});
    }
    if (full) {
        Json pairs = {{"x0y0", Pair(s.compOut.m_n1_x0y0, s.compOut.m_n2_x0y0)},
                      {"d2", Pair(s.compOut.m_n1_d2, s.compOut.m_n2_d2)}};
        if (fullFull) {
            pairs["extra"] = Pair(s.compOut.m_n1_extra, s.compOut.m_n2_extra);
        }
        scenario["pairs"] = pairs;
    }
    scenario["model"] = "start_model.json";
    scenario["true_model"] = "true_model.json";
    scenario["simulation"] = {{"scenario", s.name},
                              {"description", s.description},
                              {"seed", o.seed},
                              {"noise_range_m", o.noiseRange},
                              {"noise_angle_rad", o.noiseAngle},
                              {"size", o.size},
                              {"views", s.nViews},
                              {"targets_per_view", s.nTargets}};
    files.push_back({"start_model.json", ModelToJson(s.start).dump(2) + "\n"});
    files.push_back({"true_model.json", ModelToJson(s.truth).dump(2) + "\n"});
    files.push_back({"scenario.json", scenario.dump(2) + "\n"});

    // Nothing is written over existing files unless asked, and nothing at all on a fault.
    OutputFiles outputs;
    for (const auto& [name, content] : files) {
        const std::string path = (fs::path(o.outDir) / name).string();
        if (!o.force && fs::exists(path, ec)) {
            throw UsageError(path + " exists (add --force to replace it)");
        }
    }
    if (!fs::exists(o.outDir, ec) && !fs::create_directories(o.outDir, ec)) {
        throw UsageError("cannot create --out-dir " + o.outDir + ": " + ec.message());
    }
    for (const auto& [name, content] : files) {
        const std::string path = (fs::path(o.outDir) / name).string();
        outputs.Plan(path, "--out-dir", true);
        outputs.Stage(path, content);
    }
    outputs.Commit();
    out << "simulated " << s.name << ": " << s.nViews << " views of " << s.nTargets
        << " targets, seed " << o.seed << "\n";
    for (const auto& [name, content] : files) {
        out << "  " << (fs::path(o.outDir) / name).string() << '\n';
    }
    out << "run it with: compensate " << o.procedure << ' '
        << (fs::path(o.outDir) / "scenario.json").string() << '\n';
    return kExitSettled;
}

}  // namespace compensation::cli
