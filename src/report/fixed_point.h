// The covariance of a procedure's estimate from the linearisation of its fits' joint fixed
// point (the derivation is in include/compensation/run_report.h).
#ifndef COMPENSATION_REPORT_FIXED_POINT_H
#define COMPENSATION_REPORT_FIXED_POINT_H

#include <cstddef>
#include <string>
#include <vector>

#include "report/run_record.h"

namespace compensation::detail {

struct FixedPointCovariance {
    std::vector<double TMapper::*> elements;  // fitted elements, fit by fit
    std::vector<std::string> fits;            // the fit of each element
    std::vector<double> covariance;           // row-major, in the elements' stored units
    std::vector<double> jacobian;             // dphi/dtheta, row-major
    std::vector<int> owner;                   // per element: its fit's place in the loop
    bool solved = false;                      // false when I - dphi/dtheta is singular
};

// Linearises the snapshot's fits at `fixedPoint`; `engine` runs the fits (its trace is not
// written: the fits the snapshots call do not trace). With `covariance` false only the fitted
// elements are found (one call of each fit), and `covariance` stays empty. Each fit's
// derivatives come from its rows when it has them, else (and for every fit with
// `byDifferences`) from forward differences, whose fit calls are shared among up to `threads`
// threads (each needs 64 calls or more).
FixedPointCovariance LinearisedCovariance(CCompensation& engine, Snapshot& snapshot,
                                          const TMapper& fixedPoint, const NoiseEstimate& noise,
                                          bool covariance = true, bool byDifferences = false,
                                          std::size_t threads = 1);

// The final joint loop's rate per pass and the pair of fits that feed each other most, from the
// linearisation (`fitNames` in the loop's order).
LoopContraction JointLoopContraction(const FixedPointCovariance& linearised,
                                     const std::vector<std::string>& fitNames);

// Where the processor has them, the loops of a function so marked run on vectors of four. Its
// sums are split the same way on every processor and no multiply is fused with an add, so
// that each gives the same bits.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define COMPENSATION_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define COMPENSATION_WIDE_VECTORS
#endif

// into[0 .. n) += a from[0 .. n); the two never overlap, which lets the loop run on vectors.
inline void AddScaled(double a, const double* __restrict from, double* __restrict into,
                      std::size_t n) {
    for (std::size_t j = 0; j < n; ++j) {
        into[j] += a * from[j];
    }
}

// A row of a long matrix (copies or readings along it) whose non-zero values lie in
// [first, last); the row itself is whole.
struct BandedRow {
    const double* values;
    std::size_t first;
    std::size_t last;
};

// The row of `n` values at `values`, with its band.
BandedRow Banded(const double* values, std::size_t n);

// into[i * stride + j] += a[i] . b[j] for every pair of rows; with `upper` (a and b the same
// rows) for j >= i only. Two rows of each are taken at once, over the union of their bands, so
// that each value loaded serves two products.
void AddRowProducts(const std::vector<BandedRow>& a, const std::vector<BandedRow>& b, bool upper,
                    double* into, std::size_t stride);

// into[0 .. n) = sum over q < count of weights[q] rows[q * stride + (0 .. n)], each entry summed
// in the order of q (as `count` AddScaled into zeros would), held in registers meanwhile.
void CombineRows(const double* weights, std::size_t count, const double* rows, std::size_t stride,
                 double* into, std::size_t n);

// Solves A X = B for X in place (A n x n, B n x m, row-major) with partial pivoting; false
// when a pivot vanishes.
bool SolveGeneral(int n, int m, std::vector<double> a, std::vector<double>& b);

// A^-1 of the n x n row-major A into `inverse`; false when a pivot vanishes.
bool Invert(int n, std::vector<double> a, std::vector<double>& inverse);

// The rows of a dense row-major matrix, each whole.
std::vector<BandedRow> WholeRows(const double* matrix, std::size_t rows, std::size_t width);

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_FIXED_POINT_H
