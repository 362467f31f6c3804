// Interball data that follow the error model exactly: targets fixed in the world, seen from
// several instrument placements, read by an instrument with a chosen model.
#ifndef COMPENSATION_TESTS_FITS_INTERBALL_SCENE_H
#define COMPENSATION_TESTS_FITS_INTERBALL_SCENE_H

#include <cmath>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "support/raw_readings.h"

namespace compensation::testing {

inline constexpr double kSceneDegToRad = 3.14159265358979323846 / 180.0;

// n targets around the instrument: azimuths over the whole circle, elevations from -30 to
// +40 degrees (or all at `fixedElevationDeg`), ranges from 2.5 to 6.5 metres.
inline std::vector<Point3> SceneTargets(int n, const double* fixedElevationDeg = nullptr) {
    std::vector<Point3> targets;
    for (int i = 0; i < n; ++i) {
        const double golden = std::fmod(0.6180339887 * (i + 1), 1.0);
        const double az = 2.0 * 3.14159265358979323846 * i / n + 0.2 * std::sin(3.0 * i);
        const double el =
            (fixedElevationDeg != nullptr ? *fixedElevationDeg : -30.0 + 70.0 * golden) *
            kSceneDegToRad;
        const double r = 2.5 + 4.0 * std::fmod(0.3819660113 * (i + 2), 1.0);
        targets.push_back(
            {-r * std::cos(el) * std::sin(az), r * std::sin(el), r * std::cos(el) * std::cos(az)});
    }
    return targets;
}

// Placements with headings around the circle. With `moving` the instrument also shifts by a few
// decimetres between views, so a target is not seen at one elevation and range in every view.
inline std::vector<InstrumentPose> ScenePoses(int views, bool moving = true) {
    std::vector<InstrumentPose> poses;
    for (int k = 0; k < views; ++k) {
        const double heading = 2.0 * 3.14159265358979323846 * k / views + 0.1;
        const Point3 origin = moving ? Point3{0.4 * std::cos(1.3 * k), 0.15 * std::sin(2.1 * k),
                                              0.4 * std::sin(1.7 * k)}
                                     : Point3{0.0, 0.0, 0.0};
        poses.push_back({origin, heading});
    }
    return poses;
}

struct InterballScene {
    int nCount = 0;
    int nViews = 0;
    std::vector<CVector> readings;  // view-major
    std::vector<int> pairs;         // pair table: 0 used, 1 skipped
    std::vector<Point3> targets;
    std::vector<InstrumentPose> poses;

    // The pair table as the host passes it; an empty table is passed as a null pointer.
    int* PairTable() { return pairs.empty() ? nullptr : pairs.data(); }
};

// Every pair used except those with (i + j) % 7 == 3, which the table skips.
inline InterballScene MakeScene(const TMapper& truth, int nCount, int nViews,
                                const double* fixedElevationDeg = nullptr, bool moving = true) {
    InterballScene scene;
    scene.nCount = nCount;
    scene.nViews = nViews;
    scene.targets = SceneTargets(nCount, fixedElevationDeg);
    scene.poses = ScenePoses(nViews, moving);
    scene.readings = ViewMajorRawReadings(scene.targets, scene.poses, truth);
    for (int i = 0; i < nCount - 1; ++i) {
        for (int j = i + 1; j < nCount; ++j) {
            scene.pairs.push_back((i + j) % 7 == 3 ? 1 : 0);
        }
    }
    return scene;
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_FITS_INTERBALL_SCENE_H
