// Averaging targets over views, refining away the worst view, check views and outside sets.
#include <cmath>
#include <vector>

#include "selection/selection.h"
#include "selection/selection_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;

// Points up to 10 m carry coordinate rounding of a few 1e-15 m; distances and spreads built from
// them are compared to 1e-12 m, far above that and far below the micrometres under test.
constexpr double kLengthTolerance = 1e-12;

// Along the zero direction a measurement's Z is its range: distances are differences of ranges.
std::vector<CVector> OnAxis(const std::vector<double>& ranges) {
    std::vector<CVector> set;
    for (const double r : ranges) {
        set.push_back(Measurement(100, r, 0.0, 0.0));
    }
    return set;
}

TEST(AverageVectorArray, MeansSpreadsAndTheFarthestViewRefined) {
    CCompensation engine;
    // Two targets over three views; target 0 in degrees at 10 m -2, 0, +2 micrometres, target 1
    // live in view 1 only.
    std::vector<CVector> views = OnAxis({10 - 2e-6, 5, 10, 5, 10 + 2e-6, 5}), avg(2);
    for (int v = 0; v < 3; ++v) {
        views[2 * v].Azimuth = 30.0;
        views[2 * v].Radian = false;
        views[2 * v + 1].T = 2.0 + v;
        views[2 * v + 1].Quality = v == 1 ? kLive : 50.0;
    }
    std::vector<double> spread(2, -1.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    EXPECT_EQ(views[0].Radian, true);  // converted in place
    EXPECT_NEAR(views[0].X, -(10 - 2e-6) * std::sin(30 * kDegToRad), kLengthTolerance);
    EXPECT_EQ(avg[0].Quality, 99.0);
    EXPECT_NEAR(avg[0].Range, 10.0, kLengthTolerance);
    EXPECT_NEAR(spread[0], std::sqrt(8.0 / 3.0) * 1e-6, kLengthTolerance);  // RMS of -2, 0, 2
    EXPECT_EQ(avg[1].T, 3.0);
    EXPECT_NEAR(spread[1], 0.0, kLengthTolerance);
    // No live view: marked 1.0, spread 0, counted. No view or no target cannot be averaged.
    views[3].Quality = 20.0;
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 1);
    EXPECT_EQ(avg[1].Quality, 1.0);
    EXPECT_EQ(spread[1], 0.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 0, spread.data()), -1);
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 0, 3, spread.data()), -1);

    // 8 +- 2^-20 and 8 are exact: the mean is exactly 8 and views 0 and 2 tie. A spread exactly
    // at the limit is kept; just above it the earlier of the farthest goes, and the target is
    // averaged again over views 1 and 2.
    const double d = std::ldexp(1.0, -20);
    views = OnAxis({8 + d, 8 + d, 8, 8, 8 - d, 8 - d});
    ASSERT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    spread = {kRefineSpread, std::nextafter(kRefineSpread, 1.0)};
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 1);
    EXPECT_EQ(views[0].Quality, kLive);
    EXPECT_EQ(views[1].Quality, 50.0);
    EXPECT_EQ(avg[1].Range, 8.0 - d / 2);
    // Nothing scattered: nothing rejected, and the averages are not recomputed.
    spread = {0.0, 0.0};
    avg[0].Range = 123.0;
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    EXPECT_EQ(avg[0].Range, 123.0);
}

TEST(AcceptFCKView, CountsFailuresAndProposesTheNextAngle) {
    CCompensation engine;
    std::vector<CVector> avg(4);
    double angle = -999.0;
    bool lower = false;
    // One target twice per view (front and back sight) at 10, 10.0001 and 10.0003 m: refining
    // drops the last, the two left lie 50 micrometres from their mean: one failure of 10.
    std::vector<CVector> views = OnAxis({8, 10, 8, 10.0001, 8, 10.0003});
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 6, 0, 11, &angle, &lower), 10);
    EXPECT_EQ(views[5].Quality, 50.0);
    // A target without a live view gives its count, and the scattered one is not refined.
    views = OnAxis({8, 10, 8, 10.0001, 8, 10.0003});
    views[0].Quality = views[2].Quality = views[4].Quality = 10.0;
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 6, 0, 11, &angle, &lower), 1);
    EXPECT_EQ(views[5].Quality, kLive);
    // No target, fewer measurements than one view, a negative view: refused.
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 0, 2, 0, 11, &angle, &lower), -1);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 2, 0, 11, &angle, &lower), -1);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 2, -1, 11, &angle, &lower), -1);
    EXPECT_EQ(angle, -999.0);

    // Targets 2 m apart, eleven views (h = 5): the first half climbs from -45 degrees, the
    // second from the span's angle m'; the last two views get no proposal. The span comes from
    // 10 m coordinates (1e-15 relative), times 12.5 degrees per metre: far below 1e-9 degrees.
    views = OnAxis({8, 10, 8, 10});
    const double m = 2.0 * kSpanToAngleDeg;
    const struct {
        int view;
        double angle;
    } cases[] = {{0, -45.0},  {4, (45 - m) * 4 / 5 - 45},
                 {5, m},      {8, (45 - m) * 3 / 4 + m},
                 {9, -999.0}, {10, -999.0}};
    for (const auto& c : cases) {
        angle = -999.0;
        lower = c.view >= 5;  // the opposite of what a proposal writes
        EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 4, c.view, 11, &angle, &lower),
                  0);
        EXPECT_NEAR(angle, c.angle, 1e-9) << "view " << c.view;
        EXPECT_EQ(lower, c.view < 5 || c.view > 8) << "view " << c.view;
    }
}

// Two targets over three views: target 0 stays at 7 m; target 1 reads -x, +x and a far outlier.
// Refining drops the outlier and leaves -x and +x around a mean of exactly 0: a spread of x.
std::vector<CVector> OutsideSet(double x) {
    return OnAxis({7, -x, 7, x, 7, 1e-3});
}

// Only the second set decides: 11 per target whose spread stays beyond 1.27e-05 (inclusive),
// or the averaging's count of targets without a live view (then nothing is refined). Refined
// measurements stay usable as 60.
TEST(ClassifyOutside, ResultsAndMarks) {
    CCompensation engine;
    std::vector<CVector> avg(4), first = OutsideSet(0), both = OutsideSet(2e-5);
    auto classify = [&](std::vector<CVector> second) {
        const int result = engine.ClassifyOutside(first.data(), Count(first), second.data(),
                                                  Count(second), avg.data());
        EXPECT_EQ(second[5].Quality, result == 1 ? kLive : 60.0);
        return result;
    };
    EXPECT_EQ(classify(OutsideSet(kRejectSpread)), 0);
    EXPECT_EQ(classify(OutsideSet(2e-5)), 11);
    for (int v = 0; v < 3; ++v) {
        both[2 * v].Range = 3.0 + both[2 * v + 1].Range;  // target 0 scattered as well
    }
    EXPECT_EQ(classify(both), 22);
    both[0].Quality = both[2].Quality = both[4].Quality = 20.0;
    EXPECT_EQ(classify(both), 1);
    EXPECT_EQ(avg[2].Quality, 1.0);
    EXPECT_EQ(first[5].Quality, 60.0);
    EXPECT_EQ(avg[1].Range, 0.0);  // the first set's averages are written too

    // A first set without a live view of a target, or too short for one view, leaves averages
    // marked 1.0; a second set too short for one view is refused before anything is written.
    first[1].Quality = first[3].Quality = first[5].Quality = 50.0;
    EXPECT_EQ(classify(OutsideSet(0)), 0);
    EXPECT_EQ(avg[1].Quality, 1.0);
    EXPECT_EQ(first[1].Quality, 60.0);
    first.resize(1);
    EXPECT_EQ(classify(OutsideSet(0)), 0);
    EXPECT_EQ(avg[0].Quality, 1.0);
    first = {Measurement(100, 7, 0, 0, 50.0)};
    EXPECT_EQ(engine.ClassifyOutside(first.data(), 1, first.data(), 1, avg.data()), -1);
    EXPECT_EQ(first[0].Quality, 50.0);
}

}  // namespace
