#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_cases.h"
#include "fits/interball_fit.h"
#include "fits/interball_scene.h"

namespace compensation::testing {
namespace {

int CallQuick(CCompensation& engine, InterballScene& s, TMapper& map, TCompOut& out, int flag) {
    return engine.CalculateQC_axy(s.readings.data(), s.nCount, s.nViews, s.PairTable(), &map, &out,
                                  flag);
}

INSTANTIATE_TEST_SUITE_P(Quick, InterballFamily,
                         ::testing::Values(InterballFitCase{
                             "Quick", CallQuick, {&TMapper::Ax, &TMapper::Ay}}),
                         [](const auto& info) { return info.param.name; });

// Targets all at one elevation, seen from one place, do not make Ax and Ay indeterminate (unlike
// the A1 and A3 harmonics of the larger fits): their columns stay independent and the fit
// recovers them as it does from spread elevations (the bound of the family's recovery test).
TEST(QuickInterball, OneElevationStillDeterminesAxAndAy) {
    TMapper truth{};
    truth.Ax = 1e-3;
    truth.Ay = -7e-4;
    truth.A1 = 2e-3;
    const double elevationDeg = 10.0;
    InterballScene scene = MakeScene(truth, 12, 8, &elevationDeg, false);
    TMapper map = truth;
    map.Ax = 0.0;
    map.Ay = 0.0;
    TCompOut out{};
    CCompensation engine;
    EXPECT_EQ(CallQuick(engine, scene, map, out, 1), kInterballNotConverged);
    EXPECT_NEAR(map.Ax, truth.Ax, kAngleToleranceDeg / 4);
    EXPECT_NEAR(map.Ay, truth.Ay, kAngleToleranceDeg / 4);
}

}  // namespace
}  // namespace compensation::testing
