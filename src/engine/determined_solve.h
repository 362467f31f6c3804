// The fits' normal equations, solved only when the data determine them.
#ifndef COMPENSATION_ENGINE_DETERMINED_SOLVE_H
#define COMPENSATION_ENGINE_DETERMINED_SOLVE_H

#include <array>
#include <cmath>

#include "engine/constants.h"

namespace compensation::detail {

// A pivot at or below this share of its original diagonal entry is rounding: the column is a
// combination of the others, and the data cannot tell those elements apart.
inline constexpr double kSingularPivotRatio = 1e-12;

// The largest system any fit solves: the six-harmonic interball fit's 24 elements. The systems
// are solved in place, without allocation.
inline constexpr int kMostUnknowns = 24;

// Solves the symmetric system matrix x = rhs (n x n, row by row; both overwritten) by
// elimination from the last variable to the first, without pivoting. CTransform::SysLinEq is
// this solver.
void SolveSymmetric(int n, double* matrix, double* rhs, double* solution);

// Solves the symmetric system (row by row, overwritten) with SolveSymmetric. False when
// the system is singular to working precision (the elimination leaves each pivot on the
// diagonal, where no later step changes it), including an empty sample's 0/0, or when a
// solution is not finite even once turned into degrees, so that nothing non-finite can reach a
// model.
inline bool SolveDetermined(int n, double* matrix, double* rhs, double* solution) {
    if (n < 1 || n > kMostUnknowns) {
        return false;
    }
    std::array<double, kMostUnknowns> diagonal{};
    for (int k = 0; k < n; ++k) {
        diagonal[static_cast<std::size_t>(k)] = matrix[k * n + k];
    }
    SolveSymmetric(n, matrix, rhs, solution);
    for (int k = 0; k < n; ++k) {
        if (!(matrix[k * n + k] > kSingularPivotRatio * diagonal[static_cast<std::size_t>(k)]) ||
            !std::isfinite(solution[k] * kRadToDeg)) {
            return false;
        }
    }
    return true;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_DETERMINED_SOLVE_H
