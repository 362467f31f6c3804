#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "transform/gauss_newton.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// Placements of the tracker relative to the part, one of them close to the pole of the angles.
const TRANSFORM_PARMS kPlacements[] = {
    {0.3, -0.7, 1.1, 2.5, -1.2, 7.3},
    {-2.9, 1.5, -0.4, -3.0, 0.5, 1.0},
    {1.2, -1.55, 2.8, 0.0, 12.0, -4.0},
};

TEST(TransformCore, RotationMatrixIsTheTransposeOfTheElementaryRotations) {
    CTransform transform;
    for (TRANSFORM_PARMS p : kPlacements) {
        double M[3][3];
        transform.RotationMatrix(&p, M);
        const Mat3 expected = ExpectedRotation(p);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                // Products of three sines and cosines: a few units of rounding.
                EXPECT_NEAR(M[r][c], expected.m[r][c], 1e-15) << r << "," << c;
            }
        }
    }
    TRANSFORM_PARMS pole = {0.4, 3.141592653589793 / 2.0, -0.9, 0.0, 0.0, 0.0};
    double M[3][3];
    transform.RotationMatrix(&pole, M);
    EXPECT_NEAR(M[0][0], 0.0, 1e-16);
    EXPECT_NEAR(M[0][1], 0.0, 1e-16);
    EXPECT_EQ(M[0][2], -1.0);
}

TEST(TransformCore, GetNextVectorMapsThePointAndRecomputesItsReadings) {
    CTransform transform;
    std::vector<CVector> points = {PointAt(1.0, 2.0, 3.0), PointAt(-4.0, 0.5, 9.0)};
    points[1].T = 21.5;
    points[1].Quality = 77.0;
    points[1].Type = 200;
    points[1].FSBS = -1;
    for (TRANSFORM_PARMS p : kPlacements) {
        for (int i = 0; i < 2; ++i) {
            const CVector mapped = *transform.GetNextVector(i, &p, points.data());
            const Point expected = Apply(p, {points[i].X, points[i].Y, points[i].Z});
            EXPECT_NEAR(mapped.X, expected.x, 1e-14);
            EXPECT_NEAR(mapped.Y, expected.y, 1e-14);
            EXPECT_NEAR(mapped.Z, expected.z, 1e-14);
            const double range = std::sqrt(expected.x * expected.x + expected.y * expected.y +
                                           expected.z * expected.z);
            EXPECT_NEAR(mapped.Range, range, 1e-14);
            EXPECT_NEAR(mapped.Azimuth, -std::atan2(expected.x, expected.z), 1e-15);
            EXPECT_NEAR(mapped.Elevation, std::asin(expected.y / range), 1e-14);
            // Everything but the geometry is carried over.
            EXPECT_EQ(mapped.T, points[i].T);
            EXPECT_EQ(mapped.Quality, points[i].Quality);
            EXPECT_EQ(mapped.Type, points[i].Type);
            EXPECT_EQ(mapped.FSBS, points[i].FSBS);
        }
    }
}

TEST(TransformCore, EachMappingFunctionReturnsItsOwnObjectAndOverwritesIt) {
    CTransform first;
    CTransform second;
    std::vector<CVector> points = {PointAt(1.0, 0.0, 5.0), PointAt(0.0, 2.0, 7.0)};
    TRANSFORM_PARMS p = kPlacements[0];
    TMapper map{};
    CVector* a = first.GetNextVector(0, &p, points.data());
    const double firstX = a->X;
    CVector* b = second.GetNextVector(1, &p, points.data());
    EXPECT_EQ(a, b);  // shared by all objects, not per object
    EXPECT_NE(a->X, firstX);
    CVector* c = first.GetNextVectorCal(0, &p, points.data(), &map);
    EXPECT_NE(c, a);
    EXPECT_EQ(first.GetNextVectorCal(1, &p, points.data(), &map), c);
}

TEST(TransformCore, GetNextVectorCalGivesTheReadingThatCalibratesBackToTheMappedPoint) {
    CTransform transform;
    TMapper map = TypicalModel();
    std::vector<CVector> points = {PointAt(3.0, 1.0, 8.0), PointAt(-6.0, -2.0, 4.0)};
    for (TRANSFORM_PARMS p : kPlacements) {
        for (int i = 0; i < 2; ++i) {
            CVector expected = *transform.GetNextVector(i, &p, points.data());
            expected.UnCalibrate(&map);
            const CVector reading = *transform.GetNextVectorCal(i, &p, points.data(), &map);
            EXPECT_EQ(reading.Range, expected.Range);
            EXPECT_EQ(reading.Azimuth, expected.Azimuth);
            EXPECT_EQ(reading.Elevation, expected.Elevation);
            // Calibrating the reading returns to the mapped point to second order in the
            // corrections: (1e-5 rad)^2 times a range of 10 m is about 1e-9 m.
            CVector back = reading;
            back.Calibrate(&map);
            const CVector mapped = *transform.GetNextVector(i, &p, points.data());
            EXPECT_LT(Distance(back, mapped), 1e-8);
            EXPECT_GT(Distance(reading, mapped), 1e-6);  // the model did act
        }
    }
}

TEST(TransformCore, WeightedRmsByHand) {
    CTransform transform;
    std::vector<CVector> a = {PointAt(0, 0, 1), PointAt(0, 0, 2), PointAt(1, 1, 1)};
    std::vector<CVector> b = {PointAt(3, 0, 1), PointAt(0, 0, 2), PointAt(1, 2, 1)};
    // Squared distances 9, 0, 1 with weights 1, 5, 2: (9 + 0 + 2) / 8.
    std::vector<double> w = {1.0, 5.0, 2.0};
    EXPECT_DOUBLE_EQ(transform.RMS_Transform(a.data(), b.data(), w.data(), 3), std::sqrt(11.0 / 8));
    EXPECT_EQ(transform.RMS_Transform(a.data(), a.data(), w.data(), 3), 0.0);
    // A negative weight only distorts: |(9 - 2) / (1 - 2)| under the root.
    std::vector<double> negative = {1.0, 0.0, -2.0};
    EXPECT_DOUBLE_EQ(transform.RMS_Transform(a.data(), b.data(), negative.data(), 3),
                     std::sqrt(7.0));
    EXPECT_TRUE(std::isnan(transform.RMS_Transform(a.data(), b.data(), w.data(), 0)));
    std::vector<double> none = {0.0, 0.0, 0.0};
    EXPECT_FALSE(std::isfinite(transform.RMS_Transform(a.data(), b.data(), none.data(), 3)));
}

// The Jacobian of the refinement against central differences of the mapping itself. With a
// step h = 1e-5 and points within 15 m, the truncation error is about |P| h^2 / 6 = 2.5e-10 and
// the rounding error about |P| 2.2e-16 / h = 3.3e-10; 2e-9 covers both.
TEST(TransformCore, JacobianMatchesCentralDifferencesOfTheMapping) {
    CTransform transform;
    std::vector<CVector> points = {PointAt(4.0, -3.0, 11.0), PointAt(-9.0, 5.0, 2.0),
                                   PointAt(0.5, 0.2, -7.0)};
    double TRANSFORM_PARMS::*const parameters[] = {&TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta,
                                                   &TRANSFORM_PARMS::Gamma, &TRANSFORM_PARMS::X,
                                                   &TRANSFORM_PARMS::Y,     &TRANSFORM_PARMS::Z};
    const double h = 1e-5;
    for (TRANSFORM_PARMS p : kPlacements) {
        double M[3][3];
        transform.RotationMatrix(&p, M);
        for (int i = 0; i < 3; ++i) {
            double J[3][compensation::kTransformParameters];
            compensation::TransformJacobian(p, M, points[i].X, points[i].Y, points[i].Z, J);
            for (int c = 0; c < compensation::kTransformParameters; ++c) {
                TRANSFORM_PARMS plus = p;
                TRANSFORM_PARMS minus = p;
                plus.*parameters[c] += h;
                minus.*parameters[c] -= h;
                const CVector up = *transform.GetNextVector(i, &plus, points.data());
                const CVector down = *transform.GetNextVector(i, &minus, points.data());
                EXPECT_NEAR(J[0][c], (up.X - down.X) / (2 * h), 2e-9)
                    << "point " << i << " col " << c;
                EXPECT_NEAR(J[1][c], (up.Y - down.Y) / (2 * h), 2e-9)
                    << "point " << i << " col " << c;
                EXPECT_NEAR(J[2][c], (up.Z - down.Z) / (2 * h), 2e-9)
                    << "point " << i << " col " << c;
            }
        }
    }
}

}  // namespace
