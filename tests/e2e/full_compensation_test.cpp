// The full compensation end to end on the simulated tracker.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "support/trace_dir.h"

namespace compensation::e2e {
namespace {

using sim::GrossError;
using sim::Kind;
using sim::Layout;
using sim::MakeScenario;
using sim::Noise;
using sim::Point;

// A host quality other than 100 tells the marks apart: two-face writes 50, a pair subtracts 50.
Scenario FullScenario(const Noise& noise, std::vector<GrossError> gross, double quality = 100.0) {
    sim::Options options;
    options.noise = noise;
    options.noise.gross = std::move(gross);
    Scenario s = MakeScenario("full", options);
    for (CVector& v : s.main) {
        v.Quality = quality;
    }
    return s;
}

// A beam cut and re-locked on a wrong surface.
GrossError RangeBlunder(int index, double metres = 1e-3) {
    GrossError e;
    e.index = index;
    e.range = metres;
    return e;
}

struct PairFields {
    const char* name;
    int TCompOut::*n1;
    int TCompOut::*n2;
};
const PairFields kChosenPairs[] = {
    {"x0y0", &TCompOut::m_n1_x0y0, &TCompOut::m_n2_x0y0},
    {"d2", &TCompOut::m_n1_d2, &TCompOut::m_n2_d2},
};

TEST(FullCompensation, ExactReadingsGiveBackTheTrueModel) {
    Scenario s = MakeScenario("full");
    const std::vector<Quantity> fitted = FittedElements(s.truth);
    ASSERT_EQ(fitted.size(), 34u);  // 19 two-face, 12 interball, X0, Y0, D2
    const Outcome run = RunFull(s);
    EXPECT_EQ(run.result, 0);
    ExpectRecovered(fitted, run.model, s.truth);
}

// Eight terms of 6 points from 50, each spread at its best on exact readings.
TEST(FullCompensation, ExactReadingsScoreTheFullValidationsBest) {
    Scenario s = MakeScenario("full");
    EXPECT_EQ(RunFull(s).out.m_nConfidence, 98);
}

TEST(FullCompensation, ElementsTheTruthLeavesZeroStayZero) {
    Scenario s = MakeScenario("full");
    ExpectOnlyFittedElementsWritten(RunFull(s).model, TMapper{},
                                    [&s](Member m) { return s.truth.*m != 0.0; });
}

TEST(FullCompensation, ExactReadingsRejectNothing) {
    Scenario s = MakeScenario("full");
    RunFull(s);
    ExpectNothingRejected(s.main);
}

// Limit three readings: the interball fit separates the odd first harmonics of A1 and A3 only
// through sin q and sin^2 q, which leaves them at about two; every other element stays below one.
TEST(FullCompensation, NoisyReadingsStayWithinTheirSpread) {
    const Scenario exact = MakeScenario("full");
    ExpectNoiseWithinItsSpread(FittedElements(exact.truth), exact.truth, 16, 3.0,
                               [](const Noise& noise) {
                                   Scenario s = FullScenario(noise, {});
                                   const Outcome run = RunFull(s);
                                   EXPECT_EQ(run.result, 0) << "seed " << noise.seed;
                                   return run.model;
                               });
}

// A blunder on a pair target's front sight: the two-face fit rejects its pair (50 on both faces),
// the pair fit that view's pair (host quality - 50 on both front sights); nothing else is marked.
TEST(FullCompensation, ABlunderInAPairMeasurementIsRejectedAndMarked) {
    constexpr int kView = 5;
    constexpr double kHost = 90.0;
    const Scenario plain = MakeScenario("full");
    for (const PairFields& pair : kChosenPairs) {
        for (const bool noisy : {false, true}) {
            SCOPED_TRACE(std::string(pair.name) + (noisy ? " noisy" : " exact"));
            const int n1 = plain.compOut.*pair.n1;
            const int n2 = plain.compOut.*pair.n2;
            Scenario s = FullScenario(noisy ? RealisticNoise(7) : Noise{},
                                      {RangeBlunder(MainIndex(plain, kView, n1))}, kHost);
            const Outcome run = RunFull(s);
            EXPECT_EQ(run.result, 0);
            for (int i = 0; i < s.nCount(); ++i) {
                double expected = kHost;
                if (i == MainIndex(s, kView, n1) || i == MainIndex(s, kView, n2)) {
                    expected = kHost - 50.0;
                } else if (i == MainIndex(s, kView, n1, true)) {
                    expected = 50.0;
                }
                EXPECT_EQ(s.main[static_cast<std::size_t>(i)].Quality, expected) << i;
            }
        }
    }
}

TEST(FullCompensation, ABlunderInAPairMeasurementLeavesTheTruthRecovered) {
    const Scenario plain = MakeScenario("full");
    for (const PairFields& pair : kChosenPairs) {
        SCOPED_TRACE(pair.name);
        Scenario s =
            FullScenario(Noise{}, {RangeBlunder(MainIndex(plain, 5, plain.compOut.*pair.n1))});
        const Outcome run = RunFull(s);
        ExpectRecovered(FittedElements(s.truth), run.model, s.truth);
    }
}

// Two-face rejection in view 3 (back-sight blunder), x0y0 rejection in view 7 (both faces off):
// written back in turn from a reclassified array, the x0y0 mark would slip onto view 8.
TEST(FullCompensation, RejectionsOfDifferentSetsLandOnTheirOwnViews) {
    constexpr int kTwoFaceView = 3;
    constexpr int kPairView = 7;
    constexpr double kHost = 95.0;
    const Scenario plain = MakeScenario("full");
    const int n1 = plain.compOut.m_n1_x0y0;
    const int n2 = plain.compOut.m_n2_x0y0;
    Scenario s = FullScenario(Noise{},
                              {RangeBlunder(MainIndex(plain, kTwoFaceView, n1, true)),
                               RangeBlunder(MainIndex(plain, kPairView, n2), 5e-4),
                               RangeBlunder(MainIndex(plain, kPairView, n2, true), 5e-4)},
                              kHost);

    ASSERT_EQ(RunFull(s).result, 0);
    auto quality = [&s](int index) { return s.main[static_cast<std::size_t>(index)].Quality; };
    EXPECT_EQ(quality(MainIndex(s, kTwoFaceView, n1)), 50.0);
    EXPECT_EQ(quality(MainIndex(s, kTwoFaceView, n1, true)), 50.0);
    for (int view = 0; view < s.nViews; ++view) {
        const double pairMark = view == kPairView ? kHost - 50.0 : kHost;
        if (view != kTwoFaceView) {
            EXPECT_EQ(quality(MainIndex(s, view, n1)), pairMark) << "view " << view;
        }
        EXPECT_EQ(quality(MainIndex(s, view, n2)), pairMark) << "view " << view;
    }
}

// Without sector b's views (headings strictly within 45 b - 185 and 45 b - 130 degrees): 9 + b,
// leaving exactly what one call of the full two-face fit makes of the start.
TEST(FullCompensation, ACoverageGapReturnsNinePlusTheSectorAfterOneTwoFaceCall) {
    for (int sector : {0, 3, 7}) {
        SCOPED_TRACE("sector " + std::to_string(sector));
        Layout layout = sim::FullLayout();
        std::vector<double> kept;
        for (double heading : layout.headings) {
            const double degrees = heading * 180.0 / kPi;
            if (degrees <= 45.0 * sector - 185.0 || degrees >= 45.0 * sector - 130.0) {
                kept.push_back(heading);
            }
        }
        ASSERT_EQ(kept.size() + 2, layout.headings.size());
        layout.headings = kept;
        Scenario s = sim::Simulate(layout, sim::RealisticTruth(Kind::Full));

        const Outcome expected =
            OneTwoFaceCall(s, [](CCompensation& e, CVector* f, CVector* b, TMapper* m, int n,
                                 TCompOut* o) { return e.CalculateFFCFSBS(f, b, m, n, o, 1, 0); });
        ASSERT_NE(expected.model.A1, s.start.A1);

        const Outcome run = RunFull(s);
        EXPECT_EQ(run.result, 9 + sector);
        EXPECT_EQ(std::memcmp(&run.model, &expected.model, sizeof(TMapper)), 0);
        EXPECT_EQ(std::memcmp(&run.out, &expected.out, sizeof(TCompOut)), 0);
    }
}

// Pair classifications in the trace: x0y0, interball table, d2, then two write-back passes.
int PairClassifications(const testing::ScopedTraceDir& trace) {
    int count = 0;
    for (const std::string& line : testing::SplitLines(testing::ReadFile(trace.file()))) {
        count += line.rfind("Entering ClassifyPairs", 0) == 0 ? 1 : 0;
    }
    return count;
}

// The pair with target `position` usable (front sight quality above 50) in the last `views` views.
Scenario WithPairIn(int TCompOut::*position, int views, std::vector<GrossError> gross = {}) {
    Scenario s = FullScenario(Noise{}, std::move(gross));
    for (int v = 0; v < s.nViews - views; ++v) {
        s.main[static_cast<std::size_t>(MainIndex(s, v, s.compOut.*position))].Quality = 40.0;
    }
    return s;
}

// Interball pairs need 25 to 115 degrees of azimuth: a ring crowded within 99-109 degrees beside
// the x0y0 targets (100, 108) leaves only the pairs with the d2 target at 50 (14, fewer than 25).
Scenario WithCrowdedRing() {
    Layout layout = sim::FullLayout();
    const int ring = static_cast<int>(layout.targets.size()) - 4;
    for (int k = 0; k < ring; ++k) {
        Point& p = layout.targets[static_cast<std::size_t>(k)];
        const double horizontal = std::hypot(p.x, p.z);
        const double a = (99.0 + 10.0 * k / ring) * kPi / 180.0;
        p = {-horizontal * std::sin(a), p.y, horizontal * std::cos(a)};
    }
    return sim::Simulate(layout, sim::RealisticTruth(Kind::Full));
}

// Of 12 views the pair classification wants more than 9 pairs, the x0y0 fit itself 11: 19 or 21
// after the two-face stage, or a first joint loop that never settles (its sum, 19). A failure
// writes nothing back (not even the ring blunder's two-face rejection) and scores nothing.
TEST(FullCompensation, FailureResultsStopWhereTheDataCallForThem) {
    const GrossError ringBlunder = RangeBlunder(MainIndex(MakeScenario("full"), 4, 1));
    struct Case {
        const char* what;
        std::function<Scenario()> make;
        int result;
        int classifications;
        bool interballRan;
    };
    const Case cases[] = {
        {"x0y0 in 9 views", [] { return WithPairIn(&TCompOut::m_n1_x0y0, 9); }, 19, 1, false},
        {"x0y0 in 11 views", [] { return WithPairIn(&TCompOut::m_n1_x0y0, 11); }, 0, 4, true},
        {"d2 in 9 views", [] { return WithPairIn(&TCompOut::m_n1_d2, 9); }, 21, 2, false},
        {"d2 in 10 views", [] { return WithPairIn(&TCompOut::m_n1_d2, 10); }, 0, 4, true},
        {"crowded ring", WithCrowdedRing, 21, 1, false},
        {"x0y0 in 10 views", [&] { return WithPairIn(&TCompOut::m_n1_x0y0, 10, {ringBlunder}); },
         19, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s = c.make();
        const std::vector<CVector> before = s.main;
        const testing::ScopedTraceDir trace;
        const Outcome run = RunFull(s);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(PairClassifications(trace), c.classifications);
        EXPECT_NE(run.model.A1, 0.0);
        EXPECT_EQ(run.model.Ax != 0.0, c.interballRan);
        if (c.result != 0) {
            EXPECT_EQ(run.model.X0, 0.0);
            EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
            EXPECT_TRUE(SameReadings(s.main, before));
        }
    }
}

// Positions outside a view, odd or negative outside counts and no outside pair (D2 could never
// be estimated) are refused with -1 before anything is written.
TEST(FullCompensation, InputOutsideItsArraysIsRefusedUntouched) {
    const Scenario plain = MakeScenario("full");
    struct Case {
        std::string what;
        TCompOut compOut;
        int outsideCount;
    };
    std::vector<Case> cases = {{"odd outside count", plain.compOut, plain.nCountOut1() - 1},
                               {"negative outside count", plain.compOut, -2},
                               {"no outside pair", plain.compOut, 0}};
    for (const PairFields& pair : kChosenPairs) {
        for (int TCompOut::*field : {pair.n1, pair.n2}) {
            for (int position : {0, -1, plain.nTargets + 1}) {
                cases.push_back({std::string(pair.name) + " position " + std::to_string(position),
                                 plain.compOut, plain.nCountOut1()});
                cases.back().compOut.*field = position;
            }
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s = plain;
        TMapper model = s.truth;
        TCompOut out = c.compOut;
        CCompensation engine;
        EXPECT_EQ(engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), c.outsideCount,
                                  &model, &out),
                  kInvalidInput);
        EXPECT_EQ(std::memcmp(&model, &s.truth, sizeof model), 0);
        EXPECT_EQ(std::memcmp(&out, &c.compOut, sizeof out), 0);
        EXPECT_TRUE(SameReadings(s.main, plain.main));
        EXPECT_TRUE(SameReadings(s.outside1, plain.outside1));
    }
}

// An outside set whose pairs are all dead (every measurement at quality 40, or one of each pair
// at 50) gives the D2 fit no outside distance: it once kept D2 at 0 (true 2e-5 m) and reported
// the run settled with CONFIDENCE 98. It is refused with -3 before anything is written.
TEST(FullCompensation, AnOutsideSetWithoutALivePairIsRefusedUntouched) {
    const Scenario plain = MakeScenario("full");
    ASSERT_NE(plain.truth.D2, 0.0);
    const std::function<void(std::vector<CVector>&)> spoils[] = {
        [](std::vector<CVector>& out) {
            for (CVector& v : out) {
                v.Quality = 40.0;
            }
        },
        [](std::vector<CVector>& out) {
            for (std::size_t i = 0; i < out.size(); ++i) {
                out[i].Quality = i % 2 == 0 ? 50.0 : 100.0;
            }
        }};
    for (const auto& spoil : spoils) {
        Scenario s = plain;
        spoil(s.outside1);
        const std::vector<CVector> spoiled = s.outside1;
        const Outcome run = RunFull(s);
        EXPECT_EQ(run.result, kNoLiveOutsidePair);
        EXPECT_EQ(std::memcmp(&run.model, &plain.start, sizeof(TMapper)), 0);
        EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
        EXPECT_TRUE(SameReadings(s.main, plain.main));
        EXPECT_TRUE(SameReadings(s.outside1, spoiled));
    }
}

TEST(FullCompensation, OneLiveOutsidePairIsEnoughToRun) {
    Scenario s = MakeScenario("full");
    for (std::size_t i = 2; i < s.outside1.size(); ++i) {
        s.outside1[i].Quality = 40.0;
    }
    EXPECT_EQ(RunFull(s).result, 0);
}

// One target named twice as the x0y0 pair (X0, Y0 as 0/0: 25) or every target at one elevation
// (interball A1 and A3 harmonics inseparable: 26) end the first joint loop; the model stays finite.
TEST(FullCompensation, DegenerateDataLeaveTheModelFinite) {
    Scenario twice = MakeScenario("full");
    twice.compOut.m_n2_x0y0 = twice.compOut.m_n1_x0y0;
    Layout flat = sim::FullLayout();
    for (Point& p : flat.targets) {
        const double range = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        const double scale = range * std::cos(0.2) / std::hypot(p.x, p.z);
        p = {p.x * scale, range * std::sin(0.2), p.z * scale};
    }
    Scenario oneElevation = sim::Simulate(flat, sim::RealisticTruth(Kind::Full));
    for (auto [s, result] : {std::pair{&twice, 25}, std::pair{&oneElevation, 26}}) {
        const Outcome run = RunFull(*s);
        EXPECT_EQ(run.result, result);
        EXPECT_TRUE(AllFinite(run.model)) << result;
    }
}

}  // namespace
}  // namespace compensation::e2e
