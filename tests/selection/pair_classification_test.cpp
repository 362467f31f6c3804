#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kDegToRad;
using compensation::kInterballGreatestSeparation;
using compensation::kInterballLeastSeparation;
using compensation::kInvalidInput;
using compensation::testing::Measurement;
using compensation::testing::TraceCapture;

constexpr int kViewSize = 7;  // reference vector, three front sights, three back sights

// Views of three targets; target t of view v has range 4 + t and a view-dependent azimuth, so
// that every copied vector can be recognised.
std::vector<CVector> ThreeTargetViews(int views) {
    std::vector<CVector> host;
    for (int v = 0; v < views; ++v) {
        host.push_back(Measurement(14, 3.0, 0.3, 0.0));
        for (int face : {100, 200}) {
            for (int t = 0; t < 3; ++t) {
                host.push_back(Measurement(face, 4.0 + t, 0.1 * v, 0.05 * t));
            }
        }
    }
    return host;
}

int Position(int view, int target) {
    return view * kViewSize + target;
}

struct Pairs {
    std::vector<CVector> vectors;
    int count = -7;
};

int Classify(CCompensation& engine, std::vector<CVector>& host, int nCount, Pairs& pairs, int n1,
             int n2, int nFlagUpdate) {
    if (pairs.vectors.empty()) {
        pairs.vectors.resize(2 * host.size() / kViewSize + 2);
    }
    return engine.ClassifyPairs(host.data(), nCount, pairs.vectors.data(), n1, n2, &pairs.count,
                                nFlagUpdate);
}

TEST(ClassifyPairs, OnePairPerViewWithBothTargetsLive) {
    CCompensation engine;
    std::vector<CVector> host = ThreeTargetViews(9);
    host[Position(2, 3)].Quality = 50.0;  // view 2 loses its pair
    host[Position(4, 1)].Type = -100;     // only the exact front-sight code qualifies
    const int nCount = static_cast<int>(host.size());

    Pairs pairs;
    engine.m_nMinCount = 7;
    EXPECT_EQ(Classify(engine, host, nCount, pairs, 1, 3, 1), 19);  // 7 pairs are not above 7
    EXPECT_EQ(pairs.count, 7);
    engine.m_nMinCount = 6;
    EXPECT_EQ(Classify(engine, host, nCount, pairs, 1, 3, 1), 0);
    // Pair 2 comes from view 3: azimuth 0.3, target ranges 4 and 6.
    EXPECT_EQ(pairs.vectors[4].Azimuth, 0.1 * 3);
    EXPECT_EQ(pairs.vectors[4].Range, 4.0);
    EXPECT_EQ(pairs.vectors[5].Range, 6.0);
}

TEST(ClassifyPairs, WriteBackLowersQualityOfRejectedTargets) {
    CCompensation engine;
    engine.m_nMinCount = 2;
    std::vector<CVector> host = ThreeTargetViews(4);
    const int nCount = static_cast<int>(host.size());
    Pairs pairs;
    ASSERT_EQ(Classify(engine, host, nCount, pairs, 1, 3, 1), 0);
    host[Position(3, 1)].Quality = 80.0;
    pairs.vectors[2].Quality = 50.0;  // view 1, first target
    pairs.vectors[5].Quality = 40.0;  // view 2, second target
    pairs.vectors[6].Quality = 50.0;  // view 3, both
    pairs.vectors[7].Quality = 50.0;

    EXPECT_EQ(Classify(engine, host, nCount, pairs, 1, 3, 0), 0);
    EXPECT_EQ(pairs.count, 4);
    EXPECT_EQ(host[Position(0, 1)].Quality, 99.0);
    EXPECT_EQ(host[Position(1, 1)].Quality, 49.0);
    EXPECT_EQ(host[Position(1, 3)].Quality, 99.0);
    EXPECT_EQ(host[Position(2, 3)].Quality, 49.0);
    EXPECT_EQ(host[Position(3, 1)].Quality, 30.0);  // the old value less 50
    EXPECT_EQ(host[Position(3, 3)].Quality, 49.0);

    // The same target chosen twice is lowered once.
    std::vector<CVector> same = ThreeTargetViews(3);
    Pairs samePairs;
    engine.m_nMinCount = 1;
    ASSERT_EQ(Classify(engine, same, 21, samePairs, 2, 2, 1), 0);
    samePairs.vectors[0].Quality = 50.0;
    samePairs.vectors[1].Quality = 50.0;
    EXPECT_EQ(Classify(engine, same, 21, samePairs, 2, 2, 0), 0);
    EXPECT_EQ(same[Position(0, 2)].Quality, 49.0);
}

TEST(ClassifyPairs, TargetsBeyondATruncatedArrayDoNotQualify) {
    CCompensation engine;
    engine.m_nMinCount = 1;
    std::vector<CVector> host = ThreeTargetViews(3);
    // The last view ends after its second front sight; its third target lies past the end.
    const int nCount = Position(2, 3);
    Pairs pairs;
    EXPECT_EQ(Classify(engine, host, nCount, pairs, 1, 3, 1), 0);
    EXPECT_EQ(pairs.count, 2);
    // Positions 1 and 2 of the last view are inside the array and still qualify.
    EXPECT_EQ(Classify(engine, host, nCount, pairs, 1, 2, 1), 0);
    EXPECT_EQ(pairs.count, 3);

    Pairs rejectAll;
    ASSERT_EQ(Classify(engine, host, nCount, rejectAll, 1, 3, 1), 0);
    for (CVector& v : rejectAll.vectors) {
        v.Quality = 0.0;
    }
    EXPECT_EQ(Classify(engine, host, nCount, rejectAll, 1, 3, 0), 0);
    EXPECT_EQ(host[Position(1, 1)].Quality, 49.0);
    EXPECT_EQ(host[Position(2, 1)].Quality, 99.0);
    EXPECT_EQ(host[Position(2, 3)].Quality, 99.0);

    // The same on an array that really ends there, for the address sanitizer to watch.
    std::vector<CVector> exact = ThreeTargetViews(3);
    exact.resize(nCount);
    Pairs exactPairs;
    EXPECT_EQ(Classify(engine, exact, nCount, exactPairs, 1, 3, 1), 0);
    EXPECT_EQ(Classify(engine, exact, nCount, exactPairs, 1, 3, 0), 0);
}

TEST(ClassifyPairs, RefusesPositionsAndPairArraysThatDoNotFit) {
    CCompensation engine;
    engine.m_nMinCount = 1;
    std::vector<CVector> host = ThreeTargetViews(3);
    Pairs pairs;
    pairs.count = 77;
    EXPECT_EQ(Classify(engine, host, 21, pairs, 0, 2, 1), kInvalidInput);
    EXPECT_EQ(Classify(engine, host, 21, pairs, 1, -2, 1), kInvalidInput);
    EXPECT_EQ(pairs.count, 77);
    EXPECT_EQ(pairs.vectors[0].Type, 0);

    // Write-back with a pair array that holds fewer pairs than the views that qualify.
    pairs.count = 2;
    EXPECT_EQ(Classify(engine, host, 21, pairs, 1, 2, 0), kInvalidInput);
    EXPECT_EQ(pairs.count, 2);
    for (const CVector& v : host) {
        EXPECT_EQ(v.Quality, 99.0);
    }
}

TEST(ClassifyPairs, TracesItsArgumentsAndCount) {
    TraceCapture trace;
    CCompensation engine;
    engine.m_nMinCount = 1;
    std::vector<CVector> host = ThreeTargetViews(2);
    Pairs pairs;
    const std::size_t mark = trace.Size();
    EXPECT_EQ(Classify(engine, host, 14, pairs, 1, 3, 1), 0);
    const std::string expected =
        "Entering ClassifyPairs \n"
        "   pVec \n"
        "       Quality   = 99.000000 \n"
        "       Range     = 3.000000 \n"
        "       Azimuth   = 0.300000 \n"
        "       Elivation = 0.000000 \n"
        "       X         = -0.886561 \n"
        "       Y         = 0.000000 \n"
        "       Z         = 2.866009 \n"
        "       Type      = 14 \n"
        "       FSBS      = 1 \n"
        "       Radian    = 1 \n"
        "       nCount = 14\n"
        "   pVec_pairs \n"
        "       Quality   = 0.000000 \n"
        "       Range     = 0.000000 \n"
        "       Azimuth   = 0.000000 \n"
        "       Elivation = 0.000000 \n"
        "       X         = 0.000000 \n"
        "       Y         = 0.000000 \n"
        "       Z         = 0.000000 \n"
        "       Type      = 0 \n"
        "       FSBS      = 0 \n"
        "       Radian    = 0 \n"
        "       n1 = 1\n"
        "       n2 = 3\n"
        "       nFlagUpdate = 1\n"
        "       nCountPairs = 2\n"
        "       Leaving ClassifyPairs = 0\n";
    EXPECT_EQ(trace.Since(mark), expected);
}

std::vector<CVector> TargetsAt(const std::vector<double>& azimuths) {
    std::vector<CVector> targets;
    for (const double az : azimuths) {
        targets.push_back(Measurement(100, 5.0, az, 0.0));
    }
    return targets;
}

int PairTable(CCompensation& engine, const std::vector<double>& azimuths, std::vector<int>& table) {
    std::vector<CVector> targets = TargetsAt(azimuths);
    const std::size_t n = azimuths.size();
    table.assign(n * (n - 1) / 2, -7);
    return engine.ClassifyIBPairs(targets.data(), table.data(), static_cast<int>(n));
}

TEST(ClassifyIBPairs, SeparationLimitsAreExcludedAndTheSeamIsFolded) {
    CCompensation engine;
    std::vector<int> table;
    // Lexicographic order: (0,1), (0,2), ..., (1,2), ...
    PairTable(engine, {0.0, 1.0, 0.0, 170 * kDegToRad, -170 * kDegToRad}, table);
    const std::vector<int> expected = {0, 1, 1, 1,  // 0 with 57, 0, 170, -170 degrees
                                       0, 0, 1,     // 1 rad with 0, 170 (113 deg), -170 degrees
                                       1, 1,        // 0 with 170, -170
                                       1};          // 170 with -170: 20 degrees across the seam
    EXPECT_EQ(table, expected);

    PairTable(engine,
              {0.0, kInterballLeastSeparation, std::nextafter(kInterballLeastSeparation, 1.0),
               kInterballGreatestSeparation, std::nextafter(kInterballGreatestSeparation, 0.0)},
              table);
    EXPECT_EQ(table[0], 1);  // exactly 25 degrees
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(table[2], 1);  // exactly 115 degrees
    EXPECT_EQ(table[3], 0);
}

TEST(ClassifyIBPairs, NeedsTwentyFiveUsablePairs) {
    CCompensation engine;
    std::vector<int> table;
    // Two groups 1 rad apart: only the pairs across the groups are usable.
    EXPECT_EQ(PairTable(engine, {0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, table), 0);   // 5 x 5
    EXPECT_EQ(PairTable(engine, {0, 0, 0, 0, 1, 1, 1, 1, 1, 1}, table), 20);  // 4 x 6
    // Seven targets make only 21 pairs.
    EXPECT_EQ(PairTable(engine, {0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0}, table), 20);

    std::vector<CVector> none;
    int untouched = -7;
    EXPECT_EQ(engine.ClassifyIBPairs(none.data(), &untouched, 0), 20);
    EXPECT_EQ(untouched, -7);
}

}  // namespace
