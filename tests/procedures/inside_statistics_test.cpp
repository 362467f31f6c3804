#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "procedures/validation_test_support.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kInvalidInput;
using compensation::testing::kTwoTargetViewSize;
using compensation::testing::TraceCapture;
using compensation::testing::TwoTargetViews;

// Distances near 1 m from coordinates near 3 m carry rounding of about 1e-15 m; the spreads
// under test are micrometres, compared to 1e-12 m.
constexpr double kSpreadTolerance = 1e-12;

constexpr double kUntouched = -7.0;

TCompOut Sentinels() {
    TCompOut out{};
    out.m_dStdInside_f = out.m_dStdInside_b = kUntouched;
    out.m_dStdInside_f_out = out.m_dStdInside_b_out = kUntouched;
    out.m_n_f = out.m_n_b = out.m_n_f_out = out.m_n_b_out = -7;
    return out;
}

TEST(StdInterball, SpreadOfDistancesOverViewsByFaceAndQuality) {
    CCompensation engine;
    // Offsets 0, +1, -1, 0 micrometres: sample spread sqrt(2/3) micrometres over four views,
    // 1 micrometre over the first three.
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 0.0});
    host[3 * kTwoTargetViewSize + 1].Quality = 80.0;  // not above the high-quality floor
    const int n = static_cast<int>(host.size());

    TCompOut out = Sentinels();
    EXPECT_EQ(engine.StdInterball(host.data(), n, 4, 100, &out, 0), 0);
    EXPECT_NEAR(out.m_dStdInside_f, std::sqrt(2.0 / 3.0) * 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f, 8);
    EXPECT_EQ(out.m_dStdInside_b, kUntouched);
    EXPECT_EQ(out.m_dStdInside_f_out, kUntouched);

    EXPECT_EQ(engine.StdInterball(host.data(), n, 4, 100, &out, 1), 0);
    EXPECT_NEAR(out.m_dStdInside_f_out, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f_out, 7);

    EXPECT_EQ(engine.StdInterball(host.data(), n, 4, 200, &out, 1), 0);
    EXPECT_NEAR(out.m_dStdInside_b_out, std::sqrt(2.0 / 3.0) * 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_b_out, 8);

    // Other types or a negative flag measure but write nothing.
    TCompOut other = Sentinels();
    EXPECT_EQ(engine.StdInterball(host.data(), n, 4, 200, &other, -1), 0);
    EXPECT_EQ(engine.StdInterball(host.data(), n, 4, 14, &other, 0), 29);
    EXPECT_EQ(other.m_dStdInside_b, kUntouched);
    EXPECT_EQ(other.m_n_b, -7);
}

TEST(StdInterball, PairsMeasuredInTwoViewsOnlyCountForNothing) {
    CCompensation engine;
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6});
    host[2 * kTwoTargetViewSize + 2].Quality = 70.0;
    TCompOut out = Sentinels();
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 3, 100, &out, 1), 29);
    EXPECT_EQ(out.m_dStdInside_f_out, kUntouched);
    EXPECT_EQ(out.m_n_f_out, -7);
    // A group of one vector holds no pair.
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 15, 100, &out, 0), 29);
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 0, 100, &out, 0), kInvalidInput);
    EXPECT_EQ(out.m_dStdInside_f, kUntouched);
}

TEST(StdInterball, CollectsNoMoreViewsThanItsBufferHolds) {
    CCompensation engine;
    // Four views, of which the fourth is far off; the caller claims three views. The group
    // size becomes 20 / 3 = 6 and the distances of the fourth view do not fit the buffer.
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 1e-3});
    TCompOut out = Sentinels();
    EXPECT_EQ(engine.StdInterball(host.data(), 20, 3, 100, &out, 0), 0);
    EXPECT_NEAR(out.m_dStdInside_f, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f, 8);
}

TEST(StdInterball, StaysInsideATruncatedArray) {
    CCompensation engine;
    // The fourth view ends after target A; target B of that view lies past the end given.
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 1e-3});
    TCompOut out = Sentinels();
    EXPECT_EQ(engine.StdInterball(host.data(), 17, 4, 100, &out, 0), 0);
    EXPECT_NEAR(out.m_dStdInside_f, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f, 7);

    // The same on an array that really ends there, for the address sanitizer to watch.
    std::vector<CVector> exact(host.begin(), host.begin() + 17);
    EXPECT_EQ(engine.StdInterball(exact.data(), 17, 4, 100, &out, 1), 0);
    EXPECT_NEAR(out.m_dStdInside_f_out, 1e-6, kSpreadTolerance);
}

TEST(StdInterball, TracesArgumentsSpreadsAndRecord) {
    TraceCapture trace;
    CCompensation engine;
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6});
    TCompOut out = Sentinels();
    const std::size_t mark = trace.Size();
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 3, 100, &out, 0), 0);
    const std::string text = trace.Since(mark);
    EXPECT_EQ(text.rfind("Entering StdInterball \n   pVecIn \n       Quality   = 99.000000 \n", 0),
              0u);
    EXPECT_NE(text.find("       nCountIn = 15\n       nCountViews = 3\n       nType = 100\n"
                        "       nFlagUpdate = 0\nEntering MeanStdArray \n"),
              std::string::npos);
    EXPECT_NE(text.find("Leaving MeanStdArray \n   pCompOut \n       m_dStdR_fb         = "),
              std::string::npos);
    const std::string tail = "       Leaving StdInterball = 0\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

}  // namespace
