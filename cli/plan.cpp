#include "plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "captured_output.h"
#include "compensation/run_report.h"
#include "compensation/selection_rules.h"
#include "compensation/tracing.h"
#include "input_error.h"
#include "layout_file.h"
#include "model/sight_angle.h"
#include "model_json.h"
#include "output_files.h"
#include "platform/environment.h"
#include "report_output.h"
#include "result_codes.h"
#include "run_procedure.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

// A realistic model lies some 1e-3 degrees from the all-zero start and the fits stop at changes
// of 7.5e-6 degrees: about 2.1 decades. A loop whose error shrinks by r per pass needs
// 2.1 / -log10(r) passes for them; above 0.82 that is more than half the final loop's budget of
// about 50 evaluations, which leaves real data, whose rejections restart the loop, no margin.
constexpr double kSlowLoopRate = 0.82;

// The run report's linearisation knows a physical reading by its values: readings with a
// thousandth of the expected noise keep apart any two that a noise-free tracker would read alike,
// and move the fixed point by a thousandth of its uncertainty.
constexpr double kTieBreakShare = 1e-3;

struct Warning {
    std::string cause;
    std::string change;
};

struct Planned {
    PlanLayout plan;
    sim::Scenario scenario;
    std::vector<RuleCheck> rules;
    int result = 0;
    RunReport report;
    std::vector<Warning> warnings;
};

Procedure CliProcedure(const std::string& name) {
    return name == "full"       ? Procedure::kFull
           : name == "fullfull" ? Procedure::kFullFull
                                : Procedure::kQuick;
}

compensation::Procedure LibraryProcedure(const std::string& name) {
    return name == "full"       ? compensation::Procedure::kFull
           : name == "fullfull" ? compensation::Procedure::kFullFull
                                : compensation::Procedure::kQuick;
}

sim::Kind SimKind(const std::string& name) {
    return name == "full"       ? sim::Kind::Full
           : name == "fullfull" ? sim::Kind::FullFull
                                : sim::Kind::Quick;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// The pair set's name in the layout ("d2" of "d2 pairs").
std::string PairKey(const std::string& rule) {
    return rule.substr(0, rule.find(' '));
}

Warning RuleWarning(const RuleCheck& rule, const Planned& planned) {
    const int views = planned.scenario.nViews;
    const std::string& procedure = planned.plan.procedure;
    const int mode = planned.plan.mode;
    if (rule.name == "views") {
        return {"the layout has no view with a target", "give headings_deg and targets"};
    }
    if (rule.name == "interball pairs") {
        return {"only " + std::to_string(rule.found) +
                    " target pairs lie 25 to 115 degrees apart in azimuth (at least 25 needed)",
                "add targets spread round the station"};
    }
    if (rule.name == "El_ElC pairs") {
        return {
            "no pair of the d2 and extra targets lies far enough apart in range and elevation "
            "for El_ElC",
            "move one of the four targets nearer or farther, or higher or lower"};
    }
    if (rule.name == "sector coverage" || rule.name == "flying views") {
        return {rule.name + ": " + DescribeResult(rule.code, CliProcedure(procedure), mode, views),
                rule.name == "sector coverage"
                    ? "spread the view headings evenly round the circle"
                    : "place the flying views so that their elevation bands overlap from low to "
                      "high, with one view in line with the farthest pair"};
    }
    if (rule.name == "outside pairs in line") {
        const sim::Scenario& s = planned.scenario;
        CVector near = s.outside1[0];
        CVector far = s.outside1[1];
        near.Sphr2Cart();
        far.Sphr2Cart();
        const double apart = std::hypot(near.X - far.X, near.Y - far.Y, near.Z - far.Z);
        return {"the outside station sees the d2 targets " +
                    Number(std::fabs(detail::SightAngle(near, far)) * kRadToDeg) +
                    " degrees apart (" + Number(apart) +
                    " m apart): D2 is told best from a pair seen within 20 degrees of one line "
                    "of sight and more than 4 m apart",
                "place the outside station on the line through the two d2 targets, behind the "
                "nearer one, or choose d2 targets farther apart"};
    }
    // A pair set: the classification wants more pairs than the least count, one per view.
    const std::string pairs = PairKey(rule.name);
    const std::string found = std::to_string(rule.found) + " usable " + pairs + " pairs, " +
                              std::to_string(rule.needed) + " needed";
    if (rule.needed > views) {
        return {found + ": with " + std::to_string(views) +
                    " views the least pair count is the number of views itself, so no layout of " +
                    std::to_string(views) + " views can pass",
                "measure at least 9 views"};
    }
    return {found + ": the pair is not usable in enough views (both targets seen in both faces)",
            "choose a " + pairs + " pair that every view sees in both faces"};
}

// The changes that part a pair of fits known to feed each other.
std::string LoopChange(const std::vector<std::string>& fits) {
    const auto has = [&fits](const char* name) {
        return std::find(fits.begin(), fits.end(), name) != fits.end();
    };
    if (has("Calculate_d2") && has("Calculate_bEl")) {
        return "give El_ElC a qualifying pair other than the d2 pair (two of the d2 and extra "
               "targets more than 3 m apart in range from the outside placement and 22.5 degrees "
               "apart in elevation), or choose a d2 pair that does not qualify";
    }
    if (has("CalculateFBBIB") && has("Calculate_cm")) {
        return "make the FBB board at least twice as tall as it is wide";
    }
    if (has("CalculateFCKIB")) {
        return "put the flying targets on one straight line, so that the in-line view sees "
               "them all along one line of sight";
    }
    return "change the geometry the two fits share, so that one no longer reads what the other "
           "estimates";
}

// Why a fit's own solution reaches its next call.
std::string OwnFeedback(const std::string& fit) {
    if (fit == "CalculateFCKIB") {
        return ": its reference distances come from the in-line flying view, calibrated with the "
               "elevation polynomial it fits, and the flying targets off the line of sight there "
               "see that polynomial in their distances";
    }
    return "";
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

std::string ElementChange(const std::vector<std::string>& names) {
    // The elevation harmonics and the face-dependent elevation terms differ only through how
    // the elevation of a sight enters them.
    for (const char* elevationTerm : {"A1", "A3", "A2", "El_ElS"}) {
        if (std::find(names.begin(), names.end(), elevationTerm) != names.end()) {
            return "spread the targets in elevation, from below -30 to above +45 degrees";
        }
    }
    return "add views or targets that the fits of " + Join(names) + " read";
}

void Judge(Planned& planned) {
    for (const RuleCheck& rule : planned.rules) {
        if (!rule.passed) {
            planned.warnings.push_back(RuleWarning(rule, planned));
        }
    }
    const RunReport& report = planned.report;
    if (report.stage != compensation::Stage::kSettled) {
        // A loop that used its budget: the fits whose last call had not settled are those that
        // keep moving each other.
        std::vector<std::string> moving;
        for (const FitReport& fit : report.fits) {
            if (fit.last_result != 0) {
                moving.push_back(fit.name);
            }
        }
        const bool loop = report.stage == compensation::Stage::kFirstLoopUnsettled ||
                          report.stage == compensation::Stage::kFinalLoopUnsettled ||
                          report.stage == compensation::Stage::kJointLoopUnsettled;
        std::string cause = "the simulated procedure returns " + std::to_string(planned.result) +
                            ": " + std::string(StageWords(report.stage));
        if (loop && !moving.empty()) {
            cause += "; still moving at the end: " + Join(moving);
        }
        for (const LoopReport& run : report.loops) {
            if (loop && run.last_sum != 0 && run.rate >= 0.0) {
                cause += "; the " + run.name + "'s change was multiplied by " + Number(run.rate) +
                         " per pass at its end";
            }
        }
        planned.warnings.push_back({cause, loop && moving.size() >= 2
                                               ? LoopChange(moving)
                                               : "mend the causes above; compensate explain " +
                                                     std::to_string(planned.result) +
                                                     " lists what the code can mean"});
    }
    // Elements that share a verdict and its reason make one warning.
    std::vector<std::pair<const ElementReport*, std::vector<std::string>>> groups;
    for (const ElementReport& e : report.elements) {
        if (e.verdict != Verdict::kUndetermined && e.verdict != Verdict::kWeaklyDetermined) {
            continue;
        }
        const auto same = std::find_if(groups.begin(), groups.end(), [&e](const auto& group) {
            return group.first->verdict == e.verdict && group.first->reason == e.reason;
        });
        if (same == groups.end()) {
            groups.push_back({&e, {e.name}});
        } else {
            same->second.push_back(e.name);
        }
    }
    for (const auto& [first, names] : groups) {
        planned.warnings.push_back({Join(names) + (names.size() > 1 ? " are " : " is ") +
                                        std::string(VerdictWords(first->verdict)) + ": " +
                                        first->reason,
                                    ElementChange(names)});
    }
    const LoopContraction& loop = report.contraction;
    if (loop.rate >= kSlowLoopRate && loop.feeding.size() == 2) {
        planned.warnings.push_back(
            {"the final joint loop " +
                 std::string(loop.rate >= 1.0 ? "does not contract" : "contracts slowly") +
                 " (its error is multiplied by " + Number(loop.rate) +
                 " per pass): " + loop.feeding[0] + " and " + loop.feeding[1] +
                 " feed each other (" + Number(loop.feeding_rate) + " per pass on their own)",
             LoopChange(loop.feeding)});
    }
    if (loop.slowest_fit_rate >= kSlowLoopRate) {
        planned.warnings.push_back(
            {loop.slowest_fit + " settles slowly on its own: each call leaves " +
                 Number(loop.slowest_fit_rate) + " of its error" + OwnFeedback(loop.slowest_fit),
             LoopChange({loop.slowest_fit})});
    }
}

Planned Simulate(const PlanOptions& options) {
    Planned planned;
    planned.plan = ReadLayoutFile(options.layout);
    const PlanLayout& plan = planned.plan;
    const TMapper truth = options.model.empty()
                              ? sim::RealisticTruth(SimKind(plan.procedure), plan.mode, plan.layout)
                              : ReadModel(options.model);
    sim::Noise tieBreak;
    tieBreak.range = plan.noiseRange * kTieBreakShare;
    tieBreak.angle = plan.noiseAngle * kTieBreakShare;
    try {
        planned.scenario = sim::Simulate(plan.layout, truth, tieBreak);
        // The outside averaging drops the views that spread most while the targets' spread
        // stays above its limit, which the expected noise reaches at the outside station's
        // ranges: the outside sets carry that noise, so that as many views take part as will.
        sim::Noise expected;
        expected.range = plan.noiseRange;
        expected.angle = plan.noiseAngle;
        const sim::Scenario noisy = sim::Simulate(plan.layout, truth, expected);
        planned.scenario.outside1 = noisy.outside1;
        planned.scenario.outside2 = noisy.outside2;
    } catch (const std::exception& error) {
        throw UsageError(options.layout +
                         ": the simulated tracker cannot measure this layout: " + error.what());
    }
    sim::Scenario& s = planned.scenario;
    s.nTargetsFly = plan.procedure == "fullfull" && plan.mode != 2 ? s.nTargetsFly : 0;
    if (s.nTargetsFly == 0) {
        s.flying.clear();
    }

    // Planning writes no trace: the engines start with it off.
    platform::SetEnv(kTraceSwitchVariable, "off");
    CCompensation engine;
    SelectionInput in;
    in.procedure = LibraryProcedure(plan.procedure);
    in.mode = plan.mode;
    in.main = s.main;
    in.outside1 = s.outside1;
    in.outside2 = s.outside2;
    in.flying = s.flying;
    in.flyingTargets = s.nTargetsFly;
    in.pairs = s.compOut;
    planned.rules = CheckSelectionRules(engine, in);

    TMapper model = s.start;
    TCompOut out = s.compOut;
    {
        CapturedOutput summary(true);  // the quick procedure's own summary is not the plan's
        if (plan.procedure == "quick") {
            planned.result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
        } else if (plan.procedure == "full") {
            planned.result = engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(),
                                             s.nCountOut1(), &model, &out);
        } else {
            planned.result = engine.FullFullComp(
                s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(), s.outside2.data(),
                s.nCountOut2(), s.flying.empty() ? nullptr : s.flying.data(), s.nTargetsFly,
                s.nCountFly(), &model, &out, plan.mode);
        }
        summary.Text();
    }
    NoiseEstimate noise;
    noise.range = plan.noiseRange;
    noise.azimuth = plan.noiseAngle;
    noise.elevation = plan.noiseAngle;
    compensation::ReportOptions reportOptions;
    reportOptions.assumedNoise = noise;
    reportOptions.threads = 0;
    reportOptions.loopRates = true;
    planned.report = LastRunReport(engine, reportOptions);
    Judge(planned);
    return planned;
}

Json PlanJson(const PlanOptions& options, const Planned& planned) {
    Json json = {
        {"layout", options.layout},
        {"procedure", planned.plan.procedure},
        {"mode", planned.plan.mode},
        {"truth", options.model.empty() ? "realistic" : options.model},
        {"views", planned.scenario.nViews},
        {"targets", planned.scenario.nTargets},
        {"noise", {{"range_m", planned.plan.noiseRange}, {"angle_rad", planned.plan.noiseAngle}}}};
    Json rules = Json::array();
    for (const RuleCheck& rule : planned.rules) {
        Json entry = {{"rule", rule.name}, {"passed", rule.passed}, {"code", rule.code}};
        if (rule.found >= 0) {
            entry["found"] = rule.found;
            entry["needed"] = rule.needed;
        }
        rules.push_back(entry);
    }
    json["rules"] = rules;
    json["result"] = planned.result;
    Json report = Json::object();
    AddReportJson(report, planned.report);
    json["report"] = report;
    const LoopContraction& loop = planned.report.contraction;
    json["contraction"] = loop.rate >= 0.0 ? Json{{"rate", loop.rate},
                                                  {"fits", loop.fits},
                                                  {"feeding", loop.feeding},
                                                  {"feeding_rate", loop.feeding_rate},
                                                  {"slowest_fit", loop.slowest_fit},
                                                  {"slowest_fit_rate", loop.slowest_fit_rate}}
                                           : Json(nullptr);
    Json warnings = Json::array();
    for (const Warning& w : planned.warnings) {
        warnings.push_back({{"cause", w.cause}, {"change", w.change}});
    }
    json["warnings"] = warnings;
    json["clean"] = planned.warnings.empty();
    return json;
}

void PrintPlan(std::ostream& out, const PlanOptions& options, const Planned& planned) {
    const PlanLayout& plan = planned.plan;
    const sim::Scenario& s = planned.scenario;
    out << "plan of compensate " << plan.procedure;
    if (plan.procedure == "fullfull") {
        out << " mode " << plan.mode;
    }
    out << ": " << s.nViews << " views of " << s.nTargets << " targets";
    if (s.nTargetsFly > 0) {
        out << ", " << s.nCountFly() / (2 * s.nTargetsFly) << " flying views of " << s.nTargetsFly
            << " targets";
    }
    out << "\ntrue model: "
        << (options.model.empty() ? "the simulator's realistic truth" : options.model)
        << "; reading noise: range " << Number(plan.noiseRange) << " m, angles "
        << Number(plan.noiseAngle) << " rad\n\nselection rules:\n";
    for (const RuleCheck& rule : planned.rules) {
        out << "  " << (rule.passed ? "pass" : "FAIL") << "  " << rule.name;
        if (rule.found >= 0) {
            out << ": " << rule.found << " (at least " << rule.needed << ")";
        }
        out << '\n';
    }
    out << "\nexpected result: " << planned.result << '\n';
    PrintReport(out, planned.report);
    const LoopContraction& loop = planned.report.contraction;
    if (loop.rate >= 0.0) {
        out << "\nfinal joint loop: error times " << Number(loop.rate) << " per pass";
        if (loop.feeding.size() == 2) {
            out << "; most coupled fits: " << loop.feeding[0] << " and " << loop.feeding[1] << " ("
                << Number(loop.feeding_rate) << ")";
        }
        if (!loop.slowest_fit.empty()) {
            out << "; slowest fit on its own: " << loop.slowest_fit << " ("
                << Number(loop.slowest_fit_rate) << " per call)";
        }
        out << '\n';
    }
    bool measured = false;
    for (const LoopReport& run : planned.report.loops) {
        if (run.rate >= 0.0) {
            out << (measured ? "" : "\njoint loops as the simulated run made them:\n") << "  "
                << run.name << ": " << run.evaluations << " passes (budget " << run.budget
                << "), change times " << Number(run.rate) << " per pass at the end\n";
            measured = true;
        }
    }
    if (planned.warnings.empty()) {
        out << "\nplan clean\n";
        return;
    }
    out << "\nwarnings:\n";
    for (const Warning& w : planned.warnings) {
        out << "  - " << w.cause << "\n    change: " << w.change << '\n';
    }
}

}  // namespace

int RunPlan(const PlanOptions& options, std::ostream& out) {
    OutputFiles files;
    files.AddInput(options.layout);
    if (!options.model.empty()) {
        files.AddInput(options.model);
    }
    const bool jsonOnly = options.jsonOut == "-";
    if (!options.jsonOut.empty() && !jsonOnly) {
        files.Plan(options.jsonOut, "--json", false);
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!options.force && fs::exists(options.jsonOut, ec)) {
            throw UsageError(options.jsonOut + " exists (add --force to replace it)");
        }
    }
    const Planned planned = Simulate(options);
    if (!options.jsonOut.empty()) {
        const std::string json = PlanJson(options, planned).dump(2) + "\n";
        if (jsonOnly) {
            out << json;
        } else {
            files.Stage(options.jsonOut, json);
            files.Commit();
        }
    }
    if (!jsonOnly) {
        PrintPlan(out, options, planned);
        if (!options.jsonOut.empty()) {
            out << "plan written to " << options.jsonOut << '\n';
        }
    }
    return planned.warnings.empty() ? kExitSettled : kExitNotSettled;
}

}  // namespace compensation::cli
