#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "procedures/confidence.h"
#include "procedures/validation_test_support.h"

namespace {

using compensation::kDistanceThresholds;
using compensation::kTwoFaceAngleThresholds;
using compensation::kTwoFaceRangeThresholds;
using compensation::ScoreSpread;
using compensation::testing::TwoTargetViews;

// Sends std::cout into a string for its lifetime.
class CoutCapture {
  public:
    CoutCapture() : old_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    std::string Text() const { return buffer_.str(); }

  private:
    std::ostringstream buffer_;
    std::streambuf* old_;
};

TEST(ScoreSpread, StepsOfOneTerm) {
    // At or below the lower threshold: the full weight.
    EXPECT_EQ(ScoreSpread(50, 0.0, kTwoFaceRangeThresholds, 10), 60);
    EXPECT_EQ(ScoreSpread(50, 6.35e-06, kTwoFaceRangeThresholds, 10), 60);
    // Just above it: a point less.
    EXPECT_EQ(ScoreSpread(50, std::nextafter(6.35e-06, 1.0), kTwoFaceRangeThresholds, 10), 59);
    // Exactly at the upper threshold: 50 + 10 - 1 - trunc(10 x 3) = 29.
    EXPECT_EQ(ScoreSpread(50, 2.54e-05, kTwoFaceRangeThresholds, 10), 29);
    // Az at 0.0003 deg with weight 6: 6 - 1 - trunc(6 x 0.000112643 x 5337.398) = 6 - 1 - 3.
    EXPECT_EQ(ScoreSpread(50, 0.0003, kTwoFaceAngleThresholds, 6), 52);
    // x0y0 at 20 micrometres with weight 6: 6 - 1 - trunc(6 x 7.3e-06 x 78740.16) = 6 - 1 - 3.
    EXPECT_EQ(ScoreSpread(50, 2e-05, kDistanceThresholds, 6), 52);

    // Above the upper threshold: down to 12, then one point per term.
    EXPECT_EQ(ScoreSpread(50, std::nextafter(2.54e-05, 1.0), kTwoFaceRangeThresholds, 10), 12);
    EXPECT_EQ(ScoreSpread(12, 1.0, kTwoFaceRangeThresholds, 10), 11);
    EXPECT_EQ(ScoreSpread(5, 1.0, kTwoFaceRangeThresholds, 10), 4);
    // At 12 or below nothing rises again.
    EXPECT_EQ(ScoreSpread(12, 0.0, kTwoFaceRangeThresholds, 10), 12);
    EXPECT_EQ(ScoreSpread(11, 0.0, kTwoFaceRangeThresholds, 10), 11);

    // A spread that is not finite counts as above the upper threshold.
    for (const double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(ScoreSpread(50, bad, kDistanceThresholds, 10), 12);
        EXPECT_EQ(ScoreSpread(12, bad, kDistanceThresholds, 10), 11);
    }
}

// Three views whose A-B distance reads 1 m, 1 m + 1 um and 1 m - 1 um: the inside statistics
// give a spread of 1 micrometre, printed as 1.
struct Validation {
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6});
    TMapper model{};
    TCompOut out{};

    int Run(int nMode, int nQuiet) {
        CCompensation engine;
        engine.FinalValidate(host.data(), static_cast<int>(host.size()), 3, &model, &out, nMode,
                             nQuiet);
        return out.m_nConfidence;
    }
};

TEST(FinalValidate, QuickSummary) {
    Validation v;
    v.out.m_dStdR_fb = 2.54e-05;  // exactly the upper threshold
    std::string printed;
    {
        CoutCapture capture;
        EXPECT_EQ(v.Run(0, 0), 69);  // 29 after the first term, then four times 10
        printed = capture.Text();
    }
    const std::string expected =
        " QUICK COMP OUTPUT: \n"
        "\n"
        " FSBS: std(R)  = 25.4; LTH = 6.35; UTH = 25.4 (micron) \n"
        "\n"
        " FSBS: std(Az)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n"
        "\n"
        " FSBS: std(El)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n"
        "\n"
        " std(IB_axay)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " std(FS IB)  = 1; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " CONFIDENCE = 69\n";
    EXPECT_EQ(printed, expected);

    // The host's own stream settings do not change the summary.
    Validation again;
    again.out.m_dStdR_fb = 2.54e-05;
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    {
        CoutCapture capture;
        std::cout << std::fixed << std::setprecision(2) << std::hex;
        again.Run(0, 0);
        printed = capture.Text();
    }
    std::cout.flags(flags);
    std::cout.precision(precision);
    EXPECT_EQ(printed, expected);
}

TEST(FinalValidate, FullSummary) {
    Validation v;
    v.out.m_dStdAz_fb = 0.0003;   // +2
    v.out.m_dStdx0y0 = 2e-05;     // +2
    v.out.m_dStdOutside = 1e-05;  // 6 - 1 - trunc(6 x 3.65e-06 x 157480.3) = +2
    std::string printed;
    {
        CoutCapture capture;
        // 50 + 6 + 2 + 6 + 2 + 6 + 6 + 6 + 2
        EXPECT_EQ(v.Run(1, 0), 86);
        printed = capture.Text();
    }
    const std::string expected =
        " FULL COMP OUTPUT: \n"
        "\n"
        " FSBS: std(R)  = 0; LTH = 6.35; UTH = 25.4 (micron) \n"
        "\n"
        " FSBS: std(Az)  = 0.3; LTH = 0.187357; UTH = 0.749429 (mdeg) \n"
        "\n"
        " FSBS: std(El)  = 0; LTH = 0.187357; UTH = 0.749429 (mdeg) \n"
        "\n"
        " std(IB_x0y0)  = 20; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " std(IB_axay)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " std(FS IB)  = 1; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " std(IN)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n"
        "\n"
        " std(OUT)  = 10; LTH = 6.35; UTH = 25.4 (micron) \n"
        "\n"
        " CONFIDENCE = 86\n";
    EXPECT_EQ(printed, expected);
}

TEST(FinalValidate, FullFullSummaryScoresTheFbbTerms) {
    Validation v;
    v.out.m_dStdEl_fbb = 1.0;  // far above: the score drops to 12 at the eleventh term
    std::string printed;
    {
        CoutCapture capture;
        EXPECT_EQ(v.Run(2, 0), 12);
        printed = capture.Text();
    }
    EXPECT_EQ(printed.rfind(" COMP COMP OUTPUT: \n\n FSBS: std(R)  = 0;", 0), 0u);
    EXPECT_NE(printed.find(" std(ExtraIN)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
                           " std(OUT)  = 0; LTH = 6.35; UTH = 25.4 (micron) \n\n"
                           " FBB FSBS: std(El)  = 1000; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
                           " std(FBB IB)  = 0; LTH = 12.7; UTH = 50.8 (micron) \n\n"
                           " CONFIDENCE = 12\n"),
              std::string::npos);
}

TEST(FinalValidate, ScoresAtTheirBestByMode) {
    const int best[] = {100, 98, 98, 100};
    for (int mode = 0; mode < 4; ++mode) {
        Validation v;
        CoutCapture capture;
        EXPECT_EQ(v.Run(mode, 1), best[mode]) << "mode " << mode;
        EXPECT_EQ(capture.Text(), "") << "mode " << mode;
    }
    // An unknown mode: no header, weight 10, the full-full terms without the FBB terms.
    Validation v;
    std::string printed;
    {
        CoutCapture capture;
        EXPECT_EQ(v.Run(5, 0), 150);
        printed = capture.Text();
    }
    EXPECT_EQ(printed.rfind(" FSBS: std(R)  = 0;", 0), 0u);
    EXPECT_EQ(printed.find("FBB"), std::string::npos);
}

TEST(FinalValidate, ScoreThatHasDroppedStaysDown) {
    Validation v;
    v.out.m_dStdR_fb = 3e-05;   // above 25.4 um: 12
    v.out.m_dStdAz_fb = 1e-03;  // above 0.749 mdeg: 11
    EXPECT_EQ(v.Run(0, 1), 11);

    Validation nan;
    nan.out.m_dStdaxay = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(nan.Run(0, 1), 12);
}

TEST(FinalValidate, InsideStatisticsOnTheCalibratedCopy) {
    // Raw distances all 1 m; the model's D2_dT term lengthens the range of target B by
    // (2 sin(pi/4) - 1) D2_dT T at zero elevation, and B's T is 0, +1, -1 over the views, so
    // the calibrated distances spread by 1 micrometre in both faces.
    Validation v;
    v.host = TwoTargetViews({0.0, 0.0, 0.0});
    const double rangeFactor = 2.0 * std::sin(0.78539816339745) - 1.0;
    v.model.D2_dT = 1e-6 / rangeFactor;
    const double t[] = {0.0, 1.0, -1.0};
    for (int view = 0; view < 3; ++view) {
        v.host[view * 5 + 2].T = t[view];
        v.host[view * 5 + 4].T = t[view];
    }
    const std::vector<CVector> before = v.host;
    v.Run(1, 1);
    // The same term moves B's elevation by about 5e-7 rad per unit of T, which changes the
    // distance by under 1e-12 m; rounding of 3 m coordinates is 1e-15 m.
    EXPECT_NEAR(v.out.m_dStdInside_f, 1e-6, 1e-11);
    EXPECT_NEAR(v.out.m_dStdInside_b, 1e-6, 1e-11);
    EXPECT_NEAR(v.out.m_dStdInside_f_out, 1e-6, 1e-11);
    EXPECT_NEAR(v.out.m_dStdInside_b_out, 1e-6, 1e-11);
    EXPECT_EQ(v.out.m_n_f, 6);
    EXPECT_EQ(v.out.m_n_b_out, 6);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(v.host[i].Range, before[i].Range);
        EXPECT_EQ(v.host[i].Elevation, before[i].Elevation);
        EXPECT_EQ(v.host[i].FSBS, before[i].FSBS);
    }
}

}  // namespace
