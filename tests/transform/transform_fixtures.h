// Known transforms, known error models and exact readings for the transform tests.
//
// The expected mapping is built here from the textbook elementary rotations, independently of
// CTransform::RotationMatrix: M = (Rz(Gamma) Ry(Beta) Rx(Alpha))^T.
#ifndef COMPENSATION_TESTS_TRANSFORM_FIXTURES_H
#define COMPENSATION_TESTS_TRANSFORM_FIXTURES_H

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "support/raw_readings.h"

namespace transform_test {

struct Mat3 {
    double m[3][3];
};

inline Mat3 Multiply(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                r.m[i][j] += a.m[i][k] * b.m[k][j];
            }
        }
    }
    return r;
}

inline Mat3 Transposed(const Mat3& a) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i][j] = a.m[j][i];
        }
    }
    return r;
}

inline Mat3 Rx(double a) {
    return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}};
}
inline Mat3 Ry(double b) {
    return {{{std::cos(b), 0, std::sin(b)}, {0, 1, 0}, {-std::sin(b), 0, std::cos(b)}}};
}
inline Mat3 Rz(double g) {
    return {{{std::cos(g), -std::sin(g), 0}, {std::sin(g), std::cos(g), 0}, {0, 0, 1}}};
}

// The rotation of a transform, from the elementary rotations.
inline Mat3 ExpectedRotation(const TRANSFORM_PARMS& p) {
    return Transposed(Multiply(Rz(p.Gamma), Multiply(Ry(p.Beta), Rx(p.Alpha))));
}

struct Point {
    double x;
    double y;
    double z;
};

inline Point Apply(const TRANSFORM_PARMS& p, const Point& a) {
    const Mat3 M = ExpectedRotation(p);
    return {M.m[0][0] * a.x + M.m[0][1] * a.y + M.m[0][2] * a.z + p.X,
            M.m[1][0] * a.x + M.m[1][1] * a.y + M.m[1][2] * a.z + p.Y,
            M.m[2][0] * a.x + M.m[2][1] * a.y + M.m[2][2] * a.z + p.Z};
}

// A point given by its Cartesian coordinates, with readings that agree with them.
inline CVector PointAt(double x, double y, double z, int type = 100) {
    CVector v;
    v.X = x;
    v.Y = y;
    v.Z = z;
    v.Cart2Sphr();
    v.Radian = true;
    v.Quality = 100.0;
    v.Type = type;
    v.FSBS = 1;
    return v;
}

inline CVector PointAt(const Point& p, int type = 100) {
    return PointAt(p.x, p.y, p.z, type);
}

inline std::vector<CVector> Points(const std::vector<Point>& points, int type = 100) {
    std::vector<CVector> out;
    for (const Point& p : points) {
        out.push_back(PointAt(p, type));
    }
    return out;
}

// An error model of a typical size: a few arc seconds and a few tens of micrometres.
inline TMapper TypicalModel() {
    TMapper map{};
    map.A1 = 0.0006;
    map.A2 = -0.0004;
    map.A3 = 0.0009;
    map.Ax = 0.0011;
    map.Ay = -0.0008;
    map.X0 = 2.0e-05;
    map.Y0 = -1.5e-05;
    map.D1 = 1.2e-05;
    map.D2 = -2.5e-05;
    map.Az_AzC = 0.0003;
    map.El_2AzS = 0.0002;
    map.El_ElS = 0.0007;
    map.K_minus = 0.0005;
    map.B_plus = 2.0e-06;
    return map;
}

// The raw reading (of the given Type) whose calibration with map gives the point target.
inline CVector ExactReading(const CVector& target, TMapper* map, int type = 100) {
    CVector truth = target;
    truth.Type = type;
    truth.SeType();
    return compensation::testing::RawReadingFor(truth, *map);
}

inline double Distance(const CVector& a, const CVector& b) {
    return std::sqrt((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y) +
                     (a.Z - b.Z) * (a.Z - b.Z));
}

inline double AngleError(const TRANSFORM_PARMS& a, const TRANSFORM_PARMS& b) {
    return std::fmax(std::fabs(a.Alpha - b.Alpha),
                     std::fmax(std::fabs(a.Beta - b.Beta), std::fabs(a.Gamma - b.Gamma)));
}

inline double TranslationError(const TRANSFORM_PARMS& a, const TRANSFORM_PARMS& b) {
    return std::fmax(std::fabs(a.X - b.X), std::fmax(std::fabs(a.Y - b.Y), std::fabs(a.Z - b.Z)));
}

// The raw readings of the points placed by truth, as an instrument with the error model map
// reports them; their calibration gives the placed points back, plus Gaussian noise of sigma
// per coordinate when sigma is positive.
inline std::vector<CVector> Measure(const std::vector<Point>& points, const TRANSFORM_PARMS& truth,
                                    TMapper* map, double sigma = 0.0, unsigned seed = 0) {
    std::mt19937 generator(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<CVector> readings;
    for (const Point& a : points) {
        Point placed = Apply(truth, a);
        if (sigma > 0.0) {
            placed.x += noise(generator);
            placed.y += noise(generator);
            placed.z += noise(generator);
        }
        readings.push_back(ExactReading(PointAt(placed), map));
    }
    return readings;
}

inline void ExpectSameParameters(const TRANSFORM_PARMS& a, const TRANSFORM_PARMS& b) {
    EXPECT_EQ(a.Alpha, b.Alpha);
    EXPECT_EQ(a.Beta, b.Beta);
    EXPECT_EQ(a.Gamma, b.Gamma);
    EXPECT_EQ(a.X, b.X);
    EXPECT_EQ(a.Y, b.Y);
    EXPECT_EQ(a.Z, b.Z);
}

}  // namespace transform_test

#endif  // COMPENSATION_TESTS_TRANSFORM_FIXTURES_H
