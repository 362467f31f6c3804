// The rows of the El_ElC fit: El_ElC's first-order response to the readings and to the model, in
// one pass over the samples the fit takes.
//
// The fit's estimate is k = -c sum_k a_k y_k / sum_k a_k^2 (c turns radians into degrees), a_k
// the sample's slope gap and y_k = D_k^2 - D_ref^2 the gap of its squared distance from the
// pair's reference one; it moves with y_k by -c a_k / sum a^2. D_k^2 moves with the sample's two
// view readings, D_ref^2 with the pair's two reference readings, each the plain mean of one
// outside target's spherical readings over its live views: a reading moves its mean by 1/n of
// its own change, and the calibration of the mean moves with the model as the mean of its
// readings' calibrations to well within the views' micrometre spread.
//
// Everything is calibrated with El_ElC at 0: the fit estimates its absolute value.
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "engine/constants.h"
#include "fits/bel_geometry.h"
#include "fits/fit_rows.h"
#include "report/run_record.h"
#include "selection/selection.h"

namespace compensation::detail {

namespace {

// The readings one outside target's mean is formed from: their set, and their indices in it.
struct OutsideViews {
    int set = 0;
    std::vector<int> live;
};

}  // namespace

std::optional<FitDerivatives> ElElCRows(const Snapshot& snapshot, const ElElCSets& where,
                                        const TMapper& model,
                                        const std::vector<double TMapper::*>& inputs) {
    const std::vector<CVector>& views = snapshot.sets[static_cast<std::size_t>(where.viewSet)];
    if (where.perOutsideView < 1 || where.perView < 1 || where.views < 1 ||
        static_cast<std::size_t>(where.perView) * static_cast<std::size_t>(where.views) >
            views.size()) {
        return std::nullopt;
    }
    // The reference readings as the fit gets them.
    const auto perOutsideView = static_cast<std::size_t>(where.perOutsideView);
    std::vector<OutsideViews> means(2 * perOutsideView);
    std::vector<CVector> reference(means.size());
    for (std::size_t t = 0; t < means.size(); ++t) {
        OutsideViews& m = means[t];
        m.set = where.outside[t / perOutsideView];
        const std::vector<CVector>& outside = snapshot.sets[static_cast<std::size_t>(m.set)];
        const std::size_t outsideViews = outside.size() / perOutsideView;
        if (outsideViews == 0) {
            return std::nullopt;
        }
        const std::size_t target = t % perOutsideView;
        AverageOfViews(reference[t], outside.data(), static_cast<int>(target), where.perOutsideView,
                       static_cast<int>(outsideViews));
        for (std::size_t index = target; index < outsideViews * perOutsideView;
             index += perOutsideView) {
            if (IsLive(outside[index])) {
                m.live.push_back(static_cast<int>(index));
            }
        }
    }
    if (reference.size() < static_cast<std::size_t>(kElElCTargets)) {
        return std::nullopt;
    }
    int targets[kElElCTargets];
    std::vector<ElElCTargetPair> pairs;
    if (!ElElCPairs(reference.data(), views.data(), where.perView, snapshot.out, targets, pairs) ||
        pairs.empty()) {
        return std::nullopt;
    }

    TMapper map = model;
    map.El_ElC = 0.0;
    CalibratedReadings calibrated(views, map);
    struct Sample {
        int first;
        int second;
        std::size_t pair;
        double slopeGap;
    };
    std::vector<Sample> samples;
    // El_ElC lowers the elevation by cos(pi/4 - El/2) per radian.
    const auto slope = [](const CalibratedSight& a, const CalibratedSight& b) {
        const auto elElC = [](const CalibratedSight& s) {
            return Scaled(s.per[kElevationComponent],
                          -std::cos(kQuarterPi - 0.5 * s.reading.Elevation));
        };
        return 2.0 *
               Dot(Minus(PositionOf(a.reading), PositionOf(b.reading)), Minus(elElC(a), elElC(b)));
    };
    std::vector<std::array<CalibratedSight, 2>> ends(pairs.size());
    double sumSquares = 0.0;
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        ends[p] = {SightOf(reference[static_cast<std::size_t>(pairs[p].i)], &map),
                   SightOf(reference[static_cast<std::size_t>(pairs[p].j)], &map)};
        const double referenceSlope = slope(ends[p][0], ends[p][1]);
        for (int v = 0; v < where.views; ++v) {
            const int first = v * where.perView + targets[pairs[p].i];
            const int second = v * where.perView + targets[pairs[p].j];
            if (!IsLive(views[static_cast<std::size_t>(first)]) ||
                !IsLive(views[static_cast<std::size_t>(second)])) {
                continue;
            }
            const double slopeGap = slope(calibrated[first], calibrated[second]) - referenceSlope;
            samples.push_back({first, second, p, slopeGap});
            sumSquares += slopeGap * slopeGap;
        }
    }
    if (!(sumSquares > 0.0)) {
        return std::nullopt;
    }

    FitResponse response(snapshot, {&TMapper::El_ElC}, inputs, model);
    std::vector<double> pairGain(pairs.size(), 0.0);
    for (const Sample& s : samples) {
        const double gain = -kRadToDeg * s.slopeGap / sumSquares;
        const CalibratedSight& a = calibrated[s.first];
        const CalibratedSight& b = calibrated[s.second];
        AddSeparationResponse(response.At({where.viewSet, s.first}), &gain, 1, a, b);
        AddSeparationResponse(response.At({where.viewSet, s.second}), &gain, 1, b, a);
        pairGain[s.pair] += gain;
    }
    // The reference distance enters every sample of its pair with the opposite sign; each of its
    // means passes its share to the readings it is the mean of.
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        const int target[2] = {pairs[p].i, pairs[p].j};
        for (std::size_t end = 0; end < 2; ++end) {
            const OutsideViews& m = means[static_cast<std::size_t>(target[end])];
            if (m.live.empty()) {
                continue;
            }
            const double share = -pairGain[p] / static_cast<double>(m.live.size());
            for (int index : m.live) {
                AddSeparationResponse(response.At({m.set, index}), &share, 1, ends[p][end],
                                      ends[p][1 - end]);
            }
        }
    }
    return response.Finish({&TMapper::El_ElC});
}

}  // namespace compensation::detail
