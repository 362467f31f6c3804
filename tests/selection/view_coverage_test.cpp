#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kDegToRad;
using compensation::kInvalidInput;
using compensation::testing::Measurement;
using compensation::testing::TraceCapture;

std::vector<CVector> ReferenceViews(const std::vector<double>& azimuthsDeg) {
    std::vector<CVector> views;
    for (const double az : azimuthsDeg) {
        views.push_back(Measurement(14, 3.0, az * kDegToRad, 0.0));
    }
    return views;
}

int Accept(CCompensation& engine, std::vector<CVector>& views, int nFlag_0, int nSep) {
    return engine.AcceptViews(views.data(), static_cast<int>(views.size()), 14, nFlag_0, nSep);
}

// With eight sectors, sector b covers azimuths strictly between 45 b - 185 and 45 b - 130 deg.
TEST(AcceptViews, EightSectorsAndTheFirstEmptyOne) {
    CCompensation engine;
    std::vector<CVector> full = ReferenceViews({-160, -115, -70, -25, 20, 65, 110, 155});
    EXPECT_EQ(Accept(engine, full, 7, 8), 0);

    std::vector<CVector> noFirst = ReferenceViews({-115, -70, -25, 20, 65, 110, 155});
    EXPECT_EQ(Accept(engine, noFirst, 7, 8), 7);
    // With no offset an empty sector 0 cannot be told from full coverage.
    EXPECT_EQ(Accept(engine, noFirst, 0, 8), 0);

    std::vector<CVector> noFourth = ReferenceViews({-160, -115, -70, 20, 65, 110, 155});
    EXPECT_EQ(Accept(engine, noFourth, 9, 8), 12);
}

TEST(AcceptViews, SectorEdgesAreExcludedAndNeighboursOverlap) {
    CCompensation engine;
    // Exactly on sector 0's upper edge (-130 deg): it fills sector 1 only, so sector 0 is empty.
    std::vector<CVector> onEdge = ReferenceViews({-130, -70, -25, 20, 65, 110, 155});
    EXPECT_EQ(Accept(engine, onEdge, 7, 8), 7);
    // One step below the edge it lies inside both sector 0 and sector 1.
    onEdge[0].Azimuth = std::nextafter(-130.0 * kDegToRad, -10.0);
    EXPECT_EQ(Accept(engine, onEdge, 7, 8), 0);

    // Without wrapping: 183 deg written as -177 fills sector 0, not sector 7.
    std::vector<CVector> seam = ReferenceViews({-177, -115, -70, -25, 20, 65, 110});
    EXPECT_EQ(Accept(engine, seam, 7, 8), 14);
}

TEST(AcceptViews, CountsOnlyLiveVectorsOfTheGivenType) {
    CCompensation engine;
    std::vector<CVector> views = ReferenceViews({-160, -115, -70, -25, 20, 65, 110, 155});
    views[0].Quality = 50.0;
    EXPECT_EQ(Accept(engine, views, 7, 8), 7);
    views[0].Quality = 99.0;
    views[1].Type = 100;
    EXPECT_EQ(Accept(engine, views, 7, 8), 8);
}

TEST(AcceptViews, RefusesSectorCountsThatCannotBeJudged) {
    CCompensation engine;
    std::vector<CVector> views = ReferenceViews({-160, -115, -70, -25, 20, 65, 110, 155});
    // No sector at all would read as full coverage.
    EXPECT_EQ(Accept(engine, views, 7, 0), kInvalidInput);
    EXPECT_EQ(Accept(engine, views, 7, -3), kInvalidInput);
    // The code of the last sector would not fit an int.
    EXPECT_EQ(Accept(engine, views, INT_MAX, 2), kInvalidInput);
    EXPECT_EQ(Accept(engine, views, INT_MAX, 1), 0);
}

TEST(AcceptViews, TracesItsArgumentsAndResult) {
    TraceCapture trace;
    CCompensation engine;
    // Two sectors, (-185, 5) and (-5, 185) degrees: a view at -1 rad fills only the first.
    std::vector<CVector> views = {Measurement(14, 2.5, -1.0, 0.0)};
    const std::size_t mark = trace.Size();
    EXPECT_EQ(Accept(engine, views, 9, 2), 10);
    const std::string expected =
        "Entering AcceptViews \n"
        "   pVec \n"
        "       Quality   = 99.000000 \n"
        "       Range     = 2.500000 \n"
        "       Azimuth   = -1.000000 \n"
        "       Elivation = 0.000000 \n"
        "       X         = 2.103677 \n"
        "       Y         = 0.000000 \n"
        "       Z         = 1.350756 \n"
        "       Type      = 14 \n"
        "       FSBS      = 1 \n"
        "       Radian    = 1 \n"
        "       nCount = 1\n"
        "       nType = 14\n"
        "       nFlag_0 = 9\n"
        "       nSep = 2\n"
        "       Leaving AcceptViews = 10\n";
    EXPECT_EQ(trace.Since(mark), expected);

    // An empty array has no first vector to show.
    const std::size_t empty = trace.Size();
    EXPECT_EQ(engine.AcceptViews(views.data(), 0, 14, 9, 2), 9);
    EXPECT_EQ(trace.Since(empty).rfind("Entering AcceptViews \n   pVec \n       nCount = 0\n", 0),
              0u);
}

}  // namespace
