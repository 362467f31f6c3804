#include <cstring>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_cases.h"
#include "fits/interball_fit.h"
#include "fits/interball_scene.h"

namespace compensation::testing {
namespace {

int CallSix(CCompensation& engine, InterballScene& s, TMapper& map, TCompOut& out, int flag) {
    return engine.CalculateFFC6axy123(s.readings.data(), s.nCount, s.nViews, s.PairTable(), &map,
                                      &out, flag);
}

// All 24 elements, in the fit's solution order: the full fit's sixteen, then the fifth and
// sixth harmonics.
INSTANTIATE_TEST_SUITE_P(SixHarmonic, InterballFamily,
                         ::testing::Values(InterballFitCase{"SixHarmonic", CallSix,
                                                            AllInterballElements()}),
                         [](const auto& info) { return info.param.name; });

TEST(SixHarmonicInterball, OneElevationLeavesTheModelAndReportsNotConverged) {
    TMapper truth{};
    truth.Ay = -1e-3;
    truth.A3_5AzS = 5e-4;
    truth.Az_6AzC = 3e-4;
    const double elevationDeg = 25.0;
    InterballScene scene = MakeScene(truth, 12, 8, &elevationDeg, false);
    TMapper map = truth;
    TCompOut out{};
    CCompensation engine;
    EXPECT_EQ(CallSix(engine, scene, map, out, 1), kInterballNotConverged);
    EXPECT_EQ(std::memcmp(&map, &truth, sizeof map), 0);
}

}  // namespace
}  // namespace compensation::testing
