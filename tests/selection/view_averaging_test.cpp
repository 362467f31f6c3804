#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kDegToRad;
using compensation::kInvalidInput;
using compensation::kRefineSpread;
using compensation::kRejectSpread;
using compensation::kSpanToAngleDeg;
using compensation::SpreadBeyond;
using compensation::testing::Measurement;

// Coordinates of points up to 10 m carry rounding of a few 1e-15 m; distances and spreads
// built from them are compared to 1e-12 m, a thousand times above that and a million times
// below the micrometre spreads under test.
constexpr double kLengthTolerance = 1e-12;

// A measurement along the zero azimuth and elevation: its Z is its range, so distances
// between such points are differences of ranges.
CVector OnAxis(double range, double quality = 99.0) {
    return Measurement(100, range, 0.0, 0.0, quality);
}

TEST(AverageVectorArray, MeansAndSpreadsPerTarget) {
    CCompensation engine;
    // Two targets, three views, in degrees: the average converts them in place.
    std::vector<CVector> views;
    for (int v = 0; v < 3; ++v) {
        const double offset = (v - 1) * 2e-6;  // -2, 0, +2 micrometres
        CVector a = Measurement(100, 10.0 + offset, 0.0, 0.0);
        a.Azimuth = 30.0;
        a.Elevation = 10.0;
        a.Radian = false;
        views.push_back(a);
        views.push_back(Measurement(100, 5.0, 0.4, 0.1, v == 1 ? 99.0 : 50.0));
    }
    views[1].T = 2.0;
    views[3].T = 4.0;
    views[5].T = 9.0;

    std::vector<CVector> avg(2);
    std::vector<double> spread(2, -1.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    EXPECT_TRUE(views[0].Radian);
    EXPECT_DOUBLE_EQ(views[0].Azimuth, 30.0 * kDegToRad);
    EXPECT_NEAR(views[0].Y, (10.0 - 2e-6) * std::sin(10.0 * kDegToRad), kLengthTolerance);

    EXPECT_EQ(avg[0].Quality, 99.0);
    EXPECT_NEAR(avg[0].Range, 10.0, kLengthTolerance);
    EXPECT_DOUBLE_EQ(avg[0].Azimuth, 30.0 * kDegToRad);
    // RMS distance of -2, 0, +2 micrometres: sqrt(8/3) micrometres.
    EXPECT_NEAR(spread[0], std::sqrt(8.0 / 3.0) * 1e-6, kLengthTolerance);
    // Only view 1 of target 1 is live: its mean is that view, T included, spread 0.
    EXPECT_EQ(avg[1].Range, 5.0);
    EXPECT_EQ(avg[1].T, 4.0);
    EXPECT_NEAR(spread[1], 0.0, kLengthTolerance);
}

TEST(AverageVectorArray, TargetWithoutLiveViewIsMarkedAndCounted) {
    CCompensation engine;
    std::vector<CVector> views = {OnAxis(4.0), OnAxis(6.0, 50.0), OnAxis(4.0), OnAxis(6.0, 20.0)};
    std::vector<CVector> avg(2);
    std::vector<double> spread(2, -1.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 2, spread.data()), 1);
    EXPECT_EQ(avg[1].Quality, 1.0);
    EXPECT_EQ(spread[1], 0.0);
    EXPECT_EQ(avg[1].Z, 6.0);  // the view-0 measurement's position is kept
    EXPECT_EQ(avg[1].Range, 0.0);

    // Without a view or a target there is no view-0 measurement to start from.
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 0, spread.data()),
              kInvalidInput);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 0, 2, spread.data()),
              kInvalidInput);
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), -1, 2, spread.data()),
              kInvalidInput);
}

TEST(RefineVectorArray, RejectsTheFarthestViewOfScatteredTargetsOnly) {
    CCompensation engine;
    // 8 +- 2^-20 and 8 are exact, so the mean is exactly 8 and views 0 and 2 tie.
    const double d = std::ldexp(1.0, -20);
    std::vector<CVector> views = {OnAxis(8.0 + d), OnAxis(8.0 + d), OnAxis(8.0),
                                  OnAxis(8.0),     OnAxis(8.0 - d), OnAxis(8.0 - d)};
    std::vector<CVector> avg(2);
    std::vector<double> spread(2);
    ASSERT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    ASSERT_EQ(avg[0].Range, 8.0);

    // A spread of exactly the limit is kept; one just above it loses its farthest view, the
    // earliest of the two equally far.
    spread[0] = kRefineSpread;
    spread[1] = std::nextafter(kRefineSpread, 1.0);
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 1);
    EXPECT_EQ(views[0].Quality, 99.0);
    EXPECT_EQ(views[1].Quality, 50.0);
    EXPECT_EQ(views[5].Quality, 99.0);
    // Averaged again over views 1 and 2.
    EXPECT_EQ(avg[1].Range, 8.0 - d / 2);
    EXPECT_NEAR(spread[1], d / 2, kLengthTolerance);

    // Nothing scattered: nothing rejected and the averages stay as given.
    spread = {0.0, 0.0};
    avg[0].Range = 123.0;
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    EXPECT_EQ(avg[0].Range, 123.0);
}

TEST(SpreadBeyond, LimitIsInclusiveAndNonFiniteIsBeyond) {
    EXPECT_FALSE(SpreadBeyond(kRejectSpread, kRejectSpread));
    EXPECT_TRUE(SpreadBeyond(std::nextafter(kRejectSpread, 1.0), kRejectSpread));
    EXPECT_TRUE(SpreadBeyond(std::nan(""), kRejectSpread));
    EXPECT_TRUE(SpreadBeyond(-INFINITY, kRejectSpread));
}

// Check views of two targets; each view holds both targets twice (front and back sight).
std::vector<CVector> CheckViews(const std::vector<double>& secondTargetRanges) {
    std::vector<CVector> views;
    for (const double r : secondTargetRanges) {
        views.push_back(OnAxis(8.0));
        views.push_back(OnAxis(r));
    }
    return views;
}

TEST(AcceptFCKView, CountsFailuresBeforeProposingAnAngle) {
    CCompensation engine;
    std::vector<CVector> avg(2);
    double angle = -999.0;
    bool lower = false;

    // Target 1 at 10, 10.0001 and 10.0003 m: refining drops the last view, and the two left
    // are still 50 micrometres apart from their mean, beyond the accepted spread.
    std::vector<CVector> scattered = CheckViews({10.0, 10.0001, 10.0003});
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), scattered.data(), 1, 6, 0, 11, &angle, &lower), 10);
    EXPECT_EQ(scattered[5].Quality, 50.0);
    EXPECT_EQ(angle, -999.0);

    // A target without a live view: its count is returned and nothing is refined.
    std::vector<CVector> dead = CheckViews({10.0, 10.0001, 10.0003});
    dead[1].Quality = dead[3].Quality = dead[5].Quality = 10.0;
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), dead.data(), 1, 6, 0, 11, &angle, &lower), 1);
    for (const CVector& v : dead) {
        EXPECT_NE(v.Quality, 50.0);
    }
    EXPECT_EQ(angle, -999.0);
}

TEST(AcceptFCKView, ProposesTheNextAngleFromTheTargetSpan) {
    CCompensation engine;
    // Targets 8 m and 10 m along one line: a span of 2 m.
    std::vector<CVector> views = {OnAxis(8.0), OnAxis(10.0), OnAxis(8.0), OnAxis(10.0)};
    std::vector<CVector> avg(4);
    const double span = 2.0 * kSpanToAngleDeg;
    // Eleven views: h = 5. The first half climbs from -45 degrees, the second from the span's
    // angle; the last two views get no proposal.
    struct Case {
        int view;
        double angle;
        bool lower;
    };
    const Case cases[] = {{0, -45.0, true},
                          {4, (45.0 - span) * 4 / 5 - 45.0, true},
                          {5, span, false},
                          {8, (45.0 - span) * 3 / 4 + span, false}};
    for (const Case& c : cases) {
        double angle = -999.0;
        bool lower = !c.lower;
        EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 4, c.view, 11, &angle, &lower),
                  0);
        // The span comes from coordinates of 10 m points (1e-15 relative); times 12.5 degrees
        // per metre that is far below 1e-9 degrees.
        EXPECT_NEAR(angle, c.angle, 1e-9) << "view " << c.view;
        EXPECT_EQ(lower, c.lower) << "view " << c.view;
    }
    for (const int view : {9, 10}) {
        double angle = -999.0;
        EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 4, view, 11, &angle, nullptr),
                  0);
        EXPECT_EQ(angle, -999.0);
    }
}

TEST(AcceptFCKView, RefusesLayoutsThatDoNotFit) {
    CCompensation engine;
    std::vector<CVector> views = {OnAxis(8.0), OnAxis(10.0)};
    std::vector<CVector> avg(2);
    double angle = 0.0;
    bool lower = false;
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 0, 2, 0, 11, &angle, &lower),
              kInvalidInput);
    // Fewer measurements than one view holds.
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 2, 0, 11, &angle, &lower),
              kInvalidInput);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 2, -1, 11, &angle, &lower),
              kInvalidInput);
}

}  // namespace
