// The parts of the error model's evaluation that depend on the raw reading alone.
//
// The six azimuth harmonics, the half-angle q = pi/4 - El/2 and cos El cost most of a
// calibration (eight sine-cosine evaluations), yet a fit calibrates the same raw readings again
// at every pass with a new model. A fit computes them once per reading and calibrates with
// them: the same numbers as CVector::Calibrate, bit for bit, because they are the same values
// that Calibrate would compute.
#ifndef COMPENSATION_MODEL_RAW_TERMS_H
#define COMPENSATION_MODEL_RAW_TERMS_H

#include "compensation/mapper.h"
#include "compensation/vector.h"

namespace compensation::detail {

struct RawTerms {
    double s[7];  // sin k Az, k = 0 .. 6
    double c[7];  // cos k Az
    double sinq;
    double cosq;
    double cosEl;
};

// The terms of a reading's raw azimuth and elevation (radians).
RawTerms RawTermsOf(const CVector& raw);

// What CVector::Calibrate does to `v`, with the terms of its raw reading given. Without
// `cartesian`, X, Y and Z are left as they were: the passes that read only the range and the
// angles skip the two sine-cosine evaluations they cost.
void CalibrateWith(CVector& v, const TMapper& map, const RawTerms& terms, bool cartesian);

// The model applied to the reading's range and angles with sign +1 (calibrate) or -1
// (uncalibrate); the face sign must be set and not zero.
void ApplyModel(CVector& v, const TMapper& map, const RawTerms& terms, double sign);

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_RAW_TERMS_H
