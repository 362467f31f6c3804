// Symmetric solver for the fits' normal equations.
//
// Elimination runs from the last variable to the first, reading row k where a textbook
// elimination reads column k, and the back-substitution reads column i above the diagonal where
// a textbook one reads row i. For a symmetric matrix these are the same numbers, and the leading
// blocks stay symmetric through the elimination. No pivoting: a parameter the data cannot
// determine gives a zero pivot and a non-finite solution, which the fits detect.
#include "compensation/transform.h"

void CTransform::SysLinEq(int n, double* pA, double* pB, double* pX) {
    if (n < 1) {
        return;
    }
    auto a = [pA, n](int r, int c) -> double& { return pA[r * n + c]; };
    for (int k = n - 1; k >= 1; --k) {
        const double pivot = a(k, k);
        for (int j = 0; j < k; ++j) {
            pB[j] = pB[j] - a(k, j) * pB[k] / pivot;
            for (int r = 0; r < k; ++r) {
                a(r, j) = a(r, j) - a(k, j) * a(r, k) / pivot;
            }
        }
    }
    pX[0] = pB[0] / a(0, 0);
    for (int i = 1; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < i; ++j) {
            sum += a(j, i) * pX[j];
        }
        pX[i] = (pB[i] - sum) / a(i, i);
    }
}
