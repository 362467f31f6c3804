// The instrument's numerical constants, each named once.
//
// They are used exactly as written: several differ in their last digits from the exact value
// (kDegToRad from pi/180, kPolyRadToDeg from kRadToDeg), and stored models and host results
// depend on those digits.
#ifndef COMPENSATION_ENGINE_CONSTANTS_H
#define COMPENSATION_ENGINE_CONSTANTS_H

namespace compensation {

// --- Angles ------------------------------------------------------------------------------
inline constexpr double kDegToRad = 0.01745329251994;
inline constexpr double kRadToDeg = 57.29577951308232;
// Turns the elevation polynomials' radians into degrees; the reciprocal of kDegToRad.
inline constexpr double kPolyRadToDeg = 57.295779513093144;
// Half of kRadToDeg: the A2 factor (half an elevation difference) and the mean of two
// elevations in degrees.
inline constexpr double kHalfRadToDeg = 28.64788975654116;
// A quarter of kRadToDeg: the FBB fit's A2 factor and the Ax/Ay fit's precision factor.
inline constexpr double kQuarterRadToDeg = 14.32394487827058;
inline constexpr double kPi = 3.141592653589793;
// pi/4 as the half-angle term q = pi/4 - El/2 of the model uses it.
inline constexpr double kQuarterPi = 0.78539816339745;
// The interball pair table's seam and full turn.
inline constexpr double kPiSeam = 3.1415926535892;
inline constexpr double kTwoPiSeam = 6.2831853071784;
// Round angles (radians) as the instrument has always written them, a little off the exact
// value in the last digits kept.
inline constexpr double kTenDegrees = 0.17455;
inline constexpr double kTwentyDegrees = 0.3491;
// Two targets carry distance information (an interball or Ax/Ay pair) when they lie 25 to 115
// degrees apart in azimuth.
inline constexpr double kInterballLeastSeparation = 0.4363323129985;
inline constexpr double kInterballGreatestSeparation = 2.0071286397931;

// --- Quality marks (a measurement is live while Quality > kLiveQuality) -------------------
inline constexpr double kLiveQuality = 50.0;
inline constexpr double kRejectedQuality = 50.0;
inline constexpr double kUnpairedQuality = 18.0;
inline constexpr double kOutsideDroppedQuality = 60.0;
inline constexpr double kSingleTermRejectionStep = 50.0;

// --- Type codes --------------------------------------------------------------------------
inline constexpr int kTypeReferenceView = 14;
inline constexpr int kTypeFrontSight = 100;
inline constexpr int kTypeBackSight = 200;

// --- Shared limits -----------------------------------------------------------------------
// A quarter of a thousandth of an inch (metres): the spread up to which a set of distances
// needs no refining, and the reading uncertainty of one distance.
inline constexpr double kQuarterThouInch = 6.35e-06;
// Spread above which a fit may reject (metres): half a thousandth of an inch.
inline constexpr double kRejectSpread = 1.27e-05;
// Change limit of length elements (metres).
inline constexpr double kLengthTolerance = 5.08e-07;
// Change limit of angular elements (degrees), 1.308e-07 rad.
inline constexpr double kAngleToleranceDeg = 7.494287960311168e-06;
inline constexpr double kAngleToleranceRad = 1.308e-07;
// Limit of angular two-face spreads (degrees), 3.27e-06 rad.
inline constexpr double kTwoFaceSpreadDeg = 0.0001873571990077792;
// Twice that: the face spreads below which the six-harmonic fits run, and the Ax/Ay precision a
// placement must predict.
inline constexpr double kTwiceTwoFaceSpreadDeg = 2.0 * kTwoFaceSpreadDeg;
static_assert(kTwiceTwoFaceSpreadDeg == 0.0003747143980155584, "the limit as always applied");

// Starting values of the running maxima and minima that pick the worst (or best) of a sample:
// below and above anything a distance, angle or deviation can be.
inline constexpr double kRunningMaxStart = -100.0;
inline constexpr double kRunningMinStart = 100.0;
// The start some worst-sample searches have always used instead.
inline constexpr double kFarRunningMaxStart = -1000.0;

// The most targets a view may hold: measurements are addressed as view * targets + target, and
// target pairs counted, in int.
inline constexpr int kMostTargetsPerView = 65536;
// m_nInlineView when no in-line view was found.
inline constexpr int kInlineViewNone = -100;

}  // namespace compensation

// The result codes belong to the same vocabulary; they cite the constants above.
#include "engine/result_codes.h"

#endif  // COMPENSATION_ENGINE_CONSTANTS_H
