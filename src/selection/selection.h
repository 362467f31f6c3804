// Shared vocabulary of the data selection: what makes a measurement live, how its type is read,
// and the limits that decide whether a set of views is good enough to fit from.
#ifndef COMPENSATION_SELECTION_SELECTION_H
#define COMPENSATION_SELECTION_SELECTION_H

#include <cmath>

#include "compensation/engine.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/live.h"

namespace compensation {

// --- Two-face pairing ----------------------------------------------------------------------
// A back sight belongs to a front sight when it lies within 1 cm in range and one degree in
// both angles of it (radians, as stored).
inline constexpr double kPairRangeTolerance = 0.01;
inline constexpr double kPairAngleTolerance = kDegToRad;
// Fewer two-face pairs than this cannot support any two-face fit (kTooFewTwoFacePairs).
inline constexpr int kLeastTwoFacePairs = 2;

// --- Azimuth coverage of the reference views (the sectors are in engine/result_codes.h) ------
inline constexpr double kSectorLowStartDeg = kHalfTurnDeg + kSectorMarginDeg;

// --- Interball pair table (separations in engine/constants.h) ---------------------------
inline constexpr int kInterballPairUsed = 0;
inline constexpr int kInterballPairSkipped = 1;

// --- View averaging ----------------------------------------------------------------------
inline constexpr double kAveragedQuality = 99.0;
inline constexpr double kNoLiveViewQuality = 1.0;
// Refinement stops this many views short of the view count, so that at least four remain.
inline constexpr int kRefineKeptViews = 4;

namespace detail {
// `average` becomes the mean of target `target` over the live ones of `views` views of `targets`
// measurements each (view 0's measurement for everything but the range, angles and temperature);
// returns the number of live views.
int AverageOfViews(CVector& average, const CVector* measurements, int target, int targets,
                   int views);

// The average-and-refine sequence shared by the check-view acceptance and the outside sets:
// averages every target over its views; when every target has a live view, rejects the worst
// view of each scattered target and averages again, repeating while something is rejected
// and at least four views would remain. Returns the averaging's count of targets without a
// live view (or kInvalidInput for a layout that does not fit).
int AverageAndRefine(CCompensation& engine, CVector* averages, CVector* measurements, int targets,
                     int views, double* spreads);
}  // namespace detail

// --- Check views ---------------------------------------------------------------------------
// Failure weight of a target whose spread stays above kRejectSpread after refining.
inline constexpr int kCheckViewSpreadFailure = 10;
// Degrees of elevation per metre of target span for the proposed angle of the next view.
inline constexpr double kSpanToAngleDeg = 12.455604241974418;
inline constexpr double kCheckViewAngleLimitDeg = 45.0;

// --- Outside sets --------------------------------------------------------------------------
inline constexpr int kOutsideTargetsPerView = 2;
inline constexpr int kOutsideSpreadFailure = 11;

// --- FBB views -----------------------------------------------------------------------------
// A view is compact when its front sights span less than kTwentyDegrees of elevation and its
// lowest and highest points differ by less than 2 m in range.
inline constexpr double kFbbViewRangeSpan = 2.0;
inline constexpr int kLeastFbbViews = 5;
inline constexpr int kFbbViewAccepted = 1;
inline constexpr int kFbbViewRefused = 0;

// Some selections read the type code by magnitude, as a double, so that a host's signed
// codes still classify.
inline bool HasTypeMagnitude(const CVector& sight, int typeCode) {
    return std::fabs(static_cast<double>(sight.Type)) == static_cast<double>(typeCode);
}

// `failure` for every spread beyond kRejectSpread; a spread that is not finite cannot show
// consistency and counts as beyond it.
template <typename Spreads>
int SpreadFailures(const Spreads& spreads, int failure) {
    int sum = 0;
    for (const double spread : spreads) {
        sum += std::isfinite(spread) && spread <= kRejectSpread ? 0 : failure;
    }
    return sum;
}

}  // namespace compensation

#endif  // COMPENSATION_SELECTION_SELECTION_H
