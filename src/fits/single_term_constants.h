// Limits and factors of the single-term fits and the Ax/Ay fit (their codes are in
// engine/result_codes.h).
#ifndef COMPENSATION_FITS_SINGLE_TERM_CONSTANTS_H
#define COMPENSATION_FITS_SINGLE_TERM_CONSTANTS_H

#include "engine/constants.h"

namespace compensation {

// --- X0 and Y0 fit ---------------------------------------------------------------------------
// It needs two pairs more than m_nMinCount: two elements and the free separation.
inline constexpr int kX0Y0ExtraPairs = 2;
// m_dDx0y0: a quarter of the residual spread per unit of slope.
inline constexpr double kX0Y0PrecisionFactor = 0.25;

// --- Ax and Ay fit ---------------------------------------------------------------------------
// m_dDaxay: one quarter of the radians-to-degrees factor.
inline constexpr double kAxAyPrecisionFactor = kQuarterRadToDeg;

// --- El_ElC fit ------------------------------------------------------------------------------
// A target pair carries El_ElC only when its reference ranges differ by more than this (m)...
inline constexpr double kElElCRangeSpan = 3.0;
// ...and its view-0 elevations by more than this (rad, 22.5 degrees).
inline constexpr double kElElCElevationSpan = 0.392699081698725;

// --- FBB and check interball fits (elevation polynomial) ----------------------------------------
// Without a reference distance a target pair needs more than this many views.
inline constexpr int kFbbLeastViewsExclusive = 3;

}  // namespace compensation

#endif  // COMPENSATION_FITS_SINGLE_TERM_CONSTANTS_H
