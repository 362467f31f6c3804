// The placement evaluators fed the simulator's layout as a host feeds them. The chosen pairs must
// have the geometry the fits need (taken from sim::TrueReading, never from CTransform) and a fit on
// exact readings of them must find the true element again.
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "transform_fixtures.h"

namespace {

namespace sim = compensation::sim;
using Pair = std::pair<int, int>;

// The evaluators' thresholds: the D2 window (rad) and separation (m), the X0/Y0 planning limit (m),
// the Ax/Ay band (rad) and limit, the extra pair's window, separation and elevation limit.
constexpr double kPairWindow = 0.3491, kMinD2Separation = 4.0, kPlanningLimit = 2.54e-05;
constexpr double kAxAyBandLow = 0.4363323129985, kAxAyBandHigh = 2.0071286397931;
constexpr double kAxAyLimit = 0.0003747143980155584;
constexpr double kExtraWindow = 0.17455, kMinExtraSeparation = 3.0, kExtraElevationLimit = -0.3491;
// The fits stop once their step falls below these (m for D2; Ax, Ay, K_minus in their own unit);
// on exact readings the steps shrink geometrically, so the estimate lies within one step of truth.
constexpr double kLengthStep = 5.08e-07, kAngleStep = 7.494287960311168e-06;
// A few double operations on coordinates of at most 20 m: rounding stays near 1e-14.
constexpr double kMappingTolerance = 1e-12;
using compensation::testing::kPi;

// Untilted, the simulator turns world offsets by Ry(heading) and the transform rotates by
// Rx(-Alpha) Ry(-Beta) Rz(-Gamma): Beta = -heading, translation -Ry(heading) position.
TRANSFORM_PARMS WorldToInstrument(const sim::Placement& placement) {
    const double h = placement.heading, c = std::cos(h), s = std::sin(h);
    const sim::Point& p = placement.position;
    return {0.0, -h, 0.0, -(c * p.x + s * p.z), -p.y, -(c * p.z - s * p.x)};
}

// The reference (Type 14, never paired) a nominal metre along the station's zero azimuth, then
// the targets, so that position k is target k of the layout's 1-based numbering.
std::vector<CVector> NominalView(const sim::Layout& layout) {
    const sim::Point& o = layout.station.position;
    std::vector<CVector> view{transform_test::PointAt({o.x, o.y, o.z + 1.0}, 14)};
    for (const sim::Point& t : layout.targets) {
        view.push_back(transform_test::PointAt({t.x, t.y, t.z}));
    }
    return view;
}

// The full-full layout at size 1 as the station and the outside placement see it.
class EvaluatorsOnSim : public ::testing::Test {
  protected:
    CVector Seen(const sim::Placement& at, int k) const {
        return sim::TrueReading(at, layout_.targets.at(static_cast<std::size_t>(k - 1)));
    }
    double Distance(Pair p) const {
        const CVector a = Seen(layout_.station, p.first), b = Seen(layout_.station, p.second);
        return std::hypot(a.X - b.X, a.Y - b.Y, a.Z - b.Z);
    }
    static int MinCount(int views) { return views - 3 < 6 ? views : views - 3; }

    // Exact readings with `pair` selected in every view as the procedures do; with the elements
    // cleared the fit must settle (a couple of calls; ten mean it does not) on their true values.
    template <typename Fit>
    void ExpectRecovered(const sim::Layout& layout, Pair pair,
                         const std::vector<double TMapper::*>& elements, double step, Fit fit) {
        sim::Scenario s = sim::Simulate(layout, sim::RealisticTruth(sim::Kind::FullFull));
        CCompensation engine;
        engine.m_nMinCount = MinCount(s.nViews);
        std::vector<CVector> pairs(static_cast<std::size_t>(2 * s.nViews));
        int count = 0, r = 1;
        ASSERT_EQ(engine.ClassifyPairs(s.main.data(), s.nCount(), pairs.data(), pair.first,
                                       pair.second, &count, 1),
                  0);
        TMapper model = s.truth;
        for (double TMapper::*e : elements) {
            model.*e = 0.0;
        }
        for (int calls = 0; r > 0 && calls < 10; ++calls) {
            r = fit(engine, s, pairs.data(), count, &model, &s.compOut);
        }
        ASSERT_EQ(r, 0);
        for (double TMapper::*e : elements) {
            EXPECT_NEAR(model.*e, s.truth.*e, step);
        }
    }

    sim::Layout layout_ = sim::FullFullLayout(1);
    std::vector<CVector> view_ = NominalView(layout_);
    int n_ = static_cast<int>(view_.size());
    TRANSFORM_PARMS station_ = WorldToInstrument(layout_.station);
    TRANSFORM_PARMS outside_ = WorldToInstrument(layout_.outside);
    CTransform transform_;
    TCompOut out_{};
};

// The derived transform puts every target where the simulated instrument sees it.
TEST_F(EvaluatorsOnSim, PlacementTransformMatchesTheSimulatedReadings) {
    for (const sim::Placement& placement : {layout_.station, layout_.outside}) {
        TRANSFORM_PARMS parms = WorldToInstrument(placement);
        for (int k = 1; k < n_; ++k) {
            const CVector mapped = *transform_.GetNextVector(k, &parms, view_.data());
            for (double CVector::*m : {&CVector::X, &CVector::Y, &CVector::Z, &CVector::Range,
                                       &CVector::Azimuth, &CVector::Elevation}) {
                EXPECT_NEAR(mapped.*m, Seen(placement, k).*m, kMappingTolerance) << "target " << k;
            }
        }
    }
}

// EvaluateOutside takes the far pair most nearly in line from outside: the simulator's d2 pair
// (6.6 degrees), which EvaluateInside accepts from the station and the D2 fit recovers D2 from.
TEST_F(EvaluatorsOnSim, OutsideChoosesTheMostInLineFarPair) {
    ASSERT_EQ(transform_.EvaluateOutside(view_.data(), &outside_, n_, &out_), 0);
    const Pair chosen{out_.m_n1_d2, out_.m_n2_d2};
    EXPECT_EQ(chosen, Pair(layout_.n1_d2, layout_.n2_d2));
    const CVector a = Seen(layout_.outside, chosen.first), b = Seen(layout_.outside, chosen.second);
    EXPECT_LT(std::acos((a.X * b.X + a.Y * b.Y + a.Z * b.Z) / (a.Range * b.Range)), kPairWindow);
    EXPECT_GT(Distance(chosen), kMinD2Separation);
    EXPECT_EQ(transform_.EvaluateInside(view_.data(), &station_, &out_), 0);
    ExpectRecovered(layout_, chosen, {&TMapper::D2}, kLengthStep, [](auto& e, auto& s, auto... a) {
        return e.Calculate_d2(s.outside1.data(), s.nCountOut1(), a..., 1);
    });
}

// The scenarios carry no Ax/Ay pair: the evaluator's choice must lie in the 25 to 115 degree
// azimuth band, predict a check within its limit, and give Ax and Ay back through Calculate_axay.
TEST_F(EvaluatorsOnSim, AxAyChoosesAPairTheAxAyFitCanUse) {
    const int views = static_cast<int>(layout_.headings.size());
    ASSERT_EQ(transform_.Evaluate_axay(view_.data(), &station_, n_, &out_, MinCount(views)), 0);
    const Pair pair{out_.m_n1_axay, out_.m_n2_axay};
    EXPECT_LT(out_.m_dDaxay_model, kAxAyLimit);
    const auto az = [&](int k) { return Seen(layout_.station, k).Azimuth; };
    const double apart = std::fabs(std::remainder(az(pair.first) - az(pair.second), 2 * kPi));
    EXPECT_GT(apart, kAxAyBandLow);
    EXPECT_LT(apart, kAxAyBandHigh);
    ExpectRecovered(layout_, pair, {&TMapper::Ax, &TMapper::Ay}, kAngleStep,
                    [](auto& e, auto&, auto... a) { return e.Calculate_axay(a..., 1); });
}

// EvaluateExtraOutside (nSide 0) takes the lowest pair near the d2 pair's azimuth, over 3 m apart.
// The simulator's extra pair qualifies, but ring target 2 is seen lower than its far floor target
// and takes its place; the K_minus fit, fed the chosen pair's outside repeats, recovers K_minus.
TEST_F(EvaluatorsOnSim, ExtraOutsideChoosesALowPairBesideTheD2Pair) {
    const Pair d2{layout_.n1_d2, layout_.n2_d2}, scenario{layout_.n1_extra, layout_.n2_extra};
    std::tie(out_.m_n1_d2, out_.m_n2_d2) = d2;
    ASSERT_EQ(transform_.EvaluateExtraOutside(view_.data(), &outside_, n_, &out_, 0), 0);
    const Pair chosen{out_.m_n1_extra, out_.m_n2_extra};
    EXPECT_EQ(chosen, Pair(2, 17));
    const auto seen = [&](int k) { return Seen(layout_.outside, k); };
    const double centre = (seen(d2.first).Azimuth + seen(d2.second).Azimuth) * 0.5;
    const auto meanElevation = [&](Pair p) {
        return (seen(p.first).Elevation + seen(p.second).Elevation) / 2;
    };
    for (const Pair& p : {chosen, scenario}) {
        EXPECT_LT(std::fabs(seen(p.first).Azimuth - centre), kExtraWindow);
        EXPECT_LT(std::fabs(seen(p.second).Azimuth - centre), kExtraWindow);
        EXPECT_GT(Distance(p), kMinExtraSeparation);
        EXPECT_LT(meanElevation(p), kExtraElevationLimit);
    }
    EXPECT_LE(meanElevation(chosen), meanElevation(scenario));
    std::tie(layout_.n1_extra, layout_.n2_extra) = chosen;  // the outside repeats follow the pair
    ExpectRecovered(layout_, chosen, {&TMapper::K_minus}, kAngleStep,
                    [](auto& e, auto& s, auto... a) {
                        return e.Calculate_cm(s.outside2.data(), s.nCountOut2(), a..., 1);
                    });
}

// From its own zero direction the station takes the simulator's x0y0 pair (near low and far high
// targets 8 degrees apart in azimuth). The ring spans -45 to +60 degrees of elevation and the
// outside placement still sees it spread, so both give two-face pairs; one target forms none.
TEST_F(EvaluatorsOnSim, X0Y0AndTwoFacePairsFromTheStation) {
    EXPECT_EQ(transform_.Evaluate_x0y0(view_.data(), &station_, n_, &out_), 0);
    EXPECT_EQ(Pair(out_.m_n1_x0y0, out_.m_n2_x0y0), Pair(layout_.n1_x0y0, layout_.n2_x0y0));
    EXPECT_LT(out_.m_dDx0y0_model, kPlanningLimit);
    EXPECT_EQ(transform_.Evaluate_FSBS(view_.data(), &station_, n_), 0);
    EXPECT_EQ(transform_.Evaluate_FSBS(view_.data(), &outside_, n_), 0);
    EXPECT_EQ(transform_.Evaluate_FSBS(view_.data(), &station_, 2), 1);
}

}  // namespace
