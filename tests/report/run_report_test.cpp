// The run report on the simulated tracker: the stage and tallies of a run, and the predicted
// uncertainty of the quick procedure against the scatter of its estimates over noise draws.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation/run_report.h"
#include "compensation_sim/simulator.h"
#include "support/trace_dir.h"

namespace {

using compensation::LastRunReport;
using compensation::RunReport;
using compensation::Stage;
using compensation::Verdict;
namespace sim = compensation::sim;

constexpr double kRangeNoise = 2e-6;  // metres: a good tracker's reading noise
constexpr double kAngleNoise = 1e-6;  // radians

sim::Scenario NoisyQuick(std::uint64_t seed) {
    sim::Options options;
    options.noise.range = kRangeNoise;
    options.noise.angle = kAngleNoise;
    options.noise.seed = seed;
    return sim::MakeScenario("quick", options);
}

RunReport RunQuick(sim::Scenario& s, int* result) {
    CCompensation engine;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    testing::internal::CaptureStdout();
    *result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
    testing::internal::GetCapturedStdout();
    return LastRunReport(engine);
}

TEST(RunReport, IsEmptyBeforeAnyProcedure) {
    CCompensation engine;
    const RunReport report = LastRunReport(engine);
    EXPECT_EQ(report.stage, Stage::kNotRun);
    EXPECT_TRUE(report.fits.empty());
    EXPECT_TRUE(report.elements.empty());
}

TEST(RunReport, QuickSettledRunCountsItsCallsAndReportsTheReadingNoise) {
    sim::Scenario s = NoisyQuick(3);
    int result = -99;
    const RunReport report = RunQuick(s, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(report.stage, Stage::kSettled);
    ASSERT_EQ(report.fits.size(), 2u);
    EXPECT_EQ(report.fits[0].name, "CalculateQCFSBSa");
    EXPECT_GE(report.fits[0].fitting_calls, 2);
    EXPECT_GE(report.fits[0].outlier_calls, 1);
    ASSERT_EQ(report.loops.size(), 1u);
    EXPECT_EQ(report.loops[0].last_sum, 0);
    // The spreads of 144 face differences estimate the reading noise to about 6 per cent
    // (1/sqrt(2 * 144)); 25 per cent is four of those.
    ASSERT_TRUE(report.noise.available);
    EXPECT_NEAR(report.noise.range, kRangeNoise, 0.25 * kRangeNoise);
    EXPECT_NEAR(report.noise.azimuth, kAngleNoise, 0.25 * kAngleNoise);
    EXPECT_NEAR(report.noise.elevation, kAngleNoise, 0.25 * kAngleNoise);
    EXPECT_EQ(report.elements.size(), 11u);
}

}  // namespace
