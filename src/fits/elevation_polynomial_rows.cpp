// The rows of the elevation polynomial fits: the coefficients' first-order response to the
// readings and to the model, in one pass over the samples the fit takes.
//
// The fit solves u = N^-1 sum_k x_k y_k over its samples k (a pair of targets in one view), with
// y_k = D_k^2 - d^2 for the check fit (d the pair's distance in the in-line view) and
// y_k = D_k^2 - mean of the pair's D^2 for the FBB fit, its columns x_k centred alike. A sample's
// squared distance moves with its two readings by 2 (P_a - P_b) . dP; u moves with it by the
// gain N^-1 x_k. The FBB fit's mean drops out: a pair's centred columns sum to zero, so the
// gains of its samples do too. The check fit's in-line distance moves every sample of its pair,
// by minus the sum of their gains.
//
// The samples are calibrated with the polynomial and El_ElC at 0 (the fit estimates absolute
// values), the in-line view with El_ElC at 0 but the polynomial as the model holds it: through
// the in-line distances the coefficients the fit enters with reach the ones it writes.
#include <cstddef>
#include <vector>

#include "fits/elevation_polynomial.h"
#include "fits/fit_rows.h"
#include "report/run_record.h"

namespace compensation::detail {

namespace {

const std::vector<double TMapper::*> kPolynomialElements = {&TMapper::B_minus, &TMapper::A_minus,
                                                            &TMapper::C_minus};

// One sample: its two readings (indices into the set), its pair, and its design row.
struct PolynomialRow {
    int first;
    int second;
    int pair;
    double x[kPolynomialTerms];
};

}  // namespace

std::optional<FitDerivatives> ElevationPolynomialRows(
    const Snapshot& snapshot, const PolynomialViews& where, const TMapper& model,
    const std::vector<double TMapper::*>& inputs) {
    const std::vector<CVector>& readings = snapshot.sets[static_cast<std::size_t>(where.set)];
    const bool inlineView = where.distance == PairDistance::kInlineView;
    if (where.perView < 2 || where.views < 1 ||
        static_cast<std::size_t>(where.perView) * static_cast<std::size_t>(where.views) >
            readings.size() ||
        (inlineView && (where.inlineView < 0 || where.inlineView >= where.views))) {
        return std::nullopt;
    }
    TMapper inlineMap = model;
    inlineMap.El_ElC = 0.0;
    TMapper sampleMap = inlineMap;
    for (double TMapper::*element : kPolynomialElements) {
        sampleMap.*element = 0.0;
    }
    CalibratedReadings samples(readings, sampleMap);
    const auto at = [&where](int view, int target) { return view * where.perView + target; };

    std::vector<PolynomialRow> rows;
    int pair = 0;
    for (int i = 0; i + 1 < where.perView; ++i) {
        for (int j = i + 1; j < where.perView; ++j, ++pair) {
            std::vector<int> counting;
            for (int v = 0; v < where.views; ++v) {
                if (PolynomialSampleCounts(readings[static_cast<std::size_t>(at(v, i))],
                                           readings[static_cast<std::size_t>(at(v, j))])) {
                    counting.push_back(v);
                }
            }
            if (!inlineView && static_cast<int>(counting.size()) <= kFbbLeastViewsExclusive) {
                continue;
            }
            const std::size_t from = rows.size();
            for (int v : counting) {
                PolynomialRow row{at(v, i), at(v, j), pair, {}};
                const CalibratedSight& a = samples[row.first];
                const CalibratedSight& b = samples[row.second];
                for (int p = 0; p < kPolynomialTerms; ++p) {
                    row.x[p] = PolynomialColumn(a.reading, a.per[kElevationComponent], b.reading,
                                                b.per[kElevationComponent], p + 1);
                }
                rows.push_back(row);
            }
            if (inlineView || rows.size() == from) {
                continue;
            }
            for (int p = 0; p < kPolynomialTerms; ++p) {
                double mean = 0.0;
                for (std::size_t k = from; k < rows.size(); ++k) {
                    mean += rows[k].x[p];
                }
                mean /= static_cast<double>(rows.size() - from);
                for (std::size_t k = from; k < rows.size(); ++k) {
                    rows[k].x[p] -= mean;
                }
            }
        }
    }
    if (rows.size() < static_cast<std::size_t>(kPolynomialTerms)) {
        return std::nullopt;
    }
    LeastSquaresGain solution(kPolynomialTerms);
    for (const PolynomialRow& row : rows) {
        solution.AddRow(row.x);
    }
    if (!solution.Factorise()) {
        return std::nullopt;
    }

    // Pass 0 the samples, pass 1 the in-line view.
    FitResponse response(snapshot, kPolynomialElements, inputs, model, inlineView ? 2 : 1);
    std::vector<double> pairGain(static_cast<std::size_t>(pair) * kPolynomialTerms, 0.0);
    for (const PolynomialRow& row : rows) {
        double gain[kPolynomialTerms];
        solution.Gain(row.x, 1.0, gain);
        const CalibratedSight& a = samples[row.first];
        const CalibratedSight& b = samples[row.second];
        AddSeparationResponse(response.At({where.set, row.first}), gain, kPolynomialTerms, a, b);
        AddSeparationResponse(response.At({where.set, row.second}), gain, kPolynomialTerms, b, a);
        for (int o = 0; o < kPolynomialTerms; ++o) {
            pairGain[static_cast<std::size_t>(row.pair * kPolynomialTerms + o)] += gain[o];
        }
    }
    std::vector<double TMapper::*> notFromModel = kPolynomialElements;
    notFromModel.push_back(&TMapper::El_ElC);
    if (!inlineView) {
        return response.Finish(notFromModel);
    }

    // The in-line distances: y_k falls as d^2 rises.
    CalibratedReadings inlineReadings(readings, inlineMap);
    pair = 0;
    for (int i = 0; i + 1 < where.perView; ++i) {
        for (int j = i + 1; j < where.perView; ++j, ++pair) {
            double gain[kPolynomialTerms];
            bool any = false;
            for (int o = 0; o < kPolynomialTerms; ++o) {
                gain[o] = -pairGain[static_cast<std::size_t>(pair * kPolynomialTerms + o)];
                any = any || gain[o] != 0.0;
            }
            if (!any) {
                continue;
            }
            const int first = at(where.inlineView, i);
            const int second = at(where.inlineView, j);
            const CalibratedSight& a = inlineReadings[first];
            const CalibratedSight& b = inlineReadings[second];
            AddSeparationResponse(response.At({where.set, first}, 1), gain, kPolynomialTerms, a, b);
            AddSeparationResponse(response.At({where.set, second}, 1), gain, kPolynomialTerms, b,
                                  a);
        }
    }
    return response.Finish({{notFromModel, {}}, {{&TMapper::El_ElC}, {}}});
}

}  // namespace compensation::detail
