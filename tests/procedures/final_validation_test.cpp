#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "procedures/confidence.h"
#include "procedures/validation_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;

// One scoring step, by hand: weight w at or below L, w - 1 - trunc(w (s - L) / L) up to U;
// above U (or not finite) down to 12, then one point per term; at 12 or below nothing rises.
TEST(ScoreSpread, StepsOfOneTerm) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const SpreadThresholds &R = kTwoFaceRangeThresholds, &D = kDistanceThresholds;
    const struct {
        int score;
        double spread;
        const SpreadThresholds& t;
        int weight, expected;
    } cases[] = {
        {50, 0.0, R, 10, 60},
        {50, 6.35e-06, R, 10, 60},
        {50, std::nextafter(6.35e-06, 1.0), R, 10, 59},
        {50, 2.54e-05, R, 10, 29},  // 10 - 1 - trunc(10 x 3)
        // 6 - 1 - trunc(6 x 0.000112643 x 5337.398) and 6 - 1 - trunc(6 x 7.3e-06 x 78740.16)
        {50, 0.0003, kTwoFaceAngleThresholds, 6, 52},
        {50, 2e-05, D, 6, 52},
        {50, std::nextafter(2.54e-05, 1.0), R, 10, 12},
        {12, 1.0, R, 10, 11},
        {5, 1.0, R, 10, 4},
        {12, 0.0, R, 10, 12},
        {11, 0.0, R, 10, 11},
        {50, nan, D, 10, 12},
        {12, inf, D, 10, 11},
        {50, -inf, D, 10, 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScoreSpread(c.score, c.spread, c.t, c.weight), c.expected)
            << c.score << " " << c.spread << " " << c.weight;
    }
}

// Runs FinalValidate on three views whose A-B distance reads 1 m, 1 m + 1 um and 1 m - 1 um
// (an inside spread of 1 micrometre) and returns what it printed.
std::string Validate(TCompOut& out, int nMode, int nQuiet) {
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6});
    TMapper model{};
    std::ostringstream printed;
    std::streambuf* const old = std::cout.rdbuf(printed.rdbuf());
    CCompensation engine;
    engine.FinalValidate(host.data(), Count(host), 3, &model, &out, nMode, nQuiet);
    std::cout.rdbuf(old);
    return printed.str();
}

TEST(FinalValidate, QuickSummary) {
    TCompOut out{};
    out.m_dStdR_fb = 2.54e-05;  // exactly the upper threshold
    // The host's own stream settings do not change the summary.
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    std::cout << std::fixed << std::setprecision(2) << std::hex;
    const std::string printed = Validate(out, 0, 0);
    std::cout.flags(flags);
    std::cout.precision(precision);
    EXPECT_EQ(out.m_nConfidence, 69);  // 29 after the first term, then four times 10
    EXPECT_EQ(printed,
              " QUICK COMP OUTPUT: \n\n"
              " FSBS: std(R)  = 25.4; LTH = 6.35; UTH = 25.4 (micron) \n\n"
              " FSBS: std(Az)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " FSBS: std(El)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " std(IB_axay)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(FS IB)  = 1; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " CONFIDENCE = 69\n");
}

TEST(FinalValidate, FullFullSummaryScoresEveryTerm) {
    TCompOut out{};
    out.m_dStdAz_fb = 0.0003;   // 4 - 1 - trunc(4 x 0.000112643 x 5337.398) = +1
    out.m_dStdx0y0 = 2e-05;     // 4 - 1 - trunc(4 x 7.3e-06 x 78740.16) = +1
    out.m_dStdOutside = 1e-05;  // 4 - 1 - trunc(4 x 3.65e-06 x 157480.3) = +1
    EXPECT_EQ(Validate(out, 2, 0),
              " COMP COMP OUTPUT: \n\n"
              " FSBS: std(R)  = 0; LTH = 6.35; UTH = 25.4 (micron) \n\n"
              " FSBS: std(Az)  = 0.3; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " FSBS: std(El)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " std(IB_x0y0)  = 20; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(IB_axay)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(FS IB)  = 1; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(IN)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(OUT)  = 10; LTH = 6.35; UTH = 25.4 (micron) \n\n"
              " std(ExtraIN)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(OUT)  = 0; LTH = 6.35; UTH = 25.4 (micron) \n\n"
              " FBB FSBS: std(El)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " std(FBB IB)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " CONFIDENCE = 89\n");  // 50 + 9 x 4 + 3 x 1
}

// Every term at its best: five terms of 10, eight of 6, twelve of 4, ten of 5; an unknown mode
// scores the ten terms of the full-full modes without FBB at 10 and prints no header.
TEST(FinalValidate, ScoresAtTheirBestAndScoresThatDropped) {
    const struct {
        int mode, best;
        const char* start;
    } cases[] = {{0, 100, " QUICK COMP OUTPUT: \n\n"},
                 {1, 98, " FULL COMP OUTPUT: \n\n"},
                 {2, 98, " COMP COMP OUTPUT: \n\n"},
                 {3, 100, " EXP COMP OUTPUT: \n\n"},
                 {5, 150, " FSBS: std(R)  = 0;"}};
    for (const auto& c : cases) {
        TCompOut out{};
        EXPECT_EQ(Validate(out, c.mode, 1), "") << c.mode;  // quiet, but scored
        EXPECT_EQ(out.m_nConfidence, c.best) << c.mode;
        EXPECT_EQ(Validate(out, c.mode, 0).rfind(c.start, 0), 0u) << c.mode;
    }
    TCompOut out{};
    out.m_dStdR_fb = 3e-05;   // above 25.4 um: 12
    out.m_dStdAz_fb = 1e-03;  // above 0.749 mdeg: 11
    Validate(out, 0, 1);
    EXPECT_EQ(out.m_nConfidence, 11);
    out = TCompOut{};
    out.m_dStdaxay = std::numeric_limits<double>::quiet_NaN();
    Validate(out, 0, 1);
    EXPECT_EQ(out.m_nConfidence, 12);
}

TEST(FinalValidate, InsideStatisticsOnTheCalibratedCopy) {
    // Raw distances all 1 m; the model's D2_dT term lengthens B's range by (2 sin(pi/4) - 1)
    // D2_dT T at zero elevation, and B's T is 0, +1, -1 over the views: the calibrated distances
    // spread by 1 micrometre in both faces.
    std::vector<CVector> host = TwoTargetViews({0.0, 0.0, 0.0});
    TMapper model{};
    model.D2_dT = 1e-6 / (2.0 * std::sin(0.78539816339745) - 1.0);
    const double t[] = {0.0, 1.0, -1.0};
    for (int view = 0; view < 3; ++view) {
        host[view * 5 + 2].T = host[view * 5 + 4].T = t[view];
    }
    TCompOut out{};
    CCompensation engine;
    engine.FinalValidate(host.data(), 15, 3, &model, &out, 1, 1);
    EXPECT_EQ(host[7].Range, 3.0);  // the host's array is left raw
    EXPECT_EQ(host[7].Elevation, 0.0);
    // The same term moves B's elevation by about 5e-7 rad per unit of T, which changes the
    // distance by under 1e-12 m; rounding of 3 m coordinates is 1e-15 m.
    for (const double spread :
         {out.m_dStdInside_f, out.m_dStdInside_b, out.m_dStdInside_f_out, out.m_dStdInside_b_out}) {
        EXPECT_NEAR(spread, 1e-6, 1e-11);
    }
    EXPECT_EQ(out.m_n_f, 6);
    EXPECT_EQ(out.m_n_b_out, 6);
}

}  // namespace
