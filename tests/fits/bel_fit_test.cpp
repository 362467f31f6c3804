// The El_ElC fit: four table targets read from the home placement (reference) and from ten
// placements at heights up to 0.8 m apart. The step is first order; the neglected products of
// El_ElC's shift (5e-5 rad) with the model's corrections (9e-5 rad) stay below 1.5e-4 of the
// chosen 0.003 degrees (measured 2e-6): 2e-4 bounds them.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/fit_scenes.h"

namespace {

using namespace fit_scenes;

constexpr double kTrue = 0.003;

// Pairs far enough apart in reference range (> 3 m) and view-0 elevation (> 22.5 degrees):
// (0,1), (0,3), (1,2), (2,3) of the first set, all six of the second, only (0,1) of the third.
const std::vector<Point3> kSets[] = {
    {{0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 2.2}, {0.8, 3.8, 6.5}},
    {{0.4, -1.3, 1.8}, {-0.6, -0.6, 5.4}, {0.9, 2.7, 8.6}, {-1.0, 8.5, 9.5}},
    {{0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 3.4}, {-1.2, 0.9, 2.4}}};

struct BEl {
    TMapper truth = [] {
        TMapper map = BackgroundModel();
        map.El_ElC = kTrue;
        return map;
    }();
    explicit BEl(int set)
        : reference(Read(kSets[set], {{{0, 0, 0}, 0.0}}, truth)),
          views(Read(kSets[set], Placements(10, 0.1, {0, 0, 0}, 0.8), truth)) {}
    int Fit(TMapper* map, int flag, const int (&table)[4] = {1, 2, 3, 4}, int viewCount = 10) {
        out.m_n1_d2 = table[0];
        out.m_n2_d2 = table[1];
        out.m_n1_extra = table[2];
        out.m_n2_extra = table[3];
        return CCompensation().Calculate_bEl(reference.data(), views.data(), viewCount, 4, map,
                                             &out, flag);
    }
    std::vector<CVector> reference;
    std::vector<CVector> views;  // target t of view v at 4 v + t
    TCompOut out{};
};

// From 0 the chosen value, nothing else moved, the distances agree to the second-order
// remainder; from the chosen value a call settles; the step is absolute, so 0.98 and 1.02 of
// the change limit from the solution decide the code.
TEST(BElFit, RecoversTheChosenTermAndSettlesOnIt) {
    for (int set : {0, 1}) {
        BEl s(set);
        TMapper map = s.truth;
        map.El_ElC = 0.0;
        EXPECT_EQ(s.Fit(&map, 1), 27);
        EXPECT_NEAR(map.El_ElC, kTrue, 2e-4 * kTrue);
        EXPECT_LT(s.out.m_dStdExtraIn, 1e-9);
        const double solution = map.El_ElC;
        map.El_ElC = kTrue;
        EXPECT_TRUE(SameBits(map, s.truth));
        EXPECT_EQ(s.Fit(&map, 0), 0);
        for (double factor : {-1.02, -0.98, 0.98, 1.02}) {
            map.El_ElC = solution + factor * 7.494287960311168e-06;
            EXPECT_EQ(s.Fit(&map, 1), std::fabs(factor) < 1.0 ? 0 : 27) << factor;
        }
    }
}

// With one qualifying pair a rejection needs more than nCountViews - 3 = 7 samples: the outlier
// in view 4 stays with target 0 dead (exactly 50.0) in views 6 to 8, and goes with view 8 back.
TEST(BElFit, OnePairRejectsOnlyWithMoreThanSevenSamples) {
    BEl s(2);
    s.views[4 * 4 + 1].Range += 2e-4;
    for (int v : {6, 7, 8}) {
        s.views[v * 4].Quality = 50.0;
    }
    TMapper map = s.truth;
    s.Fit(&map, 1);
    EXPECT_GT(s.out.m_dStdExtraIn, 1.27e-05);
    EXPECT_EQ(s.Fit(&map, 0), 0);
    s.views[8 * 4].Quality = 99.0;
    s.Fit(&map, 1);
    const std::vector<CVector> before = s.views;
    EXPECT_EQ(s.Fit(&map, 0), 24);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(s.views[i].Quality, i == 16 || i == 17 ? 50.0 : before[i].Quality) << i;
    }
}

// One target given four times qualifies no pair (0 / 0): the entry value goes back with the
// not-converged code. Target numbers outside the view, no views or no reference return -1.
TEST(BElFit, UndeterminedOrBadInputLeavesTheModel) {
    BEl s(0);
    TMapper map = s.truth;
    EXPECT_EQ(s.Fit(&map, 0, {1, 1, 1, 1}), 27);
    EXPECT_EQ(s.Fit(&map, 0, {0, 2, 3, 4}), -1);
    EXPECT_EQ(s.Fit(&map, 0, {1, 2, 3, 5}), -1);
    EXPECT_EQ(s.Fit(&map, 0, {1, -7, 3, 4}), -1);
    EXPECT_EQ(s.Fit(&map, 0, {1, 2, 3, 4}, 0), -1);
    EXPECT_EQ(CCompensation().Calculate_bEl(nullptr, s.views.data(), 10, 4, &map, &s.out, 0), -1);
    EXPECT_TRUE(SameBits(map, s.truth));
    EXPECT_EQ(s.out.m_dStdExtraIn, 0.0);  // never written
}

}  // namespace
