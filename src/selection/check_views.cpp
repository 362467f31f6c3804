// Check views and flying views: the same targets measured from a series of instrument views.
// After each view the host learns whether the views so far agree and where to point the next
// one; on the complete set it learns whether the views reach low and high enough in elevation.
#include <climits>
#include <cstddef>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "model/sight_angle.h"
#include "selection/elevation_bands.h"
#include "selection/selection.h"
#include "selection/view_averaging.h"

namespace {

using namespace compensation;

struct TargetPair {
    int first = -1;
    int second = -1;
};

bool IsLiveFrontSight(const CVector& v) {
    return v.Type == kTypeFrontSight && IsLive(v);
}

double DistanceBetween(CVector& a, const CVector& b) {
    return a.InterVectorRange(a, b);
}

// The two live front sights of view 0 that lie farthest apart; an earlier pair keeps its place
// on equal distances.
TargetPair FarthestPairOfFirstView(CVector* pVec, int viewSize) {
    std::vector<int> candidates;
    for (int i = 0; i < viewSize; ++i) {
        if (IsLiveFrontSight(pVec[i])) {
            candidates.push_back(i);
        }
    }
    if (candidates.size() >= 2) {
        for (const int i : candidates) {
            pVec[i].Sphr2Cart();
        }
    }
    TargetPair farthest;
    double largest = kRunningMaxStart;
    for (std::size_t p = 0; p < candidates.size(); ++p) {
        for (std::size_t q = p + 1; q < candidates.size(); ++q) {
            const double d = DistanceBetween(pVec[candidates[p]], pVec[candidates[q]]);
            if (d > largest) {
                largest = d;
                farthest = {candidates[p], candidates[q]};
            }
        }
    }
    return farthest;
}

// The view in which the pair is seen most nearly in line (both live), or -1 when no view
// sees it within the in-line angle.
int InlineView(CVector* pVec, int views, int viewSize, TargetPair pair) {
    int best = -1;
    double smallest = kRunningMinStart;
    for (int v = 0; v < views; ++v) {
        CVector& a = pVec[v * viewSize + pair.first];
        CVector& b = pVec[v * viewSize + pair.second];
        a.Sphr2Cart();
        b.Sphr2Cart();
        const double angle = detail::SightAngle(a, b);
        if (IsLive(a) && IsLive(b) && angle < smallest) {
            smallest = angle;
            best = v;
        }
    }
    return smallest < kTenDegrees ? best : -1;
}

// The acceptance of a complete set of check or flying views; the two differ only in the least
// number of views they demand.
int AcceptAllViews(CVector* pVec, int nTargets, int nCountAll, double* pGapEl, TCompOut* pCompOut,
                   int leastViews) {
    if (nTargets < 1) {
        return kInvalidInput;
    }
    const long long views = nCountAll / (2LL * nTargets);
    if (views < leastViews) {
        return kTooFewViews;
    }
    // From here 2 nTargets times the view count fits in nCountAll.
    const int viewSize = 2 * nTargets;
    const TargetPair pair = FarthestPairOfFirstView(pVec, viewSize);
    pCompOut->m_nInlineView = kInlineViewNone;
    if (pair.first < 0) {
        return kNoInlineView;
    }
    const int inlineView = InlineView(pVec, static_cast<int>(views), viewSize, pair);
    if (inlineView < 0) {
        return kNoInlineView;
    }
    pCompOut->m_nInlineView = inlineView;

    std::vector<detail::ElevationBand> bands =
        detail::BuildElevationBands(pVec, nCountAll, nTargets, static_cast<int>(views) - 1,
                                    static_cast<long long>(inlineView) * viewSize,
                                    static_cast<long long>(inlineView + 1) * viewSize);
    detail::SortBandsByLow(bands);
    return detail::JudgeElevationBands(bands, kTenDegrees, pGapEl);
}

// Degrees of elevation for the next view: the first half of the views climbs from -45 degrees
// toward the angle that the targets' span subtends, the second half from there toward +45.
void ProposeNextView(double spanDeg, int nView, int nViews, double* pAngle, bool* pLower) {
    const int half = (nViews - 1) / 2;
    if (nView < half) {
        *pAngle = (kCheckViewAngleLimitDeg - spanDeg) * nView / half - kCheckViewAngleLimitDeg;
        *pLower = true;
    } else {
        *pAngle =
            (kCheckViewAngleLimitDeg - spanDeg) * (nView - half) / (nViews - half - 2) + spanDeg;
        *pLower = false;
    }
}

double LargestSpan(CVector* pAvg, int nTargets) {
    double largest = kRunningMaxStart;
    for (int i = 0; i < nTargets; ++i) {
        for (int j = i + 1; j < nTargets; ++j) {
            const double d = DistanceBetween(pAvg[i], pAvg[j]);
            if (d > largest) {
                largest = d;
            }
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
        for (const double spread : spreads) {
            if (SpreadBeyond(spread, kRejectSpread)) {
                result += kCheckViewSpreadFailure;
            }
        }
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
