#include <gtest/gtest.h>

#include "support/raw_readings.h"

namespace compensation::testing {
namespace {

// A pose turns the azimuth by minus its heading; exact but for rounding of unit-sized values.
TEST(RawReadings, TrueReadingFollowsThePose) {
    const CVector v = TrueReading({0.0, 0.0, 5.0}, {{0.0, 0.0, 1.0}, 0.25}, 100);
    EXPECT_NEAR(v.Range, 4.0, 1e-15);
    EXPECT_NEAR(v.Azimuth, -0.25, 1e-15);
}

}  // namespace
}  // namespace compensation::testing
