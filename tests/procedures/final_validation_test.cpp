// The inside statistics, the CONFIDENCE score and the summary of the final validation.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "procedures/confidence.h"
#include "selection/selection_test_support.h"
#include "support/captured_stdout.h"

namespace {

using namespace compensation;
using namespace compensation::testing;

// Distances of 1 m from 3 m coordinates round at 1e-15 m, far below this and the micrometres.
constexpr double kSpreadTolerance = 1e-12;
const TCompOut kUntouched{};

// Views of A at 2 m and B at 3 m + offset on the zero direction: A-B reads 1 m + offset.
std::vector<CVector> TwoTargetViews(const std::vector<double>& offsets) {
    std::vector<CVector> host;
    for (const double offset : offsets) {
        AppendView(host, {{2.0, 0.0, 0.0}, {3.0 + offset, 0.0, 0.0}});
    }
    return host;
}

// Offsets 0, +1, -1, 0 micrometres: spread sqrt(2/3) micrometres over four views, 1 over the
// first three; A's front sight in view 3 has quality 80, not above the high-quality floor.
std::vector<CVector> FourViews() {
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 0.0});
    host[3 * 5 + 1].Quality = 80.0;
    return host;
}

TEST(StdInterball, WritesTheSpreadAndCountOfItsFaceAndQualityOnly) {
    CCompensation engine;
    std::vector<CVector> host = FourViews();
    const double twoThirds = std::sqrt(2.0 / 3.0) * 1e-6;
    const struct {
        int nType, nFlagUpdate;
        double TCompOut::*spread;
        std::int32_t TCompOut::*count;
        double expected;
        int used;
    } cases[] = {{100, 0, &TCompOut::m_dStdInside_f, &TCompOut::m_n_f, twoThirds, 8},
                 {200, 0, &TCompOut::m_dStdInside_b, &TCompOut::m_n_b, twoThirds, 8},
                 {100, 1, &TCompOut::m_dStdInside_f_out, &TCompOut::m_n_f_out, 1e-6, 7},
                 {200, 1, &TCompOut::m_dStdInside_b_out, &TCompOut::m_n_b_out, twoThirds, 8}};
    for (const auto& c : cases) {
        TCompOut out{};  // zero: untouched
        EXPECT_EQ(engine.StdInterball(host.data(), 20, 4, c.nType, &out, c.nFlagUpdate), 0);
        for (const auto& other : cases) {
            EXPECT_NEAR(out.*other.spread, &other == &c ? c.expected : 0.0, kSpreadTolerance);
            EXPECT_EQ(out.*other.count, &other == &c ? c.used : 0);
        }
    }
}

// Nothing written: a negative flag, a pair seen in two views only, groups of one, no view.
TEST(StdInterball, WritesNothingWithoutAPairSeenInThreeViews) {
    CCompensation engine;
    std::vector<CVector> host = FourViews();
    TCompOut out{};
    EXPECT_EQ(engine.StdInterball(host.data(), 20, 4, 200, &out, -1), 0);
    host[2 * 5 + 2].Quality = 70.0;
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 3, 100, &out, 1), 29);
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 15, 100, &out, 0), 29);
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 0, 100, &out, 0), -1);
    EXPECT_EQ(std::memcmp(&out, &kUntouched, sizeof(TCompOut)), 0);
}

// Four views, the fourth far off, three claimed: its distance does not fit the buffer.
TEST(StdInterball, CollectsNoMoreDistancesThanTheViewsClaimed) {
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 1e-3});
    TCompOut out{};
    EXPECT_EQ(CCompensation().StdInterball(host.data(), 20, 3, 100, &out, 0), 0);
    EXPECT_NEAR(out.m_dStdInside_f, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f, 8);
}

// An array (a fresh block) ending after A of the fourth view: B is not read.
TEST(StdInterball, ReadsNothingBeyondATruncatedArray) {
    const std::vector<CVector> four = TwoTargetViews({0.0, 1e-6, -1e-6, 1e-3});
    std::vector<CVector> host(four.begin(), four.begin() + 17);
    TCompOut out{};
    EXPECT_EQ(CCompensation().StdInterball(host.data(), 17, 4, 100, &out, 1), 0);
    EXPECT_NEAR(out.m_dStdInside_f_out, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f_out, 7);
}

// Distances 1, 1 and 1 m + 3 micrometres: spread sqrt(3) micrometres, the third farthest.
TEST(StdInterball, TracesItsArgumentsAndTheSpreadOfEachPair) {
    std::vector<CVector> host = TwoTargetViews({0.0, 0.0, 3e-6});
    TCompOut out{};
    const std::string trace = TraceOf(
        [&](CCompensation& e) { EXPECT_EQ(e.StdInterball(host.data(), 15, 3, 100, &out, 0), 0); });
    EXPECT_NEAR(out.m_dStdInside_f, std::sqrt(3.0) * 1e-6, kSpreadTolerance);
    EXPECT_EQ(trace, "Entering StdInterball \n" + detail::TraceVectorLines("pVecIn", &host[0]) +
                         "       nCountIn = 15\n       nCountViews = 3\n       nType = 100\n"
                         "       nFlagUpdate = 0\nEntering MeanStdArray \n       pnOut = 2\n"
                         "Leaving MeanStdArray \n" +
                         detail::TraceCompOutLines("pCompOut", &out) +
                         "       Leaving StdInterball = 0\n");
}

// One scoring step by hand: w at or below L, else w - 1 - trunc(w (s - L) / L) up to U, so 29 at
// U with w 10, and 2 points with w 6 for Az 0.0003 deg (6 x 0.000112643 x 5337.398 = 3.6) and for
// 20 um (6 x 7.3e-06 x 78740.16 = 3.4); above U or not finite, down to 12, then 1 less per term.
TEST(ScoreSpread, StepsOfOneTerm) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double overL = std::nextafter(6.35e-06, 1.0), overU = std::nextafter(2.54e-05, 1.0);
    const SpreadThresholds *R = &kTwoFaceRangeThresholds, *A = &kTwoFaceAngleThresholds;
    const SpreadThresholds* D = &kDistanceThresholds;
    const struct {
        int score;
        double spread;
        const SpreadThresholds* thresholds;
        int weight, expected;
    } cases[] = {{50, 0.0, R, 10, 60},      {50, 6.35e-06, R, 10, 60}, {50, overL, R, 10, 59},
                 {50, 2.54e-05, R, 10, 29}, {50, 0.0003, A, 6, 52},    {50, 2e-05, D, 6, 52},
                 {50, overU, R, 10, 12},    {12, 1.0, R, 10, 11},      {12, 0.0, R, 10, 12},
                 {50, nan, D, 10, 12},      {12, inf, D, 10, 11}};
    for (const auto& c : cases) {
        EXPECT_EQ(ScoreSpread(c.score, c.spread, *c.thresholds, c.weight), c.expected)
            << c.score << " " << c.spread;
    }
}

// FinalValidate on three views whose A-B distance spreads by 1 um; gives back what it printed.
std::string Validate(TCompOut& out, int nMode, int nQuiet) {
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6});
    TMapper model{};
    CCompensation engine;
    return CapturedStdout(
        [&] { engine.FinalValidate(host.data(), Count(host), 3, &model, &out, nMode, nQuiet); });
}

TEST(FinalValidate, QuickSummary) {
    TCompOut out{};
    out.m_dStdR_fb = 2.54e-05;  // exactly the upper threshold
    const std::ios::fmtflags flags = std::cout.flags();
    std::cout << std::fixed << std::setprecision(2);  // the host's settings change nothing
    const std::string printed = Validate(out, 0, 0);
    std::cout.flags(flags);
    std::cout.precision(6);
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

// A decimal comma built from a facet, so that the tests need no locale installed on the
// machine.
class DecimalComma : public std::numpunct<char> {
  protected:
    char do_decimal_point() const override { return ','; }
};

std::locale CommaLocale() {
    return std::locale(std::locale::classic(), new DecimalComma);
}

// The quick summary of a record whose range spread is 25.4 um, printed while the process's
// global locale and std::cout's are the ones given; both are put back afterwards.
std::string QuickSummaryUnder(const std::locale& global, const std::locale& forCout) {
    const std::locale savedGlobal = std::locale::global(global);
    const std::locale savedCout = std::cout.imbue(forCout);
    TCompOut out{};
    out.m_dStdR_fb = 2.54e-05;
    const std::string printed = Validate(out, 0, 0);
    std::cout.imbue(savedCout);
    std::locale::global(savedGlobal);
    return printed;
}

// The summary goes to std::cout and is formatted as inserting into std::cout formats: a host
// that sets a decimal comma as the process's global locale, but leaves std::cout alone, still
// gets decimal points.
TEST(FinalValidate, SummaryIgnoresTheGlobalLocale) {
    const std::string printed = QuickSummaryUnder(CommaLocale(), std::cout.getloc());
    EXPECT_NE(printed.find(" FSBS: std(R)  = 25.4; LTH = 6.35; UTH = 25.4 (micron) \n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find(','), std::string::npos) << printed;
}

// A host that gives std::cout a decimal comma gets one in the summary, as it would from any
// double it inserts into std::cout itself.
TEST(FinalValidate, SummaryFollowsTheLocaleOfStdCout) {
#if defined(_WIN32)
    // The statically linked DLL carries a C++ runtime, and so a std::cout, of its own: the
    // test's std::cout is not the one the library prints to.
    GTEST_SKIP() << "the library's std::cout is not the test program's";
#endif
    const std::string printed = QuickSummaryUnder(std::locale(), CommaLocale());
    EXPECT_NE(printed.find(" FSBS: std(R)  = 25,4; LTH = 6,35; UTH = 25,4 (micron) \n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find(" FSBS: std(Az)  = 0; LTH = 0,187357; UTH = 0,749429 (mdeg) \n"),
              std::string::npos)
        << printed;
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

// At their best: 5 terms of 10, 8 of 6, 12 of 4, 10 of 5; an unknown mode: 10 of 10, no header.
TEST(FinalValidate, ScoresEveryModeAtItsBestWhetherQuietOrNot) {
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
}

// A spread that is not a number scores as one beyond the upper threshold: down to 12 at once.
TEST(FinalValidate, ScoresANonFiniteSpreadAsBeyondTheUpperThreshold) {
    TCompOut out{};
    out.m_dStdaxay = std::numeric_limits<double>::quiet_NaN();
    Validate(out, 0, 1);
    EXPECT_EQ(out.m_nConfidence, 12);
}

// Raw distances all 1 m; the model's D2_dT term lengthens B's range by (2 sin(pi/4) - 1) D2_dT T
// at zero elevation, and B's T is 0, +1, -1: the calibrated distances spread by 1 micrometre.
TEST(FinalValidate, InsideStatisticsOnTheCalibratedCopy) {
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
    // The term also tilts B by 5e-7 rad per unit of T: under 1e-12 m on the distance.
    for (const double spread :
         {out.m_dStdInside_f, out.m_dStdInside_b, out.m_dStdInside_f_out, out.m_dStdInside_b_out}) {
        EXPECT_NEAR(spread, 1e-6, 1e-11);
    }
    EXPECT_EQ(out.m_n_b_out, 6);
}

}  // namespace
