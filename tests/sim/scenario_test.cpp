// The named scenarios: the host's layout, the geometry the readings stand for, the true models,
// and the geometry each single-term fit needs from its pairs.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation_sim/simulator.h"
#include "model/mapper_elements.h"

namespace compensation::sim {
namespace {

constexpr double kPi = 3.141592653589793;

double Distance(const Point& a, const Point& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

CVector Calibrated(CVector v, const TMapper& model) {
    TMapper m = model;
    v.Calibrate(&m);
    return v;
}

double Separation(const CVector& a, const CVector& b) {
    return CVector().InterVectorRange(a, b);
}
double Angle(const CVector& a, const CVector& b) {
    return CVector().InterVectorAngle(a, b);
}

double WrappedDifference(double a, double b) {
    double d = std::fabs(a - b);
    return d > kPi ? std::fabs(d - 2.0 * kPi) : d;
}

// Reading t (0-based) of view v of the main array, front (face 0) or back (face 1).
const CVector& MainReading(const Scenario& s, int v, int t, int face = 0) {
    return s.main[static_cast<std::size_t>(v * (1 + 2 * s.nTargets) + 1 + face * s.nTargets + t)];
}

// Each view: one Type 14 vector whose azimuth is the view's heading, the front sights of every
// target, then the back sights in the same order; outside sets in Type 100 pairs; flying views
// front sights then back sights. Every reading is live (Quality 100), in radians, with its face
// sign set, and carries the view's T.
TEST(Scenario, ArraysHaveTheHostLayout) {
    for (const std::string& name : ScenarioNames()) {
        const Scenario s = MakeScenario(name);
        ASSERT_EQ(s.nCount(), s.nViews * (1 + 2 * s.nTargets)) << name;
        for (int v = 0; v < s.nViews; ++v) {
            const CVector& ref = s.main[static_cast<std::size_t>(v * (1 + 2 * s.nTargets))];
            EXPECT_EQ(ref.Type, 14);
            EXPECT_EQ(ref.FSBS, 1);
            EXPECT_NEAR(ref.Azimuth, s.layout.headings[static_cast<std::size_t>(v)], 1e-15);
            EXPECT_GT(ref.Range, 0.0);
            for (int t = 0; t < s.nTargets; ++t) {
                for (int face : {0, 1}) {
                    const CVector& r = MainReading(s, v, t, face);
                    EXPECT_EQ(r.Type, face == 0 ? 100 : 200);
                    EXPECT_EQ(r.FSBS, face == 0 ? 1 : -1);
                    EXPECT_EQ(r.Quality, 100.0);
                    EXPECT_TRUE(r.Radian);
                    EXPECT_EQ(r.T, ref.T);
                }
            }
        }
        for (const auto* out : {&s.outside1, &s.outside2}) {
            EXPECT_EQ(out->size() % 2, 0u);
            for (const CVector& r : *out) {
                EXPECT_EQ(r.Type, 100);
                EXPECT_EQ(r.Quality, 100.0);
            }
        }
        if (s.nTargetsFly > 0) {
            ASSERT_EQ(s.flying.size() % static_cast<std::size_t>(2 * s.nTargetsFly), 0u);
            for (std::size_t i = 0; i < s.flying.size(); ++i) {
                const bool front = (i % static_cast<std::size_t>(2 * s.nTargetsFly)) <
                                   static_cast<std::size_t>(s.nTargetsFly);
                EXPECT_EQ(s.flying[i].Type, front ? 100 : 200);
            }
        }
    }
}

// Noise-free readings calibrated with the true model give back the network: in every view and
// both faces the distance between two targets is their world distance. The inversion is good
// to 1e-12 rad, 1.2e-11 m at the farthest 12 m; 1e-9 m leaves room for the arithmetic.
TEST(Scenario, ReadingsCalibrateToTheWorldGeometry) {
    constexpr double kTol = 1e-9;
    for (const std::string& name : ScenarioNames()) {
        const Scenario s = MakeScenario(name);
        const Layout& L = s.layout;
        for (int v = 0; v < s.nViews; ++v) {
            for (int face : {0, 1}) {
                for (int i = 0; i < s.nTargets; ++i) {
                    const CVector a = Calibrated(MainReading(s, v, i, face), s.truth);
                    for (int j = i + 1; j < s.nTargets; ++j) {
                        const CVector b = Calibrated(MainReading(s, v, j, face), s.truth);
                        EXPECT_NEAR(Separation(a, b),
                                    Distance(L.targets[static_cast<std::size_t>(i)],
                                             L.targets[static_cast<std::size_t>(j)]),
                                    kTol)
                            << name << " view " << v;
                    }
                }
            }
        }
        const std::pair<const std::vector<CVector>*, std::pair<int, int>> outside[] = {
            {&s.outside1, {L.n1_d2, L.n2_d2}}, {&s.outside2, {L.n1_extra, L.n2_extra}}};
        for (const auto& [set, pair] : outside) {
            for (std::size_t k = 0; k + 1 < set->size(); k += 2) {
                EXPECT_NEAR(
                    Separation(Calibrated((*set)[k], s.truth), Calibrated((*set)[k + 1], s.truth)),
                    Distance(L.targets[static_cast<std::size_t>(pair.first - 1)],
                             L.targets[static_cast<std::size_t>(pair.second - 1)]),
                    kTol)
                    << name;
            }
        }
        for (std::size_t k = 0; k < s.flying.size(); ++k) {
            const std::size_t view = k / static_cast<std::size_t>(2 * s.nTargetsFly);
            const std::size_t t = k % static_cast<std::size_t>(s.nTargetsFly);
            const CVector seen = Calibrated(s.flying[k], s.truth);
            const CVector truth = TrueReading(L.fly_placements[view], L.fly_targets[t]);
            EXPECT_NEAR(seen.X, truth.X, kTol);
            EXPECT_NEAR(seen.Y, truth.Y, kTol);
            EXPECT_NEAR(seen.Z, truth.Z, kTol);
        }
    }
}

// --- True models ---------------------------------------------------------------------------

using Members = std::vector<double TMapper::*>;

// The elements each fit estimates, as the fits list them.
const Members kQuickTwoFace = {&TMapper::D1,      &TMapper::A1,      &TMapper::A3,
                               &TMapper::Az_AzS,  &TMapper::Az_AzC,  &TMapper::A2,
                               &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS};
const Members kQuickInterball = {&TMapper::Ax, &TMapper::Ay};
const Members kFullTwoFace = {
    &TMapper::D1,      &TMapper::D2_AzS,  &TMapper::D2_AzC,  &TMapper::A1,     &TMapper::A1_2AzS,
    &TMapper::A1_2AzC, &TMapper::A1_4AzS, &TMapper::A1_4AzC, &TMapper::A3,     &TMapper::A3_2AzS,
    &TMapper::A3_2AzC, &TMapper::A3_4AzS, &TMapper::A3_4AzC, &TMapper::A2,     &TMapper::El_2AzS,
    &TMapper::El_2AzC, &TMapper::El_ElS,  &TMapper::El_4AzS, &TMapper::El_4AzC};
const Members kTwoFaceOddHarmonics = {&TMapper::Az_AzS, &TMapper::Az_AzC, &TMapper::Az_3AzS,
                                      &TMapper::Az_3AzC};
const Members kFullInterball = {&TMapper::Ax,      &TMapper::Ay,      &TMapper::A1_AzS,
                                &TMapper::A1_AzC,  &TMapper::A1_3AzS, &TMapper::A1_3AzC,
                                &TMapper::A2_3AzS, &TMapper::A2_3AzC, &TMapper::A3_AzS,
                                &TMapper::A3_AzC,  &TMapper::A3_3AzS, &TMapper::A3_3AzC};
const Members kInterballAzHarmonics = {&TMapper::Az_2AzS, &TMapper::Az_2AzC, &TMapper::Az_4AzS,
                                       &TMapper::Az_4AzC};
const Members kSixHarmonicTwoFace = {&TMapper::A1_6AzS, &TMapper::A1_6AzC, &TMapper::A3_6AzS,
                                     &TMapper::A3_6AzC, &TMapper::Az_5AzS, &TMapper::Az_5AzC,
                                     &TMapper::El_6AzS, &TMapper::El_6AzC};
const Members kSixHarmonicInterball = {&TMapper::A1_5AzS, &TMapper::A1_5AzC, &TMapper::A2_5AzS,
                                       &TMapper::A2_5AzC, &TMapper::A3_5AzS, &TMapper::A3_5AzC,
                                       &TMapper::Az_6AzS, &TMapper::Az_6AzC};
const Members kPairFits = {&TMapper::X0, &TMapper::Y0, &TMapper::D2};
const Members kFlyingFits = {&TMapper::D1,      &TMapper::B_plus,  &TMapper::A_plus,
                             &TMapper::C_plus,  &TMapper::B_minus, &TMapper::A_minus,
                             &TMapper::C_minus, &TMapper::K_minus};
const Members kLengths = {&TMapper::D1,     &TMapper::D2, &TMapper::D2_AzS,
                          &TMapper::D2_AzC, &TMapper::X0, &TMapper::Y0};
const Members kPolynomials = {&TMapper::B_plus,  &TMapper::A_plus,  &TMapper::C_plus,
                              &TMapper::B_minus, &TMapper::A_minus, &TMapper::C_minus};

bool In(const Members& list, double TMapper::*m) {
    return std::find(list.begin(), list.end(), m) != list.end();
}

Members FittedBy(Kind kind, int mode) {
    std::vector<const Members*> fits;
    if (kind == Kind::Quick) {
        fits = {&kQuickTwoFace, &kQuickInterball};
    } else {
        fits = {&kFullTwoFace, &kFullInterball, &kPairFits};
    }
    if (kind == Kind::FullFull) {
        fits.insert(fits.end(), {&kTwoFaceOddHarmonics, &kInterballAzHarmonics,
                                 &kSixHarmonicTwoFace, &kSixHarmonicInterball});
    }
    const Members elElC = {&TMapper::El_ElC};
    if (kind == Kind::FullFull) {
        fits.push_back(mode == 2 ? &elElC : &kFlyingFits);
    }
    Members fitted;
    for (const Members* fit : fits) {
        fitted.insert(fitted.end(), fit->begin(), fit->end());
    }
    return fitted;
}

// Exactly the elements the procedure fits are non-zero, each of realistic size: 1e-4 to 5e-3
// degrees for angles, 1 to 100 micrometres for lengths, and for the elevation polynomials an
// effect of 1e-4 to 5e-3 degrees at 40 degrees of elevation.
TEST(RealisticTruth, FitsExactlyWhatTheProcedureFitsAtRealisticSize) {
    struct Case {
        Kind kind;
        int mode;
    };
    for (const Case c : {Case{Kind::Quick, 0}, Case{Kind::Full, 0}, Case{Kind::FullFull, 0},
                         Case{Kind::FullFull, 1}, Case{Kind::FullFull, 2}}) {
        const TMapper truth = RealisticTruth(c.kind, c.mode);
        const Members fitted = FittedBy(c.kind, c.mode);
        for (const MapperElement& e : kMapperElements) {
            const double value = truth.*e.member;
            if (!In(fitted, e.member)) {
                EXPECT_EQ(value, 0.0) << e.name;
                continue;
            }
            double size = std::fabs(value);
            double low = 1e-4;
            double high = 5e-3;
            if (In(kLengths, e.member)) {
                low = 1e-6;
                high = 1e-4;
            } else if (In(kPolynomials, e.member)) {
                const int power = e.member == &TMapper::B_plus || e.member == &TMapper::B_minus ? 1
                                  : e.member == &TMapper::A_plus || e.member == &TMapper::A_minus
                                      ? 2
                                      : 3;
                size *= std::pow(40.0 * kPi / 180.0, power) * 180.0 / kPi;
            }
            EXPECT_GE(size, low) << e.name;
            EXPECT_LE(size, high) << e.name;
        }
    }
}

// Modes 0 and 1 set T_ref to the mean T of the flying front sights; the scenario's truth holds
// the same value, so that the procedure can meet it.
TEST(RealisticTruth, FlyingModesShareTheProceduresTemperatureReference) {
    for (const char* name : {"fullfull0", "fullfull1"}) {
        const Scenario s = MakeScenario(name);
        double sum = 0.0;
        int n = 0;
        for (const CVector& r : s.flying) {
            if (r.Type == 100) {
                sum += r.T;
                ++n;
            }
        }
        EXPECT_NEAR(s.truth.T_ref, sum / n, 1e-12) << name;
    }
    EXPECT_EQ(MakeScenario("fullfull2").truth.T_ref, 0.0);
}

// --- The pairs of the single-term fits ----------------------------------------------------

// The x0y0 pair: in every view both targets lie within 20 degrees of azimuth (0.3491 rad),
// with very different ranges and elevations, so their separation answers to the beam offset as
// the instrument turns.
TEST(ScenarioPairs, X0Y0PairLiesAlongOneAzimuthAtDifferentHeights) {
    for (const char* name : {"full", "fullfull0"}) {
        const Scenario s = MakeScenario(name);
        for (int v = 0; v < s.nViews; ++v) {
            const CVector& a = MainReading(s, v, s.compOut.m_n1_x0y0 - 1);
            const CVector& b = MainReading(s, v, s.compOut.m_n2_x0y0 - 1);
            EXPECT_LT(WrappedDifference(a.Azimuth, b.Azimuth), 0.3491);
            EXPECT_GT(std::fabs((a.Range - b.Range) * std::sin(a.Elevation - b.Elevation)), 1.0);
        }
    }
}

// The d2 pair: from the outside placement the two targets appear within 20 degrees of each
// other and more than 4 m apart; from the station they stand on opposite sides.
TEST(ScenarioPairs, D2PairIsInLineFromOutsideAndOppositeFromTheStation) {
    for (const char* name : {"full", "fullfull0"}) {
        const Scenario s = MakeScenario(name);
        ASSERT_GE(s.outside1.size(), 18u);  // at least 9 pairs, as the outside test demands
        for (std::size_t k = 0; k < s.outside1.size(); k += 2) {
            EXPECT_LT(Angle(s.outside1[k], s.outside1[k + 1]), 0.3491);
            EXPECT_GT(Separation(s.outside1[k], s.outside1[k + 1]), 4.0);
        }
        EXPECT_GT(Angle(MainReading(s, 0, s.compOut.m_n1_d2 - 1),
                        MainReading(s, 0, s.compOut.m_n2_d2 - 1)),
                  kPi / 2.0);
    }
}

// The extra pair: from the outside placement both targets lie within 10 degrees (0.17455 rad)
// of the d2 pair's mean azimuth, more than 3 m apart and low (mean elevation below -20
// degrees, -0.3491 rad).
TEST(ScenarioPairs, ExtraPairIsLowInTheDirectionOfTheD2Pair) {
    const Scenario s = MakeScenario("fullfull0");
    ASSERT_EQ(s.outside2.size(), s.outside1.size());
    const double meanAz = 0.5 * (s.outside1[0].Azimuth + s.outside1[1].Azimuth);
    const CVector& c = s.outside2[0];
    const CVector& d = s.outside2[1];
    EXPECT_LT(std::fabs(c.Azimuth - meanAz), 0.17455);
    EXPECT_LT(std::fabs(d.Azimuth - meanAz), 0.17455);
    EXPECT_GT(Separation(c, d), 3.0);
    EXPECT_LT(0.5 * (c.Elevation + d.Elevation), -0.3491);
}

// The El_ElC fit uses the pairs among the d2 and extra targets whose outside ranges differ by
// more than 3 m and whose station elevations (view 0) by more than 0.3927 rad; its storage
// holds at most 4 such pairs, and it needs at least one.
TEST(ScenarioPairs, ElevationFitFindsOneToFourQualifyingPairs) {
    const Scenario s = MakeScenario("fullfull2");
    const int positions[4] = {s.compOut.m_n1_d2, s.compOut.m_n2_d2, s.compOut.m_n1_extra,
                              s.compOut.m_n2_extra};
    const CVector* outside[4] = {&s.outside1[0], &s.outside1[1], &s.outside2[0], &s.outside2[1]};
    int qualifying = 0;
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const double dRange = std::fabs(outside[i]->Range - outside[j]->Range);
            const double dEl = std::fabs(MainReading(s, 0, positions[i] - 1).Elevation -
                                         MainReading(s, 0, positions[j] - 1).Elevation);
            qualifying += dRange > 3.0 && dEl > 0.392699081698725 ? 1 : 0;
        }
    }
    EXPECT_GE(qualifying, 1);
    EXPECT_LE(qualifying, 4);
}

// The flying views: the last one sees the farthest pair within 10 degrees (0.17455 rad) and
// every other view sees it wider; in the check set (mode 1) it sees every pair in line, since
// the check fit takes every pair's reference distance there. Every other view has at least
// three pairs more than 0.17455 rad apart in elevation, the pairs the flying interball fits use.
TEST(ScenarioPairs, FlyingViewsHaveAnInLineViewAndElevationPairs) {
    for (const char* name : {"fullfull0", "fullfull1"}) {
        const Scenario s = MakeScenario(name);
        const int n = s.nTargetsFly;
        const int views = s.nCountFly() / (2 * n);
        auto reading = [&](int v, int t) -> const CVector& {
            return s.flying[static_cast<std::size_t>(v * 2 * n + t)];
        };
        int a = 0;
        int b = 1;
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                const auto& T = s.layout.fly_targets;
                if (Distance(T[static_cast<std::size_t>(i)], T[static_cast<std::size_t>(j)]) >
                    Distance(T[static_cast<std::size_t>(a)], T[static_cast<std::size_t>(b)])) {
                    a = i;
                    b = j;
                }
            }
        }
        const bool checkSet = s.mode == 1;
        for (int v = 0; v < views; ++v) {
            const bool inLine = v == views - 1;
            EXPECT_EQ(Angle(reading(v, a), reading(v, b)) < 0.17455, inLine) << name << " " << v;
            int elevationPairs = 0;
            for (int i = 0; i < n; ++i) {
                for (int j = i + 1; j < n; ++j) {
                    if (inLine && checkSet) {
                        EXPECT_LT(Angle(reading(v, i), reading(v, j)), 0.17455);
                    }
                    elevationPairs +=
                        std::fabs(reading(v, i).Elevation - reading(v, j).Elevation) > 0.17455;
                }
            }
            if (!inLine) {
                EXPECT_GE(elevationPairs, 3) << name << " view " << v;
            }
        }
    }
}

// --- What the pairs tell about the elements --------------------------------------------------

// How much one element changes a pair statistic, per unit of the element (per metre, or per
// radian for angles): readings made with the element alone, calibrated with a zero model,
// against readings of the exact geometry.
struct Observability {
    const char* what;
    double TMapper::*element;
    double value;    // in the model's unit
    double perUnit;  // the model's unit in metres or radians
    double (*statistic)(const Scenario&);
};

double X0Y0Swing(const Scenario& s) {
    double lo = 1e9;
    double hi = -1e9;
    for (int v = 0; v < s.nViews; ++v) {
        const double d = Separation(Calibrated(MainReading(s, v, s.compOut.m_n1_x0y0 - 1), {}),
                                    Calibrated(MainReading(s, v, s.compOut.m_n2_x0y0 - 1), {}));
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    return hi - lo;
}

// Mean inside separation of a pair less its mean outside separation.
double InsideLessOutside(const Scenario& s, int n1, int n2, const std::vector<CVector>& out) {
    double inside = 0.0;
    for (int v = 0; v < s.nViews; ++v) {
        inside += Separation(Calibrated(MainReading(s, v, n1 - 1), {}),
                             Calibrated(MainReading(s, v, n2 - 1), {}));
    }
    double outside = 0.0;
    for (std::size_t k = 0; k < out.size(); k += 2) {
        outside += Separation(Calibrated(out[k], {}), Calibrated(out[k + 1], {}));
    }
    return inside / s.nViews - outside / static_cast<double>(out.size() / 2);
}

double D2Contrast(const Scenario& s) {
    return InsideLessOutside(s, s.compOut.m_n1_d2, s.compOut.m_n2_d2, s.outside1);
}

double KMinusContrast(const Scenario& s) {
    return InsideLessOutside(s, s.compOut.m_n1_extra, s.compOut.m_n2_extra, s.outside2);
}

// The cross pair of the first d2 target and the second extra target, both seen from the one
// outside placement (one of the El_ElC fit's qualifying pairs).
double CrossPairContrast(const Scenario& s) {
    std::vector<CVector> cross = {s.outside1[0], s.outside2[1]};
    return InsideLessOutside(s, s.compOut.m_n1_d2, s.compOut.m_n2_extra, cross);
}

// A fit divides the reading noise by this sensitivity; at 0.25 m per metre (or per radian) a
// few micrometres of noise still leave a realistic element well determined.
TEST(ScenarioPairs, EachPairAnswersToItsElement) {
    constexpr double kDegree = 0.017453292519943295;
    const Observability cases[] = {
        {"X0 from the x0y0 pair", &TMapper::X0, 1.5e-5, 1.0, X0Y0Swing},
        {"Y0 from the x0y0 pair", &TMapper::Y0, 1.5e-5, 1.0, X0Y0Swing},
        {"D2 inside against outside", &TMapper::D2, 2e-5, 1.0, D2Contrast},
        {"K_minus inside against outside", &TMapper::K_minus, 1.2e-3, kDegree, KMinusContrast},
        {"El_ElC inside against outside", &TMapper::El_ElC, 9e-4, kDegree, CrossPairContrast},
    };
    const Layout layout = FullFullLayout();
    const Scenario exact = Simulate(layout, TMapper{});
    for (const Observability& c : cases) {
        TMapper truth{};
        truth.*c.element = c.value;
        const Scenario seen = Simulate(layout, truth);
        const double change = std::fabs(c.statistic(seen) - c.statistic(exact));
        EXPECT_GT(change / (c.value * c.perUnit), 0.25) << c.what;
    }
}

// --- Options --------------------------------------------------------------------------------

TEST(Scenario, SizeScaleModeAndNames) {
    Options bigger;
    bigger.size_scale = 2.0;
    const Scenario quick = MakeScenario("quick", bigger);
    EXPECT_EQ(quick.nTargets, 24);
    EXPECT_EQ(quick.nViews, 24);
    const Scenario fullfull = MakeScenario("fullfull", bigger);
    EXPECT_EQ(fullfull.nTargets, 24 + 6);
    EXPECT_EQ(fullfull.nViews, 32);

    Options mode2;
    mode2.mode = 2;
    EXPECT_EQ(MakeScenario("fullfull", mode2).truth.El_ElC,
              RealisticTruth(Kind::FullFull, 2).El_ElC);

    Options own;
    own.truth = TMapper{};
    own.truth->A1 = 3e-3;
    EXPECT_EQ(MakeScenario("quick", own).truth.A1, 3e-3);

    Options smaller;
    smaller.size_scale = 0.5;
    EXPECT_THROW(MakeScenario("quick", smaller), std::invalid_argument);
    Options mode3;
    mode3.mode = 3;
    EXPECT_THROW(MakeScenario("fullfull", mode3), std::invalid_argument);
    EXPECT_THROW(MakeScenario("nonesuch"), std::invalid_argument);

    Layout broken = FullLayout();
    broken.n2_d2 = static_cast<int>(broken.targets.size()) + 1;
    EXPECT_THROW(Simulate(broken, TMapper{}), std::invalid_argument);
}

}  // namespace
}  // namespace compensation::sim
