// Elevation coverage of a series of views: each view sees its targets in a band of elevation,
// and together the bands must reach from well below the horizon to well above it without a
// gap, or the elevation terms of the model cannot be told apart.
#ifndef COMPENSATION_SELECTION_ELEVATION_BANDS_H
#define COMPENSATION_SELECTION_ELEVATION_BANDS_H

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "compensation/vector.h"
#include "engine/constants.h"
#include "selection/selection.h"

namespace compensation::detail {

struct ElevationBand {
    double low = kRunningMinStart;
    double high = kRunningMaxStart;
};

// One band per view, filled from the front sights in array order: every perBand front sights
// close a band and open the next. Measurements with index in [skipFrom, skipTo) take no part.
// Front sights beyond the last band belong to no view of the set and are left out.
inline std::vector<ElevationBand> BuildElevationBands(const CVector* vectors, int count,
                                                      int perBand, int bandCount,
                                                      long long skipFrom, long long skipTo) {
    std::vector<ElevationBand> bands(bandCount > 0 ? static_cast<std::size_t>(bandCount) : 0);
    std::size_t band = 0;
    int inBand = 0;
    for (int i = 0; i < count && band < bands.size(); ++i) {
        if (vectors[i].Type != kTypeFrontSight || (skipFrom <= i && i < skipTo)) {
            continue;
        }
        const double elevation = vectors[i].Elevation;
        bands[band].high = std::max(bands[band].high, elevation);
        bands[band].low = std::min(bands[band].low, elevation);
        if (++inBand == perBand) {
            inBand = 0;
            ++band;
        }
    }
    return bands;
}

// Ascending by the low edge, by adjacent exchanges only where the left one is strictly greater,
// so bands with equal low edges keep their order.
inline void SortBandsByLow(std::vector<ElevationBand>& bands) {
    bool exchanged = true;
    while (exchanged) {
        exchanged = false;
        for (std::size_t i = 1; i < bands.size(); ++i) {
            if (bands[i - 1].low > bands[i].low) {
                std::swap(bands[i - 1], bands[i]);
                exchanged = true;
            }
        }
    }
}

// Status of sorted bands: kNoLowView when the lowest band does not reach kLowestElevationDemand,
// else kNoHighView when the band that starts highest does not reach kHighestElevationDemand,
// else kElevationGap when a band starts more than gapMargin above the end of the band below
// (gapElevation then receives the middle of that gap in degrees), else kViewsAccepted. An edge that
// is not a number reaches nothing.
inline int JudgeElevationBands(const std::vector<ElevationBand>& bands, double gapMargin,
                               double* gapElevation) {
    if (bands.empty() || !(bands.front().low <= kLowestElevationDemand)) {
        return kNoLowView;
    }
    if (!(bands.back().high >= kHighestElevationDemand)) {
        return kNoHighView;
    }
    for (std::size_t band = 1; band < bands.size(); ++band) {
        if (bands[band - 1].high + gapMargin < bands[band].low) {
            *gapElevation = (bands[band - 1].high + bands[band].low) * kHalfRadToDeg;
            return kElevationGap;
        }
    }
    return kViewsAccepted;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_SELECTION_ELEVATION_BANDS_H
