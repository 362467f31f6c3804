#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "compensation/compensation.h"
#include "fits/two_face_pairs.h"

using namespace two_face_test;

namespace {

// The whole elevation face difference as a cubic in the calibrated front-sight elevation,
// radians: q0 + q1 El + q2 El^2 + q3 El^3. The fit stores half of q1..q3.
struct Cubic {
    double q0 = 2.0e-5;
    double q1 = 2.0e-5;
    double q2 = -4.0e-5;
    double q3 = 3.0e-5;
};

constexpr double kD1 = 1.5e-5;

// The entry model: A2 and El_ElS hold values the fit must hand back untouched.
TMapper Entry() {
    TMapper map{};
    map.X0 = 1.5e-5;
    map.Az_AzS = 4.0e-4;
    map.A2 = 0.0011;
    map.El_ElS = 0.0007;
    return map;
}

PairSet FbbPairs(const Cubic& cubic, const std::vector<CVector>& fronts,
                 const TMapper& entry = Entry()) {
    TMapper rangeMap = entry;
    rangeMap.D1 = 0.0;
    TMapper dataMap = entry;
    dataMap.D1 = kD1;
    dataMap.A2 = dataMap.El_ElS = 0.0;
    dataMap.B_plus = dataMap.A_plus = dataMap.C_plus = 0.0;
    const RangeModel range = [](const CVector& f) { return -2.0 * kD1 * std::cos(f.Elevation); };
    const AngleModel angles = [cubic](const CVector& f) {
        const double e = f.Elevation;
        return AngleDifferences{0.0,
                                cubic.q0 + cubic.q1 * e + cubic.q2 * e * e + cubic.q3 * e * e * e};
    };
    return BuildPairs(fronts, rangeMap, dataMap, range, angles);
}

std::vector<CVector> WideBand(int count) {
    return FrontSights(count, -0.6, 1.0);
}

// Differences exact to ~1e-16 rad against 1e-5; the cubic's 4x4 normal matrix over this band
// amplifies by ~1e3: agreement to ~1e-10 relative (observed below 1e-11).
constexpr double kRecoveryTolerance = 1e-9;

class FbbTwoFaceFit : public ::testing::Test {
  protected:
    int Fit(PairSet& pairs, TMapper& map, int flag, int count = -1) {
        return engine.CalculateFBBFSBS(pairs.front.data(), pairs.back.data(), &map,
                                       count < 0 ? pairs.count() : count, &out, flag);
    }
    CCompensation engine;
    TCompOut out{};
    Cubic cubic;
};

TEST_F(FbbTwoFaceFit, OneCallWritesHalfTheCubicAndHandsA2AndElElSBack) {
    PairSet pairs = FbbPairs(cubic, WideBand(30));
    out.m_dStdR_fb = out.m_dStdAz_fb = out.m_dStdEl_fb = -7.0;
    out.m_dStdEl_fbb = -7.0;
    TMapper map = Entry();

    EXPECT_EQ(Fit(pairs, map, 1), 2);
    EXPECT_TRUE(Near(map.B_plus, 0.5 * cubic.q1, kRecoveryTolerance)) << map.B_plus;
    EXPECT_TRUE(Near(map.A_plus, 0.5 * cubic.q2, kRecoveryTolerance)) << map.A_plus;
    EXPECT_TRUE(Near(map.C_plus, 0.5 * cubic.q3, kRecoveryTolerance)) << map.C_plus;
    EXPECT_TRUE(Near(map.D1, kD1, kRecoveryTolerance)) << map.D1;
    EXPECT_EQ(map.A2, Entry().A2);
    EXPECT_EQ(map.El_ElS, Entry().El_ElS);
    EXPECT_EQ(map.Az_AzS, Entry().Az_AzS);
    // Its spreads go to their own fields; the main two-face fields are not touched.
    EXPECT_GE(out.m_dStdEl_fbb, 0.0);
    EXPECT_GE(out.m_dStdR_fbb, 0.0);
    EXPECT_EQ(out.m_dStdR_fb, -7.0);
    EXPECT_EQ(out.m_dStdAz_fb, -7.0);
    EXPECT_EQ(out.m_dStdEl_fb, -7.0);

    EXPECT_EQ(Fit(pairs, map, 1), 0);
    EXPECT_EQ(map.A2, Entry().A2);
    EXPECT_EQ(map.El_ElS, Entry().El_ElS);
}

TEST_F(FbbTwoFaceFit, NeedsTenLivePairs) {
    PairSet pairs = FbbPairs(cubic, WideBand(10));
    TMapper entry = Entry();
    entry.D1 = 3.0e-5;
    entry.B_plus = 0.25;
    out.m_dStdEl_fbb = -7.0;

    pairs.back[0].Quality = 50.0;
    TMapper map = entry;
    EXPECT_EQ(Fit(pairs, map, 1), 3);
    EXPECT_EQ(map.D1, 0.0);
    EXPECT_EQ(map.B_plus, 0.25);
    EXPECT_EQ(map.A2, entry.A2);
    EXPECT_EQ(out.m_dStdEl_fbb, -7.0);
    map = entry;
    EXPECT_EQ(Fit(pairs, map, 0, -3), 3);

    pairs.back[0].Quality = 60.0;
    map = Entry();
    EXPECT_EQ(Fit(pairs, map, 1), 2);
    EXPECT_TRUE(Near(map.C_plus, 0.5 * cubic.q3, kRecoveryTolerance)) << map.C_plus;
}

TEST_F(FbbTwoFaceFit, OnlyTheElevationDifferenceRanksAndRejects) {
    PairSet pairs = FbbPairs(cubic, WideBand(30));
    pairs.back[5].Range += 1.0e-4;    // 100 um apart in range
    pairs.back[5].Azimuth += 3.0e-4;  // and farther still across
    pairs.back[5].Sphr2Cart();
    TMapper map = Entry();
    // Range and azimuth spreads far above their usual limits reject nothing here.
    EXPECT_EQ(Fit(pairs, map, 0), 0);
    EXPECT_GT(out.m_dStdR_fbb, 1.27e-05);
    EXPECT_GT(out.m_dStdAz_fbb, 0.0001873571990077792);

    pairs.back[8].Elevation += 5.0e-5;
    pairs.back[8].Sphr2Cart();
    map = Entry();
    EXPECT_EQ(Fit(pairs, map, 0), 1);
    EXPECT_EQ(pairs.front[8].Quality, 50.0);
    EXPECT_EQ(pairs.back[8].Quality, 50.0);
    EXPECT_EQ(pairs.back[5].Quality, 100.0);
    EXPECT_EQ(map.A2, Entry().A2);
}

TEST_F(FbbTwoFaceFit, ThePolynomialSettlesByTheLengthOfItsChange) {
    PairSet pairs = FbbPairs(cubic, WideBand(30));
    TMapper solved = Entry();
    Fit(pairs, solved, 1);
    // Starting from the solution moves the range pass's elevations by ~1e-5 rad, hence D1 by
    // ~1e-10 m and the cubic by ~1e-11: far below the 1e-8 margins used here.
    TMapper map = solved;
    map.B_plus += 1.0e-7;  // each below 1.308e-07, together 1.41e-07
    map.A_plus -= 1.0e-7;
    EXPECT_EQ(Fit(pairs, map, 1), 2);
    map = solved;
    map.B_plus += 1.0e-7;
    EXPECT_EQ(Fit(pairs, map, 1), 0);
    map = solved;
    map.C_plus += 0.9e-7;
    map.A_plus += 0.9e-7;  // 1.27e-07
    EXPECT_EQ(Fit(pairs, map, 1), 0);
    map = solved;
    map.D1 += 1.0e-3;  // neither D1 nor A2 decides settling
    map.A2 += 1.0;
    EXPECT_EQ(Fit(pairs, map, 1), 0);
    EXPECT_EQ(map.A2, solved.A2 + 1.0);
}

TEST_F(FbbTwoFaceFit, AllPairsAtOneElevationLeaveTheEntryModelAndReportNotConverged) {
    TMapper entry{};
    entry.A2 = 0.0011;
    entry.El_ElS = 0.0007;
    entry.B_plus = 1.0e-5;
    PairSet pairs = FbbPairs(cubic, OneElevationFronts(30, 0.4, 6.0), entry);
    for (int flag : {0, 1}) {
        TMapper map = entry;
        EXPECT_EQ(Fit(pairs, map, flag), 2);
        EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));
    }
}

}  // namespace
