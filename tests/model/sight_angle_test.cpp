#include <gtest/gtest.h>

#include <cmath>

#include "model/sight_angle.h"

// Two targets on one line of sight whose cosine rounds just above 1: acos alone has no value
// there, and the pair most exactly in line would be passed over by the in-line searches.
TEST(SightAngle, TargetsOnOneLineOfSightAreAtAngleZero) {
    CVector near;
    near.X = 1.0;
    near.Range = 0.9999999999999999;
    CVector far = near;
    ASSERT_TRUE(std::isnan(near.InterVectorAngle(near, far)));
    EXPECT_EQ(compensation::detail::SightAngle(near, far), 0.0);

    far.Y = 1.0;
    far.Range = std::sqrt(2.0);
    EXPECT_NEAR(compensation::detail::SightAngle(near, far), std::acos(1.0 / std::sqrt(2.0)),
                1e-15);

    CVector centre;  // no direction at all: still no angle
    EXPECT_TRUE(std::isnan(compensation::detail::SightAngle(centre, far)));
}
