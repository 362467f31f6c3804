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
TEST(ClassifyFSBS, PairsAndWritesBack) {
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

    // Rejected by the fits: front sight of pair 1, back sights of pairs 2 and 3 (dead in the host).
    std::vector<CVector> host, front(10), back(10), few(3);
    AppendView(host, {{4, .3, .1}, {6, -.8, .2}});
    AppendView(host, {{4, .3, .1}, {6, -.8, .2}});
    int count = 0;
    const std::string trace = TraceOf([&](CCompensation& e) {
        e.ClassifyFSBS(host.data(), 10, front.data(), back.data(), &count, 1);
        front[1].Quality = back[2].Quality = back[3].Quality = 50.0;
        host[9].Quality = 18.0;
        EXPECT_EQ(e.ClassifyFSBS(host.data(), 10, front.data(), back.data(), &count, 0), 0);
    });
    const double expected[] = {99, 99, 50, 99, 99, 99, 99, 99, 50, 18};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(host[i].Quality, expected[i]) << "vector " << i;
    }
    const std::string pass = "       nCount_fb = 4\n       Leaving ClassifyFSBS = 0\n";
    EXPECT_EQ(trace, pass + pass);
    // Passed without its last back sight: nothing written beyond; then refusals and no pass.
    host[9].Quality = kLive;
    engine.ClassifyFSBS(host.data(), 9, front.data(), back.data(), &count, 1);
    EXPECT_EQ(engine.ClassifyFSBS(host.data(), 9, front.data(), back.data(), &count, 0), 0);
    EXPECT_EQ(host[9].Quality, kLive);
    count = 3;
    EXPECT_EQ(engine.ClassifyFSBS(host.data(), 9, few.data(), few.data(), &count, 0), -1);
    EXPECT_EQ(engine.ClassifyFSBS(host.data(), 9, few.data(), few.data(), &count, -1), 1);
    EXPECT_EQ(host[1].Quality, kLive);
}

// One pair per view with both front sights live; rejections come back as old quality less 50.
TEST(ClassifyPairs, ClassifiesWritesBackAndStaysInsideTheArray) {
    CCompensation engine;
    std::vector<CVector> host, pairs(10), fresh(4);
    for (int v = 0; v < 5; ++v) {  // target t of view v at range 4 + t, azimuth 0.1 v
        AppendView(host, {{4.0, 0.1 * v, 0.0}, {5.0, 0.1 * v, 0.05}, {6.0, 0.1 * v, 0.1}});
    }
    host[2 * 7 + 3].Quality = 50.0;  // view 2 loses its pair
    host[3 * 7 + 1].Type = -100;     // only the exact front-sight code qualifies
    int count = -7;
    engine.m_nMinCount = 3;
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 35, pairs.data(), 1, 3, &count, 1), 19);
    engine.m_nMinCount = 2;
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 35, pairs.data(), 1, 3, &count, 1), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(pairs[4].Azimuth, 0.1 * 4);  // pair 2 comes from view 4
    EXPECT_EQ(pairs[5].Range, 6.0);
    host[4 * 7 + 1].Quality = 80.0;
    pairs[2].Quality = pairs[4].Quality = pairs[5].Quality = 50.0;
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 35, pairs.data(), 1, 3, &count, 0), 0);
    const double expected[][2] = {{99, 99}, {49, 99}, {99, 50}, {99, 99}, {30, 49}};
    for (int v = 0; v < 5; ++v) {
        EXPECT_EQ(host[v * 7 + 1].Quality, expected[v][0]) << "view " << v;
        EXPECT_EQ(host[v * 7 + 3].Quality, expected[v][1]) << "view " << v;
    }
    const CVector blank;  // the pair array as the trace shows it, on entry
    EXPECT_EQ(TraceOf([&](CCompensation& e) {
                  e.ClassifyPairs(host.data(), 14, fresh.data(), 1, 3, &count, 1);
              }),
              "Entering ClassifyPairs \n" + TraceVectorLines("pVec", &host[0]) +
                  "       nCount = 14\n" + TraceVectorLines("pVec_pairs", &blank) +
                  "       n1 = 1\n       n2 = 3\n       nFlagUpdate = 1\n"
                  "       nCountPairs = 1\n       Leaving ClassifyPairs = 19\n");

    // An array (a fresh block) ending after view 2's second front sight: position 3 is beyond.
    engine.m_nMinCount = 0;
    host = std::vector<CVector>(host.begin(), host.begin() + 17);
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 1, 2, &count, 1), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 1, 3, &count, 1), 0);
    EXPECT_EQ(count, 1);
    pairs[1].Quality = 0.0;
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 1, 3, &count, 0), 0);
    EXPECT_EQ(host[3].Quality, 49.0);
    // Positions count from 1; a write-back with fewer pairs than views qualify is refused.
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 0, 2, &count, 1), -1);
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 1, -2, &count, 1), -1);
    EXPECT_EQ(engine.ClassifyPairs(host.data(), 17, pairs.data(), 1, 2, &count, 0), -1);
    EXPECT_EQ(host[1].Quality, kLive);
}

// Separations of 25 and 115 degrees are excluded, differences fold at +-pi, 25 pairs are needed.
TEST(ClassifyIBPairs, UsablePairsAndTheirCount) {
    CCompensation engine;
    std::vector<int> entries;
    auto table = [&](const std::vector<double>& azimuths) {
        std::vector<CVector> targets;
        for (const double az : azimuths) {
            targets.push_back(Sight(5.0, az, 0.0));
        }
        entries.assign(azimuths.size() * (azimuths.size() - 1) / 2, -7);
        return engine.ClassifyIBPairs(targets.data(), entries.data(), Count(targets));
    };
    // 0 with 57, 0, 170, -170 deg; 57 with 0, 170, -170; 0 with 170, -170; 170 with -170 (20).
    table({0.0, 1.0, 0.0, 170 * kDegToRad, -170 * kDegToRad});
    EXPECT_EQ(entries, (std::vector<int>{0, 1, 1, 1, 0, 0, 1, 1, 1, 1}));
    const double least = kInterballLeastSeparation, greatest = kInterballGreatestSeparation;
    table({0.0, least, std::nextafter(least, 1.0), greatest, std::nextafter(greatest, 0.0)});
    EXPECT_EQ(entries, (std::vector<int>{1, 0, 1, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(table({0, 0, 0, 0, 0, 1, 1, 1, 1, 1}), 0);      // 5 x 5 pairs 1 rad apart
    EXPECT_EQ(table({0, 0, 0, 0, 1, 1, 1, 1, 1, 1}), 20);     // 4 x 6
    EXPECT_EQ(table({0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0}), 20);  // 21 pairs in all
    EXPECT_EQ(engine.ClassifyIBPairs(nullptr, nullptr, 0), 20);
}

// Eight sectors: sector b holds azimuths strictly between 45 b - 185 and 45 b - 130 degrees.
TEST(AcceptViews, FirstEmptySector) {
    CCompensation engine;
    std::vector<CVector> v;
    auto accept = [&](const std::vector<double>& azimuthsDeg, int nFlag_0, int nSep) {
        v.clear();
        for (const double az : azimuthsDeg) {
            v.push_back(Sight(3.0, az * kDegToRad, 0.0, 14));
        }
        return engine.AcceptViews(v.data(), Count(v), 14, nFlag_0, nSep);
    };
    const std::vector<double> no0 = {-115, -70, -25, 20, 65, 110, 155};
    EXPECT_EQ(accept(no0, 7, 8), 7);
    EXPECT_EQ(accept({-160, -115, -70, 20, 65, 110, 155}, 9, 8), 12);
    EXPECT_EQ(accept({-130, -70, -25, 20, 65, 110, 155}, 7, 8), 7);    // the edge is excluded
    EXPECT_EQ(accept({-177, -115, -70, -25, 20, 65, 110}, 7, 8), 14);  // no wrap: 183 is -177
    EXPECT_EQ(accept(no0, 7, 0), -1);                                  // no sector to fill
    EXPECT_EQ(accept(no0, INT_MAX, 2), -1);  // a code beyond the int range
    EXPECT_EQ(accept({-160, -115, -70, -25, 20, 65, 110, 155}, INT_MAX, 1), 0);
    // Only live vectors of the given type count; just below an edge a view fills both sectors.
    v[1].Type = 100;
    EXPECT_EQ(engine.AcceptViews(v.data(), 8, 14, 7, 8), 8);
    v[0].Quality = 50.0;
    EXPECT_EQ(engine.AcceptViews(v.data(), 8, 14, 7, 8), 7);
    v[0].Quality = kLive;
    v[0].Azimuth = std::nextafter(-130.0 * kDegToRad, -10.0);
    EXPECT_EQ(engine.AcceptViews(v.data(), 8, 14, 7, 8), 0);
    // Two sectors, (-185, 5) and (-5, 185) degrees: a view at -1 rad fills only the first.
    v = {Sight(2.5, -1.0, 0.0, 14)};
    EXPECT_EQ(TraceOf([&](CCompensation& e) { e.AcceptViews(v.data(), 1, 14, 9, 2); }),
              "Entering AcceptViews \n" + TraceVectorLines("pVec", &v[0]) +
                  "       nCount = 1\n       nType = 14\n       nFlag_0 = 9\n"
                  "       nSep = 2\n       Leaving AcceptViews = 10\n");
}

}  // namespace
