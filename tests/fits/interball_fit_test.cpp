// The interball fits on exact readings of a model with every element near 1e-3 degrees.
#include <algorithm>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "fits/fit_scenes.h"

namespace {

using namespace fit_scenes;

constexpr int kRejected = 21;
constexpr int kNotConverged = 26;

// Every element of any interball table, ordered so that each fit estimates a leading part.
double TMapper::*const kElements[] = {
    &TMapper::Ax,      &TMapper::Ay,      &TMapper::A1_AzS,  &TMapper::A1_AzC,  &TMapper::A3_AzS,
    &TMapper::A3_AzC,  &TMapper::A1_3AzS, &TMapper::A1_3AzC, &TMapper::A2_3AzS, &TMapper::A2_3AzC,
    &TMapper::A3_3AzS, &TMapper::A3_3AzC, &TMapper::Az_2AzS, &TMapper::Az_2AzC, &TMapper::Az_4AzS,
    &TMapper::Az_4AzC, &TMapper::A1_5AzS, &TMapper::A1_5AzC, &TMapper::A2_5AzS, &TMapper::A2_5AzC,
    &TMapper::A3_5AzS, &TMapper::A3_5AzC, &TMapper::Az_6AzS, &TMapper::Az_6AzC, &TMapper::A1,
    &TMapper::A2,      &TMapper::A3,      &TMapper::Az_AzS,  &TMapper::El_ElS};

struct Member {
    const char* name;
    int (CCompensation::*call)(CVector*, int, int, int*, TMapper*, TCompOut*, int);
    int azHarmonics;  // CalculateFFCaxy123's flag (only 1 adds its Az harmonics); -1: another fit
    int estimated;    // leading elements of kElements
};
const Member kMembers[] = {{"QC_axy", &CCompensation::CalculateQC_axy, -1, 2},
                           {"EFCaxy123", &CCompensation::CalculateEFCaxy123, -1, 6},
                           {"FFCaxy123Flag0", nullptr, 0, 12},
                           {"FFCaxy123Flag2", nullptr, 2, 12},
                           {"FFCaxy123Flag1", nullptr, 1, 16},
                           {"FFC6axy123", &CCompensation::CalculateFFC6axy123, -1, 24}};

TMapper Truth(const Member* m = nullptr, double value = 0.0) {
    TMapper truth{};
    for (int p = 0; p < 29; ++p) {
        truth.*kElements[p] = m != nullptr && p < m->estimated ? value : 1e-3 * std::cos(2.1 * p);
    }
    return truth;
}

// Targets all around, -30 to +40 degrees (or all at 10) and 2.5 to 6.5 m; some pairs skipped.
struct Scene {
    Scene(int targets, int views, const TMapper& truth = Truth(), bool oneElevation = false)
        : nCount(targets), nViews(views) {
        std::vector<Point3> points;
        for (int i = 0; i < targets; ++i) {
            const double az = 2.0 * kPi * i / targets + 0.2 * std::sin(3.0 * i);
            const double el =
                (oneElevation ? 10 : -30 + 70 * std::fmod(0.618034 * i, 1.0)) * kPi / 180;
            const double r = 2.5 + 4.0 * std::fmod(0.381966 * (i + 2), 1.0);
            points.push_back({-r * std::cos(el) * std::sin(az), r * std::sin(el),
                              r * std::cos(el) * std::cos(az)});
        }
        const double move = oneElevation ? 0.0 : 0.4;  // at one elevation the instrument stays
        readings = Read(points, Placements(views, 0.1, {0, 0, 0}, move / 3, move), truth);
        pairs.assign(targets * (targets - 1) / 2, 0);
        for (std::size_t p = 5; p < pairs.size(); p += 7) {
            pairs[p] = 1;
        }
    }
    int Fit(const Member& m, TMapper& map, TCompOut& out, int flag) {
        CCompensation e;
        int* table = pairs.empty() ? nullptr : pairs.data();
        return m.call != nullptr
                   ? (e.*m.call)(readings.data(), nCount, nViews, table, &map, &out, flag)
                   : e.CalculateFFCaxy123(readings.data(), nCount, nViews, table, &map, &out, flag,
                                          m.azHarmonics);
    }
    int nCount, nViews;
    std::vector<CVector> readings;  // target i of view k at k nCount + i
    std::vector<int> pairs;         // 0 = used; empty: passed as a null pointer
};

// ctest and the test list show the member's name rather than its bytes.
void PrintTo(const Member& member, std::ostream* os) {
    *os << member.name;
}

class InterballFit : public testing::TestWithParam<Member> {
  protected:
    const Member& m() const { return GetParam(); }
    Scene scene_{12, 8};
    TMapper map_ = Truth(&m());
    TCompOut out_{};
};

// One Gauss-Newton step from 0 is exact to first order: its bias must stay within a quarter of
// the change limit, or a procedure could never settle. Exact readings spread by rounding only.
TEST_P(InterballFit, RecoversTheEstimatedElementsAndOnlyThem) {
    EXPECT_EQ(scene_.Fit(m(), map_, out_, 1), kNotConverged);
    EXPECT_LT(out_.m_dStdaxay, kRejectSpread / 50);
    TMapper chosen = map_;
    for (int p = 0; p < m().estimated; ++p) {
        EXPECT_NEAR(map_.*kElements[p], Truth().*kElements[p], kAngle / 4) << p;
        chosen.*kElements[p] = Truth().*kElements[p];
    }
    EXPECT_TRUE(SameBits(chosen, Truth()));
    EXPECT_EQ(scene_.Fit(m(), chosen, out_, 1), 0);
}

// The step is absolute, so the limit decides exactly: 0.1 % either side of it.
TEST_P(InterballFit, SettlesWhenNoElementMovesByMoreThanTheChangeLimit) {
    scene_.Fit(m(), map_, out_, 1);
    for (int p = 0; p < m().estimated; ++p) {
        for (double factor : {-1.001, -0.999, 0.999, 1.001}) {
            TMapper moved = map_;
            moved.*kElements[p] += factor * kAngle;
            EXPECT_EQ(scene_.Fit(m(), moved, out_, 1), std::fabs(factor) < 1 ? 0 : kNotConverged);
        }
    }
}

// A reading 1 mm long marks its pair in its view, adding 21 to the code, only when allowed.
TEST_P(InterballFit, RejectsTheBadReadingsPairInItsViewOnlyWhenAllowed) {
    scene_.readings[5 * 12 + 3].Range += 1e-3;
    const std::vector<CVector> clean = scene_.readings;
    EXPECT_EQ(scene_.Fit(m(), map_, out_, 1), kNotConverged);
    EXPECT_EQ(Marked(scene_.readings), 0);
    EXPECT_GT(out_.m_dStdaxay, kRejectSpread);
    TMapper unsettled = Truth(&m());
    for (TMapper* entry : {&map_, &unsettled}) {
        scene_.readings = clean;
        EXPECT_EQ(scene_.Fit(m(), *entry, out_, 0),
                  entry == &map_ ? kRejected : kRejected + kNotConverged);
        EXPECT_EQ(Marked(scene_.readings), 2);
        EXPECT_EQ(Marked(scene_.readings, 5 * 12, 6 * 12), 2);  // both in view 5, one the bad
        EXPECT_EQ(scene_.readings[5 * 12 + 3].Quality, 50.0);
    }
}

// No pair (0/0) or one elevation (A1 and A3 columns proportional) keeps the model, not
// converged; counts or arrays that cannot describe the host's arrays return -1.
TEST_P(InterballFit, UndeterminedOrRefusedInputKeepsTheModel) {
    Scene noPairs(12, 8);
    std::fill(noPairs.pairs.begin(), noPairs.pairs.end(), 1);
    Scene oneElevation(12, 8, Truth(), true);
    oneElevation.readings[30].Range += 1e-3;
    std::vector<Scene> bad(4, Scene(3, 2));
    bad[0].nCount = 1;
    bad[1].nViews = 0;
    bad[2].pairs.clear();
    bad[3].nCount = bad[3].nViews = 70000;  // positions beyond any int
    for (Scene* scene : {&noPairs, &bad[0], &bad[1], &bad[2], &bad[3], &oneElevation}) {
        TMapper map = Truth();
        TCompOut out = Sentinel();
        const bool fits = scene == &noPairs || scene == &oneElevation;
        if (m().estimated == 2 && scene == &oneElevation) {
            continue;  // Ax and Ay stay determined at one elevation
        }
        EXPECT_EQ(scene->Fit(m(), map, out, 0), fits ? kNotConverged : -1);
        EXPECT_TRUE(SameBits(map, Truth()));
        EXPECT_TRUE(fits || Untouched(out));
        EXPECT_EQ(Marked(scene->readings), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Fits, InterballFit, testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

// Rejection needs more than 0.7 P nCountViews deviations: one pair over ten views with 7 live
// (exactly 50.0 is dead) rejects nothing, with 8 it does; of the equal worst deviations (view 1
// repeating view 0) the first in pair-then-view order goes.
TEST(InterballFits, RejectionKeepsSeventyPercentAndTakesTheFirstOfATie) {
    const Member& quick = kMembers[0];
    for (int deadFrom : {7, 8}) {
        Scene scene(2, 10, TMapper{});
        scene.readings[1].Range += 1e-3;
        std::copy_n(scene.readings.begin(), 2, scene.readings.begin() + 2);
        for (int k = deadFrom; k < 10; ++k) {
            scene.readings[k * 2].Quality = 50.0;
        }
        TMapper map{};
        TCompOut out{};
        EXPECT_EQ(scene.Fit(quick, map, out, 0) % kNotConverged == kRejected, deadFrom == 8);
        EXPECT_GT(out.m_dStdaxay, kRejectSpread);
        EXPECT_EQ(Marked(scene.readings, 0, 2), deadFrom == 8 ? 2 : 0);
        EXPECT_EQ(Marked(scene.readings, 2, 14), 0);
    }
}

}  // namespace
