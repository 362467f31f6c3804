// The full-full compensation end to end on the simulated tracker, one scenario per mode.
//
// What modes 0 and 1 cannot see: the main two-face fit solves A2 and El_ElS (of sin q,
// q = pi/4 - El/2) from the ring, the FBB two-face fit the flying views' face difference as a
// cubic in El (B_plus, A_plus, C_plus). The cubic absorbs the constant and El_ElS sin q up to a
// quartic remainder, so the fits settle on their own split; only the sum, the face-dependent
// elevation correction F(El) in degrees, is observable and compared. Mode 2 fits no cubic.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "fits/fit_support.h"
#include "procedures/procedure_steps.h"

namespace compensation::e2e {
namespace {

using sim::Kind;
using sim::Layout;
using sim::Options;
using sim::Placement;
using sim::Point;

Scenario MakeFullFull(int mode, const sim::Noise& noise = {}) {
    Options options;
    options.mode = mode;
    options.noise = noise;
    return sim::MakeScenario("fullfull", options);
}

double FaceCorrection(const TMapper& m, double el) {
    const double q = kQuarterPi - 0.5 * el;
    return 2.0 * m.A2 + m.El_ElS * std::sin(q) +
           (m.B_plus * el + m.A_plus * el * el + m.C_plus * el * el * el) * kPolyRadToDeg;
}

// The quartic remainder El^4 / 543 x El_ElS (2.4e-6 degrees at the ring's top, 60 degrees) plus
// the joint loops' change limit (7.5e-6 degrees).
constexpr double kFaceTolerance = 1e-5;

// Every element the truth sets but, in modes 0 and 1, T_ref and the face split, replaced by F at
// nine elevations over the measured range.
std::vector<Quantity> Checked(const Scenario& s, int mode) {
    if (mode == 2) {
        return FittedElements(s.truth);
    }
    std::vector<Quantity> checked =
        FittedElements(s.truth, {&TMapper::A2, &TMapper::El_ElS, &TMapper::B_plus, &TMapper::A_plus,
                                 &TMapper::C_plus, &TMapper::T_ref});
    double lo = 10.0;
    double hi = -10.0;
    for (const std::vector<CVector>* set : {&s.main, &s.flying}) {
        for (const CVector& v : *set) {
            if (v.Type == kTypeFrontSight) {
                lo = std::min(lo, v.Elevation);
                hi = std::max(hi, v.Elevation);
            }
        }
    }
    for (int k = 0; k <= 8; ++k) {
        const double el = lo + (hi - lo) * k / 8.0;
        checked.push_back({"F(" + std::to_string(el) + ")",
                           [el](const TMapper& m) { return FaceCorrection(m, el); }, kFaceTolerance,
                           kAngleNoise * kRadToDeg});
    }
    return checked;
}

TEST(FullFullCompensation, NoiseFreeRecoversEveryElementTheModeSees) {
    for (int mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Scenario s = MakeFullFull(mode);
        // 56 shared; K_minus, face-free cubic and face split, or El_ElC, A2 and El_ElS.
        ASSERT_EQ(FittedElements(s.truth, {&TMapper::T_ref}).size(), mode == 2 ? 59u : 65u);
        const Outcome run = RunFullFull(s, mode);
        ASSERT_EQ(run.result, 0);
        ExpectRecovered(Checked(s, mode), run.model, s.truth);
    }
}

// Twelve terms of 4 points from 50 (mode 1 validates in mode 2), or ten of 5 without flying views.
TEST(FullFullCompensation, NoiseFreeScoresTheValidationsBest) {
    for (int mode = 0; mode <= 2; ++mode) {
        Scenario s = MakeFullFull(mode);
        EXPECT_EQ(RunFullFull(s, mode).out.m_nConfidence, mode == 2 ? 100 : 98) << mode;
    }
}

TEST(FullFullCompensation, ElementsTheTruthLeavesZeroStayZero) {
    for (int mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Scenario s = MakeFullFull(mode);
        ExpectOnlyFittedElementsWritten(RunFullFull(s, mode).model, TMapper{},
                                        [&s](Member m) { return s.truth.*m != 0.0; });
    }
}

// T_ref is the flying front sights' mean T; some twenty values near 20 round to a few 1e-15.
TEST(FullFullCompensation, TRefIsTheFlyingViewsMeanT) {
    for (int mode = 0; mode <= 2; ++mode) {
        Scenario s = MakeFullFull(mode);
        EXPECT_NEAR(RunFullFull(s, mode).model.T_ref, s.truth.T_ref, 1e-12) << mode;
    }
}

// Larger networks settle in mode 0 as the base size does. There the first pass's outlier pass
// uses up the evaluations it shares with the second pass, whose first flying outlier test then
// runs on the first pass's model and drops one good reading of the lowest band; the joint loop
// of the FBB interball and K_minus fits must still contract without it.
void ExpectModeZeroSettles(double size, double boardWidth) {
    SCOPED_TRACE("size scale " + std::to_string(size) + ", board width " +
                 std::to_string(boardWidth));
    Options options;
    options.size_scale = size;
    options.board_width = boardWidth;
    Scenario s = sim::MakeScenario("fullfull0", options);
    const Outcome run = RunFullFull(s, 0);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.out.m_nConfidence, 98);
    ExpectRecovered(Checked(s, 0), run.model, s.truth);
}

TEST(FullFullCompensation, ModeZeroSettlesOnLargerNetworks) {
    for (double scale : {2.0, 3.0}) {
        ExpectModeZeroSettles(scale, 1.0);
    }
}

// Limit ten readings: K_minus, a mean of outside/in-view pair estimates each divided by a short
// elevation lever, reaches six in mode 1; the A1 and A3 odd first harmonics come next at 1.6.
TEST(FullFullCompensation, NoisyDataStayWithinTheirSpread) {
    for (int mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const Scenario exact = MakeFullFull(mode);
        ExpectNoiseWithinItsSpread(Checked(exact, mode), exact.truth, 8, 10.0,
                                   [mode](const sim::Noise& noise) {
                                       Scenario s = MakeFullFull(mode, noise);
                                       const Outcome run = RunFullFull(s, mode);
                                       EXPECT_EQ(run.result, 0) << "seed " << noise.seed;
                                       return run.model;
                                   });
    }
}

// Only the default truth's large sixth harmonics leave the first pass's spreads above the limit,
// so only they call the six-harmonic pass: the elements just it writes end non-zero.
TEST(FullFullCompensation, TheSixHarmonicPassRunsOnlyWhenTheFirstLeavesSpreads) {
    const Member sixHarmonicOnly[] = {
        &TMapper::A1_6AzS, &TMapper::A1_6AzC, &TMapper::A3_6AzS, &TMapper::A3_6AzC,
        &TMapper::Az_5AzS, &TMapper::Az_5AzC, &TMapper::El_6AzS, &TMapper::El_6AzC,
        &TMapper::A1_5AzS, &TMapper::A1_5AzC, &TMapper::A2_5AzS, &TMapper::A2_5AzC,
        &TMapper::A3_5AzS, &TMapper::A3_5AzC, &TMapper::Az_6AzS, &TMapper::Az_6AzC};
    for (const bool sixth : {false, true}) {
        SCOPED_TRACE(sixth ? "with sixth harmonics" : "without");
        TMapper truth = sim::RealisticTruth(Kind::FullFull, 2);
        for (Member m : sixHarmonicOnly) {
            ASSERT_NE(truth.*m, 0.0);
            truth.*m = sixth ? truth.*m : 0.0;
        }
        Options options;
        options.mode = 2;
        options.truth = truth;
        Scenario s = sim::MakeScenario("fullfull", options);
        const Outcome run = RunFullFull(s, 2);
        ASSERT_EQ(run.result, 0);
        ExpectRecovered(FittedElements(s.truth), run.model, s.truth);
        for (Member m : sixHarmonicOnly) {
            EXPECT_EQ(run.model.*m != 0.0, sixth);
        }
    }
}

// Every element at its start but T_ref, set from the flying views before coverage is judged.
void ExpectNoFitRan(const Scenario& s, const Outcome& run) {
    for (const MapperElement& e : kMapperElements) {
        if (e.member != &TMapper::T_ref) {
            EXPECT_EQ(run.model.*e.member, s.start.*e.member) << e.name;
        }
    }
    EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
}

// Views 6 and 7 (headings -33.75, -11.25) are the only ones in sector 3 (-45 to 0 degrees).
void LoseSectorThree(Scenario& s) {
    for (int v : {6, 7}) {
        s.main[static_cast<std::size_t>(MainIndex(s, v, 0))].Quality = 40.0;
    }
}

// Facing placements climb 9.6 degrees, each view spans 16: without those at 0 and 9.6 a gap.
Scenario WithFlyingElevationGap() {
    Layout layout = sim::FullFullLayout(1.0, 0);
    layout.fly_placements.erase(layout.fly_placements.begin() + 5,
                                layout.fly_placements.begin() + 7);
    return sim::Simulate(layout, sim::RealisticTruth(Kind::FullFull, 0));
}

// Flying (1 too few views, 4 a gap) plus main (9 + sector) codes, before any fit.
TEST(FullFullCompensation, CoverageFailuresReturnTheSumOfBothCodesBeforeAnyFit) {
    struct Case {
        const char* what;
        int mode;
        int flyingViews;  // kept, or -1 for all
        bool loseSector;
        int result;
    };
    const Case cases[] = {
        {"two flying views", 0, 2, false, 1},
        {"main sector 3 empty", 1, -1, true, 12},
        {"both", 0, 2, true, 13},
        {"mode 2 without flying views", 2, 0, true, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s = MakeFullFull(c.mode);
        if (c.flyingViews >= 0) {
            s.flying.resize(static_cast<std::size_t>(c.flyingViews * 2 * s.nTargetsFly));
        }
        if (c.loseSector) {
            LoseSectorThree(s);
        }
        const Outcome run = RunFullFull(s, c.mode);
        EXPECT_EQ(run.result, c.result);
        ExpectNoFitRan(s, run);
    }
    Scenario gap = WithFlyingElevationGap();
    const Outcome run = RunFullFull(gap, 0);
    EXPECT_EQ(run.result, 4);
    ExpectNoFitRan(gap, run);
}

// A chosen pair unusable in the last three views (not the first, which builds the interball
// table): 13 pairs, not above m_nMinCount (16 - 3).
Scenario WithPairInThirteenViews(int Layout::*n1) {
    Scenario s = MakeFullFull(0);
    for (int v = s.nViews - 3; v < s.nViews; ++v) {
        s.main[static_cast<std::size_t>(MainIndex(s, v, s.layout.*n1))].Quality = 40.0;
    }
    return s;
}

// The ring gathered near the second d2 target (-130 degrees azimuth): no ring pair lies 25 to 115
// degrees apart, and the chosen targets alone make fewer than 25 interball pairs.
Scenario WithGatheredRing() {
    Layout layout = sim::FullFullLayout(1.0, 0);
    const int ring = static_cast<int>(layout.targets.size()) - 6;  // the chosen pairs come last
    for (int k = 0; k < ring; ++k) {
        const double az = (-135.0 + 10.0 * k / (ring - 1)) * kDegToRad;
        const double el = (-30.0 + 80.0 * k / (ring - 1)) * kDegToRad;
        const double r = 3.0 + 0.2 * k;
        layout.targets[static_cast<std::size_t>(k)] = {
            -r * std::cos(el) * std::sin(az), r * std::sin(el), r * std::cos(el) * std::cos(az)};
    }
    return sim::Simulate(layout, sim::RealisticTruth(Kind::FullFull, 0));
}

// Too few x0y0 (19), interball (21), d2 (21) or extra (22) pairs stop after the two-face stage.
TEST(FullFullCompensation, TooFewTargetPairsStopAfterTheTwoFaceStage) {
    struct Case {
        const char* what;
        std::function<Scenario()> make;
        int result;
    };
    const Case cases[] = {
        {"x0y0", [] { return WithPairInThirteenViews(&Layout::n1_x0y0); }, 19},
        {"interball", WithGatheredRing, 21},
        {"d2", [] { return WithPairInThirteenViews(&Layout::n1_d2); }, 21},
        {"extra", [] { return WithPairInThirteenViews(&Layout::n1_extra); }, 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s = c.make();
        const Outcome run = RunFullFull(s, 0);
        EXPECT_EQ(run.result, c.result);
        EXPECT_NEAR(run.model.A1, s.truth.A1, kExactAngleTolerance);  // the two-face fits ran
        EXPECT_EQ(run.model.X0, 0.0);                                 // the pair fits did not
        EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
    }
}

// One target named twice as the x0y0 pair: the X0/Y0 fit never converges (25), the first joint
// loop returns its sum, with no write-back or validation.
TEST(FullFullCompensation, UnsettledFirstJointLoopReturnsItsSum) {
    Scenario s = MakeFullFull(2);
    s.compOut.m_n2_x0y0 = s.compOut.m_n1_x0y0;
    const Outcome run = RunFullFull(s, 2);
    EXPECT_GT(run.result, 0);
    EXPECT_EQ(run.result % 25, 0);
    EXPECT_EQ(run.model.X0, 0.0);
    EXPECT_NE(run.model.D2, 0.0);  // the loop's other fits ran
    EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
    for (const CVector& v : s.main) {
        EXPECT_GT(v.Quality, 50.0);  // nothing written back
    }
}

// No flying targets (modes 0, 1), positions outside the view and an outside set without a pair
// (D2, K_minus or El_ElC never estimated) are refused untouched.
TEST(FullFullCompensation, RefusesInputOutsideItsArraysBeforeWritingAnything) {
    struct Case {
        std::string what;
        int mode;
        std::function<void(Scenario&)> spoil;
    };
    std::vector<Case> cases;
    for (int mode : {0, 1}) {
        cases.push_back({"no flying targets", mode, [](Scenario& s) { s.nTargetsFly = 0; }});
    }
    int TCompOut::*const positions[] = {&TCompOut::m_n1_x0y0,  &TCompOut::m_n2_x0y0,
                                        &TCompOut::m_n1_d2,    &TCompOut::m_n2_d2,
                                        &TCompOut::m_n1_extra, &TCompOut::m_n2_extra};
    for (int TCompOut::*p : positions) {
        cases.push_back({"position 0", 0, [p](Scenario& s) { s.compOut.*p = 0; }});
        cases.push_back(
            {"position beyond", 0, [p](Scenario& s) { s.compOut.*p = s.nTargets + 1; }});
    }
    for (int mode : {0, 2}) {
        cases.push_back({"no outside1 pair", mode, [](Scenario& s) { s.outside1.resize(1); }});
        cases.push_back({"no outside2 pair", mode, [](Scenario& s) { s.outside2.clear(); }});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what + ", mode " + std::to_string(c.mode));
        const Scenario fresh = MakeFullFull(c.mode);
        Scenario s = fresh;
        c.spoil(s);
        const Outcome run = RunFullFull(s, c.mode);
        EXPECT_EQ(run.result, kInvalidInput);
        EXPECT_EQ(std::memcmp(&run.model, &fresh.start, sizeof(TMapper)), 0);
        EXPECT_TRUE(SameReadings(s.main, fresh.main));
        EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
    }
}

TEST(FullFullCompensation, ModeTwoNeedsNoFlyingViews) {
    Scenario s = MakeFullFull(2);
    s.flying.clear();
    s.nTargetsFly = 0;
    EXPECT_EQ(RunFullFull(s, 2).result, 0);
}

// An outside set whose measurements are all dead (quality 40) leaves its fit without an outside
// distance: with a dead second set modes 0 and 1 once returned 0 with K_minus 0. Either dead
// set is refused in every mode with -3 before anything is written.
TEST(FullFullCompensation, AnOutsideSetWithoutALivePairIsRefusedUntouched) {
    for (int mode = 0; mode <= 2; ++mode) {
        for (const bool second : {false, true}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + (second ? ", second set" : ", first"));
            const Scenario fresh = MakeFullFull(mode);
            Scenario s = fresh;
            for (CVector& v : second ? s.outside2 : s.outside1) {
                v.Quality = 40.0;
            }
            const Scenario spoiled = s;
            const Outcome run = RunFullFull(s, mode);
            EXPECT_EQ(run.result, kNoLiveOutsidePair);
            EXPECT_EQ(std::memcmp(&run.model, &fresh.start, sizeof(TMapper)), 0);
            EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
            EXPECT_EQ(run.out.m_nInlineView, fresh.compOut.m_nInlineView);
            EXPECT_TRUE(SameReadings(s.main, fresh.main));
            EXPECT_TRUE(SameReadings(s.outside1, spoiled.outside1));
            EXPECT_TRUE(SameReadings(s.outside2, spoiled.outside2));
            EXPECT_TRUE(SameReadings(s.flying, fresh.flying));
        }
    }
}

// The FBB fit and the main two-face fit both write the model (D1 among others), so their order
// in the two-face loops matters: FBB first, as listed. The other order, which a compiler may
// pick for the operands of a sum, moves K_minus of this noisy mode-0 run from 1.238195e-3 to
// 1.236242e-3 degrees; the tolerance is a thousandth of that gap, far above the rounding that
// reordering independent sums could cause (1e-15 relative).
TEST(FullFullCompensation, TheFbbTwoFaceFitRunsBeforeTheMainOneInTheTwoFaceLoops) {
    Scenario s = MakeFullFull(0, RealisticNoise(3));
    const Outcome run = RunFullFull(s, 0);
    ASSERT_EQ(run.result, 0);
    EXPECT_NEAR(run.model.K_minus, 1.238195e-3, 2e-9);
}

// A board as wide as it is tall: the FBB interball and K_minus fits contract slowly, and at
// size 2 the main outlier pass of the first two-face pass uses up the joint evaluations. The
// second pass's two-face loop continues from the outer count of that outlier pass (step count
// k), not from its joint evaluations, so it still settles the two-face fits before its own
// outlier passes and the run settles noise-free at sizes 1 and 2 (it once returned 56 at size 2).
TEST(FullFullCompensation, ModeZeroSettlesOnAWideBoardAtSizesOneAndTwo) {
    for (const double size : {1.0, 2.0}) {
        ExpectModeZeroSettles(size, 2.0);
    }
}

// Flying views refused before their in-line view is found leave the host's m_nInlineView in
// the record; the procedure never reads it (a huge stale index once multiplied the targets per
// view in a long, 32 bits on Windows).
TEST(FullFullCompensation, AStaleInlineViewIsNeitherReadNorWritten) {
    for (const int stale : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        Scenario s = MakeFullFull(0);
        s.flying.resize(static_cast<std::size_t>(2 * s.nTargetsFly));  // one view: too few
        s.compOut.m_nInlineView = stale;
        const Outcome run = RunFullFull(s, 0);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.out.m_nInlineView, stale);
    }
}

// The pair range of an in-line view is counted in 64 bits; no in-line view gives an empty range.
TEST(InlineViewPairs, AreCountedInSixtyFourBits) {
    using detail::InlineViewPairs;
    const int most = std::numeric_limits<int>::max();
    EXPECT_EQ(InlineViewPairs(most, most).first, static_cast<long long>(most) * most);
    EXPECT_EQ(InlineViewPairs(most, most).last, static_cast<long long>(most) * most + most);
    EXPECT_EQ(InlineViewPairs(2, 4).first, 8);
    EXPECT_EQ(InlineViewPairs(2, 4).last, 12);
    EXPECT_EQ(InlineViewPairs(detail::kNoInlineView, 4).first,
              InlineViewPairs(detail::kNoInlineView, 4).last);
}

// Finite T whose sum overflows still have a finite mean (here every T is 1e308, so the mean is
// exactly 1e308).
TEST(FullFullCompensation, FlyingTWhoseSumOverflowsGiveAFiniteTRef) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        Scenario s = MakeFullFull(mode);
        for (CVector& v : s.flying) {
            v.T = 1e308;
        }
        const Outcome huge = RunFullFull(s, mode);
        EXPECT_EQ(huge.model.T_ref, 1e308);
        EXPECT_TRUE(AllFinite(huge.model));
    }
}

// A T that is not a finite number leaves T_ref without a mean: refused before anything is written.
TEST(FullFullCompensation, AFlyingTThatIsNotFiniteIsRefusedUntouched) {
    for (int mode : {0, 1}) {
        const Scenario fresh = MakeFullFull(mode);
        for (double t : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", T " + std::to_string(t));
            Scenario spoilt = fresh;
            spoilt.flying[1].T = t;
            const Outcome run = RunFullFull(spoilt, mode);
            EXPECT_EQ(run.result, kInvalidInput);
            EXPECT_EQ(std::memcmp(&run.model, &fresh.start, sizeof(TMapper)), 0);
            EXPECT_TRUE(SameReadings(spoilt.main, fresh.main));
        }
    }
}

// The check interball fit's reference view must be a view: else -1, untouched.
TEST(FullFullFitInput, CheckInterballFitRefusesAnInlineViewOutsideTheViews) {
    Scenario s = MakeFullFull(1);
    const int views = s.nCountFly() / (2 * s.nTargetsFly);
    std::vector<CVector> fronts;
    for (int k = 0; k < views; ++k) {
        const auto view = s.flying.begin() + 2 * k * s.nTargetsFly;
        fronts.insert(fronts.end(), view, view + s.nTargetsFly);
    }
    TCompOut accepted{};
    double gap = 0.0;
    CCompensation engine;
    ASSERT_EQ(
        engine.AcceptFlyingAllViews(s.flying.data(), s.nTargetsFly, s.nCountFly(), &gap, &accepted),
        0);
    for (int inLine : {-100, -1, views, accepted.m_nInlineView}) {
        SCOPED_TRACE(inLine);
        const bool valid = inLine == accepted.m_nInlineView;
        std::vector<CVector> pVec = fronts;
        TMapper model = s.truth;
        TCompOut out{};
        out.m_nInlineView = inLine;
        out.m_dStdIB_fbb = -1.0;
        EXPECT_EQ(engine.CalculateFCKIB(pVec.data(), &model, s.nTargetsFly, views, &out, 1),
                  valid ? 0 : kInvalidInput);
        if (!valid) {
            EXPECT_EQ(std::memcmp(&model, &s.truth, sizeof(TMapper)), 0);
            EXPECT_EQ(out.m_dStdIB_fbb, -1.0);
            EXPECT_TRUE(SameReadings(pVec, fronts));
        }
    }
}

// Four targets far apart in outside range and in elevation: all six pairs qualify, more than the
// four the El_ElC fit's storage was once sized for, and exact data give El_ElC back.
TEST(FullFullFitInput, ElElCFitUsesEveryQualifyingPairBeyondFour) {
    TMapper truth{};
    truth.El_ElC = 9.0e-4;
    const double depths[4] = {2.0, 6.0, 10.0, 14.0};
    const double elevations[4] = {-40.0, -10.0, 20.0, 50.0};
    Placement outside;
    outside.position = {0.3, 0.0, 3.0};
    outside.heading = kPi;
    constexpr int kViews = 10;
    std::vector<CVector> refs;
    std::vector<CVector> views;
    for (int v = -1; v < kViews; ++v) {
        Placement station;
        station.heading = kPi * (v - 4.5) / 5.0;
        for (int k = 0; k < 4; ++k) {
            const Point p{0.1 * k, depths[k] * std::tan(elevations[k] * kDegToRad), -depths[k]};
            (v < 0 ? refs : views)
                .push_back(sim::RawReading(sim::TrueReading(v < 0 ? outside : station, p),
                                           kTypeFrontSight, 20.0, truth));
        }
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            ASSERT_GT(std::fabs(refs[i].Range - refs[j].Range), kElElCRangeSpan);
            ASSERT_GT(std::fabs(views[i].Elevation - views[j].Elevation), kElElCElevationSpan);
        }
    }
    TCompOut out{};
    out.m_n1_d2 = 1;
    out.m_n2_d2 = 2;
    out.m_n1_extra = 3;
    out.m_n2_extra = 4;
    TMapper model{};
    CCompensation engine;
    int status = kElElCNotConverged;
    for (int call = 0; call < 5 && status != 0; ++call) {
        status = engine.Calculate_bEl(refs.data(), views.data(), kViews, 4, &model, &out, 1);
    }
    EXPECT_EQ(status, 0);
    EXPECT_NEAR(model.El_ElC, truth.El_ElC, kExactAngleTolerance);
    // Exact data: every distance agrees but for rounding of metre-sized values, far below 1e-9 m.
    EXPECT_LT(out.m_dStdExtraIn, 1e-9);
}

}  // namespace
}  // namespace compensation::e2e
