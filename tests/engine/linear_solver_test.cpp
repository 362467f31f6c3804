// The symmetric solver every fit uses for its normal equations.
#include <cmath>

#include <gtest/gtest.h>

#include "compensation/transform.h"

namespace {

TEST(LinearSolver, OrderOneDividesAndTouchesNothingElse) {
    CTransform solver;
    double a[] = {4.0};
    double b[] = {3.0};
    double x[] = {0.0};
    solver.SysLinEq(1, a, b, x);
    EXPECT_EQ(x[0], 0.75);
    EXPECT_EQ(a[0], 4.0);
    EXPECT_EQ(b[0], 3.0);
}

TEST(LinearSolver, TwoByTwoEliminatesTheLastVariableFirst) {
    CTransform solver;
    double a[] = {4.0, 2.0, 2.0, 3.0};
    double b[] = {2.0, 1.0};
    double x[] = {-1.0, -1.0};
    solver.SysLinEq(2, a, b, x);
    EXPECT_DOUBLE_EQ(x[0], 0.5);
    EXPECT_NEAR(x[1], 0.0, 1e-16);
    // The elimination of the second variable leaves its trace in the first row.
    EXPECT_DOUBLE_EQ(b[0], 2.0 - 2.0 * 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(a[0], 4.0 - 2.0 * 2.0 / 3.0);
    EXPECT_EQ(b[1], 1.0);
    EXPECT_EQ(a[3], 3.0);
}

TEST(LinearSolver, RecoversAKnownSolutionOfNormalEquations) {
    // A = J^T J of a well-conditioned 5 x 4 design, b = A x for a chosen x: the solver must
    // give x back. Condition number about 30, so 1e-13 leaves a wide margin over rounding.
    const double J[5][4] = {{1.0, 0.2, -0.3, 0.1},
                            {0.4, 1.5, 0.2, -0.2},
                            {-0.1, 0.3, 2.0, 0.5},
                            {0.2, -0.4, 0.1, 1.2},
                            {0.5, 0.5, 0.5, 0.5}};
    const double truth[4] = {0.7, -1.3, 2.5, 0.04};
    double a[16] = {};
    double b[4] = {};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 5; ++k) {
                a[r * 4 + c] += J[k][r] * J[k][c];
            }
        }
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            b[r] += a[r * 4 + c] * truth[c];
        }
    }
    double x[4] = {};
    CTransform().SysLinEq(4, a, b, x);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(x[i], truth[i], 1e-13) << i;
    }
}

TEST(LinearSolver, AnUndeterminedParameterGivesANonFiniteSolution) {
    // The second parameter never enters the data: a zero row and column, a zero pivot.
    double a[] = {2.0, 0.0, 0.0, 0.0};
    double b[] = {1.0, 0.0};
    double x[2] = {};
    CTransform().SysLinEq(2, a, b, x);
    EXPECT_FALSE(std::isfinite(x[0]) && std::isfinite(x[1]));
}

TEST(LinearSolver, OrderZeroWritesNothing) {
    double a[] = {1.0};
    double b[] = {1.0};
    double x[] = {42.0};
    CTransform().SysLinEq(0, a, b, x);
    EXPECT_EQ(x[0], 42.0);
}

}  // namespace
