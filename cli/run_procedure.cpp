#include "run_procedure.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>

#include "compensation/engine.h"
#include "compensation/tracing.h"
#include "engine/constants.h"
#include "input_error.h"
#include "layout.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "platform/environment.h"
#include "result_json.h"
#include "scenario.h"
#include "summary.h"

namespace compensation::cli {

namespace {

// No validation writes this into m_nConfidence: a score is never negative.
constexpr std::int32_t kNotValidated = std::numeric_limits<std::int32_t>::min();

// The command line wins over the scenario; the scenario fills what the command line left out.
ProcedureOptions Merge(ProcedureOptions o, const Scenario& s) {
    const auto fill = [](std::string& option, const std::string& fromScenario) {
        if (option.empty()) {
            option = fromScenario;
        }
    };
    fill(o.measurements, s.measurements);
    fill(o.outside, s.outside);
    fill(o.outside2, s.outside2);
    fill(o.flying, s.flying);
    fill(o.model, s.model);
    fill(o.angleUnit, s.angleUnit);
    if (o.mode < 0 && s.mode) {
        o.mode = *s.mode;
    }
    if (o.flyingTargets == 0 && s.flyingTargetsPerView) {
        o.flyingTargets = *s.flyingTargetsPerView;
    }
    return o;
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
    int nViewsFly = 0;
    PairPositions x0y0, d2, extra;
    int validationMode = 0;
};

Inputs LoadInputs(const ProcedureOptions& o, const Scenario& scenario, const InputSource& source) {
    const bool full = o.procedure != Procedure::kQuick;
    const bool fullFull = o.procedure == Procedure::kFullFull;
    if (o.measurements.empty()) {
        throw UsageError("no measurements: give --measurements FILE or a scenario file");
    }
    if (full && o.outside.empty()) {
        throw UsageError("the " + std::string(ProcedureName(o.procedure)) +
                         " procedure needs an outside set: give --outside FILE");
    }
    if (fullFull && (o.mode < 0 || o.mode > 2)) {
        throw UsageError(o.mode < 0 ? "fullfull needs --mode 0, 1 or 2"
                                    : "--mode " + std::to_string(o.mode) + ": expected 0, 1 or 2");
    }
    if (fullFull && o.outside2.empty()) {
        throw UsageError("the fullfull procedure needs a second outside set: give --outside2 FILE");
    }
    const bool usesFlying = fullFull && o.mode != 2;
    if (usesFlying && (o.flying.empty() || o.flyingTargets == 0)) {
        throw UsageError("fullfull mode " + std::to_string(o.mode) +
                         " needs flying views: give --flying FILE and --flying-targets N");
    }

    Inputs in;
    const AngleUnit unit = ParseAngleUnit(o.angleUnit);
    if (!o.model.empty()) {
        in.model = source.model(o.model);
        in.modelSource = o.model;
    } else {
        in.modelSource = "zero model (no --model given)";
    }
    in.main = source.measurements(o.measurements, unit);
    in.layout = CheckMainLayout(in.main);
    if (full) {
        in.outside = source.measurements(o.outside, unit);
        CheckOutsideSet(*in.outside);
        in.x0y0 = Pair(o.x0y0, "--x0y0", scenario.x0y0, "x0y0");
        in.d2 = Pair(o.d2, "--d2", scenario.d2, "d2");
        CheckPairPositions("x0y0", in.x0y0, in.layout, in.main.path);
        CheckPairPositions("d2", in.d2, in.layout, in.main.path);
    }
    if (fullFull) {
        in.outside2 = source.measurements(o.outside2, unit);
        CheckOutsideSet(*in.outside2);
        in.extra = Pair(o.extra, "--extra", scenario.extra, "extra");
        CheckPairPositions("extra", in.extra, in.layout, in.main.path);
        if (usesFlying) {
            in.flying = source.measurements(o.flying, unit);
            in.nViewsFly = CheckFlyingSet(*in.flying, o.flyingTargets);
        }
    }
    in.validationMode = o.procedure == Procedure::kQuick  ? 0
                        : o.procedure == Procedure::kFull ? 1
                                                          : o.mode + 1;
    return in;
}

// Host arrays the procedure may change, and what it returned.
struct Run {
    int code = 0;
    TMapper model{};
    TCompOut out{};
    std::vector<CVector> main, outside, outside2, flying;
    std::string printed;  // what the library printed on standard output
    bool validated = false;
};

// Diverts the process's standard output into a temporary file while the library runs, so that
// --json keeps standard output machine-readable and the summary still reaches the result. The
// diversion is the C runtime's own: the library's std::cout may belong to a C++ runtime of its
// own (the Windows DLL links one statically), which swapping this program's stream buffer would
// miss, but every C++ runtime in the process writes through the C runtime's stdout.
class CapturedOutput {
  public:
    explicit CapturedOutput(bool active) {
        if (!active) {
            return;
        }
        std::string name =
            (std::filesystem::temp_directory_path() / "compensate.out.XXXXXX").string();
        fd_ = ::mkstemp(name.data());
        if (fd_ < 0) {
            return;  // the summary is then printed, and the JSON follows it
        }
        name_ = name;
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(::fileno(stdout));
        ::dup2(fd_, ::fileno(stdout));
    }
    ~CapturedOutput() {
        Restore();
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(name_.c_str());
        }
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::string Text() {
        Restore();
        std::ostringstream text;
        text << std::ifstream(name_).rdbuf();  // text mode: CR LF back to LF on Windows
        return text.str();
    }

  private:
    void Restore() {
        if (saved_ >= 0) {
            std::cout.flush();
            std::fflush(stdout);
            ::dup2(saved_, ::fileno(stdout));
            ::close(saved_);
            saved_ = -1;
        }
    }
    int fd_ = -1, saved_ = -1;
    std::string name_;
};

std::vector<CVector> Copy(const std::optional<MeasurementSet>& set) {
    return set ? set->vectors : std::vector<CVector>();
}

CVector* Data(std::vector<CVector>& v) {
    return v.empty() ? nullptr : v.data();
}

Run Execute(const Inputs& in, const ProcedureOptions& o) {
    Run run;
    run.model = in.model;
    run.main = in.main.vectors;
    run.outside = Copy(in.outside);
    run.outside2 = Copy(in.outside2);
    run.flying = Copy(in.flying);
    run.out.m_n1_x0y0 = in.x0y0.n1;
    run.out.m_n2_x0y0 = in.x0y0.n2;
    run.out.m_n1_d2 = in.d2.n1;
    run.out.m_n2_d2 = in.d2.n2;
    run.out.m_n1_extra = in.extra.n1;
    run.out.m_n2_extra = in.extra.n2;
    run.out.m_nInlineView = compensation::kInlineViewNone;
    run.out.m_nConfidence = kNotValidated;

    const int nMain = static_cast<int>(run.main.size());
    CapturedOutput captured(o.json);
    CCompensation engine;
    switch (o.procedure) {
        case Procedure::kQuick:
            run.code = engine.QuickCompInsertion(run.main.data(), nMain, &run.model, &run.out);
            break;
        case Procedure::kFull:
            run.code = engine.FullComp(run.main.data(), nMain, Data(run.outside),
                                       static_cast<int>(run.outside.size()), &run.model, &run.out);
            break;
        case Procedure::kFullFull:
            run.code = engine.FullFullComp(
                run.main.data(), nMain, Data(run.outside), static_cast<int>(run.outside.size()),
                Data(run.outside2), static_cast<int>(run.outside2.size()), Data(run.flying),
                o.flyingTargets, static_cast<int>(run.flying.size()), &run.model, &run.out, o.mode);
            break;
    }
    std::cout.flush();
    run.printed = captured.Text();
    run.validated = run.out.m_nConfidence != kNotValidated;
    return run;
}

std::string Describe(const MeasurementSet& set, const char* what) {
    return std::to_string(set.vectors.size()) + " " + what + " (" + set.path + ")";
}

nlohmann::ordered_json ResultJson(const ProcedureOptions& o, const Inputs& in, const Run& run,
                                  const std::vector<QualityChange>& changes,
                                  const std::string& summary) {
    using Json = nlohmann::ordered_json;
    const int sectors = in.layout.nViews;
    Json explanations = Json::array();
    for (const Explanation& e : ExplainResult(run.code, o.procedure, o.mode, sectors)) {
        explanations.push_back({{"stage", e.stage}, {"parts", e.parts}});
    }
    Json inputs = {{"measurements", in.main.path},
                   {"views", in.layout.nViews},
                   {"targets_per_view", in.layout.nTargets},
                   {"model", in.modelSource}};
    if (in.outside) {
        inputs["outside"] = in.outside->path;
    }
    if (in.outside2) {
        inputs["outside2"] = in.outside2->path;
    }
    if (in.flying) {
        inputs["flying"] = in.flying->path;
        inputs["flying_views"] = in.nViewsFly;
        inputs["flying_targets_per_view"] = o.flyingTargets;
    }
    Json result = {
        {"procedure", ProcedureName(o.procedure)},
        {"mode", o.procedure == Procedure::kFullFull ? Json(o.mode) : Json(nullptr)},
        {"result", run.code},
        {"meaning", DescribeResult(run.code, o.procedure, o.mode, sectors)},
        {"explanations", explanations},
        {"settled", run.code == 0},
        {"validated", run.validated},
        {"confidence", run.validated ? Json(run.out.m_nConfidence) : Json(nullptr)},
        {"inputs", inputs},
        {"comp_out", CompOutToJson(run.out)},
        {"model", ModelToJson(run.model)},
        {"rejected", ChangesToJson(changes)},
        {"summary", summary},
    };
    if (!run.validated) {
        result["comp_out"]["m_nConfidence"] = nullptr;
    }
    return result;
}

void PrintText(std::ostream& out, const ProcedureOptions& o, const Inputs& in, const Run& run,
               const std::vector<QualityChange>& changes, const std::string& ownSummary) {
    if (!ownSummary.empty()) {
        out << ownSummary;
    }
    if (!run.validated) {
        out << "The final validation did not run: no CONFIDENCE.\n";
    }
    out << "\nresult " << run.code << ": "
        << DescribeResult(run.code, o.procedure, o.mode, in.layout.nViews) << '\n';
    out << changes.size() << " measurement(s) changed quality";
    out << (changes.empty() ? ".\n" : ":\n");
    for (const QualityChange& c : changes) {
        out << "  " << c.set << " line " << c.line << " (index " << c.index << "), type " << c.type
            << ": quality " << c.oldQuality << " -> " << c.newQuality << " ("
            << MarkMeaning(c.oldQuality, c.newQuality) << ")\n";
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
    const ProcedureOptions o = Merge(given, scenario);
    if (o.inPlace && o.model.empty()) {
        throw UsageError("--in-place replaces the input model, but no --model was given");
    }
    if (o.inPlace && !o.modelOut.empty()) {
        throw UsageError("give either --in-place or --output, not both");
    }
    const Inputs in = LoadInputs(o, scenario, source);

    OutputFiles files;
    for (const std::string& input : {o.scenario, o.measurements, o.outside, o.outside2, o.flying}) {
        files.AddInput(input);
    }
    files.AddInput(o.model);
    const std::string modelOut = o.inPlace ? o.model : o.modelOut;
    if (!modelOut.empty()) {
        files.Plan(modelOut, o.inPlace ? "--in-place" : "--output", o.force || o.inPlace);
    }
    if (!o.resultOut.empty()) {
        files.Plan(o.resultOut, "--result", o.force);
    }
    if (!o.writeBack.empty()) {
        files.Plan(o.writeBack, "--write-back", o.force);
    }
    if (o.noTrace) {
        // Read by the engine's constructor: not even its start banner is written.
        platform::SetEnv(compensation::kTraceSwitchVariable, "off");
    } else {
        SetTraceDirectory(o.traceDir);
    }

    if (!o.json) {
        out << "compensate " << ProcedureName(o.procedure);
        if (o.procedure == Procedure::kFullFull) {
            out << " mode " << o.mode;
        }
        out << ": " << in.layout.nViews << " views of " << in.layout.nTargets << " targets, "
            << Describe(in.main, "measurements");
        if (in.outside) {
            out << ", " << Describe(*in.outside, "outside");
        }
        if (in.outside2) {
            out << ", " << Describe(*in.outside2, "outside (second set)");
        }
        if (in.flying) {
            out << ", " << in.nViewsFly << " flying views (" << in.flying->path << ")";
        }
        out << "\nstarting model: " << in.modelSource << "\n\n" << std::flush;
    }
    const Run run = Execute(in, o);
    if (run.code == kNoLiveOutsidePair) {
        throw UsageError("the library refused the input: " +
                         NoLiveOutsidePairReason(o.procedure, o.mode));
    }
    if (run.code == -1) {
        throw UsageError(
            std::string("the library refused the input (-1): the arrays, counts or "
                        "target positions do not fit together; nothing was written"));
    }

    std::vector<QualityChange> changes = QualityChanges("measurements", in.main, run.main);
    const auto addChanges = [&](const char* name, const std::optional<MeasurementSet>& set,
                                const std::vector<CVector>& after) {
        if (set) {
            const std::vector<QualityChange> more = QualityChanges(name, *set, after);
            changes.insert(changes.end(), more.begin(), more.end());
        }
    };
    addChanges("outside", in.outside, run.outside);
    addChanges("outside2", in.outside2, run.outside2);
    addChanges("flying", in.flying, run.flying);

    // The quick procedure prints its own summary; the full ones are given theirs from the record.
    const std::string ownSummary = o.procedure != Procedure::kQuick && run.validated
                                       ? FormatSummary(run.out, in.validationMode)
                                       : std::string();
    const std::string summary = o.procedure == Procedure::kQuick ? run.printed : ownSummary;
    const nlohmann::ordered_json result = ResultJson(o, in, run, changes, summary);

    const bool writeModel = run.code == 0 || o.keepUnsettled;
    if (!o.resultOut.empty()) {
        files.Stage(o.resultOut, result.dump(2) + "\n");
    }
    if (writeModel && !modelOut.empty()) {
        files.Stage(modelOut, ModelToJson(run.model).dump(2) + "\n");
    }
    if (writeModel && !o.writeBack.empty()) {
        files.Stage(o.writeBack, FormatWithQualities(in.main, run.main));
    }
    files.Commit();

    if (o.json) {
        out << result.dump(2) << '\n';
    } else {
        PrintText(out, o, in, run, changes, ownSummary);
        if (!o.resultOut.empty()) {
            out << "result written to " << o.resultOut << '\n';
        }
        if (!modelOut.empty() || !o.writeBack.empty()) {
            if (writeModel) {
                if (!modelOut.empty()) {
                    out << "model written to " << modelOut << '\n';
                }
                if (!o.writeBack.empty()) {
                    out << "measurements with their marks written to " << o.writeBack << '\n';
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
