#include "run_procedure.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>

#include "captured_output.h"
#include "compensation/engine.h"
#include "compensation/tracing.h"
#include "engine/constants.h"
#include "input_error.h"
#include "layout.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "platform/environment.h"
#include "report_output.h"
#include "result_json.h"
#include "scenario.h"
#include "summary.h"

namespace compensation::cli {

namespace {

// No validation writes this into m_nConfidence: a score is never negative.
constexpr std::int32_t kNotValidated = std::numeric_limits<std::int32_t>::min();

// The command line wins over the scenario; the scenario fills what the command line left out.
ProcedureOptions Merge(ProcedureOptions options, const Scenario& scenario) {
    const auto fill = [](std::string& option, const std::string& fromScenario) {
        if (option.empty()) {
            option = fromScenario;
        }
    };
    fill(options.measurements, scenario.measurements);
    fill(options.outside, scenario.outside);
    fill(options.outside2, scenario.outside2);
    fill(options.flying, scenario.flying);
    fill(options.model, scenario.model);
    fill(options.angleUnit, scenario.angleUnit);
    if (options.mode < 0 && scenario.mode) {
        options.mode = *scenario.mode;
    }
    if (options.flyingTargets == 0 && scenario.flyingTargetsPerView) {
        options.flyingTargets = *scenario.flyingTargetsPerView;
    }
    return options;
}

PairPositions Pair(const std::vector<int>& option, const char* flag,
                   const std::optional<PairPositions>& fromScenario, const char* name) {
    if (!option.empty()) {
        if (option.size() != 2) {
            throw UsageError(std::string(flag) + " takes two target positions, e.g. " + flag +
                             " 1,4");
        }
        return {option[0], option[1], flag};
    }
    if (fromScenario) {
        return *fromScenario;
    }
    throw UsageError(std::string("the ") + name + " pair is missing: give " + flag +
                     " N1,N2 or \"pairs\": {\"" + name + "\": [N1, N2]} in the scenario");
}

struct Inputs {
    TMapper model{};
    std::string modelSource;
    MeasurementSet main;
    std::optional<MeasurementSet> outside, outside2, flying;
    ViewLayout layout;
    int flyingViews = 0;
    PairPositions x0y0, d2, extra;
    int validationMode = 0;
};

Inputs LoadInputs(const ProcedureOptions& options, const Scenario& scenario,
                  const InputSource& source) {
    const bool full = options.procedure != Procedure::kQuick;
    const bool fullFull = options.procedure == Procedure::kFullFull;
    if (options.measurements.empty()) {
        throw UsageError("no measurements: give --measurements FILE or a scenario file");
    }
    if (full && options.outside.empty()) {
        throw UsageError("the " + std::string(ProcedureName(options.procedure)) +
                         " procedure needs an outside set: give --outside FILE");
    }
    if (fullFull && (options.mode < 0 || options.mode > 2)) {
        throw UsageError(options.mode < 0
                             ? "fullfull needs --mode 0, 1 or 2"
                             : "--mode " + std::to_string(options.mode) + ": expected 0, 1 or 2");
    }
    if (fullFull && options.outside2.empty()) {
        throw UsageError("the fullfull procedure needs a second outside set: give --outside2 FILE");
    }
    const bool usesFlying = fullFull && options.mode != 2;
    if (usesFlying && (options.flying.empty() || options.flyingTargets == 0)) {
        throw UsageError("fullfull mode " + std::to_string(options.mode) +
                         " needs flying views: give --flying FILE and --flying-targets N");
    }

    Inputs inputs;
    const AngleUnit unit = ParseAngleUnit(options.angleUnit);
    if (!options.model.empty()) {
        inputs.model = source.model(options.model);
        inputs.modelSource = options.model;
    } else {
        inputs.modelSource = "zero model (no --model given)";
    }
    inputs.main = source.measurements(options.measurements, unit);
    inputs.layout = CheckMainLayout(inputs.main);
    if (full) {
        inputs.outside = source.measurements(options.outside, unit);
        CheckOutsideSet(*inputs.outside);
        inputs.x0y0 = Pair(options.x0y0, "--x0y0", scenario.x0y0, "x0y0");
        inputs.d2 = Pair(options.d2, "--d2", scenario.d2, "d2");
        CheckPairPositions("x0y0", inputs.x0y0, inputs.layout, inputs.main.path);
        CheckPairPositions("d2", inputs.d2, inputs.layout, inputs.main.path);
    }
    if (fullFull) {
        inputs.outside2 = source.measurements(options.outside2, unit);
        CheckOutsideSet(*inputs.outside2);
        inputs.extra = Pair(options.extra, "--extra", scenario.extra, "extra");
        CheckPairPositions("extra", inputs.extra, inputs.layout, inputs.main.path);
        if (usesFlying) {
            inputs.flying = source.measurements(options.flying, unit);
            inputs.flyingViews = CheckFlyingSet(*inputs.flying, options.flyingTargets);
        }
    }
    inputs.validationMode = options.procedure == Procedure::kQuick  ? 0
                            : options.procedure == Procedure::kFull ? 1
                                                                    : options.mode + 1;
    return inputs;
}

// Host arrays the procedure may change, and what it returned.
struct Run {
    int code = 0;
    TMapper model{};
    TCompOut out{};
    std::vector<CVector> main, outside, outside2, flying;
    std::string printed;  // what the library printed on standard output
    bool validated = false;
    RunReport report;
};

std::vector<CVector> Copy(const std::optional<MeasurementSet>& set) {
    return set ? set->vectors : std::vector<CVector>();
}

CVector* Data(std::vector<CVector>& vectors) {
    return vectors.empty() ? nullptr : vectors.data();
}

Run Execute(const Inputs& inputs, const ProcedureOptions& options) {
    Run run;
    run.model = inputs.model;
    run.main = inputs.main.vectors;
    run.outside = Copy(inputs.outside);
    run.outside2 = Copy(inputs.outside2);
    run.flying = Copy(inputs.flying);
    run.out.m_n1_x0y0 = inputs.x0y0.first;
    run.out.m_n2_x0y0 = inputs.x0y0.second;
    run.out.m_n1_d2 = inputs.d2.first;
    run.out.m_n2_d2 = inputs.d2.second;
    run.out.m_n1_extra = inputs.extra.first;
    run.out.m_n2_extra = inputs.extra.second;
    run.out.m_nInlineView = compensation::kInlineViewNone;
    run.out.m_nConfidence = kNotValidated;

    const int mainCount = static_cast<int>(run.main.size());
    CapturedOutput captured(options.json);
    CCompensation engine;
    switch (options.procedure) {
        case Procedure::kQuick:
            run.code = engine.QuickCompInsertion(run.main.data(), mainCount, &run.model, &run.out);
            break;
        case Procedure::kFull:
            run.code = engine.FullComp(run.main.data(), mainCount, Data(run.outside),
                                       static_cast<int>(run.outside.size()), &run.model, &run.out);
            break;
        case Procedure::kFullFull:
            run.code = engine.FullFullComp(
                run.main.data(), mainCount, Data(run.outside), static_cast<int>(run.outside.size()),
                Data(run.outside2), static_cast<int>(run.outside2.size()), Data(run.flying),
                options.flyingTargets, static_cast<int>(run.flying.size()), &run.model, &run.out,
                options.mode);
            break;
    }
    std::cout.flush();
    run.printed = captured.Text();
    run.report = LastRunReport(engine, {!options.noUncertainty, std::nullopt});
    run.validated = run.out.m_nConfidence != kNotValidated;
    return run;
}

std::string Describe(const MeasurementSet& set, const char* what) {
    return std::to_string(set.vectors.size()) + " " + what + " (" + set.path + ")";
}

nlohmann::ordered_json ResultJson(const ProcedureOptions& options, const Inputs& inputs,
                                  const Run& run, const std::vector<QualityChange>& changes,
                                  const std::string& summary) {
    using Json = nlohmann::ordered_json;
    const int sectors = inputs.layout.viewCount;
    Json explanations = Json::array();
    for (const Explanation& explanation :
         ExplainResult(run.code, options.procedure, options.mode, sectors, run.report.stage)) {
        explanations.push_back({{"stage", explanation.stage}, {"parts", explanation.parts}});
    }
    Json inputsRecord = {{"measurements", inputs.main.path},
                         {"views", inputs.layout.viewCount},
                         {"targets_per_view", inputs.layout.targetsPerView},
                         {"model", inputs.modelSource}};
    if (inputs.outside) {
        inputsRecord["outside"] = inputs.outside->path;
    }
    if (inputs.outside2) {
        inputsRecord["outside2"] = inputs.outside2->path;
    }
    if (inputs.flying) {
        inputsRecord["flying"] = inputs.flying->path;
        inputsRecord["flying_views"] = inputs.flyingViews;
        inputsRecord["flying_targets_per_view"] = options.flyingTargets;
    }
    Json result = {
        {"procedure", ProcedureName(options.procedure)},
        {"mode", options.procedure == Procedure::kFullFull ? Json(options.mode) : Json(nullptr)},
        {"result", run.code},
        {"meaning",
         DescribeResult(run.code, options.procedure, options.mode, sectors, run.report.stage)},
        {"explanations", explanations},
        {"settled", run.code == 0},
        {"validated", run.validated},
        {"confidence", run.validated ? Json(run.out.m_nConfidence) : Json(nullptr)},
        {"inputs", inputsRecord},
        {"comp_out", CompOutToJson(run.out)},
        {"model", ModelToJson(run.model)},
        {"rejected", ChangesToJson(changes)},
        {"summary", summary},
    };
    if (!run.validated) {
        result["comp_out"]["m_nConfidence"] = nullptr;
    }
    AddReportJson(result, run.report);
    return result;
}

void PrintText(std::ostream& out, const ProcedureOptions& options, const Inputs& inputs,
               const Run& run, const std::vector<QualityChange>& changes,
               const std::string& ownSummary) {
    if (!ownSummary.empty()) {
        out << ownSummary;
    }
    if (!run.validated) {
        out << "The final validation did not run: no CONFIDENCE.\n";
    }
    out << "\nresult " << run.code << ": "
        << DescribeResult(run.code, options.procedure, options.mode, inputs.layout.viewCount,
                          run.report.stage)
        << '\n';
    PrintReport(out, run.report);
    out << changes.size() << " measurement(s) changed quality";
    out << (changes.empty() ? ".\n" : ":\n");
    for (const QualityChange& change : changes) {
        out << "  " << change.set << " line " << change.line << " (index " << change.index
            << "), type " << change.type << ": quality " << change.oldQuality << " -> "
            << change.newQuality << " (" << MarkMeaning(change.oldQuality, change.newQuality)
            << ")\n";
    }
}

}  // namespace

void SetTraceDirectory(const std::string& option) {
    std::string directory = option;
    if (directory.empty()) {
        const char* variable = std::getenv("COMPENSATION_TRACE_DIR");
        directory = variable != nullptr && *variable != '\0' ? variable : ".";
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec)) {
        throw UsageError("trace directory " + directory + " does not exist");
    }
    const std::string absolute = std::filesystem::absolute(directory, ec).string();
    platform::SetEnv("COMPENSATION_TRACE_DIR", absolute.c_str());
}

int RunProcedure(const ProcedureOptions& given, std::ostream& out, const InputSource& source) {
    Scenario scenario;
    if (!given.scenario.empty()) {
        scenario = ReadScenario(given.scenario);
        if (!scenario.procedure.empty() && scenario.procedure != ProcedureName(given.procedure)) {
            throw InputError(given.scenario, 0, "procedure",
                             "the scenario is for the " + scenario.procedure +
                                 " procedure; run compensate " + scenario.procedure);
        }
    }
    const ProcedureOptions options = Merge(given, scenario);
    if (options.inPlace && options.model.empty()) {
        throw UsageError("--in-place replaces the input model, but no --model was given");
    }
    if (options.inPlace && !options.modelOut.empty()) {
        throw UsageError("give either --in-place or --output, not both");
    }
    const Inputs inputs = LoadInputs(options, scenario, source);

    OutputFiles files;
    for (const std::string& input : {options.scenario, options.measurements, options.outside,
                                     options.outside2, options.flying}) {
        files.AddInput(input);
    }
    files.AddInput(options.model);
    const std::string modelOut = options.inPlace ? options.model : options.modelOut;
    if (!modelOut.empty()) {
        files.Plan(modelOut, options.inPlace ? "--in-place" : "--output",
                   options.force || options.inPlace);
    }
    if (!options.resultOut.empty()) {
        files.Plan(options.resultOut, "--result", options.force);
    }
    if (!options.writeBack.empty()) {
        files.Plan(options.writeBack, "--write-back", options.force);
    }
    if (options.noTrace) {
        // Read by the engine's constructor: not even its start banner is written.
        platform::SetEnv(compensation::kTraceSwitchVariable, "off");
    } else {
        SetTraceDirectory(options.traceDir);
    }

    if (!options.json) {
        out << "compensate " << ProcedureName(options.procedure);
        if (options.procedure == Procedure::kFullFull) {
            out << " mode " << options.mode;
        }
        out << ": " << inputs.layout.viewCount << " views of " << inputs.layout.targetsPerView
            << " targets, " << Describe(inputs.main, "measurements");
        if (inputs.outside) {
            out << ", " << Describe(*inputs.outside, "outside");
        }
        if (inputs.outside2) {
            out << ", " << Describe(*inputs.outside2, "outside (second set)");
        }
        if (inputs.flying) {
            out << ", " << inputs.flyingViews << " flying views (" << inputs.flying->path << ")";
        }
        out << "\nstarting model: " << inputs.modelSource << "\n\n" << std::flush;
    }
    const Run run = Execute(inputs, options);
    if (run.code == kNoLiveOutsidePair) {
        throw UsageError("the library refused the input: " +
                         NoLiveOutsidePairReason(options.procedure, options.mode));
    }
    if (run.code == -1) {
        throw UsageError(
            std::string("the library refused the input (-1): the arrays, counts or "
                        "target positions do not fit together; nothing was written"));
    }

    std::vector<QualityChange> changes = QualityChanges("measurements", inputs.main, run.main);
    const auto addChanges = [&](const char* name, const std::optional<MeasurementSet>& set,
                                const std::vector<CVector>& after) {
        if (set) {
            const std::vector<QualityChange> more = QualityChanges(name, *set, after);
            changes.insert(changes.end(), more.begin(), more.end());
        }
    };
    addChanges("outside", inputs.outside, run.outside);
    addChanges("outside2", inputs.outside2, run.outside2);
    addChanges("flying", inputs.flying, run.flying);

    // The quick procedure prints its own summary; the full ones are given theirs from the record.
    const std::string ownSummary = options.procedure != Procedure::kQuick && run.validated
                                       ? FormatSummary(run.out, inputs.validationMode)
                                       : std::string();
    const std::string summary = options.procedure == Procedure::kQuick ? run.printed : ownSummary;
    const nlohmann::ordered_json result = ResultJson(options, inputs, run, changes, summary);

    const bool writeModel = run.code == 0 || options.keepUnsettled;
    if (!options.resultOut.empty()) {
        files.Stage(options.resultOut, result.dump(2) + "\n");
    }
    if (writeModel && !modelOut.empty()) {
        files.Stage(modelOut, ModelToJson(run.model).dump(2) + "\n");
    }
    if (writeModel && !options.writeBack.empty()) {
        files.Stage(options.writeBack, FormatWithQualities(inputs.main, run.main));
    }
    files.Commit();

    if (options.json) {
        out << result.dump(2) << '\n';
    } else {
        PrintText(out, options, inputs, run, changes, ownSummary);
        if (!options.resultOut.empty()) {
            out << "result written to " << options.resultOut << '\n';
        }
        if (!modelOut.empty() || !options.writeBack.empty()) {
            if (writeModel) {
                if (!modelOut.empty()) {
                    out << "model written to " << modelOut << '\n';
                }
                if (!options.writeBack.empty()) {
                    out << "measurements with their marks written to " << options.writeBack << '\n';
                }
            } else {
                out << "The procedure did not settle: the model and the marked measurements were "
                       "not written (--keep-unsettled writes them anyway).\n";
            }
        }
    }
    return run.code == 0 ? kExitSettled : kExitNotSettled;
}

}  // namespace compensation::cli
