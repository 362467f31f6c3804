// The per-point gradients against central differences of the calibration itself.
#include <cmath>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/point_gradients.h"

namespace {

using compensation::PointShift;

CVector FrontSight(double range, double azimuth, double elevation) {
    CVector v;
    v.Type = 100;
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.T = 0.0;
    v.Quality = 99.0;
    return v;
}

// (P(+step) - P(-step)) / (2 step / unit): the change of the calibrated point per unit of the
// element, the element being `step` in the model's own unit and `unit` the gradient's unit
// expressed in the model's unit (1 for metres, kDegToRad when the model holds degrees and the
// gradient is per radian).
PointShift CentralDifference(const CVector& raw, double TMapper::*element, double step,
                             double unit) {
    TMapper map{};
    CVector plus = raw;
    map.*element = step;
    plus.Calibrate(&map);
    CVector minus = raw;
    map.*element = -step;
    minus.Calibrate(&map);
    const double span = 2.0 * step * unit;
    return {(plus.X - minus.X) / span, (plus.Y - minus.Y) / span, (plus.Z - minus.Z) / span};
}

void ExpectShift(const PointShift& expected, const PointShift& actual, double tolerance) {
    EXPECT_NEAR(expected.X, actual.X, tolerance);
    EXPECT_NEAR(expected.Y, actual.Y, tolerance);
    EXPECT_NEAR(expected.Z, actual.Z, tolerance);
}

struct Case {
    double TMapper::*element;
    compensation::PointGradient gradient;
    double step;   // in the model's unit (metres or degrees)
    double unit;   // one unit of the gradient in the model's unit
    double scale;  // size of the gradient's components (1 for metres, R for radians)
};

}  // namespace

// The step is 1e-6 of the model's unit. The central difference cancels the second-order term;
// the third-order remainder is below 1e-12 of the gradient's scale, and the rounding of
// coordinates near 6 m (1e-15 m) divided by twice the step (2e-6 m or 3.5e-8 rad) stays below
// 3e-8 of the scale. 1e-7 of the scale bounds both.
TEST(PointGradients, MatchTheCalibrationToFirstOrder) {
    using compensation::kDegToRad;
    const double R = 6.0;
    const Case cases[] = {
        {&TMapper::X0, compensation::GradientX0, 1e-6, 1.0, 1.0},
        {&TMapper::Y0, compensation::GradientY0, 1e-6, 1.0, 1.0},
        {&TMapper::D2, compensation::GradientD2, 1e-6, 1.0, 1.0},
        {&TMapper::Ax, compensation::GradientAx, 1e-6, kDegToRad, R},
        {&TMapper::Ay, compensation::GradientAy, 1e-6, kDegToRad, R},
        {&TMapper::El_ElC, compensation::GradientElElC, 1e-6, kDegToRad, R},
        // K_minus passes through kDegToRad * kPolyRadToDeg * kDegToRad, one kDegToRad to
        // within 1e-15.
        {&TMapper::K_minus, compensation::GradientKMinus, 1e-6, kDegToRad, R},
    };
    const double angles[][2] = {{0.3, 0.2}, {-2.5, -0.6}, {1.9, 0.9}, {3.0, -0.1}};
    for (const Case& c : cases) {
        for (const auto& a : angles) {
            SCOPED_TRACE(testing::Message() << "azimuth " << a[0] << " elevation " << a[1]);
            CVector raw = FrontSight(R, a[0], a[1]);
            const PointShift numeric = CentralDifference(raw, c.element, c.step, c.unit);
            CVector zero = raw;
            TMapper none{};
            zero.Calibrate(&none);
            ExpectShift(numeric, c.gradient(zero), 1e-7 * c.scale);
        }
    }
}

// B_minus lowers the elevation by B_minus * El (radians), so the point moves by
// -El * GradientElevation per unit of B_minus.
TEST(PointGradients, ElevationGradientIsTheColumnOfTheElevationPolynomial) {
    const double R = 4.0;
    const double elevation = 0.7;
    CVector raw = FrontSight(R, -1.1, elevation);
    const PointShift numeric = CentralDifference(raw, &TMapper::B_minus, 1e-6, 1.0);
    CVector zero = raw;
    TMapper none{};
    zero.Calibrate(&none);
    const PointShift g = compensation::GradientElevation(zero);
    ExpectShift(numeric, {-elevation * g.X, -elevation * g.Y, -elevation * g.Z}, 1e-7 * R);
}

// Separation and slope of a hand-made pair: A = (1, 2, 2), B = (0, 0, 0) with a gradient that
// moves only A's X by one unit per unit: slope 2 * (1, 2, 2) . (1, 0, 0) = 2.
TEST(PointGradients, SeparationAndSlopeOfAHandMadePair) {
    CVector a;
    a.X = 1.0;
    a.Y = 2.0;
    a.Z = 2.0;
    a.Range = 1.0;
    CVector b;
    b.X = 0.0;
    b.Y = 0.0;
    b.Z = 0.0;
    b.Range = 0.0;
    EXPECT_EQ(compensation::SquaredSeparation(a, b), 9.0);
    const compensation::PointGradient movesFirstInX = [](const CVector& p) {
        return PointShift{p.Range, 0.0, 0.0};
    };
    EXPECT_EQ(compensation::SeparationSlope(a, b, movesFirstInX), 2.0);
}
