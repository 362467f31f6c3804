// FBB views: a group of targets measured in both faces from a series of set-ups, each seeing
// the group in a narrow band of elevation. A single view must be compact; the series must
// climb from well below the horizon to well above it without a gap.
#include <cmath>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "selection/elevation_bands.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

struct ElevationExtremes {
    bool found = false;
    double high = kRunningMaxStart;
    double low = kRunningMinStart;
    double rangeAtHigh = 0.0;
    double rangeAtLow = 0.0;
};

// Highest and lowest front sight of the view with their ranges; on equal elevations the
// first measurement keeps its place.
ElevationExtremes FindElevationExtremes(const CVector* vectors, int count) {
    ElevationExtremes extremes;
    bool haveHigh = false;
    bool haveLow = false;
    for (int i = 0; i < count; ++i) {
        const CVector& sight = vectors[i];
        if (sight.Type != kTypeFrontSight) {
            continue;
        }
        if (sight.Elevation > extremes.high) {
            extremes.high = sight.Elevation;
            extremes.rangeAtHigh = sight.Range;
            haveHigh = true;
        }
        if (sight.Elevation < extremes.low) {
            extremes.low = sight.Elevation;
            extremes.rangeAtLow = sight.Range;
            haveLow = true;
        }
    }
    extremes.found = haveHigh && haveLow;
    return extremes;
}

}  // namespace

// A view without a measured front sight shows nothing about its compactness and is refused:
// its elevation span would otherwise read as the starting values' -200 and pass.
int CCompensation::AcceptFBBView(CVector* pVec, int nCount) {
    const ElevationExtremes extremes = FindElevationExtremes(pVec, nCount);
    if (!extremes.found || extremes.high - extremes.low >= kTwentyDegrees) {
        return kFbbViewRefused;
    }
    return std::fabs(extremes.rangeAtHigh - extremes.rangeAtLow) < kFbbViewRangeSpan
               ? kFbbViewAccepted
               : kFbbViewRefused;
}

// Front sights beyond the last complete view belong to no view and are left out of the bands.
int CCompensation::AcceptFBBAllViews(CVector* pVec, int nCountPerView, int nCount,
                                     double* pGapEl) try {
    if (nCountPerView < 1) {
        return kInvalidInput;
    }
    const long long views = nCount / (2LL * nCountPerView);
    if (views < kLeastFbbViews) {
        return kTooFewViews;
    }
    std::vector<detail::ElevationBand> bands =
        detail::BuildElevationBands(pVec, nCount, nCountPerView, static_cast<int>(views), 0, 0);
    detail::SortBandsByLow(bands);
    // Touching bands leave no elevation unmeasured, so only a band that starts above the end of
    // the band below is a gap.
    return detail::JudgeElevationBands(bands, 0.0, pGapEl);
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
