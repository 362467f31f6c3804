// The rows from which the interball parameter tables are built, each element written once.
//
// alpha and beta follow from CVector::Calibrate. With f the face sign, the azimuth correction of
// an element enters as (...)/(f cos El) and the elevation bracket is applied times f, so an
// element whose series term carries f (the odd harmonics) moves a point the same way in both
// faces:
//   Ax:        dAz = Ax cos Az / cos El,            dEl = Ax sin Az;
//   Ay:        dAz = -Ay sin Az / cos El,           dEl = Ay cos Az;
//   A1 series: dAz = -2 sin^2 q A1 h / cos El;      A3 series: dAz = 2 sin q A3 h / cos El;
//   A2 series: dEl = -2 A2 h;                       Az_ harmonics: dAz = Az_ h.
// alpha is cos El times the azimuth change and beta the elevation change, per radian.
#ifndef COMPENSATION_FITS_INTERBALL_ROWS_H
#define COMPENSATION_FITS_INTERBALL_ROWS_H

#include <cstddef>

#include "fits/interball_fit.h"

namespace compensation::detail::interball_rows {

inline double Zero(const InterballTerms&) {
    return 0.0;
}

inline double AxAlpha(const InterballTerms& m) {
    return m.cosAz[1];
}
inline double AxBeta(const InterballTerms& m) {
    return m.sinAz[1];
}
inline double AyAlpha(const InterballTerms& m) {
    return -m.sinAz[1];
}
inline double AyBeta(const InterballTerms& m) {
    return m.cosAz[1];
}

template <int K>
double A1SinAlpha(const InterballTerms& m) {
    return -2.0 * m.sinq * m.sinq * m.sinAz[K];
}
template <int K>
double A1CosAlpha(const InterballTerms& m) {
    return -2.0 * m.sinq * m.sinq * m.cosAz[K];
}
template <int K>
double A2SinBeta(const InterballTerms& m) {
    return -2.0 * m.sinAz[K];
}
template <int K>
double A2CosBeta(const InterballTerms& m) {
    return -2.0 * m.cosAz[K];
}
template <int K>
double A3SinAlpha(const InterballTerms& m) {
    return 2.0 * m.sinq * m.sinAz[K];
}
template <int K>
double A3CosAlpha(const InterballTerms& m) {
    return 2.0 * m.sinq * m.cosAz[K];
}
template <int K>
double SinHarmonic(const InterballTerms& m) {
    return m.sinAz[K];
}
template <int K>
double CosHarmonic(const InterballTerms& m) {
    return m.cosAz[K];
}

constexpr InterballElement AngleRow(double TMapper::*element, InterballDesignFunction alpha,
                                    InterballDesignFunction beta) {
    return {element, InterballDisplacement::kAngles, alpha, beta, nullptr};
}

constexpr InterballElement HarmonicRow(double TMapper::*element, InterballDesignFunction harmonic) {
    return {element, InterballDisplacement::kAzimuthHarmonic, nullptr, nullptr, harmonic};
}

inline constexpr InterballElement kAx = AngleRow(&TMapper::Ax, AxAlpha, AxBeta);
inline constexpr InterballElement kAy = AngleRow(&TMapper::Ay, AyAlpha, AyBeta);

inline constexpr InterballElement kA1_AzS = AngleRow(&TMapper::A1_AzS, A1SinAlpha<1>, Zero);
inline constexpr InterballElement kA1_AzC = AngleRow(&TMapper::A1_AzC, A1CosAlpha<1>, Zero);
inline constexpr InterballElement kA1_3AzS = AngleRow(&TMapper::A1_3AzS, A1SinAlpha<3>, Zero);
inline constexpr InterballElement kA1_3AzC = AngleRow(&TMapper::A1_3AzC, A1CosAlpha<3>, Zero);
inline constexpr InterballElement kA1_5AzS = AngleRow(&TMapper::A1_5AzS, A1SinAlpha<5>, Zero);
inline constexpr InterballElement kA1_5AzC = AngleRow(&TMapper::A1_5AzC, A1CosAlpha<5>, Zero);

inline constexpr InterballElement kA2_3AzS = AngleRow(&TMapper::A2_3AzS, Zero, A2SinBeta<3>);
inline constexpr InterballElement kA2_3AzC = AngleRow(&TMapper::A2_3AzC, Zero, A2CosBeta<3>);
inline constexpr InterballElement kA2_5AzS = AngleRow(&TMapper::A2_5AzS, Zero, A2SinBeta<5>);
inline constexpr InterballElement kA2_5AzC = AngleRow(&TMapper::A2_5AzC, Zero, A2CosBeta<5>);

inline constexpr InterballElement kA3_AzS = AngleRow(&TMapper::A3_AzS, A3SinAlpha<1>, Zero);
inline constexpr InterballElement kA3_AzC = AngleRow(&TMapper::A3_AzC, A3CosAlpha<1>, Zero);
inline constexpr InterballElement kA3_3AzS = AngleRow(&TMapper::A3_3AzS, A3SinAlpha<3>, Zero);
inline constexpr InterballElement kA3_3AzC = AngleRow(&TMapper::A3_3AzC, A3CosAlpha<3>, Zero);
inline constexpr InterballElement kA3_5AzS = AngleRow(&TMapper::A3_5AzS, A3SinAlpha<5>, Zero);
inline constexpr InterballElement kA3_5AzC = AngleRow(&TMapper::A3_5AzC, A3CosAlpha<5>, Zero);

inline constexpr InterballElement kAz_2AzS = HarmonicRow(&TMapper::Az_2AzS, SinHarmonic<2>);
inline constexpr InterballElement kAz_2AzC = HarmonicRow(&TMapper::Az_2AzC, CosHarmonic<2>);
inline constexpr InterballElement kAz_4AzS = HarmonicRow(&TMapper::Az_4AzS, SinHarmonic<4>);
inline constexpr InterballElement kAz_4AzC = HarmonicRow(&TMapper::Az_4AzC, CosHarmonic<4>);
inline constexpr InterballElement kAz_6AzS = HarmonicRow(&TMapper::Az_6AzS, SinHarmonic<6>);
inline constexpr InterballElement kAz_6AzC = HarmonicRow(&TMapper::Az_6AzC, CosHarmonic<6>);

// The harmonic interball fits' rows in solution order. Each smaller fit solves a leading part:
// the full fit without its azimuth harmonics the first 12 rows, with them the first 16, the
// six-harmonic fit all 24 (the fifth harmonics of the three series and the sixth of the
// azimuth correction come last).
inline constexpr InterballElement kHarmonicTable[] = {
    kAx,      kAy,      kA1_AzS,  kA1_AzC,  kA1_3AzS, kA1_3AzC, kA2_3AzS, kA2_3AzC,
    kA3_AzS,  kA3_AzC,  kA3_3AzS, kA3_3AzC, kAz_2AzS, kAz_2AzC, kAz_4AzS, kAz_4AzC,
    kA1_5AzS, kA1_5AzC, kA2_5AzS, kA2_5AzC, kA3_5AzS, kA3_5AzC, kAz_6AzS, kAz_6AzC,
};
inline constexpr std::size_t kFullRowsWithoutAzHarmonics = 12;
inline constexpr std::size_t kFullRows = 16;

}  // namespace compensation::detail::interball_rows

#endif  // COMPENSATION_FITS_INTERBALL_ROWS_H
