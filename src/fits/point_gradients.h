// First-order change of a calibrated point's X, Y, Z per unit of one error-model element.
//
// Each gradient is evaluated at the point's own Range, Azimuth and Elevation (radians) and
// follows from the calibration: the element moves the range and the two angles, and the point
// moves by those changes times the partial derivatives of
//   X = -R cos(El) sin(Az),  Y = R sin(El),  Z = R cos(El) cos(Az).
// The pair fits turn two such gradients into the change of a squared separation,
// 2 (P_A - P_B) . (g_A - g_B); SeparationSlope does that for any of them.
#ifndef COMPENSATION_FITS_POINT_GRADIENTS_H
#define COMPENSATION_FITS_POINT_GRADIENTS_H

#include <array>
#include <cmath>

#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/vec3.h"

namespace compensation {

using PointGradient = Vec3 (*)(const CVector& point);

// The sines and cosines of a point's azimuth and elevation.
struct SightAngles {
    double sinAz;
    double cosAz;
    double sinEl;
    double cosEl;
};

inline SightAngles SightAnglesOf(const CVector& point) {
    return {std::sin(point.Azimuth), std::cos(point.Azimuth), std::sin(point.Elevation),
            std::cos(point.Elevation)};
}

// Per metre of X0 (u of the X0/Y0 fit). X0 / R turns the line of sight about the vertical
// and tilts it in elevation, both in proportion to the azimuth's sine and cosine.
inline Vec3 GradientX0(const CVector& point) {
    const SightAngles a = SightAnglesOf(point);
    return {(1.0 + a.sinEl) * a.sinAz * a.cosAz, a.cosAz * a.cosEl,
            a.sinAz * a.sinAz - a.cosAz * a.cosAz * a.sinEl};
}

// Per metre of Y0 (v of the X0/Y0 fit).
inline Vec3 GradientY0(const CVector& point) {
    const SightAngles a = SightAnglesOf(point);
    return {a.cosAz * a.cosAz - a.sinAz * a.sinAz * a.sinEl, -a.sinAz * a.cosEl,
            (1.0 + a.sinEl) * a.sinAz * a.cosAz};
}

// Per metre of D2 (g of the D2 fit): the range moves by 2 sin h - 1 and the elevation by
// -2 cos h / R, with the half-angle h = pi/4 - El/2.
inline Vec3 GradientD2(const CVector& point) {
    const double st = std::sin(point.Azimuth);
    const double ct = std::cos(point.Azimuth);
    const double h = kQuarterPi - 0.5 * point.Elevation;
    const double sh = std::sin(h);
    const double ch = std::cos(h);
    return {-2.0 * (1.0 - sh) * st * ch, -std::sin(point.Elevation) - 2.0 * sh,
            2.0 * (1.0 - sh) * ct * ch};
}

// Per radian of Ax (g of the Ax/Ay fit): the azimuth moves by cos Az / cos El and the
// elevation by sin Az.
inline Vec3 GradientAx(const CVector& point) {
    const double range = point.Range;
    const SightAngles a = SightAnglesOf(point);
    return {range * (a.sinAz * a.sinAz * a.sinEl - a.cosAz * a.cosAz), range * a.sinAz * a.cosEl,
            -range * (1.0 + a.sinEl) * a.cosAz * a.sinAz};
}

// Per radian of Ay (h of the Ax/Ay fit): the azimuth moves by -sin Az / cos El and the
// elevation by cos Az.
inline Vec3 GradientAy(const CVector& point) {
    const double range = point.Range;
    const SightAngles a = SightAnglesOf(point);
    return {range * (1.0 + a.sinEl) * a.cosAz * a.sinAz, range * a.cosAz * a.cosEl,
            -range * (a.cosAz * a.cosAz * a.sinEl - a.sinAz * a.sinAz)};
}

// Per radian by which the elevation rises: the column of the elevation polynomial terms.
inline Vec3 GradientElevation(const CVector& point) {
    const double R = point.Range;
    const double st = std::sin(point.Azimuth);
    const double ct = std::cos(point.Azimuth);
    const double se = std::sin(point.Elevation);
    return {R * st * se, R * std::cos(point.Elevation), -R * ct * se};
}

// Per radian of K_minus: the constant elevation term lowers the elevation.
inline Vec3 GradientKMinus(const CVector& point) {
    return Scaled(GradientElevation(point), -1.0);
}

// Per radian of El_ElC: the elevation falls by cos(pi/4 - El/2) per radian.
inline Vec3 GradientElElC(const CVector& point) {
    return Scaled(GradientKMinus(point), std::cos(kQuarterPi - 0.5 * point.Elevation));
}

// |P_A - P_B|^2 of the points' Cartesian coordinates.
inline double SquaredSeparation(const CVector& a, const CVector& b) {
    const Vec3 separation = Minus(PositionOf(a), PositionOf(b));
    return Dot(separation, separation);
}

// First-order change of |P_A - P_B|^2 per unit of the element whose gradient is given:
// 2 (P_A - P_B) . (g(A) - g(B)).
inline double SeparationSlope(const CVector& a, const CVector& b, PointGradient gradient) {
    return 2.0 * Dot(Minus(PositionOf(a), PositionOf(b)), Minus(gradient(a), gradient(b)));
}

// How a point moves per metre of its range and per radian of its azimuth and elevation: along
// the line of sight, turning about the vertical axis, and rising.
inline std::array<Vec3, 3> PointMotion(const CVector& point) {
    const double R = point.Range;
    const SightAngles a = SightAnglesOf(point);
    return {{{-a.cosEl * a.sinAz, a.sinEl, a.cosEl * a.cosAz},
             {-R * a.cosEl * a.cosAz, 0.0, -R * a.cosEl * a.sinAz},
             {R * a.sinEl * a.sinAz, R * a.cosEl, -R * a.sinEl * a.cosAz}}};
}

// Change of |P_A - P_B|^2 per unit of A's own range (m), azimuth and elevation (rad), with
// `away` = P_A - P_B: 2 (P_A - P_B) . dP_A/d(R, Az, El). For B, pass B's reading and P_B - P_A.
inline std::array<double, 3> SquaredSeparationByReading(const CVector& point, const Vec3& away) {
    const std::array<Vec3, 3> motion = PointMotion(point);
    return {2.0 * Dot(away, motion[0]), 2.0 * Dot(away, motion[1]), 2.0 * Dot(away, motion[2])};
}

}  // namespace compensation

#endif  // COMPENSATION_FITS_POINT_GRADIENTS_H
