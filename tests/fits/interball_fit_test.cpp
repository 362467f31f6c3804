// The interball family's shared behaviour: design rows against the calibration they linearise,
// and the general fit's stages, tested over every member (instantiated in each fit's file) and,
// where a small hand-built case decides a result code, through the quick fit.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_cases.h"
#include "fits/interball_fit.h"
#include "fits/interball_rows.h"
#include "fits/interball_scene.h"
#include "model/mapper_elements.h"

namespace compensation::testing {
namespace {

namespace rows = detail::interball_rows;

// --- Design rows --------------------------------------------------------------------------------

const detail::InterballElement kEveryRow[] = {
    rows::kAx,      rows::kAy,      rows::kA1_AzS,  rows::kA1_AzC,  rows::kA1_3AzS, rows::kA1_3AzC,
    rows::kA2_3AzS, rows::kA2_3AzC, rows::kA3_AzS,  rows::kA3_AzC,  rows::kA3_3AzS, rows::kA3_3AzC,
    rows::kAz_2AzS, rows::kAz_2AzC, rows::kAz_4AzS, rows::kAz_4AzC, rows::kA1_5AzS, rows::kA1_5AzC,
    rows::kA2_5AzS, rows::kA2_5AzC, rows::kA3_5AzS, rows::kA3_5AzC, rows::kAz_6AzS, rows::kAz_6AzC,
};

// Readings over both faces, the azimuth circle and elevations from -29 to +40 degrees.
std::vector<CVector> ProbeReadings() {
    std::vector<CVector> probes;
    for (double range : {3.0, 7.5}) {
        for (double az : {-2.5, -0.4, 0.9, 2.2}) {
            for (double el : {-0.5, 0.1, 0.7}) {
                for (int type : {100, 200}) {
                    CVector v;
                    v.Range = range;
                    v.Azimuth = az;
                    v.Elevation = el;
                    v.Radian = true;
                    v.Type = type;
                    v.Quality = 100.0;
                    if (type == 200) {
                        v.Flip();
                    }
                    v.Sphr2Cart();
                    probes.push_back(v);
                }
            }
        }
    }
    return probes;
}

// Each row's displacement is the derivative of the calibrated point in its element, taken by
// central differences of CVector::Calibrate with only that element set, in both faces. With a
// step of 1e-4 degrees (1.7e-6 rad) the truncation error is below R 27 step^2 / 6 = 1.4e-11 R
// (the angle moves by at most 3 radians per radian of element) and rounding below
// ulp(R) / (2 step) = 6.4e-11 R, so 1e-9 R leaves a margin of ten. A wrong sign, harmonic or
// face treatment errs by the order of R.
TEST(InterballRows, DisplacementIsTheDerivativeOfCalibrate) {
    constexpr double kStepDeg = 1e-4;
    for (const detail::InterballElement& row : kEveryRow) {
        for (const CVector& probe : ProbeReadings()) {
            TMapper plus{};
            TMapper minus{};
            plus.*row.element = kStepDeg;
            minus.*row.element = -kStepDeg;
            CVector a = probe;
            CVector b = probe;
            a.Calibrate(&plus);
            b.Calibrate(&minus);
            const double step = 2.0 * kStepDeg * kDegToRad;
            const detail::Displacement g =
                detail::DisplacementOf(row, detail::InterballTerms(probe));
            const double tolerance = 1e-9 * probe.Range;
            EXPECT_NEAR(g.x, (a.X - b.X) / step, tolerance);
            EXPECT_NEAR(g.y, (a.Y - b.Y) / step, tolerance);
            EXPECT_NEAR(g.z, (a.Z - b.Z) / step, tolerance);
        }
    }
}

// The quick fit's columns as its own derivation writes them, with q = pi/4 - El/2:
//   g = R (sin^2 Az cos 2q - cos^2 Az,  sin Az sin 2q,  -sin 2Az cos^2 q),
//   h = R (sin 2Az cos^2 q,  cos Az sin 2q,  -(cos^2 Az cos 2q - sin^2 Az)),
// are the general Ax and Ay rows. Both are evaluated from the same q, so they agree to rounding:
// a few ulps of R.
TEST(InterballRows, QuickColumnsAreTheGeneralAxAndAyRows) {
    for (const CVector& probe : ProbeReadings()) {
        const double R = probe.Range;
        const double q = kQuarterPi - 0.5 * probe.Elevation;
        const double sA = std::sin(probe.Azimuth);
        const double cA = std::cos(probe.Azimuth);
        const double s2A = std::sin(2.0 * probe.Azimuth);
        const double c2q = std::cos(2.0 * q);
        const double s2q = std::sin(2.0 * q);
        const double cq2 = std::cos(q) * std::cos(q);
        const detail::InterballTerms terms(probe);
        const detail::Displacement g = detail::DisplacementOf(rows::kAx, terms);
        const detail::Displacement h = detail::DisplacementOf(rows::kAy, terms);
        const double tolerance = 8e-16 * R;
        EXPECT_NEAR(g.x, R * (sA * sA * c2q - cA * cA), tolerance);
        EXPECT_NEAR(g.y, R * sA * s2q, tolerance);
        EXPECT_NEAR(g.z, -R * s2A * cq2, tolerance);
        EXPECT_NEAR(h.x, R * s2A * cq2, tolerance);
        EXPECT_NEAR(h.y, R * cA * s2q, tolerance);
        EXPECT_NEAR(h.z, -R * (cA * cA * c2q - sA * sA), tolerance);
    }
}

// --- The family over data that follow the model exactly ---------------------------------------

// Degrees per element of the chosen model; the held terms are of the same size.
constexpr double kRealisticScale = 1e-3;  // about 3.6 arcseconds, a real tracker's order
const double kPattern[24] = {1.0,  -0.7, 0.5,   -1.2,  0.8, 0.3,   -0.6, 0.9,
                             1.1,  -0.4, 0.45,  -0.85, 0.6, -0.5,  0.35, 0.7,
                             -0.3, 0.55, -0.65, 0.25,  0.4, -0.75, 0.2,  -0.45};

// Every interball element at pattern x scale, and terms that no interball fit estimates (the
// constants of the series, an azimuth harmonic, El_ElS, and D1 in metres) of the same order.
TMapper TruthModel(double scale) {
    TMapper truth{};
    const std::vector<double TMapper::*> all = AllInterballElements();
    for (std::size_t p = 0; p < all.size(); ++p) {
        truth.*all[p] = kPattern[p] * scale;
    }
    truth.A1 = 2.0 * scale;
    truth.A2 = scale;
    truth.A3 = -1.5 * scale;
    truth.Az_AzS = scale;
    truth.El_ElS = -0.8 * scale;
    truth.D1 = 5e-3 * scale;
    return truth;
}

TMapper WithEstimated(const InterballFitCase& fit, TMapper map, double value) {
    for (double TMapper::*e : fit.estimated) {
        map.*e = value;
    }
    return map;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool IsEstimated(const InterballFitCase& fit, double TMapper::*member) {
    for (double TMapper::*e : fit.estimated) {
        if (e == member) {
            return true;
        }
    }
    return false;
}

// Root-sum-square distance of the estimated elements from the truth, degrees.
double ErrorNorm(const InterballFitCase& fit, const TMapper& got, const TMapper& truth) {
    double sum = 0.0;
    for (double TMapper::*e : fit.estimated) {
        sum += (got.*e - truth.*e) * (got.*e - truth.*e);
    }
    return std::sqrt(sum);
}

constexpr int kTargets = 12;
constexpr int kViews = 8;

struct Outcome {
    int result;
    TMapper map;
    TCompOut out;
};

Outcome RunFit(const InterballFitCase& fit, InterballScene& scene, const TMapper& entry,
               int nFlagClassify) {
    CCompensation engine;
    Outcome o{0, entry, TCompOut{}};
    o.result = fit.call(engine, scene, o.map, o.out, nFlagClassify);
    return o;
}

std::vector<double> Qualities(const InterballScene& scene) {
    std::vector<double> q;
    for (const CVector& v : scene.readings) {
        q.push_back(v.Quality);
    }
    return q;
}

// One call from zero recovers the chosen model up to the linearisation's second-order bias,
// which must lie well inside the fit's own change limit (else a procedure could never settle):
// a quarter of it. Every element the fit does not estimate keeps its bits.
TEST_P(InterballFamily, RecoversTheChosenModelInOneCall) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    InterballScene scene = MakeScene(truth, kTargets, kViews);
    const std::vector<double> qualities = Qualities(scene);
    const TMapper entry = WithEstimated(fit, truth, 0.0);

    const Outcome o = RunFit(fit, scene, entry, 1);

    EXPECT_EQ(o.result, kInterballNotConverged);
    for (double TMapper::*e : fit.estimated) {
        EXPECT_NEAR(o.map.*e, truth.*e, kAngleToleranceDeg / 4);
    }
    for (const MapperElement& element : kMapperElements) {
        if (!IsEstimated(fit, element.member)) {
            EXPECT_TRUE(SameBits(o.map.*element.member, entry.*element.member)) << element.name;
        }
    }
    // The residual distances are the bias times the ranges: far below the rejection spread.
    EXPECT_LT(o.out.m_dStdaxay, kRejectSpread / 50);
    EXPECT_EQ(Qualities(scene), qualities);
}

// The fit is one Gauss-Newton step from zero: exact to first order in the model, so its error
// is quadratic. Halving every term of the model quarters the error (within 1%: the next term is
// smaller again by the model's size in radians, about 2e-5, times geometry factors), and at 1e-5
// degrees it falls below 1e-9 degrees (the quadratic law from the realistic model predicts 1e-4 of
// its error, under 1e-10; the rest is rounding of squared distances of tens of square metres). A
// wrong design column would err at first order and halve instead.
TEST_P(InterballFamily, LinearisationBiasIsSecondOrder) {
    const InterballFitCase& fit = GetParam();
    auto errorAt = [&fit](double scale) {
        const TMapper truth = TruthModel(scale);
        InterballScene scene = MakeScene(truth, kTargets, kViews);
        return ErrorNorm(fit, RunFit(fit, scene, WithEstimated(fit, truth, 0.0), 1).map, truth);
    };
    const double full = errorAt(kRealisticScale);
    const double half = errorAt(kRealisticScale / 2);
    EXPECT_NEAR(full / half, 4.0, 0.04);
    EXPECT_LT(errorAt(1e-5), 1e-9);
}

// Every call re-estimates from zero, so its entry values only decide the convergence test: a
// second call reproduces the first bit for bit and reports convergence, and a call that starts
// from the truth settles at once (the bias is inside the change limit).
TEST_P(InterballFamily, EntryValuesOnlyDecideConvergence) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    InterballScene scene = MakeScene(truth, kTargets, kViews);

    const Outcome fromZero = RunFit(fit, scene, WithEstimated(fit, truth, 0.0), 1);
    const Outcome fromFar = RunFit(fit, scene, WithEstimated(fit, truth, 0.5), 1);
    const Outcome again = RunFit(fit, scene, fromZero.map, 1);
    const Outcome fromTruth = RunFit(fit, scene, truth, 1);

    EXPECT_EQ(fromFar.result, kInterballNotConverged);
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(fromTruth.result, 0);
    for (double TMapper::*e : fit.estimated) {
        EXPECT_TRUE(SameBits(fromFar.map.*e, fromZero.map.*e));
        EXPECT_TRUE(SameBits(again.map.*e, fromZero.map.*e));
    }
}

// Not converged means that some estimated element moved by more than 7.494287960311168e-06
// degrees. The estimate does not depend on the entry, so moving one element's entry value by
// just under or just over the limit decides the code exactly, for every element of the set.
TEST_P(InterballFamily, ConvergenceLimitCoversEveryEstimatedElement) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    InterballScene scene = MakeScene(truth, kTargets, kViews);
    const TMapper estimate = RunFit(fit, scene, truth, 1).map;

    for (double TMapper::*e : fit.estimated) {
        for (double sign : {-1.0, 1.0}) {
            TMapper inside = estimate;
            TMapper outside = estimate;
            inside.*e += sign * 0.999 * kAngleToleranceDeg;
            outside.*e += sign * 1.001 * kAngleToleranceDeg;
            EXPECT_EQ(RunFit(fit, scene, inside, 1).result, 0);
            EXPECT_EQ(RunFit(fit, scene, outside, 1).result, kInterballNotConverged);
        }
    }
}

// A reading 1 mm long in range makes its view's distances to the other targets stand out. A
// fitting call leaves the array alone; an outlier call marks both measurements of the worst pair
// with 50.0: the bad reading and one target of its view. It adds 21 to the convergence code:
// 21 when the model had settled, 47 when it also moved.
TEST_P(InterballFamily, OutlierCallRejectsTheWorstPair) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    InterballScene clean = MakeScene(truth, kTargets, kViews);
    constexpr int kBadView = 5;
    constexpr int kBadTarget = 3;
    constexpr int kBad = kBadView * kTargets + kBadTarget;
    clean.readings[kBad].Range += 1e-3;
    const std::vector<double> qualities = Qualities(clean);

    InterballScene scene = clean;
    const Outcome fitting = RunFit(fit, scene, WithEstimated(fit, truth, 0.0), 1);
    EXPECT_EQ(fitting.result, kInterballNotConverged);
    EXPECT_EQ(Qualities(scene), qualities);
    EXPECT_GT(fitting.out.m_dStdaxay, kRejectSpread);

    for (const bool settled : {true, false}) {
        scene = clean;
        const TMapper entry = settled ? fitting.map : WithEstimated(fit, truth, 0.0);
        const Outcome outlier = RunFit(fit, scene, entry, 0);
        EXPECT_EQ(outlier.result,
                  settled ? kInterballRejected : kInterballRejected + kInterballNotConverged);
        std::vector<int> marked;
        for (int m = 0; m < static_cast<int>(scene.readings.size()); ++m) {
            if (scene.readings[m].Quality != qualities[m]) {
                EXPECT_EQ(scene.readings[m].Quality, kRejectedQuality);
                marked.push_back(m);
            }
        }
        ASSERT_EQ(marked.size(), 2u);
        EXPECT_TRUE(marked[0] == kBad || marked[1] == kBad);
        EXPECT_EQ(marked[0] / kTargets, kBadView);
        EXPECT_EQ(marked[1] / kTargets, kBadView);
    }
}

// With nothing to fit (every pair skipped by the table, or no pair seen in more than two views)
// the normal equations are 0/0. The fit keeps the entry values, reports not converged, measures
// an empty spread (0) and rejects nothing, whatever the flag.
TEST_P(InterballFamily, EmptySampleKeepsTheModel) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    const InterballScene base = MakeScene(truth, kTargets, kViews);

    InterballScene noPairs = base;
    std::fill(noPairs.pairs.begin(), noPairs.pairs.end(), 1);
    InterballScene twoViews = base;
    twoViews.nViews = 2;

    for (InterballScene* scene : {&noPairs, &twoViews}) {
        const std::vector<double> qualities = Qualities(*scene);
        for (int flag : {0, 1}) {
            const Outcome o = RunFit(fit, *scene, truth, flag);
            EXPECT_EQ(o.result, kInterballNotConverged);
            for (const MapperElement& element : kMapperElements) {
                EXPECT_TRUE(SameBits(o.map.*element.member, truth.*element.member)) << element.name;
            }
            EXPECT_EQ(o.out.m_dStdaxay, 0.0);
            EXPECT_EQ(Qualities(*scene), qualities);
        }
    }
}

// Counts and pointers that cannot describe the arrays are refused before anything is read or
// written.
TEST_P(InterballFamily, RejectsInputThatDoesNotFitItsArrays) {
    const InterballFitCase& fit = GetParam();
    const TMapper truth = TruthModel(kRealisticScale);
    const InterballScene base = MakeScene(truth, kTargets, kViews);

    std::vector<InterballScene> bad(4, base);
    bad[0].nCount = 1;
    bad[1].nViews = 0;
    bad[2].pairs.clear();   // passed as a null pair table
    bad[3].nCount = 70000;  // nCount x nCountViews beyond any int position
    bad[3].nViews = 70000;
    for (InterballScene& scene : bad) {
        TCompOut out{};
        out.m_dStdaxay = 123.0;
        TMapper map = truth;
        CCompensation engine;
        EXPECT_EQ(fit.call(engine, scene, map, out, 0), kInvalidInput);
        EXPECT_EQ(std::memcmp(&map, &truth, sizeof map), 0);
        EXPECT_EQ(out.m_dStdaxay, 123.0);
        EXPECT_EQ(Qualities(scene), Qualities(base));
    }
}

// --- Result codes decided by small hand-built cases (through the quick fit) --------------------

int CallQuick(InterballScene& scene, TMapper& map, TCompOut& out, int nFlagClassify) {
    CCompensation engine;
    return engine.CalculateQC_axy(scene.readings.data(), scene.nCount, scene.nViews,
                                  scene.PairTable(), &map, &out, nFlagClassify);
}

std::vector<int> MarkedAt(const InterballScene& scene, const std::vector<double>& before) {
    std::vector<int> marked;
    for (int m = 0; m < static_cast<int>(scene.readings.size()); ++m) {
        if (scene.readings[m].Quality != before[m]) {
            marked.push_back(m);
        }
    }
    return marked;
}

bool Rejected(int result) {
    return result == kInterballRejected || result == kInterballRejected + kInterballNotConverged;
}

// View 1 repeats the readings of view 0, in which one target reads 1 mm long. The deviations of
// that target's pairs are equal to the bit in the two views and the largest: the first met in
// pair-then-view order, view 0, is the one rejected.
TEST(InterballRejection, TieGoesToTheFirstPairViewMet) {
    InterballScene scene = MakeScene(TMapper{}, kTargets, kViews);
    constexpr int kBadTarget = 3;
    scene.readings[kBadTarget].Range += 1e-3;
    std::copy(scene.readings.begin(), scene.readings.begin() + kTargets,
              scene.readings.begin() + kTargets);
    const std::vector<double> before = Qualities(scene);
    TMapper map{};
    TCompOut out{};
    EXPECT_TRUE(Rejected(CallQuick(scene, map, out, 0)));
    const std::vector<int> marked = MarkedAt(scene, before);
    ASSERT_EQ(marked.size(), 2u);
    EXPECT_TRUE(marked[0] == kBadTarget || marked[1] == kBadTarget);
    EXPECT_LT(marked[1], kTargets) << "both in view 0";
}

// Rejection needs more than 0.7 P nCountViews deviations, P counting the pairs the table uses.
// One pair over ten views: live in 7 views (the first target's Quality exactly 50.0, which is not
// live, in the last three) is not above 7 and rejects nothing; live in 8 views rejects.
TEST(InterballRejection, KeepsSeventyPercentOfThePairViews) {
    for (const int deadViews : {3, 2}) {
        InterballScene scene = MakeScene(TMapper{}, 2, 10);
        scene.readings[2 * 2 + 1].Range += 1e-3;  // view 2, second target
        for (int k = 10 - deadViews; k < 10; ++k) {
            scene.readings[2 * k].Quality = 50.0;
        }
        const std::vector<double> before = Qualities(scene);
        TMapper map{};
        TCompOut out{};
        const int result = CallQuick(scene, map, out, 0);
        EXPECT_GT(out.m_dStdaxay, kRejectSpread);
        if (deadViews == 3) {
            EXPECT_FALSE(Rejected(result)) << "7 deviations are not above 7.0";
            EXPECT_TRUE(MarkedAt(scene, before).empty());
        } else {
            EXPECT_TRUE(Rejected(result)) << "8 deviations are above 7.0";
            EXPECT_EQ(MarkedAt(scene, before).size(), 2u);
        }
    }
}

// P counts a used pair even when it is seen in two views only (and so contributes nothing), but
// not a pair the table skips. Three targets over ten views, pair (0, 1) live throughout with an
// outlier: 10 deviations, above 0.7 x 1 x 10 but not above 0.7 x 2 x 10.
TEST(InterballRejection, UsedPairsCountWhateverTheirLiveViews) {
    struct Case {
        std::vector<int> table;  // (0,1), (0,2), (1,2)
        bool thirdTargetMostlyDead;
        bool rejects;
    };
    const Case cases[] = {
        {{0, 1, 1}, false, true},  // P = 1
        {{0, 0, 1}, true, false},  // P = 2: (0,2) seen in two views still counts
    };
    for (const Case& c : cases) {
        InterballScene scene = MakeScene(TMapper{}, 3, 10);
        scene.pairs = c.table;
        scene.readings[4 * 3 + 1].Range += 1e-3;  // view 4, target 1
        if (c.thirdTargetMostlyDead) {
            for (int k = 2; k < 10; ++k) {
                scene.readings[k * 3 + 2].Quality = 40.0;
            }
        }
        const std::vector<double> before = Qualities(scene);
        TMapper map{};
        TCompOut out{};
        const int result = CallQuick(scene, map, out, 0);
        EXPECT_EQ(Rejected(result), c.rejects);
        EXPECT_EQ(MarkedAt(scene, before).size(), c.rejects ? 2u : 0u);
    }
}

}  // namespace
}  // namespace compensation::testing
