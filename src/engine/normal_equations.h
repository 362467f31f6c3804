// The normal equations of a least-squares fit from its design columns.
//
// Entry (a, b) is the mean of the products of columns a and b over the rows, summed from the
// first row to the last starting at 0.0 and divided by the row count: exactly the sum that
// CCompensation::AverageProduct forms, so the same bits. Built entry by entry, every entry is a
// pass over the rows whose additions wait on each other; here the upper triangle is built
// (the lower one mirrors it) four entries at a time in one pass, four independent sums that the
// processor overlaps.
#ifndef COMPENSATION_ENGINE_NORMAL_EQUATIONS_H
#define COMPENSATION_ENGINE_NORMAL_EQUATIONS_H

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

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_NORMAL_EQUATIONS_H
