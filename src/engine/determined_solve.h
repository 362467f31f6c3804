// The fits' normal equations: built from the design columns, and solved only when the data
// determine them.
//
// Entry (a, b) is the mean of the products of columns a and b over the rows, summed from the
// first row to the last starting at 0.0 and divided by the row count: exactly the sum that
// CCompensation::AverageProduct forms, so the same bits. Built entry by entry, every entry is a
// pass over the rows whose additions wait on each other; here the upper triangle is built
// (the lower one mirrors it) four entries at a time in one pass, four independent sums that the
// processor overlaps.
#ifndef COMPENSATION_ENGINE_DETERMINED_SOLVE_H
#define COMPENSATION_ENGINE_DETERMINED_SOLVE_H

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "engine/constants.h"

namespace compensation::detail {

// columns[0 .. n-1] and observations each hold `count` rows; matrix is n x n row by row, rhs
// has n entries (the means of each column times the observations).
inline void BuildNormalEquations(const double* const* columns, int n, const double* observations,
                                 int count, double* matrix, double* rhs) {
    constexpr int kBlock = 4;
    const double rows = static_cast<double>(count);
    for (int r = 0; r < n; ++r) {
        const double* a = columns[r];
        // Partners r .. n-1, then the observations (partner n).
        for (int first = r; first <= n; first += kBlock) {
            const double* b[kBlock];
            for (int k = 0; k < kBlock; ++k) {
                const int partner = first + k;
                b[k] = partner < n ? columns[partner] : observations;
            }
            const double* const b0 = b[0];
            const double* const b1 = b[1];
            const double* const b2 = b[2];
            const double* const b3 = b[3];
            double s0 = 0.0;
            double s1 = 0.0;
            double s2 = 0.0;
            double s3 = 0.0;
            for (int j = 0; j < count; ++j) {
                const double x = a[j];
                s0 += x * b0[j];
                s1 += x * b1[j];
                s2 += x * b2[j];
                s3 += x * b3[j];
            }
            const double sum[kBlock] = {s0, s1, s2, s3};
            for (int k = 0; k < kBlock && first + k <= n; ++k) {
                const int partner = first + k;
                const double mean = sum[k] / rows;
                if (partner == n) {
                    rhs[r] = mean;
                } else {
                    matrix[r * n + partner] = mean;
                    matrix[partner * n + r] = mean;
                }
            }
        }
    }
}

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

// Columns whose elements the data cannot tell from the others. For a column-equilibrated normal
// matrix C (unit diagonal), (C^-1)_kk is the variance inflation of element k: the factor by
// which the other columns multiply its variance over what an orthogonal design of the same
// data would give. Every well-spread layout of the bundled examples and of the simulated
// scenarios stays below 30 in every two-face stage; targets crowded within a degree of one
// elevation make A1 and A3 (tan h against 1/cos h) reach 1e4 and more. Above this bound an
// element is known a hundred times worse than the readings allow: its value is noise, and it
// is left undetermined rather than written.
inline constexpr double kMostVarianceInflation = 1e4;

// Marks in `undetermined` the columns whose variance inflation exceeds the bound; false when
// none does, and when the matrix is singular to working precision (that stays the solver's
// test, which refuses the whole system).
inline bool FindUndeterminedColumns(int n, const double* matrix, bool* undetermined) {
    if (n < 2 || n > kMostUnknowns) {
        return false;
    }
    constexpr std::size_t kMost = kMostUnknowns;
    std::array<double, kMost * kMost> c{};
    std::array<double, kMost * kMost> inverse{};
    const auto N = static_cast<std::size_t>(n);
    for (std::size_t a = 0; a < N; ++a) {
        for (std::size_t b = 0; b < N; ++b) {
            c[a * N + b] = matrix[a * N + b] / std::sqrt(matrix[a * N + a] * matrix[b * N + b]);
        }
        inverse[a * N + a] = 1.0;
    }
    // Gauss-Jordan with partial pivoting.
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < N; ++row) {
            if (std::fabs(c[row * N + col]) > std::fabs(c[pivot * N + col])) {
                pivot = row;
            }
        }
        if (!(std::fabs(c[pivot * N + col]) > 0.0)) {
            return false;
        }
        for (std::size_t k = 0; k < N; ++k) {
            std::swap(c[col * N + k], c[pivot * N + k]);
            std::swap(inverse[col * N + k], inverse[pivot * N + k]);
        }
        const double scale = 1.0 / c[col * N + col];
        for (std::size_t k = 0; k < N; ++k) {
            c[col * N + k] *= scale;
            inverse[col * N + k] *= scale;
        }
        for (std::size_t row = 0; row < N; ++row) {
            const double factor = c[row * N + col];
            if (row == col || factor == 0.0) {
                continue;
            }
            for (std::size_t k = 0; k < N; ++k) {
                c[row * N + k] -= factor * c[col * N + k];
                inverse[row * N + k] -= factor * inverse[col * N + k];
            }
        }
    }
    // A system singular to working precision stays the solver's to refuse, as it always was.
    bool any = false;
    for (std::size_t k = 0; k < N; ++k) {
        const double inflation = inverse[k * N + k];
        if (!std::isfinite(inflation) || inflation >= 1.0 / kSingularPivotRatio) {
            return false;
        }
        undetermined[k] = inflation > kMostVarianceInflation;
        any = any || undetermined[k];
    }
    return any;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_DETERMINED_SOLVE_H
