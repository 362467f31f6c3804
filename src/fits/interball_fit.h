// The general interball fit: model elements from the constancy of target-to-target distances.
//
// The same targets are measured from several instrument orientations (views). A distance between
// two targets does not depend on the view, so after a correct calibration every view gives the
// same distance for a pair. The fit calibrates with its elements at zero, linearises the squared
// pair distance s in them,
//
//     s_true = s + sum_p p * a_p,   a_p = 2 (A - B) . (g_p(A) - g_p(B)),
//
// where g_p is the displacement of a calibrated point per radian of element p, and chooses the
// elements (one free constant per pair) that make s_true equal across the views of every pair.
// The members of the family differ only in their element table.
#ifndef COMPENSATION_FITS_INTERBALL_FIT_H
#define COMPENSATION_FITS_INTERBALL_FIT_H

#include <cmath>

#include "compensation/engine.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "fits/table.h"
#include "model/vec3.h"

namespace compensation {

// --- Limits of the interball fits (their codes are in engine/result_codes.h) -------------------
// A pair seen in this many live views or fewer says nothing about the constancy of its distance.
inline constexpr int kInterballMaxViewsDropped = 2;
// Rejection stops once no more than this fraction of the possible pair-view distances remains.
inline constexpr double kInterballKeptFraction = 0.7;

namespace detail {

// What the design functions read of one calibrated measurement. Angles in radians; q is the
// model's half-angle pi/4 - El/2, and the fits evaluate sin El and cos El as cos 2q and sin 2q.
struct InterballTerms {
    double R;
    double X;
    double Z;
    double sinq;
    double sin2q;     // cos El
    double cos2q;     // sin El
    double sinAz[7];  // sin(k Az), k = 0 .. 6
    double cosAz[7];  // cos(k Az)

    explicit InterballTerms(const CVector& v)
        : R(v.Range), X(v.X), Z(v.Z), sinq(0), sin2q(0), cos2q(0) {
        const double q = kQuarterPi - 0.5 * v.Elevation;
        sinq = std::sin(q);
        sin2q = std::sin(2.0 * q);
        cos2q = std::cos(2.0 * q);
        for (int k = 0; k <= 6; ++k) {
            sinAz[k] = std::sin(k * v.Azimuth);
            cosAz[k] = std::cos(k * v.Azimuth);
        }
    }
};

using InterballDesignFunction = double (*)(const InterballTerms&);

// How an element moves a calibrated point.
enum class InterballDisplacement {
    // Through the angles: the elevation changes by beta per radian of the element and the point
    // moves horizontally by alpha R (alpha is cos El times the azimuth change).
    kAngles,
    // Through the azimuth alone, by the harmonic h (the Az_ elements): the point turns about the
    // vertical axis, written from the point itself as (-Z h, 0, X h).
    kAzimuthHarmonic,
};

// One row of a parameter table: the element, and how a radian of it moves a calibrated point.
struct InterballElement {
    double TMapper::*element;
    InterballDisplacement kind;
    InterballDesignFunction alpha;     // kAngles: horizontal displacement over R
    InterballDesignFunction beta;      // kAngles: elevation change
    InterballDesignFunction harmonic;  // kAzimuthHarmonic: azimuth change
};

// g_p: change of the calibrated X, Y, Z per radian of the element, as CVector::Calibrate applies
// it. The face sign cancels for every element of these tables, so the columns do not read it.
inline Vec3 DisplacementOf(const InterballElement& row, const InterballTerms& m) {
    const double sinAz = m.sinAz[1];
    const double cosAz = m.cosAz[1];
    if (row.kind == InterballDisplacement::kAzimuthHarmonic) {
        const double h = row.harmonic(m);
        return {-m.Z * h, 0.0, m.X * h};
    }
    const double alpha = row.alpha(m);
    const double beta = row.beta(m);
    const double sinEl = m.cos2q;
    const double cosEl = m.sin2q;
    return {-m.R * cosAz * alpha + m.R * sinAz * sinEl * beta, m.R * cosEl * beta,
            -m.R * sinAz * alpha - m.R * cosAz * sinEl * beta};
}

// An ordered parameter set: row index, matrix row and column and solution index are one number.
using InterballTable = Table<InterballElement>;

// The host's arguments, as every interball fit takes them.
struct InterballInput {
    CVector* measurements;  // viewCount views of targetCount targets: target i of view k at
                            // k targetCount + i
    int targetCount;
    int viewCount;
    int* pairTable;  // one entry per pair i < j in lexicographic order; 0 = used
    TMapper* model;
    TCompOut* out;
    int flagClassify;  // 0 allows the rejection of the worst pair
};

// Runs the fit with the given parameter set. Result: 0, kInterballRejected,
// kInterballNotConverged or their sum; kInvalidInput when the counts or pointers cannot describe
// the arrays (nothing written).
int RunInterballFit(const InterballInput& input, InterballTable table);

}  // namespace detail
}  // namespace compensation

#endif  // COMPENSATION_FITS_INTERBALL_FIT_H
