// The normal equations built in blocks are the engine's averages of products, bit for bit: the
// fits' results must not move by a single bit when the matrix is built faster.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/determined_solve.h"
#include "support/trace_dir.h"

namespace {

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every column count across the block boundaries (1 to 9 columns plus the observations), row
// counts that are and are not multiples of the block, values of mixed sign and scale so that
// the order of the additions shows in the last bits.
TEST(NormalEquations, EveryEntryIsTheEnginesAverageProduct) {
    const compensation::testing::ScopedTraceDir trace;
    CCompensation engine;
    for (int n = 1; n <= 9; ++n) {
        for (int count : {1, 3, 4, 5, 17, 250}) {
            std::vector<std::vector<double>> columns(n, std::vector<double>(count));
            std::vector<double> observations(count);
            for (int j = 0; j < count; ++j) {
                for (int k = 0; k < n; ++k) {
                    columns[k][j] = std::sin(1.7 * j + 0.3 * k) * std::pow(10.0, (j + k) % 7 - 3);
                }
                observations[j] = std::cos(0.9 * j) * 1e-4;
            }
            std::vector<const double*> pointers(n);
            for (int k = 0; k < n; ++k) {
                pointers[k] = columns[k].data();
            }
            std::vector<double> matrix(n * n, -1.0);
            std::vector<double> rhs(n, -1.0);
            compensation::detail::BuildNormalEquations(pointers.data(), n, observations.data(),
                                                       count, matrix.data(), rhs.data());
            for (int r = 0; r < n; ++r) {
                for (int c = 0; c < n; ++c) {
                    EXPECT_TRUE(SameBits(
                        matrix[r * n + c],
                        engine.AverageProduct(columns[r].data(), columns[c].data(), 0, count)))
                        << n << " " << count << " " << r << " " << c;
                }
                EXPECT_TRUE(SameBits(rhs[r], engine.AverageProduct(columns[r].data(),
                                                                   observations.data(), 0, count)));
            }
        }
    }
}

// No rows: every entry is 0/0, as the engine's average gives, so the fits see a singular system.
TEST(NormalEquations, NoRowsGiveNaN) {
    const double column[] = {0.0};
    const double* columns[] = {column, column};
    double matrix[4] = {};
    double rhs[2] = {};
    compensation::detail::BuildNormalEquations(columns, 2, column, 0, matrix, rhs);
    for (double entry : matrix) {
        EXPECT_TRUE(std::isnan(entry));
    }
    EXPECT_TRUE(std::isnan(rhs[0]) && std::isnan(rhs[1]));
}

}  // namespace
