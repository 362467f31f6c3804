// What an instrument with a given error model reports for chosen targets and poses.
#ifndef COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H
#define COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "support/test_constants.h"

namespace compensation::testing {

struct Point3 {
    double x, y, z;
};

// Where an instrument stands; the heading (radians) turns it about the vertical (Y) axis.
struct InstrumentPose {
    Point3 origin;
    double heading;
};

// A pose from which a point at world azimuth Az is seen at Az + yaw.
inline InstrumentPose PoseFromYaw(double yaw, const Point3& origin) {
    return {origin, -yaw};
}

// The true reading (radians, the library's axes) of a world point; Type 200 in the other face.
inline CVector TrueReading(const Point3& world, const InstrumentPose& pose, int type,
                           double quality = 100.0) {
    const double wx = world.x - pose.origin.x, wy = world.y - pose.origin.y;
    const double wz = world.z - pose.origin.z;
    const double c = std::cos(pose.heading), s = std::sin(pose.heading);
    CVector v;
    v.X = wx * c + wz * s, v.Y = wy, v.Z = wz * c - wx * s;
    v.Range = std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
    v.Azimuth = -std::atan2(v.X, v.Z);
    v.Elevation = std::atan2(v.Y, std::sqrt(v.X * v.X + v.Z * v.Z));
    v.Radian = true, v.Type = type, v.Quality = quality, v.T = 0.0;
    if (type == 200) {
        v.Flip();
    }
    v.SeType();
    v.Sphr2Cart();
    return v;
}

// The raw reading that `model` calibrates to `truth` (Type, T, Quality kept), by the fixed point
// raw <- raw + (truth - Calibrate(raw)): some five digits a step, to kInversionTolerance.
inline CVector RawReadingFor(const CVector& truth, const TMapper& model) {
    TMapper map = model;
    CVector raw = truth, bestRaw = truth;
    raw.Radian = bestRaw.Radian = true;
    double best = HUGE_VAL;
    for (int step = 0; step < 30 && best > 0.0; ++step) {
        CVector calibrated = raw;
        calibrated.Calibrate(&map);
        const double dR = truth.Range - calibrated.Range, dAz = truth.Azimuth - calibrated.Azimuth;
        const double dEl = truth.Elevation - calibrated.Elevation;
        const double residual = std::max({std::fabs(dR), std::fabs(dAz), std::fabs(dEl)});
        if (residual < best) {
            best = residual;
            bestRaw = raw;
        }
        raw.Range += dR, raw.Azimuth += dAz, raw.Elevation += dEl;
    }
    EXPECT_LE(best, kInversionTolerance) << "Calibrate does not reproduce the truth";
    bestRaw.Sphr2Cart();
    return bestRaw;
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SUPPORT_RAW_READINGS_H
