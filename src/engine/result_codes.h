// Every result code of the library, by the procedure, fit or check that returns it, with what it
// means. The codes and the limits their meanings cite are defined here and nowhere else; the
// table at the end is what the command-line tool explains a result from.
//
// The fits' codes are distinct small numbers chosen so that the procedures can add the codes of
// the fits of a joint loop and a sum still tells which fits did not settle.
#ifndef COMPENSATION_ENGINE_RESULT_CODES_H
#define COMPENSATION_ENGINE_RESULT_CODES_H

#include "engine/constants.h"

namespace compensation {

// --- Every operation -------------------------------------------------------------------------
// The host's counts or positions do not fit its arrays.
inline constexpr int kInvalidInput = -1;
// The working arrays (they grow with the host's counts) could not be allocated; nothing is
// thrown into the host.
inline constexpr int kOutOfMemory = -2;
// A full procedure's outside set holds pairs but not one live pair (both measurements of
// quality above the live mark): the single-term fit that reads the set could not estimate its
// element, yet would report it settled. Nothing has been written. Negative, so that no sum of
// the fits' codes and no coverage code can be mistaken for it.
inline constexpr int kNoLiveOutsidePair = -3;

// --- Interball fits --------------------------------------------------------------------------
inline constexpr int kInterballRejected = 21;
inline constexpr int kInterballNotConverged = 26;

// --- Single-term fits and the Ax/Ay fit --------------------------------------------------------
inline constexpr int kX0Y0TooFew = 19;
inline constexpr int kX0Y0Rejected = 22;
inline constexpr int kX0Y0NotConverged = 25;
inline constexpr int kAxAyTooFew = 20;
inline constexpr int kAxAyRejected = 23;
inline constexpr int kAxAyNotConverged = 26;
// The D2 and K_minus fits.
inline constexpr int kOutsidePairTooFew = 21;
inline constexpr int kOutsidePairRejected = 24;
inline constexpr int kOutsidePairNotConverged = 27;
inline constexpr int kElElCRejected = 24;
inline constexpr int kElElCNotConverged = 27;
// The FBB and check interball fits (elevation polynomial).
inline constexpr int kPolynomialRejected = 1;
inline constexpr int kPolynomialNotConverged = 2;

// --- Selections ----------------------------------------------------------------------------------
inline constexpr int kTooFewTwoFacePairs = 1;
inline constexpr int kTooFewTargetPairs = 19;
inline constexpr int kTooFewInterballPairs = 20;
// The first view must give more usable interball pairs than this.
inline constexpr long long kLeastUsableInterballPairs = 25;

// Status of the acceptance of a complete set of views (check, flying and FBB views).
inline constexpr int kViewsAccepted = 0;
inline constexpr int kTooFewViews = 1;
inline constexpr int kNoLowView = 2;
inline constexpr int kNoHighView = 3;
inline constexpr int kElevationGap = 4;
inline constexpr int kNoInlineView = 5;
// The limits those statuses cite.
inline constexpr int kLeastCheckViews = 7;
// Flying views demand fewer views when each measures at least this many targets.
inline constexpr int kFlyingManyTargets = 3;
inline constexpr int kLeastFlyingViewsManyTargets = 3;
// The elevations that the views together must reach below and above the horizon (radians,
// about 40 degrees).
inline constexpr double kLowestElevationDemand = -0.6982;
inline constexpr double kHighestElevationDemand = 0.6982;

// Azimuth coverage of the reference views: sectors start at -180 degrees and are widened by
// 5 degrees on both sides, so neighbours overlap by 10 degrees.
inline constexpr double kFullTurnDeg = 360.0;
inline constexpr double kHalfTurnDeg = 180.0;
inline constexpr double kSectorMarginDeg = 5.0;

// --- Transform fits and evaluators (CTransform) ------------------------------------------------
// Best fit (UpdateTransform) and its refinement.
inline constexpr int kTransformRmsRose = 1;
inline constexpr int kTransformStepsUsedUp = 2;
inline constexpr int kTransformTooFewPoints = 3;
// Tooling balls (TB_Transform).
inline constexpr int kToolingTooFewWeighted = 4;
inline constexpr int kToolingNoUsableTriple = 5;
// Outside acceptance (AcceptOutside).
inline constexpr int kOutsideTooClose = 1;
inline constexpr int kOutsideTooFewPairs = 3;
inline constexpr int kOutsideSpreadAfterDrop = 4;
// Placement evaluators.
inline constexpr int kFacesNotSeparated = 1;
inline constexpr int kD2PairTooShort = 1;
inline constexpr int kD2NoInlinePair = 2;
inline constexpr int kD2Imprecise = 5;
inline constexpr int kX0Y0NoPair = 6;
inline constexpr int kX0Y0Imprecise = 7;
inline constexpr int kAxAyImprecise = 8;
inline constexpr int kAxAyTooFewPairs = 9;
inline constexpr int kExtraNotLowEnough = 1;
inline constexpr int kExtraNoPair = 202;

namespace detail {

namespace two_face {
inline constexpr int kRejected = 1;
inline constexpr int kNotConverged = 2;
// Too few live pairs: the quick, EFC and FBB fits, and the full fits.
inline constexpr int kTooFewQuick = 3;
inline constexpr int kTooFewFull = 18;
inline constexpr int kQuickMinimumPairs = 10;
// The full and six-harmonic fits demand more than 20 live pairs, whatever their column count.
inline constexpr int kFullMinimumPairs = 21;
}  // namespace two_face

// --- Procedures ----------------------------------------------------------------------------------
// The first code of an empty azimuth sector: the quick procedure cuts the circle into as many
// sectors as views, the full procedures into eight fixed 45-degree sectors.
inline constexpr int kQuickCoverageCode = 7;
inline constexpr int kFullSectors = 8;
inline constexpr int kFullCoverageCode = 9;
// ClassifyIBPairs' code (20) and ClassifyPairs' (19) become the full procedures' own: 21 for the
// interball and d2 pairs, 22 for the extra pairs.
inline constexpr int kIBPairsRaise = 1;
inline constexpr int kD2PairsRaise = 2;
inline constexpr int kExtraPairsRaise = 3;
// The inside statistics found no pair to measure.
inline constexpr int kNoPairMeasured = 29;

}  // namespace detail

// --- The table -------------------------------------------------------------------------------
// Who returns a code. A fit family is listed once per way the tool names it, since the same
// code reads differently for, say, the D2 and K_minus fits.
enum class ResultSource {
    kEveryOperation,
    kQuickTwoFace,
    kFullTwoFace,
    kFbbTwoFace,
    kInterball,
    kFlyingInterball,
    kX0Y0,
    kAxAy,
    kD2,
    kKMinus,
    kElElC,
    kPairClassification,
    kFlyingAcceptance,
    kInsideStatistics,
    kBestFit,
    kToolingBalls,
    kOutsideAcceptance,
    kTwoFacePlacement,
    kD2Placement,
    kX0Y0Placement,
    kAxAyPlacement,
    kExtraPlacement,
};

// One code of one source. `meaning` is a printf format of the limits it cites, in order.
struct ResultCode {
    ResultSource source;
    int code;
    const char* name;
    const char* meaning;
    double cited[3];
};

// clang-format off
inline constexpr ResultCode kResultCodes[] = {
    {ResultSource::kEveryOperation, kInvalidInput, "kInvalidInput",
     "the arrays, counts or target positions do not fit together; nothing was written", {}},
    {ResultSource::kEveryOperation, kOutOfMemory, "kOutOfMemory",
     "the library could not allocate its working arrays for data this large", {}},
    {ResultSource::kEveryOperation, kNoLiveOutsidePair, "kNoLiveOutsidePair",
     "no pair whose two measurements both have quality above %g", {kLiveQuality}},
    {ResultSource::kQuickTwoFace, detail::two_face::kNotConverged, "kNotConverged",
     "has not converged", {}},
    {ResultSource::kQuickTwoFace, detail::two_face::kTooFewQuick, "kTooFewQuick",
     "fewer than %.0f live front/back-sight pairs", {detail::two_face::kQuickMinimumPairs}},
    {ResultSource::kFullTwoFace, detail::two_face::kNotConverged, "kNotConverged",
     "has not converged", {}},
    {ResultSource::kFullTwoFace, detail::two_face::kTooFewFull, "kTooFewFull",
     "%.0f or fewer live front/back-sight pairs", {detail::two_face::kFullMinimumPairs - 1}},
    {ResultSource::kFbbTwoFace, detail::two_face::kNotConverged, "kNotConverged",
     "A_plus, B_plus, C_plus have not converged", {}},
    {ResultSource::kFbbTwoFace, detail::two_face::kTooFewQuick, "kTooFewQuick",
     "fewer than %.0f live flying front/back-sight pairs", {detail::two_face::kQuickMinimumPairs}},
    {ResultSource::kFbbTwoFace, detail::two_face::kRejected, "kRejected",
     "rejected its worst pair", {}},
    {ResultSource::kInterball, kInterballNotConverged, "kInterballNotConverged",
     "has not converged", {}},
    {ResultSource::kInterball, kInterballRejected, "kInterballRejected",
     "rejected its worst pair distance", {}},
    {ResultSource::kFlyingInterball, kPolynomialNotConverged, "kPolynomialNotConverged",
     "has not converged", {}},
    {ResultSource::kFlyingInterball, kPolynomialRejected, "kPolynomialRejected",
     "rejected its worst sample", {}},
    {ResultSource::kX0Y0, kX0Y0TooFew, "kX0Y0TooFew", "too few live x0y0 pairs", {}},
    {ResultSource::kX0Y0, kX0Y0NotConverged, "kX0Y0NotConverged", "X0, Y0 have not converged", {}},
    {ResultSource::kX0Y0, kX0Y0Rejected, "kX0Y0Rejected", "rejected its worst pair", {}},
    {ResultSource::kAxAy, kAxAyTooFew, "kAxAyTooFew", "too few live ax/ay pairs", {}},
    {ResultSource::kAxAy, kAxAyNotConverged, "kAxAyNotConverged", "has not converged", {}},
    {ResultSource::kAxAy, kAxAyRejected, "kAxAyRejected", "rejected its worst pair", {}},
    {ResultSource::kD2, kOutsidePairTooFew, "kOutsidePairTooFew", "too few live d2 pairs", {}},
    {ResultSource::kD2, kOutsidePairNotConverged, "kOutsidePairNotConverged",
     "D2 has not converged", {}},
    {ResultSource::kD2, kOutsidePairRejected, "kOutsidePairRejected",
     "rejected its worst pair", {}},
    {ResultSource::kKMinus, kOutsidePairTooFew, "kOutsidePairTooFew",
     "too few live extra pairs", {}},
    {ResultSource::kKMinus, kOutsidePairNotConverged, "kOutsidePairNotConverged",
     "K_minus has not converged", {}},
    {ResultSource::kKMinus, kOutsidePairRejected, "kOutsidePairRejected",
     "rejected its worst pair", {}},
    {ResultSource::kElElC, kElElCNotConverged, "kElElCNotConverged",
     "El_ElC has not converged", {}},
    {ResultSource::kElElC, kElElCRejected, "kElElCRejected", "rejected its worst pair", {}},
    {ResultSource::kPairClassification, kTooFewTwoFacePairs, "kTooFewTwoFacePairs",
     "fewer than two front/back-sight pairs", {}},
    {ResultSource::kPairClassification, kTooFewTargetPairs, "kTooFewTargetPairs",
     "too few usable target pairs (not more than the minimum count)", {}},
    {ResultSource::kPairClassification, kTooFewInterballPairs, "kTooFewInterballPairs",
     "fewer than %.0f usable interball pairs in the first view",
     {static_cast<double>(kLeastUsableInterballPairs)}},
    {ResultSource::kFlyingAcceptance, kTooFewViews, "kTooFewViews",
     "too few flying views (%.0f when a view holds %.0f or more targets, else %.0f)",
     {kLeastFlyingViewsManyTargets, kFlyingManyTargets, kLeastCheckViews}},
    {ResultSource::kFlyingAcceptance, kNoLowView, "kNoLowView",
     "no flying view reaches an elevation of %.0f degrees (%g rad) or below",
     {kLowestElevationDemand * kRadToDeg, kLowestElevationDemand}},
    {ResultSource::kFlyingAcceptance, kNoHighView, "kNoHighView",
     "the highest flying elevation band ends below %+.0f degrees (%g rad)",
     {kHighestElevationDemand * kRadToDeg, kHighestElevationDemand}},
    {ResultSource::kFlyingAcceptance, kElevationGap, "kElevationGap",
     "a gap of more than %.0f degrees (%g rad) between flying elevations",
     {kTenDegrees * kRadToDeg, kTenDegrees}},
    {ResultSource::kFlyingAcceptance, kNoInlineView, "kNoInlineView",
     "no flying view sees its two farthest targets within %.0f degrees (no in-line view)",
     {kTenDegrees * kRadToDeg}},
    {ResultSource::kInsideStatistics, detail::kNoPairMeasured, "kNoPairMeasured",
     "no target pair was measured", {}},
    {ResultSource::kBestFit, kTransformRmsRose, "kTransformRmsRose",
     "a step raised the weighted RMS distance; the last transform is kept", {}},
    {ResultSource::kBestFit, kTransformStepsUsedUp, "kTransformStepsUsedUp",
     "the step budget was used up before the steps became small", {}},
    {ResultSource::kBestFit, kTransformTooFewPoints, "kTransformTooFewPoints",
     "too few points to fit a transform", {}},
    {ResultSource::kToolingBalls, kToolingTooFewWeighted, "kToolingTooFewWeighted",
     "fewer than three points of positive weight", {}},
    {ResultSource::kToolingBalls, kToolingNoUsableTriple, "kToolingNoUsableTriple",
     "no triple of points spans a trustworthy frame", {}},
    {ResultSource::kOutsideAcceptance, kOutsideTooClose, "kOutsideTooClose",
     "the two targets lie too close together", {}},
    {ResultSource::kOutsideAcceptance, kOutsideTooFewPairs, "kOutsideTooFewPairs",
     "too few measured pairs hit the two targets", {}},
    {ResultSource::kOutsideAcceptance, kOutsideSpreadAfterDrop, "kOutsideSpreadAfterDrop",
     "the pair distances spread too much even after dropping the worst pair", {}},
    {ResultSource::kTwoFacePlacement, kFacesNotSeparated, "kFacesNotSeparated",
     "no two targets differ enough in elevation to tell the faces apart", {}},
    {ResultSource::kD2Placement, kD2PairTooShort, "kD2PairTooShort",
     "an in-line pair exists but none is far enough apart for D2", {}},
    {ResultSource::kD2Placement, kD2NoInlinePair, "kD2NoInlinePair", "no nearly in-line pair", {}},
    {ResultSource::kD2Placement, kD2Imprecise, "kD2Imprecise",
     "the D2 pair predicts too coarse a precision", {}},
    {ResultSource::kX0Y0Placement, kX0Y0NoPair, "kX0Y0NoPair", "no pair nearly in one azimuth", {}},
    {ResultSource::kX0Y0Placement, kX0Y0Imprecise, "kX0Y0Imprecise",
     "the X0/Y0 pair predicts too coarse a precision", {}},
    {ResultSource::kAxAyPlacement, kAxAyImprecise, "kAxAyImprecise",
     "no Ax/Ay pair predicts the precision needed", {}},
    {ResultSource::kAxAyPlacement, kAxAyTooFewPairs, "kAxAyTooFewPairs",
     "too few usable Ax/Ay pairs besides the chosen one", {}},
    {ResultSource::kExtraPlacement, kExtraNotLowEnough, "kExtraNotLowEnough",
     "the best extra outside pair does not lie low enough", {}},
    {ResultSource::kExtraPlacement, kExtraNoPair, "kExtraNoPair",
     "no extra outside pair near the D2 pair", {}},
};
// clang-format on

// The table's row of `code` from `source`; nullptr when that source never returns it.
constexpr const ResultCode* FindResultCode(ResultSource source, int code) {
    for (const ResultCode& row : kResultCodes) {
        if (row.source == source && row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace compensation

#endif  // COMPENSATION_ENGINE_RESULT_CODES_H
