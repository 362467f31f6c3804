#include <gtest/gtest.h>

#include "support/raw_readings.h"

namespace compensation::testing {
namespace {

// Terms of every kind at a real tracker's size: the raw reading calibrates back in both faces
// (RawReadingFor fails the test otherwise), keeping Type and T, and differs from the truth by
// far more than the inversion's tolerance (the terms move the azimuth by some 1e-5 rad).
TEST(RawReadings, CalibrateReproducesTheTruthInBothFaces) {
    TMapper model{};
    model.A1 = 2e-3, model.A2_3AzS = -1e-3, model.A3_AzC = 1.5e-3, model.Ax = 8e-4;
    model.D1 = 4e-6, model.D2 = -3e-6, model.X0 = 5e-6, model.Az_2AzS = 7e-4;
    model.El_ElS = -9e-4, model.B_plus = 2e-5, model.K_minus = 1e-3, model.A1_dT = 1e-4;
    for (int type : {100, 200}) {
        CVector truth = TrueReading({1.3, 0.9, -3.1}, {{0.2, -0.1, 0.3}, 0.7}, type);
        truth.T = 3.0;
        const CVector raw = RawReadingFor(truth, model);
        EXPECT_GT(std::fabs(raw.Azimuth - truth.Azimuth), 1e-6);
        EXPECT_EQ(raw.T, 3.0);
        EXPECT_EQ(raw.Type, type);
    }
}

// A pose turns the azimuth by minus its heading; exact but for rounding of unit-sized values.
TEST(RawReadings, TrueReadingFollowsThePose) {
    const CVector v = TrueReading({0.0, 0.0, 5.0}, {{0.0, 0.0, 1.0}, 0.25}, 100);
    EXPECT_NEAR(v.Range, 4.0, 1e-15);
    EXPECT_NEAR(v.Azimuth, -0.25, 1e-15);
}

}  // namespace
}  // namespace compensation::testing
