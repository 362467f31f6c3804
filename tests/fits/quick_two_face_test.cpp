#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compensation/compensation.h"
#include "fits/two_face_pairs.h"

using namespace two_face_test;

namespace {

// Chosen coefficients, degrees (D1 metres): the model the data follow.
struct QuickTruth {
    double D1 = 2.0e-5;
    double A1 = 0.0021;
    double A3 = -0.0014;
    double Az_AzS = 0.0008;
    double Az_AzC = -0.0005;
    double A2 = 0.0012;
    double El_2AzS = 0.0004;
    double El_2AzC = -0.0003;
    double El_ElS = 0.0007;
};

// Elements no quick fit estimates; they still act through the calibration.
TMapper Background() {
    TMapper map{};
    map.X0 = 1.5e-5;
    map.Az_2AzS = 3.0e-4;
    map.El_4AzC = 2.0e-4;
    map.D2 = 1.0e-5;
    return map;
}

// -dR / (2 cos El_f) = D1 in the range pass.
RangeModel MeanRange(double d1) {
    return [d1](const CVector& f) { return -2.0 * d1 * std::cos(f.Elevation); };
}

// Half the face differences: p0 tan h - p1 / cos h + p2 sin Az + p3 cos Az and
// q0 + q1 sin 2Az + q2 cos 2Az + q3 sin h, in radians.
AngleModel QuickModel(const QuickTruth& t) {
    return [t](const CVector& f) {
        const double h = HalfAngle(f);
        const double az = f.Azimuth;
        const double halfAz = (t.A1 * std::tan(h) - t.A3 / std::cos(h) + t.Az_AzS * std::sin(az) +
                               t.Az_AzC * std::cos(az)) /
                              kRadToDeg;
        const double halfEl =
            t.A2 / kHalfRadToDeg +
            (t.El_2AzS * std::sin(2 * az) + t.El_2AzC * std::cos(2 * az) + t.El_ElS * std::sin(h)) /
                kRadToDeg;
        return AngleDifferences{2.0 * halfAz, 2.0 * halfEl};
    };
}

PairSet QuickPairs(const QuickTruth& truth, const std::vector<CVector>& fronts) {
    TMapper dataMap = Background();
    dataMap.D1 = truth.D1;
    return BuildPairs(fronts, Background(), dataMap, MeanRange(truth.D1), QuickModel(truth));
}

// The pair-of-pairs model: a cos h / 2 = A1 sin h - A3, e / 2 = El_ElS sin h + 2 A2.
AngleModel PairOfPairsModel(const QuickTruth& t) {
    return [t](const CVector& f) {
        const double h = HalfAngle(f);
        const double dAz = 2.0 * (t.A1 * std::sin(h) - t.A3) / std::cos(h) / kRadToDeg;
        const double dEl = 2.0 * (t.El_ElS * std::sin(h) + 2.0 * t.A2) / kRadToDeg;
        return AngleDifferences{dAz, dEl};
    };
}

PairSet PairOfPairsPairs(const QuickTruth& truth, const std::vector<CVector>& fronts) {
    TMapper dataMap = Background();
    dataMap.D1 = truth.D1;
    return BuildPairs(fronts, Background(), dataMap, MeanRange(truth.D1), PairOfPairsModel(truth));
}

// Observations are exact to a few ulps of the readings (~1e-16 rad, ~1e-15 m) against face
// differences of ~1e-5; the small systems amplify that by their conditioning (below 1e3), so
// the solved coefficients agree to about 1e-10 relative at worst (below 1e-11 observed).
constexpr double kRecoveryTolerance = 1e-9;

class QuickTwoFaceFit : public ::testing::Test {
  protected:
    CCompensation engine;
    TCompOut out{};
    QuickTruth truth;
};

void ExpectQuickTruth(const TMapper& map, const QuickTruth& t) {
    EXPECT_TRUE(Near(map.D1, t.D1, kRecoveryTolerance)) << map.D1;
    EXPECT_TRUE(Near(map.A1, t.A1, kRecoveryTolerance)) << map.A1;
    EXPECT_TRUE(Near(map.A3, t.A3, kRecoveryTolerance)) << map.A3;
    EXPECT_TRUE(Near(map.Az_AzS, t.Az_AzS, kRecoveryTolerance)) << map.Az_AzS;
    EXPECT_TRUE(Near(map.Az_AzC, t.Az_AzC, kRecoveryTolerance)) << map.Az_AzC;
    EXPECT_TRUE(Near(map.A2, t.A2, kRecoveryTolerance)) << map.A2;
    EXPECT_TRUE(Near(map.El_2AzS, t.El_2AzS, kRecoveryTolerance)) << map.El_2AzS;
    EXPECT_TRUE(Near(map.El_2AzC, t.El_2AzC, kRecoveryTolerance)) << map.El_2AzC;
    EXPECT_TRUE(Near(map.El_ElS, t.El_ElS, kRecoveryTolerance)) << map.El_ElS;
}

TEST_F(QuickTwoFaceFit, OneCallWritesTheChosenCoefficientsAndTheNextSettles) {
    PairSet pairs = QuickPairs(truth, FrontSights(40));
    TMapper map = Background();

    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 1),
              2);
    ExpectQuickTruth(map, truth);
    // Elements outside the fit are read, never written.
    EXPECT_EQ(map.X0, Background().X0);
    EXPECT_EQ(map.Az_2AzS, Background().Az_2AzS);
    EXPECT_EQ(map.El_4AzC, Background().El_4AzC);

    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 1),
              0);
    // Left over after the model: products of two corrections (1e-4 rad each) at most, a
    // hundredth of the outlier limits or less.
    EXPECT_LT(out.m_dStdR_fb, 1.27e-05 / 100);
    EXPECT_LT(out.m_dStdAz_fb, 0.0001873571990077792 / 100);
    EXPECT_LT(out.m_dStdEl_fb, 0.0001873571990077792 / 100);

    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 0),
              0);
    for (int i = 0; i < pairs.count(); ++i) {
        EXPECT_EQ(pairs.front[i].Quality, 100.0);
        EXPECT_EQ(pairs.back[i].Quality, 100.0);
    }
}

TEST_F(QuickTwoFaceFit, NeedsTenLivePairsAndAQualityOfFiftyIsDead) {
    PairSet pairs = QuickPairs(truth, FrontSights(10));
    TMapper entry = Background();
    entry.D1 = 3.0e-5;
    entry.A1 = 0.5;
    out.m_dStdR_fb = -7.0;

    pairs.front[4].Quality = 50.0;  // one face at exactly 50.0 kills the pair
    TMapper map = entry;
    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 1),
              3);
    EXPECT_EQ(map.D1, 0.0);  // cleared for the range pass, not restored
    EXPECT_EQ(map.A1, 0.5);
    EXPECT_EQ(out.m_dStdR_fb, -7.0);

    pairs.front[4].Quality = 50.000001;
    map = entry;
    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 1),
              2);
    ExpectQuickTruth(map, truth);

    map = entry;
    EXPECT_EQ(engine.CalculateQCFSBSa(nullptr, nullptr, &map, 0, &out, 1), 3);
    EXPECT_EQ(map.D1, 0.0);
}

TEST_F(QuickTwoFaceFit, OutlierCallRejectsTheFarthestPairNotTheLargestRangeDifference) {
    PairSet pairs = QuickPairs(truth, FrontSights(30));
    pairs.back[4].Range += 5.0e-5;     // largest range difference, 50 um apart
    pairs.back[11].Azimuth += 1.0e-4;  // at 2 m or more: at least 200 um apart
    pairs.back[11].Sphr2Cart();
    TMapper map = Background();

    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 0),
              1);
    EXPECT_EQ(pairs.front[11].Quality, 50.0);
    EXPECT_EQ(pairs.back[11].Quality, 50.0);
    EXPECT_EQ(pairs.front[4].Quality, 100.0);
    EXPECT_GT(out.m_dStdAz_fb, 0.0001873571990077792);

    // The rejected pair stays out: the fit over the others no longer exceeds the angular limit.
    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 0),
              0);
    EXPECT_EQ(pairs.front[4].Quality, 100.0);
}

TEST_F(QuickTwoFaceFit, OfEqualWorstPairsTheFirstIsRejected) {
    std::vector<CVector> fronts = FrontSights(30);
    fronts[17] = fronts[6];
    PairSet pairs = QuickPairs(truth, fronts);
    pairs.back[6].Elevation += 2.0e-4;
    pairs.back[6].Sphr2Cart();
    pairs.back[17] = pairs.back[6];  // the same gross pair twice: equal distances
    TMapper map = Background();

    EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, 0),
              1);
    EXPECT_EQ(pairs.back[6].Quality, 50.0);
    EXPECT_EQ(pairs.back[17].Quality, 100.0);
}

TEST_F(QuickTwoFaceFit, ConvergenceLimitsOfLengthAndAngle) {
    PairSet pairs = QuickPairs(truth, FrontSights(40));
    TMapper solved = Background();
    engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &solved, pairs.count(), &out, 1);
    const double lengthLimit = 5.08e-07;
    const double angleLimit = 7.494287960311168e-06;

    // The entry values of the fitted elements only move the range pass's elevations (by 1e-7
    // rad at most here), which moves the solution by less than 1e-9 of a limit: the change
    // the test sees is the offset given.
    struct Case {
        double TMapper::*element;
        double offset;
        int expected;
    };
    const Case cases[] = {
        {&TMapper::D1, 0.9 * lengthLimit, 0},     {&TMapper::D1, 1.1 * lengthLimit, 2},
        {&TMapper::A1, 0.9 * angleLimit, 0},      {&TMapper::A1, -1.1 * angleLimit, 2},
        {&TMapper::A2, 1.1 * angleLimit, 2},      {&TMapper::El_2AzC, 1.1 * angleLimit, 2},
        {&TMapper::Az_AzC, -0.9 * angleLimit, 0}, {&TMapper::Az_AzS, 1.1 * angleLimit, 2},
    };
    for (const Case& c : cases) {
        TMapper map = solved;
        map.*c.element += c.offset;
        EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map,
                                          pairs.count(), &out, 1),
                  c.expected)
            << c.offset;
    }
}

TEST_F(QuickTwoFaceFit, AllPairsAtOneElevationLeaveTheEntryModelAndReportNotConverged) {
    // One range and one elevation, no other model term: every calibrated front sight has the
    // same half-angle, so tan h and 1 / cos h (and sin h and 1) are proportional columns.
    PairSet pairs = BuildPairs(OneElevationFronts(30, 0.2, 5.0), TMapper{}, TMapper{},
                               MeanRange(truth.D1), QuickModel(truth));
    TMapper entry{};
    entry.A1 = 0.001;
    entry.El_ElS = -0.002;
    entry.D1 = 1.0e-5;
    out.m_dStdEl_fb = -7.0;
    for (int flag : {0, 1}) {
        TMapper map = entry;
        EXPECT_EQ(engine.CalculateQCFSBSa(pairs.front.data(), pairs.back.data(), &map,
                                          pairs.count(), &out, flag),
                  2);
        EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));
        EXPECT_EQ(out.m_dStdEl_fb, -7.0);
    }
}

// --- The pair-of-pairs variant ------------------------------------------------------------

// Each usable combination solves the model exactly; |sin h_i - sin h_j| > 0.2 bounds the
// amplification of the rounding of the differences (~1e-16 / 1e-5) by 1 / 0.2, so the average
// agrees to ~1e-10 relative.
TEST_F(QuickTwoFaceFit, PairOfPairsRecoversItsFiveTermsAndSettles) {
    // El_2AzS is not an element of this variant: it acts through the calibration of both
    // passes and is never written.
    TMapper background = Background();
    background.El_2AzS = 0.0025;
    TMapper dataMap = background;
    dataMap.D1 = truth.D1;
    PairSet pairs = BuildPairs(FrontSights(25), background, dataMap, MeanRange(truth.D1),
                               PairOfPairsModel(truth));
    TMapper map = background;

    EXPECT_EQ(
        engine.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, pairs.count(), &out, 1),
        2);
    EXPECT_TRUE(Near(map.D1, truth.D1, kRecoveryTolerance)) << map.D1;
    EXPECT_TRUE(Near(map.A1, truth.A1, kRecoveryTolerance)) << map.A1;
    EXPECT_TRUE(Near(map.A3, truth.A3, kRecoveryTolerance)) << map.A3;
    EXPECT_TRUE(Near(map.A2, truth.A2, kRecoveryTolerance)) << map.A2;
    EXPECT_TRUE(Near(map.El_ElS, truth.El_ElS, kRecoveryTolerance)) << map.El_ElS;
    EXPECT_EQ(map.El_2AzS, 0.0025);
    EXPECT_EQ(map.Az_AzS, 0.0);

    EXPECT_EQ(
        engine.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, pairs.count(), &out, 1),
        0);
}

TEST_F(QuickTwoFaceFit, PairOfPairsNeedsSinesThatDifferByMoreThanATenth) {
    // Elevations within 0.2 rad: sin h varies by less than 0.1, so no combination qualifies.
    // The range pass sees the entry values of the four angular elements.
    TMapper entry = Background();
    entry.A1 = 0.003;
    entry.A2 = 0.003;
    entry.A3 = 0.003;
    entry.El_ElS = 0.003;
    TMapper dataMap = Background();
    dataMap.D1 = truth.D1;
    PairSet pairs = BuildPairs(FrontSights(25, 0.1, 0.3), entry, dataMap, MeanRange(truth.D1),
                               PairOfPairsModel(truth));
    TMapper map = entry;
    out.m_dStdR_fb = -7.0;
    EXPECT_EQ(
        engine.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, pairs.count(), &out, 1),
        3);
    EXPECT_TRUE(Near(map.D1, truth.D1, kRecoveryTolerance));  // the mean was written
    EXPECT_EQ(map.A1, 0.0);
    EXPECT_EQ(map.A2, 0.0);
    EXPECT_EQ(map.A3, 0.0);
    EXPECT_EQ(map.El_ElS, 0.0);
    EXPECT_EQ(out.m_dStdR_fb, -7.0);

    map.D1 = 4.0e-5;
    EXPECT_EQ(engine.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, 0, &out, 1), 3);
    EXPECT_EQ(map.D1, 0.0);
}

TEST_F(QuickTwoFaceFit, PairOfPairsSpreadDividesByOneForTwoPairs) {
    // Two pairs far apart in elevation whose D1 estimates are D1 + d and D1 - d with D1 = 0:
    // the solved D1 is 0 and the range differences stay -2 (+d) cos El and -2 (-d) cos El.
    const double d = 3.0e-6;
    std::vector<CVector> fronts = {Reading(100, 4.0, 0.3, -0.4), Reading(100, 6.0, -1.2, 0.7)};
    QuickTruth zeroD1 = truth;
    zeroD1.D1 = 0.0;
    PairSet pairs;
    for (int i = 0; i < 2; ++i) {
        const double estimate = i == 0 ? d : -d;
        pairs.front.push_back(fronts[i]);
        pairs.back.push_back(SolveBackSight(fronts[i], TMapper{}, TMapper{}, MeanRange(estimate),
                                            PairOfPairsModel(zeroD1)));
    }
    TMapper map{};
    EXPECT_EQ(engine.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, 2, &out, 0), 0);
    const double r0 = 2.0 * d * std::cos(-0.4);
    const double r1 = 2.0 * d * std::cos(0.7);
    // With the model empty at entry the range pass sees the raw elevations, and no angular
    // element moves a range: the spread is the two differences (divisor N - 1 = 1; N would
    // give a spread smaller by the square root of 2). The back sights' ranges are built to an
    // ulp of 6 m (9e-16) against differences of 1e-5: 1e-9 relative covers it tenfold.
    EXPECT_NEAR(out.m_dStdR_fb, std::sqrt(r0 * r0 + r1 * r1), 1e-9 * out.m_dStdR_fb);
}

TEST_F(QuickTwoFaceFit, PairOfPairsWritesItsEntryTraceLines) {
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / "two_face_pair_of_pairs_trace";
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "TraceFile.txt";
    std::filesystem::remove(file);
    const char* inherited = std::getenv("COMPENSATION_TRACE_DIR");
    const std::string previous = inherited != nullptr ? inherited : "";
    setenv("COMPENSATION_TRACE_DIR", dir.string().c_str(), 1);
    {
        CCompensation traced;
        PairSet pairs = PairOfPairsPairs(truth, FrontSights(12));
        pairs.front[0].Range = 2.5;
        pairs.back[0].Quality = 75.5;
        TMapper map = Background();
        traced.CalculateQCFSBS(pairs.front.data(), pairs.back.data(), &map, 12, &out, 1);
        traced.CalculateQCFSBS(nullptr, nullptr, &map, 0, &out, 1);
    }
    if (previous.empty()) {
        unsetenv("COMPENSATION_TRACE_DIR");
    } else {
        setenv("COMPENSATION_TRACE_DIR", previous.c_str(), 1);
    }

    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string trace = text.str();
    const std::string firstCall =
        "Entering CalculateQC \n"
        "   pVec_f \n"
        "       Quality   = 100.000000 \n"
        "       Range     = 2.500000 \n";
    EXPECT_NE(trace.find(firstCall), std::string::npos) << trace;
    EXPECT_NE(trace.find("   pVec_b \n       Quality   = 75.500000 \n"), std::string::npos);
    EXPECT_NE(trace.find("       Radian    = 1 \n       nCount_fb = 12\n"), std::string::npos);
    // With no pairs the vector lines carry only their titles.
    EXPECT_NE(trace.find("Entering CalculateQC \n   pVec_f \n   pVec_b \n       nCount_fb = 0\n"),
              std::string::npos);
}

}  // namespace
