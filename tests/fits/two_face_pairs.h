// Front-sight/back-sight pairs whose calibrated face differences follow a chosen model exactly.
//
// A two-face fit calibrates each pair twice before it solves: the range pass (with its range
// elements at zero) and the data pass (with its range elements solved and its angular elements
// at zero). The back sight of every pair is solved so that, under those two models, the range
// difference of the range pass and the angle differences of the data pass are the chosen
// functions of the calibrated front sight. The calibration's corrections are tiny next to the
// readings (1e-4 at most), so a fixed-point iteration on the back sight's raw reading converges
// to rounding in a few steps.
#ifndef COMPENSATION_TESTS_FITS_TWO_FACE_PAIRS_H
#define COMPENSATION_TESTS_FITS_TWO_FACE_PAIRS_H

#include <cmath>
#include <functional>
#include <vector>

#include "compensation/compensation.h"

namespace two_face_test {

// The factors as the fits document them.
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kHalfRadToDeg = 28.64788975654116;
constexpr double kQuarterPi = 0.78539816339745;
constexpr double kPi = 3.141592653589793;

struct AngleDifferences {
    double dAz;
    double dEl;
};

// R_f - R_b wanted in the range pass, from the front sight calibrated for that pass.
using RangeModel = std::function<double(const CVector& front)>;
// Az_f - Az_b and El_f - El_b wanted in the data pass, from the front sight calibrated for it.
using AngleModel = std::function<AngleDifferences(const CVector& front)>;

inline double HalfAngle(const CVector& front) {
    return kQuarterPi - 0.5 * front.Elevation;
}

inline CVector Reading(int type, double range, double azimuth, double elevation) {
    CVector v;
    v.Quality = 100.0;
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.T = 0.0;
    v.Type = type;
    v.FSBS = type == 200 ? -1 : 1;
    v.Radian = true;
    v.Sphr2Cart();
    return v;
}

inline CVector Calibrated(CVector v, TMapper map) {
    v.Calibrate(&map);
    return v;
}

inline CVector SolveBackSight(const CVector& front, const TMapper& rangeMap, const TMapper& dataMap,
                              const RangeModel& rangeModel, const AngleModel& angleModel) {
    CVector back = Reading(200, front.Range, front.Azimuth, front.Elevation);
    for (int iteration = 0; iteration < 12; ++iteration) {
        const CVector rangeFront = Calibrated(front, rangeMap);
        const CVector rangeBack = Calibrated(back, rangeMap);
        back.Range += (rangeFront.Range - rangeModel(rangeFront)) - rangeBack.Range;

        const CVector dataFront = Calibrated(front, dataMap);
        const CVector dataBack = Calibrated(back, dataMap);
        const AngleDifferences wanted = angleModel(dataFront);
        back.Azimuth += (dataFront.Azimuth - wanted.dAz) - dataBack.Azimuth;
        back.Elevation += (dataFront.Elevation - wanted.dEl) - dataBack.Elevation;
    }
    back.Sphr2Cart();
    return back;
}

// Raw front sights spread over the whole azimuth circle, elevations from elevationLow to
// elevationHigh (radians) and ranges from 2 to 10 m, by low-discrepancy sequences.
inline std::vector<CVector> FrontSights(int count, double elevationLow = -0.5,
                                        double elevationHigh = 0.8) {
    std::vector<CVector> fronts;
    for (int i = 0; i < count; ++i) {
        const double u = std::fmod(0.1 + i * 0.6180339887498949, 1.0);
        const double v = std::fmod(0.3 + i * 0.7548776662466927, 1.0);
        const double w = std::fmod(0.7 + i * 0.5698402909980532, 1.0);
        fronts.push_back(Reading(100, 2.0 + 8.0 * w, -kPi + 2.0 * kPi * u,
                                 elevationLow + (elevationHigh - elevationLow) * v));
    }
    return fronts;
}

// Front sights at one range and one elevation, spread in azimuth.
inline std::vector<CVector> OneElevationFronts(int count, double elevation, double range) {
    std::vector<CVector> fronts = FrontSights(count, elevation, elevation);
    for (CVector& front : fronts) {
        front = Reading(100, range, front.Azimuth, elevation);
    }
    return fronts;
}

struct PairSet {
    std::vector<CVector> front;
    std::vector<CVector> back;
    int count() const { return static_cast<int>(front.size()); }
};

inline PairSet BuildPairs(const std::vector<CVector>& fronts, const TMapper& rangeMap,
                          const TMapper& dataMap, const RangeModel& rangeModel,
                          const AngleModel& angleModel) {
    PairSet pairs;
    for (const CVector& front : fronts) {
        pairs.front.push_back(front);
        pairs.back.push_back(SolveBackSight(front, rangeMap, dataMap, rangeModel, angleModel));
    }
    return pairs;
}

// Relative agreement, with an absolute floor for values that should be zero.
inline bool Near(double actual, double expected, double relative, double floor = 1e-15) {
    return std::fabs(actual - expected) <= relative * std::fabs(expected) + floor;
}

}  // namespace two_face_test

#endif  // COMPENSATION_TESTS_FITS_TWO_FACE_PAIRS_H
