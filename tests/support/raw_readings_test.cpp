#include <cmath>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "support/raw_readings.h"

namespace compensation::testing {
namespace {

// A model with terms of every kind at a real tracker's size: the raw reading differs from the
// truth by that much, and calibrating it gives the truth back in both faces.
TEST(RawReadings, CalibrateReproducesTheTruth) {
    TMapper model{};
    model.A1 = 2e-3, model.A2_3AzS = -1e-3, model.A3_AzC = 1.5e-3, model.Ax = 8e-4;
    model.D1 = 4e-6, model.D2 = -3e-6, model.X0 = 5e-6, model.Az_2AzS = 7e-4;
    model.El_ElS = -9e-4, model.B_plus = 2e-5, model.K_minus = 1e-3;
    model.T_ref = 1.0, model.A1_dT = 1e-4;
    for (int type : {100, 200}) {
        CVector truth = TrueReading({1.3, 0.9, -3.1}, {{0.2, -0.1, 0.3}, 0.7}, type);
        truth.T = 3.0;
        const CVector raw = RawReadingFor(truth, model);
        EXPECT_GT(std::fabs(raw.Azimuth - truth.Azimuth), 1e-6);
        EXPECT_GT(std::fabs(raw.Range - truth.Range), 1e-7);
        CVector calibrated = raw;
        calibrated.Calibrate(&model);
        EXPECT_NEAR(calibrated.Range, truth.Range, kRawReadingTolerance);
        EXPECT_NEAR(calibrated.Azimuth, truth.Azimuth, kRawReadingTolerance);
        EXPECT_NEAR(calibrated.Elevation, truth.Elevation, kRawReadingTolerance);
        EXPECT_EQ(raw.T, 3.0);
        EXPECT_EQ(raw.Type, type);
    }
    // A point on the world's +Z axis is read at minus the heading, at its distance.
    const CVector v = TrueReading({0.0, 0.0, 5.0}, {{0.0, 0.0, 1.0}, 0.25}, 100);
    EXPECT_NEAR(v.Range, 4.0, 1e-15);
    EXPECT_NEAR(v.Azimuth, -0.25, 1e-15);
    EXPECT_NEAR(v.Elevation, 0.0, 1e-15);
}

}  // namespace
}  // namespace compensation::testing
