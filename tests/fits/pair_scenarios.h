// True geometries for the pair fits: the same two targets seen from many instrument placements.
#ifndef COMPENSATION_TESTS_FITS_PAIR_SCENARIOS_H
#define COMPENSATION_TESTS_FITS_PAIR_SCENARIOS_H

#include <cmath>
#include <vector>

#include "compensation/compensation.h"
#include "support/raw_readings.h"

namespace pairscenarios {

using compensation::testing::InstrumentPose;
using compensation::testing::Point3;

inline constexpr double kTwoPi = 6.283185307179586;

// An error model with elements that none of the pair fits estimates, so that every fit has to
// recover its own elements with the others in place.
inline TMapper BackgroundModel() {
    TMapper map{};
    map.A1 = 0.002;
    map.A2 = -0.0015;
    map.D1 = 3.0e-6;
    map.El_ElS = 0.001;
    map.Az_AzC = 0.0005;
    return map;
}

// Placement k of `views`: turned about the vertical in equal steps from `yaw0`, its origin
// wandering by up to `height` vertically and 0.05 m horizontally around `centre`.
inline InstrumentPose ViewPlacement(int k, int views, double yaw0, const Point3& centre,
                                    double height) {
    return compensation::testing::PoseFromYaw(
        yaw0 + kTwoPi * k / views,
        {centre.x + 0.05 * std::sin(1.0 * k), centre.y + height * std::sin(2.0 * k + 0.3),
         centre.z + 0.05 * std::cos(1.0 * k)});
}

// Raw readings of the pair (a, b) from `views` placements, pair k = elements 2k, 2k + 1.
inline std::vector<CVector> SameTargetsFromViews(int views, const Point3& a, const Point3& b,
                                                 TMapper* truth, double yaw0 = 0.1,
                                                 const Point3& centre = {0.0, 0.0, 0.0},
                                                 double height = 0.3) {
    std::vector<CVector> pairs;
    for (int k = 0; k < views; ++k) {
        compensation::testing::AppendRawPair(pairs, ViewPlacement(k, views, yaw0, centre, height),
                                             a, b, *truth);
    }
    return pairs;
}

// The same pair with its second point moved by `extra` metres along the pair's line, so that its
// separation is that much too long.
inline Point3 Lengthened(const Point3& a, const Point3& b, double extra) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double dz = b.z - a.z;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double f = extra / length;
    return {b.x + f * dx, b.y + f * dy, b.z + f * dz};
}

}  // namespace pairscenarios

#endif  // COMPENSATION_TESTS_FITS_PAIR_SCENARIOS_H
