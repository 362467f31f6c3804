// Exact readings of chosen geometries, and record checks, for the fit tests (which take the
// library's and the standard headers they use from here).
#ifndef COMPENSATION_TESTS_FITS_FIT_SCENES_H
#define COMPENSATION_TESTS_FITS_FIT_SCENES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "compensation/compensation.h"
#include "support/raw_readings.h"
#include "support/test_constants.h"

namespace fit_scenes {

using compensation::testing::InstrumentPose;
using compensation::testing::kPi;
using compensation::testing::Point3;

// The fits' limits, written out so that a changed limit shows here: the change that settles an
// angle (kAngleToleranceDeg, degrees; kAngleToleranceRad, radians) or a length
// (kLengthTolerance, metres), and the spread of distances that rejects (kRejectSpread, metres).
inline constexpr double kAngle = 7.494287960311168e-06;
inline constexpr double kAngleRad = 1.308e-07;
inline constexpr double kLength = 5.08e-07;
inline constexpr double kRejectSpread = 1.27e-05;
inline constexpr double kRadToDeg = 57.29577951308232;

inline TMapper BackgroundModel() {
    TMapper map{};
    map.A1 = 0.002;
    map.A2 = -0.0015;
    map.D1 = 3.0e-6;
    map.El_ElS = 0.001;
    map.Az_AzC = 0.0005;
    return map;
}

// Placements turned in equal steps, wandering by `height` and `wander` around `centre`.
inline std::vector<InstrumentPose> Placements(int views, double yaw0, const Point3& centre,
                                              double height, double wander = 0.05) {
    std::vector<InstrumentPose> poses;
    for (int k = 0; k < views; ++k) {
        poses.push_back(compensation::testing::PoseFromYaw(
            yaw0 + 6.283185307179586 * k / views,
            {centre.x + wander * std::sin(1.0 * k), centre.y + height * std::sin(2.0 * k + 0.3),
             centre.z + wander * std::cos(1.0 * k)}));
    }
    return poses;
}

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

// The pair (a, b) from each placement, b moved `extra` farther along the line.
inline std::vector<CVector> SameTargetsFromViews(int views, const Point3& a, const Point3& b,
                                                 const TMapper& truth, double yaw0,
                                                 const Point3& centre, double extra = 0.0) {
    const double f = 1.0 + extra / std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                             (b.z - a.z) * (b.z - a.z));
    const Point3 far = {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
    return Read({a, far}, Placements(views, yaw0, centre, 0.2), truth);
}

inline TCompOut Sentinel() {
    TCompOut out;
    std::memset(&out, 0x5a, sizeof out);
    return out;
}

inline bool Untouched(const TCompOut& out) {
    const TCompOut sentinel = Sentinel();
    return std::memcmp(&out, &sentinel, sizeof out) == 0;
}

// Readings marked rejected (Quality 50.0) among [from, to).
inline int Marked(const std::vector<CVector>& v, int from = 0, int to = -1) {
    return static_cast<int>(std::count_if(v.begin() + from, to < 0 ? v.end() : v.begin() + to,
                                          [](const CVector& r) { return r.Quality == 50.0; }));
}

inline bool SameBits(const TMapper& x, const TMapper& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace fit_scenes

#endif  // COMPENSATION_TESTS_FITS_FIT_SCENES_H
