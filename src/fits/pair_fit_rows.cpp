// The pair fits' first-order response to their readings and to the model, in one pass.
//
// Each live pair's squared separation d moves with its two calibrated readings by
// 2 (P_A - P_B) . dP/d(R, Az, El); the slopes a, b are the design and are held (the fit's
// elements multiply them: 1e-4 of a derivative). The solution then moves with d as follows.
// - A free separation: the elements solve d = L^2 - e1 a - e2 b by least squares, with L^2 one
//   more unknown; each d moves them by the least-squares gain of its row (1, -a, -b).
// - Outside pairs: the estimate is the mean over every outside pair i and pair j of
//   (d_j - D_i) / (A_i - a_j), so d_j moves it by the mean of 1 / (A_i - a_j) over i, and D_i
//   by minus the mean over j: the estimator itself, not a least-squares stand-in for it.
// The fit calibrates with its own elements at 0: they take no part, and every other element
// reaches the outputs through the calibrated readings.
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "fits/pair_fit.h"
#include "report/fit_derivatives.h"
#include "report/run_record.h"

namespace compensation::detail {

namespace {

// A live pair as the fit sees it: its slopes, and how its squared separation moves with its
// readings.
struct PairRow {
    ReadingCopy first;
    ReadingCopy second;
    double a;
    double b;
    std::array<double, kComponents> byFirst;   // d(d) / d first's (range, azimuth, elevation)
    std::array<double, kComponents> bySecond;  // the same of the second
};

// The live pairs among the first `pairCount` of `set`, calibrated as the fit calibrates them.
std::vector<PairRow> LivePairRows(const Snapshot& snapshot, int set, int pairCount, TMapper* map,
                                  const PairFit& fit) {
    std::vector<PairRow> rows;
    const CVector* pairs = snapshot.sets[static_cast<std::size_t>(set)].data();
    for (int k = 0; k < pairCount; ++k) {
        if (!IsLivePair(pairs, k)) {
            continue;
        }
        const CVector first = CalibratedCopy(pairs[2 * k], map);
        const CVector second = CalibratedCopy(pairs[2 * k + 1], map);
        const Vec3 away = Minus(PositionOf(first), PositionOf(second));
        PairRow row{{set, 2 * k},
                    {set, 2 * k + 1},
                    SeparationSlope(first, second, fit.elements[0].gradient),
                    fit.elements.size() == 2
                        ? SeparationSlope(first, second, fit.elements[1].gradient)
                        : 0.0,
                    SquaredSeparationByReading(first, away),
                    SquaredSeparationByReading(second, Scaled(away, -1.0))};
        rows.push_back(row);
    }
    return rows;
}

// Adds d outputs / d the reading at `copy`, given d outputs / d(d) (`gains`) and d(d) / d the
// reading (`slopes`).
void AddReadingResponse(FitResponse& response, ReadingCopy copy,
                        const std::array<double, kComponents>& slopes, const double* gains) {
    const std::size_t outputs = response.Moves().size();
    double* block = response.At(copy);
    for (std::size_t k = 0; k < kComponents; ++k) {
        for (std::size_t o = 0; o < outputs; ++o) {
            block[k * outputs + o] += gains[o] * slopes[k];
        }
    }
}

// Adds d outputs / d the pair's readings, given d outputs / d its squared separation (`gains`,
// one per output, in the model's unit).
void AddPairResponse(FitResponse& response, const PairRow& row, const double* gains) {
    AddReadingResponse(response, row.first, row.byFirst, gains);
    AddReadingResponse(response, row.second, row.bySecond, gains);
}

// d = L^2 - e1 a - e2 b: the unknowns (L^2, e1, e2), each d its row's observation.
bool FreeConstantResponse(const PairFit& fit, const std::vector<PairRow>& live,
                          FitResponse& response) {
    constexpr int kUnknowns = 3;
    LeastSquaresGain gain(kUnknowns);
    for (const PairRow& row : live) {
        const double design[kUnknowns] = {1.0, -row.a, -row.b};
        gain.AddRow(design);
    }
    if (!gain.Factorise()) {
        return false;
    }
    for (const PairRow& row : live) {
        const double design[kUnknowns] = {1.0, -row.a, -row.b};
        double byObservation[kUnknowns];
        gain.Gain(design, 1.0, byObservation);
        const double gains[2] = {byObservation[1] * fit.toModelUnit,
                                 byObservation[2] * fit.toModelUnit};
        if (!std::isfinite(gains[0]) || !std::isfinite(gains[1])) {
            return false;
        }
        AddPairResponse(response, row, gains);
    }
    return true;
}

// The mean of (d_j - D_i) / (A_i - a_j) over every outside pair i and pair j.
bool OutsidePairsResponse(const PairFit& fit, const std::vector<PairRow>& outside,
                          const std::vector<PairRow>& live, FitResponse& response) {
    if (outside.empty() || live.empty()) {
        return false;
    }
    const double scale =
        fit.toModelUnit / (static_cast<double>(outside.size()) * static_cast<double>(live.size()));
    std::vector<double> byOutside(outside.size(), 0.0);
    std::vector<double> byLive(live.size(), 0.0);
    for (std::size_t i = 0; i < outside.size(); ++i) {
        for (std::size_t j = 0; j < live.size(); ++j) {
            const double inverse = 1.0 / (outside[i].a - live[j].a);
            byLive[j] += inverse;
            byOutside[i] -= inverse;
        }
    }
    for (std::size_t i = 0; i < outside.size(); ++i) {
        const double gain = byOutside[i] * scale;
        if (!std::isfinite(gain)) {
            return false;
        }
        AddPairResponse(response, outside[i], &gain);
    }
    for (std::size_t j = 0; j < live.size(); ++j) {
        const double gain = byLive[j] * scale;
        if (!std::isfinite(gain)) {
            return false;
        }
        AddPairResponse(response, live[j], &gain);
    }
    return true;
}

}  // namespace

// Without a solution (no live pair, a singular design, an estimate that is not finite) the fit
// writes nothing of its own; the rows then describe nothing and the differences serve the call.
// A call with fewer live pairs than the engine's least count also writes nothing, and then no
// element is the fit's: its rows are not looked up.
FitLinearisation PairFitRows(const PairFit& fit, int pairsSet, int pairCount, int outsideSet,
                             int outsideCount) {
    return [fit, pairsSet, pairCount, outsideSet, outsideCount](
               const Snapshot& snapshot, const TMapper& model,
               const std::vector<double TMapper::*>& inputs) -> std::optional<FitDerivatives> {
        std::vector<double TMapper::*> outputs;
        TMapper map = model;
        for (const PairElement& e : fit.elements) {
            outputs.push_back(e.element);
            map.*e.element = 0.0;
        }
        const std::vector<PairRow> live = LivePairRows(snapshot, pairsSet, pairCount, &map, fit);
        FitResponse response(snapshot, outputs, inputs, model);
        bool solved = false;
        if (fit.source == SeparationSource::kFreeConstant) {
            solved = !live.empty() && FreeConstantResponse(fit, live, response);
        } else {
            const std::vector<PairRow> outside =
                LivePairRows(snapshot, outsideSet, outsideCount / 2, &map, fit);
            solved = OutsidePairsResponse(fit, outside, live, response);
        }
        if (!solved) {
            return std::nullopt;
        }
        return response.Finish(outputs);
    };
}

}  // namespace compensation::detail
