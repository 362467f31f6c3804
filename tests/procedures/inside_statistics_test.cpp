#include <cmath>
#include <cstdint>
#include <vector>

#include "procedures/validation_test_support.h"

namespace {

using namespace compensation;
using namespace compensation::testing;

// Distances near 1 m from coordinates near 3 m carry rounding of about 1e-15 m; the spreads
// under test are micrometres, compared to 1e-12 m.
constexpr double kSpreadTolerance = 1e-12;
const double kRootTwoThirds = std::sqrt(2.0 / 3.0) * 1e-6;

TCompOut Untouched() {
    TCompOut out{};
    out.m_dStdInside_f = out.m_dStdInside_b = out.m_dStdInside_f_out = -7.0;
    out.m_dStdInside_b_out = -7.0;
    out.m_n_f = out.m_n_b = out.m_n_f_out = out.m_n_b_out = -7;
    return out;
}

// Offsets 0, +1, -1, 0 micrometres: sample spread sqrt(2/3) micrometres over four views, 1 over
// the first three. Target A of view 3 (quality 80) is left out above the high-quality floor.
TEST(StdInterball, SpreadOfDistancesByFaceAndQuality) {
    CCompensation engine;
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 0.0});
    host[3 * 5 + 1].Quality = 80.0;
    const struct {
        int nType, nFlagUpdate;
        double TCompOut::*spread;
        std::int32_t TCompOut::*count;
        double expected;
        int used;
    } cases[] = {{100, 0, &TCompOut::m_dStdInside_f, &TCompOut::m_n_f, kRootTwoThirds, 8},
                 {200, 0, &TCompOut::m_dStdInside_b, &TCompOut::m_n_b, kRootTwoThirds, 8},
                 {100, 1, &TCompOut::m_dStdInside_f_out, &TCompOut::m_n_f_out, 1e-6, 7},
                 {200, 1, &TCompOut::m_dStdInside_b_out, &TCompOut::m_n_b_out, kRootTwoThirds, 8}};
    for (const auto& c : cases) {
        TCompOut out = Untouched();
        EXPECT_EQ(engine.StdInterball(host.data(), 20, 4, c.nType, &out, c.nFlagUpdate), 0);
        EXPECT_NEAR(out.*c.spread, c.expected, kSpreadTolerance) << c.nType << c.nFlagUpdate;
        EXPECT_EQ(out.*c.count, c.used) << c.nType << c.nFlagUpdate;
        for (const auto& other : cases) {
            EXPECT_EQ(out.*other.spread, &other == &c ? out.*c.spread : -7.0);
        }
    }
    // A negative flag measures but writes nothing; no pair of type-14 positions exists.
    TCompOut out = Untouched();
    EXPECT_EQ(engine.StdInterball(host.data(), 20, 4, 200, &out, -1), 0);
    EXPECT_EQ(engine.StdInterball(host.data(), 20, 4, 14, &out, 0), 29);
    // A pair measured in two views only, a group of one vector and no view at all.
    host[2 * 5 + 2].Quality = 70.0;
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 3, 100, &out, 1), 29);
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 15, 100, &out, 0), 29);
    EXPECT_EQ(engine.StdInterball(host.data(), 15, 0, 100, &out, 0), -1);
    for (const auto& c : cases) {
        EXPECT_EQ(out.*c.spread, -7.0);
        EXPECT_EQ(out.*c.count, -7);
    }
}

TEST(StdInterball, StaysInsideItsBufferAndTheArray) {
    CCompensation engine;
    // Four views, the fourth far off, but the caller claims three: the group size becomes
    // 20 / 3 = 6 and the fourth view's distance does not fit the buffer of three.
    std::vector<CVector> host = TwoTargetViews({0.0, 1e-6, -1e-6, 1e-3});
    TCompOut out = Untouched();
    EXPECT_EQ(engine.StdInterball(host.data(), 20, 3, 100, &out, 0), 0);
    EXPECT_NEAR(out.m_dStdInside_f, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f, 8);
    // The array ends after target A of the fourth view (address sanitizer): B is not read.
    host.resize(17);
    EXPECT_EQ(engine.StdInterball(host.data(), 17, 4, 100, &out, 1), 0);
    EXPECT_NEAR(out.m_dStdInside_f_out, 1e-6, kSpreadTolerance);
    EXPECT_EQ(out.m_n_f_out, 7);
}

TEST(StdInterball, Trace) {
    // Distances 1, 1 and 1 m + 3 micrometres: the farthest from their mean is the third.
    std::vector<CVector> host = TwoTargetViews({0.0, 0.0, 3e-6});
    TCompOut out = Untouched();
    const std::string trace = TraceOf([&](CCompensation& engine) {
        EXPECT_EQ(engine.StdInterball(host.data(), 15, 3, 100, &out, 0), 0);
    });
    EXPECT_NEAR(out.m_dStdInside_f, std::sqrt(3.0) * 1e-6, kSpreadTolerance);
    EXPECT_EQ(trace, "Entering StdInterball \n" + detail::TraceVectorLines("pVecIn", &host[0]) +
                         "       nCountIn = 15\n       nCountViews = 3\n       nType = 100\n"
                         "       nFlagUpdate = 0\nEntering MeanStdArray \n       pnOut = 2\n"
                         "Leaving MeanStdArray \n" +
                         detail::TraceCompOutLines("pCompOut", &out) +
                         "       Leaving StdInterball = 0\n");
}

}  // namespace
