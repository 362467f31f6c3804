// The El_ElC fit (bEl) and the elevation polynomial fits (FCKIB, FBBIB) on exact readings.

#include <gtest/gtest.h>

#include "fits/fit_scenes.h"

namespace {

using namespace fit_scenes;

double TMapper::*const kPolynomial[] = {&TMapper::B_minus, &TMapper::A_minus, &TMapper::C_minus};
constexpr double kChosen[] = {3e-5, -2e-5, 1.5e-5};  // B_minus, A_minus, C_minus; El_ElC 0.003

struct Views {
    std::vector<CVector> reference;  // bEl: the four table targets from the home placement
    std::vector<CVector> views;      // target t of view v at v targets + t
    TMapper truth = BackgroundModel();
    TCompOut out{};

    // Four table targets; far enough apart (3 m, 22.5 degrees): four pairs of set 0, one of set 1.
    explicit Views(int set) {
        const std::vector<Point3> sets[] = {
            {{0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 2.2}, {0.8, 3.8, 6.5}},
            {{0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 3.4}, {-1.2, 0.9, 2.4}}};
        truth.El_ElC = 0.003;
        reference = Read(sets[set], {{{0, 0, 0}, 0.0}}, truth);
        views = Read(sets[set], Placements(10, 0.1, {0, 0, 0}, 0.8), truth);
    }
    // Five targets on a line; view 3 stands on it (the in-line view).
    Views() {
        std::vector<Point3> targets;
        for (double s : {2.0, 3.5, 5.0, 6.5, 8.0}) {
            targets.push_back({s * 0.0939682, -1.0 + s * 0.3288887, -3.0 + s * 0.9396820});
        }
        std::vector<InstrumentPose> poses = Placements(8, 0.1, {0.3, 0, 0.5}, 0.8);
        poses[3] = compensation::testing::PoseFromYaw(0.4, {0.0, -1.0, -3.0});
        for (int p = 0; p < 3; ++p) {
            truth.*kPolynomial[p] = kChosen[p];
        }
        views = Read(targets, poses, truth);
        out.m_nInlineView = 3;
    }
    int BEl(TMapper* map, int flag, const int (&table)[4] = {1, 2, 3, 4}, int viewCount = 10) {
        out.m_n1_d2 = table[0];
        out.m_n2_d2 = table[1];
        out.m_n1_extra = table[2];
        out.m_n2_extra = table[3];
        return CCompensation().Calculate_bEl(reference.data(), views.data(), viewCount, 4, map,
                                             &out, flag);
    }
    int Polynomial(bool check, TMapper* map, int flag, int viewCount = 8) {
        CCompensation e;
        return check ? e.CalculateFCKIB(views.data(), map, 5, viewCount, &out, flag)
                     : e.CalculateFBBIB(views.data(), map, 5, viewCount, &out, flag);
    }
};

// One first-order step: its neglected products (El_ElC's 5e-5 rad with the model's 9e-5 rad) stay
// below 1.5e-4 of the value (measured 2e-6); 6e-7 is 2e-4 of it. Exact readings spread by
// rounding only.
TEST(ElevationFits, BElRecoversTheChosenTermInOneStep) {
    Views s(0);
    TMapper map = s.truth;
    map.El_ElC = 0.0;
    EXPECT_EQ(s.BEl(&map, 1), 27);
    EXPECT_NEAR(map.El_ElC, 0.003, 6e-7);
    EXPECT_LT(s.out.m_dStdExtraIn, 1e-9);
    map.El_ElC = 0.003;
    EXPECT_TRUE(SameBits(map, s.truth));
    EXPECT_EQ(s.BEl(&map, 0), 0);
}

// One qualifying pair rejects only with more than nCountViews - 3 = 7 samples (50.0 is dead).
TEST(ElevationFits, BElRejectsOnlyWithMoreThanThreeViewsLessThanAllSamples) {
    Views s(1);
    s.views[4 * 4 + 1].Range += 2e-4;
    for (int v : {6, 7, 8}) {
        s.views[v * 4].Quality = 50.0;
    }
    TMapper map = s.truth;
    s.BEl(&map, 1);
    EXPECT_GT(s.out.m_dStdExtraIn, kRejectSpread);
    EXPECT_EQ(s.BEl(&map, 0), 0);
    s.views[8 * 4].Quality = 99.0;
    s.BEl(&map, 1);
    EXPECT_EQ(s.BEl(&map, 0), 24);
    EXPECT_EQ(Marked(s.views), 4);  // target 0 dead in views 6 and 7, and the outlier's pair
    EXPECT_EQ(Marked(s.views, 16, 18), 2);
}

// No qualifying pair (0 / 0) puts the entry value back; bad input returns -1.
TEST(ElevationFits, BElKeepsTheEntryWithoutAQualifyingPairAndRefusesBadInput) {
    Views s(1);
    TMapper map = s.truth;
    s.out.m_dStdExtraIn = 0.0;
    EXPECT_EQ(s.BEl(&map, 0, {1, 1, 1, 1}), 27);
    EXPECT_EQ(s.BEl(&map, 0, {0, 2, 3, 4}), -1);
    EXPECT_EQ(s.BEl(&map, 0, {1, 2, 3, 5}), -1);
    EXPECT_EQ(s.BEl(&map, 0, {1, -7, 3, 4}), -1);
    EXPECT_EQ(s.BEl(&map, 0, {1, 2, 3, 4}, 0), -1);
    EXPECT_EQ(CCompensation().Calculate_bEl(nullptr, s.views.data(), 10, 4, &map, &s.out, 0), -1);
    EXPECT_TRUE(SameBits(map, s.truth));
    EXPECT_EQ(s.out.m_dStdExtraIn, 0.0);
}

// Tolerance 1e-8, an eighth of the limit (the neglected products of the 1.2e-4 rad shift come
// to 3e-9); exact readings spread by rounding only.
TEST(ElevationFits, PolynomialRecoversTheChosenTermsInOneStep) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "check" : "FBB");
        Views s;
        TMapper map = s.truth;
        for (int p = 0; p < 3; ++p) {
            map.*kPolynomial[p] = 0.0;
        }
        map.El_ElC = 0.001;
        EXPECT_EQ(s.Polynomial(check, &map, 1), 2);
        EXPECT_LT(s.out.m_dStdIB_fbb, 1e-9);
        for (int p = 0; p < 3; ++p) {
            EXPECT_NEAR(map.*kPolynomial[p], kChosen[p], 1e-8);
            map.*kPolynomial[p] = kChosen[p];
        }
        EXPECT_TRUE(SameBits(map, s.truth));
        EXPECT_EQ(s.Polynomial(check, &map, 0), 0);
    }
}

TEST(ElevationFits, PolynomialRejectsAReadingOffOnlyWhenAllowed) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "check" : "FBB");
        Views s;
        TMapper map = s.truth;
        s.views[5 * 5 + 2].Range += 3e-4;
        s.Polynomial(check, &map, 1);
        EXPECT_GT(s.out.m_dStdIB_fbb, kRejectSpread);
        EXPECT_EQ(Marked(s.views), 0);
        EXPECT_EQ(s.Polynomial(check, &map, 0), 1);
        EXPECT_EQ(Marked(s.views), 2);
        EXPECT_EQ(s.views[5 * 5 + 2].Quality, 50.0);
    }
}

// Target 4 repeating target 3 gives every sample of 3 a later twin: the first is rejected.
TEST(ElevationFits, PolynomialRejectsTheFirstOfTwoEqualWorstSamples) {
    Views s;
    for (int v = 0; v < 8; ++v) {
        s.views[v * 5 + 4] = s.views[v * 5 + 3];
    }
    s.views[6 * 5 + 3].Range += 3e-4;
    s.views[6 * 5 + 4].Range += 3e-4;
    TMapper map = s.truth;
    EXPECT_EQ(s.Polynomial(false, &map, 0), 1);
    EXPECT_EQ(s.views[6 * 5 + 3].Quality, 50.0);
    EXPECT_EQ(s.views[6 * 5 + 4].Quality, 99.0);
}

// The FBB step is absolute and its limit applies to the length of the change: 2 % either side.
TEST(ElevationFits, PolynomialSettlesByTheLengthOfItsChange) {
    Views t;
    TMapper map = t.truth;
    t.Polynomial(false, &map, 1);
    for (double factor : {0.0, 0.98, 1.02}) {
        TMapper moved = map;
        for (int p = 0; p < 3; ++p) {
            moved.*kPolynomial[p] += (p == 1 ? -1 : 1) * factor * kAngleRad / std::sqrt(3.0);
        }
        EXPECT_EQ(t.Polynomial(false, &moved, 1), factor < 1.0 ? 0 : 2) << factor;
    }
}

// Fewer samples than coefficients put the entry back (El_ElC 0); bad input returns -1.
TEST(ElevationFits, PolynomialKeepsTheEntryWithTooFewSamplesAndRefusesBadInput) {
    Views t;
    TMapper map = t.truth;
    map.El_ElC = 0.002;
    t.out.m_dStdIB_fbb = 0.0;
    EXPECT_EQ(t.Polynomial(false, &map, 0, 3), 2);
    EXPECT_TRUE(SameBits(map, t.truth));
    map.El_ElC = 0.002;
    const TMapper entry = map;
    for (int inlineView : {-100, -1, 8}) {
        t.out.m_nInlineView = inlineView;
        EXPECT_EQ(t.Polynomial(true, &map, 1), -1) << inlineView;
    }
    t.out.m_nInlineView = 3;
    EXPECT_EQ(CCompensation().CalculateFCKIB(t.views.data(), &map, -1, 8, &t.out, 1), -1);
    EXPECT_EQ(CCompensation().CalculateFBBIB(t.views.data(), &map, 5, -2, &t.out, 1), -1);
    EXPECT_EQ(CCompensation().CalculateFBBIB(nullptr, &map, 5, 8, &t.out, 1), -1);
    EXPECT_TRUE(SameBits(map, entry));
    EXPECT_EQ(t.out.m_dStdIB_fbb, 0.0);
}

}  // namespace
