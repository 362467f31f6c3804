// The angles between two lines of sight, as the selection and the placement evaluators judge them.
#ifndef COMPENSATION_MODEL_SIGHT_ANGLE_H
#define COMPENSATION_MODEL_SIGHT_ANGLE_H

#include <algorithm>
#include <cmath>

#include "compensation/vector.h"
#include "engine/constants.h"

namespace compensation::detail {

// CVector::InterVectorAngle, except that targets on one line of sight, whose cosine rounds a
// unit above 1 where acos has no value, get their angle, 0, instead of NaN: otherwise the pair
// most exactly in line would be the one passed over. Targets at the instrument's centre still
// have no angle.
inline double SightAngle(const CVector& a, const CVector& b) {
    CVector ruler;
    const double angle = ruler.InterVectorAngle(a, b);
    if (!std::isnan(angle)) {
        return angle;
    }
    const double cosine = (a.X * b.X + a.Y * b.Y + a.Z * b.Z) / (a.Range * b.Range);
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

// Azimuth separation folded across the +-pi seam, so that 170 and -170 degrees lie 20 degrees
// apart.
inline double AzimuthSeparation(double first, double second) {
    const double separation = std::fabs(first - second);
    return separation > kPiSeam ? std::fabs(separation - kTwoPiSeam) : separation;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_SIGHT_ANGLE_H
