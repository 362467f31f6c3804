// The quick compensation end to end on the simulated tracker: the procedure must give back the
// error model the readings were made with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "e2e/e2e_support.h"

namespace compensation::e2e {
namespace {

using sim::Kind;
using sim::MakeScenario;
using sim::Options;

// The elements the quick procedure fits: nine two-face terms and the two axis terms that
// interball distances see.
constexpr MapperElement kQuickElements[] = {
    {"D1", &TMapper::D1},           {"A1", &TMapper::A1},           {"A3", &TMapper::A3},
    {"Az_AzS", &TMapper::Az_AzS},   {"Az_AzC", &TMapper::Az_AzC},   {"A2", &TMapper::A2},
    {"El_2AzS", &TMapper::El_2AzS}, {"El_2AzC", &TMapper::El_2AzC}, {"El_ElS", &TMapper::El_ElS},
    {"Ax", &TMapper::Ax},           {"Ay", &TMapper::Ay},
};

std::vector<Quantity> QuickElements() {
    std::vector<Quantity> all;
    for (const MapperElement& e : kQuickElements) {
        all.push_back(ElementQuantity(e));
    }
    return all;
}

// Removes view `view` (its reference vector, front sights and back sights) from the main array.
void DropView(Scenario& s, int view) {
    const int block = 1 + 2 * s.nTargets;
    s.main.erase(s.main.begin() + view * block, s.main.begin() + (view + 1) * block);
    --s.nViews;
}

bool IsQuickElement(double TMapper::*member) {
    return std::any_of(std::begin(kQuickElements), std::end(kQuickElements),
                       [member](const MapperElement& e) { return e.member == member; });
}

TEST(QuickCompensation, NoiseFreeReadingsGiveTheTruthBack) {
    Scenario s = MakeScenario("quick");
    for (const MapperElement& e : kQuickElements) {
        ASSERT_NE(s.truth.*e.member, 0.0) << e.name << " must take part in the truth";
    }
    const Outcome run = RunQuick(s);
    EXPECT_EQ(run.result, 0);
    ExpectRecovered(QuickElements(), run.model, s.truth);
}

// Five terms of 10 points from 50, each spread at its best on exact readings.
TEST(QuickCompensation, NoiseFreeReadingsScoreFullConfidence) {
    Scenario s = MakeScenario("quick");
    EXPECT_EQ(RunQuick(s).out.m_nConfidence, 100);
}

TEST(QuickCompensation, ElementsOutsideTheQuickModelAreNeverWritten) {
    Scenario s = MakeScenario("quick");
    ExpectOnlyFittedElementsWritten(RunQuick(s).model, s.start, IsQuickElement);
}

TEST(QuickCompensation, NoiseFreeReadingsRejectNothing) {
    Scenario s = MakeScenario("quick");
    RunQuick(s);
    ExpectNothingRejected(s.main);
}

// Every element within its spread over 16 draws (see ExpectNoiseWithinItsSpread), and that
// spread below a single reading's noise: the quick fits are well separated.
TEST(QuickCompensation, RealisticNoiseStaysWithinItsSpread) {
    const Scenario exact = MakeScenario("quick");
    ExpectNoiseWithinItsSpread(QuickElements(), exact.truth, 16, 1.0, [](const sim::Noise& n) {
        Options options;
        options.noise = n;
        Scenario s = MakeScenario("quick", options);
        const Outcome run = RunQuick(s);
        EXPECT_EQ(run.result, 0) << "seed " << n.seed;
        EXPECT_GE(run.out.m_nConfidence, 90) << "seed " << n.seed;
        return run.model;
    });
}

// Back sight of the fifth target in view 5: a 0.01-degree blunder in elevation, small enough to
// stay paired with its front sight, some hundred times the two-face spread limit.
Scenario WithABackSightBlunder(int* blunder) {
    *blunder = MainIndex(MakeScenario("quick"), 5, 5, true);
    Options options;
    options.noise.gross.push_back({sim::Set::Main, *blunder, 0.0, 0.0, 1.75e-4});
    return MakeScenario("quick", options);
}

// The fit rejects the pair; both of its measurements are marked in the host's array.
TEST(QuickCompensation, AGrossErrorInOneBackSightRejectsItsPairOnly) {
    int blunder = 0;
    Scenario s = WithABackSightBlunder(&blunder);
    ASSERT_EQ(s.main[static_cast<std::size_t>(blunder)].Type, 200);
    ASSERT_EQ(RunQuick(s).result, 0);
    const int frontSight = blunder - s.nTargets;
    for (int i = 0; i < s.nCount(); ++i) {
        const bool rejected = i == blunder || i == frontSight;
        EXPECT_EQ(s.main[static_cast<std::size_t>(i)].Quality, rejected ? 50.0 : 100.0)
            << "measurement " << i;
    }
}

TEST(QuickCompensation, AGrossErrorInOneBackSightLeavesTheTruthRecovered) {
    int blunder = 0;
    Scenario s = WithABackSightBlunder(&blunder);
    const Outcome run = RunQuick(s);
    ExpectRecovered(QuickElements(), run.model, s.truth);
    EXPECT_EQ(run.out.m_nConfidence, 100);
}

// With two neighbouring views missing, the quick procedure's sectors (one per view, 36 degrees
// and 5 more on each side) leave one inside the 90-degree gap: it reports 7 + that sector after
// exactly one fitting call of the two-face fit, and writes nothing back.
TEST(QuickCompensation, ACoverageGapStopsAfterOneTwoFaceFit) {
    Scenario s = MakeScenario("quick");
    DropView(s, 3);
    DropView(s, 3);
    const std::vector<CVector> before = s.main;

    const Outcome expected =
        OneTwoFaceCall(s, [](CCompensation& e, CVector* f, CVector* b, TMapper* m, int n,
                             TCompOut* o) { return e.CalculateQCFSBSa(f, b, m, n, o, 1); });
    const Outcome run = RunQuick(s);
    EXPECT_GE(run.result, 7);
    EXPECT_LT(run.result, 7 + s.nViews);
    EXPECT_EQ(std::memcmp(&run.model, &expected.model, sizeof(TMapper)), 0);
    EXPECT_TRUE(run.summary.empty());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(s.main[i].Quality, before[i].Quality);
    }
}

// Targets all at one elevation leave A1 and A3 undetermined: tan h and 1/cos h then differ only
// through the small corrections, so each fitting call lands somewhere else along the line the
// data allow. The two-face fit never settles, the joint loop spends its whole budget, and the
// procedure returns that fit's code 2 after writing back and validating; the model stays finite.
TEST(QuickCompensation, AnUndeterminedModelStaysFiniteAndIsReportedUnsettled) {
    sim::Layout layout = sim::QuickLayout();
    for (sim::Point& p : layout.targets) {
        const double horizontal = std::hypot(p.x, p.z);
        p.y = layout.station.position.y + 0.2 * horizontal;
    }
    Scenario s = sim::Simulate(layout, sim::RealisticTruth(Kind::Quick));
    const Outcome run = RunQuick(s);

    EXPECT_EQ(run.result, 2);
    EXPECT_TRUE(AllFinite(run.model));
    EXPECT_NE(run.summary.find(" CONFIDENCE = "), std::string::npos);
}

TEST(QuickCompensation, TooFewOrNoMeasurementsAreRefused) {
    Scenario s = MakeScenario("quick");
    TMapper model = s.start;
    TCompOut out = s.compOut;
    CCompensation engine;
    EXPECT_EQ(engine.QuickCompInsertion(s.main.data(), 1, &model, &out), kInvalidInput);
    EXPECT_EQ(engine.QuickCompInsertion(nullptr, s.nCount(), &model, &out), kInvalidInput);
}

// A signed front sight without its face sign: classified without it, counted by the write-back.
TEST(QuickCompensation, AFrontSightWithoutItsFaceSignIsRefused) {
    Scenario s = MakeScenario("quick");
    s.main[1].Type = -100;
    s.main[1].FSBS = 0;
    EXPECT_EQ(RunQuick(s).result, kInvalidInput);
}

// Every back sight relabelled as a front sight: more front sights than pairs fit.
TEST(QuickCompensation, FrontSightsWithoutBackSightsAreRefusedUntouched) {
    Scenario s = MakeScenario("quick");
    for (CVector& v : s.main) {
        if (v.Type == 200) {
            v.Type = 100;
            v.FSBS = 0;
        }
    }
    const std::vector<CVector> before = s.main;
    const Outcome run = RunQuick(s);
    EXPECT_EQ(run.result, kInvalidInput);
    EXPECT_EQ(std::memcmp(&run.model, &s.start, sizeof(TMapper)), 0);
    EXPECT_TRUE(SameReadings(s.main, before));
}

// Twelve views of one target pass the view layout, but the interball fit has no distance to
// measure and would refuse every call: the procedure refuses the layout before the two-face fit
// writes the model, so -1 keeps its meaning (nothing written, nothing validated).
TEST(QuickCompensation, OneTargetPerViewIsRefusedBeforeAnythingIsWritten) {
    sim::Layout layout = sim::QuickLayout();
    layout.targets.resize(1);
    const Scenario fresh = sim::Simulate(layout, sim::RealisticTruth(Kind::Quick));
    Scenario s = fresh;
    const Outcome run = RunQuick(s);

    EXPECT_EQ(run.result, kInvalidInput);
    EXPECT_EQ(std::memcmp(&run.model, &fresh.start, sizeof(TMapper)), 0);
    EXPECT_TRUE(SameReadings(s.main, fresh.main));
    EXPECT_EQ(run.out.m_nConfidence, kNotValidated);
    EXPECT_EQ(run.summary, "");
}

}  // namespace
}  // namespace compensation::e2e
