// Two-face pairs, target pairs within a view, the interball pair table and azimuth coverage.
#include <climits>
#include <cmath>
#include <vector>

#include "selection/selection.h"
#include "selection/selection_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;
using detail::TraceVectorLines;

// Strict limits; the earlier front sight first; forward search; unpaired is marked 18 everywhere.
TEST(ClassifyFSBS, PairsEachFrontSightWithinStrictLimits) {
    const double in = std::nextafter(kDegToRad, 0.0);
    struct Case {
        std::vector<CVector> host;
        int result;
        std::vector<double> marks, hostQuality = {};  // of the pairs, of the host's vectors
        std::vector<CVector> fronts = std::vector<CVector>(4), backs = fronts;
    } cases[] = {
        // 0.02 - 0.01 is exactly 0.01 in binary: the range test sits on its limit.
        {{Sight(0.02, 0, 0), Sight(0.01, 0, 0, 200)}, 1, {18}, {18, 99}},
        {{Sight(5, 0, 0), Sight(5, kDegToRad, 0, 200)}, 1, {18}, {18, 99}},
        {{Sight(5, 0, 0), Sight(5, in, -in, 200)}, 1, {99}, {99, 99}},
        {{Sight(5, .2, .1), Sight(5, .2, .1), Sight(5, .2, .1, 200)}, 0, {99, 18}, {99, 18, 99}},
        {{Sight(4, 0, 0), Sight(6, 0, 0), Sight(6, 0, 0, 200), Sight(4, 0, 0, 200)}, 0, {99, 18}}};
    CCompensation engine;
    for (Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        int count = -7;
        CVector *host = c.host.data(), *front = c.fronts.data(), *back = c.backs.data();
        EXPECT_EQ(engine.ClassifyFSBS(host, Count(c.host), front, back, &count, 1), c.result);
        ASSERT_EQ(count, static_cast<int>(c.marks.size()));
        for (int k = 0; k < count; ++k) {
            EXPECT_EQ(front[k].Quality, c.marks[k]);
            EXPECT_EQ(back[k].Quality, c.marks[k]);
        }
        for (std::size_t i = 0; i < c.hostQuality.size(); ++i) {
            EXPECT_EQ(c.host[i].Quality, c.hostQuality[i]) << "vector " << i;
        }
    }
    EXPECT_EQ(cases[0].backs[0].Type, 100);  // the front sight stands in
}

// Two views of targets A and B, classified into pair arrays of ten.
struct TwoFaceHost {
    TwoFaceHost() {
        AppendView(host, {{4, .3, .1}, {6, -.8, .2}});
        AppendView(host, {{4, .3, .1}, {6, -.8, .2}});
        CCompensation().ClassifyFSBS(host.data(), 10, front.data(), back.data(), &count, 1);
    }
    // ClassifyFSBS on the first `vectors` vectors of the host.
    int Call(CCompensation& engine, int vectors, int flag) {
        return engine.ClassifyFSBS(host.data(), vectors, front.data(), back.data(), &count, flag);
    }
    std::vector<CVector> host, front = std::vector<CVector>(10), back = front;
    int count = 0;
};

// Rejected by the fits: front sight of pair 1, back sights of pairs 2 and 3 (dead in the host).
TEST(ClassifyFSBS, WritesTheFitsRejectionsBack) {
    TwoFaceHost sets;
    sets.front[1].Quality = sets.back[2].Quality = sets.back[3].Quality = 50.0;
    sets.host[9].Quality = 18.0;
    const std::string trace = TraceOf([&](CCompensation& e) { EXPECT_EQ(sets.Call(e, 10, 0), 0); });
    const double expected[] = {99, 99, 50, 99, 99, 99, 99, 99, 50, 18};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(sets.host[i].Quality, expected[i]) << "vector " << i;
    }
    EXPECT_EQ(trace, "       nCount_fb = 4\n       Leaving ClassifyFSBS = 0\n");
}

// Passed without its last back sight, the write-back writes nothing beyond the array.
TEST(ClassifyFSBS, WriteBackStaysInsideTheArray) {
    TwoFaceHost sets;
    sets.back[3].Quality = 50.0;
    CCompensation engine;
    EXPECT_EQ(sets.Call(engine, 9, 0), 0);
    EXPECT_EQ(sets.host[9].Quality, kLive);
}

// Fewer pairs than front sights: the arrays do not belong together. A negative flag does nothing.
TEST(ClassifyFSBS, RefusesAWriteBackWithFewerPairsThanFrontSights) {
    TwoFaceHost sets;
    sets.front[0].Quality = 50.0;  // would mark the host's first front sight
    CCompensation engine;
    sets.count = 3;
    EXPECT_EQ(sets.Call(engine, 9, 0), -1);
    EXPECT_EQ(sets.Call(engine, 9, -1), 1);
    EXPECT_EQ(sets.host[1].Quality, kLive);
}

// Five views of three targets (target t of view v at range 4 + t, azimuth 0.1 v); view 2 loses
// the pair of positions 1 and 3, and view 3's first target has the signed type -100 (only the
// exact front-sight code qualifies). Call: ClassifyPairs on the first `vectors` vectors.
class ClassifyPairs : public ::testing::Test {
  protected:
    ClassifyPairs() {
        for (int v = 0; v < 5; ++v) {
            AppendView(host, {{4.0, 0.1 * v, 0.0}, {5.0, 0.1 * v, 0.05}, {6.0, 0.1 * v, 0.1}});
        }
        host[2 * 7 + 3].Quality = 50.0;
        host[3 * 7 + 1].Type = -100;
        engine.m_nMinCount = 2;
    }
    int Call(int vectors, int first, int second, int flag) {
        return engine.ClassifyPairs(host.data(), vectors, pairs.data(), first, second, &count,
                                    flag);
    }
    CCompensation engine;
    std::vector<CVector> host, pairs = std::vector<CVector>(10);
    int count = -7;
};

// Views 0, 1 and 4 qualify: more pairs than the least count give 0, as many give 19.
TEST_F(ClassifyPairs, OnePairPerViewWithBothFrontSightsLive) {
    EXPECT_EQ(Call(35, 1, 3, 1), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(pairs[4].Azimuth, 0.1 * 4);  // pair 2 comes from view 4
    EXPECT_EQ(pairs[5].Range, 6.0);
    engine.m_nMinCount = 3;
    EXPECT_EQ(Call(35, 1, 3, 1), 19);
}

// A rejected first target loses 50 quality; a rejected second target only while it is live.
TEST_F(ClassifyPairs, WritesRejectionsBackAsTheQualityLessFifty) {
    Call(35, 1, 3, 1);
    host[4 * 7 + 1].Quality = 80.0;
    pairs[2].Quality = pairs[4].Quality = pairs[5].Quality = 50.0;
    EXPECT_EQ(Call(35, 1, 3, 0), 0);
    const double expected[][2] = {{99, 99}, {49, 99}, {99, 50}, {99, 99}, {30, 49}};
    for (int v = 0; v < 5; ++v) {
        EXPECT_EQ(host[v * 7 + 1].Quality, expected[v][0]) << "view " << v;
        EXPECT_EQ(host[v * 7 + 3].Quality, expected[v][1]) << "view " << v;
    }
}

TEST_F(ClassifyPairs, TracesItsArgumentsAndThePairCount) {
    const CVector blank;  // the pair array as the trace shows it, on entry
    EXPECT_EQ(TraceOf([&](CCompensation& e) {
                  e.ClassifyPairs(host.data(), 14, pairs.data(), 1, 3, &count, 1);
              }),
              "Entering ClassifyPairs \n" + TraceVectorLines("pVec", &host[0]) +
                  "       nCount = 14\n" + TraceVectorLines("pVec_pairs", &blank) +
                  "       n1 = 1\n       n2 = 3\n       nFlagUpdate = 1\n"
                  "       nCountPairs = 2\n       Leaving ClassifyPairs = 19\n");
}

// An array (a fresh block) ending after view 2's second front sight: position 3 is beyond.
TEST_F(ClassifyPairs, StaysInsideATruncatedArray) {
    host = std::vector<CVector>(host.begin(), host.begin() + 17);
    engine.m_nMinCount = 0;
    EXPECT_EQ(Call(17, 1, 2, 1), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Call(17, 1, 3, 1), 0);
    EXPECT_EQ(count, 2);
    pairs[1].Quality = 0.0;
    EXPECT_EQ(Call(17, 1, 3, 0), 0);
    EXPECT_EQ(host[3].Quality, 49.0);
}

// Positions count from 1; a write-back with fewer pairs than views qualify is refused.
TEST_F(ClassifyPairs, RefusesPositionZeroAndAShortWriteBack) {
    count = 1;
    pairs[0].Quality = 0.0;  // would mark the host's first target
    EXPECT_EQ(Call(35, 0, 2, 1), -1);
    EXPECT_EQ(Call(35, 1, -2, 1), -1);
    EXPECT_EQ(Call(35, 1, 2, 0), -1);
    EXPECT_EQ(host[1].Quality, kLive);
}

// The interball pair table of targets at the given azimuths (radians), and its result.
struct PairTable {
    int Classify(const std::vector<double>& azimuths) {
        std::vector<CVector> targets;
        for (const double azimuth : azimuths) {
            targets.push_back(Sight(5.0, azimuth, 0.0));
        }
        entries.assign(azimuths.size() * (azimuths.size() - 1) / 2, -7);
        return CCompensation().ClassifyIBPairs(targets.data(), entries.data(), Count(targets));
    }
    std::vector<int> entries;
};

// Separations of 25 and 115 degrees are excluded, and differences fold at +-pi.
TEST(ClassifyIBPairs, UsesPairsStrictlyBetweenTheSeparationLimits) {
    PairTable table;
    // 0 with 57, 0, 170, -170 deg; 57 with 0, 170, -170; 0 with 170, -170; 170 with -170 (20).
    table.Classify({0.0, 1.0, 0.0, 170 * kDegToRad, -170 * kDegToRad});
    EXPECT_EQ(table.entries, (std::vector<int>{0, 1, 1, 1, 0, 0, 1, 1, 1, 1}));
    const double least = kInterballLeastSeparation, greatest = kInterballGreatestSeparation;
    table.Classify(
        {0.0, least, std::nextafter(least, 1.0), greatest, std::nextafter(greatest, 0.0)});
    EXPECT_EQ(table.entries, (std::vector<int>{1, 0, 1, 0, 1, 0, 0, 0, 0, 1}));
}

TEST(ClassifyIBPairs, NeedsTwentyFiveUsablePairs) {
    PairTable table;
    EXPECT_EQ(table.Classify({0, 0, 0, 0, 0, 1, 1, 1, 1, 1}), 0);      // 5 x 5 pairs 1 rad apart
    EXPECT_EQ(table.Classify({0, 0, 0, 0, 1, 1, 1, 1, 1, 1}), 20);     // 4 x 6
    EXPECT_EQ(table.Classify({0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0}), 20);  // 21 pairs in all
    EXPECT_EQ(CCompensation().ClassifyIBPairs(nullptr, nullptr, 0), 20);
}

// Reference views at the given azimuths (degrees), judged with sectors from code `firstCode`.
int Coverage(std::vector<CVector>& views, const std::vector<double>& azimuthsDeg, int firstCode,
             int sectors) {
    views.clear();
    for (const double azimuth : azimuthsDeg) {
        views.push_back(Sight(3.0, azimuth * kDegToRad, 0.0, kTypeReferenceView));
    }
    return CCompensation().AcceptViews(views.data(), Count(views), 14, firstCode, sectors);
}

// Eight sectors: sector b holds azimuths strictly between 45 b - 185 and 45 b - 130 degrees.
TEST(AcceptViews, ReturnsTheCodeOfTheFirstEmptySector) {
    std::vector<CVector> views;
    EXPECT_EQ(Coverage(views, {-115, -70, -25, 20, 65, 110, 155}, 7, 8), 7);
    EXPECT_EQ(Coverage(views, {-160, -115, -70, 20, 65, 110, 155}, 9, 8), 12);
    EXPECT_EQ(Coverage(views, {-130, -70, -25, 20, 65, 110, 155}, 7, 8), 7);    // edge excluded
    EXPECT_EQ(Coverage(views, {-177, -115, -70, -25, 20, 65, 110}, 7, 8), 14);  // 183 is -177
    EXPECT_EQ(Coverage(views, {-160, -115, -70, -25, 20, 65, 110, 155}, INT_MAX, 1), 0);
}

TEST(AcceptViews, RefusesNoSectorAndACodeBeyondTheIntRange) {
    std::vector<CVector> views;
    EXPECT_EQ(Coverage(views, {-115, -70, -25, 20, 65, 110, 155}, 7, 0), -1);
    EXPECT_EQ(Coverage(views, {-115, -70, -25, 20, 65, 110, 155}, INT_MAX, 2), -1);
}

// Only live vectors of the given type count; just below an edge a view fills both sectors.
TEST(AcceptViews, CountsLiveViewsOfTheTypeOnly) {
    CCompensation engine;
    std::vector<CVector> views;
    Coverage(views, {-160, -115, -70, -25, 20, 65, 110, 155}, 7, 8);
    views[1].Type = 100;
    EXPECT_EQ(engine.AcceptViews(views.data(), 8, 14, 7, 8), 8);
    views[0].Quality = 50.0;
    EXPECT_EQ(engine.AcceptViews(views.data(), 8, 14, 7, 8), 7);
    views[0].Quality = kLive;
    views[0].Azimuth = std::nextafter(-130.0 * kDegToRad, -10.0);
    EXPECT_EQ(engine.AcceptViews(views.data(), 8, 14, 7, 8), 0);
}

// Two sectors, (-185, 5) and (-5, 185) degrees: a view at -1 rad fills only the first.
TEST(AcceptViews, TracesItsArgumentsAndResult) {
    std::vector<CVector> views = {Sight(2.5, -1.0, 0.0, 14)};
    EXPECT_EQ(TraceOf([&](CCompensation& e) { e.AcceptViews(views.data(), 1, 14, 9, 2); }),
              "Entering AcceptViews \n" + TraceVectorLines("pVec", &views[0]) +
                  "       nCount = 1\n       nType = 14\n       nFlag_0 = 9\n"
                  "       nSep = 2\n       Leaving AcceptViews = 10\n");
}

}  // namespace
