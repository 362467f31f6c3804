#include <cstring>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_cases.h"
#include "fits/interball_fit.h"
#include "fits/interball_scene.h"

namespace compensation::testing {
namespace {

template <int kFlagAzHarmonics>
int CallFull(CCompensation& engine, InterballScene& s, TMapper& map, TCompOut& out, int flag) {
    return engine.CalculateFFCaxy123(s.readings.data(), s.nCount, s.nViews, s.PairTable(), &map,
                                     &out, flag, kFlagAzHarmonics);
}

std::vector<double TMapper::*> FullElements(bool azHarmonics) {
    std::vector<double TMapper::*> all = AllInterballElements();
    return {all.begin(), all.begin() + (azHarmonics ? 16 : 12)};
}

// Only a flag of exactly 1 adds the azimuth harmonics; 0 (the full compensation's) and any other
// value hold them, which the family checks bit for bit with them set in the model.
INSTANTIATE_TEST_SUITE_P(
    Full, InterballFamily,
    ::testing::Values(InterballFitCase{"FullWithAzHarmonics", CallFull<1>, FullElements(true)},
                      InterballFitCase{"FullFlag0", CallFull<0>, FullElements(false)},
                      InterballFitCase{"FullFlag2", CallFull<2>, FullElements(false)}),
    [](const auto& info) { return info.param.name; });

// One elevation from one place makes the A1 and A3 columns proportional: singular, the entry
// model stays, not converged.
TEST(FullInterball, OneElevationLeavesTheModelAndReportsNotConverged) {
    TMapper truth{};
    truth.Ax = 1e-3;
    truth.A1_3AzS = 5e-4;
    truth.Az_2AzC = 3e-4;
    const double elevationDeg = -5.0;
    InterballScene scene = MakeScene(truth, 12, 8, &elevationDeg, false);
    for (int flag : {0, 1}) {
        TMapper map = truth;
        TCompOut out{};
        CCompensation engine;
        EXPECT_EQ(CallFull<1>(engine, scene, map, out, flag), kInterballNotConverged);
        EXPECT_EQ(std::memcmp(&map, &truth, sizeof map), 0);
    }
}

}  // namespace
}  // namespace compensation::testing
