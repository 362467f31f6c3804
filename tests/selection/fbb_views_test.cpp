#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kHalfRadToDeg;
using compensation::kInvalidInput;
using compensation::testing::Measurement;

TEST(AcceptFBBView, ElevationSpanIsStrictAndBackSightsAreIgnored) {
    CCompensation engine;
    std::vector<CVector> view = {Measurement(100, 5.0, 0.1, 0.0), Measurement(100, 6.9, 0.2, 0.349),
                                 Measurement(200, 5.0, 0.1, -1.5), Measurement(200, 6.9, 0.2, 1.5)};
    EXPECT_EQ(engine.AcceptFBBView(view.data(), 4), 1);
    view[1].Elevation = 0.3491;  // exactly the limit
    EXPECT_EQ(engine.AcceptFBBView(view.data(), 4), 0);

    // Ranges at the lowest and highest point 2 m apart (exactly) fail.
    view[1].Elevation = 0.349;
    view[1].Range = 7.0;
    EXPECT_EQ(engine.AcceptFBBView(view.data(), 4), 0);
}

TEST(AcceptFBBView, FirstMeasurementKeepsItsPlaceOnEqualElevations) {
    CCompensation engine;
    // The first at elevation 0.2 is the highest point: 1 m from the lowest in range. Had the
    // second taken its place, the ranges would differ by 3 m.
    std::vector<CVector> view = {Measurement(100, 5.0, 0.0, 0.2), Measurement(100, 9.0, 0.0, 0.2),
                                 Measurement(100, 6.0, 0.0, 0.1)};
    EXPECT_EQ(engine.AcceptFBBView(view.data(), 3), 1);
}

TEST(AcceptFBBView, ViewWithoutFrontSightIsRefused) {
    CCompensation engine;
    std::vector<CVector> backOnly = {Measurement(200, 5.0, 0.0, 0.1)};
    EXPECT_EQ(engine.AcceptFBBView(backOnly.data(), 1), 0);
    EXPECT_EQ(engine.AcceptFBBView(backOnly.data(), 0), 0);
    std::vector<CVector> single = {Measurement(100, 5.0, 0.0, 0.1)};
    EXPECT_EQ(engine.AcceptFBBView(single.data(), 1), 1);
}

using Band = std::pair<double, double>;

// Views of two targets: both front sights, then both back sights at extreme elevations that
// must not count.
std::vector<CVector> FbbSet(const std::vector<Band>& views) {
    std::vector<CVector> set;
    for (const Band& b : views) {
        set.push_back(Measurement(100, 5.0, 0.0, b.first));
        set.push_back(Measurement(100, 5.5, 0.3, b.second));
        set.push_back(Measurement(200, 5.0, 0.0, -1.5));
        set.push_back(Measurement(200, 5.5, 0.3, 1.5));
    }
    return set;
}

int AcceptAll(const std::vector<Band>& views, double* gap, int extraFrontSights = 0) {
    CCompensation engine;
    std::vector<CVector> set = FbbSet(views);
    for (int i = 0; i < extraFrontSights; ++i) {
        set.push_back(Measurement(100, 5.0, 0.0, -1.0));
    }
    return engine.AcceptFBBAllViews(set.data(), 2, static_cast<int>(set.size()), gap);
}

// Five touching bands from -0.8 to 0.7 rad.
const std::vector<Band> kCovered = {
    {-0.8, -0.5}, {-0.5, -0.2}, {-0.2, 0.1}, {0.1, 0.4}, {0.4, 0.7}};

TEST(AcceptFBBAllViews, CoverageStatuses) {
    double gap = -999.0;
    EXPECT_EQ(AcceptAll(kCovered, &gap), 0);  // touching bands are not a gap
    std::vector<Band> shuffled = {kCovered[3], kCovered[0], kCovered[4], kCovered[2], kCovered[1]};
    EXPECT_EQ(AcceptAll(shuffled, &gap), 0);

    std::vector<Band> onLimits = kCovered;
    onLimits[0].first = -0.6982;
    onLimits[4].second = 0.6982;
    EXPECT_EQ(AcceptAll(onLimits, &gap), 0);

    std::vector<Band> notLow = kCovered;
    notLow[0].first = -0.6;
    EXPECT_EQ(AcceptAll(notLow, &gap), 2);
    std::vector<Band> notHigh = kCovered;
    notHigh[4].second = 0.6;
    EXPECT_EQ(AcceptAll(notHigh, &gap), 3);
    std::vector<Band> neither = notLow;
    neither[4].second = 0.6;
    EXPECT_EQ(AcceptAll(neither, &gap), 2);
    EXPECT_EQ(gap, -999.0);

    // The top is the band that starts highest, not the one that reaches highest.
    std::vector<Band> tallMiddle = {{-0.8, -0.5}, {-0.5, 0.9}, {-0.2, 0.1}, {0.1, 0.4}, {0.3, 0.5}};
    EXPECT_EQ(AcceptAll(tallMiddle, &gap), 3);

    std::vector<Band> withGap = kCovered;
    withGap[3] = {0.3, 0.4};
    EXPECT_EQ(AcceptAll(withGap, &gap), 4);
    EXPECT_DOUBLE_EQ(gap, 0.4 * kHalfRadToDeg);
}

TEST(AcceptFBBAllViews, ViewCountsAndFrontSightsBeyondTheViews) {
    CCompensation engine;
    std::vector<CVector> set = FbbSet(kCovered);
    double gap = -999.0;
    // Nine front sights' worth of measurements make four views of two targets.
    EXPECT_EQ(engine.AcceptFBBAllViews(set.data(), 2, 18, &gap), 1);
    EXPECT_EQ(gap, -999.0);
    EXPECT_EQ(engine.AcceptFBBAllViews(set.data(), 0, 20, &gap), kInvalidInput);
    EXPECT_EQ(engine.AcceptFBBAllViews(set.data(), -2, 20, &gap), kInvalidInput);

    // Front sights after the last view are left out: at -1 rad they would meet the low demand.
    std::vector<Band> notLow = kCovered;
    notLow[0].first = -0.6;
    EXPECT_EQ(AcceptAll(notLow, &gap, 2), 2);
    EXPECT_EQ(AcceptAll(notLow, &gap, 3), 2);

    // Where the back sights lie does not matter: views are counted by front sights.
    std::vector<CVector> interleaved;
    for (const Band& b : notLow) {
        interleaved.push_back(Measurement(100, 5.0, 0.0, b.first));
        interleaved.push_back(Measurement(200, 5.0, 0.0, -1.5));
        interleaved.push_back(Measurement(100, 5.5, 0.3, b.second));
        interleaved.push_back(Measurement(200, 5.5, 0.3, 1.5));
    }
    EXPECT_EQ(engine.AcceptFBBAllViews(interleaved.data(), 2, 20, &gap), 2);
}

}  // namespace
