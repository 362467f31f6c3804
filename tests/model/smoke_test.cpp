#include <cmath>

#include <gtest/gtest.h>

#include "compensation/compensation.h"

TEST(Smoke, ZeroModelLeavesTheReadingAndRecomputesCartesian) {
    TMapper map{};
    CVector v;
    v.Type = 100;
    v.Range = 5.0;
    v.Azimuth = 0.3;
    v.Elevation = 0.1;
    v.Calibrate(&map);
    EXPECT_EQ(v.FSBS, 1);
    EXPECT_TRUE(v.Radian);
    EXPECT_DOUBLE_EQ(v.Range, 5.0);
    EXPECT_DOUBLE_EQ(v.Y, 5.0 * std::sin(0.1));
}
