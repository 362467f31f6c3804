// The weighted Gauss-Newton refinement of a rigid-body transform, shared by the best fit and the
// tooling-ball fit.
//
// A nominal point P maps to T = M P + t, M being the transpose of Rz(Gamma) Ry(Beta) Rx(Alpha).
// Each step linearises T in the six parameters (Alpha, Beta, Gamma, X, Y, Z), solves the
// weighted normal equations for the step that best cancels the residuals T - B, and takes it
// unless it makes the weighted RMS distance worse.
#ifndef COMPENSATION_TRANSFORM_GAUSS_NEWTON_H
#define COMPENSATION_TRANSFORM_GAUSS_NEWTON_H

#include <cmath>

#include "compensation/records.h"
#include "compensation/transform.h"
#include "compensation/vector.h"

namespace compensation {

inline constexpr int kTransformParameters = 6;

// Partial derivatives of T = M P + t with respect to (Alpha, Beta, Gamma, X, Y, Z) at the
// nominal point (X, Y, Z); M is the rotation matrix of p. Row r is the r-th coordinate of T.
inline void TransformJacobian(const TRANSFORM_PARMS& p, const double M[3][3], double X, double Y,
                              double Z, double J[3][kTransformParameters]) {
    const double ca = std::cos(p.Alpha);
    const double sa = std::sin(p.Alpha);
    const double cb = std::cos(p.Beta);
    const double sb = std::sin(p.Beta);
    const double cg = std::cos(p.Gamma);
    const double sg = std::sin(p.Gamma);

    J[0][0] = 0.0;
    J[0][1] = -sb * cg * X - sb * sg * Y - cb * Z;
    J[0][2] = cb * (cg * Y - sg * X);

    J[1][0] = M[2][0] * X + M[2][1] * Y + M[2][2] * Z;
    J[1][1] = sa * cb * (cg * X + sg * Y) - sa * sb * Z;
    J[1][2] = -M[1][1] * X + M[1][0] * Y;

    J[2][0] = -M[1][0] * X - M[1][1] * Y - M[1][2] * Z;
    J[2][1] = ca * cb * (cg * X + sg * Y) - ca * sb * Z;
    J[2][2] = -M[2][1] * X + M[2][0] * Y;

    for (int r = 0; r < 3; ++r) {
        for (int c = 3; c < kTransformParameters; ++c) {
            J[r][c] = (c - 3 == r) ? 1.0 : 0.0;
        }
    }
}

namespace detail {

// Refines parms so that the nominal points, mapped, meet the measured ones in the weighted
// least-squares sense. Both arrays hold nCount points and are used as given (no calibration);
// pointWeights holds one weight per point and the normal equations are divided by their sum.
//
// Result: 0 converged (rotation and translation steps at most kStepTolerance), 1 a step would
// have raised the weighted RMS by more than kRmsRiseTolerance (parms keeps the transform
// before it), 2 kMaxTransformSteps steps without convergence (parms after the last step).
// A step whose RMS is not finite counts as raising it, so parms never becomes non-finite
// through this iteration.
int RefineTransform(CTransform& transform, CVector* nominal, CVector* measured,
                    const double* pointWeights, int count, TRANSFORM_PARMS* parms);

}  // namespace detail
}  // namespace compensation

#endif  // COMPENSATION_TRANSFORM_GAUSS_NEWTON_H
