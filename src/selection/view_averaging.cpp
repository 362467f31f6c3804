// Averaging of targets measured from several views, and the rejection of the view that
// scatters a target most.
#include <climits>
#include <cmath>
#include <cstddef>

#include "compensation/engine.h"
#include "selection/selection.h"
#include "selection/view_averaging.h"

namespace {

using namespace compensation;

// The layout is nViews blocks of nTargets measurements; without a target or a view there is no
// view-0 measurement to start an average from.
bool LayoutFits(int nTargets, int nViews) {
    return nTargets >= 1 && nViews >= 1 &&
           static_cast<long long>(nTargets) * nViews <= static_cast<long long>(INT_MAX);
}

std::size_t At(int target, int view, int nTargets) {
    return static_cast<std::size_t>(view) * static_cast<std::size_t>(nTargets) +
           static_cast<std::size_t>(target);
}

double DistanceBetween(CVector& a, const CVector& b) {
    return a.InterVectorRange(a, b);
}

// Plain arithmetic means of the spherical values: the views of one target lie within a few
// micrometres of each other, so the mean of the angles is the angle of the mean point (away
// from the +-pi seam). Returns the number of live views.
int AverageTarget(CVector& avg, const CVector* pVec, int target, int nTargets, int nViews) {
    avg = pVec[target];
    avg.Range = 0.0;
    avg.Azimuth = 0.0;
    avg.Elevation = 0.0;
    avg.T = 0.0;
    avg.Quality = kAveragedQuality;
    int live = 0;
    for (int view = 0; view < nViews; ++view) {
        const CVector& m = pVec[At(target, view, nTargets)];
        if (IsLive(m)) {
            avg.Range += m.Range;
            avg.Azimuth += m.Azimuth;
            avg.Elevation += m.Elevation;
            avg.T += m.T;
            ++live;
        }
    }
    if (live > 0) {
        avg.Range /= live;
        avg.Azimuth /= live;
        avg.Elevation /= live;
        avg.T /= live;
    } else {
        avg.Quality = kNoLiveViewQuality;
    }
    return live;
}

// RMS distance of the live views from the averaged point.
double TargetSpread(CVector& avg, const CVector* pVec, int target, int nTargets, int nViews,
                    int live) {
    avg.Sphr2Cart();
    double sumSquares = 0.0;
    for (int view = 0; view < nViews; ++view) {
        const CVector& m = pVec[At(target, view, nTargets)];
        if (IsLive(m)) {
            const double d = DistanceBetween(avg, m);
            sumSquares += d * d;
        }
    }
    return std::sqrt(sumSquares / live);
}

// The live view farthest from the average; the earliest view wins a tie. -1 when none is live.
int FarthestLiveView(CVector& avg, const CVector* pVec, int target, int nTargets, int nViews) {
    int farthest = -1;
    double largest = kRunningMaxStart;
    for (int view = 0; view < nViews; ++view) {
        const CVector& m = pVec[At(target, view, nTargets)];
        if (IsLive(m)) {
            const double d = DistanceBetween(avg, m);
            if (d > largest) {
                largest = d;
                farthest = view;
            }
        }
    }
    return farthest;
}

}  // namespace

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
        const int live = AverageTarget(pAvg[target], pVec, target, nTargets, nViews);
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

int AverageAndRefine(CCompensation& engine, CVector* pAvg, CVector* pVec, int nTargets, int nViews,
                     double* pStd) {
    const int result = engine.AverageVectorArray(pAvg, pVec, nTargets, nViews, pStd);
    if (result != 0) {
        return result;
    }
    int rejected = engine.RefineVectorArray(pAvg, pVec, nTargets, nViews, pStd);
    for (int repeats = 0; rejected > 0 && repeats < nViews - kRefineKeptViews; ++repeats) {
        rejected = engine.RefineVectorArray(pAvg, pVec, nTargets, nViews, pStd);
    }
    return result;
}

}  // namespace compensation::detail
