// The four closed-form pair fits (X0/Y0, Ax/Ay, D2, K_minus) on data built from a chosen truth.
//
// Every scenario sees the same two world targets from nine instrument placements (and, for D2
// and K_minus, from four outside placements), with raw readings made by inverting the
// calibration under the true model. The true model also holds elements the fit does not
// estimate, so each fit must find its own with the others in place.
//
// Tolerance of the recovered values: the fits are first-order steps about the reading
// calibrated with their elements at 0. What they neglect is the product of their elements'
// effect with the model's angular corrections (about 9e-5 rad for the background model, plus the
// fitted element's own 3e-5 rad at most), so the relative error is below 1.2e-4; 2e-4 of the
// chosen value bounds it. The errors measured are 1e-5 to 3e-5 of the value.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/pair_scenarios.h"

namespace {

using compensation::testing::Point3;
using pairscenarios::BackgroundModel;
using pairscenarios::Lengthened;
using pairscenarios::SameTargetsFromViews;

constexpr int kViews = 9;
constexpr int kOutsideViews = 4;
constexpr double kRelativeTolerance = 2e-4;
// An outlier pair 0.2 mm too long among about ten pairs spreads the separations by some 6e-5 m,
// well above the rejection limit 1.27e-05.
constexpr double kOutlierLength = 2e-4;

using FitCall =
    std::function<int(CCompensation&, std::vector<CVector>& pairs, std::vector<CVector>& outside,
                      int pairCount, TMapper*, TCompOut*, int)>;

struct Scenario {
    std::string name;
    int elementCount;
    double TMapper::*elements[2];
    double truth[2];
    Point3 a;
    Point3 b;
    bool againstOutside;
    int minCountOffset;  // the fit needs at least m_nMinCount + this live pairs
    int tooFew;
    int rejected;
    int notConverged;
    double TCompOut::*spread;
    double tolerance;  // largest change that settles, in the model's unit
    FitCall call;
};

int CallX0Y0(CCompensation& engine, std::vector<CVector>& pairs, std::vector<CVector>&, int n,
             TMapper* map, TCompOut* out, int flag) {
    return engine.Calculate_x0y0(pairs.data(), n, map, out, flag);
}
int CallAxAy(CCompensation& engine, std::vector<CVector>& pairs, std::vector<CVector>&, int n,
             TMapper* map, TCompOut* out, int flag) {
    return engine.Calculate_axay(pairs.data(), n, map, out, flag);
}
int CallD2(CCompensation& engine, std::vector<CVector>& pairs, std::vector<CVector>& outside, int n,
           TMapper* map, TCompOut* out, int flag) {
    return engine.Calculate_d2(outside.data(), static_cast<int>(outside.size()), pairs.data(), n,
                               map, out, flag);
}
int CallCm(CCompensation& engine, std::vector<CVector>& pairs, std::vector<CVector>& outside, int n,
           TMapper* map, TCompOut* out, int flag) {
    return engine.Calculate_cm(outside.data(), static_cast<int>(outside.size()), pairs.data(), n,
                               map, out, flag);
}

const Scenario kScenarios[] = {
    {"x0y0",
     2,
     {&TMapper::X0, &TMapper::Y0},
     {4e-5, -2.5e-5},
     // Nearly in line in azimuth, far apart in range and elevation: what X0/Y0 need.
     {0.4, 1.2, 2.5},
     {-0.3, -0.8, 7.0},
     false,
     2,
     19,
     22,
     25,
     &TCompOut::m_dStdx0y0,
     5.08e-07,
     CallX0Y0},
    {"axay",
     2,
     {&TMapper::Ax, &TMapper::Ay},
     {3e-4, -2e-4},
     // About 80 degrees apart in azimuth.
     {2.0, 0.5, 3.0},
     {-2.5, -0.4, 2.8},
     false,
     0,
     20,
     23,
     26,
     &TCompOut::m_dStdaxay,
     7.494287960311168e-06,
     CallAxAy},
    {"d2",
     1,
     {&TMapper::D2, nullptr},
     {3e-5, 0.0},
     {0.5, 0.3, 3.0},
     {-0.4, -0.2, 7.5},
     true,
     0,
     21,
     24,
     27,
     &TCompOut::m_dStd2,
     5.08e-07,
     CallD2},
    {"cm",
     1,
     {&TMapper::K_minus, nullptr},
     {0.002, 0.0},
     {0.5, 0.3, 3.0},
     {-0.4, -0.2, 7.5},
     true,
     0,
     21,
     24,
     27,
     &TCompOut::m_dStdExtraIn,
     7.494287960311168e-06,
     CallCm},
};

TMapper TrueModel(const Scenario& s) {
    TMapper map = BackgroundModel();
    for (int i = 0; i < s.elementCount; ++i) {
        map.*s.elements[i] = s.truth[i];
    }
    return map;
}

// The model the fit starts from: the truth with the fit's own elements at `entry`.
TMapper EntryModel(const Scenario& s, double entry) {
    TMapper map = TrueModel(s);
    for (int i = 0; i < s.elementCount; ++i) {
        map.*s.elements[i] = entry;
    }
    return map;
}

TCompOut Sentinel() {
    TCompOut out;
    std::memset(&out, 0x5a, sizeof out);
    return out;
}

bool SameBytes(const TCompOut& x, const TCompOut& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
}

// Every element other than the fit's own is left exactly as it was.
void ExpectOthersUnchanged(const Scenario& s, const TMapper& before, const TMapper& after) {
    TMapper x = before;
    TMapper y = after;
    for (int i = 0; i < s.elementCount; ++i) {
        x.*s.elements[i] = 0.0;
        y.*s.elements[i] = 0.0;
    }
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
}

class PairFitTest : public testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        const Scenario& s = GetParam();
        truth_ = TrueModel(s);
        pairs_ = Pairs(kViews);
        if (s.againstOutside) {
            outside_ =
                SameTargetsFromViews(kOutsideViews, s.a, s.b, &truth_, 0.3, {0.0, -1.5, -3.0}, 0.2);
        }
        engine_.m_nMinCount = 6;
    }

    // The fit's pairs from `views` placements; the pair `outlier` (if any) is too long.
    std::vector<CVector> Pairs(int views, int outlier = -1) {
        const Scenario& s = GetParam();
        std::vector<CVector> pairs =
            SameTargetsFromViews(views, s.a, s.b, &truth_, 0.1, {0.0, 1.0, 2.0}, 0.2);
        if (outlier >= 0) {
            std::vector<CVector> bad =
                SameTargetsFromViews(views, s.a, Lengthened(s.a, s.b, kOutlierLength), &truth_, 0.1,
                                     {0.0, 1.0, 2.0}, 0.2);
            pairs[2 * outlier] = bad[2 * outlier];
            pairs[2 * outlier + 1] = bad[2 * outlier + 1];
        }
        return pairs;
    }

    int Run(std::vector<CVector>& pairs, int n, TMapper* map, TCompOut* out, int flag) {
        return GetParam().call(engine_, pairs, outside_, n, map, out, flag);
    }

    CCompensation engine_;
    TMapper truth_{};
    std::vector<CVector> pairs_;
    std::vector<CVector> outside_;
};

TEST_P(PairFitTest, RecoversTheChosenElementsInOneStepAndSettlesOnTheNext) {
    const Scenario& s = GetParam();
    TMapper map = EntryModel(s, 0.0);
    const TMapper before = map;
    TCompOut out = Sentinel();
    EXPECT_EQ(Run(pairs_, kViews, &map, &out, 1), s.notConverged);
    for (int i = 0; i < s.elementCount; ++i) {
        EXPECT_NEAR(map.*s.elements[i], s.truth[i], kRelativeTolerance * std::fabs(s.truth[i]));
    }
    ExpectOthersUnchanged(s, before, map);
    // Exact data: the separations agree to the second-order remainder, 1e-10 m.
    EXPECT_LT(out.*s.spread, 1e-9);

    // The step is absolute (always taken from the elements at 0), so the second call finds the
    // same values bit for bit and reports them settled.
    const TMapper first = map;
    EXPECT_EQ(Run(pairs_, kViews, &map, &out, 0), 0);
    EXPECT_EQ(std::memcmp(&first, &map, sizeof map), 0);
}

// The step does not depend on the entry values, so the change it reports is exactly the entry's
// distance from its solution: 0.98 and 1.02 of the limit either side of it.
TEST_P(PairFitTest, ConvergenceIsTheLargestChangeAgainstTheLimit) {
    const Scenario& s = GetParam();
    TMapper map = EntryModel(s, 0.0);
    TCompOut out{};
    Run(pairs_, kViews, &map, &out, 1);
    const TMapper solution = map;
    for (int i = 0; i < s.elementCount; ++i) {
        for (double factor : {0.98, 1.02}) {
            map = solution;
            map.*s.elements[i] += factor * s.tolerance;
            EXPECT_EQ(Run(pairs_, kViews, &map, &out, 1), factor < 1.0 ? 0 : s.notConverged)
                << "element " << i << " factor " << factor;
            EXPECT_EQ(map.*s.elements[i], solution.*s.elements[i]);
        }
    }
}

TEST_P(PairFitTest, RunsFromTheLeastLivePairCountAndNotBelowIt) {
    const Scenario& s = GetParam();
    const int least = engine_.m_nMinCount + s.minCountOffset;
    // A wild pair marked with Quality exactly 50.0 is not live and counts for nothing.
    std::vector<CVector> pairs = Pairs(least + 1, 0);
    pairs[0].Quality = 50.0;

    TMapper map = EntryModel(s, 1e-6);
    TCompOut out = Sentinel();
    EXPECT_EQ(Run(pairs, least, &map, &out, 1), s.tooFew);
    for (int i = 0; i < s.elementCount; ++i) {
        EXPECT_EQ(map.*s.elements[i], 0.0) << "left at 0 when no fit is made";
    }
    EXPECT_TRUE(SameBytes(out, Sentinel()));

    EXPECT_EQ(Run(pairs, least + 1, &map, &out, 1), s.notConverged);
    for (int i = 0; i < s.elementCount; ++i) {
        EXPECT_NEAR(map.*s.elements[i], s.truth[i], kRelativeTolerance * std::fabs(s.truth[i]));
    }
}

TEST_P(PairFitTest, RejectsOnlyWithMoreThanTheLeastCountAndOnlyWhenSettled) {
    const Scenario& s = GetParam();
    const int outlier = 4;
    std::vector<CVector> pairs = Pairs(kViews, outlier);
    TMapper map = EntryModel(s, 0.0);
    TCompOut out{};

    // Not settled yet: never rejects, whatever the flag.
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 0), s.notConverged);
    EXPECT_GT(out.*s.spread, 1.27e-05);
    // Settled, but never-reject flag.
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 1), 0);

    // Exactly the least count of live pairs: settled and spread, yet no rejection.
    engine_.m_nMinCount = kViews - s.minCountOffset;
    std::vector<CVector> untouched = pairs;
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 0), 0);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].Quality, untouched[i].Quality);
    }

    // One pair more than the least count: the outlier, and only it, is rejected.
    engine_.m_nMinCount = kViews - s.minCountOffset - 1;
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 0), s.rejected);
    for (int k = 0; k < kViews; ++k) {
        const double expected = k == outlier ? 50.0 : 99.0;
        EXPECT_EQ(pairs[2 * k].Quality, expected) << "pair " << k;
        EXPECT_EQ(pairs[2 * k + 1].Quality, expected) << "pair " << k;
    }
}

TEST_P(PairFitTest, OfTwoEqualWorstPairsTheFirstIsRejected) {
    const Scenario& s = GetParam();
    // Pairs 3 and 6 are the same outlier reading, so their residuals are equal bit for bit.
    std::vector<CVector> pairs = Pairs(kViews, 3);
    pairs[12] = pairs[6];
    pairs[13] = pairs[7];
    engine_.m_nMinCount = 0;
    TMapper map = EntryModel(s, 0.0);
    TCompOut out{};
    Run(pairs, kViews, &map, &out, 1);
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 0), s.rejected);
    EXPECT_EQ(pairs[6].Quality, 50.0);
    EXPECT_EQ(pairs[7].Quality, 50.0);
    EXPECT_EQ(pairs[12].Quality, 99.0);
    EXPECT_EQ(pairs[13].Quality, 99.0);
}

// Pairs whose two readings coincide (the same target given twice) carry no slope at all: the
// solution is 0 / 0. The entry values go back into the model, the result is the not-converged
// code, and nothing else is written.
TEST_P(PairFitTest, AnUndeterminedSolutionPutsBackTheEntryValues) {
    const Scenario& s = GetParam();
    std::vector<CVector> pairs = pairs_;
    for (int k = 0; k < kViews; ++k) {
        pairs[2 * k + 1] = pairs[2 * k];
    }
    if (s.againstOutside) {
        outside_.assign(pairs.begin(), pairs.begin() + 2);
    }
    TMapper map = EntryModel(s, 1.5e-5);
    const TMapper entry = map;
    TCompOut out = Sentinel();
    std::vector<CVector> untouched = pairs;
    EXPECT_EQ(Run(pairs, kViews, &map, &out, 0), s.notConverged);
    EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
    EXPECT_TRUE(SameBytes(out, Sentinel()));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].Quality, untouched[i].Quality);
    }
}

TEST_P(PairFitTest, CountsThatDoNotFitTheArraysAreRefusedBeforeAnythingIsWritten) {
    const Scenario& s = GetParam();
    TMapper map = EntryModel(s, 1.5e-5);
    const TMapper entry = map;
    TCompOut out = Sentinel();
    EXPECT_EQ(Run(pairs_, -1, &map, &out, 0), -1);
    EXPECT_EQ(s.call(engine_, pairs_, outside_, kViews, nullptr, &out, 0), -1);
    EXPECT_EQ(s.call(engine_, pairs_, outside_, kViews, &map, nullptr, 0), -1);
    std::vector<CVector> none;
    EXPECT_EQ(s.call(engine_, none, outside_, 3, &map, &out, 0), -1);
    EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
    EXPECT_TRUE(SameBytes(out, Sentinel()));
}

// With no live outside pair there is no estimate: the element stays 0, the estimates' spread
// keeps its old value, and the reported spread is that of the uncorrected separations.
TEST_P(PairFitTest, WithoutALiveOutsidePairTheElementStaysZero) {
    const Scenario& s = GetParam();
    if (!s.againstOutside) {
        GTEST_SKIP() << "a free-constant fit has no outside pairs";
    }
    for (std::size_t i = 0; i < outside_.size(); i += 2) {
        outside_[i].Quality = 50.0;
    }
    TMapper map = EntryModel(s, 0.0);
    TCompOut out{};
    out.m_dDd2 = 7.0;
    out.m_dDcm = 7.0;
    EXPECT_EQ(Run(pairs_, kViews, &map, &out, 1), 0);
    EXPECT_EQ(map.*s.elements[0], 0.0);
    EXPECT_EQ(out.m_dDd2, 7.0);
    EXPECT_EQ(out.m_dDcm, 7.0);

    // The spread of the squared separations with the element at 0, turned into a spread of
    // separations: sigma / (2 sqrt(mean)).
    std::vector<double> d;
    for (int k = 0; k < kViews; ++k) {
        CVector a = pairs_[2 * k];
        CVector b = pairs_[2 * k + 1];
        a.Calibrate(&map);
        b.Calibrate(&map);
        d.push_back((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y) +
                    (a.Z - b.Z) * (a.Z - b.Z));
    }
    double mean = 0.0;
    for (double x : d) {
        mean += x / kViews;
    }
    double squares = 0.0;
    for (double x : d) {
        squares += (x - mean) * (x - mean);
    }
    const double expected = std::sqrt(squares / (kViews - 1)) / (2.0 * std::sqrt(mean));
    EXPECT_GT(expected, 1e-7) << "the element's effect shows";
    EXPECT_NEAR(out.*s.spread, expected, 1e-9 * expected);  // rounding of nine sums only
}

TEST_P(PairFitTest, AnOddOutsideCountIsRefused) {
    const Scenario& s = GetParam();
    if (!s.againstOutside) {
        GTEST_SKIP() << "a free-constant fit has no outside pairs";
    }
    outside_.pop_back();
    TMapper map = EntryModel(s, 1.5e-5);
    const TMapper entry = map;
    TCompOut out = Sentinel();
    EXPECT_EQ(Run(pairs_, kViews, &map, &out, 1), -1);
    EXPECT_EQ(std::memcmp(&entry, &map, sizeof map), 0);
    EXPECT_TRUE(SameBytes(out, Sentinel()));
}

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

INSTANTIATE_TEST_SUITE_P(Fits, PairFitTest, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return info.param.name;
                         });

}  // namespace
