#include "simulate.h"

#include <compensation_sim/simulator.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "input_error.h"
#include "layout_file.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "run_procedure.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

Json Pair(int first, int second) {
    return Json::array({first, second});
}

}  // namespace

int RunSimulate(const SimulateOptions& options, std::ostream& out) {
    if (options.procedure != "quick" && options.procedure != "full" &&
        options.procedure != "fullfull") {
        throw UsageError("simulate " + options.procedure + ": expected quick, full or fullfull");
    }
    if (options.mode < 0 || options.mode > 2) {
        throw UsageError("--mode " + std::to_string(options.mode) + ": expected 0, 1 or 2");
    }
    if (!(options.noiseRange >= 0.0) || !(options.noiseAngle >= 0.0) || !(options.size > 0.0) ||
        !(options.boardWidth > 0.0)) {
        throw UsageError("noise must be zero or positive, --size and --board-width positive");
    }
    const AngleUnit unit = ParseAngleUnit(options.angleUnit);
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(options.outDir, ec) && !fs::is_directory(options.outDir, ec)) {
        throw UsageError("--out-dir " + options.outDir + " is not a directory");
    }

    sim::Options simulation;
    simulation.noise.range = options.noiseRange;
    simulation.noise.angle = options.noiseAngle;
    simulation.noise.seed = options.seed;
    simulation.size_scale = options.size;
    simulation.mode = options.mode;
    simulation.board_width = options.boardWidth;
    sim::Scenario simulated;
    try {
        simulated = sim::MakeScenario(options.procedure, simulation);
    } catch (const std::exception& error) {
        throw UsageError(std::string("the simulator cannot make this scenario: ") + error.what());
    }

    const bool full = options.procedure != "quick";
    const bool fullFull = options.procedure == "fullfull";
    const bool flying = fullFull && options.mode != 2;
    Json scenario = {{"procedure", options.procedure}};
    if (fullFull) {
        scenario["mode"] = options.mode;
    }
    scenario["angle_unit"] = AngleUnitSuffix(unit);
    scenario["measurements"] = "measurements.csv";
    std::vector<std::pair<std::string, std::string>> files = {
        {"measurements.csv", FormatMeasurements(simulated.main, unit, false)}};
    if (full) {
        scenario["outside"] = "outside.csv";
        files.push_back({"outside.csv", FormatMeasurements(simulated.outside1, unit, false)});
    }
    if (fullFull) {
        scenario["outside2"] = "outside2.csv";
        files.push_back({"outside2.csv", FormatMeasurements(simulated.outside2, unit, false)});
    }
    if (flying) {
        scenario["flying"] = "flying.csv";
        scenario["flying_targets_per_view"] = simulated.nTargetsFly;
        files.push_back({"flying.csv", FormatMeasurements(simulated.flying, unit, false)});
    }
    if (full) {
        Json pairs = {{"x0y0", Pair(simulated.compOut.m_n1_x0y0, simulated.compOut.m_n2_x0y0)},
                      {"d2", Pair(simulated.compOut.m_n1_d2, simulated.compOut.m_n2_d2)}};
        if (fullFull) {
            pairs["extra"] = Pair(simulated.compOut.m_n1_extra, simulated.compOut.m_n2_extra);
        }
        scenario["pairs"] = pairs;
    }
    scenario["model"] = "start_model.json";
    scenario["true_model"] = "true_model.json";
    scenario["simulation"] = {{"scenario", simulated.name},
                              {"description", simulated.description},
                              {"seed", options.seed},
                              {"noise_range_m", options.noiseRange},
                              {"noise_angle_rad", options.noiseAngle},
                              {"size", options.size},
                              {"views", simulated.nViews},
                              {"targets_per_view", simulated.nTargets}};
    files.push_back({"start_model.json", ModelToJson(simulated.start).dump(2) + "\n"});
    files.push_back({"true_model.json", ModelToJson(simulated.truth).dump(2) + "\n"});
    files.push_back({"scenario.json", scenario.dump(2) + "\n"});
    // The plan behind the readings, for compensate plan: the reading noise it expects is the
    // simulated one, or a good tracker's where the readings are noise-free.
    PlanLayout plan;
    plan.procedure = options.procedure;
    plan.mode = options.mode;
    plan.noiseRange = options.noiseRange > 0.0 ? options.noiseRange : kTypicalRangeNoise;
    plan.noiseAngle = options.noiseAngle > 0.0 ? options.noiseAngle : kTypicalAngleNoise;
    plan.layout = simulated.layout;
    files.push_back({"layout.json", LayoutToJson(plan).dump(2) + "\n"});

    // Nothing is written over existing files unless asked, and nothing at all on a fault.
    OutputFiles outputs;
    for (const auto& [name, content] : files) {
        const std::string path = (fs::path(options.outDir) / name).string();
        if (!options.force && fs::exists(path, ec)) {
            throw UsageError(path + " exists (add --force to replace it)");
        }
    }
    if (!fs::exists(options.outDir, ec) && !fs::create_directories(options.outDir, ec)) {
        throw UsageError("cannot create --out-dir " + options.outDir + ": " + ec.message());
    }
    for (const auto& [name, content] : files) {
        const std::string path = (fs::path(options.outDir) / name).string();
        outputs.Plan(path, "--out-dir", true);
        outputs.Stage(path, content);
    }
    outputs.Commit();
    out << "simulated " << simulated.name << ": " << simulated.nViews << " views of "
        << simulated.nTargets << " targets, seed " << options.seed << "\n";
    for (const auto& [name, content] : files) {
        out << "  " << (fs::path(options.outDir) / name).string() << '\n';
    }
    out << "run it with: compensate " << options.procedure << ' '
        << (fs::path(options.outDir) / "scenario.json").string() << '\n';
    return kExitSettled;
}

}  // namespace compensation::cli
