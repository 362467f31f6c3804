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
// Spread above which a fit may reject (metres): half a thousandth of an inch.
inline constexpr double kRejectSpread = 1.27e-05;
// Change limit of length elements (metres).
inline constexpr double kLengthTolerance = 5.08e-07;
// Change limit of angular elements (degrees), 1.308e-07 rad.
inline constexpr double kAngleToleranceDeg = 7.494287960311168e-06;
inline constexpr double kAngleToleranceRad = 1.308e-07;
// Limit of angular two-face spreads (degrees), 3.27e-06 rad.
inline constexpr double kTwoFaceSpreadDeg = 0.0001873571990077792;

// Starting values of the running maxima and minima that pick the worst (or best) of a sample:
// below and above anything a distance, angle or deviation can be.
inline constexpr double kRunningMaxStart = -100.0;
inline constexpr double kRunningMinStart = 100.0;

// The result every operation gives when the host's counts or positions do not fit its arrays.
inline constexpr int kInvalidInput = -1;
// The result of an operation that could not allocate its working arrays (they grow with the
// host's counts); nothing is thrown into the host.
inline constexpr int kOutOfMemory = -2;
// The result of a full procedure whose outside set holds pairs but not one live pair (both
// measurements of quality above the live mark): the single-term fit that reads the set could
// not estimate its element, yet would report it settled. Nothing has been written. Negative,
// so that no sum of the fits' codes and no coverage code can be mistaken for it.
inline constexpr int kNoLiveOutsidePair = -3;

}  // namespace compensation

#endif  // COMPENSATION_ENGINE_CONSTANTS_H
