// Symmetric solver for the fits' normal equations.
//
// Elimination runs from the last variable to the first, reading row k where a textbook
// elimination reads column k, and the back-substitution reads column i above the diagonal where
// a textbook one reads row i. For a symmetric matrix these are the same numbers, and the leading
// blocks stay symmetric through the elimination. No pivoting: a parameter the data cannot
// determine gives a zero pivot and a non-finite solution, which the fits detect.
#include "compensation/transform.h"
#include "engine/determined_solve.h"

namespace compensation::detail {

void SolveSymmetric(int n, double* matrix, double* rhs, double* solution) {
    if (n < 1) {
        return;
    }
    auto a = [matrix, n](int row, int col) -> double& { return matrix[row * n + col]; };
    for (int k = n - 1; k >= 1; --k) {
        const double pivot = a(k, k);
        for (int j = 0; j < k; ++j) {
            rhs[j] = rhs[j] - a(k, j) * rhs[k] / pivot;
            for (int row = 0; row < k; ++row) {
                a(row, j) = a(row, j) - a(k, j) * a(row, k) / pivot;
            }
        }
    }
    solution[0] = rhs[0] / a(0, 0);
    for (int i = 1; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < i; ++j) {
            sum += a(j, i) * solution[j];
        }
        solution[i] = (rhs[i] - sum) / a(i, i);
    }
}

}  // namespace compensation::detail

void CTransform::SysLinEq(int n, double* pA, double* pB, double* pX) {
    compensation::detail::SolveSymmetric(n, pA, pB, pX);
}
