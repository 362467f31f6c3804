// The face-free elevation polynomial (B_minus El + A_minus El^2 + C_minus El^3) from targets
// seen in several views: the check interball fit and the FBB interball fit.
//
// The polynomial lowers each reading by p(El) radians, so two targets at different elevations
// move by different amounts and their distance changes with the views' elevations. The check
// fit takes each pair's distance from the in-line view (the two targets seen almost along one
// line, where the distance hardly depends on elevation errors); the FBB fit has no such view
// and only asks that each pair's distance be the same in every view, removing it by centring
// the pair's samples. Otherwise the two are one fit: one least-squares step in the three
// coefficients, without intercept.
#include <cmath>
#include <limits>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/determined_solve.h"
#include "engine/statistics.h"
#include "fits/elevation_polynomial.h"
#include "fits/fit_support.h"
#include "fits/point_gradients.h"
#include "model/vec3.h"

namespace {

using compensation::IsLive;
using compensation::detail::CalibratedCopy;

using compensation::detail::PairDistance;
using compensation::detail::PolynomialColumn;
using compensation::detail::PolynomialSampleCounts;

constexpr int kTerms = compensation::detail::kPolynomialTerms;

// The samples of all pairs, in the order i < j (i outer), then view; one entry each.
struct PolynomialSamples {
    std::vector<double> squared;          // D^2, uncentred
    std::vector<double> y;                // observation
    std::vector<double> columns[kTerms];  // change of D^2 per unit of each coefficient
    std::vector<int> first;               // the two measurements of the sample
    std::vector<int> second;

    int Count() const { return static_cast<int>(squared.size()); }
};

struct ViewSet {
    CVector* vec;
    int perView;
    int viewCount;

    CVector& At(int view, int target) const { return vec[view * perView + target]; }
};

void AppendSample(PolynomialSamples& samples, const ViewSet& views, int view, int i, int j,
                  TMapper* map, double referenceSquared) {
    const CVector a = CalibratedCopy(views.At(view, i), map);
    const CVector b = CalibratedCopy(views.At(view, j), map);
    const double squared = compensation::SquaredSeparation(a, b);
    samples.squared.push_back(squared);
    samples.y.push_back(squared - referenceSquared);
    for (int p = 0; p < kTerms; ++p) {
        samples.columns[p].push_back(PolynomialColumn(a, b, p + 1));
    }
    samples.first.push_back(view * views.perView + i);
    samples.second.push_back(view * views.perView + j);
}

// Subtracts the means of the observations and columns over samples [from, to).
void CentreSamples(PolynomialSamples& samples, int from, int to) {
    const double meanSquared = compensation::Average(samples.squared.data(), from, to);
    double meanColumn[kTerms];
    for (int p = 0; p < kTerms; ++p) {
        meanColumn[p] = compensation::Average(samples.columns[p].data(), from, to);
    }
    for (int k = from; k < to; ++k) {
        samples.y[k] = samples.squared[k] - meanSquared;
        for (int p = 0; p < kTerms; ++p) {
            samples.columns[p][k] -= meanColumn[p];
        }
    }
}

PolynomialSamples CollectSamples(const ViewSet& views, TMapper* map, PairDistance distance,
                                 const std::vector<double>& reference) {
    PolynomialSamples samples;
    int pairIndex = 0;
    for (int i = 0; i + 1 < views.perView; ++i) {
        for (int j = i + 1; j < views.perView; ++j, ++pairIndex) {
            if (distance == PairDistance::kInlineView) {
                const double d = reference[pairIndex];
                for (int v = 0; v < views.viewCount; ++v) {
                    if (PolynomialSampleCounts(views.At(v, i), views.At(v, j))) {
                        AppendSample(samples, views, v, i, j, map, d * d);
                    }
                }
                continue;
            }
            int counting = 0;
            for (int v = 0; v < views.viewCount; ++v) {
                counting += PolynomialSampleCounts(views.At(v, i), views.At(v, j)) ? 1 : 0;
            }
            if (counting <= compensation::kFbbLeastViewsExclusive) {
                continue;
            }
            const int from = samples.Count();
            for (int v = 0; v < views.viewCount; ++v) {
                if (PolynomialSampleCounts(views.At(v, i), views.At(v, j))) {
                    AppendSample(samples, views, v, i, j, map, 0.0);
                }
            }
            CentreSamples(samples, from, samples.Count());
        }
    }
    return samples;
}

// The distance of every target pair in the in-line view, calibrated with the model as it stands.
std::vector<double> InlineDistances(const ViewSet& views, int inlineView, TMapper* map) {
    std::vector<double> d;
    for (int i = 0; i + 1 < views.perView; ++i) {
        for (int j = i + 1; j < views.perView; ++j) {
            CVector a = CalibratedCopy(views.At(inlineView, i), map);
            CVector b = CalibratedCopy(views.At(inlineView, j), map);
            d.push_back(compensation::DistanceBetween(a, b));
        }
    }
    return d;
}

int FitElevationPolynomial(const ViewSet& views, TMapper* map, TCompOut* out, int flagClassify,
                           PairDistance distance) {
    using namespace compensation;
    map->El_ElC = 0.0;
    std::vector<double> reference;
    if (distance == PairDistance::kInlineView) {
        reference = InlineDistances(views, out->m_nInlineView, map);
    }
    double TMapper::*const elements[kTerms] = {&TMapper::B_minus, &TMapper::A_minus,
                                               &TMapper::C_minus};
    const detail::EstimatedElements saved(map, elements, kTerms);

    PolynomialSamples samples = CollectSamples(views, map, distance, reference);
    const int count = samples.Count();
    // Fewer samples than coefficients leave the polynomial undetermined.
    if (count < kTerms) {
        saved.Restore();
        return kPolynomialNotConverged;
    }
    double normal[kTerms * kTerms];
    double rhs[kTerms];
    double solution[kTerms];
    for (int p = 0; p < kTerms; ++p) {
        for (int q = 0; q < kTerms; ++q) {
            normal[p * kTerms + q] =
                AverageProduct(samples.columns[p].data(), samples.columns[q].data(), 0, count);
        }
        rhs[p] = AverageProduct(samples.columns[p].data(), samples.y.data(), 0, count);
    }
    if (!detail::SolveDetermined(kTerms, normal, rhs, solution)) {
        saved.Restore();
        return kPolynomialNotConverged;
    }
    map->B_minus = solution[0];
    map->A_minus = solution[1];
    map->C_minus = solution[2];

    // Residuals as distances: deficit = 2 D dD.
    double sumSquares = 0.0;
    double largest = kRunningMaxStart;
    int worst = -1;
    for (int k = 0; k < count; ++k) {
        const double deficit = samples.y[k] - map->B_minus * samples.columns[0][k] -
                               map->A_minus * samples.columns[1][k] -
                               map->C_minus * samples.columns[2][k];
        const double deviation = deficit / (2.0 * std::sqrt(samples.squared[k]));
        sumSquares += deviation * deviation;
        if (std::fabs(deviation) > largest) {
            largest = std::fabs(deviation);
            worst = k;
        }
    }
    out->m_dStdIB_fbb = std::sqrt(sumSquares / (count - 1));

    const double dA = saved.Entry(1) - map->A_minus;
    const double dB = saved.Entry(0) - map->B_minus;
    const double dC = saved.Entry(2) - map->C_minus;
    const double change = std::sqrt(dA * dA + dB * dB + dC * dC);
    if (flagClassify != 0) {
        return change > kAngleToleranceRad ? kPolynomialNotConverged : 0;
    }
    if (out->m_dStdIB_fbb > kRejectSpread && worst >= 0) {
        views.vec[samples.first[worst]].Quality = kRejectedQuality;
        views.vec[samples.second[worst]].Quality = kRejectedQuality;
        return kPolynomialRejected;
    }
    return 0;
}

// The host's arguments checked (kInvalidInput before anything is written), then the fit.
int RunElevationPolynomial(CVector* pVec, TMapper* pMap, int nCount, int nCountViews,
                           TCompOut* pCompOut, int nFlagClassify, PairDistance distance) {
    const bool fits =
        pMap != nullptr && pCompOut != nullptr && nCount >= 0 && nCountViews >= 0 &&
        nCount <= compensation::kMostTargetsPerView &&
        static_cast<long long>(nCount) * nCountViews <= std::numeric_limits<int>::max() &&
        (pVec != nullptr || nCount == 0 || nCountViews == 0) &&
        (distance == PairDistance::kCentred ||
         (pCompOut->m_nInlineView >= 0 && pCompOut->m_nInlineView < nCountViews));
    if (!fits) {
        return compensation::kInvalidInput;
    }
    return compensation::detail::KeepModelWhenOutOfMemory(
        pMap, compensation::kPolynomialNotConverged, [&] {
            return FitElevationPolynomial({pVec, nCount, nCountViews}, pMap, pCompOut,
                                          nFlagClassify, distance);
        });
}

}  // namespace

int CCompensation::CalculateFCKIB(CVector* pVec, TMapper* pMap, int nCount, int nCountViews,
                                  TCompOut* pCompOut, int nFlagClassify) {
    return RunElevationPolynomial(pVec, pMap, nCount, nCountViews, pCompOut, nFlagClassify,
                                  PairDistance::kInlineView);
}

int CCompensation::CalculateFBBIB(CVector* pVec, TMapper* pMap, int nCount, int nCountViews,
                                  TCompOut* pCompOut, int nFlagClassify) {
    return RunElevationPolynomial(pVec, pMap, nCount, nCountViews, pCompOut, nFlagClassify,
                                  PairDistance::kCentred);
}
