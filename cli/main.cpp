// compensate: runs the compensation procedures of the laser-tracker library on files.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "calibrate.h"
#include "explain.h"
#include "run_procedure.h"
#include "transform.h"
#ifdef COMPENSATE_HAS_SIMULATOR
#include "plan.h"
#include "simulate.h"
#endif

namespace {

using compensation::cli::Procedure;
using compensation::cli::ProcedureOptions;

CLI::App* AddProcedure(CLI::App& app, const char* name, const char* description,
                       ProcedureOptions& options) {
    CLI::App* subcommand = app.add_subcommand(name, description);
    subcommand->add_option(
        "scenario", options.scenario,
        "scenario file (JSON) naming the measurement files, the pair positions and "
        "the starting model");
    subcommand->add_option("-i,--measurements", options.measurements, "main measurement set (CSV)");
    subcommand->add_option("-m,--model", options.model,
                           "starting model (JSON, 83 elements); all zero when not given");
    subcommand->add_option("-o,--output", options.modelOut, "write the fitted model here (JSON)");
    subcommand->add_option("--result", options.resultOut,
                           "write the result here (JSON: code, meaning, CONFIDENCE, every TCompOut "
                           "field, the model, the rejected measurements)");
    subcommand->add_option(
        "--write-back", options.writeBack,
        "write the main measurement set with the rejections marked in its quality "
        "column");
    subcommand->add_flag("--in-place", options.inPlace,
                         "replace the starting model file with the fitted model");
    subcommand->add_flag("--force", options.force, "allow an output to replace an input file");
    subcommand->add_flag(
        "--keep-unsettled", options.keepUnsettled,
        "write the model and the marked measurements even when the procedure did not "
        "settle");
    subcommand->add_flag("--json", options.json, "print the result as JSON instead of the summary");
    subcommand->add_option("--trace-dir", options.traceDir,
                           "directory of TraceFile.txt (default: $COMPENSATION_TRACE_DIR, else the "
                           "current directory)");
    subcommand
        ->add_flag("--no-trace", options.noTrace,
                   "write no trace file (the results are the same; for batch runs)")
        ->excludes("--trace-dir");
    subcommand->add_flag("--no-uncertainty", options.noUncertainty,
                         "report the fitted elements without their uncertainties (which add "
                         "up to about half the procedure's own time)");
    subcommand->add_option("--angle-unit", options.angleUnit,
                           "unit of plain azimuth/elevation columns (deg or rad)");
    return subcommand;
}

void AddFullOptions(CLI::App* subcommand, ProcedureOptions& options) {
    subcommand->add_option("--outside", options.outside, "outside set (CSV, two targets per view)");
    subcommand
        ->add_option("--x0y0", options.x0y0,
                     "x0y0 pair: two target positions within a view, e.g. 1,4")
        ->delimiter(',');
    subcommand->add_option("--d2", options.d2, "d2 pair: two target positions within a view")
        ->delimiter(',');
}

int Run(int argc, char** argv) {
    CLI::App app{"compensate: self-calibration of a laser tracker from measurement files"};
    app.require_subcommand(1);

    ProcedureOptions quick, full, fullFull;
    quick.procedure = Procedure::kQuick;
    full.procedure = Procedure::kFull;
    fullFull.procedure = Procedure::kFullFull;
    CLI::App* quickCommand = AddProcedure(
        app, "quick", "quick compensation: two-face terms and Ax, Ay from one set of views", quick);
    CLI::App* fullCommand = AddProcedure(
        app, "full", "full compensation: adds X0, Y0 from a target pair and D2 from an outside set",
        full);
    AddFullOptions(fullCommand, full);
    CLI::App* fullFullCommand = AddProcedure(
        app, "fullfull",
        "full-full compensation: two outside sets and, in modes 0 and 1, flying views", fullFull);
    AddFullOptions(fullFullCommand, fullFull);
    fullFullCommand->add_option("--mode", fullFull.mode,
                                "0 flying views with the FBB fit, 1 flying views with the check "
                                "fit, 2 no flying views");
    fullFullCommand->add_option("--outside2", fullFull.outside2, "second outside set (CSV)");
    fullFullCommand->add_option("--flying", fullFull.flying, "flying views (CSV), modes 0 and 1");
    fullFullCommand->add_option("--flying-targets", fullFull.flyingTargets,
                                "targets per flying view");
    fullFullCommand->add_option("--extra", fullFull.extra, "extra pair: two target positions")
        ->delimiter(',');

    compensation::cli::CalibrateOptions calibrate;
    CLI::App* calibrateCommand = app.add_subcommand(
        "calibrate", "apply a model to measurements (corrected range, angles and X, Y, Z)");
    calibrateCommand->add_option("-m,--model", calibrate.model, "model (JSON)")->required();
    calibrateCommand->add_option("-i,--measurements", calibrate.input, "measurements (CSV)")
        ->required();
    calibrateCommand->add_option(
        "-o,--output", calibrate.output,
        "write the corrected measurements here (default: standard output)");
    calibrateCommand->add_flag("--uncalibrate", calibrate.uncalibrate,
                               "remove the model instead: the readings an instrument with this "
                               "model would give");
    calibrateCommand->add_flag("--force", calibrate.force, "allow the output to replace an input");
    calibrateCommand->add_option("--angle-unit", calibrate.angleUnit,
                                 "unit of plain azimuth/elevation columns (deg or rad)");

    compensation::cli::TransformOptions transform;
    CLI::App* transformCommand = app.add_subcommand(
        "transform", "fit the transform carrying nominal points onto measured ones");
    transformCommand
        ->add_option("--nominal", transform.nominal, "nominal points (CSV: x, y, z[, weight])")
        ->required();
    transformCommand
        ->add_option("-i,--measured", transform.measured,
                     "the same points as measured (measurement CSV, same order)")
        ->required();
    transformCommand->add_option("-m,--model", transform.model,
                                 "model that calibrates the measurements (default: all zero)");
    transformCommand->add_flag(
        "--tooling-balls", transform.toolingBalls,
        "closed-form start from point triples, weights from the nominal file "
        "(default: best fit from --start)");
    transformCommand
        ->add_option("--start", transform.start,
                     "starting transform Alpha,Beta,Gamma,X,Y,Z for the best fit")
        ->delimiter(',');
    transformCommand->add_option("-o,--output", transform.output, "write the result here (JSON)");
    transformCommand->add_flag("--json", transform.json, "print the result as JSON");
    transformCommand->add_flag("--force", transform.force, "allow the output to replace an input");
    transformCommand->add_option("--angle-unit", transform.angleUnit,
                                 "unit of plain azimuth/elevation columns (deg or rad)");

    std::optional<int> code;
    std::string explainProcedure = "quick";
    int explainMode = 0;
    int explainViews = 0;
    CLI::App* explainCommand =
        app.add_subcommand("explain", "the meaning of a result code (all codes when none given)");
    explainCommand->add_option("code", code, "result code");
    explainCommand->add_option("-p,--procedure", explainProcedure, "quick, full or fullfull")
        ->check(CLI::IsMember({"quick", "full", "fullfull"}));
    explainCommand->add_option("--mode", explainMode, "full-full mode")->check(CLI::Range(0, 2));
    explainCommand->add_option("--views", explainViews,
                               "views of the set (the quick procedure's number of sectors; the "
                               "full procedures' least pair count)");
    std::string explainStage;
    explainCommand
        ->add_option("--stage", explainStage,
                     "the stage a run stopped at (its result's \"stage\" name): the one meaning "
                     "of a code that several parts of the procedure can give")
        ->check([](const std::string& name) {
            return compensation::cli::StageNamed(name) ? std::string()
                                                       : "no run stage is called " + name;
        });

#ifdef COMPENSATE_HAS_SIMULATOR
    compensation::cli::SimulateOptions simulate;
    CLI::App* simulateCommand = app.add_subcommand(
        "simulate", "write every input file of a scenario, and its true model, from the simulator");
    simulateCommand->add_option("procedure", simulate.procedure, "quick, full or fullfull")
        ->required();
    simulateCommand->add_option("--mode", simulate.mode, "full-full mode (0, 1 or 2)");
    simulateCommand->add_option("-d,--out-dir", simulate.outDir, "directory of the files")
        ->required();
    simulateCommand->add_option("--seed", simulate.seed, "seed of the reading noise");
    simulateCommand->add_option("--noise-range", simulate.noiseRange,
                                "standard deviation of the range noise, metres (default 0)");
    simulateCommand->add_option("--noise-angle", simulate.noiseAngle,
                                "standard deviation of the angle noise, radians (default 0)");
    simulateCommand->add_option("--size", simulate.size,
                                "scales the number of targets and views (default 1)");
    simulateCommand->add_option("--board-width", simulate.boardWidth,
                                "full-full: the FBB board's width (1, the default, half as wide as "
                                "tall; 2 as wide as tall)");
    simulateCommand->add_option("--angle-unit", simulate.angleUnit,
                                "angle unit of the written files (deg, the default, or rad)");
    simulateCommand->add_flag("--force", simulate.force, "replace files that exist");

    compensation::cli::PlanOptions plan;
    CLI::App* planCommand = app.add_subcommand(
        "plan",
        "check a measurement plan (layout file) before measuring: the selection rules, "
        "the expected result, each element's uncertainty, the joint loop's rate; exit 0 "
        "when clean, 3 when it warns");
    planCommand
        ->add_option("layout", plan.layout,
                     "layout file (JSON; compensate simulate writes "
                     "one beside each scenario)")
        ->required();
    planCommand->add_option("-m,--model", plan.model,
                            "true model to simulate (JSON; default: the simulator's realistic "
                            "truth for the procedure)");
    planCommand->add_option("--json", plan.jsonOut,
                            "write the plan as JSON to this file (- prints it instead of the "
                            "text)");
    planCommand->add_flag("--force", plan.force, "let --json replace a file");
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : compensation::cli::kExitBadInput;
    }

    if (*quickCommand) {
        return compensation::cli::RunProcedure(quick, std::cout);
    }
    if (*fullCommand) {
        return compensation::cli::RunProcedure(full, std::cout);
    }
    if (*fullFullCommand) {
        return compensation::cli::RunProcedure(fullFull, std::cout);
    }
#ifdef COMPENSATE_HAS_SIMULATOR
    if (*simulateCommand) {
        return compensation::cli::RunSimulate(simulate, std::cout);
    }
    if (*planCommand) {
        return compensation::cli::RunPlan(plan, std::cout);
    }
#endif
    if (*transformCommand) {
        return compensation::cli::RunTransform(transform, std::cout);
    }
    if (*calibrateCommand) {
        return compensation::cli::RunCalibrate(calibrate, std::cout);
    }
    const Procedure procedure = explainProcedure == "full"       ? Procedure::kFull
                                : explainProcedure == "fullfull" ? Procedure::kFullFull
                                                                 : Procedure::kQuick;
    return compensation::cli::RunExplain(code, procedure, explainMode, explainViews,
                                         compensation::cli::StageNamed(explainStage), std::cout);
}

// Output that could not be written (a full disk, a closed pipe, /dev/full) is lost data: the
// run reports it and fails, whatever it computed.
int CheckStandardOutput(int status) {
    errno = 0;
    std::cout.flush();
    if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return status;
    }
    const int error = errno;
    std::cerr << "compensate: error: standard output: cannot write"
              << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    return status == compensation::cli::kExitSettled ? compensation::cli::kExitBadInput : status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return CheckStandardOutput(Run(argc, argv));
    } catch (const std::exception& error) {
        // Bad input, contradictory options and any other fault are reported alike.
        std::cerr << "compensate: error: " << error.what() << '\n';
    }
    return compensation::cli::kExitBadInput;
}
