// The face-free elevation polynomial (B_minus El + A_minus El^2 + C_minus El^3) of the check and
// FBB interball fits: which samples they take, their design columns, and their rows for the run
// report.
#ifndef COMPENSATION_FITS_ELEVATION_POLYNOMIAL_H
#define COMPENSATION_FITS_ELEVATION_POLYNOMIAL_H

#include <cmath>
#include <optional>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "fits/point_gradients.h"
#include "model/live.h"
#include "model/vec3.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

inline constexpr int kPolynomialTerms = 3;  // El, El^2, El^3

// How each target pair's distance is pinned down.
enum class PairDistance {
    kInlineView,  // the check fit: the distance measured in the in-line view
    kCentred,     // the FBB fit: unknown, removed by centring the pair's samples
};

// A sample counts when both raw readings are live and far enough apart in raw elevation.
inline bool PolynomialSampleCounts(const CVector& a, const CVector& b) {
    return IsLive(a) && IsLive(b) && std::fabs(a.Elevation - b.Elevation) > kTenDegrees;
}

// 2 (P_a - P_b) . (g_a E_a^p - g_b E_b^p), g the elevation gradient: the polynomial term
// El^p lowers the elevation by El^p per unit of its coefficient.
inline double PolynomialColumn(const CVector& a, const Vec3& gradientOfA, const CVector& b,
                               const Vec3& gradientOfB, int power) {
    double wa = a.Elevation;
    double wb = b.Elevation;
    for (int p = 1; p < power; ++p) {
        wa *= a.Elevation;
        wb *= b.Elevation;
    }
    const Vec3 gradientA = Scaled(gradientOfA, wa);
    const Vec3 gradientB = Scaled(gradientOfB, wb);
    return 2.0 * Dot(Minus(PositionOf(a), PositionOf(b)), Minus(gradientA, gradientB));
}

inline double PolynomialColumn(const CVector& a, const CVector& b, int power) {
    return PolynomialColumn(a, GradientElevation(a), b, GradientElevation(b), power);
}

// Where the fit finds its readings in the snapshot: `perView` targets in each of `views` views
// of set `set`; the check fit's in-line view is `inlineView`.
struct PolynomialViews {
    int set;
    int perView;
    int views;
    PairDistance distance;
    int inlineView;
};

// The rows of the check or FBB interball fit at `model`.
std::optional<FitDerivatives> ElevationPolynomialRows(const Snapshot& snapshot,
                                                      const PolynomialViews& where,
                                                      const TMapper& model,
                                                      const std::vector<double TMapper::*>& inputs);

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_ELEVATION_POLYNOMIAL_H
