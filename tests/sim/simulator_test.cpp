// The simulated tracker: true readings, raw readings that calibrate back to them, noise, and
// the named scenarios in the host's layout. That each scenario passes its procedure's selection
// checks, exact and noisy, is what the end-to-end runs settling with result 0 show.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "model/mapper_elements.h"
#include "support/test_constants.h"

namespace compensation::sim {
namespace {

using compensation::kMapperElements;
using testing::kInversionTolerance;
using testing::kPi;

// Raw readings (1.5 to 12 m, all round, -60 to +65 degrees, dT 3.5) calibrate back to
// kInversionTolerance, in both faces for each group alone, each moving them far more.
TEST(RawReading, CalibratesBackToTheTruthForEveryGroupBothFacesAndNonZeroDt) {
    // Each group runs in the table of elements from its first element up to the next group's.
    const struct {
        const char* name;
        const char* first;
        const char* next;  // nullptr: to the end of the table
    } groups[] = {{"A1 series", "A1", "A2"},
                  {"A2 series", "A2", "A3"},
                  {"A3 series", "A3", "Ax"},
                  {"Ax and Ay", "Ax", "D1"},
                  {"D1", "D1", "D2"},
                  {"D2 series", "D2", "X0"},
                  {"X0 and Y0", "X0", "Az_AzC"},
                  {"Az harmonics", "Az_AzC", "El_2AzC"},
                  {"El harmonics", "El_2AzC", "B_plus"},
                  {"polynomials", "B_plus", "T_ref"},
                  {"dT terms and El_ElC", "Ay_dT", nullptr},
                  {"all", "A1", nullptr}};
    std::vector<CVector> directions;
    for (double range : {1.5, 4.0, 12.0}) {
        for (double az : {-170.0, -95.0, -20.0, 35.0, 110.0, 175.0}) {
            for (double el : {-60.0, -25.0, 0.0, 30.0, 65.0}) {
                const double a = az * kPi / 180.0, e = el * kPi / 180.0;
                const double h = range * std::cos(e);
                directions.push_back(
                    TrueReading({}, {-h * std::sin(a), range * std::sin(e), h * std::cos(a)}));
            }
        }
    }
    for (const auto& g : groups) {
        TMapper truth{};
        const int last = g.next == nullptr ? static_cast<int>(kMapperElements.size())
                                           : MapperElementIndex(g.next);
        for (int i = MapperElementIndex(g.first); i < last; ++i) {
            // About twice a real tracker's size: lengths (m), polynomials, dT terms, angles (deg).
            const std::string n = kMapperElements[i].name;
            const double size = n[0] == 'D' || n[1] == '0'           ? 2e-5
                                : n.find("plus") != n.find("minus")  ? 4e-5
                                : n.find("_dT") != std::string::npos ? 3e-4
                                                                     : 1e-3;
            truth.*kMapperElements[i].member =
                size * (i % 2 ? -1.0 : 1.0) * (1.0 + 0.05 * (i % 13));
        }
        truth.T_ref = 20.0;
        double largestMove = 0.0;
        for (int type : {100, 200}) {
            for (const CVector& t : directions) {
                const CVector raw = RawReading(t, type, 23.5, truth);
                EXPECT_EQ(raw.FSBS, type == 100 ? 1 : -1);
                EXPECT_EQ(raw.T, 23.5);
                CVector calibrated = raw;
                calibrated.Calibrate(&truth);
                EXPECT_NEAR(calibrated.Range, t.Range, kInversionTolerance) << g.name;
                EXPECT_NEAR(calibrated.Azimuth, t.Azimuth, kInversionTolerance) << g.name;
                EXPECT_NEAR(calibrated.Elevation, t.Elevation, kInversionTolerance) << g.name;
                largestMove = std::max({largestMove, std::fabs(raw.Range - t.Range),
                                        std::fabs(raw.Azimuth - t.Azimuth),
                                        std::fabs(raw.Elevation - t.Elevation)});
            }
        }
        EXPECT_GT(largestMove, 1e-7) << g.name;
    }
}

// Worked headings and tilts, exact but for rounding of unit-sized values (1e-15).
TEST(TrueReading, FollowsTheHeadingAndTheTilts) {
    Placement turned, leaning, rolled;
    turned.position = {1.0, 2.0, 3.0}, turned.heading = kPi / 2.0;
    leaning.tilt_x = 0.01, rolled.tilt_z = 0.02;
    const CVector seen = TrueReading(turned, {1.0, 2.0, 5.0});
    EXPECT_NEAR(seen.Range, 2.0, 1e-15);
    EXPECT_NEAR(seen.Azimuth, -kPi / 2.0, 1e-15);
    EXPECT_NEAR(seen.X, 2.0, 1e-15);
    EXPECT_NEAR(TrueReading(leaning, {0.0, 0.0, 3.0}).Elevation, -0.01, 1e-15);
    EXPECT_NEAR(TrueReading(rolled, {-3.0, 0.0, 0.0}).Elevation, -0.02, 1e-15);
}

// Corrections no instrument makes (1/cos El at the zenith, a metre of offset) are refused, while
// 0.005 rad, inside the 0.01 limit, is made (to within the correction's own second order, 1e-4).
TEST(RawReading, RefusesCorrectionsNoInstrumentMakes) {
    TMapper lean{}, offset{}, large{};
    lean.Ax = 1e-3, offset.D1 = 1.0, large.Az_AzC = 0.005 / testing::kRadiansPerDegree;
    EXPECT_THROW(RawReading(TrueReading({}, {0.0, 3.0, 0.0}), 100, 0.0, lean), std::runtime_error);
    const CVector ahead = TrueReading({}, {0.0, 0.0, 3.0});
    EXPECT_THROW(RawReading(ahead, 100, 0.0, offset), std::runtime_error);
    EXPECT_NEAR(RawReading(ahead, 100, 0.0, large).Azimuth, 0.005, 1e-4);
}

// What the scenarios' spread check cannot see: mass within 1 and 2 sigma and lag-one correlation
// within five standard errors of the standard normal (a false alarm once in 3.5 million runs).
TEST(NormalSource, HasTheStandardNormalShape) {
    const double n = 200000, p1 = 0.6826894921370859, p2 = 0.9544997361036416;
    NormalSource normals(12345);
    double lag = 0.0, previous = 0.0, withinOne = 0.0, withinTwo = 0.0;
    for (int i = 0; i < n; ++i) {
        const double z = normals.Next();
        lag += previous * z, previous = z;
        withinOne += std::fabs(z) < 1.0, withinTwo += std::fabs(z) < 2.0;
    }
    EXPECT_NEAR(lag / n, 0.0, 5.0 / std::sqrt(n));
    EXPECT_NEAR(withinOne / n, p1, 5.0 * std::sqrt(p1 * (1.0 - p1) / n));
    EXPECT_NEAR(withinTwo / n, p2, 5.0 * std::sqrt(p2 * (1.0 - p2) / n));
}

std::size_t Index(const Scenario& s, int view, int target, int face) {  // face 0 front, 1 back
    return static_cast<std::size_t>(view * (1 + 2 * s.nTargets) + 1 + face * s.nTargets + target);
}

CVector Calibrated(CVector v, TMapper model) {
    v.Calibrate(&model);
    return v;
}

std::vector<CVector> All(const Scenario& s) {
    std::vector<CVector> all = s.main;
    for (const auto* set : {&s.outside1, &s.outside2, &s.flying}) {
        all.insert(all.end(), set->begin(), set->end());
    }
    return all;
}

// Field by field (padding bytes are not the simulator's).
bool SameBits(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    auto same = [](const CVector& x, const CVector& y) {
        const double u[] = {x.Quality, x.Range, x.Azimuth, x.Elevation, x.X, x.Y, x.Z, x.T};
        const double v[] = {y.Quality, y.Range, y.Azimuth, y.Elevation, y.X, y.Y, y.Z, y.T};
        return std::memcmp(u, v, sizeof u) == 0 && x.Type == y.Type && x.FSBS == y.FSBS &&
               x.Radian == y.Radian;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

// The host's layout (per view the heading's Type 14 vector, front then back sights); calibrated
// with the truth, each reading gives its true point (1e-12 rad is 1.2e-11 m at 12 m: 1e-9 m).
TEST(Scenario, HostLayoutAndReadingsCalibrateToTheirTruePoints) {
    for (const std::string& name : ScenarioNames()) {
        const Scenario s = MakeScenario(name);
        const Layout& L = s.layout;
        auto expectAt = [&](const CVector& r, int type, const Placement& p, const Point& target) {
            const CVector seen = Calibrated(r, s.truth), truth = TrueReading(p, target);
            EXPECT_TRUE(r.Type == type && r.Quality == 100.0 && r.Radian) << name;
            EXPECT_LT(std::hypot(seen.X - truth.X, seen.Y - truth.Y, seen.Z - truth.Z), 1e-9)
                << name;
        };
        ASSERT_EQ(s.nCount(), s.nViews * (1 + 2 * s.nTargets)) << name;
        for (int v = 0; v < s.nViews; ++v) {
            Placement p = L.station;
            p.heading = L.headings[static_cast<std::size_t>(v)];
            const CVector& ref = s.main[Index(s, v, -1, 0)];
            EXPECT_EQ(ref.Type, 14);
            EXPECT_NEAR(ref.Azimuth, p.heading, 1e-15);  // a heading within pi, rounded once
            for (int k = 0; k < 2 * s.nTargets; ++k) {
                const int face = k / s.nTargets, t = k % s.nTargets;
                const CVector& r = s.main[Index(s, v, t, face)];
                EXPECT_TRUE(r.FSBS == 1 - 2 * face && r.T == ref.T) << name;
                expectAt(r, 100 + 100 * face, p, L.targets[static_cast<std::size_t>(t)]);
            }
        }
        for (std::size_t k = 0; k < s.outside1.size() + s.outside2.size(); ++k) {
            const bool d2 = k < s.outside1.size();
            const int target = d2 ? (k % 2 ? L.n2_d2 : L.n1_d2) : (k % 2 ? L.n2_extra : L.n1_extra);
            expectAt(d2 ? s.outside1[k] : s.outside2[k - s.outside1.size()], 100, L.outside,
                     L.targets[static_cast<std::size_t>(target - 1)]);
        }
        const std::size_t n = static_cast<std::size_t>(s.nTargetsFly);
        for (std::size_t k = 0; k < s.flying.size(); ++k) {
            expectAt(s.flying[k], k % (2 * n) < n ? 100 : 200, L.fly_placements[k / (2 * n)],
                     L.fly_targets[k % n]);
        }
    }
}

Options Noisy(std::uint64_t seed) {
    Options noisy;
    noisy.noise.range = 5e-6, noisy.noise.angle = 4e-6, noisy.noise.seed = seed;
    return noisy;
}

TEST(Scenario, TheSameSeedGivesTheSameBitsAndAnotherOtherBits) {
    for (const char* name : {"quick", "full", "fullfull1"}) {
        const std::vector<CVector> a = All(MakeScenario(name, Noisy(42)));
        EXPECT_TRUE(SameBits(a, All(MakeScenario(name, Noisy(42))))) << name;
        EXPECT_FALSE(SameBits(a, All(MakeScenario(name, Noisy(43))))) << name;
    }
}

// Noise of mean 0 (within five standard errors sigma / sqrt(n)) and the requested spread (15 %
// is five standard errors sigma / sqrt(2n)), sparing the reference vectors.
TEST(Scenario, NoiseHasTheRequestedSpreadAndSparesTheReferenceVectors) {
    const Options noisy = Noisy(42);
    const std::vector<CVector> x = All(MakeScenario("fullfull0", noisy));
    const std::vector<CVector> c = All(MakeScenario("fullfull0"));
    ASSERT_EQ(x.size(), c.size());
    double sum[3] = {}, sumSq[3] = {}, n = 0.0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i].Type == 14) {
            EXPECT_TRUE(SameBits({x[i]}, {c[i]}));
            continue;
        }
        int k = 0;
        for (auto field : {&CVector::Range, &CVector::Azimuth, &CVector::Elevation}) {
            const double d = x[i].*field - c[i].*field;
            sum[k] += d, sumSq[k++] += d * d;
        }
        n += 1.0;
    }
    for (int k = 0; k < 3; ++k) {
        const double sigma = k == 0 ? noisy.noise.range : noisy.noise.angle, mean = sum[k] / n;
        EXPECT_NEAR(mean, 0.0, 5.0 * sigma / std::sqrt(n)) << k;
        EXPECT_NEAR(std::sqrt(sumSq[k] / n - mean * mean), sigma, 0.15 * sigma) << k;
    }
}

TEST(Scenario, ABlunderLandsOnlyWhereItIsNamed) {
    Options blunders;
    blunders.noise.gross = {{Set::Main, 5, 3e-3, 0.0, 0.0}, {Set::Flying, 9, 0.0, 2e-3, -1e-3}};
    Scenario expected = MakeScenario("fullfull0");
    expected.main[5].Range += 3e-3, expected.flying[9].Azimuth += 2e-3;
    expected.flying[9].Elevation -= 1e-3;
    expected.main[5].Sphr2Cart(), expected.flying[9].Sphr2Cart();
    EXPECT_TRUE(SameBits(All(MakeScenario("fullfull0", blunders)), All(expected)));
}

TEST(Scenario, TheSizeScaleGrowsTargetsAndViews) {
    Options o;
    o.size_scale = 2.0;
    const Scenario quick = MakeScenario("quick", o), fullFull = MakeScenario("fullfull", o);
    EXPECT_EQ(std::pair(quick.nTargets, quick.nViews), std::pair(24, 24));
    EXPECT_EQ(std::pair(fullFull.nTargets, fullFull.nViews), std::pair(30, 32));
}

// A mode or size no procedure has, an unknown name, a blunder beyond its set or a pair beyond
// the targets.
TEST(Scenario, ImpossibleOptionsAreRefused) {
    Options o;
    o.mode = 3;
    EXPECT_THROW(MakeScenario("fullfull", o), std::invalid_argument);
    o.mode = 0, o.size_scale = 0.5;
    EXPECT_THROW(MakeScenario("quick", o), std::invalid_argument);
    EXPECT_THROW(MakeScenario("nonesuch"), std::invalid_argument);
    o.size_scale = 1.0, o.noise.gross = {{Set::Outside2, 20, 1e-3, 0.0, 0.0}};  // outside2 holds 20
    EXPECT_THROW(MakeScenario("fullfull0", o), std::invalid_argument);
    Layout broken = FullLayout();
    broken.n2_d2 = static_cast<int>(broken.targets.size()) + 1;
    EXPECT_THROW(Simulate(broken, TMapper{}), std::invalid_argument);
}

}  // namespace
}  // namespace compensation::sim
