#include <cmath>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/elevation_bands.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kHalfRadToDeg;
using compensation::kInvalidInput;
using compensation::testing::Measurement;

// Elevations of the two targets of one check view, both seen at zero azimuth: target A at
// 3 m, target B at 6 m. The angle between them is the elevation difference, so a view whose
// two elevations are equal sees them in line.
using View = std::pair<double, double>;

// Each view holds both targets in front sight, then both in back sight.
std::vector<CVector> CheckSet(const std::vector<View>& views) {
    std::vector<CVector> set;
    for (const View& v : views) {
        set.push_back(Measurement(100, 3.0, 0.0, v.first));
        set.push_back(Measurement(100, 6.0, 0.0, v.second));
        set.push_back(Measurement(200, 3.0, 0.0, -1.5));
        set.push_back(Measurement(200, 6.0, 0.0, 1.5));
    }
    return set;
}

// Bands every 0.2 rad from -0.8 to 0.7, the in-line view (index 3) at the horizon.
const std::vector<View> kAccepted = {{-0.8, -0.6}, {-0.6, -0.4}, {-0.4, -0.2}, {0.0, 0.0},
                                     {-0.2, 0.0},  {0.15, 0.35}, {0.5, 0.7}};

struct Outcome {
    int status;
    int inlineView;
    double gap;
};

Outcome AcceptAll(std::vector<View> views, bool flying = false, int extraFrontSights = 0) {
    CCompensation engine;
    std::vector<CVector> set = CheckSet(views);
    for (int i = 0; i < extraFrontSights; ++i) {
        set.push_back(Measurement(100, 3.0, 0.0, -1.0));
    }
    TCompOut out{};
    out.m_nInlineView = 12345;
    double gap = -999.0;
    const int n = static_cast<int>(set.size());
    const int status = flying ? engine.AcceptFlyingAllViews(set.data(), 2, n, &gap, &out)
                              : engine.AcceptFCKAllViews(set.data(), 2, n, &gap, &out);
    return {status, out.m_nInlineView, gap};
}

TEST(AcceptFCKAllViews, AcceptsCoverageAndNamesTheInlineView) {
    Outcome o = AcceptAll(kAccepted);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.inlineView, 3);
    EXPECT_EQ(o.gap, -999.0);

    // The order of the views does not matter: the bands are sorted.
    std::vector<View> reversed(kAccepted.rbegin(), kAccepted.rend());
    o = AcceptAll(reversed);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.inlineView, 3);

    // The lowest and highest demands are met exactly on their limits.
    std::vector<View> onLimits = kAccepted;
    onLimits[0] = {-0.6982, -0.4982};
    onLimits[6] = {0.4982, 0.6982};
    EXPECT_EQ(AcceptAll(onLimits).status, 0);
}

TEST(AcceptFCKAllViews, ElevationStatuses) {
    std::vector<View> notLow = kAccepted;
    notLow[0] = {-0.6, -0.4};
    EXPECT_EQ(AcceptAll(notLow).status, 2);

    std::vector<View> notHigh = kAccepted;
    notHigh[6] = {0.3, 0.5};
    EXPECT_EQ(AcceptAll(notHigh).status, 3);

    std::vector<View> neither = notLow;
    neither[6] = {0.3, 0.5};
    EXPECT_EQ(AcceptAll(neither).status, 2);

    // A band starting more than 0.17455 rad above the end of the band below is a gap; its
    // middle is reported in degrees.
    std::vector<View> gap = kAccepted;
    gap[5] = {0.2, 0.4};
    const Outcome o = AcceptAll(gap);
    EXPECT_EQ(o.status, 4);
    EXPECT_DOUBLE_EQ(o.gap, (0.0 + 0.2) * kHalfRadToDeg);

    std::vector<View> onMargin = kAccepted;
    onMargin[5] = {0.17455, 0.4};
    EXPECT_EQ(AcceptAll(onMargin).status, 0);
}

TEST(AcceptFCKAllViews, InlineViewSearch) {
    // The smallest angle wins among views where both targets are live.
    std::vector<View> twoCandidates = kAccepted;
    twoCandidates[5] = {0.3, 0.4};
    EXPECT_EQ(AcceptAll(twoCandidates).inlineView, 3);

    CCompensation engine;
    std::vector<CVector> set = CheckSet(twoCandidates);
    set[3 * 4].Quality = 50.0;
    TCompOut out{};
    double gap = 0.0;
    engine.AcceptFCKAllViews(set.data(), 2, static_cast<int>(set.size()), &gap, &out);
    EXPECT_EQ(out.m_nInlineView, 5);

    // No view within 0.17455 rad.
    std::vector<View> none = kAccepted;
    none[3] = {0.0, 0.2};
    Outcome o = AcceptAll(none);
    EXPECT_EQ(o.status, 5);
    EXPECT_EQ(o.inlineView, -100);

    // View 0 without a live pair of front sights: there is no pair to look for.
    set = CheckSet(kAccepted);
    set[1].Quality = 50.0;
    out.m_nInlineView = 12345;
    EXPECT_EQ(engine.AcceptFCKAllViews(set.data(), 2, static_cast<int>(set.size()), &gap, &out), 5);
    EXPECT_EQ(out.m_nInlineView, -100);
}

TEST(AcceptFCKAllViews, ViewCountsAndLayoutsThatDoNotFit) {
    // Six views: refused before the result record is touched.
    std::vector<View> six(kAccepted.begin(), kAccepted.begin() + 6);
    Outcome o = AcceptAll(six);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.inlineView, 12345);

    // Front sights after the last complete view belong to no band: two trailing front sights
    // at -1 rad would otherwise meet the low demand.
    std::vector<View> notLow = kAccepted;
    notLow[0] = {-0.6, -0.4};
    EXPECT_EQ(AcceptAll(notLow, false, 2).status, 2);
    EXPECT_EQ(AcceptAll(notLow, false, 3).status, 2);

    CCompensation engine;
    std::vector<CVector> set = CheckSet(kAccepted);
    TCompOut out{};
    double gap = 0.0;
    EXPECT_EQ(engine.AcceptFCKAllViews(set.data(), 0, 28, &gap, &out), kInvalidInput);
}

TEST(AcceptFlyingAllViews, FewerViewsSufficeWithThreeTargets) {
    // Four views of three targets: the check-view demand of seven views refuses them, the
    // flying demand of three lets them through to the elevation tests.
    CCompensation engine;
    std::vector<CVector> set;
    for (int v = 0; v < 4; ++v) {
        const double el = -0.8 + 0.5 * v;
        for (int face : {100, 200}) {
            set.push_back(Measurement(face, 3.0, 0.0, el));
            set.push_back(Measurement(face, 6.0, 0.0, v == 1 ? el : el + 0.2));
            set.push_back(Measurement(face, 4.0, 0.0, el + 0.1));
        }
    }
    TCompOut out{};
    double gap = -999.0;
    EXPECT_EQ(engine.AcceptFCKAllViews(set.data(), 3, 24, &gap, &out), 1);
    // View 1 sees A and B in line; the other views leave bands (-0.8, -0.6), (0.2, 0.4) and
    // (0.7, 0.9), with a gap between the first two.
    EXPECT_EQ(engine.AcceptFlyingAllViews(set.data(), 3, 24, &gap, &out), 4);
    EXPECT_EQ(out.m_nInlineView, 1);
    EXPECT_DOUBLE_EQ(gap, (-0.6 + 0.2) * kHalfRadToDeg);

    // With two targets per view the flying views need seven as well.
    std::vector<View> four(kAccepted.begin(), kAccepted.begin() + 4);
    EXPECT_EQ(AcceptAll(four, true).status, 1);
    EXPECT_EQ(AcceptAll(kAccepted, true).status, 0);
}

TEST(ElevationBands, SortKeepsEqualLowsInOrderAndEdgesOfNaNReachNothing) {
    using compensation::detail::ElevationBand;
    std::vector<ElevationBand> bands = {{0.1, 0.3}, {-0.9, 0.0}, {0.1, 0.2}, {-1.0, -0.5}};
    compensation::detail::SortBandsByLow(bands);
    ASSERT_EQ(bands.size(), 4u);
    EXPECT_EQ(bands[0].low, -1.0);
    EXPECT_EQ(bands[1].low, -0.9);
    EXPECT_EQ(bands[2].high, 0.3);  // the earlier of the two bands starting at 0.1
    EXPECT_EQ(bands[3].high, 0.2);

    double gap = -999.0;
    std::vector<ElevationBand> nan = {{-1.0, -0.5}, {-0.5, std::nan("")}};
    EXPECT_EQ(compensation::detail::JudgeElevationBands(nan, 0.0, &gap), 3);
    EXPECT_EQ(compensation::detail::JudgeElevationBands({}, 0.0, &gap), 2);
    EXPECT_EQ(gap, -999.0);
}

}  // namespace
