// Raw instrument readings of chosen true points under a chosen error model.
//
// A test picks the true geometry (world points and instrument placements) and the error model,
// and gets the raw readings an instrument with that model would give: the readings whose
// calibration reproduces the true range and angles. The calibration is inverted numerically by
// fixed-point iteration, raw <- raw + (truth - Calibrate(raw)), which converges because the
// corrections are small and smooth; it stops once Calibrate reproduces the truth to 1e-12
// (metres and radians).
#ifndef COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H
#define COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"

namespace testsupport {

inline constexpr double kInversionTolerance = 1e-12;
inline constexpr int kInversionIterations = 200;

struct Point {
    double x;
    double y;  // vertical
    double z;
};

// Where the instrument stands and where it looks: its origin in world coordinates and its turn
// about the vertical (radians): a point at world azimuth Az is seen at Az + yaw.
struct Placement {
    double yaw;
    Point origin;
};

// The true front-sight measurement of a world point from a placement: Cartesian coordinates in
// the instrument frame and the matching range and angles (radians).
inline CVector TrueFrontSight(const Placement& placement, const Point& world,
                              double quality = 99.0) {
    const double dx = world.x - placement.origin.x;
    const double dy = world.y - placement.origin.y;
    const double dz = world.z - placement.origin.z;
    const double c = std::cos(placement.yaw);
    const double s = std::sin(placement.yaw);
    CVector v;
    v.Quality = quality;
    v.X = c * dx - s * dz;
    v.Y = dy;
    v.Z = s * dx + c * dz;
    v.T = 0.0;
    v.Type = 100;
    v.FSBS = 1;
    v.Cart2Sphr();
    v.SetRadian(true);
    return v;
}

// The raw reading whose calibration with `map` gives `truth`'s range and angles.
inline CVector RawReading(const CVector& truth, TMapper* map) {
    CVector raw = truth;
    double miss = 1.0;
    for (int i = 0; i < kInversionIterations && miss > kInversionTolerance; ++i) {
        CVector calibrated = raw;
        calibrated.Calibrate(map);
        const double dR = truth.Range - calibrated.Range;
        const double dAz = truth.Azimuth - calibrated.Azimuth;
        const double dEl = truth.Elevation - calibrated.Elevation;
        miss = std::max({std::fabs(dR), std::fabs(dAz), std::fabs(dEl)});
        raw.Range += dR;
        raw.Azimuth += dAz;
        raw.Elevation += dEl;
    }
    if (miss > kInversionTolerance) {
        ADD_FAILURE() << "the calibration did not invert: miss " << miss;
    }
    raw.Sphr2Cart();
    return raw;
}

// Appends the raw readings of a pair of world points seen from one placement.
inline void AppendRawPair(std::vector<CVector>& pairs, const Placement& placement,
                          const Point& first, const Point& second, TMapper* map,
                          double quality = 99.0) {
    pairs.push_back(RawReading(TrueFrontSight(placement, first, quality), map));
    pairs.push_back(RawReading(TrueFrontSight(placement, second, quality), map));
}

}  // namespace testsupport

#endif  // COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H
