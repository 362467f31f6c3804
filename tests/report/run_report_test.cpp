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

namespace {

// The quick layout with every target moved to within `halfSpanDeg` degrees of 11.3 degrees of
// elevation (a slope of 0.2), alternately above and below it.
sim::Scenario OneElevationQuick(double halfSpanDeg) {
    sim::Layout layout = sim::QuickLayout();
    int k = 0;
    for (sim::Point& p : layout.targets) {
        const double horizontal = std::hypot(p.x, p.z);
        const double elevation =
            std::atan(0.2) + (k++ % 2 == 0 ? 1.0 : -1.0) * halfSpanDeg * 0.01745329251994;
        p.y = layout.station.position.y + std::tan(elevation) * horizontal;
    }
    sim::Noise noise;
    noise.range = kRangeNoise;
    noise.angle = kAngleNoise;
    return sim::Simulate(layout, sim::RealisticTruth(sim::Kind::Quick), noise);
}

const compensation::ElementReport* Find(const RunReport& report, const std::string& name) {
    for (const compensation::ElementReport& e : report.elements) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

TEST(RunReport, QuickOnOneElevationLeavesA1AndA3AtTheirEntryValuesAndSaysWhy) {
    sim::Scenario s = OneElevationQuick(0.8);
    s.start.A1 = 1e-4;  // an entry value the fit must keep
    s.start.A3 = -2e-4;
    CCompensation engine;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    testing::internal::CaptureStdout();
    const int result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
    testing::internal::GetCapturedStdout();
    const RunReport report = LastRunReport(engine);

    EXPECT_EQ(model.A1, s.start.A1);
    EXPECT_EQ(model.A3, s.start.A3);
    EXPECT_EQ(result, 0);  // nothing else fails to settle
    EXPECT_EQ(report.uncertainty_note, "");
    for (const char* name : {"A1", "A3"}) {
        const compensation::ElementReport* e = Find(report, name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(e->verdict, Verdict::kUndetermined) << name;
        EXPECT_NE(e->reason.find("A1 and A3 cannot be told apart: every target lies within 0.8 "
                                 "degrees of one elevation"),
                  std::string::npos)
            << e->reason;
    }
    EXPECT_EQ(report.uncertainty_note, "");
    // The azimuth harmonics of the same stage are still estimated.
    ASSERT_NE(Find(report, "Az_AzS"), nullptr);
    EXPECT_NE(Find(report, "Az_AzS")->verdict, Verdict::kUndetermined);
}

TEST(RunReport, QuickOnAWellSpreadLayoutDeterminesEveryElement) {
    sim::Scenario s = NoisyQuick(5);
    int result = -99;
    const RunReport report = RunQuick(s, &result);
    ASSERT_EQ(result, 0);
    ASSERT_FALSE(report.elements.empty());
    for (const compensation::ElementReport& e : report.elements) {
        EXPECT_EQ(e.verdict, Verdict::kDetermined) << e.name << ": " << e.reason;
        EXPECT_GT(e.uncertainty, 0.0) << e.name;
    }
}

}  // namespace

#include "validation/monte_carlo.h"

namespace {

// The Monte Carlo check of the validation program at a size the suite affords: 30 noise draws
// of the quick scenario. The empirical standard deviation of n draws scatters by
// 1/sqrt(2 (n - 1)) = 13 per cent of itself; the predicted uncertainty, averaged over the first
// draws, far less. Four of those standard errors (a false alarm below one in a thousand over the
// eleven elements) give the band 1/1.53 to 1.53.
TEST(RunReport, QuickPredictedUncertaintyMatchesTheScatterOverNoiseDraws) {
    constexpr int kDraws = 30;
    const double band = 1.0 + 4.0 / std::sqrt(2.0 * (kDraws - 1));
    const compensation::validation::ScatterTable table =
        compensation::validation::Scatter("quick", kDraws);
    EXPECT_EQ(table.settled, kDraws);
    EXPECT_EQ(table.elements.size(), 11u);
    for (const compensation::validation::ElementScatter& row : table.elements) {
        EXPECT_GT(row.ratio(), 1.0 / band) << row.name;
        EXPECT_LT(row.ratio(), band) << row.name;
    }
}

TEST(RunReport, FullFullFlyingModesReportTheFaceDependentSplitAsNotSeparatelyDetermined) {
    CCompensation engine;
    TMapper model{};
    ASSERT_EQ(compensation::validation::RunOnce("fullfull0", 2, engine, model), 0);
    const RunReport report = LastRunReport(engine);
    for (const char* name : {"A2", "El_ElS", "B_plus", "A_plus", "C_plus"}) {
        const compensation::ElementReport* e = Find(report, name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(e->verdict, Verdict::kNotSeparatelyDetermined) << name;
    }
    const compensation::ElementReport* sum = Find(report, "2*A2+El_ElS*sin(45deg)");
    ASSERT_NE(sum, nullptr);
    EXPECT_GT(sum->uncertainty, 0.0);
    EXPECT_EQ(sum->verdict, Verdict::kDetermined);
}

// Without the uncertainties the report lists the same elements, with the same values and the
// verdicts that need no uncertainty, and says why the uncertainties are missing.
TEST(RunReport, WithoutUncertaintiesListsTheSameElementsAndVerdicts) {
    CCompensation engine;
    TMapper model{};
    ASSERT_EQ(compensation::validation::RunOnce("fullfull0", 2, engine, model), 0);
    const RunReport full = LastRunReport(engine);
    const RunReport cheap = LastRunReport(engine, {false, std::nullopt});
    EXPECT_EQ(cheap.stage, full.stage);
    EXPECT_EQ(cheap.uncertainty_note, "not asked for");
    EXPECT_TRUE(cheap.correlations.empty());
    std::size_t listed = 0;
    for (const compensation::ElementReport& e : full.elements) {
        const compensation::ElementReport* same = Find(cheap, e.name);
        if (e.name == "2*A2+El_ElS*sin(45deg)") {
            EXPECT_EQ(same, nullptr);  // its uncertainty is what it is for
            continue;
        }
        ASSERT_NE(same, nullptr) << e.name;
        ++listed;
        EXPECT_EQ(same->fitted, e.fitted) << e.name;
        EXPECT_LT(same->uncertainty, 0.0) << e.name;
        if (e.verdict != Verdict::kWeaklyDetermined) {
            EXPECT_EQ(same->verdict, e.verdict) << e.name;
        }
    }
    EXPECT_EQ(cheap.elements.size(), listed);
}

// Threads share the fits' rows, or the fit calls of the differences; each derivative is formed
// whole on one thread and they are added up in one order, so the threads change no bit.
TEST(RunReport, ThreadsChangeNoBitByRowsOrByDifferences) {
    CCompensation engine;
    TMapper model{};
    ASSERT_EQ(compensation::validation::RunOnce("fullfull1", 2, engine, model), 0);
    for (const auto derivatives :
         {compensation::Derivatives::kFromRows, compensation::Derivatives::kByDifferences}) {
        const auto withThreads = [&engine, derivatives](unsigned threads) {
            compensation::ReportOptions options;
            options.threads = threads;
            options.derivatives = derivatives;
            options.loopRates = true;
            return LastRunReport(engine, options);
        };
        const RunReport one = withThreads(1);
        const RunReport three = withThreads(3);
        ASSERT_EQ(three.elements.size(), one.elements.size());
        for (std::size_t i = 0; i < one.elements.size(); ++i) {
            EXPECT_EQ(three.elements[i].uncertainty, one.elements[i].uncertainty)
                << one.elements[i].name;
        }
        EXPECT_EQ(three.correlations, one.correlations);
        EXPECT_EQ(three.contraction.rate, one.contraction.rate);
    }
}

// The fits' derivatives from their rows against forward differences of whole fit calls: formed
// independently, they differ by the terms the rows leave out (the calibration's slope in the
// reading, and in some families the design rows' own motion, each below 1e-3) and by the
// differences' truncation; measured, by 1e-4 in the uncertainties and 7e-4 in the correlations.
TEST(RunReport, DerivativesFromRowsAgreeWithDifferencesOfWholeFits) {
    constexpr double kRelative = 2e-3;
    for (const char* scenario : {"quick", "full", "fullfull0", "fullfull1", "fullfull2"}) {
        SCOPED_TRACE(scenario);
        CCompensation engine;
        TMapper model{};
        ASSERT_EQ(compensation::validation::RunOnce(scenario, 2, engine, model), 0);
        compensation::ReportOptions differences;
        differences.derivatives = compensation::Derivatives::kByDifferences;
        differences.threads = 0;
        differences.loopRates = true;
        compensation::ReportOptions fromRows;
        fromRows.loopRates = true;
        const RunReport rows = LastRunReport(engine, fromRows);
        const RunReport fits = LastRunReport(engine, differences);
        ASSERT_EQ(rows.elements.size(), fits.elements.size());
        for (std::size_t i = 0; i < rows.elements.size(); ++i) {
            SCOPED_TRACE(rows.elements[i].name);
            ASSERT_EQ(rows.elements[i].name, fits.elements[i].name);
            EXPECT_NEAR(rows.elements[i].uncertainty, fits.elements[i].uncertainty,
                        kRelative * fits.elements[i].uncertainty);
            EXPECT_EQ(rows.elements[i].verdict, fits.elements[i].verdict);
        }
        ASSERT_EQ(rows.correlations.size(), fits.correlations.size());
        for (std::size_t k = 0; k < rows.correlations.size(); ++k) {
            EXPECT_NEAR(rows.correlations[k], fits.correlations[k], kRelative) << k;
        }
        EXPECT_NEAR(rows.contraction.rate, fits.contraction.rate, kRelative);
    }
}

}  // namespace

namespace {

struct FullFullRun {
    int result = 0;
    RunReport report;
};

FullFullRun RunFullFull(sim::Scenario& s, int nCountFly) {
    CCompensation engine;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    FullFullRun run;
    run.result = engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                     s.outside2.data(), s.nCountOut2(), s.flying.data(),
                                     s.nTargetsFly, nCountFly, &model, &out, s.mode);
    run.report = LastRunReport(engine);
    return run;
}

// Two flying views are too few (flying status 1): the result 1 could also be read as a
// joint-loop sum, the stage cannot.
TEST(RunReport, FullFullFlyingStatusIsReportedAsTheRefusedFlyingViews) {
    sim::Scenario s = sim::MakeScenario("fullfull0");
    const FullFullRun run = RunFullFull(s, 2 * 2 * s.nTargetsFly);
    ASSERT_GT(run.result, 0);
    EXPECT_EQ(run.report.stage, Stage::kFlyingViewsRefused);
    EXPECT_EQ(run.report.flying_status + run.report.coverage_code, run.result);
    for (const compensation::FitReport& fit : run.report.fits) {
        EXPECT_EQ(fit.fitting_calls + fit.outlier_calls, 0) << fit.name;
    }
}

// The four El_ElC targets all at one position: no pair of them lies apart in range, so the
// El_ElC fit cannot estimate El_ElC and the loops end with its 27.
TEST(RunReport, FullFullElElCGeometryIsReportedAsTheCause) {
    sim::Scenario s = sim::MakeScenario("fullfull2");
    s.compOut.m_n2_d2 = s.compOut.m_n1_d2;
    s.compOut.m_n1_extra = s.compOut.m_n1_d2;
    s.compOut.m_n2_extra = s.compOut.m_n1_d2;
    const FullFullRun run = RunFullFull(s, s.nCountFly());
    ASSERT_GT(run.result, 0);
    EXPECT_EQ(run.report.stage, Stage::kElElCGeometry) << run.report.stage_words;
}

}  // namespace
