#include "compensation/run_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "compensation/tracing.h"
#include "model/mapper_elements.h"
#include "report/fixed_point.h"
#include "report/run_record.h"

namespace compensation {

namespace {

// An element known to no better than this share of its own size is weakly determined: its
// 1-sigma interval then spans more than a third of the value, so even its sign is in doubt at
// three sigma.
constexpr double kWeakShare = 1.0 / 3.0;

struct StageText {
    Stage stage;
    const char* name;
    const char* words;
};

constexpr StageText kStageTexts[] = {
    {Stage::kNotRun, "not_run", "no procedure has run on this engine"},
    {Stage::kInputRefused, "input_refused",
     "the arrays, counts or target positions do not fit together; nothing was written"},
    {Stage::kOutOfMemory, "out_of_memory", "the working arrays could not be allocated"},
    {Stage::kCoverageGap, "coverage_gap",
     "an azimuth sector has no usable reference view; the procedure stopped before its joint "
     "loops"},
    {Stage::kFlyingViewsRefused, "flying_views_refused",
     "the flying views were refused (see the flying status); no fit ran"},
    {Stage::kTooFewX0Y0Pairs, "too_few_x0y0_pairs",
     "too few usable x0y0 pairs; the two-face fits ran, no other fit did"},
    {Stage::kTooFewInterballPairs, "too_few_interball_pairs",
     "fewer than 25 usable interball pairs in the first view; the two-face fits ran, no other "
     "fit did"},
    {Stage::kTooFewD2Pairs, "too_few_d2_pairs",
     "too few usable d2 pairs; the two-face fits ran, no other fit did"},
    {Stage::kTooFewExtraPairs, "too_few_extra_pairs",
     "too few usable extra pairs; the two-face fits ran, no other fit did"},
    {Stage::kElElCGeometry, "elelc_geometry",
     "no pair of the four El_ElC targets lies far enough apart in range and elevation, so "
     "El_ElC cannot be estimated (its fit reports 27 for this reason, not for lack of "
     "iterations)"},
    {Stage::kFirstLoopUnsettled, "first_loop_unsettled",
     "the first joint loop of the single-term and interball fits ended unsettled; no outlier "
     "stage, write-back or validation ran"},
    {Stage::kFinalLoopUnsettled, "final_loop_unsettled",
     "the final joint loop used its whole budget without settling; no write-back, no "
     "validation"},
    {Stage::kJointLoopUnsettled, "joint_loop_unsettled",
     "the joint loop used its whole budget without settling; the rejections were written back "
     "and the model validated all the same"},
    {Stage::kSettled, "settled",
     "every loop settled; the rejections were written back and the model validated"},
};

const StageText& TextOf(Stage stage) {
    for (const StageText& text : kStageTexts) {
        if (text.stage == stage) {
            return text;
        }
    }
    return kStageTexts[0];
}

ElementReport MakeElement(double TMapper::*member, const std::string& fit,
                          const detail::RunRecord& record) {
    ElementReport element;
    element.name = MapperElementName(member);
    element.fit = fit;
    element.start = record.entry.*member;
    element.fitted = record.final.*member;
    return element;
}

void Judge(ElementReport& element) {
    if (element.verdict != Verdict::kDetermined || element.uncertainty < 0.0) {
        return;
    }
    if (element.uncertainty > kWeakShare * std::fabs(element.fitted)) {
        element.verdict = Verdict::kWeaklyDetermined;
        element.reason = "its standard uncertainty exceeds a third of its value";
    }
}

// With flying views the FBB and the main two-face fits both reach the face-dependent part of
// the elevation correction, 2 A2 + El_ElS sin q + (B_plus El + A_plus El^2 + C_plus El^3), and
// the procedure, not the data, decides how it is split among the five elements. Each is
// reported as not separately determined, and the sum at El = 0 (q = pi/4), which the data do
// fix, with its uncertainty.
constexpr const char* kFaceDependentSplit[] = {"A2", "El_ElS", "B_plus", "A_plus", "C_plus"};
constexpr const char* kFaceDependentSum = "2*A2+El_ElS*sin(45deg)";

// Marks the elements of the face-dependent split; false when the procedure has none.
bool MarkFaceDependentSplit(const detail::RunRecord& record, RunReport& report) {
    if (record.procedure != Procedure::kFullFull || record.mode == 2) {
        return false;
    }
    const std::string reason =
        "only the face-dependent elevation sum 2 A2 + El_ElS sin q + B_plus El + A_plus El^2 + "
        "C_plus El^3 is fixed by the data; the procedure chooses its split (see " +
        std::string(kFaceDependentSum) + ")";
    for (ElementReport& element : report.elements) {
        for (const char* name : kFaceDependentSplit) {
            if (element.name == name) {
                element.verdict = Verdict::kNotSeparatelyDetermined;
                element.reason = reason;
            }
        }
    }
    return true;
}

void AddFaceDependentSum(const detail::RunRecord& record, const detail::FixedPointCovariance& cov,
                         RunReport& report) {
    if (!MarkFaceDependentSplit(record, report)) {
        return;
    }
    const std::size_t p = cov.elements.size();
    std::vector<double> weights(p, 0.0);
    const double sinQuarter = std::sin(0.25 * 3.14159265358979323846);
    bool found = false;
    ElementReport sum;
    sum.name = kFaceDependentSum;
    sum.fit = "the two-face fits together";
    for (std::size_t i = 0; i < p; ++i) {
        if (cov.elements[i] == &TMapper::A2) {
            weights[i] = 2.0;
            found = true;
        } else if (cov.elements[i] == &TMapper::El_ElS) {
            weights[i] = sinQuarter;
        }
        sum.start += weights[i] * (record.entry.*cov.elements[i]);
        sum.fitted += weights[i] * (record.final.*cov.elements[i]);
    }
    if (!found) {
        return;
    }
    double variance = 0.0;
    for (std::size_t i = 0; i < p; ++i) {
        for (std::size_t k = 0; k < p; ++k) {
            variance += weights[i] * cov.covariance[i * p + k] * weights[k];
        }
    }
    sum.uncertainty = std::sqrt(std::fmax(variance, 0.0));
    Judge(sum);
    report.elements.push_back(sum);
}

// The fitted elements of a settled run, with their uncertainties and correlations when asked.
void AddUncertainty(const CCompensation& engine, const detail::RunRecord& record,
                    const ReportOptions& options, RunReport& report) {
    const bool uncertainty = options.uncertainty;
    const unsigned threads = options.threads;
    if (!record.snapshot) {
        return;
    }
    if (uncertainty && !record.noise.available) {
        report.uncertainty_note = "no two-face spread to estimate the reading noise from";
        return;
    }
    // The fits run on a copy of the engine with its trace off: the host's trace holds only the
    // host's own calls.
    // The linearisation perturbs readings in its own copy of the sets: engines that share the
    // record may report at the same time.
    CCompensation scratch(engine);
    SetTracing(scratch, false);
    detail::Snapshot work = *record.snapshot;
    // An undetermined element keeps whatever value it enters a fit with: it is no unknown of
    // the fixed point (its row of I - dphi/dtheta vanishes), and is reported on its own.
    std::vector<ElementReport> undetermined;
    for (detail::SnapshotFitSpec& fit : work.fits) {
        for (const auto& note : record.undetermined) {
            const std::string& name = note.first;
            const auto held = std::find_if(
                fit.elements.begin(), fit.elements.end(),
                [&name](double TMapper::*member) { return name == MapperElementName(member); });
            if (held != fit.elements.end()) {
                ElementReport element = MakeElement(*held, fit.name, record);
                element.verdict = Verdict::kUndetermined;
                element.reason = note.second;
                undetermined.push_back(element);
                fit.elements.erase(held);
            }
        }
    }
    const detail::FixedPointCovariance cov = detail::LinearisedCovariance(
        scratch, work, record.final, record.noise, uncertainty,
        options.derivatives == Derivatives::kByDifferences,
        threads > 0 ? threads : std::max(1U, std::thread::hardware_concurrency()));
    if (!uncertainty) {
        for (std::size_t i = 0; i < cov.elements.size(); ++i) {
            report.elements.push_back(MakeElement(cov.elements[i], cov.fits[i], record));
        }
        MarkFaceDependentSplit(record, report);
        report.elements.insert(report.elements.end(), undetermined.begin(), undetermined.end());
        report.uncertainty_note = "not asked for";
        return;
    }
    if (!cov.solved) {
        report.uncertainty_note = "the fits' joint fixed point is singular in its elements";
        return;
    }
    const std::size_t p = cov.elements.size();
    for (std::size_t i = 0; i < p; ++i) {
        ElementReport element = MakeElement(cov.elements[i], cov.fits[i], record);
        element.uncertainty = std::sqrt(std::fmax(cov.covariance[i * p + i], 0.0));
        Judge(element);
        report.elements.push_back(element);
        report.correlated.push_back(element.name);
    }
    std::vector<std::string> fitNames;
    for (const detail::SnapshotFitSpec& fit : work.fits) {
        fitNames.push_back(fit.name);
    }
    if (options.loopRates) {
        report.contraction = detail::JointLoopContraction(cov, fitNames);
    }
    AddFaceDependentSum(record, cov, report);
    report.elements.insert(report.elements.end(), undetermined.begin(), undetermined.end());
    // Each element's standard deviation once; a negative variance (rounding of a vanishing
    // one) correlates with nothing.
    std::vector<double> deviation(p);
    for (std::size_t i = 0; i < p; ++i) {
        deviation[i] = std::sqrt(cov.covariance[i * p + i]);
    }
    report.correlations.assign(p * p, 0.0);
    for (std::size_t i = 0; i < p; ++i) {
        for (std::size_t k = 0; k < p; ++k) {
            const double denominator = deviation[i] * deviation[k];
            report.correlations[i * p + k] = i == k ? 1.0
                                             : denominator > 0.0
                                                 ? cov.covariance[i * p + k] / denominator
                                                 : 0.0;
        }
    }
}

}  // namespace

std::string_view StageName(Stage stage) {
    return TextOf(stage).name;
}

std::string_view StageWords(Stage stage) {
    return TextOf(stage).words;
}

std::string_view VerdictWords(Verdict verdict) {
    switch (verdict) {
        case Verdict::kDetermined:
            return "determined";
        case Verdict::kWeaklyDetermined:
            return "weakly determined";
        case Verdict::kUndetermined:
            return "undetermined";
        case Verdict::kNotSeparatelyDetermined:
            return "not separately determined";
    }
    return "";
}

RunReport LastRunReport(const CCompensation& engine, const ReportOptions& options) {
    RunReport report;
    report.stage_words = StageWords(Stage::kNotRun);
    const std::shared_ptr<const detail::RunRecord> record = detail::LastRunRecord(engine);
    if (!record) {
        return report;
    }
    report.procedure = record->procedure;
    report.mode = record->mode;
    report.result = record->result;
    report.stage = record->stage;
    report.stage_words = StageWords(record->stage);
    report.flying_status = record->flyingStatus;
    report.coverage_code = record->coverageCode;
    for (const detail::FitTally& fit : record->fits) {
        report.fits.push_back(fit.report);
    }
    report.loops = record->loops;
    report.noise = record->noise;
    if (!options.assumedNoise) {
        AddUncertainty(engine, *record, options, report);
        return report;
    }
    detail::RunRecord assumed = *record;
    assumed.noise = *options.assumedNoise;
    assumed.noise.available = true;
    AddUncertainty(engine, assumed, options, report);
    return report;
}

}  // namespace compensation
