// The check and FBB interball fits of the elevation polynomial on data built from a chosen
// truth.
//
// Five targets lie on one line in the world. Seven views see them from placements around the
// room at different heights, and one view (the in-line view, index 3) stands on the line itself,
// so that all five are seen in one direction: there an elevation error turns all of them alike
// and their distances do not depend on the polynomial, which is what the check fit needs.
//
// Tolerance of the recovered coefficients: 1e-8, an eighth of the fits' own convergence limit
// 1.308e-07 (they cannot tell closer values apart). The fits are first-order steps; what they
// neglect is the product of the polynomial's elevation shift (up to 1.2e-4 rad at the steepest
// reading, 1.36 rad) with itself and with the background model's corrections (about 9e-5 rad),
// some 3e-9 here; the errors measured are below 2.5e-9.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/pair_scenarios.h"

namespace {

using compensation::testing::InstrumentPose;
using compensation::testing::Point3;
using pairscenarios::BackgroundModel;
using pairscenarios::ViewPlacement;

constexpr int kTargets = 5;
constexpr int kViews = 8;
constexpr int kInlineView = 3;
constexpr double kTolerance = 1e-8;
constexpr double kTrue[3] = {3e-5, -2e-5, 1.5e-5};  // B_minus, A_minus, C_minus
constexpr Point3 kLineStart = {0.0, -1.0, -3.0};

TMapper TrueModel() {
    TMapper map = BackgroundModel();
    map.B_minus = kTrue[0];
    map.A_minus = kTrue[1];
    map.C_minus = kTrue[2];
    return map;
}

std::vector<Point3> TargetsOnALine() {
    const double dir[3] = {0.1, 0.35, 1.0};
    const double norm = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    std::vector<Point3> targets;
    for (double s : {2.0, 3.5, 5.0, 6.5, 8.0}) {
        targets.push_back({kLineStart.x + s * dir[0] / norm, kLineStart.y + s * dir[1] / norm,
                           kLineStart.z + s * dir[2] / norm});
    }
    return targets;
}

// Raw readings, view-major: target t of view v is element v * kTargets + t.
std::vector<CVector> CheckViews(TMapper* truth, int views = kViews) {
    std::vector<CVector> readings;
    for (int v = 0; v < views; ++v) {
        const InstrumentPose placement = v == kInlineView
                                             ? compensation::testing::PoseFromYaw(0.4, kLineStart)
                                             : ViewPlacement(v, views, 0.1, {0.3, 0, 0.5}, 0.8);
        for (const Point3& t : TargetsOnALine()) {
            readings.push_back(compensation::testing::RawReadingFor(
                compensation::testing::TrueReading(t, placement, 100, 99.0), *truth));
        }
    }
    return readings;
}

void SetPolynomial(TMapper& map, double b, double a, double c) {
    map.B_minus = b;
    map.A_minus = a;
    map.C_minus = c;
}

void ExpectTruth(const TMapper& map) {
    EXPECT_NEAR(map.B_minus, kTrue[0], kTolerance);
    EXPECT_NEAR(map.A_minus, kTrue[1], kTolerance);
    EXPECT_NEAR(map.C_minus, kTrue[2], kTolerance);
}

class ElevationPolynomialFitTest : public testing::Test {
  protected:
    void SetUp() override {
        truth_ = TrueModel();
        views_ = CheckViews(&truth_);
        out_.m_nInlineView = kInlineView;
    }

    int Fbb(TMapper* map, int flag, int views = kViews) {
        return engine_.CalculateFBBIB(views_.data(), map, kTargets, views, &out_, flag);
    }
    int Fck(TMapper* map, int flag) {
        return engine_.CalculateFCKIB(views_.data(), map, kTargets, kViews, &out_, flag);
    }

    CCompensation engine_;
    TMapper truth_{};
    std::vector<CVector> views_;
    TCompOut out_{};
};

// Both fits start from any polynomial: the FBB fit needs no distance, and the check fit's
// in-line distances do not depend on the polynomial. El_ElC is 0 afterwards whatever it was.
TEST_F(ElevationPolynomialFitTest, BothRecoverTheChosenPolynomialInOneCall) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "check" : "FBB");
        TMapper map = truth_;
        SetPolynomial(map, 0.0, 0.0, 0.0);
        map.El_ElC = 0.001;
        EXPECT_EQ(check ? Fck(&map, 1) : Fbb(&map, 1), 2);
        ExpectTruth(map);
        EXPECT_EQ(map.El_ElC, 0.0);
        EXPECT_LT(out_.m_dStdIB_fbb, 1e-9);  // exact data: the second-order remainder only

        TMapper rest = map;
        TMapper before = truth_;
        SetPolynomial(rest, 0.0, 0.0, 0.0);
        SetPolynomial(before, 0.0, 0.0, 0.0);
        EXPECT_EQ(std::memcmp(&rest, &before, sizeof rest), 0) << "no other element moves";

        EXPECT_EQ(check ? Fck(&map, 1) : Fbb(&map, 1), 0);
        ExpectTruth(map);
    }
}

// The FBB step does not depend on the entry values, so the change it reports is exactly the
// distance from the entry to its solution: 0.98 and 1.02 of 1.308e-07 either side of the limit.
TEST_F(ElevationPolynomialFitTest, ConvergenceIsTheEuclideanChangeAgainstTheLimit) {
    TMapper map = truth_;
    Fbb(&map, 1);
    const TMapper solution = map;
    const double limit = 1.308e-07;
    for (double factor : {0.98, 1.02}) {
        const double offset = factor * limit / std::sqrt(3.0);
        map = solution;
        SetPolynomial(map, solution.B_minus + offset, solution.A_minus - offset,
                      solution.C_minus + offset);
        EXPECT_EQ(Fbb(&map, 1), factor < 1.0 ? 0 : 2) << factor;
        EXPECT_EQ(map.B_minus, solution.B_minus);
    }
}

// A target 0.3 mm off in one view spreads the distances above 1.27e-05. A convergence call
// leaves the readings alone; a rejection call marks one sample that contains that reading.
TEST_F(ElevationPolynomialFitTest, RejectionCallsRejectTheWorstSampleAndOnlyThey) {
    const int view = 5;
    const int target = 2;
    CVector& bad = views_[view * kTargets + target];
    bad.Range += 3e-4;
    const std::vector<CVector> untouched = views_;
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "check" : "FBB");
        TMapper map = truth_;
        const int converging = check ? Fck(&map, 1) : Fbb(&map, 1);
        EXPECT_TRUE(converging == 0 || converging == 2);
        EXPECT_GT(out_.m_dStdIB_fbb, 1.27e-05);
        for (std::size_t i = 0; i < views_.size(); ++i) {
            ASSERT_EQ(views_[i].Quality, untouched[i].Quality);
        }

        EXPECT_EQ(check ? Fck(&map, 0) : Fbb(&map, 0), 1);
        int marked = 0;
        for (std::size_t i = 0; i < views_.size(); ++i) {
            marked += views_[i].Quality == 50.0 ? 1 : 0;
        }
        EXPECT_EQ(marked, 2);
        EXPECT_EQ(views_[view * kTargets + target].Quality, 50.0);
        views_ = untouched;
    }
}

// Target 4 repeats target 3 reading for reading (they are never paired: equal elevations do not
// count), so every sample of target 3 has a twin of target 4 with the same residual bit for bit,
// later in the sample order. With target 3 off in one view, the worst sample is one of a twin
// pair, and the first of the two, the one with target 3, is rejected.
TEST_F(ElevationPolynomialFitTest, OfTwoEqualWorstSamplesTheFirstIsRejected) {
    const int view = 6;
    for (int v = 0; v < kViews; ++v) {
        views_[v * kTargets + 4] = views_[v * kTargets + 3];
    }
    views_[view * kTargets + 3].Range += 3e-4;
    views_[view * kTargets + 4].Range += 3e-4;
    TMapper map = truth_;
    EXPECT_EQ(Fbb(&map, 0), 1);
    EXPECT_EQ(views_[view * kTargets + 3].Quality, 50.0);
    EXPECT_EQ(views_[view * kTargets + 4].Quality, 99.0);
}

// A pair that counts in only three views takes no part in the FBB fit: whatever its target
// reads in the other views changes nothing. With a fourth counting view it takes part.
TEST_F(ElevationPolynomialFitTest, FbbPairsNeedMoreThanThreeCountingViews) {
    const int target = 4;
    // Target 4 counts with targets 0 and 1 in views 0, 1, 2 and 4 (elevations apart by more
    // than 0.17455) and with targets 2 and 3 in at most three; the in-line view 3 never counts.
    auto corrupted = [&](double extra) {
        std::vector<CVector> v = views_;
        for (int view : {1, 2, 4}) {
            v[view * kTargets + target].Range += extra;
        }
        return v;
    };
    std::vector<CVector> clean = corrupted(0.0);
    std::vector<CVector> wild = corrupted(0.01);
    clean[target].Quality = 50.0;  // view 0: down to three counting views
    wild[target].Quality = 50.0;
    TMapper a = truth_;
    TMapper b = truth_;
    engine_.CalculateFBBIB(clean.data(), &a, kTargets, 5, &out_, 1);
    engine_.CalculateFBBIB(wild.data(), &b, kTargets, 5, &out_, 1);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);

    wild[target].Quality = 99.0;  // four counting views again
    engine_.CalculateFBBIB(wild.data(), &b, kTargets, 5, &out_, 1);
    EXPECT_GT(std::fabs(b.B_minus - a.B_minus), 1e-7);
}

// Fewer samples than coefficients: every pair of a three-view FBB set has at most three
// counting views. The entry values go back; El_ElC is 0 as after every call.
TEST_F(ElevationPolynomialFitTest, TooFewSamplesPutBackTheEntryValues) {
    TMapper map = truth_;
    SetPolynomial(map, 1e-5, 2e-5, 3e-5);
    map.El_ElC = 0.002;
    const TCompOut before = out_;
    EXPECT_EQ(Fbb(&map, 0, 3), 2);
    EXPECT_EQ(map.B_minus, 1e-5);
    EXPECT_EQ(map.A_minus, 2e-5);
    EXPECT_EQ(map.C_minus, 3e-5);
    EXPECT_EQ(map.El_ElC, 0.0);
    EXPECT_EQ(std::memcmp(&before, &out_, sizeof out_), 0);
}

TEST_F(ElevationPolynomialFitTest, AnInlineViewOutsideTheSetIsRefusedBeforeAnythingIsWritten) {
    TMapper map = truth_;
    map.El_ElC = 0.002;
    const TMapper entry = map;
    for (int inlineView : {-100, -1, kViews}) {
        out_.m_nInlineView = inlineView;
        const TCompOut before = out_;
        EXPECT_EQ(Fck(&map, 1), -1) << inlineView;
        EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
        EXPECT_EQ(std::memcmp(&before, &out_, sizeof out_), 0);
    }
    out_.m_nInlineView = kInlineView;
    EXPECT_EQ(engine_.CalculateFCKIB(views_.data(), &map, -1, kViews, &out_, 1), -1);
    EXPECT_EQ(engine_.CalculateFBBIB(views_.data(), &map, kTargets, -2, &out_, 1), -1);
    EXPECT_EQ(engine_.CalculateFBBIB(nullptr, &map, kTargets, kViews, &out_, 1), -1);
    EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
}

}  // namespace
