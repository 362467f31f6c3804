// How far to trust a compensation: the run report of the last procedure an engine ran.
//
// After QuickCompInsertion, FullComp or FullFullComp the host asks the engine for a report:
//
//     CCompensation engine;
//     const int result = engine.QuickCompInsertion(vectors, count, &model, &out);
//     const compensation::RunReport report = compensation::LastRunReport(engine);
//     // report.stage says where the procedure stopped and why (one meaning per result),
//     // report.elements gives every fitted element with its standard uncertainty and verdict.
//
// The report changes nothing the procedure wrote: codes, model, result record, trace and summary
// are exactly those of the run.
//
// Uncertainty. A procedure's estimate is the joint fixed point of its fits: every fit k,
// called as a fitting call, re-estimates its own elements theta_k from its readings r with
// every other element held at its current value,
//     theta_k = phi_k(theta, r),
// and the procedure stops when no fit moves any more. Stacked over the fits, the converged
// model solves G(theta, r) = theta - phi(theta, r) = 0. By the implicit function theorem a small
// change dr of the readings moves the fixed point by
//     dtheta = -(dG/dtheta)^-1 (dG/dr) dr = (I - dphi/dtheta)^-1 (dphi/dr) dr.
// With independent reading noise of covariance S (sigma_R^2, sigma_Az^2, sigma_El^2 for each
// reading's range, azimuth and elevation) the covariance of the estimate is
//     C = (I - dphi/dtheta)^-1 (dphi/dr) S (dphi/dr)^T (I - dphi/dtheta)^-T.
// dphi/dtheta carries what one fit's elements do to another fit's observations (a fit's own
// normal equations hold those fixed and so understate the uncertainty); dphi/dr carries every
// reading into every fit that uses it, so readings shared between fits (the front sights seen
// by the two-face and the interball fits) give the cross terms. Both Jacobians come from each
// fit's rows, in one pass over its readings: a fit solves a small least-squares problem (or
// averages closed-form estimates) in quantities formed from calibrated copies of its readings,
// so its solution u = N^-1 X^T W y moves with each row by N^-1 (X^T W dy + dX^T W r - X^T W dX u)
// (r the residuals), each row with the calibrated readings it is formed from, and a calibrated
// reading with the elements exactly (the model is linear in them) and with its raw reading as
// the identity (the corrections' own slope in the reading, below 1e-3 of it, is left out).
// Derivatives::kByDifferences takes both Jacobians by forward differences of whole fit calls
// instead (each fit is linear in its readings to first order, so a step of a hundredth of the
// reading noise gives the derivative to far better than the per cent the uncertainty needs):
// hundreds of times slower, and an independent check of the rows, which it matches to 1e-4.
// Both work on copies of the procedure's final working sets, so nothing of the run is touched.
// The reading noise S is the one the data show (see NoiseEstimate).
// The standard uncertainty of element i is sqrt(C_ii) and the correlations are
// C_ij / sqrt(C_ii C_jj).
#ifndef COMPENSATION_RUN_REPORT_H
#define COMPENSATION_RUN_REPORT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compensation/engine.h"
#include "compensation/export.h"

namespace compensation {

enum class Procedure { kNone, kQuick, kFull, kFullFull };

// Where a procedure stopped. Every result a procedure returns maps to exactly one stage, so a
// sum that two causes share (a full-full flying status against a joint-loop sum, 21 from the
// interball pairs against 21 from the d2 pairs) has one meaning here.
enum class Stage {
    kNotRun,                // no procedure has run on this engine
    kInputRefused,          // -1: arrays, counts or target positions do not fit together
    kOutOfMemory,           // -2: the working arrays could not be allocated
    kCoverageGap,           // an azimuth sector without a usable reference view
    kFlyingViewsRefused,    // full-full modes 0, 1: the flying views were refused
    kTooFewX0Y0Pairs,       // 19
    kTooFewInterballPairs,  // 21 from the interball pair table
    kTooFewD2Pairs,         // 21 from the d2 pairs
    kTooFewExtraPairs,      // 22
    kElElCGeometry,         // full-full mode 2: no El_ElC target pair qualifies (27)
    kFirstLoopUnsettled,    // full procedures: the first joint loop ended unsettled
    kFinalLoopUnsettled,    // full procedures: the final joint loop used its budget
    kJointLoopUnsettled,    // quick: the joint loop used its budget; validated all the same
    kSettled,               // every loop settled; rejections written back; validated
};

// The stage in words, as the tool prints it.
COMPENSATION_EXPORT std::string_view StageName(Stage stage);
COMPENSATION_EXPORT std::string_view StageWords(Stage stage);

// One fit of the procedure: its last code and how often it was called.
struct FitReport {
    std::string name;       // the member function, e.g. "CalculateQCFSBSa"
    std::string set;        // the working set it reads, e.g. "two-face pairs"
    int last_result = 0;    // code of its last call (fitting or outlier)
    int fitting_calls = 0;  // calls with flag 1
    int outlier_calls = 0;  // calls with flag 0
    int rejections = 0;     // outlier calls that rejected a measurement or pair
};

// One joint loop: evaluations made against its budget, and the sum it ended with.
struct LoopReport {
    std::string name;
    int runs = 0;  // how often the loop ran (outlier stages re-run theirs)
    int evaluations = 0;
    int budget = 0;  // per run
    int last_sum = 0;
    // How much the model's change shrank per pass over the loop's last passes (at most five),
    // measured in its last run: the loop's rate as the run went, settled or not. -1 for a loop
    // of fewer than three passes, and for the outlier stages' loops, which restart.
    double rate = -1.0;
};

// The reading noise the data show. The two-face spreads are of face differences, each the
// difference of two readings, so a reading's own noise is the spread over sqrt 2. The
// interball spread is that of a target-to-target distance from view to view.
struct NoiseEstimate {
    double range = 0.0;               // metres, per reading
    double azimuth = 0.0;             // radians, per reading
    double elevation = 0.0;           // radians, per reading
    double interball_distance = 0.0;  // metres, per distance
    bool available = false;           // false when no two-face fit ran
};

enum class Verdict {
    kDetermined,               // the data fix it; its uncertainty says how well
    kWeaklyDetermined,         // fixed, but known to no better than a third of its size
    kUndetermined,             // the data cannot fix it; it kept its entry value
    kNotSeparatelyDetermined,  // only a sum with other elements is fixed (the split is the
                               // procedure's own choice)
};

COMPENSATION_EXPORT std::string_view VerdictWords(Verdict verdict);

// One element the procedure fits. Angular elements in degrees, lengths in metres, as TMapper.
struct ElementReport {
    std::string name;
    std::string fit;          // the fit that estimates it
    double start = 0.0;       // value on entry to the procedure
    double fitted = 0.0;      // value on return
    double uncertainty = -1;  // standard uncertainty; negative when not computed
    Verdict verdict = Verdict::kDetermined;
    std::string reason;  // why, in words, when not determined
};

// How fast the final joint loop closes in on its fixed point, from the same linearisation: the
// loop runs its fits in order, each from the elements the earlier ones have just written, so one
// pass near the fixed point multiplies the error by (I - L)^-1 U, where L holds the parts of
// dphi/dtheta by which a fit reads an earlier fit's elements and U the rest. Its spectral radius
// is the loop's rate: below one the loop settles, by that factor per pass; at or above one it
// cannot. The two fits whose loop run by themselves is slowest are those that feed each other.
struct LoopContraction {
    double rate = -1.0;                // spectral radius per pass; negative when not computed
    std::vector<std::string> fits;     // the fits of the loop, in order
    std::vector<std::string> feeding;  // the pair of fits that feed each other most
    double feeding_rate = -1.0;        // the rate of that pair's loop on its own
    // The fit that settles slowest when called again and again with the others' elements held:
    // a fit whose own solution feeds back into its next call (the check-view fit's reference
    // distances, taken from its own calibrated in-line view) and its rate per call.
    std::string slowest_fit;
    double slowest_fit_rate = -1.0;
};

struct RunReport {
    Procedure procedure = Procedure::kNone;
    int mode = 0;  // full-full mode
    int result = 0;
    Stage stage = Stage::kNotRun;
    std::string stage_words;
    // Full-full: the flying views' status (AcceptFlyingAllViews) and the main views' coverage
    // code, which the result adds.
    int flying_status = 0;
    int coverage_code = 0;
    std::vector<FitReport> fits;
    std::vector<LoopReport> loops;
    NoiseEstimate noise;
    std::vector<ElementReport> elements;
    // Correlations of the elements whose uncertainty was computed, in the order of
    // `correlated`; row-major, correlated.size() squared entries. Empty when none was computed.
    std::vector<std::string> correlated;
    std::vector<double> correlations;
    // What the uncertainty analysis could not do, in words (empty when it ran).
    std::string uncertainty_note;
    LoopContraction contraction;  // with ReportOptions::loopRates
};

// What LastRunReport computes. The uncertainties cost far more than the rest: the fits run
// again once per reading component, so their cost grows with the square of the readings (about
// 60 to 120 times the procedure on the bundled examples, a minute for 4,000 readings). Without
// them the report still lists every fitted element with its start, fitted value and verdict
// (uncertainty -1, correlations empty), at the cost of one call of each fit.
enum class Derivatives { kFromRows, kByDifferences };

struct ReportOptions {
    bool uncertainty = true;
    // The reading noise to propagate instead of the one the data show: for planning, where
    // noise-free readings fix the fixed point and the noise expected of the instrument sets the
    // uncertainty (range in metres, angles in radians per reading).
    std::optional<NoiseEstimate> assumedNoise;
    // Threads that share the uncertainties' linearisation: the fits' rows, or the fit calls of
    // `Derivatives::kByDifferences`. Each derivative is formed whole on one thread and they are
    // added up in one order, so the count changes no bit; 0 takes one per hardware thread.
    unsigned threads = 1;
    // How the fits' derivatives are formed: from each fit's rows, in one pass over its
    // readings, or by calling whole fits again for every reading component and element
    // (forward differences; hundreds of times slower, an independent check of the rows).
    Derivatives derivatives = Derivatives::kFromRows;
    // The final joint loop's linearised rate per pass, its slowest fit and the pair of fits
    // that feed each other most (`RunReport::contraction`): for planning a layout. They take the
    // spectral radius of the loop's pass for the whole loop, each fit and each pair, which costs
    // about as much again as the uncertainties; a run's measured loop rates are in
    // `RunReport::loops` either way.
    bool loopRates = false;
};

// The report of the last procedure run on `engine` (Stage::kNotRun before any). Computing the
// uncertainties re-runs the fits on copies of the final working sets; the engine's trace file
// is not written.
COMPENSATION_EXPORT RunReport LastRunReport(const CCompensation& engine,
                                            const ReportOptions& options = {});

}  // namespace compensation

#endif  // COMPENSATION_RUN_REPORT_H
