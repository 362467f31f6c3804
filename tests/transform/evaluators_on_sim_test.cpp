// The placement evaluators fed the simulated tracker's layouts as a host feeds them: the nominal
// targets of one view (its Type 14 vector at position 0, then the targets in the view's order)
// and the transform that carries world coordinates into the frame of the placement being
// planned. The pairs they choose must have the geometry the fits need, and the fits must work
// with them: written into TCompOut, the indices address the same targets in the host's views,
// and the fit on exact readings of those targets finds the true model element again.
//
// The geometry below is taken from the simulator (sim::TrueReading and the world points), never
// from CTransform, so that a wrong placement transform cannot hide behind a consistent mapping.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"

namespace {

namespace sim = compensation::sim;

// The evaluators' own thresholds: the in-line window of the D2 pair and the same-azimuth window
// of the X0/Y0 pair (radians), the least D2 and extra separations (metres), the planning limit
// of a predicted check (metres), the Ax/Ay azimuth band and limit, the extra pair's azimuth
// window and elevation limit (radians).
constexpr double kPairWindow = 0.3491;
constexpr double kMinD2Separation = 4.0;
constexpr double kMinExtraSeparation = 3.0;
constexpr double kPlanningLimit = 2.54e-05;
constexpr double kAxAyBandLow = 0.4363323129985;
constexpr double kAxAyBandHigh = 2.0071286397931;
constexpr double kAxAyLimit = 0.0003747143980155584;
constexpr double kExtraWindow = 0.17455;
constexpr double kExtraElevationLimit = -0.3491;

// The fits' own convergence limits: a fitting call returns 0 only once its step fell below
// them, and on exact readings the steps shrink geometrically, so the estimate then lies within
// one such step of the truth. Metres for X0, Y0 and D2, degrees for Ax, Ay and K_minus.
constexpr double kLengthStep = 5.08e-07;
constexpr double kAngleStep = 7.494287960311168e-06;
// Exact readings need a couple of fitting calls; more than this means the fit does not settle.
constexpr int kFitCalls = 10;

// Both ways of computing where a target appears use a few double operations on coordinates of
// at most 20 m and angles of at most pi: rounding stays near 1e-14.
constexpr double kMappingTolerance = 1e-12;

constexpr double kPi = 3.141592653589793;

struct Pair {
    int first;
    int second;
    bool operator==(const Pair& o) const { return first == o.first && second == o.second; }
    bool operator<(const Pair& o) const {
        return std::make_pair(first, second) < std::make_pair(o.first, o.second);
    }
};

std::ostream& operator<<(std::ostream& os, const Pair& p) {
    return os << "(" << p.first << ", " << p.second << ")";
}

// The transform that carries world coordinates into the frame of an untilted placement. The
// simulator turns a world offset d by the heading h about the vertical axis,
// (d.x cos h + d.z sin h, d.y, d.z cos h - d.x sin h): the right-handed rotation Ry(h). The
// transform's rotation is Rx(-Alpha) Ry(-Beta) Rz(-Gamma), so Alpha = Gamma = 0 and Beta = -h;
// its translation takes the placement's position to the origin, -Ry(h) position.
TRANSFORM_PARMS WorldToInstrument(const sim::Placement& placement) {
    EXPECT_EQ(placement.tilt_x, 0.0);
    EXPECT_EQ(placement.tilt_z, 0.0);
    const double c = std::cos(placement.heading);
    const double s = std::sin(placement.heading);
    const sim::Point& p = placement.position;
    TRANSFORM_PARMS parms{};
    parms.Alpha = 0.0;
    parms.Beta = -placement.heading;
    parms.Gamma = 0.0;
    parms.X = -(c * p.x + s * p.z);
    parms.Y = -p.y;
    parms.Z = -(c * p.z - s * p.x);
    return parms;
}

CVector NominalPoint(const sim::Point& p, int type) {
    CVector v;
    v.X = p.x;
    v.Y = p.y;
    v.Z = p.z;
    v.Cart2Sphr();
    v.Radian = true;
    v.Quality = 100.0;
    v.Type = type;
    v.SeType();
    return v;
}

// One view of the host's main array in world coordinates: the reference vector (a nominal
// metre along the station's zero azimuth, like the host's; as Type 14 it never pairs), then
// the targets, so that position k is target k of the layout's 1-based numbering.
std::vector<CVector> NominalView(const sim::Layout& layout) {
    const sim::Point& o = layout.station.position;
    std::vector<CVector> view{NominalPoint({o.x, o.y, o.z + 1.0}, 14)};
    for (const sim::Point& t : layout.targets) {
        view.push_back(NominalPoint(t, 100));
    }
    return view;
}

const sim::Point& Target(const sim::Layout& layout, int position) {
    return layout.targets.at(static_cast<std::size_t>(position - 1));
}

double WorldDistance(const sim::Point& a, const sim::Point& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

// The angle between the lines of sight to two targets, as the simulated instrument sees them.
double SightAngle(const sim::Placement& placement, const sim::Point& a, const sim::Point& b) {
    const CVector ra = sim::TrueReading(placement, a);
    const CVector rb = sim::TrueReading(placement, b);
    const double cosine = (ra.X * rb.X + ra.Y * rb.Y + ra.Z * rb.Z) / (ra.Range * rb.Range);
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

sim::Placement Turned(const sim::Placement& station, double heading) {
    sim::Placement view = station;
    view.heading = heading;
    return view;
}

// The least pair count the full procedures demand for a number of views.
int MinCountForViews(int nViews) {
    return nViews - 3 < 6 ? nViews : nViews - 3;
}

// Runs fitting calls until the fit reports 0. Returns the number of calls, or -1 when it did
// not settle within kFitCalls.
template <typename Fit>
int SettleFit(Fit fit) {
    for (int calls = 1; calls <= kFitCalls; ++calls) {
        const int r = fit();
        if (r == 0) {
            return calls;
        }
        if (r < 0) {
            ADD_FAILURE() << "the fit refused its input";
            return -1;
        }
    }
    return -1;
}

// The target pairs of every view of an exact (noise-free) scenario, selected with the pair that
// an evaluator wrote, as the full procedures select them.
struct PairSet {
    std::vector<CVector> pairs;
    int count = 0;
};

PairSet SelectPairs(CCompensation& engine, const sim::Scenario& s, Pair pair) {
    std::vector<CVector> main = s.main;
    PairSet set;
    set.pairs.resize(static_cast<std::size_t>(2 * s.nViews));
    engine.m_nMinCount = MinCountForViews(s.nViews);
    EXPECT_EQ(engine.ClassifyPairs(main.data(), s.nCount(), set.pairs.data(), pair.first,
                                   pair.second, &set.count, 1),
              0);
    EXPECT_EQ(set.count, s.nViews);
    return set;
}

Pair D2Pair(const TCompOut& out) {
    return {out.m_n1_d2, out.m_n2_d2};
}
Pair X0Y0Pair(const TCompOut& out) {
    return {out.m_n1_x0y0, out.m_n2_x0y0};
}
Pair AxAyPair(const TCompOut& out) {
    return {out.m_n1_axay, out.m_n2_axay};
}
Pair ExtraPair(const TCompOut& out) {
    return {out.m_n1_extra, out.m_n2_extra};
}

// D2 from the outside placement's repeats of `pair` and the same pair in every view.
void ExpectD2Recovered(sim::Layout layout, Pair pair) {
    layout.n1_d2 = pair.first;
    layout.n2_d2 = pair.second;
    const sim::Scenario s = sim::Simulate(layout, sim::RealisticTruth(sim::Kind::Full));
    CCompensation engine;
    PairSet set = SelectPairs(engine, s, pair);
    TMapper model = s.truth;
    model.D2 = 0.0;
    TCompOut out = s.compOut;
    std::vector<CVector> outside = s.outside1;
    EXPECT_GT(SettleFit([&] {
                  return engine.Calculate_d2(outside.data(), s.nCountOut1(), set.pairs.data(),
                                             set.count, &model, &out, 1);
              }),
              0)
        << "d2 pair " << pair;
    EXPECT_NEAR(model.D2, s.truth.D2, kLengthStep) << "d2 pair " << pair;
}

class EvaluatorsOnSim : public ::testing::TestWithParam<int> {
  protected:
    int Scale() const { return GetParam(); }
    CTransform transform_;
};

// The derived transform puts every target where the simulated instrument sees it, from the
// station turned to each view's heading and from the outside placement.
TEST_P(EvaluatorsOnSim, PlacementTransformMapsWorldIntoTheInstrumentFrame) {
    const sim::Layout layout = sim::FullFullLayout(Scale());
    std::vector<CVector> view = NominalView(layout);
    std::vector<sim::Placement> placements{layout.station, layout.outside};
    for (double heading : layout.headings) {
        placements.push_back(Turned(layout.station, heading));
    }
    for (const sim::Placement& placement : placements) {
        TRANSFORM_PARMS parms = WorldToInstrument(placement);
        for (int k = 1; k <= static_cast<int>(layout.targets.size()); ++k) {
            const CVector mapped = *transform_.GetNextVector(k, &parms, view.data());
            const CVector seen = sim::TrueReading(placement, Target(layout, k));
            EXPECT_NEAR(mapped.X, seen.X, kMappingTolerance);
            EXPECT_NEAR(mapped.Y, seen.Y, kMappingTolerance);
            EXPECT_NEAR(mapped.Z, seen.Z, kMappingTolerance);
            EXPECT_NEAR(mapped.Range, seen.Range, kMappingTolerance);
            EXPECT_NEAR(mapped.Azimuth, seen.Azimuth, kMappingTolerance);
            EXPECT_NEAR(mapped.Elevation, seen.Elevation, kMappingTolerance);
        }
    }
}

// From the outside placement EvaluateOutside takes, of the pairs more than 4 m apart, the one
// seen at the smallest angle. The placement is built for the simulator's d2 pair (it stands
// beyond the pair's first target on the line through both, stepped 0.35 m aside), which it
// sees at 6.6 degrees. At size 1 nothing is
// more in line and the evaluator takes exactly that pair. The larger rings bring ring targets
// more nearly in line:
// - size 2: ring targets 7 and 14, 6.2 m apart, at 6.2 degrees. From the station, however,
//   their separation hardly depends on D2: EvaluateInside predicts 2.78e-5 m, beyond the
//   2.54e-5 m limit (status 5). EvaluateOutside judges only the outside sight; the host must
//   ask EvaluateInside too and would keep the simulator's pair, which passes both.
// - size 3: ring target 4 and the d2 pair's first target, 6.8 m apart, at 2.2 degrees; it
//   passes EvaluateInside as well (1.4e-5 m): an equivalent choice.
// Noise-free readings do not tell the pairs apart: the D2 fit recovers D2 from each of them,
// which shows that the indices written address the right targets in the host's views. The
// predicted precision is what separates them once the readings carry noise.
TEST_P(EvaluatorsOnSim, OutsideChoosesTheMostInLineFarPairAndInsideJudgesIt) {
    struct Expected {
        Pair chosen;
        int insideStatus;
    };
    // Per size; at size 1 the simulator's d2 pair, positions 15 and 16.
    const Expected kExpected[] = {{{15, 16}, 0}, {{7, 14}, 5}, {{4, 39}, 0}};
    const Expected& expected = kExpected[Scale() - 1];

    for (const sim::Layout& layout : {sim::FullLayout(Scale()), sim::FullFullLayout(Scale())}) {
        std::vector<CVector> view = NominalView(layout);
        const int n = static_cast<int>(view.size());
        TRANSFORM_PARMS outside = WorldToInstrument(layout.outside);
        TCompOut out{};
        ASSERT_EQ(transform_.EvaluateOutside(view.data(), &outside, n, &out), 0);
        const Pair chosen = D2Pair(out);
        const Pair scenario{layout.n1_d2, layout.n2_d2};
        EXPECT_EQ(chosen, expected.chosen);
        EXPECT_EQ(chosen == scenario, Scale() == 1);

        // The geometry the D2 fit needs, and no far pair seen more nearly in line.
        const double angle =
            SightAngle(layout.outside, Target(layout, chosen.first), Target(layout, chosen.second));
        EXPECT_LT(angle, kPairWindow);
        EXPECT_GT(WorldDistance(Target(layout, chosen.first), Target(layout, chosen.second)),
                  kMinD2Separation);
        for (int i = 1; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                if (WorldDistance(Target(layout, i), Target(layout, j)) > kMinD2Separation) {
                    EXPECT_GE(SightAngle(layout.outside, Target(layout, i), Target(layout, j)),
                              angle - kMappingTolerance)
                        << "pair " << Pair{i, j};
                }
            }
        }

        // The inside check from the station: the same at every heading the station turns to,
        // since D2 does not depend on the azimuth.
        TCompOut scenarioOut{};
        scenarioOut.m_n1_d2 = scenario.first;
        scenarioOut.m_n2_d2 = scenario.second;
        for (double heading : layout.headings) {
            TRANSFORM_PARMS station = WorldToInstrument(Turned(layout.station, heading));
            TCompOut chosenOut = out;
            EXPECT_EQ(transform_.EvaluateInside(view.data(), &station, &chosenOut),
                      expected.insideStatus);
            EXPECT_EQ(transform_.EvaluateInside(view.data(), &station, &scenarioOut), 0);
        }
    }

    sim::Layout layout = sim::FullLayout(Scale());
    ExpectD2Recovered(layout, expected.chosen);
    if (!(expected.chosen == Pair{layout.n1_d2, layout.n2_d2})) {
        ExpectD2Recovered(layout, {layout.n1_d2, layout.n2_d2});
    }
}

// Planned from the station's own zero direction, Evaluate_x0y0 takes the simulator's x0y0
// pair at every size: the near low and far high targets 8 degrees apart in azimuth.
//
// Its window compares the azimuths as read, without wrapping at +-180 degrees. Fed one of the
// turned views instead, the heading that puts the pair across that seam (for the full layout
// at size 1, the view at -75 degrees sees it at 175 and -177 degrees) hides it, and the
// evaluator takes another pair that passes the same test. The fit itself works on separations,
// which know no seam: both pairs give X0 and Y0 back.
TEST_P(EvaluatorsOnSim, X0Y0ChoosesTheScenarioPairUnlessItStraddlesTheAzimuthSeam) {
    const sim::Layout layout = sim::FullLayout(Scale());
    std::vector<CVector> view = NominalView(layout);
    const int n = static_cast<int>(view.size());
    const Pair scenario{layout.n1_x0y0, layout.n2_x0y0};

    TRANSFORM_PARMS station = WorldToInstrument(layout.station);
    TCompOut out{};
    EXPECT_EQ(transform_.Evaluate_x0y0(view.data(), &station, n, &out), 0);
    EXPECT_EQ(X0Y0Pair(out), scenario);
    EXPECT_LT(out.m_dDx0y0_model, kPlanningLimit);

    std::set<Pair> chosen{scenario};
    int straddling = 0;
    for (double heading : layout.headings) {
        const sim::Placement turned = Turned(layout.station, heading);
        TRANSFORM_PARMS parms = WorldToInstrument(turned);
        TCompOut viewOut{};
        ASSERT_EQ(transform_.Evaluate_x0y0(view.data(), &parms, n, &viewOut), 0);
        const double apart =
            std::fabs(sim::TrueReading(turned, Target(layout, scenario.first)).Azimuth -
                      sim::TrueReading(turned, Target(layout, scenario.second)).Azimuth);
        const Pair pair = X0Y0Pair(viewOut);
        if (apart < kPairWindow) {
            EXPECT_EQ(pair, scenario) << "heading " << heading;
            continue;
        }
        ++straddling;
        EXPECT_GT(apart, 2.0 * kPi - kPairWindow);
        EXPECT_FALSE(pair == scenario);
        EXPECT_LT(std::fabs(sim::TrueReading(turned, Target(layout, pair.first)).Azimuth -
                            sim::TrueReading(turned, Target(layout, pair.second)).Azimuth),
                  kPairWindow);
        EXPECT_LT(viewOut.m_dDx0y0_model, kPlanningLimit);
        chosen.insert(pair);
    }
    if (Scale() == 1) {
        EXPECT_EQ(straddling, 1);
    }

    for (const Pair& pair : chosen) {
        sim::Layout planned = layout;
        planned.n1_x0y0 = pair.first;
        planned.n2_x0y0 = pair.second;
        const sim::Scenario s = sim::Simulate(planned, sim::RealisticTruth(sim::Kind::Full));
        CCompensation engine;
        PairSet set = SelectPairs(engine, s, pair);
        TMapper model = s.truth;
        model.X0 = 0.0;
        model.Y0 = 0.0;
        TCompOut fitOut = s.compOut;
        EXPECT_GT(SettleFit([&] {
                      return engine.Calculate_x0y0(set.pairs.data(), set.count, &model, &fitOut, 1);
                  }),
                  0)
            << "x0y0 pair " << pair;
        EXPECT_NEAR(model.X0, s.truth.X0, kLengthStep) << "x0y0 pair " << pair;
        EXPECT_NEAR(model.Y0, s.truth.Y0, kLengthStep) << "x0y0 pair " << pair;
    }
}

// The scenarios carry no Ax/Ay pair (no procedure uses one): the evaluator's choice from the
// station must lie in the 25 to 115 degree band, predict a check within its limit with more
// such pairs than the procedures' least count, and give Ax and Ay back through Calculate_axay.
TEST_P(EvaluatorsOnSim, AxAyChoosesAPairTheAxAyFitCanUse) {
    const sim::Layout layout = sim::FullLayout(Scale());
    std::vector<CVector> view = NominalView(layout);
    const int n = static_cast<int>(view.size());
    const int minPairs = MinCountForViews(static_cast<int>(layout.headings.size()));
    TRANSFORM_PARMS station = WorldToInstrument(layout.station);
    TCompOut out{};
    ASSERT_EQ(transform_.Evaluate_axay(view.data(), &station, n, &out, minPairs), 0);
    const Pair pair = AxAyPair(out);
    EXPECT_LT(out.m_dDaxay_model, kAxAyLimit);

    double apart = std::fabs(sim::TrueReading(layout.station, Target(layout, pair.first)).Azimuth -
                             sim::TrueReading(layout.station, Target(layout, pair.second)).Azimuth);
    apart = std::min(apart, 2.0 * kPi - apart);
    EXPECT_GT(apart, kAxAyBandLow);
    EXPECT_LT(apart, kAxAyBandHigh);

    const sim::Scenario s = sim::Simulate(layout, sim::RealisticTruth(sim::Kind::Full));
    CCompensation engine;
    PairSet set = SelectPairs(engine, s, pair);
    TMapper model = s.truth;
    model.Ax = 0.0;
    model.Ay = 0.0;
    TCompOut fitOut = s.compOut;
    EXPECT_GT(SettleFit([&] {
                  return engine.Calculate_axay(set.pairs.data(), set.count, &model, &fitOut, 1);
              }),
              0);
    EXPECT_NEAR(model.Ax, s.truth.Ax, kAngleStep);
    EXPECT_NEAR(model.Ay, s.truth.Ay, kAngleStep);
}

// With the simulator's d2 pair given, EvaluateExtraOutside (nSide 0, the lowest pair) looks
// from the outside placement for two targets near the d2 pair's azimuth, more than 3 m apart,
// whose mean elevation is lowest. The simulator's extra pair (two floor targets 3 and 7.5 m out,
// 3 degrees either side of the heading) qualifies at a mean of -32.6 degrees. Ring target 2,
// at every size a low target near the far d2 target's azimuth, is seen within the window and
// 0.7 to 10 milliradians lower than the far floor target, so the evaluator takes it in that
// target's place: with the near floor target at sizes 1 and 2; at size 3 ring target 23, lower
// still than the near floor target (-48.6 degrees against -44.1), takes that one's place too.
// It never uses the d2 pair's first target first nor its second target second. Either pair
// serves the K_minus fit: the elevation offset changes the pair's separation differently from
// the two placements, and the fit recovers it from each.
TEST_P(EvaluatorsOnSim, ExtraOutsideChoosesALowPairBesideTheD2Pair) {
    // Per size; the simulator's extra pair is the last two targets.
    const Pair kExpected[] = {{2, 17}, {2, 29}, {2, 23}};
    const Pair expected = kExpected[Scale() - 1];

    const sim::Layout layout = sim::FullFullLayout(Scale());
    std::vector<CVector> view = NominalView(layout);
    const int n = static_cast<int>(view.size());
    const Pair d2{layout.n1_d2, layout.n2_d2};
    const Pair scenario{layout.n1_extra, layout.n2_extra};
    TRANSFORM_PARMS outside = WorldToInstrument(layout.outside);
    TCompOut out{};
    out.m_n1_d2 = d2.first;
    out.m_n2_d2 = d2.second;
    ASSERT_EQ(transform_.EvaluateExtraOutside(view.data(), &outside, n, &out, 0), 0);
    const Pair chosen = ExtraPair(out);
    EXPECT_EQ(chosen, expected);
    EXPECT_NE(chosen.first, d2.first);
    EXPECT_NE(chosen.second, d2.second);

    const auto seen = [&](int k) { return sim::TrueReading(layout.outside, Target(layout, k)); };
    const double centre = (seen(d2.first).Azimuth + seen(d2.second).Azimuth) * 0.5;
    const auto meanElevation = [&](Pair p) {
        return (seen(p.first).Elevation + seen(p.second).Elevation) * 0.5;
    };
    for (const Pair& p : {chosen, scenario}) {
        EXPECT_LT(std::fabs(seen(p.first).Azimuth - centre), kExtraWindow) << p;
        EXPECT_LT(std::fabs(seen(p.second).Azimuth - centre), kExtraWindow) << p;
        EXPECT_GT(WorldDistance(Target(layout, p.first), Target(layout, p.second)),
                  kMinExtraSeparation)
            << p;
        EXPECT_LT(meanElevation(p), kExtraElevationLimit) << p;
    }
    EXPECT_LE(meanElevation(chosen), meanElevation(scenario));

    for (const Pair& pair : {chosen, scenario}) {
        sim::Layout planned = layout;
        planned.n1_extra = pair.first;
        planned.n2_extra = pair.second;
        const sim::Scenario s = sim::Simulate(planned, sim::RealisticTruth(sim::Kind::FullFull));
        CCompensation engine;
        PairSet set = SelectPairs(engine, s, pair);
        TMapper model = s.truth;
        model.K_minus = 0.0;
        TCompOut fitOut = s.compOut;
        std::vector<CVector> outside2 = s.outside2;
        EXPECT_GT(SettleFit([&] {
                      return engine.Calculate_cm(outside2.data(), s.nCountOut2(), set.pairs.data(),
                                                 set.count, &model, &fitOut, 1);
                  }),
                  0)
            << "extra pair " << pair;
        EXPECT_NEAR(model.K_minus, s.truth.K_minus, kAngleStep) << "extra pair " << pair;
    }
}

// The ring spans -45 to +60 degrees of elevation, so the station sees pairs whose two-face
// half-angles differ enough; the outside placement sees the network from one side, still
// spread in elevation.
TEST_P(EvaluatorsOnSim, TwoFaceGeometryIsUsableFromBothPlacements) {
    const sim::Layout layout = sim::FullFullLayout(Scale());
    std::vector<CVector> view = NominalView(layout);
    const int n = static_cast<int>(view.size());
    TRANSFORM_PARMS station = WorldToInstrument(layout.station);
    TRANSFORM_PARMS outside = WorldToInstrument(layout.outside);
    EXPECT_EQ(transform_.Evaluate_FSBS(view.data(), &station, n), 0);
    EXPECT_EQ(transform_.Evaluate_FSBS(view.data(), &outside, n), 0);
    // The reference vector alone, or with one target, forms no pair.
    EXPECT_EQ(transform_.Evaluate_FSBS(view.data(), &station, 2), 1);
}

INSTANTIATE_TEST_SUITE_P(SizeScales, EvaluatorsOnSim, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "scale" + std::to_string(info.param);
                         });

}  // namespace
