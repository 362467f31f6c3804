// Shared by the fit tests: true geometries read by an instrument with a chosen model, and
// records that must come back untouched.
#ifndef COMPENSATION_TESTS_FITS_FIT_SCENES_H
#define COMPENSATION_TESTS_FITS_FIT_SCENES_H

#include <cmath>
#include <cstring>
#include <vector>

#include "compensation/compensation.h"
#include "support/raw_readings.h"

namespace fit_scenes {

using compensation::testing::InstrumentPose;
using compensation::testing::Point3;

inline TMapper BackgroundModel() {
    TMapper map{};
    map.A1 = 0.002;
    map.A2 = -0.0015;
    map.D1 = 3.0e-6;
    map.El_ElS = 0.001;
    map.Az_AzC = 0.0005;
    return map;
}

// Placements turned about the vertical in equal steps from `yaw0`, their origins wandering by
// up to `height` vertically and 0.05 m horizontally around `centre`.
inline std::vector<InstrumentPose> Placements(int views, double yaw0, const Point3& centre,
                                              double height) {
    std::vector<InstrumentPose> poses;
    for (int k = 0; k < views; ++k) {
        poses.push_back(compensation::testing::PoseFromYaw(
            yaw0 + 6.283185307179586 * k / views,
            {centre.x + 0.05 * std::sin(1.0 * k), centre.y + height * std::sin(2.0 * k + 0.3),
             centre.z + 0.05 * std::cos(1.0 * k)}));
    }
    return poses;
}

// Raw front sights (Quality 99) of `targets` from each pose, pose after pose.
inline std::vector<CVector> Read(const std::vector<Point3>& targets,
                                 const std::vector<InstrumentPose>& poses, const TMapper& truth) {
    std::vector<CVector> readings;
    for (const InstrumentPose& pose : poses) {
        for (const Point3& t : targets) {
            readings.push_back(compensation::testing::RawReadingFor(
                compensation::testing::TrueReading(t, pose, 100, 99.0), truth));
        }
    }
    return readings;
}

// The pair (a, b) from `views` placements (pair k = readings 2k, 2k + 1); with `extra` the
// second point lies that much farther along the pair's line.
inline std::vector<CVector> SameTargetsFromViews(int views, const Point3& a, const Point3& b,
                                                 const TMapper& truth, double yaw0,
                                                 const Point3& centre, double extra = 0.0) {
    const double f = 1.0 + extra / std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                             (b.z - a.z) * (b.z - a.z));
    const Point3 far = {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
    return Read({a, far}, Placements(views, yaw0, centre, 0.2), truth);
}

// A result record filled with a pattern that no fit writes.
inline TCompOut Sentinel() {
    TCompOut out;
    std::memset(&out, 0x5a, sizeof out);
    return out;
}

inline bool Untouched(const TCompOut& out) {
    const TCompOut sentinel = Sentinel();
    return std::memcmp(&out, &sentinel, sizeof out) == 0;
}

inline bool SameBits(const TMapper& x, const TMapper& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace fit_scenes

#endif  // COMPENSATION_TESTS_FITS_FIT_SCENES_H
