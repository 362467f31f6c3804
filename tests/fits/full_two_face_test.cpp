#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "compensation/compensation.h"
#include "fits/two_face_pairs.h"

using namespace two_face_test;

namespace {

// Elements no full fit estimates; they still act through the calibration.
TMapper Background() {
    TMapper map{};
    map.X0 = 1.5e-5;
    map.Ax = 1.0e-4;
    map.Az_2AzS = 3.0e-4;
    map.D2 = 1.0e-5;
    return map;
}

// Pairs for a fit that clears its range elements for the range pass and its angular elements
// for the data pass; `entry` is the model the call starts from.
PairSet FullPairs(const TMapper& entry, const Terms& azimuth, const Terms& elevation,
                  const std::vector<CVector>& fronts, const Terms& range = FullRangeTerms()) {
    TMapper rangeMap = With(entry, {{&TMapper::D1, 0.0, 1.0, nullptr},
                                    {&TMapper::D2_AzS, 0.0, 1.0, nullptr},
                                    {&TMapper::D2_AzC, 0.0, 1.0, nullptr}});
    TMapper dataMap = entry;
    for (const Term& term : Join(azimuth, elevation)) {
        dataMap.*term.element = 0.0;
    }
    dataMap = With(dataMap, range);
    return BuildPairs(fronts, rangeMap, dataMap, BackMinusFront(range),
                      HalfDifferences(azimuth, elevation));
}

// The observations are exact to ~1e-16 rad (1e-15 m) against face differences of 1e-5 to 1e-4;
// the 14- and 6-column systems amplify that by their conditioning, so the coefficients agree
// to ~1e-10 relative (observed: 4e-11 over 60 pairs, 2e-10 over the bare 21).
constexpr double kRecoveryTolerance = 1e-9;

class FullTwoFaceFit : public ::testing::Test {
  protected:
    int Full(PairSet& pairs, TMapper& map, int flag, int azHarmonics, int count = -1) {
        return engine.CalculateFFCFSBS(pairs.front.data(), pairs.back.data(), &map,
                                       count < 0 ? pairs.count() : count, &out, flag, azHarmonics);
    }
    int ClearedFirst(PairSet& pairs, TMapper& map, int flag) {
        return engine.CalculateFCFSBS(pairs.front.data(), pairs.back.data(), &map, pairs.count(),
                                      &out, flag);
    }
    CCompensation engine;
    TCompOut out{};
};

TEST_F(FullTwoFaceFit, WithAzHarmonicsOneCallWritesAllTwentyThreeAndTheNextSettles) {
    const Terms azimuth = Join(SeriesTerms(), OddAzTerms());
    PairSet pairs = FullPairs(Background(), azimuth, FullElevationTerms(), FrontSights(60));
    TMapper map = Background();

    EXPECT_EQ(Full(pairs, map, 1, 1), 2);
    EXPECT_TRUE(HoldsTerms(map, FullRangeTerms(), kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, azimuth, kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, FullElevationTerms(), kRecoveryTolerance));
    EXPECT_EQ(map.Az_2AzS, Background().Az_2AzS);
    EXPECT_EQ(map.A1_6AzS, 0.0);

    EXPECT_EQ(Full(pairs, map, 1, 1), 0);
    EXPECT_EQ(Full(pairs, map, 0, 1), 0);
    EXPECT_LT(out.m_dStdR_fb, 1.27e-05 / 100);
    EXPECT_LT(out.m_dStdAz_fb, 0.0001873571990077792 / 100);
    EXPECT_LT(out.m_dStdEl_fb, 0.0001873571990077792 / 100);
}

TEST_F(FullTwoFaceFit, WithoutAzHarmonicsTheOddAzTermsActButAreNeverWritten) {
    const TMapper background = With(Background(), OddAzTerms());
    PairSet pairs = FullPairs(background, SeriesTerms(), FullElevationTerms(), FrontSights(60));

    TMapper map = background;
    EXPECT_EQ(Full(pairs, map, 1, 0), 2);
    EXPECT_TRUE(HoldsTerms(map, FullRangeTerms(), kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, SeriesTerms(), kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, FullElevationTerms(), kRecoveryTolerance));
    for (const Term& term : OddAzTerms()) {
        EXPECT_EQ(map.*term.element, term.value);
    }

    // Any value other than 1 leaves the odd harmonics out.
    TMapper other = background;
    EXPECT_EQ(Full(pairs, other, 1, 2), 2);
    EXPECT_EQ(0, std::memcmp(&map, &other, sizeof(TMapper)));
}

TEST_F(FullTwoFaceFit, NeedsTwentyOneLivePairs) {
    const Terms azimuth = Join(SeriesTerms(), OddAzTerms());
    PairSet pairs = FullPairs(Background(), azimuth, FullElevationTerms(), FrontSights(21));
    TMapper entry = With(Background(), azimuth);
    entry.D1 = 1.0e-3;
    out.m_dStdR_fb = -7.0;

    pairs.back[13].Quality = 50.0;
    TMapper map = entry;
    EXPECT_EQ(Full(pairs, map, 0, 1), 18);
    EXPECT_EQ(map.D1, 0.0);
    EXPECT_EQ(map.D2_AzS, 0.0);
    EXPECT_EQ(map.D2_AzC, 0.0);
    EXPECT_TRUE(HoldsTerms(map, azimuth, 0.0));
    EXPECT_EQ(out.m_dStdR_fb, -7.0);

    // A convergence call still compares: clearing D1 is not tested, clearing D2_AzS is.
    map = entry;
    EXPECT_EQ(Full(pairs, map, 1, 1), 18);
    map = entry;
    map.D2_AzS = 0.9 * 5.08e-07;
    EXPECT_EQ(Full(pairs, map, 1, 1), 18);
    map = entry;
    map.D2_AzC = -1.1 * 5.08e-07;
    EXPECT_EQ(Full(pairs, map, 1, 1), 2);
    EXPECT_EQ(map.D2_AzC, 0.0);
    EXPECT_EQ(Full(pairs, map, 1, 1, 0), 18);

    pairs.back[13].Quality = 50.5;
    map = Background();
    EXPECT_EQ(Full(pairs, map, 1, 1), 2);
    EXPECT_TRUE(HoldsTerms(map, azimuth, kRecoveryTolerance));
}

TEST_F(FullTwoFaceFit, ConvergenceTestsTheHarmonicsButNotD1OrA2) {
    const Terms azimuth = Join(SeriesTerms(), OddAzTerms());
    PairSet pairs = FullPairs(Background(), azimuth, FullElevationTerms(), FrontSights(60));
    TMapper solved = Background();
    Full(pairs, solved, 1, 1);
    const double lengthLimit = 5.08e-07;
    const double angleLimit = 7.494287960311168e-06;

    // Entry values move the range pass's elevations by 1e-7 rad at most here, which moves the
    // solution by less than 1e-8 of a limit.
    struct Case {
        double TMapper::*element;
        double offset;
        int expected;
    };
    const Case cases[] = {
        {&TMapper::D1, 1.0e-4, 0},
        {&TMapper::A2, 1.0e-3, 0},
        {&TMapper::D2_AzC, 0.9 * lengthLimit, 0},
        {&TMapper::D2_AzC, 1.1 * lengthLimit, 2},
        {&TMapper::A3_4AzC, 1.1 * angleLimit, 2},
        {&TMapper::El_4AzS, -0.9 * angleLimit, 0},
        {&TMapper::El_ElS, -1.1 * angleLimit, 2},
        {&TMapper::Az_3AzC, 1.1 * angleLimit, 2},
    };
    for (const Case& c : cases) {
        TMapper map = solved;
        map.*c.element += c.offset;
        EXPECT_EQ(Full(pairs, map, 1, 1), c.expected) << c.offset;
    }
}

TEST_F(FullTwoFaceFit, OutlierCallRejectsTheFarthestPair) {
    PairSet pairs = FullPairs(Background(), SeriesTerms(), FullElevationTerms(), FrontSights(60));
    pairs.back[9].Azimuth += 1.0e-4;
    pairs.back[9].Sphr2Cart();
    TMapper map = Background();
    EXPECT_EQ(Full(pairs, map, 0, 0), 1);
    EXPECT_EQ(pairs.front[9].Quality, 50.0);
    EXPECT_EQ(pairs.back[9].Quality, 50.0);
    // A convergence call never rejects.
    pairs.back[9].Quality = 100.0;
    pairs.front[9].Quality = 100.0;
    EXPECT_EQ(Full(pairs, map, 1, 0), 0);
    EXPECT_EQ(pairs.back[9].Quality, 100.0);
}

TEST_F(FullTwoFaceFit, ClearedFirstVariantIgnoresTheEntryModelAndTestsD1AndA2) {
    // Every fitted element is cleared before the range pass, so the pairs are built for a
    // range pass without them whatever the entry holds.
    const Terms series = SeriesTerms();
    const Terms elevation = FullElevationTerms();
    PairSet pairs = FullPairs(Background(), series, elevation, FrontSights(60));
    TMapper entry = Background();
    for (const Term& term : Join(FullRangeTerms(), Join(series, elevation))) {
        entry.*term.element = 0.01;
    }
    entry.Az_AzS = 0.0;  // not fitted by this variant

    TMapper map = entry;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 2);
    EXPECT_TRUE(HoldsTerms(map, FullRangeTerms(), kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, series, kRecoveryTolerance));
    EXPECT_TRUE(HoldsTerms(map, elevation, kRecoveryTolerance));
    const TMapper solved = map;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 0);
    EXPECT_EQ(0, std::memcmp(&map, &solved, sizeof(TMapper)));

    map = solved;
    map.D1 += 1.1 * 5.08e-07;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 2);
    map = solved;
    map.A2 += 1.1 * 7.494287960311168e-06;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 2);
    map = solved;
    map.A2 += 0.9 * 7.494287960311168e-06;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 0);
}

TEST_F(FullTwoFaceFit, ClearedFirstVariantWithTooFewPairsLeavesAllNineteenAtZero) {
    const Terms all = Join(FullRangeTerms(), Join(SeriesTerms(), FullElevationTerms()));
    PairSet pairs = FullPairs(Background(), SeriesTerms(), FullElevationTerms(), FrontSights(20));
    TMapper entry = With(Background(), all);

    TMapper map = entry;
    EXPECT_EQ(ClearedFirst(pairs, map, 0), 18);
    for (const Term& term : all) {
        EXPECT_EQ(map.*term.element, 0.0);
    }
    EXPECT_EQ(map.Ax, Background().Ax);

    map = entry;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 2);
    map = Background();
    map.A2 = 0.9 * 7.494287960311168e-06;
    EXPECT_EQ(ClearedFirst(pairs, map, 1), 18);
}

TEST_F(FullTwoFaceFit, AllPairsAtOneElevationLeaveTheEntryModelAndReportNotConverged) {
    // One range, one elevation and no D2 harmonics: every calibrated front sight has the same
    // half-angle, so the tan h and 1 / cos h columns are proportional.
    const Terms range = {{&TMapper::D1, 2.0e-5, 1.0, column::TwoSinTwoH}};
    PairSet pairs = FullPairs(TMapper{}, SeriesTerms(), FullElevationTerms(),
                              OneElevationFronts(40, 0.2, 5.0), range);
    TMapper entry = With(TMapper{}, Join(SeriesTerms(), FullElevationTerms()));
    entry.D1 = 1.0e-5;
    out.m_dStdAz_fb = -7.0;
    for (int flag : {0, 1}) {
        for (int azHarmonics : {0, 1}) {
            TMapper map = entry;
            EXPECT_EQ(Full(pairs, map, flag, azHarmonics), 2);
            EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));
        }
        TMapper map = entry;
        EXPECT_EQ(ClearedFirst(pairs, map, flag), 2);
        EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));
    }
    EXPECT_EQ(out.m_dStdAz_fb, -7.0);
}

}  // namespace
