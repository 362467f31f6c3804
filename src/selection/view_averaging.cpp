// Averaging of targets measured from several views, and the rejection of the view that
// scatters a target most.
#include <climits>
#include <cmath>
#include <cstddef>

#include "compensation/engine.h"
#include "model/vec3.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

// The layout is `views` blocks of `targets` measurements; without a target or a view there is no
// view-0 measurement to start an average from.
bool LayoutFits(int targets, int views) {
    return targets >= 1 && views >= 1 &&
           static_cast<long long>(targets) * views <= static_cast<long long>(INT_MAX);
}

std::size_t At(int target, int view, int targets) {
    return static_cast<std::size_t>(view) * static_cast<std::size_t>(targets) +
           static_cast<std::size_t>(target);
}

// RMS distance of the live views from the averaged point.
double TargetSpread(CVector& average, const CVector* measurements, int target, int targets,
                    int views, int live) {
    average.Sphr2Cart();
    double sumSquares = 0.0;
    for (int view = 0; view < views; ++view) {
        const CVector& measurement = measurements[At(target, view, targets)];
        if (IsLive(measurement)) {
            const double distance = DistanceBetween(average, measurement);
            sumSquares += distance * distance;
        }
    }
    return std::sqrt(sumSquares / live);
}

// The live view farthest from the average; the earliest view wins a tie. -1 when none is live.
int FarthestLiveView(CVector& average, const CVector* measurements, int target, int targets,
                     int views) {
    int farthest = -1;
    double largest = kRunningMaxStart;
    for (int view = 0; view < views; ++view) {
        const CVector& measurement = measurements[At(target, view, targets)];
        if (IsLive(measurement)) {
            const double distance = DistanceBetween(average, measurement);
            if (distance > largest) {
                largest = distance;
                farthest = view;
            }
        }
    }
    return farthest;
}

}  // namespace

// Plain arithmetic means of the spherical values: the views of one target lie within a few
// micrometres of each other, so the mean of the angles is the angle of the mean point (away
// from the +-pi seam). Returns the number of live views.
int compensation::detail::AverageOfViews(CVector& average, const CVector* measurements, int target,
                                         int targets, int views) {
    average = measurements[target];
    average.Range = 0.0;
    average.Azimuth = 0.0;
    average.Elevation = 0.0;
    average.T = 0.0;
    average.Quality = kAveragedQuality;
    int live = 0;
    for (int view = 0; view < views; ++view) {
        const CVector& measurement = measurements[At(target, view, targets)];
        if (IsLive(measurement)) {
            average.Range += measurement.Range;
            average.Azimuth += measurement.Azimuth;
            average.Elevation += measurement.Elevation;
            average.T += measurement.T;
            ++live;
        }
    }
    if (live > 0) {
        average.Range /= live;
        average.Azimuth /= live;
        average.Elevation /= live;
        average.T /= live;
    } else {
        average.Quality = kNoLiveViewQuality;
    }
    return live;
}

int CCompensation::AverageVectorArray(CVector* pAvg, CVector* pVec, int nTargets, int nViews,
                                      double* pStd) {
    if (!LayoutFits(nTargets, nViews)) {
        return kInvalidInput;
    }
    const std::size_t measurements = At(0, nViews, nTargets);
    for (std::size_t i = 0; i < measurements; ++i) {
        pVec[i].Sphr2Cart();  // also turns degrees into radians
    }

    int withoutLiveView = 0;
    for (int target = 0; target < nTargets; ++target) {
        const int live = detail::AverageOfViews(pAvg[target], pVec, target, nTargets, nViews);
        pStd[target] = 0.0;
        if (live > 0) {
            pStd[target] = TargetSpread(pAvg[target], pVec, target, nTargets, nViews, live);
        } else {
            ++withoutLiveView;
        }
    }
    return withoutLiveView;
}

int CCompensation::RefineVectorArray(CVector* pAvg, CVector* pVec, int nTargets, int nViews,
                                     double* pStd) {
    if (!LayoutFits(nTargets, nViews)) {
        return kInvalidInput;
    }
    int rejected = 0;
    for (int target = 0; target < nTargets; ++target) {
        if (!(pStd[target] > kQuarterThouInch)) {
            continue;
        }
        const int view = FarthestLiveView(pAvg[target], pVec, target, nTargets, nViews);
        if (view >= 0) {
            pVec[At(target, view, nTargets)].Quality = kRejectedQuality;
            ++rejected;
        }
    }
    if (rejected > 0) {
        AverageVectorArray(pAvg, pVec, nTargets, nViews, pStd);
    }
    return rejected;
}

namespace compensation::detail {

int AverageAndRefine(CCompensation& engine, CVector* averages, CVector* measurements, int targets,
                     int views, double* spreads) {
    const int result = engine.AverageVectorArray(averages, measurements, targets, views, spreads);
    if (result != 0) {
        return result;
    }
    int rejected = engine.RefineVectorArray(averages, measurements, targets, views, spreads);
    for (int repeats = 0; rejected > 0 && repeats < views - kRefineKeptViews; ++repeats) {
        rejected = engine.RefineVectorArray(averages, measurements, targets, views, spreads);
    }
    return result;
}

}  // namespace compensation::detail
