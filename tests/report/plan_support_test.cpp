// What planning asks of the library: the final joint loop's rate per pass from the linearised
// fixed point, the uncertainty at an assumed reading noise, and the selection rules judged one
// by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "compensation/compensation.h"
#include "compensation/run_report.h"
#include "compensation/selection_rules.h"
#include "compensation/tracing.h"
#include "compensation_sim/simulator.h"

namespace {

using compensation::LastRunReport;
using compensation::NoiseEstimate;
using compensation::RunReport;
namespace sim = compensation::sim;

RunReport RunModeZero(double boardWidth, const NoiseEstimate& noise) {
    sim::Options options;
    options.board_width = boardWidth;
    sim::Scenario s = sim::MakeScenario("fullfull0", options);
    CCompensation engine;
    compensation::SetTracing(engine, false);
    TMapper model = s.start;
    TCompOut out = s.compOut;
    const int result = engine.FullFullComp(
        s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(), s.outside2.data(),
        s.nCountOut2(), s.flying.data(), s.nTargetsFly, s.nCountFly(), &model, &out, 0);
    EXPECT_EQ(result, 0);
    compensation::ReportOptions planning;
    planning.assumedNoise = noise;
    planning.loopRates = true;
    return LastRunReport(engine, planning);
}

NoiseEstimate Noise(double range, double angle) {
    NoiseEstimate noise;
    noise.range = range;
    noise.azimuth = angle;
    noise.elevation = angle;
    return noise;
}

// The simulator's FBB board was made half as wide as tall after the loop of the FBB interball
// and K_minus fits was measured swinging with a round trip of about -0.4 per pass on a board as
// wide as tall, and below 0.3 at half the width.
TEST(PlanSupport, TheWideBoardsFbbAndKMinusLoopContractsAsMeasured) {
    const RunReport wide = RunModeZero(2.0, Noise(2e-6, 1e-6));
    ASSERT_EQ(wide.contraction.feeding.size(), 2u);
    EXPECT_EQ(wide.contraction.feeding[0], "CalculateFBBIB");
    EXPECT_EQ(wide.contraction.feeding[1], "Calculate_cm");
    EXPECT_GT(wide.contraction.feeding_rate, 0.3);
    EXPECT_LT(wide.contraction.feeding_rate, 0.5);
    // The whole loop is no faster than any part of it run alone.
    EXPECT_GE(wide.contraction.rate, wide.contraction.feeding_rate);
    EXPECT_LT(wide.contraction.rate, 1.0);

    const RunReport narrow = RunModeZero(1.0, Noise(2e-6, 1e-6));
    EXPECT_LT(narrow.contraction.feeding_rate, 0.3);
}

// The check-view fit takes its reference distances from the in-line flying view, calibrated
// with the polynomial it fits. Targets on the line of sight there see none of it in their
// distances, and the fit settles in one call; two targets moved 0.6 m off the line, one up and
// one down, see it, and each call leaves most of the error in place.
RunReport RunModeOne(double offLine) {
    sim::Layout layout = sim::FullFullLayout(1.0, 1);
    layout.fly_targets[1].y += offLine;
    layout.fly_targets[2].y -= offLine;
    // A trace of noise keeps the outside repeats apart as readings.
    sim::Noise tieBreak;
    tieBreak.range = 2e-9;
    tieBreak.angle = 1e-9;
    sim::Scenario s =
        sim::Simulate(layout, sim::RealisticTruth(sim::Kind::FullFull, 1, layout), tieBreak);
    CCompensation engine;
    compensation::SetTracing(engine, false);
    TMapper model = s.start;
    TCompOut out = s.compOut;
    EXPECT_EQ(engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                  s.outside2.data(), s.nCountOut2(), s.flying.data(), s.nTargetsFly,
                                  s.nCountFly(), &model, &out, 1),
              0);
    compensation::ReportOptions planning;
    planning.assumedNoise = Noise(2e-6, 1e-6);
    planning.loopRates = true;
    return LastRunReport(engine, planning);
}

TEST(PlanSupport, FlyingTargetsOffTheLineMakeTheCheckViewFitFeedItself) {
    const RunReport inLine = RunModeOne(0.0);
    EXPECT_EQ(inLine.contraction.slowest_fit, "CalculateFCKIB");
    EXPECT_LT(inLine.contraction.slowest_fit_rate, 0.1);
    const RunReport offLine = RunModeOne(0.6);
    EXPECT_EQ(offLine.contraction.slowest_fit, "CalculateFCKIB");
    EXPECT_GT(offLine.contraction.slowest_fit_rate, 0.85);

    // The rate measured from the run's own passes agrees with the linearised one: the first
    // joint loop lacks only the two-face fits of the final loop, which the check-view fit and
    // K_minus, feeding each other, outweigh.
    const auto first = std::find_if(inLine.loops.begin(), inLine.loops.end(), [](const auto& loop) {
        return loop.name == "first joint loop";
    });
    ASSERT_NE(first, inLine.loops.end());
    EXPECT_NEAR(first->rate, inLine.contraction.rate, 0.05);
}

// On noise-free readings the covariance is that of the noise assumed, and it is linear in the
// noise's variance: twice the noise, twice every standard uncertainty.
TEST(PlanSupport, UncertaintyAtAnAssumedNoiseScalesWithIt) {
    const RunReport once = RunModeZero(1.0, Noise(2e-6, 1e-6));
    const RunReport twice = RunModeZero(1.0, Noise(4e-6, 2e-6));
    ASSERT_EQ(once.elements.size(), twice.elements.size());
    ASSERT_FALSE(once.elements.empty());
    for (std::size_t i = 0; i < once.elements.size(); ++i) {
        if (once.elements[i].uncertainty > 0.0) {
            EXPECT_NEAR(twice.elements[i].uncertainty / once.elements[i].uncertainty, 2.0, 1e-6)
                << once.elements[i].name;
        }
    }
}

// The quick procedure cuts the circle into one sector per view; with view v turned to the
// heading of view v + 1 (30 degrees on, beyond the sector's 5-degree widening), sector v holds no
// reference view and the coverage check returns 7 + v. The other rules still run.
TEST(PlanSupport, SelectionRulesNameTheEmptySectorAndStillJudgeTheOthers) {
    sim::Layout layout = sim::QuickLayout();
    constexpr int kDropped = 4;
    layout.headings[kDropped] = layout.headings[kDropped + 1];
    sim::Scenario s = sim::Simulate(layout, sim::RealisticTruth(sim::Kind::Quick));
    compensation::SelectionInput in;
    in.main = s.main;
    CCompensation engine;
    compensation::SetTracing(engine, false);
    const std::vector<compensation::RuleCheck> rules =
        compensation::CheckSelectionRules(engine, in);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].name, "sector coverage");
    EXPECT_FALSE(rules[0].passed);
    EXPECT_EQ(rules[0].code, 7 + kDropped);
    EXPECT_EQ(rules[1].name, "interball pairs");
    EXPECT_TRUE(rules[1].passed);
    EXPECT_GE(rules[1].found, 25);
}

}  // namespace
