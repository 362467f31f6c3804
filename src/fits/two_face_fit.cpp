#include "fits/two_face_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/determined_solve.h"
#include "fits/fit_support.h"
#include "model/live.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"
#include "model/vec3.h"
#include "report/fit_derivatives.h"
#include "report/run_record.h"

namespace compensation::detail::two_face {

namespace {

bool IsLive(const CVector& front, const CVector& back) {
    return compensation::IsLive(front) && compensation::IsLive(back);
}

// The raw terms of both faces of every pair live at the start of the call; the passes of one
// call calibrate the same readings with three models, and the calls of one procedure run find
// them in the run's cache.
struct PairTerms {
    RawTerms front;
    RawTerms back;
};

std::vector<PairTerms> RawTermsOfLivePairs(const CVector* front, const CVector* back,
                                           int pairCount) {
    std::vector<PairTerms> terms(static_cast<std::size_t>(pairCount > 0 ? pairCount : 0));
    for (int i = 0; i < pairCount; ++i) {
        if (IsLive(front[i], back[i])) {
            terms[i] = {RawTermsFor(front[i]), RawTermsFor(back[i])};
        }
    }
    return terms;
}

// Calibrates copies of both faces of every live pair with the model as it stands; the host's
// arrays are never calibrated. Only the evaluation pass reads the points (`cartesian`).
std::vector<CalibratedPair> CalibrateLivePairs(const CVector* front, const CVector* back,
                                               int pairCount, const TMapper* model,
                                               const std::vector<PairTerms>& terms,
                                               bool cartesian) {
    // Sized for every pair at once: growing by doubling copied the pairs several times a pass.
    std::vector<CalibratedPair> pairs;
    pairs.reserve(static_cast<std::size_t>(pairCount > 0 ? pairCount : 0));
    for (int i = 0; i < pairCount; ++i) {
        if (!IsLive(front[i], back[i])) {
            continue;
        }
        CVector frontSight = front[i];
        CVector backSight = back[i];
        CalibrateWith(frontSight, *model, terms[i].front, cartesian);
        CalibrateWith(backSight, *model, terms[i].back, cartesian);
        CalibratedPair pair{};
        pair.index = i;
        pair.dR = frontSight.Range - backSight.Range;
        pair.dAz = frontSight.Azimuth - backSight.Azimuth;
        pair.dEl = frontSight.Elevation - backSight.Elevation;
        pair.azF = frontSight.Azimuth;
        pair.elF = frontSight.Elevation;
        pair.h = kQuarterPi - frontSight.Elevation * 0.5;
        pair.distance = cartesian ? DistanceBetween(frontSight, backSight) : 0.0;
        pairs.push_back(pair);
    }
    return pairs;
}

void ZeroElements(TMapper& map, Table<FittedElement> elements) {
    for (const FittedElement& fitted : elements) {
        map.*fitted.element = 0.0;
    }
}

void ZeroElements(TMapper& map, ElementTable elements) {
    for (double TMapper::*element : elements) {
        map.*element = 0.0;
    }
}

void ZeroDataElements(TMapper& map, const TwoFaceFit& fit) {
    for (const Stage& stage : fit.data) {
        ZeroElements(map, stage.elements);
    }
}

// What an element the data do not determine keeps: its value on entry, in the solved unit.
void EntrySolution(const Stage& stage, const TMapper& entry, double* solution) {
    for (std::size_t k = 0; k < stage.elements.size(); ++k) {
        solution[k] = entry.*stage.elements[k].element / stage.elements[k].scale;
    }
}

// Elevations within this half-span of one value are "one elevation" in the report's words.
constexpr double kOneElevationHalfSpanDeg = 5.0;

void NoteUndetermined(const Stage& stage, const std::vector<CalibratedPair>& pairs,
                      const bool* undetermined) {
    std::vector<double TMapper::*> elements;
    for (std::size_t k = 0; k < stage.elements.size(); ++k) {
        if (undetermined[k]) {
            elements.push_back(stage.elements[k].element);
        }
    }
    double low = pairs.empty() ? 0.0 : pairs.front().elF;
    double high = low;
    for (const CalibratedPair& pair : pairs) {
        low = std::min(low, pair.elF);
        high = std::max(high, pair.elF);
    }
    const double halfSpanDeg = 0.5 * (high - low) * kRadToDeg;
    char cause[160];
    if (halfSpanDeg < kOneElevationHalfSpanDeg) {
        std::snprintf(cause, sizeof cause, "every target lies within %.1f degrees of one elevation",
                      halfSpanDeg);
    } else {
        std::snprintf(cause, sizeof cause,
                      "the face differences vary too little over the targets to separate them");
    }
    NoteUndeterminedElements(elements, cause);
}

void WriteSolution(TMapper& map, const Stage& stage, const double* solution) {
    for (std::size_t k = 0; k < stage.elements.size(); ++k) {
        map.*stage.elements[k].element = solution[k] * stage.elements[k].scale;
    }
}

// A stage's solution, checked: every value must be finite before anything is written.
StageOutcome Solve(const Stage& stage, const std::vector<CalibratedPair>& pairs, double* solution) {
    const StageOutcome outcome = stage.solve(stage, pairs, solution);
    const bool finite = outcome != StageOutcome::kSolved ||
                        std::all_of(solution, solution + stage.elements.size(),
                                    [](double value) { return std::isfinite(value); });
    return finite ? outcome : StageOutcome::kSingular;
}

bool DecidesSettling(const TwoFaceFit& fit, double TMapper::*element) {
    return std::find(fit.notSettling.begin(), fit.notSettling.end(), element) ==
           fit.notSettling.end();
}

// The largest change, or the Euclidean length of the changes, of the stages' elements that
// decide settling.
double Change(const TwoFaceFit& fit, Table<Stage> stages, ChangeNorm norm, const TMapper& entry,
              const TMapper& now) {
    double largest = 0.0;
    double sumSquares = 0.0;
    for (const Stage& stage : stages) {
        for (const FittedElement& fitted : stage.elements) {
            if (!DecidesSettling(fit, fitted.element)) {
                continue;
            }
            const double change = std::fabs(now.*fitted.element - entry.*fitted.element);
            largest = std::max(largest, change);
            sumSquares += change * change;
        }
    }
    return norm == ChangeNorm::kLargest ? largest : std::sqrt(sumSquares);
}

bool HasMoved(const TwoFaceFit& fit, const TMapper& entry, const TMapper& now) {
    return Change(fit, Table<Stage>(&fit.range, 1), ChangeNorm::kLargest, entry, now) >
               fit.rangeLimit ||
           Change(fit, fit.data, fit.dataNorm, entry, now) > fit.dataLimit;
}

struct Evaluation {
    double spreadR = 0.0;
    double spreadAz = 0.0;  // degrees
    double spreadEl = 0.0;  // degrees
    int worst = -1;         // pair index, -1 when no pair compared
};

// Sample spreads of the raw (not halved) face differences, and the pair the fit's measure
// ranks worst; the first of equal worst pairs wins.
Evaluation Evaluate(const TwoFaceFit& fit, const std::vector<CalibratedPair>& pairs) {
    double sumR = 0.0;
    double sumAz = 0.0;
    double sumEl = 0.0;
    double worstValue = kRunningMaxStart;
    Evaluation evaluation;
    for (const CalibratedPair& pair : pairs) {
        sumR += pair.dR * pair.dR;
        sumAz += pair.dAz * pair.dAz;
        sumEl += pair.dEl * pair.dEl;
        const double measure = fit.worst(pair);
        if (measure > worstValue) {
            worstValue = measure;
            evaluation.worst = pair.index;
        }
    }
    const double degreesOfFreedom = static_cast<double>(pairs.size()) - 1.0;
    evaluation.spreadR = std::sqrt(sumR / degreesOfFreedom);
    evaluation.spreadAz = std::sqrt(sumAz / degreesOfFreedom) * kRadToDeg;
    evaluation.spreadEl = std::sqrt(sumEl / degreesOfFreedom) * kRadToDeg;
    return evaluation;
}

bool ExceedsLimits(const SpreadRecord& spreads, const Evaluation& evaluation) {
    return evaluation.spreadR > spreads.rangeLimit || evaluation.spreadAz > spreads.azimuthLimit ||
           evaluation.spreadEl > spreads.elevationLimit;
}

}  // namespace

// --- Least squares ------------------------------------------------------------------------

StageOutcome SolveLeastSquares(const Stage& stage, const std::vector<CalibratedPair>& pairs,
                               double* solution) {
    const int n = static_cast<int>(stage.elements.size());
    const int count = static_cast<int>(pairs.size());
    if (n < 1 || n > kMaxColumns || count < 1) {
        return StageOutcome::kSingular;
    }
    // Column-major design: column k of pair j at k * count + j. Every entry is written below,
    // so the array is not cleared first.
    const std::unique_ptr<double[]> design(new double[static_cast<std::size_t>(n) * count]);
    std::vector<double> observations(count);
    std::array<double, kMaxColumns> row{};
    for (int j = 0; j < count; ++j) {
        stage.row(pairs[j], n, row.data(), nullptr);
        for (int k = 0; k < n; ++k) {
            design[static_cast<std::size_t>(k) * count + j] = row[k];
        }
        observations[j] = stage.observation(pairs[j], nullptr);
    }
    std::array<const double*, kMaxColumns> columns{};
    for (int k = 0; k < n; ++k) {
        columns[k] = design.get() + static_cast<std::size_t>(k) * count;
    }

    std::vector<double> matrix(static_cast<std::size_t>(n) * n);
    std::vector<double> rhs(n);
    BuildNormalEquations(columns.data(), n, observations.data(), count, matrix.data(), rhs.data());
    for (double& entry : rhs) {
        entry *= stage.rhsScale;
    }
    if (stage.unitLeadingEntry) {
        matrix[0] = 1.0;
    }
    std::array<bool, kMaxColumns> undetermined{};
    if (!FindUndeterminedColumns(n, matrix.data(), undetermined.data())) {
        return SolveDetermined(n, matrix.data(), rhs.data(), solution) ? StageOutcome::kSolved
                                                                       : StageOutcome::kSingular;
    }
    // The undetermined elements keep the values the caller put in `solution` (their entry
    // values); the others are solved with those held.
    std::vector<int> free;
    for (int k = 0; k < n; ++k) {
        if (!undetermined[k]) {
            free.push_back(k);
        }
    }
    const int m = static_cast<int>(free.size());
    std::vector<double> reduced(static_cast<std::size_t>(m) * m);
    std::vector<double> reducedRhs(m);
    std::vector<double> reducedSolution(m);
    for (int a = 0; a < m; ++a) {
        double value = rhs[free[a]];
        for (int k = 0; k < n; ++k) {
            if (undetermined[k]) {
                value -= matrix[free[a] * n + k] * solution[k];
            }
        }
        reducedRhs[a] = value;
        for (int b = 0; b < m; ++b) {
            reduced[a * m + b] = matrix[free[a] * n + free[b]];
        }
    }
    if (m > 0 && !SolveDetermined(m, reduced.data(), reducedRhs.data(), reducedSolution.data())) {
        return StageOutcome::kSingular;
    }
    for (int a = 0; a < m; ++a) {
        solution[free[a]] = reducedSolution[a];
    }
    NoteUndetermined(stage, pairs, undetermined.data());
    return StageOutcome::kSolved;
}

// --- The loop -----------------------------------------------------------------------------

namespace {

int FitTwoFace(const TwoFaceFit& fit, CVector* front, CVector* back, TMapper* model, int pairCount,
               TCompOut* out, int flagClassify, const TMapper& entry) {
    TMapper& map = *model;

    // Range pass: the fitted range elements are re-estimated, not corrected.
    ZeroElements(map, fit.range.elements);
    if (fit.zeroDataElementsFirst) {
        ZeroDataElements(map, fit);
    }
    const std::vector<PairTerms> terms = RawTermsOfLivePairs(front, back, pairCount);
    const std::vector<CalibratedPair> rangePass =
        CalibrateLivePairs(front, back, pairCount, model, terms, false);
    if (static_cast<int>(rangePass.size()) < fit.minimumPairs) {
        if (fit.convergenceTestWhenTooFew && flagClassify != 0 && HasMoved(fit, entry, map)) {
            return kNotConverged;
        }
        return fit.tooFewCode;
    }
    std::array<double, kMaxColumns> rangeSolution{};
    EntrySolution(fit.range, entry, rangeSolution.data());
    if (Solve(fit.range, rangePass, rangeSolution.data()) != StageOutcome::kSolved) {
        map = entry;
        return kNotConverged;
    }
    WriteSolution(map, fit.range, rangeSolution.data());

    // Data pass: the data stages see the full effect of their elements, so the solved values
    // replace the old ones.
    ZeroDataElements(map, fit);
    ZeroElements(map, fit.workElements);
    const std::vector<CalibratedPair> dataPass =
        CalibrateLivePairs(front, back, pairCount, model, terms, false);
    std::vector<std::array<double, kMaxColumns>> solutions(fit.data.size());
    for (std::size_t s = 0; s < fit.data.size(); ++s) {
        EntrySolution(fit.data[s], entry, solutions[s].data());
        const StageOutcome outcome = Solve(fit.data[s], dataPass, solutions[s].data());
        if (outcome == StageOutcome::kTooFew) {
            return fit.tooFewCode;
        }
        if (outcome == StageOutcome::kSingular) {
            map = entry;
            return kNotConverged;
        }
    }
    for (std::size_t s = 0; s < fit.data.size(); ++s) {
        WriteSolution(map, fit.data[s], solutions[s].data());
    }

    // Evaluation pass with the new model.
    const Evaluation evaluation =
        Evaluate(fit, CalibrateLivePairs(front, back, pairCount, model, terms, true));
    out->*fit.spreads.range = evaluation.spreadR;
    out->*fit.spreads.azimuth = evaluation.spreadAz;
    out->*fit.spreads.elevation = evaluation.spreadEl;

    int result = 0;
    if (flagClassify == 0) {
        if (ExceedsLimits(fit.spreads, evaluation) && evaluation.worst >= 0) {
            front[evaluation.worst].Quality = kRejectedQuality;
            back[evaluation.worst].Quality = kRejectedQuality;
            result = kRejected;
        }
    } else if (HasMoved(fit, entry, map)) {
        result = kNotConverged;
    }

    for (double TMapper::*element : fit.workElements) {
        map.*element = entry.*element;
    }
    return result;
}

}  // namespace

// --- Rows for the run report's linearisation ------------------------------------------------

namespace {

// d observation / d calibrated (range, azimuth, elevation) of the front and the back sight: a
// sight moves the face differences, and the front sight also the pair's direction.
void ObservationGradient(const ObservationSlopes& slopes, double* front, double* back) {
    front[kRangeComponent] = slopes.byRangeDifference;
    front[kAzimuthComponent] = slopes.byAzimuthDifference + slopes.byFrontAzimuth;
    front[kElevationComponent] = slopes.byElevationDifference + slopes.byFrontElevation;
    back[kRangeComponent] = -slopes.byRangeDifference;
    back[kAzimuthComponent] = -slopes.byAzimuthDifference;
    back[kElevationComponent] = -slopes.byElevationDifference;
}

// Solves one least-squares stage into `solution` and adds to `response` how its solution u,
// written to `outputs`, moves with the calibrated readings of its pass: u = N^-1 X^T y s moves by
// N^-1 (X^T s dy + dX^T r - X^T dX u), r = s y - X u the residuals. False when the stage is no
// least-squares fit the rows describe: another estimator, a singular system, or columns left
// undetermined (their entry values then take part).
bool AddStageResponse(const Stage& stage, const std::vector<CalibratedPair>& pass, double* solution,
                      ReadingCopy front, ReadingCopy back, int passIndex, FitResponse& response) {
    if (stage.solve != SolveLeastSquares || pass.empty()) {
        return false;
    }
    const int n = static_cast<int>(stage.elements.size());
    ScratchVector<std::array<double, kMaxColumns>> rows(pass.size());
    ScratchVector<RowSlopes> rowSlopes(pass.size());
    std::vector<ObservationSlopes> observationSlopes(pass.size());
    LeastSquaresGain gain(n);
    std::array<double, kMaxColumns> rhs{};
    std::vector<double> observations(pass.size());
    for (std::size_t i = 0; i < pass.size(); ++i) {
        std::array<double, kMaxColumns>& row = rows[i];
        stage.row(pass[i], n, row.data(), &rowSlopes[i]);
        gain.AddRow(row.data());
        observations[i] = stage.rhsScale * stage.observation(pass[i], &observationSlopes[i]);
        for (int k = 0; k < n; ++k) {
            rhs[k] += row[k] * observations[i];
        }
    }
    // The fit's own test, on its normalised matrix.
    std::vector<double> normal = gain.Normal();
    for (double& entry : normal) {
        entry /= static_cast<double>(pass.size());
    }
    std::array<bool, kMaxColumns> undetermined{};
    if (FindUndeterminedColumns(n, normal.data(), undetermined.data()) || !gain.Factorise()) {
        return false;
    }
    // The stage's solution as the call finds it, to rounding.
    gain.Gain(rhs.data(), 1.0, solution);
    // The solved value k is written as scale_k u_k to the output of its element, if any.
    const std::vector<double TMapper::*>& outputs = response.Moves(passIndex);
    std::array<int, kMaxColumns> output{};
    for (int k = 0; k < n; ++k) {
        const auto at = std::find(outputs.begin(), outputs.end(), stage.elements[k].element);
        output[k] = at == outputs.end() ? -1 : static_cast<int>(at - outputs.begin());
    }
    const std::size_t count = outputs.size();
    std::array<double, kMaxColumns> gx{};
    std::array<double, kMaxColumns> gdx[2] = {};
    double dFront[kComponents];
    double dBack[kComponents];
    for (std::size_t i = 0; i < pass.size(); ++i) {
        const CalibratedPair& pair = pass[i];
        const std::array<double, kMaxColumns>& row = rows[i];
        double residual = observations[i];
        for (int k = 0; k < n; ++k) {
            residual -= row[k] * solution[k];
        }
        // The row moves with the front sight's azimuth (m = 0) and elevation (m = 1).
        const double* dx[2] = {rowSlopes[i].byAzimuth, rowSlopes[i].byElevation};
        const double* designs[3] = {row.data(), dx[0], dx[1]};
        const double weights[3] = {1.0, residual, residual};
        double* const gains[3] = {gx.data(), gdx[0].data(), gdx[1].data()};
        gain.Gains(designs, weights, gains);
        double dxu[2] = {0.0, 0.0};
        for (int m = 0; m < 2; ++m) {
            for (int k = 0; k < n; ++k) {
                dxu[m] += dx[m][k] * solution[k];
            }
        }
        ObservationGradient(observationSlopes[i], dFront, dBack);
        double* atFront = response.At({front.set, pair.index}, passIndex);
        double* atBack = response.At({back.set, pair.index}, passIndex);
        for (int k = 0; k < n; ++k) {
            if (output[k] < 0) {
                continue;
            }
            const double scale = stage.elements[k].scale;
            const auto o = static_cast<std::size_t>(output[k]);
            for (int c = 0; c < kComponents; ++c) {
                // The row moves with the front sight's azimuth (m = 0) and elevation (m = 1).
                const int m = c - kAzimuthComponent;
                double front = stage.rhsScale * dFront[c];
                double rowMotion = 0.0;
                if (m >= 0) {
                    front -= dxu[m];
                    rowMotion = gdx[m][k];
                }
                atFront[static_cast<std::size_t>(c) * count + o] +=
                    scale * (gx[k] * front + rowMotion);
                atBack[static_cast<std::size_t>(c) * count + o] +=
                    scale * gx[k] * stage.rhsScale * dBack[c];
            }
        }
    }
    return true;
}

std::vector<double TMapper::*> Members(Table<FittedElement> elements) {
    std::vector<double TMapper::*> members;
    for (const FittedElement& fitted : elements) {
        members.push_back(fitted.element);
    }
    return members;
}

}  // namespace

std::vector<double TMapper::*> TwoFaceOutputs(const TwoFaceFit& fit) {
    std::vector<double TMapper::*> outputs;
    const auto add = [&fit, &outputs](Table<FittedElement> elements) {
        for (const FittedElement& fitted : elements) {
            if (std::find(fit.workElements.begin(), fit.workElements.end(), fitted.element) ==
                fit.workElements.end()) {
                outputs.push_back(fitted.element);
            }
        }
    };
    add(fit.range.elements);
    for (const Stage& stage : fit.data) {
        add(stage.elements);
    }
    return outputs;
}

std::optional<FitDerivatives> TwoFaceRows(const TwoFaceFit& fit, const Snapshot& snapshot,
                                          int frontSet, int backSet, int pairCount,
                                          const TMapper& model,
                                          const std::vector<double TMapper::*>& inputs) {
    const CVector* front = snapshot.sets[static_cast<std::size_t>(frontSet)].data();
    const CVector* back = snapshot.sets[static_cast<std::size_t>(backSet)].data();
    const std::vector<double TMapper::*> outputs = TwoFaceOutputs(fit);
    const std::vector<double TMapper::*> range = Members(fit.range.elements);
    std::vector<double TMapper::*> data;
    for (const Stage& stage : fit.data) {
        const std::vector<double TMapper::*> members = Members(stage.elements);
        data.insert(data.end(), members.begin(), members.end());
    }

    // The call's passes, as it makes them.
    TMapper map = model;
    ZeroElements(map, fit.range.elements);
    if (fit.zeroDataElementsFirst) {
        ZeroDataElements(map, fit);
    }
    const std::vector<PairTerms> terms = RawTermsOfLivePairs(front, back, pairCount);
    const std::vector<CalibratedPair> rangePass =
        CalibrateLivePairs(front, back, pairCount, &map, terms, false);
    if (static_cast<int>(rangePass.size()) < fit.minimumPairs) {
        return std::nullopt;
    }
    enum { kRangePass, kDataPass, kPasses };
    const ReadingCopy fronts{frontSet, 0};
    const ReadingCopy backs{backSet, 0};
    // Each pass moves only the outputs of its own stages.
    std::vector<std::vector<double TMapper::*>> moves(kPasses);
    for (double TMapper::*output : outputs) {
        if (std::find(range.begin(), range.end(), output) != range.end()) {
            moves[kRangePass].push_back(output);
        }
        if (std::find(data.begin(), data.end(), output) != data.end()) {
            moves[kDataPass].push_back(output);
        }
    }
    FitResponse response(snapshot, outputs, inputs, model, moves);
    std::array<double, kMaxColumns> rangeSolution{};
    if (!AddStageResponse(fit.range, rangePass, rangeSolution.data(), fronts, backs, kRangePass,
                          response)) {
        return std::nullopt;
    }
    WriteSolution(map, fit.range, rangeSolution.data());
    ZeroDataElements(map, fit);
    ZeroElements(map, fit.workElements);
    const std::vector<CalibratedPair> dataPass =
        CalibrateLivePairs(front, back, pairCount, &map, terms, false);
    for (const Stage& stage : fit.data) {
        std::array<double, kMaxColumns> solution{};
        if (!AddStageResponse(stage, dataPass, solution.data(), fronts, backs, kDataPass,
                              response)) {
            return std::nullopt;
        }
    }

    // The range pass takes every element from the model but the range elements (and the data
    // elements, when they are cleared first); the data pass neither the data nor the work
    // elements, and the range elements from the range stage's solution.
    PassCalibration rangeCalibration{range, {}};
    if (fit.zeroDataElementsFirst) {
        rangeCalibration.notFromModel.insert(rangeCalibration.notFromModel.end(), data.begin(),
                                             data.end());
    }
    PassCalibration dataCalibration{data, range};
    dataCalibration.notFromModel.insert(dataCalibration.notFromModel.end(),
                                        fit.workElements.begin(), fit.workElements.end());
    return response.Finish({rangeCalibration, dataCalibration});
}

int RunTwoFaceFit(const TwoFaceFit& fit, CVector* front, CVector* back, TMapper* model,
                  int pairCount, TCompOut* out, int flagClassify) {
    if (model == nullptr || out == nullptr ||
        (pairCount > 0 && (front == nullptr || back == nullptr))) {
        return kInvalidInput;
    }
    // The per-pair working arrays grow with the host's count.
    const TMapper entry = *model;
    return KeepModelWhenOutOfMemory(model, kNotConverged, [&] {
        return FitTwoFace(fit, front, back, model, pairCount, out, flagClassify, entry);
    });
}

}  // namespace compensation::detail::two_face
