// The parts of the error model's evaluation that depend on the raw reading alone.
//
// The six azimuth harmonics, the half-angle q = pi/4 - El/2 and cos El cost most of a
// calibration (eight sine-cosine evaluations), yet a fit calibrates the same raw readings again
// at every pass with a new model. A fit computes them once per reading and calibrates with
// them: the same numbers as CVector::Calibrate, bit for bit, because they are the same values
// that Calibrate would compute.
#ifndef COMPENSATION_MODEL_RAW_TERMS_H
#define COMPENSATION_MODEL_RAW_TERMS_H

#include <cmath>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "engine/constants.h"

namespace compensation::detail {

struct RawTerms {
    double s[7];  // sin k Az, k = 0 .. 6
    double c[7];  // cos k Az
    double sinq;
    double cosq;
    double cosEl;
};

// The terms of a reading's raw azimuth and elevation (radians).
inline RawTerms RawTermsOf(const CVector& raw) {
    RawTerms t;
    for (int k = 1; k <= 6; ++k) {
        t.s[k] = std::sin(k * raw.Azimuth);
        t.c[k] = std::cos(k * raw.Azimuth);
    }
    t.s[0] = 0.0;
    t.c[0] = 1.0;
    const double q = kQuarterPi - 0.5 * raw.Elevation;
    t.sinq = std::sin(q);
    t.cosq = std::cos(q);
    t.cosEl = std::cos(raw.Elevation);
    return t;
}

// The corrections are formed in degrees (angular terms) and metres (range terms) and turned
// into radians by kDegToRad. The odd azimuth harmonics carry the face sign f and the even ones
// do not, so an odd harmonic looks the same to both faces of a target while an even one flips.
// The elevation bracket is multiplied by f once more when it is applied: the whole bracket
// changes sign with the face, and of the two elevation polynomials the one written with f acts
// the same in both faces.
//
// The model applied to the reading's range and angles with sign +1 (calibrate) or -1
// (uncalibrate); the face sign must be set and not zero.
inline void ApplyModel(CVector& v, const TMapper& m, const RawTerms& h, double s) {
    const double f = static_cast<double>(v.FSBS);
    const double R = v.Range;
    const double El = v.Elevation;
    const double dT = v.T - m.T_ref;
    const double Rk = R * kDegToRad;
    const double sinq = h.sinq;
    const double cosq = h.cosq;

    const double P = m.X0 / Rk + m.Ay + m.Ay_dT * dT;
    const double Q = m.Y0 / Rk - (m.Ax + m.Ax_dT * dT);
    const double D2s = m.D2 + m.D2_AzS * f * h.s[1] + m.D2_AzC * f * h.c[1] + m.D2_dT * dT;
    const double A1s =
        m.A1 + m.A1_dT * dT + m.A1_AzS * f * h.s[1] + m.A1_AzC * f * h.c[1] +
        (m.A1_2AzS + m.A1_2AzS_dT * dT) * h.s[2] + (m.A1_2AzC + m.A1_2AzC_dT * dT) * h.c[2] +
        m.A1_3AzS * f * h.s[3] + m.A1_3AzC * f * h.c[3] + m.A1_4AzS * h.s[4] + m.A1_4AzC * h.c[4] +
        m.A1_5AzS * f * h.s[5] + m.A1_5AzC * f * h.c[5] + m.A1_6AzS * h.s[6] + m.A1_6AzC * h.c[6];
    const double A3s =
        m.A3 + m.A3_dT * dT + m.A3_AzS * f * h.s[1] + m.A3_AzC * f * h.c[1] +
        (m.A3_2AzS + m.A3_2AzS_dT * dT) * h.s[2] + (m.A3_2AzC + m.A3_2AzC_dT * dT) * h.c[2] +
        m.A3_3AzS * f * h.s[3] + m.A3_3AzC * f * h.c[3] + m.A3_4AzS * h.s[4] + m.A3_4AzC * h.c[4] +
        m.A3_5AzS * f * h.s[5] + m.A3_5AzC * f * h.c[5] + m.A3_6AzS * h.s[6] + m.A3_6AzC * h.c[6];
    const double A2s = m.A2 + m.A2_dT * dT + m.A2_3AzS * f * h.s[3] + m.A2_3AzC * f * h.c[3] +
                       m.A2_5AzS * f * h.s[5] + m.A2_5AzC * f * h.c[5];

    const double dR = m.D1 * f * h.cosEl + (2.0 * sinq - 1.0) * D2s;

    const double dAz =
        ((2.0 * A3s - 2.0 * A1s * sinq) * sinq - f * h.s[1] * P - f * h.c[1] * Q) / (f * h.cosEl) -
        (m.Az_AzS + m.Az_AzS_dT * dT) * f * h.s[1] - (m.Az_AzC + m.Az_AzC_dT * dT) * f * h.c[1] -
        m.Az_3AzS * f * h.s[3] - m.Az_3AzC * f * h.c[3] - m.Az_5AzS * f * h.s[5] -
        m.Az_5AzC * f * h.c[5] + m.Az_2AzS * h.s[2] + m.Az_2AzC * h.c[2] + m.Az_4AzS * h.s[4] +
        m.Az_4AzC * h.c[4] + m.Az_6AzS * h.s[6] + m.Az_6AzC * h.c[6];

    const double dEl =
        f * h.c[1] * P - f * h.s[1] * Q - 2.0 * A2s - 2.0 * m.D1 * cosq * cosq / Rk -
        2.0 * D2s * f * cosq / Rk - (m.El_2AzS + m.El_2AzS_dT * dT) * h.s[2] -
        (m.El_2AzC + m.El_2AzC_dT * dT) * h.c[2] - m.El_4AzS * h.s[4] - m.El_4AzC * h.c[4] -
        m.El_6AzS * h.s[6] - m.El_6AzC * h.c[6] - (m.El_ElS + m.El_ElS_dT * dT) * sinq -
        (m.El_ElC + m.El_ElC_dT * dT) * f * cosq -
        (m.B_plus * El + m.A_plus * El * El + m.C_plus * El * El * El) * kPolyRadToDeg -
        (m.K_minus * kDegToRad + m.B_minus * El + m.A_minus * El * El + m.C_minus * El * El * El) *
            f * kPolyRadToDeg;

    v.Range += s * dR;
    v.Azimuth += s * dAz * kDegToRad;
    v.Elevation += s * f * dEl * kDegToRad;
}

// What CVector::Calibrate does to `v`, with the terms of its raw reading given. Without
// `cartesian`, X, Y and Z are left as they were: the passes that read only the range and the
// angles skip the two sine-cosine evaluations they cost.
inline void CalibrateWith(CVector& v, const TMapper& map, const RawTerms& terms, bool cartesian) {
    v.SeType();
    v.Radian = true;
    if (v.FSBS == 0) {
        return;
    }
    ApplyModel(v, map, terms, 1.0);
    if (cartesian) {
        v.Sphr2Cart();
    }
}

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_RAW_TERMS_H
