// The shared averages and the mean-and-spread routine behind every fit's outlier test.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "support/trace_dir.h"

namespace {

class Statistics : public ::testing::Test {
  protected:
    compensation::testing::ScopedTraceDir trace_;
    CCompensation engine_;
};

TEST_F(Statistics, AveragesCoverTheHalfOpenStretch) {
    double a[] = {9.0, 1.0, 2.0, 6.0, 100.0};
    double b[] = {9.0, 3.0, -1.0, 0.5, 100.0};
    EXPECT_EQ(engine_.Average(a, 1, 4), 3.0);
    EXPECT_EQ(engine_.AverageProduct(a, b, 1, 4), (3.0 - 2.0 + 3.0) / 3.0);
    EXPECT_EQ(engine_.Average(a, 0, 1), 9.0);
}

TEST_F(Statistics, EmptyAndReversedStretchesDivideByTheirLength) {
    double a[] = {1.0, 2.0, 3.0, 4.0, 5.0};
    EXPECT_TRUE(std::isnan(engine_.Average(a, 3, 3)));  // 0 / 0
    const double reversed = engine_.Average(a, 4, 3);   // 0.0 / -1
    EXPECT_EQ(reversed, 0.0);
    EXPECT_TRUE(std::signbit(reversed));
    EXPECT_TRUE(std::isnan(engine_.AverageProduct(a, a, 2, 2)));
}

TEST_F(Statistics, MeanSpreadAndWorstElement) {
    // Mean 5, squared deviations 9+1+1+1+0+0+4+16 = 32: sample spread sqrt(32 / 7).
    double a[] = {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0};
    double mean = 0.0, spread = 0.0;
    int worst = -1;
    ASSERT_EQ(engine_.MeanStdArray(a, 8, &mean, &spread, &worst), 0);
    EXPECT_EQ(mean, 5.0);
    EXPECT_DOUBLE_EQ(spread, std::sqrt(32.0 / 7.0));
    EXPECT_EQ(worst, 7);

    // Equal deviations: the earlier index stays.
    double pair[] = {1.0, 3.0};
    ASSERT_EQ(engine_.MeanStdArray(pair, 2, &mean, &spread, &worst), 0);
    EXPECT_EQ(mean, 2.0);
    EXPECT_DOUBLE_EQ(spread, std::sqrt(2.0));
    EXPECT_EQ(worst, 0);
}

TEST_F(Statistics, TooShortArrays) {
    double a[] = {4.0};
    double mean = -1.0, spread = -1.0;
    int worst = -7;
    EXPECT_EQ(engine_.MeanStdArray(a, 0, &mean, &spread, &worst), 1);
    EXPECT_EQ(engine_.MeanStdArray(a, -3, &mean, &spread, &worst), 1);
    EXPECT_EQ(mean, -1.0);
    EXPECT_EQ(spread, -1.0);
    EXPECT_EQ(worst, -7);

    // One element: its own mean, and the sample spread 0 / 0.
    EXPECT_EQ(engine_.MeanStdArray(a, 1, &mean, &spread, &worst), 0);
    EXPECT_EQ(mean, 4.0);
    EXPECT_TRUE(std::isnan(spread));
    EXPECT_EQ(worst, 0);
}

TEST_F(Statistics, NonFiniteSampleStillNamesAnIndex) {
    // A NaN mean makes every deviation NaN, which never beats the running largest; the
    // routine still hands back a valid index rather than the caller's stale one.
    double a[] = {1.0, std::numeric_limits<double>::quiet_NaN(), 3.0};
    double mean = 0.0, spread = 0.0;
    int worst = 12345;
    ASSERT_EQ(engine_.MeanStdArray(a, 3, &mean, &spread, &worst), 0);
    EXPECT_TRUE(std::isnan(mean));
    EXPECT_TRUE(std::isnan(spread));
    EXPECT_EQ(worst, 0);
}

}  // namespace
