// The El_ElC fit on data built from a chosen truth.
//
// Four targets per view, table targets 1 to 4 (0-based 0 to 3). The reference readings are
// taken from the instrument's home placement, the ten views from placements turned about the
// vertical at heights up to 0.8 m apart.
//
// Tolerance: 2e-4 of the chosen 0.003 degrees. The step is first order about the readings
// calibrated with El_ElC at 0; the neglected products of El_ElC's own shift (5e-5 rad) with the
// model's corrections (about 9e-5 rad) are below 1.5e-4 of the value. Measured: 2e-6.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/pair_scenarios.h"

namespace {

using compensation::testing::InstrumentPose;
using compensation::testing::Point3;
using pairscenarios::BackgroundModel;
using pairscenarios::ViewPlacement;

constexpr int kTargets = 4;
constexpr int kViews = 10;
constexpr double kTrue = 0.003;
constexpr double kTolerance = 2e-4 * kTrue;

// Four of the six pairs are far enough apart in reference range (> 3 m) and view-0 elevation
// (> 22.5 degrees): (0,1), (0,3), (1,2), (2,3).
const std::vector<Point3> kFourPairs = {
    {0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 2.2}, {0.8, 3.8, 6.5}};
// Only (0,1) qualifies.
const std::vector<Point3> kOnePair = {
    {0.3, -0.5, 2.0}, {-0.5, 2.5, 5.5}, {1.0, 0.2, 3.4}, {-1.2, 0.9, 2.4}};
// All six qualify: ranges about 3.5 m apart, elevations about 0.45 rad apart.
const std::vector<Point3> kSixPairs = {
    {0.4, -1.3, 1.8}, {-0.6, -0.6, 5.4}, {0.9, 2.7, 8.6}, {-1.0, 8.5, 9.5}};

struct BEl {
    std::vector<CVector> reference;
    std::vector<CVector> views;
};

BEl Readings(const std::vector<Point3>& targets, TMapper* truth) {
    BEl set;
    for (const Point3& t : targets) {
        set.reference.push_back(compensation::testing::RawReadingFor(
            compensation::testing::TrueReading(
                t, compensation::testing::PoseFromYaw(0.0, {0, 0, 0}), 100, 99.0),
            *truth));
    }
    for (int v = 0; v < kViews; ++v) {
        const InstrumentPose placement = ViewPlacement(v, kViews, 0.1, {0, 0, 0}, 0.8);
        for (const Point3& t : targets) {
            set.views.push_back(compensation::testing::RawReadingFor(
                compensation::testing::TrueReading(t, placement, 100, 99.0), *truth));
        }
    }
    return set;
}

TCompOut Table(int n1, int n2, int n3, int n4) {
    TCompOut out{};
    out.m_n1_d2 = n1;
    out.m_n2_d2 = n2;
    out.m_n1_extra = n3;
    out.m_n2_extra = n4;
    return out;
}

class BElFitTest : public testing::Test {
  protected:
    void SetUp() override {
        truth_ = BackgroundModel();
        truth_.El_ElC = kTrue;
        out_ = Table(1, 2, 3, 4);
    }
    int Run(BEl& set, TMapper* map, int flag) {
        return engine_.Calculate_bEl(set.reference.data(), set.views.data(), kViews, kTargets, map,
                                     &out_, flag);
    }

    CCompensation engine_;
    TMapper truth_{};
    TCompOut out_{};
};

TEST_F(BElFitTest, RecoversTheChosenTermInOneCall) {
    for (const auto* targets : {&kFourPairs, &kSixPairs}) {
        BEl set = Readings(*targets, &truth_);
        TMapper map = truth_;
        map.El_ElC = 0.0;
        EXPECT_EQ(Run(set, &map, 1), 27);
        EXPECT_NEAR(map.El_ElC, kTrue, kTolerance);
        EXPECT_LT(out_.m_dStdExtraIn, 1e-9);  // exact data: the second-order remainder only
        TMapper others = map;
        others.El_ElC = kTrue;
        EXPECT_EQ(std::memcmp(&others, &truth_, sizeof others), 0) << "no other element moves";

        const double first = map.El_ElC;
        EXPECT_EQ(Run(set, &map, 0), 0);
        EXPECT_EQ(map.El_ElC, first);
    }
}

// With one qualifying pair, a rejection needs more than nCountViews - 3 = 7 samples. The outlier
// sits in view 4; views are taken out by marking target 0 until 7, then 8 remain.
TEST_F(BElFitTest, OnePairRejectsOnlyWithMoreThanSevenSamples) {
    BEl set = Readings(kOnePair, &truth_);
    set.views[4 * kTargets + 1].Range += 2e-4;
    for (int v : {6, 7, 8}) {
        set.views[v * kTargets].Quality = 50.0;  // seven samples
    }
    TMapper map = truth_;
    Run(set, &map, 1);
    EXPECT_GT(out_.m_dStdExtraIn, 1.27e-05);
    const std::vector<CVector> before = set.views;
    EXPECT_EQ(Run(set, &map, 0), 0);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(set.views[i].Quality, before[i].Quality);
    }

    set.views[8 * kTargets].Quality = 99.0;  // eight again
    Run(set, &map, 1);
    EXPECT_EQ(Run(set, &map, 0), 24);
    EXPECT_EQ(set.views[4 * kTargets].Quality, 50.0);
    EXPECT_EQ(set.views[4 * kTargets + 1].Quality, 50.0);
}

TEST_F(BElFitTest, ConvergenceCallsNeverChangeTheReadings) {
    BEl set = Readings(kFourPairs, &truth_);
    set.views[2 * kTargets + 3].Range += 3e-4;
    const std::vector<CVector> before = set.views;
    TMapper map = truth_;
    for (int call = 0; call < 3; ++call) {
        const int status = Run(set, &map, 1);
        EXPECT_TRUE(status == 0 || status == 27);
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(set.views[i].Quality, before[i].Quality);
    }
}

// No pair far enough apart: no sample, no estimate. The entry value goes back.
TEST_F(BElFitTest, NoQualifyingPairPutsBackTheEntryValue) {
    BEl set = Readings(kOnePair, &truth_);
    out_ = Table(1, 1, 1, 1);  // one target four times: no elevation apart
    const TCompOut before = out_;
    TMapper map = truth_;
    map.El_ElC = 0.0015;
    EXPECT_EQ(Run(set, &map, 0), 27);
    EXPECT_EQ(map.El_ElC, 0.0015);
    EXPECT_EQ(std::memcmp(&before, &out_, sizeof out_), 0);
}

TEST_F(BElFitTest, TargetNumbersOutsideTheViewAreRefusedBeforeAnythingIsWritten) {
    BEl set = Readings(kFourPairs, &truth_);
    TMapper map = truth_;
    const TMapper entry = map;
    for (const TCompOut& table :
         {Table(0, 2, 3, 4), Table(1, 2, 3, kTargets + 1), Table(1, -7, 3, 4)}) {
        out_ = table;
        EXPECT_EQ(Run(set, &map, 0), -1);
        EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
        EXPECT_EQ(std::memcmp(&table, &out_, sizeof out_), 0);
    }
    out_ = Table(1, 2, 3, 4);
    EXPECT_EQ(
        engine_.Calculate_bEl(set.reference.data(), set.views.data(), 0, kTargets, &map, &out_, 0),
        -1);
    EXPECT_EQ(engine_.Calculate_bEl(nullptr, set.views.data(), kViews, kTargets, &map, &out_, 0),
              -1);
}

}  // namespace
