// El_ElC, the elevation term weighted by cos(pi/4 - El/2), from four targets whose reference
// measurements fix the distances between them.
//
// A target pair far apart in range and in elevation sees El_ElC differently at its two ends, so
// its distance in every view, compared with its reference distance, shows it. One linear least-
// squares step in the single coefficient gives the new absolute value.
#include <cmath>
#include <limits>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/statistics.h"
#include "fits/bel_geometry.h"
#include "fits/fit_support.h"
#include "fits/point_gradients.h"

namespace {

using compensation::IsLive;
using compensation::detail::CalibratedCopy;

constexpr int kTableTargets = compensation::detail::kElElCTargets;

// Index of a target pair (i, j) of the table, i < j, in the order (0,1), (0,2), (0,3), (1,2),
// (1,3), (2,3).
using TablePair = compensation::detail::ElElCTargetPair;
constexpr TablePair kTablePairs[] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};

// One view of one qualifying pair: its squared distance and slope against the reference pair's.
struct ElElCSample {
    double squared;           // D^2 of the view
    double referenceSquared;  // D^2 of the reference measurements
    double slopeGap;          // a of the view minus a of the reference
    int first;                // indices of the two measurements in the view-structured array
    int second;
};

struct ElElCInput {
    const CVector* reference;
    const CVector* views;
    int viewCount;
    int perView;
    int targets[kTableTargets];
    std::vector<TablePair> pairs;  // the qualifying pairs
};

// The samples of every qualifying pair in every view where both its measurements are live, with
// the model as it stands.
std::vector<ElElCSample> CollectSamples(const ElElCInput& in, TMapper* map) {
    std::vector<ElElCSample> samples;
    for (const TablePair& pair : in.pairs) {
        const CVector refA = CalibratedCopy(in.reference[pair.i], map);
        const CVector refB = CalibratedCopy(in.reference[pair.j], map);
        const double refSquared = compensation::SquaredSeparation(refA, refB);
        const double refSlope =
            compensation::SeparationSlope(refA, refB, compensation::GradientElElC);
        for (int v = 0; v < in.viewCount; ++v) {
            const int first = v * in.perView + in.targets[pair.i];
            const int second = v * in.perView + in.targets[pair.j];
            if (!IsLive(in.views[first]) || !IsLive(in.views[second])) {
                continue;
            }
            const CVector a = CalibratedCopy(in.views[first], map);
            const CVector b = CalibratedCopy(in.views[second], map);
            samples.push_back(
                {compensation::SquaredSeparation(a, b), refSquared,
                 compensation::SeparationSlope(a, b, compensation::GradientElElC) - refSlope, first,
                 second});
        }
    }
    return samples;
}

// The host's target numbers are 1-based positions within a view; each must address one.
bool TargetTable(const TCompOut& out, int perView, int targets[kTableTargets]) {
    const int numbers[kTableTargets] = {out.m_n1_d2, out.m_n2_d2, out.m_n1_extra, out.m_n2_extra};
    for (int k = 0; k < kTableTargets; ++k) {
        if (numbers[k] < 1 || numbers[k] > perView) {
            return false;
        }
        targets[k] = numbers[k] - 1;
    }
    return true;
}

// Far apart in reference range and in view-0 elevation (raw readings).
bool Qualifies(const CVector* reference, const CVector* views, const int targets[kTableTargets],
               const TablePair& pair) {
    return std::fabs(reference[pair.i].Range - reference[pair.j].Range) >
               compensation::kElElCRangeSpan &&
           std::fabs(views[targets[pair.i]].Elevation - views[targets[pair.j]].Elevation) >
               compensation::kElElCElevationSpan;
}

}  // namespace

int compensation::detail::QualifyingElElCPairs(const CVector* reference, const CVector* views,
                                               int perView, const TCompOut& out) {
    int targets[kTableTargets];
    if (reference == nullptr || views == nullptr || !TargetTable(out, perView, targets)) {
        return 0;
    }
    int count = 0;
    for (const TablePair& pair : kTablePairs) {
        count += Qualifies(reference, views, targets, pair) ? 1 : 0;
    }
    return count;
}

bool compensation::detail::ElElCPairs(const CVector* reference, const CVector* views, int perView,
                                      const TCompOut& out, int targets[kElElCTargets],
                                      std::vector<ElElCTargetPair>& pairs) {
    pairs.clear();
    if (!TargetTable(out, perView, targets)) {
        return false;
    }
    for (const TablePair& pair : kTablePairs) {
        if (Qualifies(reference, views, targets, pair)) {
            pairs.push_back(pair);
        }
    }
    return true;
}

int CCompensation::Calculate_bEl(CVector* pVecRef, CVector* pVec, int nCountViews, int nCount,
                                 TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    using namespace compensation;
    ElElCInput in{pVecRef, pVec, nCountViews, nCount, {}, {}};
    if (pVecRef == nullptr || pVec == nullptr || pMap == nullptr || pCompOut == nullptr ||
        nCountViews < 1 ||
        static_cast<long long>(nCount) * nCountViews > std::numeric_limits<int>::max() ||
        !TargetTable(*pCompOut, nCount, in.targets)) {
        return kInvalidInput;
    }
    return detail::KeepModelWhenOutOfMemory(pMap, kElElCNotConverged, [&] {
        // Every qualifying pair is used, however many of the six qualify.
        detail::ElElCPairs(pVecRef, pVec, nCount, *pCompOut, in.targets, in.pairs);

        double TMapper::*const element[] = {&TMapper::El_ElC};
        const detail::EstimatedElements saved(pMap, element, 1);

        // D^2_v + k a_v = D^2_ref + k a_ref for El_ElC = k radians: least squares through the
        // origin.
        std::vector<ElElCSample> samples = CollectSamples(in, pMap);
        const int count = static_cast<int>(samples.size());
        std::vector<double> squaredGap(count);
        std::vector<double> slopeGap(count);
        for (int k = 0; k < count; ++k) {
            squaredGap[k] = samples[k].squared - samples[k].referenceSquared;
            slopeGap[k] = samples[k].slopeGap;
        }
        const double estimate =
            -kRadToDeg *
            compensation::AverageProduct(squaredGap.data(), slopeGap.data(), 0, count) /
            compensation::AverageProduct(slopeGap.data(), slopeGap.data(), 0, count);
        if (!std::isfinite(estimate)) {
            saved.Restore();
            return kElElCNotConverged;
        }
        pMap->El_ElC = estimate;
        int status = saved.LargestChange() > kAngleToleranceDeg ? kElElCNotConverged : 0;

        // The spread of the distances, and the sample whose squared distance strays most.
        samples = CollectSamples(in, pMap);
        const int liveSamples = static_cast<int>(samples.size());
        double sum = 0.0;
        double worst = kFarRunningMaxStart;
        int worstFirst = -1;
        int worstSecond = -1;
        for (const ElElCSample& sample : samples) {
            const double gap = std::sqrt(sample.squared) - std::sqrt(sample.referenceSquared);
            sum += gap * gap;
            const double stray = std::fabs(sample.squared - sample.referenceSquared);
            if (stray > worst) {
                worst = stray;
                worstFirst = sample.first;
                worstSecond = sample.second;
            }
        }
        pCompOut->m_dStdExtraIn = std::sqrt(sum / (liveSamples - 1));

        // A rejection must leave enough samples: three views less than all, for every pair.
        const int pairCount = static_cast<int>(in.pairs.size());
        const int least = pairCount >= 2 ? (nCountViews - 3) * pairCount - 1 : nCountViews - 3;
        if (nFlagClassify == 0 && pCompOut->m_dStdExtraIn > kRejectSpread && status == 0 &&
            liveSamples > least && worstFirst >= 0) {
            pVec[worstFirst].Quality = kRejectedQuality;
            pVec[worstSecond].Quality = kRejectedQuality;
            status = kElElCRejected;
        }
        return status;
    });
}
