// How a calibrated reading moves with each element of the error model.
//
// The model (ApplyModel in model/raw_terms.h) is linear in its elements: each element adds its
// value times a factor of the reading (a harmonic of the azimuth, a power of the elevation, the
// temperature offset, the face sign) into one of a few sums (the range correction, A1s, A3s, A2s,
// P, Q, the azimuth and elevation series), and each sum reaches the range, azimuth and elevation
// in its own way. The column of an element is therefore that factor times its sum's way, which is
// what this file writes out: one pass over the reading gives every element's column, where
// applying a unit model costs one evaluation of the whole model per element.
#ifndef COMPENSATION_MODEL_ELEMENT_COLUMNS_H
#define COMPENSATION_MODEL_ELEMENT_COLUMNS_H

#include <initializer_list>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/raw_terms.h"

namespace compensation::detail {

// d calibrated range (m), azimuth and elevation (rad) / d element (as stored), by element.
struct ElementColumnSet {
    TMapper range{};
    TMapper azimuth{};
    TMapper elevation{};
};

// The columns of every element for a reading whose face sign is set and not zero, with the
// terms of its raw angles and the model's reference temperature. T_ref itself has none (it is
// the temperature terms' origin, not a correction).
inline ElementColumnSet ElementColumnsOf(const CVector& v, const RawTerms& h, double tRef) {
    struct Term {
        double TMapper::*element;
        double factor;
    };
    using Terms = std::initializer_list<Term>;
    ElementColumnSet c;
    const auto add = [](TMapper& column, double way, Terms terms) {
        for (const Term& term : terms) {
            column.*term.element += way * term.factor;
        }
    };
    const double f = static_cast<double>(v.FSBS);
    const double El = v.Elevation;
    const double dT = v.T - tRef;
    const double Rk = v.Range * kDegToRad;
    const double sinq = h.sinq;
    const double cosq = h.cosq;
    const double* s = h.s;
    const double* k = h.c;
    // The azimuth correction is turned from degrees into radians; the elevation correction also
    // takes the face sign.
    const double toAzimuth = kDegToRad;
    const double toElevation = f * kDegToRad;

    // Range: D1 f cos El and (2 sin q - 1) D2s, which also lower the elevation.
    c.range.D1 = f * h.cosEl;
    c.elevation.D1 = toElevation * (-2.0 * cosq * cosq / Rk);
    const Terms d2s = {{&TMapper::D2, 1.0},
                       {&TMapper::D2_AzS, f * s[1]},
                       {&TMapper::D2_AzC, f * k[1]},
                       {&TMapper::D2_dT, dT}};
    add(c.range, 2.0 * sinq - 1.0, d2s);
    add(c.elevation, toElevation * (-2.0 * f * cosq / Rk), d2s);

    const auto a1Like = [&](TMapper& column, double way, double TMapper::*constant,
                            double TMapper::*drift, double TMapper::*azS, double TMapper::*azC,
                            double TMapper::*az2S, double TMapper::*az2SdT, double TMapper::*az2C,
                            double TMapper::*az2CdT, double TMapper::*az3S, double TMapper::*az3C,
                            double TMapper::*az4S, double TMapper::*az4C, double TMapper::*az5S,
                            double TMapper::*az5C, double TMapper::*az6S, double TMapper::*az6C) {
        add(column, way,
            {{constant, 1.0},
             {drift, dT},
             {azS, f * s[1]},
             {azC, f * k[1]},
             {az2S, s[2]},
             {az2SdT, dT * s[2]},
             {az2C, k[2]},
             {az2CdT, dT * k[2]},
             {az3S, f * s[3]},
             {az3C, f * k[3]},
             {az4S, s[4]},
             {az4C, k[4]},
             {az5S, f * s[5]},
             {az5C, f * k[5]},
             {az6S, s[6]},
             {az6C, k[6]}});
    };
    // Azimuth: (2 A3s - 2 A1s sin q) sin q / (f cos El).
    const double overFaceCos = 1.0 / (f * h.cosEl);
    a1Like(c.azimuth, toAzimuth * (-2.0 * sinq * sinq * overFaceCos), &TMapper::A1, &TMapper::A1_dT,
           &TMapper::A1_AzS, &TMapper::A1_AzC, &TMapper::A1_2AzS, &TMapper::A1_2AzS_dT,
           &TMapper::A1_2AzC, &TMapper::A1_2AzC_dT, &TMapper::A1_3AzS, &TMapper::A1_3AzC,
           &TMapper::A1_4AzS, &TMapper::A1_4AzC, &TMapper::A1_5AzS, &TMapper::A1_5AzC,
           &TMapper::A1_6AzS, &TMapper::A1_6AzC);
    a1Like(c.azimuth, toAzimuth * (2.0 * sinq * overFaceCos), &TMapper::A3, &TMapper::A3_dT,
           &TMapper::A3_AzS, &TMapper::A3_AzC, &TMapper::A3_2AzS, &TMapper::A3_2AzS_dT,
           &TMapper::A3_2AzC, &TMapper::A3_2AzC_dT, &TMapper::A3_3AzS, &TMapper::A3_3AzC,
           &TMapper::A3_4AzS, &TMapper::A3_4AzC, &TMapper::A3_5AzS, &TMapper::A3_5AzC,
           &TMapper::A3_6AzS, &TMapper::A3_6AzC);

    // P and Q, the horizontal offsets and tilts: -(s1 P + c1 Q) / cos El in azimuth, and
    // f (c1 P - s1 Q) in elevation.
    const Terms p = {{&TMapper::X0, 1.0 / Rk}, {&TMapper::Ay, 1.0}, {&TMapper::Ay_dT, dT}};
    const Terms q = {{&TMapper::Y0, 1.0 / Rk}, {&TMapper::Ax, -1.0}, {&TMapper::Ax_dT, -dT}};
    add(c.azimuth, toAzimuth * (-s[1] / h.cosEl), p);
    add(c.azimuth, toAzimuth * (-k[1] / h.cosEl), q);
    add(c.elevation, toElevation * f * k[1], p);
    add(c.elevation, toElevation * (-f * s[1]), q);

    // The azimuth series.
    add(c.azimuth, toAzimuth,
        {{&TMapper::Az_AzS, -f * s[1]},
         {&TMapper::Az_AzS_dT, -dT * f * s[1]},
         {&TMapper::Az_AzC, -f * k[1]},
         {&TMapper::Az_AzC_dT, -dT * f * k[1]},
         {&TMapper::Az_3AzS, -f * s[3]},
         {&TMapper::Az_3AzC, -f * k[3]},
         {&TMapper::Az_5AzS, -f * s[5]},
         {&TMapper::Az_5AzC, -f * k[5]},
         {&TMapper::Az_2AzS, s[2]},
         {&TMapper::Az_2AzC, k[2]},
         {&TMapper::Az_4AzS, s[4]},
         {&TMapper::Az_4AzC, k[4]},
         {&TMapper::Az_6AzS, s[6]},
         {&TMapper::Az_6AzC, k[6]}});

    // Elevation: -2 A2s, the elevation series and the two polynomials.
    add(c.elevation, toElevation * -2.0,
        {{&TMapper::A2, 1.0},
         {&TMapper::A2_dT, dT},
         {&TMapper::A2_3AzS, f * s[3]},
         {&TMapper::A2_3AzC, f * k[3]},
         {&TMapper::A2_5AzS, f * s[5]},
         {&TMapper::A2_5AzC, f * k[5]}});
    add(c.elevation, -toElevation,
        {{&TMapper::El_2AzS, s[2]},
         {&TMapper::El_2AzS_dT, dT * s[2]},
         {&TMapper::El_2AzC, k[2]},
         {&TMapper::El_2AzC_dT, dT * k[2]},
         {&TMapper::El_4AzS, s[4]},
         {&TMapper::El_4AzC, k[4]},
         {&TMapper::El_6AzS, s[6]},
         {&TMapper::El_6AzC, k[6]},
         {&TMapper::El_ElS, sinq},
         {&TMapper::El_ElS_dT, dT * sinq},
         {&TMapper::El_ElC, f * cosq},
         {&TMapper::El_ElC_dT, dT * f * cosq}});
    add(c.elevation, -toElevation * kPolyRadToDeg,
        {{&TMapper::B_plus, El},
         {&TMapper::A_plus, El * El},
         {&TMapper::C_plus, El * El * El},
         {&TMapper::K_minus, f * kDegToRad},
         {&TMapper::B_minus, f * El},
         {&TMapper::A_minus, f * El * El},
         {&TMapper::C_minus, f * El * El * El}});
    return c;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_ELEMENT_COLUMNS_H
