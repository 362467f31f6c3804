// Placements and exact readings for the transform tests, mapped independently of the library:
// P goes to (Rz(Gamma) Ry(Beta) Rx(Alpha))^T P + t = Rx(-Alpha) Ry(-Beta) Rz(-Gamma) P + t.
#ifndef COMPENSATION_TESTS_TRANSFORM_FIXTURES_H
#define COMPENSATION_TESTS_TRANSFORM_FIXTURES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "support/raw_readings.h"

namespace transform_test {

using Point = compensation::testing::Point3;

// Every angle non-zero, two with Beta near the pole, all within the closed form's ranges.
inline const TRANSFORM_PARMS kTruths[] = {{0.3, -0.7, 1.1, 2.5, -1.2, 7.3},
                                          {-0.8, 1.52, 2.2, -1.0, 0.4, 9.0},
                                          {2.6, -1.47, -3.0, 4.0, 1.5, -6.0}};

// p turned right-handedly by angle about axis 0 (X), 1 (Y) or 2 (Z).
inline Point Turn(int axis, double angle, Point p) {
    double* c[3] = {&p.x, &p.y, &p.z};
    const double a = *c[(axis + 1) % 3];
    const double b = *c[(axis + 2) % 3];
    *c[(axis + 1) % 3] = std::cos(angle) * a - std::sin(angle) * b;
    *c[(axis + 2) % 3] = std::sin(angle) * a + std::cos(angle) * b;
    return p;
}

inline Point Apply(const TRANSFORM_PARMS& p, const Point& a) {
    const Point r = Turn(0, -p.Alpha, Turn(1, -p.Beta, Turn(2, -p.Gamma, a)));
    return {r.x + p.X, r.y + p.Y, r.z + p.Z};
}

// The nominal point that p carries to b.
inline Point Unapply(const TRANSFORM_PARMS& p, const Point& b) {
    return Turn(2, p.Gamma, Turn(1, p.Beta, Turn(0, p.Alpha, {b.x - p.X, b.y - p.Y, b.z - p.Z})));
}

// A point by its Cartesian coordinates, with readings (radians) that agree with them.
inline CVector PointAt(const Point& p, int type = 100) {
    return compensation::testing::TrueReading(p, {{0, 0, 0}, 0.0}, type);
}

inline std::vector<CVector> Points(const std::vector<Point>& points) {
    std::vector<CVector> out(points.size());
    std::transform(points.begin(), points.end(), out.begin(), [](auto& p) { return PointAt(p); });
    return out;
}

// An error model of a typical size: a few arc seconds and a few tens of micrometres.
inline TMapper TypicalModel() {
    TMapper map{};
    map.Ax = 0.0011;
    map.X0 = 2.0e-05;
    map.D2 = -2.5e-05;
    map.El_ElS = 0.0007;
    return map;
}

// Raw readings through map that calibrate to the points placed by truth, plus noise sigma.
inline std::vector<CVector> Measure(const std::vector<Point>& points, const TRANSFORM_PARMS& truth,
                                    const TMapper& map, double sigma = 0.0) {
    std::mt19937 generator(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<CVector> readings;
    for (const Point& a : points) {
        const Point p = Apply(truth, a);
        const Point placed = {p.x + sigma * noise(generator), p.y + sigma * noise(generator),
                              p.z + sigma * noise(generator)};
        readings.push_back(compensation::testing::RawReadingFor(PointAt(placed), map));
    }
    return readings;
}

// The three angles (rad), then the translation (m).
inline constexpr double TRANSFORM_PARMS::*kParameterMembers[] = {
    &TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta, &TRANSFORM_PARMS::Gamma,
    &TRANSFORM_PARMS::X,     &TRANSFORM_PARMS::Y,    &TRANSFORM_PARMS::Z};
inline bool IsAngle(double TRANSFORM_PARMS::*member) {
    return member == &TRANSFORM_PARMS::Alpha || member == &TRANSFORM_PARMS::Beta ||
           member == &TRANSFORM_PARMS::Gamma;
}

// The largest difference of two transforms, angles times a lever arm (m per rad); NaN if any.
inline double Gap(const TRANSFORM_PARMS& a, const TRANSFORM_PARMS& b, double lever = 1.0) {
    double gap = 0.0;
    for (double TRANSFORM_PARMS::*member : kParameterMembers) {
        const double d = std::fabs(a.*member - b.*member) * (IsAngle(member) ? lever : 1.0);
        gap = d > gap || std::isnan(d) ? d : gap;
    }
    return gap;
}

// A result record whose pair and spread fields show whether they are written.
inline TCompOut Sentinel() {
    TCompOut out{};
    out.m_n1_d2 = out.m_n2_d2 = out.m_n1_x0y0 = out.m_n2_x0y0 = -7;
    out.m_n1_axay = out.m_n2_axay = out.m_n1_extra = out.m_n2_extra = -7;
    out.m_dStdOutside = out.m_dStdExtraOutside = -7.0;
    return out;
}

}  // namespace transform_test

#endif  // COMPENSATION_TESTS_TRANSFORM_FIXTURES_H
