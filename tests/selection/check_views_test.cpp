// Elevation coverage of complete check, flying and FBB view sets, and the compact FBB view.
#include <algorithm>
#include <utility>
#include <vector>

#include "selection/selection_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;
using Band = std::pair<double, double>;

// Per view: targets A (3 m) and B (6 m) at zero azimuth and the band's two elevations, in front
// sight, then in back sight at elevations that must not count; the A-B angle is the band width.
// `changes` replaces bands; `extra` front sights at -1 rad follow the last view.
std::vector<CVector> BandSet(std::vector<Band> bands, std::vector<std::pair<int, Band>> changes,
                             int extra = 0) {
    for (const auto& [index, band] : changes) {
        bands[index] = band;
    }
    std::vector<CVector> set;
    for (const Band& b : bands) {
        for (const int face : {100, 200}) {
            set.push_back(Measurement(face, 3.0, 0.0, face == 100 ? b.first : -1.5));
            set.push_back(Measurement(face, 6.0, 0.0, face == 100 ? b.second : 1.5));
        }
    }
    set.insert(set.end(), extra, Measurement(100, 3.0, 0.0, -1.0));
    return set;
}

// Bands every 0.2 rad from -0.8 to 0.7, out of order; only view 3 sees A and B in line.
const std::vector<Band> kCheck = {{-0.4, -0.2}, {-0.8, -0.6}, {0.5, 0.7},  {0.0, 0.0},
                                  {-0.2, 0.0},  {0.15, 0.35}, {-0.6, -0.4}};

TEST(AcceptFCKAllViews, Statuses) {
    CCompensation engine;
    TCompOut out{};
    double gap = -999.0;
    auto accept = [&](std::vector<CVector> set, int nTargets = 2) {
        out.m_nInlineView = 12345;
        return engine.AcceptFCKAllViews(set.data(), nTargets, Count(set), &gap, &out);
    };
    EXPECT_EQ(accept(BandSet(kCheck, {})), 0);
    EXPECT_EQ(out.m_nInlineView, 3);
    EXPECT_EQ(accept(BandSet(kCheck, {{1, {-0.6982, -0.5}}, {2, {0.5, 0.6982}}})), 0);
    EXPECT_EQ(accept(BandSet(kCheck, {{5, {0.17455, 0.4}}})), 0);  // a gap exactly the margin
    EXPECT_EQ(accept(BandSet(kCheck, {{4, {-0.1, 0.0}}})), 0);     // view 3 is still closer
    EXPECT_EQ(out.m_nInlineView, 3);
    EXPECT_EQ(accept(BandSet(kCheck, {{1, {-0.6, -0.4}}})), 2);
    EXPECT_EQ(accept(BandSet(kCheck, {{2, {0.3, 0.5}}})), 3);
    EXPECT_EQ(accept(BandSet(kCheck, {{1, {-0.6, -0.4}}, {2, {0.3, 0.5}}})), 2);
    EXPECT_EQ(accept(BandSet(kCheck, {{5, {0.2, 0.4}}})), 4);
    EXPECT_DOUBLE_EQ(gap, (0.0 + 0.2) * kHalfRadToDeg);
    EXPECT_EQ(accept(BandSet(kCheck, {{3, {0.0, 0.2}}})), 5);
    EXPECT_EQ(out.m_nInlineView, -100);
    // Front sights after the last complete view belong to no band (they would reach low).
    EXPECT_EQ(accept(BandSet(kCheck, {{1, {-0.6, -0.4}}}, 3)), 2);
    EXPECT_EQ(accept(BandSet(kCheck, {}), 0), -1);
    std::vector<CVector> set = BandSet(kCheck, {});
    set.resize(24);  // six views: refused before the record is touched
    EXPECT_EQ(accept(set), 1);
    EXPECT_EQ(out.m_nInlineView, 12345);
    // A view where A or B is rejected cannot be the in-line one; without a live pair in view 0
    // there is nothing to look for.
    set = BandSet(kCheck, {{4, {-0.1, 0.0}}});
    set[3 * 4].Quality = 50.0;
    accept(set);
    EXPECT_EQ(out.m_nInlineView, 4);
    set[1].Quality = 50.0;
    EXPECT_EQ(accept(set), 5);

    // Flying views of three targets need only three views (here four, with view 1 in line and a
    // gap between the bands ending at -0.6 and starting at 0.2); with two targets, seven.
    set.clear();
    for (const double el : {-0.8, -0.3, 0.2, 0.7}) {
        for (const int face : {100, 200}) {
            set.push_back(Measurement(face, 3.0, 0.0, el));
            set.push_back(Measurement(face, 6.0, 0.0, el == -0.3 ? el : el + 0.2));
            set.push_back(Measurement(face, 4.0, 0.0, el + 0.1));
        }
    }
    EXPECT_EQ(accept(set, 3), 1);
    EXPECT_EQ(engine.AcceptFlyingAllViews(set.data(), 3, 24, &gap, &out), 4);
    EXPECT_EQ(out.m_nInlineView, 1);
    EXPECT_DOUBLE_EQ(gap, (-0.6 + 0.2) * kHalfRadToDeg);
    set = BandSet(kCheck, {});
    EXPECT_EQ(engine.AcceptFlyingAllViews(set.data(), 2, 24, &gap, &out), 1);
    EXPECT_EQ(engine.AcceptFlyingAllViews(set.data(), 2, 28, &gap, &out), 0);
}

// A view is compact when its front sights span less than 0.3491 rad of elevation and its lowest
// and highest points less than 2 m in range (both strict).
TEST(AcceptFBBView, CompactViews) {
    CCompensation engine;
    auto accept = [&](std::vector<CVector> view) {
        return engine.AcceptFBBView(view.data(), Count(view));
    };
    const CVector back = Measurement(200, 9, 0, 1.5);
    EXPECT_EQ(accept({Measurement(100, 5, .1, 0), Measurement(100, 6.9, .2, .349), back}), 1);
    EXPECT_EQ(accept({Measurement(100, 5, .1, 0), Measurement(100, 6.9, .2, .3491)}), 0);
    EXPECT_EQ(accept({Measurement(100, 5, .1, 0), Measurement(100, 7, .2, .349)}), 0);
    // The first of two equal highest points keeps its place: 1 m from the lowest, not 3 m.
    EXPECT_EQ(accept({Measurement(100, 5, 0, .2), Measurement(100, 9, 0, .2),
                      Measurement(100, 6, 0, .1)}),
              1);
    EXPECT_EQ(accept({back}), 0);  // nothing shows compactness (the span would read -200)
}

// Five touching bands from -0.8 to 0.7 rad, out of order.
const std::vector<Band> kFbb = {{0.1, 0.4}, {-0.8, -0.5}, {0.4, 0.7}, {-0.2, 0.1}, {-0.5, -0.2}};

TEST(AcceptFBBAllViews, CoverageStatuses) {
    CCompensation engine;
    double gap = -999.0;
    auto accept = [&](std::vector<CVector> set, int nCount = -1) {
        return engine.AcceptFBBAllViews(set.data(), 2, nCount < 0 ? Count(set) : nCount, &gap);
    };
    EXPECT_EQ(accept(BandSet(kFbb, {})), 0);
    EXPECT_EQ(accept(BandSet(kFbb, {{1, {-0.6982, -0.5}}, {2, {0.4, 0.6982}}})), 0);
    EXPECT_EQ(accept(BandSet(kFbb, {{1, {-0.6, -0.5}}})), 2);
    EXPECT_EQ(accept(BandSet(kFbb, {{2, {0.4, 0.6}}})), 3);
    EXPECT_EQ(accept(BandSet(kFbb, {{1, {-0.6, -0.5}}, {2, {0.4, 0.6}}})), 2);
    // The top is the band that starts highest (the later of equal starts), not the one that
    // reaches highest.
    EXPECT_EQ(accept(BandSet(kFbb, {{4, {-0.5, 0.9}}, {2, {0.3, 0.5}}})), 3);
    EXPECT_EQ(accept(BandSet(kFbb, {{4, {0.4, 0.6}}})), 3);
    EXPECT_EQ(accept(BandSet(kFbb, {{1, {-0.6, -0.5}}}, 3)), 2);  // front sights beyond: none
    EXPECT_EQ(accept(BandSet(kFbb, {}), 18), 1);  // nine front sights' worth: four views
    EXPECT_EQ(gap, -999.0);
    EXPECT_EQ(accept(BandSet(kFbb, {{0, {0.3, 0.4}}})), 4);
    EXPECT_DOUBLE_EQ(gap, (0.1 + 0.3) * kHalfRadToDeg);
    EXPECT_EQ(engine.AcceptFBBAllViews(nullptr, 0, 20, &gap), -1);
    // Views are counted by front sights: with every back sight at the end, groups of four
    // measurements would leave the last two views without one.
    std::vector<CVector> set = BandSet(kFbb, {});
    std::stable_partition(set.begin(), set.end(), [](const CVector& v) { return v.Type == 100; });
    EXPECT_EQ(accept(set), 0);
}

}  // namespace
