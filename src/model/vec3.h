// The one Cartesian 3-vector of the library: positions, displacements and gradients of a point.
// Each operation sums its terms in one written order, so a value is the same bits wherever it is
// taken.
#ifndef COMPENSATION_MODEL_VEC3_H
#define COMPENSATION_MODEL_VEC3_H

#include <cmath>

#include "compensation/vector.h"

namespace compensation {

struct Vec3 {
    double x;
    double y;
    double z;
};

inline Vec3 PositionOf(const CVector& v) {
    return {v.X, v.Y, v.Z};
}

inline Vec3 Minus(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Vec3 Scaled(const Vec3& a, double factor) {
    return {a.x * factor, a.y * factor, a.z * factor};
}

inline double Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double Norm(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}

inline Vec3 Unit(const Vec3& a) {
    return Scaled(a, 1.0 / Norm(a));
}

// Straight-line distance between two measured points (what CVector::InterVectorRange returns).
inline double DistanceBetween(const CVector& a, const CVector& b) {
    const double dz = a.Z - b.Z;
    const double dy = a.Y - b.Y;
    const double dx = a.X - b.X;
    return std::sqrt(std::fabs(dz * dz + dy * dy + dx * dx));
}

}  // namespace compensation

#endif  // COMPENSATION_MODEL_VEC3_H
