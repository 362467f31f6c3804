// Check views and flying views: the same targets measured from a series of instrument views.
// After each view the host learns whether the views so far agree and where to point the next
// one; on the complete set it learns whether the views reach low and high enough in elevation.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "model/sight_angle.h"
#include "model/vec3.h"
#include "selection/elevation_bands.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

struct TargetPair {
    int first = -1;
    int second = -1;
};

bool IsLiveFrontSight(const CVector& sight) {
    return sight.Type == kTypeFrontSight && IsLive(sight);
}

// The two live front sights of view 0 that lie farthest apart; an earlier pair keeps its place
// on equal distances.
TargetPair FarthestPairOfFirstView(CVector* vectors, int viewSize) {
    std::vector<int> candidates;
    for (int i = 0; i < viewSize; ++i) {
        if (IsLiveFrontSight(vectors[i])) {
            candidates.push_back(i);
        }
    }
    if (candidates.size() >= 2) {
        for (const int i : candidates) {
            vectors[i].Sphr2Cart();
        }
    }
    TargetPair farthest;
    double largest = kRunningMaxStart;
    for (std::size_t first = 0; first < candidates.size(); ++first) {
        for (std::size_t second = first + 1; second < candidates.size(); ++second) {
            const double distance =
                DistanceBetween(vectors[candidates[first]], vectors[candidates[second]]);
            if (distance > largest) {
                largest = distance;
                farthest = {candidates[first], candidates[second]};
            }
        }
    }
    return farthest;
}

// The view in which the pair is seen most nearly in line (both live), or -1 when no view
// sees it within the in-line angle.
int InlineView(CVector* vectors, int views, int viewSize, TargetPair pair) {
    int best = -1;
    double smallest = kRunningMinStart;
    for (int view = 0; view < views; ++view) {
        CVector& firstTarget = vectors[view * viewSize + pair.first];
        CVector& secondTarget = vectors[view * viewSize + pair.second];
        firstTarget.Sphr2Cart();
        secondTarget.Sphr2Cart();
        const double angle = detail::SightAngle(firstTarget, secondTarget);
        if (IsLive(firstTarget) && IsLive(secondTarget) && angle < smallest) {
            smallest = angle;
            best = view;
        }
    }
    return smallest < kTenDegrees ? best : -1;
}

// The acceptance of a complete set of check or flying views; the two differ only in the least
// number of views they demand.
int AcceptAllViews(CVector* vectors, int targets, int count, double* gapElevation, TCompOut* record,
                   int leastViews) {
    if (targets < 1) {
        return kInvalidInput;
    }
    const long long views = count / (2LL * targets);
    if (views < leastViews) {
        return kTooFewViews;
    }
    // From here 2 targets times the view count fits in the count.
    const int viewSize = 2 * targets;
    const TargetPair pair = FarthestPairOfFirstView(vectors, viewSize);
    record->m_nInlineView = kInlineViewNone;
    if (pair.first < 0) {
        return kNoInlineView;
    }
    const int inlineView = InlineView(vectors, static_cast<int>(views), viewSize, pair);
    if (inlineView < 0) {
        return kNoInlineView;
    }
    record->m_nInlineView = inlineView;

    std::vector<detail::ElevationBand> bands =
        detail::BuildElevationBands(vectors, count, targets, static_cast<int>(views) - 1,
                                    static_cast<long long>(inlineView) * viewSize,
                                    static_cast<long long>(inlineView + 1) * viewSize);
    detail::SortBandsByLow(bands);
    return detail::JudgeElevationBands(bands, kTenDegrees, gapElevation);
}

// Degrees of elevation for the next view: the first half of the views climbs from -45 degrees
// toward the angle that the targets' span subtends, the second half from there toward +45.
void ProposeNextView(double spanDeg, int view, int views, double* angle, bool* lower) {
    const int half = (views - 1) / 2;
    if (view < half) {
        *angle = (kCheckViewAngleLimitDeg - spanDeg) * view / half - kCheckViewAngleLimitDeg;
        *lower = true;
    } else {
        *angle = (kCheckViewAngleLimitDeg - spanDeg) * (view - half) / (views - half - 2) + spanDeg;
        *lower = false;
    }
}

double LargestSpan(CVector* averages, int targets) {
    double largest = kRunningMaxStart;
    for (int i = 0; i < targets; ++i) {
        for (int j = i + 1; j < targets; ++j) {
            largest = std::max(largest, DistanceBetween(averages[i], averages[j]));
        }
    }
    return largest;
}

}  // namespace

int CCompensation::AcceptFCKView(CVector* pAvg, CVector* pVec, int nTargets, int nCountAll,
                                 int nView, int nViews, double* pAngle, bool* pLower) try {
    if (nTargets < 1 || nTargets > INT_MAX / 2 || nView < 0) {
        return kInvalidInput;
    }
    const int targetsPerView = 2 * nTargets;
    const int viewsSoFar = nCountAll / targetsPerView;
    if (viewsSoFar < 1) {
        return kInvalidInput;
    }
    std::vector<double> spreads(static_cast<std::size_t>(targetsPerView));
    int result =
        detail::AverageAndRefine(*this, pAvg, pVec, targetsPerView, viewsSoFar, spreads.data());
    if (result == 0) {
        result = SpreadFailures(spreads, kCheckViewSpreadFailure);
    }
    // The last two views of the series are judged but get no proposed angle.
    if (result != 0 || static_cast<long long>(nView) >= static_cast<long long>(nViews) - 2) {
        return result;
    }
    ProposeNextView(LargestSpan(pAvg, nTargets) * kSpanToAngleDeg, nView, nViews, pAngle, pLower);
    return 0;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

int CCompensation::AcceptFCKAllViews(CVector* pVec, int nTargets, int nCountAll, double* pGapEl,
                                     TCompOut* pCompOut) try {
    return AcceptAllViews(pVec, nTargets, nCountAll, pGapEl, pCompOut, kLeastCheckViews);
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// A flying view that measures three or more targets constrains enough on its own that three
// views suffice.
int CCompensation::AcceptFlyingAllViews(CVector* pVec, int nTargets, int nCountAll, double* pGapEl,
                                        TCompOut* pCompOut) try {
    const int leastViews =
        nTargets >= kFlyingManyTargets ? kLeastFlyingViewsManyTargets : kLeastCheckViews;
    return AcceptAllViews(pVec, nTargets, nCountAll, pGapEl, pCompOut, leastViews);
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
