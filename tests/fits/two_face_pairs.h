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

#include <gtest/gtest.h>

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

// --- Models as lists of terms ---------------------------------------------------------------

// One model term: its element, its chosen value in the stored unit, the documented factor from
// the solved value to the stored unit, and its column as a function of the calibrated front
// sight's half-angle h and azimuth.
struct Term {
    double TMapper::*element;
    double value;
    double factor;
    double (*column)(double h, double az);
};
using Terms = std::vector<Term>;

inline double ModelSum(const Terms& terms, const CVector& front) {
    double sum = 0.0;
    for (const Term& term : terms) {
        sum += term.value / term.factor * term.column(HalfAngle(front), front.Azimuth);
    }
    return sum;
}

// Range terms model R_b - R_f.
inline RangeModel BackMinusFront(const Terms& rangeTerms) {
    return [rangeTerms](const CVector& front) { return -ModelSum(rangeTerms, front); };
}

// Angular terms model half of each face difference.
inline AngleModel HalfDifferences(const Terms& azimuthTerms, const Terms& elevationTerms) {
    return [azimuthTerms, elevationTerms](const CVector& front) {
        return AngleDifferences{2.0 * ModelSum(azimuthTerms, front),
                                2.0 * ModelSum(elevationTerms, front)};
    };
}

inline TMapper With(TMapper map, const Terms& terms) {
    for (const Term& term : terms) {
        map.*term.element = term.value;
    }
    return map;
}

inline Terms Join(Terms a, const Terms& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Columns of the full fits, written from the model: t = tan h, u = -1 / cos h,
// g = 2 sin h - 1, s_k = sin k Az, c_k = cos k Az.
namespace column {
inline double TwoSinTwoH(double h, double) {
    return 2.0 * std::sin(2.0 * h);
}
inline double TwoGS1(double h, double az) {
    return 2.0 * (2.0 * std::sin(h) - 1.0) * std::sin(az);
}
inline double TwoGC1(double h, double az) {
    return 2.0 * (2.0 * std::sin(h) - 1.0) * std::cos(az);
}
inline double One(double, double) {
    return 1.0;
}
inline double SinH(double h, double) {
    return std::sin(h);
}
template <int k>
double S(double, double az) {
    return std::sin(k * az);
}
template <int k>
double C(double, double az) {
    return std::cos(k * az);
}
template <int k>
double TS(double h, double az) {
    return std::tan(h) * (k == 0 ? 1.0 : std::sin(k * az));
}
template <int k>
double TC(double h, double az) {
    return std::tan(h) * std::cos(k * az);
}
template <int k>
double US(double h, double az) {
    return -1.0 / std::cos(h) * (k == 0 ? 1.0 : std::sin(k * az));
}
template <int k>
double UC(double h, double az) {
    return -1.0 / std::cos(h) * std::cos(k * az);
}
}  // namespace column

inline Terms FullRangeTerms() {
    return {{&TMapper::D1, 2.0e-5, 1.0, column::TwoSinTwoH},
            {&TMapper::D2_AzS, 8.0e-6, 1.0, column::TwoGS1},
            {&TMapper::D2_AzC, -6.0e-6, 1.0, column::TwoGC1}};
}

// The A1 and A3 series to the fourth harmonic.
inline Terms SeriesTerms() {
    return {{&TMapper::A1, 0.0021, kRadToDeg, column::TS<0>},
            {&TMapper::A1_2AzS, 0.0003, kRadToDeg, column::TS<2>},
            {&TMapper::A1_2AzC, -0.0002, kRadToDeg, column::TC<2>},
            {&TMapper::A1_4AzS, 0.00015, kRadToDeg, column::TS<4>},
            {&TMapper::A1_4AzC, -0.0001, kRadToDeg, column::TC<4>},
            {&TMapper::A3, -0.0014, kRadToDeg, column::US<0>},
            {&TMapper::A3_2AzS, 0.00025, kRadToDeg, column::US<2>},
            {&TMapper::A3_2AzC, -0.00018, kRadToDeg, column::UC<2>},
            {&TMapper::A3_4AzS, 0.00012, kRadToDeg, column::US<4>},
            {&TMapper::A3_4AzC, -0.00009, kRadToDeg, column::UC<4>}};
}

inline Terms OddAzTerms() {
    return {{&TMapper::Az_AzS, 0.0008, kRadToDeg, column::S<1>},
            {&TMapper::Az_AzC, -0.0005, kRadToDeg, column::C<1>},
            {&TMapper::Az_3AzS, 0.0002, kRadToDeg, column::S<3>},
            {&TMapper::Az_3AzC, -0.00015, kRadToDeg, column::C<3>}};
}

inline Terms FullElevationTerms() {
    return {{&TMapper::A2, 0.0012, kHalfRadToDeg, column::One},
            {&TMapper::El_2AzS, 0.0004, kRadToDeg, column::S<2>},
            {&TMapper::El_2AzC, -0.0003, kRadToDeg, column::C<2>},
            {&TMapper::El_ElS, 0.0007, kRadToDeg, column::SinH},
            {&TMapper::El_4AzS, 0.00011, kRadToDeg, column::S<4>},
            {&TMapper::El_4AzC, -0.00013, kRadToDeg, column::C<4>}};
}

// Relative agreement, with an absolute floor for values that should be zero.
inline bool Near(double actual, double expected, double relative, double floor = 1e-15) {
    return std::fabs(actual - expected) <= relative * std::fabs(expected) + floor;
}

inline ::testing::AssertionResult HoldsTerms(const TMapper& map, const Terms& terms,
                                             double relative) {
    for (const Term& term : terms) {
        if (!Near(map.*term.element, term.value, relative)) {
            return ::testing::AssertionFailure()
                   << "element holds " << map.*term.element << ", chosen " << term.value;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace two_face_test

#endif  // COMPENSATION_TESTS_FITS_TWO_FACE_PAIRS_H
