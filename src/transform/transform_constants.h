// Numerical constants of the rigid-body transform, its fits, the placement evaluators and the
// acceptance of outside measurements. Lengths are in the unit of the CVector coordinates
// (metres), angles in radians.
#ifndef COMPENSATION_TRANSFORM_TRANSFORM_CONSTANTS_H
#define COMPENSATION_TRANSFORM_TRANSFORM_CONSTANTS_H

#include "engine/constants.h"

namespace compensation {

// --- Gauss-Newton refinement -----------------------------------------------------------------
// A step may raise the weighted RMS distance by at most this much and still be taken.
inline constexpr double kRmsRiseTolerance = 1e-06;
// Converged when both the rotation step (rad) and the translation step are at most this long.
inline constexpr double kStepTolerance = 1e-06;
inline constexpr int kMaxTransformSteps = 30;

// --- Best fit with a distinguished point ------------------------------------------------------
inline constexpr int kMinWorkingPoints = 3;
// Start of the nearest-neighbour search around the distinguished point: farther points are
// never its neighbour.
inline constexpr double kNeighbourSearchRadius = 1000.0;
// |cos| below which a direction is taken as off the line (about 45.6 degrees).
inline constexpr double kCollinearCosine = 0.7;

// --- Tooling balls ------------------------------------------------------------------------------
// Smallest angle (5 degrees) between a triple's first two centroid directions for its frame
// to be trusted.
inline constexpr double kMinFrameAngle = 0.0872664625997;
// Start of the running minimum of the candidates' weighted RMS.
inline constexpr double kCandidateRmsStart = 1000.0;
inline constexpr int kMinTriplePoints = 3;
inline constexpr int kMinRefinePoints = 4;

// --- Outside acceptance -------------------------------------------------------------------------
// Mean elevation of the two targets below which the pair lies low (about -15 degrees).
inline constexpr double kLowPairElevation = -0.26182500000000003;
// The least distance between a low pair's targets is this share of kMinOutsideDistance.
inline constexpr double kLowPairDistanceFactor = 0.75;
// A measurement hits a predicted target within these (strict) tolerances.
inline constexpr double kOutsideRangeTolerance = 0.015;
inline constexpr double kOutsideAngleTolerance = kDegToRad;  // one degree
inline constexpr int kMinOutsidePairs = 9;
// The two targets must be at least this far apart (times kLowPairDistanceFactor for a low pair).
inline constexpr double kMinOutsideDistance = 4.0;
// Up to a spread of kQuarterThouInch of the pair distances no pair is dropped; after one drop
// the spread must be at most kRejectSpread.

// --- Placement evaluators -----------------------------------------------------------------------
// Two targets suit the two-face test when the half-angle sines of their elevations differ by
// more than this.
inline constexpr double kFaceSineSeparation = 0.2;
// The angular window for a nearly in-line pair and for a pair nearly in one azimuth is
// kTwentyDegrees; its negative is the mean elevation the extra-outside pair must lie below.
inline constexpr double kMinD2Distance = 4.0;
inline constexpr double kMinExtraDistance = 3.0;
// Predicted checks must stay within a thousandth of an inch; a D2 reading is that uncertain.
inline constexpr double kPlanningTolerance = 2.54e-05;
// The uncertainty of one distance in the X0/Y0 check is kQuarterThouInch.
// Uncertainty factor of the Ax/Ay check; the precision it must reach is kTwiceTwoFaceSpreadDeg,
// from a pair between kInterballLeastSeparation and kInterballGreatestSeparation apart in
// azimuth. The extra-outside pair lies within kTenDegrees of the D2 pair in azimuth.
inline constexpr double kAxAyUncertainty = 0.00036382819990807275;
// Start of the running best angle.
inline constexpr double kBestAngleStart = 10000.0;

}  // namespace compensation

#endif  // COMPENSATION_TRANSFORM_TRANSFORM_CONSTANTS_H
