// The check (FCKIB) and FBB (FBBIB) fits of the elevation polynomial: five targets on one line,
// seen from seven placements at different heights and, in the in-line view 3, along the line,
// where an elevation error turns all of them alike (the check fit's distances). Tolerance 1e-8,
// an eighth of the change limit 1.308e-07: the neglected products of the polynomial's shift
// (1.2e-4 rad) with itself and the model's corrections come to 3e-9.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/fit_scenes.h"

namespace {

using namespace fit_scenes;

struct Line {
    Line() {
        std::vector<Point3> targets;
        for (double s : {2.0, 3.5, 5.0, 6.5, 8.0}) {
            targets.push_back({s * 0.0939682, -1.0 + s * 0.3288887, -3.0 + s * 0.9396820});
        }
        std::vector<InstrumentPose> poses = Placements(8, 0.1, {0.3, 0, 0.5}, 0.8);
        poses[3] = compensation::testing::PoseFromYaw(0.4, {0.0, -1.0, -3.0});
        views = Read(targets, poses, truth);
        out.m_nInlineView = 3;
    }
    int Fit(bool check, TMapper* map, int flag, int viewCount = 8) {
        CCompensation e;
        return check ? e.CalculateFCKIB(views.data(), map, 5, viewCount, &out, flag)
                     : e.CalculateFBBIB(views.data(), map, 5, viewCount, &out, flag);
    }
    int Marked(int index) const { return views[index].Quality == 50.0 ? 1 : 0; }

    TMapper truth = [] {
        TMapper map = BackgroundModel();
        map.B_minus = 3e-5;
        map.A_minus = -2e-5;
        map.C_minus = 1.5e-5;
        return map;
    }();
    std::vector<CVector> views;  // target t of view v at 5 v + t
    TCompOut out{};
};

// From 0 (and El_ElC set to 0 whatever it was, nothing else moved) both recover the chosen
// polynomial in one call and settle on it. The FBB step is absolute, so 0.98 and 1.02 of the
// limit as the length of a change in all three coefficients decide its code.
TEST(ElevationPolynomialFit, BothRecoverTheChosenPolynomialAndSettleOnIt) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "check" : "FBB");
        Line s;
        TMapper map = s.truth;
        map.B_minus = map.A_minus = map.C_minus = 0.0;
        map.El_ElC = 0.001;
        EXPECT_EQ(s.Fit(check, &map, 1), 2);
        EXPECT_NEAR(map.B_minus, s.truth.B_minus, 1e-8);
        EXPECT_NEAR(map.A_minus, s.truth.A_minus, 1e-8);
        EXPECT_NEAR(map.C_minus, s.truth.C_minus, 1e-8);
        EXPECT_LT(s.out.m_dStdIB_fbb, 1e-9);  // the second-order remainder only
        for (double factor : {0.0, 0.98, 1.02}) {
            const double d = factor * 1.308e-07 / std::sqrt(3.0);
            TMapper moved = map;
            moved.B_minus += d;
            moved.A_minus -= d;
            moved.C_minus += d;
            EXPECT_EQ(s.Fit(false, &moved, 1), factor < 1.0 ? 0 : 2) << factor;
        }
        map.B_minus = s.truth.B_minus;
        map.A_minus = s.truth.A_minus;
        map.C_minus = s.truth.C_minus;
        EXPECT_TRUE(SameBits(map, s.truth));
        EXPECT_EQ(s.Fit(check, &map, 0), 0);
    }
}

// A target 0.3 mm off in view 5 spreads the distances above 1.27e-05: a convergence call marks
// nothing, a rejection call one sample holding it. With target 4 repeating target 3 (equal
// elevations never pair them) each sample of 3 has a later twin with the same residual: with
// both off in view 6 the first, the one with target 3, is rejected.
TEST(ElevationPolynomialFit, RejectionCallsRejectTheFirstWorstSample) {
    for (bool check : {false, true}) {
        Line s;
        s.views[5 * 5 + 2].Range += 3e-4;
        TMapper map = s.truth;
        s.Fit(check, &map, 1);
        EXPECT_GT(s.out.m_dStdIB_fbb, 1.27e-05);
        EXPECT_EQ(s.Fit(check, &map, 0), 1);
        int marked = 0;
        for (int i = 0; i < 40; ++i) {
            marked += s.Marked(i);
        }
        EXPECT_EQ(marked, 2);
        EXPECT_EQ(s.Marked(5 * 5 + 2), 1);
    }
    Line s;
    for (int v = 0; v < 8; ++v) {
        s.views[v * 5 + 4] = s.views[v * 5 + 3];
    }
    s.views[6 * 5 + 3].Range += 3e-4;
    s.views[6 * 5 + 4].Range += 3e-4;
    TMapper map = s.truth;
    EXPECT_EQ(s.Fit(false, &map, 0), 1);
    EXPECT_EQ(s.Marked(6 * 5 + 3) - s.Marked(6 * 5 + 4), 1);
}

// Over the first five views target 4 pairs with targets 0 and 1 in views 0, 1, 2 and 4
// (elevations more than 0.17455 apart). Dead in view 0 (exactly 50.0) it counts in three and
// its other readings change nothing; in four it takes part.
TEST(ElevationPolynomialFit, FbbPairsNeedMoreThanThreeCountingViews) {
    Line clean;
    Line wild;
    for (int view : {1, 2, 4}) {
        wild.views[view * 5 + 4].Range += 0.01;
    }
    clean.views[4].Quality = wild.views[4].Quality = 50.0;
    TMapper a = clean.truth;
    TMapper b = clean.truth;
    clean.Fit(false, &a, 1, 5);
    wild.Fit(false, &b, 1, 5);
    EXPECT_TRUE(SameBits(a, b));
    wild.views[4].Quality = 99.0;
    wild.Fit(false, &b, 1, 5);
    EXPECT_GT(std::fabs(b.B_minus - a.B_minus), 1e-7);
}

// Fewer samples than coefficients (three views) put back the entry values and set El_ElC to 0;
// an in-line view outside the set, negative counts or no readings return -1. Neither writes
// the record.
TEST(ElevationPolynomialFit, TooFewSamplesOrBadInputLeaveTheModel) {
    Line s;
    TMapper map = s.truth;
    map.El_ElC = 0.002;
    EXPECT_EQ(s.Fit(false, &map, 0, 3), 2);
    EXPECT_TRUE(SameBits(map, s.truth));  // El_ElC 0, the polynomial as it was
    map.El_ElC = 0.002;
    const TMapper entry = map;
    for (int inlineView : {-100, -1, 8}) {
        s.out.m_nInlineView = inlineView;
        EXPECT_EQ(s.Fit(true, &map, 1), -1) << inlineView;
    }
    s.out.m_nInlineView = 3;
    EXPECT_EQ(CCompensation().CalculateFCKIB(s.views.data(), &map, -1, 8, &s.out, 1), -1);
    EXPECT_EQ(CCompensation().CalculateFBBIB(s.views.data(), &map, 5, -2, &s.out, 1), -1);
    EXPECT_EQ(CCompensation().CalculateFBBIB(nullptr, &map, 5, 8, &s.out, 1), -1);
    EXPECT_TRUE(SameBits(map, entry));
    EXPECT_EQ(s.out.m_dStdIB_fbb, 0.0);  // never written
}

}  // namespace
