// Shared vocabulary of the data selection: what makes a measurement live, how its type is read,
// and the limits that decide whether a set of views is good enough to fit from.
#ifndef COMPENSATION_SELECTION_SELECTION_H
#define COMPENSATION_SELECTION_SELECTION_H

#include <cmath>

#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/live.h"

namespace compensation {

// --- Two-face pairing ----------------------------------------------------------------------
// A back sight belongs to a front sight when it lies within 1 cm in range and one degree in
// both angles of it (radians, as stored).
inline constexpr double kPairRangeTolerance = 0.01;
inline constexpr double kPairAngleTolerance = kDegToRad;
// Fewer two-face pairs than this cannot support any two-face fit.
inline constexpr int kLeastTwoFacePairs = 2;
inline constexpr int kTooFewTwoFacePairs = 1;

// --- Azimuth coverage of the reference views ---------------------------------------------
// Sectors start at -180 degrees and are widened by 5 degrees on both sides, so neighbours
// overlap by 10 degrees.
inline constexpr double kFullTurnDeg = 360.0;
inline constexpr double kHalfTurnDeg = 180.0;
inline constexpr double kSectorMarginDeg = 5.0;
inline constexpr double kSectorLowStartDeg = 185.0;  // half turn plus the margin

// --- Target pairs within a view ----------------------------------------------------------
inline constexpr int kTooFewTargetPairs = 19;

// --- Interball pair table ----------------------------------------------------------------
// Two targets carry distance information when they lie 25 to 115 degrees apart in azimuth.
inline constexpr double kInterballLeastSeparation = 0.4363323129985;
inline constexpr double kInterballGreatestSeparation = 2.0071286397931;
inline constexpr long long kLeastUsableInterballPairs = 25;
inline constexpr int kTooFewInterballPairs = 20;
inline constexpr int kInterballPairUsed = 0;
inline constexpr int kInterballPairSkipped = 1;

// --- View averaging ----------------------------------------------------------------------
inline constexpr double kAveragedQuality = 99.0;
inline constexpr double kNoLiveViewQuality = 1.0;
// A target whose spread exceeds a quarter of a thousandth of an inch loses its worst view.
inline constexpr double kRefineSpread = 6.35e-06;
// Refinement stops this many views short of the view count, so that at least four remain.
inline constexpr int kRefineKeptViews = 4;

// --- Check views ---------------------------------------------------------------------------
// Failure weight of a target whose spread stays above kRejectSpread after refining.
inline constexpr int kCheckViewSpreadFailure = 10;
// Degrees of elevation per metre of target span for the proposed angle of the next view.
inline constexpr double kSpanToAngleDeg = 12.455604241974418;
inline constexpr double kCheckViewAngleLimitDeg = 45.0;
inline constexpr int kLeastCheckViews = 7;
// Flying views demand fewer views when each measures at least this many targets.
inline constexpr int kFlyingManyTargets = 3;
inline constexpr int kLeastFlyingViewsManyTargets = 3;
// The in-line angle and the widest tolerated elevation gap (radians, about 10 degrees).
inline constexpr double kInlineAngle = 0.17455;
// The elevations that the views together must reach below and above the horizon (radians,
// about 40 degrees).
inline constexpr double kLowestElevationDemand = -0.6982;
inline constexpr double kHighestElevationDemand = 0.6982;
inline constexpr int kInlineViewNone = -100;

// Status of the acceptance of a complete set of views (check, flying and FBB views).
inline constexpr int kViewsAccepted = 0;
inline constexpr int kTooFewViews = 1;
inline constexpr int kNoLowView = 2;
inline constexpr int kNoHighView = 3;
inline constexpr int kElevationGap = 4;
inline constexpr int kNoInlineView = 5;

// --- Outside sets --------------------------------------------------------------------------
inline constexpr int kOutsideTargetsPerView = 2;
inline constexpr int kOutsideSpreadFailure = 11;

// --- FBB views -----------------------------------------------------------------------------
// A view is compact when its front sights span less than 20 degrees of elevation and its
// lowest and highest points differ by less than 2 m in range.
inline constexpr double kFbbViewElevationSpan = 0.3491;
inline constexpr double kFbbViewRangeSpan = 2.0;
inline constexpr int kLeastFbbViews = 5;
inline constexpr int kFbbViewAccepted = 1;
inline constexpr int kFbbViewRefused = 0;

// Some selections read the type code by magnitude, as a double, so that a host's signed
// codes still classify.
inline bool HasTypeMagnitude(const CVector& sight, int typeCode) {
    return std::fabs(static_cast<double>(sight.Type)) == static_cast<double>(typeCode);
}

// A spread that is not finite cannot show consistency: it counts as beyond any limit.
inline bool SpreadBeyond(double spread, double limit) {
    return !(std::isfinite(spread) && spread <= limit);
}

}  // namespace compensation

#endif  // COMPENSATION_SELECTION_SELECTION_H
