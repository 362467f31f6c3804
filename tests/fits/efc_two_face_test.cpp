#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "compensation/compensation.h"
#include "fits/two_face_pairs.h"

using namespace two_face_test;

namespace {

Terms EfcAzimuthTerms() {
    return {{&TMapper::A1, 0.0021, kRadToDeg, column::TS<0>},
            {&TMapper::A3, -0.0014, kRadToDeg, column::US<0>},
            {&TMapper::Az_AzS, 0.0008, kRadToDeg, column::S<1>},
            {&TMapper::Az_AzC, -0.0005, kRadToDeg, column::C<1>}};
}

Terms EfcElevationTerms() {
    return {{&TMapper::A2, 0.0012, kHalfRadToDeg, column::One},
            {&TMapper::El_ElS, 0.0007, kRadToDeg, column::SinH}};
}

constexpr double kD1 = 2.0e-5;

// El_2AzS and El_2AzC belong to the quick fit, not to this one: they act, but are not written.
TMapper Background() {
    TMapper map{};
    map.El_2AzS = 3.0e-4;
    map.El_2AzC = -2.0e-4;
    map.Y0 = 1.0e-5;
    return map;
}

PairSet EfcPairs(const std::vector<CVector>& fronts, const TMapper& background = Background()) {
    TMapper dataMap = background;
    dataMap.D1 = kD1;
    const RangeModel range = [](const CVector& f) { return -2.0 * kD1 * std::cos(f.Elevation); };
    return BuildPairs(fronts, background, dataMap, range,
                      HalfDifferences(EfcAzimuthTerms(), EfcElevationTerms()));
}

// As for the quick fit: observations exact to ~1e-16 against 1e-5, small systems, agreement to
// ~1e-10 relative (observed below 1e-11).
constexpr double kRecoveryTolerance = 1e-9;

class EfcTwoFaceFit : public ::testing::Test {
  protected:
    int Fit(PairSet& pairs, TMapper& map, int flag) {
        return engine.CalculateEFCFSBS(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                       &out, flag);
    }
    CCompensation engine;
    TCompOut out{};
};

TEST_F(EfcTwoFaceFit, OneCallWritesTheSevenTermsAndTheNextSettles) {
    PairSet pairs = EfcPairs(FrontSights(30));
    TMapper map = Background();
    EXPECT_EQ(Fit(pairs, map, 1), 2);
    EXPECT_TRUE(Near(map.D1, kD1, kRecoveryTolerance)) << map.D1;
    EXPECT_TRUE(HoldsTerms(map, EfcAzimuthTerms(), kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, EfcElevationTerms(), kRecoveryTolerance));
    EXPECT_EQ(map.El_2AzS, Background().El_2AzS);
    EXPECT_EQ(map.El_2AzC, Background().El_2AzC);

    EXPECT_EQ(Fit(pairs, map, 1), 0);
    EXPECT_EQ(Fit(pairs, map, 0), 0);
}

TEST_F(EfcTwoFaceFit, NeedsTenLivePairs) {
    PairSet pairs = EfcPairs(FrontSights(10));
    TMapper entry = With(Background(), EfcAzimuthTerms());
    entry.D1 = 1.0e-5;
    out.m_dStdAz_fb = -7.0;
    pairs.front[9].Quality = 50.0;
    TMapper map = entry;
    EXPECT_EQ(Fit(pairs, map, 0), 3);
    EXPECT_EQ(map.D1, 0.0);
    EXPECT_TRUE(HoldsTerms(map, EfcAzimuthTerms(), 0.0));
    EXPECT_EQ(out.m_dStdAz_fb, -7.0);

    pairs.front[9].Quality = 50.01;
    map = Background();
    EXPECT_EQ(Fit(pairs, map, 1), 2);
    EXPECT_TRUE(HoldsTerms(map, EfcElevationTerms(), kRecoveryTolerance));
}

TEST_F(EfcTwoFaceFit, ConvergenceLimits) {
    PairSet pairs = EfcPairs(FrontSights(30));
    TMapper solved = Background();
    Fit(pairs, solved, 1);
    struct Case {
        double TMapper::*element;
        double offset;
        int expected;
    };
    const Case cases[] = {
        {&TMapper::D1, -1.1 * 5.08e-07, 2},
        {&TMapper::D1, 0.9 * 5.08e-07, 0},
        {&TMapper::A2, 1.1 * 7.494287960311168e-06, 2},
        {&TMapper::Az_AzC, -0.9 * 7.494287960311168e-06, 0},
        {&TMapper::El_ElS, 1.1 * 7.494287960311168e-06, 2},
    };
    for (const Case& c : cases) {
        TMapper map = solved;
        map.*c.element += c.offset;
        EXPECT_EQ(Fit(pairs, map, 1), c.expected) << c.offset;
    }
}

TEST_F(EfcTwoFaceFit, OutlierCallRejectsTheFarthestPair) {
    PairSet pairs = EfcPairs(FrontSights(30));
    pairs.back[21].Elevation += 1.0e-4;
    pairs.back[21].Sphr2Cart();
    TMapper map = Background();
    EXPECT_EQ(Fit(pairs, map, 0), 1);
    EXPECT_EQ(pairs.back[21].Quality, 50.0);
    EXPECT_EQ(Fit(pairs, map, 0), 0);
}

TEST_F(EfcTwoFaceFit, AllPairsAtOneElevationLeaveTheEntryModelAndReportNotConverged) {
    PairSet pairs = EfcPairs(OneElevationFronts(30, 0.3, 3.0), TMapper{});
    TMapper entry = With(TMapper{}, EfcElevationTerms());
    for (int flag : {0, 1}) {
        TMapper map = entry;
        EXPECT_EQ(Fit(pairs, map, flag), 2);
        EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));
    }
}

}  // namespace
