#include <cstring>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_cases.h"
#include "fits/interball_fit.h"
#include "fits/interball_scene.h"

namespace compensation::testing {
namespace {

int CallEfc(CCompensation& engine, InterballScene& s, TMapper& map, TCompOut& out, int flag) {
    return engine.CalculateEFCaxy123(s.readings.data(), s.nCount, s.nViews, s.PairTable(), &map,
                                     &out, flag);
}

const std::vector<double TMapper::*> kEfcElements = {&TMapper::Ax,     &TMapper::Ay,
                                                     &TMapper::A1_AzS, &TMapper::A1_AzC,
                                                     &TMapper::A3_AzS, &TMapper::A3_AzC};

INSTANTIATE_TEST_SUITE_P(Efc, InterballFamily,
                         ::testing::Values(InterballFitCase{"Efc", CallEfc, kEfcElements}),
                         [](const auto& info) { return info.param.name; });

// When the held terms already make every distance constant, the six come out as zero (to
// rounding: squared distances of tens of square metres carry 1e-14 m^2, worth 1e-13 degrees
// here), the spread vanishes and a second call settles.
TEST(EfcInterball, ExactHeldModelGivesZeroTerms) {
    TMapper truth{};
    truth.A1 = 2e-3;
    truth.A1_3AzS = 8e-4;
    truth.A2_3AzC = -5e-4;
    truth.Az_2AzS = 6e-4;
    InterballScene scene = MakeScene(truth, 12, 8);
    TMapper map = truth;
    for (double TMapper::*e : kEfcElements) {
        map.*e = 0.3;
    }
    TCompOut out{};
    CCompensation engine;
    EXPECT_EQ(CallEfc(engine, scene, map, out, 1), kInterballNotConverged);
    for (double TMapper::*e : kEfcElements) {
        EXPECT_NEAR(map.*e, 0.0, 1e-11);
    }
    EXPECT_LT(out.m_dStdaxay, 1e-12);
    EXPECT_EQ(CallEfc(engine, scene, map, out, 0), 0);
}

// Targets all at one elevation, seen from one place: sin q is one number, so the A1 and A3
// columns are proportional and the system is singular. The entry values stay (finite), the fit
// reports not converged and rejects nothing.
TEST(EfcInterball, OneElevationLeavesTheModelAndReportsNotConverged) {
    TMapper truth{};
    truth.Ax = 1e-3;
    truth.A1_AzS = 5e-4;
    truth.A3_AzC = 3e-4;
    const double elevationDeg = 10.0;
    InterballScene scene = MakeScene(truth, 12, 8, &elevationDeg, false);
    scene.readings[30].Range += 1e-3;  // an outlier, which must not be acted on
    TMapper map = truth;
    TCompOut out{};
    CCompensation engine;
    EXPECT_EQ(CallEfc(engine, scene, map, out, 0), kInterballNotConverged);
    EXPECT_EQ(std::memcmp(&map, &truth, sizeof map), 0);
    for (const CVector& v : scene.readings) {
        EXPECT_EQ(v.Quality, 100.0);
    }
}

}  // namespace
}  // namespace compensation::testing
