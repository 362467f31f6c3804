// Averaging over views and refining, check, flying, outside and FBB view sets.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "selection/selection.h"
#include "selection/selection_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;
using Band = std::pair<double, double>;

// Rounding of coordinates within 10 m is a few 1e-15 m, far below this and the micrometres tested.
constexpr double kLengthTolerance = 1e-12;

// Along the zero direction a measurement's Z is its range: distances are differences of ranges.
std::vector<CVector> OnAxis(const std::vector<double>& ranges) {
    std::vector<CVector> set;
    for (const double r : ranges) {
        set.push_back(Sight(r, 0.0, 0.0));
    }
    return set;
}

// Target 0 at 10 m -2, 0, +2 micrometres; target 1 live in one view only.
TEST(AverageVectorArray, MeansAndSpreadsOverLiveViews) {
    std::vector<CVector> views = OnAxis({10 - 2e-6, 5, 10, 5.5, 10 + 2e-6, 5}), avg(2);
    views[1].Quality = views[5].Quality = 50.0;
    std::vector<double> spread(2, -1.0);
    EXPECT_EQ(CCompensation().AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    EXPECT_EQ(avg[0].Quality, 99.0);
    EXPECT_NEAR(avg[0].Range, 10.0, kLengthTolerance);
    EXPECT_NEAR(spread[0], std::sqrt(8.0 / 3.0) * 1e-6, kLengthTolerance);  // RMS of -2, 0, 2
    EXPECT_EQ(avg[1].Range, 5.5);
}

// A target without a live view is marked 1.0 with spread 0 and counted; no view is refused.
TEST(AverageVectorArray, CountsTargetsWithoutALiveView) {
    CCompensation engine;
    std::vector<CVector> views = OnAxis({10, 5, 10, 5.5, 10, 5}), avg(2);
    views[1].Quality = views[3].Quality = views[5].Quality = 20.0;
    std::vector<double> spread(2, -1.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 1);
    EXPECT_EQ(avg[1].Quality, 1.0);
    EXPECT_EQ(spread[1], 0.0);
    EXPECT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 0, spread.data()), -1);
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 0, 3, spread.data()), -1);
}

// 8 m +-2^-20 (exact): the first of two equally far views goes, only above the refine spread.
TEST(RefineVectorArray, RejectsTheFarthestViewOfAScatteredTarget) {
    CCompensation engine;
    const double d = std::ldexp(1.0, -20);
    std::vector<CVector> views = OnAxis({8 + d, 8 + d, 8, 8, 8 - d, 8 - d}), avg(2);
    std::vector<double> spread(2);
    ASSERT_EQ(engine.AverageVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 0);
    spread = {kQuarterThouInch, std::nextafter(kQuarterThouInch, 1.0)};  // kept; refined
    EXPECT_EQ(engine.RefineVectorArray(avg.data(), views.data(), 2, 3, spread.data()), 1);
    EXPECT_EQ(views[0].Quality, kLive);
    EXPECT_EQ(views[1].Quality, 50.0);
    EXPECT_EQ(avg[1].Range, 8.0 - d / 2);  // averaged again over views 1 and 2
}

// Front sights at 8 m, back sights at 10, 10.0001, 10.0003 m: refined, still 50 um off: 10.
TEST(AcceptFCKView, CountsTargetsStillScatteredAfterRefining) {
    CCompensation engine;
    std::vector<CVector> avg(4), views = OnAxis({8, 10, 8, 10.0001, 8, 10.0003});
    double angle = -999.0;
    bool lower = false;
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 6, 0, 11, &angle, &lower), 10);
    EXPECT_EQ(views[5].Quality, 50.0);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 0, 2, 0, 11, &angle, &lower), -1);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 2, 0, 11, &angle, &lower), -1);
    EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 1, 2, -1, 11, &angle, &lower), -1);
    EXPECT_EQ(angle, -999.0);
}

// Targets 2 m apart (rounding 1e-15 m), eleven views: from -45 degrees, then from m'.
TEST(AcceptFCKView, ProposesTheNextElevation) {
    CCompensation engine;
    std::vector<CVector> avg(4), views = OnAxis({8, 10, 8, 10});
    const double m = 2.0 * kSpanToAngleDeg;
    const std::pair<int, double> cases[] = {
        {0, -45.0}, {4, (45 - m) * 4 / 5 - 45}, {5, m}, {8, (45 - m) * 3 / 4 + m}, {9, -999.0}};
    for (const auto& [view, expected] : cases) {
        double angle = -999.0;
        bool lower = view >= 5;  // the opposite of what a proposal writes
        EXPECT_EQ(engine.AcceptFCKView(avg.data(), views.data(), 2, 4, view, 11, &angle, &lower),
                  0);
        // The span's 1e-15 m rounding times kSpanToAngleDeg stays far below 1e-9 degrees.
        EXPECT_NEAR(angle, expected, 1e-9) << "view " << view;
        EXPECT_EQ(lower, view < 5 || view > 8) << "view " << view;
    }
}

// Target 0 at 7 m, target 1 at -x, +x and an outlier: refined, a spread of exactly x. The second
// set decides: 11 per target above 1.27e-05, or the averaging's count (then unrefined).
TEST(ClassifyOutside, ResultsAndMarks) {
    CCompensation engine;
    std::vector<CVector> avg(4), first = OnAxis({7, 0, 7, 0, 7, 1e-3});
    auto classify = [&](std::vector<CVector> second) {
        const int result = engine.ClassifyOutside(first.data(), Count(first), second.data(),
                                                  Count(second), avg.data());
        EXPECT_EQ(second[5].Quality, result == 1 ? kLive : 60.0);
        return result;
    };
    const double x = kRejectSpread;
    EXPECT_EQ(classify(OnAxis({7, -x, 7, x, 7, 1e-3})), 0);
    EXPECT_EQ(classify(OnAxis({7, -2e-5, 7, 2e-5, 7, 1e-3})), 11);
    std::vector<CVector> both = OnAxis({3 - 2e-5, -2e-5, 3 + 2e-5, 2e-5, 3.001, 1e-3});
    EXPECT_EQ(classify(both), 22);
    both[0].Quality = both[2].Quality = both[4].Quality = 20.0;
    EXPECT_EQ(classify(both), 1);
    EXPECT_EQ(first[5].Quality, 60.0);
    EXPECT_EQ(avg[1].Range, 0.0);         // the first set's averages are written too
    first = {Sight(7, 0, 0, 100, 50.0)};  // too short for a view: refused, nothing written
    EXPECT_EQ(engine.ClassifyOutside(first.data(), 1, first.data(), 1, avg.data()), -1);
    EXPECT_EQ(first[0].Quality, 50.0);
}

// A (3 m), B (6 m) at each band's edges (C between if asked), back sights, `extra` at -1 rad.
std::vector<CVector> BandSet(std::vector<Band> bands, std::vector<std::pair<int, Band>> changes,
                             int extra = 0, bool withC = false) {
    for (const auto& [index, band] : changes) {
        bands[index] = band;
    }
    std::vector<CVector> set;
    for (const auto& [low, high] : bands) {
        for (const int face : {100, 200}) {
            set.push_back(Sight(3.0, 0.0, face == 100 ? low : -1.5, face));
            set.push_back(Sight(6.0, 0.0, face == 100 ? high : 1.5, face));
            if (withC) {
                set.push_back(Sight(4.0, 0.0, (low + high) / 2, face));
            }
        }
    }
    set.insert(set.end(), extra, Sight(3.0, 0.0, -1.0));
    return set;
}

// Bands every 0.2 rad from -0.8 to 0.7, out of order; only view 3 sees A and B in line.
const std::vector<Band> kCheck = {{-0.4, -0.2}, {-0.8, -0.6}, {0.5, 0.7},  {0.0, 0.0},
                                  {-0.2, 0.0},  {0.15, 0.35}, {-0.6, -0.4}};

// The status of a set of check views of `targets` targets; the record's in-line view starts stale.
struct CheckViews {
    int Accept(std::vector<CVector> set, int targets = 2) {
        out.m_nInlineView = 12345;
        return CCompensation().AcceptFCKAllViews(set.data(), targets, Count(set), &gap, &out);
    }
    TCompOut out{};
    double gap = -999.0;
};

TEST(AcceptFCKAllViews, JudgesTheElevationCoverageOfTheViews) {
    CheckViews check;
    EXPECT_EQ(check.Accept(BandSet(kCheck, {})), 0);
    EXPECT_EQ(check.Accept(BandSet(kCheck, {{5, {0.17455, 0.4}}})), 0);   // a gap of the margin
    EXPECT_EQ(check.Accept(BandSet(kCheck, {{1, {-0.6, -0.4}}}, 3)), 2);  // extras reach no band
    EXPECT_EQ(check.Accept(BandSet(kCheck, {{2, {0.3, 0.5}}})), 3);
    EXPECT_EQ(check.Accept(BandSet(kCheck, {{5, {0.2, 0.4}}})), 4);
    EXPECT_DOUBLE_EQ(check.gap, (0.0 + 0.2) * kHalfRadToDeg);
    EXPECT_EQ(check.Accept(BandSet(kCheck, {}), 0), -1);
}

// The in-line view sees the farthest live pair of view 0 most nearly in line, both live.
TEST(AcceptFCKAllViews, FindsTheInlineView) {
    CheckViews check;
    check.Accept(BandSet(kCheck, {}));
    EXPECT_EQ(check.out.m_nInlineView, 3);
    check.Accept(BandSet(kCheck, {{4, {-0.1, 0.0}}}));  // view 3 is still closer
    EXPECT_EQ(check.out.m_nInlineView, 3);
    EXPECT_EQ(check.Accept(BandSet(kCheck, {{3, {0.0, 0.2}}})), 5);
    EXPECT_EQ(check.out.m_nInlineView, -100);
    std::vector<CVector> set = BandSet(kCheck, {{4, {-0.1, 0.0}}});
    set[3 * 4].Quality = 50.0;
    check.Accept(set);
    EXPECT_EQ(check.out.m_nInlineView, 4);
    set[1].Quality = 50.0;  // no live pair in view 0: no view is in line
    EXPECT_EQ(check.Accept(set), 5);
}

// Six check views are refused before the record is touched, flying views of two targets too;
// flying views of three targets need three views only.
TEST(AcceptFlyingAllViews, NeedsFewerViewsOfThreeTargets) {
    CheckViews check;
    std::vector<CVector> set = BandSet(kCheck, {});
    set.resize(24);
    EXPECT_EQ(check.Accept(set), 1);
    EXPECT_EQ(check.out.m_nInlineView, 12345);
    EXPECT_EQ(CCompensation().AcceptFlyingAllViews(set.data(), 2, 24, &check.gap, &check.out), 1);
    set = BandSet(kCheck, {}, 0, true);
    EXPECT_EQ(check.Accept(std::vector<CVector>(set.begin(), set.begin() + 24), 3), 1);
    EXPECT_EQ(CCompensation().AcceptFlyingAllViews(set.data(), 3, 24, &check.gap, &check.out), 4);
    EXPECT_DOUBLE_EQ(check.gap, (-0.6 - 0.4) * kHalfRadToDeg);  // the first four leave a gap
}

// Five touching bands from -0.8 to 0.7 rad, out of order.
const std::vector<Band> kFbb = {{0.1, 0.4}, {-0.8, -0.5}, {0.4, 0.7}, {-0.2, 0.1}, {-0.5, -0.2}};

// A view is compact with front sights under 0.3491 rad apart in elevation and 2 m in range
// (both strict).
TEST(AcceptFBBView, AcceptsOnlyACompactView) {
    CCompensation engine;
    auto view = [&](std::vector<CVector> v) { return engine.AcceptFBBView(v.data(), Count(v)); };
    const CVector back = Sight(9, 0, 1.5, 200);
    EXPECT_EQ(view({Sight(5, .1, 0), Sight(6.9, .2, .349), back}), 1);
    EXPECT_EQ(view({Sight(5, .1, 0), Sight(6.9, .2, .3491)}), 0);
    EXPECT_EQ(view({Sight(5, .1, 0), Sight(7, .2, .349)}), 0);
    // The first of two equal highest points keeps its place: 1 m from the lowest, not 3 m.
    EXPECT_EQ(view({Sight(5, 0, .2), Sight(9, 0, .2), Sight(6, 0, .1)}), 1);
    EXPECT_EQ(view({back}), 0);  // nothing shows compactness (the span would read -200)
}

// Together the views must reach -0.6982 and 0.6982 (inclusive) without a gap.
TEST(AcceptFBBAllViews, JudgesTheElevationCoverageOfTheViews) {
    double gap = -999.0;
    auto all = [&](std::vector<CVector> set, int nCount = -1) {
        return CCompensation().AcceptFBBAllViews(set.data(), 2, nCount < 0 ? Count(set) : nCount,
                                                 &gap);
    };
    EXPECT_EQ(all(BandSet(kFbb, {})), 0);
    EXPECT_EQ(all(BandSet(kFbb, {{1, {-0.6982, -0.5}}, {2, {0.4, 0.6982}}})), 0);
    EXPECT_EQ(all(BandSet(kFbb, {{1, {-0.6, -0.5}}})), 2);
    EXPECT_EQ(all(BandSet(kFbb, {{2, {0.4, 0.6}}})), 3);
    EXPECT_EQ(all(BandSet(kFbb, {{1, {-0.6, -0.5}}, {2, {0.4, 0.6}}})), 2);
    EXPECT_EQ(all(BandSet(kFbb, {{4, {-0.5, 0.9}}, {2, {0.3, 0.5}}})), 3);  // top: highest low
    EXPECT_EQ(all(BandSet(kFbb, {{4, {0.4, 0.6}}})), 3);       // the later of equal lows
    EXPECT_EQ(all(BandSet(kFbb, {{1, {-0.6, -0.5}}}, 3)), 2);  // front sights beyond: none
    EXPECT_EQ(all(BandSet(kFbb, {}), 18), 1);  // nine front sights' worth: four views
    EXPECT_EQ(gap, -999.0);
    EXPECT_EQ(all(BandSet(kFbb, {{0, {0.3, 0.4}}})), 4);
    EXPECT_DOUBLE_EQ(gap, (0.1 + 0.3) * kHalfRadToDeg);
    EXPECT_EQ(CCompensation().AcceptFBBAllViews(nullptr, 0, 20, &gap), -1);
    // Views are counted by front sights, even with every back sight at the end.
    std::vector<CVector> set = BandSet(kFbb, {});
    std::stable_partition(set.begin(), set.end(), [](const CVector& v) { return v.Type == 100; });
    EXPECT_EQ(all(set), 0);
}

}  // namespace
