// Reading noise: the normal source's statistics, determinism by seed, and blunders.
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation_sim/simulator.h"

namespace compensation::sim {
namespace {

bool SameBits(const CVector& a, const CVector& b) {
    const double da[] = {a.Quality, a.Range, a.Azimuth, a.Elevation, a.X, a.Y, a.Z, a.T};
    const double db[] = {b.Quality, b.Range, b.Azimuth, b.Elevation, b.X, b.Y, b.Z, b.T};
    return std::memcmp(da, db, sizeof da) == 0 && a.Type == b.Type && a.FSBS == b.FSBS &&
           a.Radian == b.Radian;
}

bool SameBits(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameBits(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// 200000 deviates: the mean, the variance and the mass within one and two standard deviations
// must match the standard normal within five standard errors of each estimate (a false alarm
// about once in 3.5 million runs), and consecutive deviates (the two halves of one Box-Muller
// pair included) must be uncorrelated to the same margin.
TEST(NormalSource, HasStandardNormalStatistics) {
    constexpr int kN = 200000;
    NormalSource normals(12345);
    double sum = 0.0;
    double sumSq = 0.0;
    double lagProduct = 0.0;
    int withinOne = 0;
    int withinTwo = 0;
    double previous = 0.0;
    for (int i = 0; i < kN; ++i) {
        const double z = normals.Next();
        sum += z;
        sumSq += z * z;
        lagProduct += previous * z;
        previous = z;
        withinOne += std::fabs(z) < 1.0 ? 1 : 0;
        withinTwo += std::fabs(z) < 2.0 ? 1 : 0;
    }
    const double n = kN;
    const double mean = sum / n;
    EXPECT_NEAR(mean, 0.0, 5.0 / std::sqrt(n));
    EXPECT_NEAR(sumSq / n - mean * mean, 1.0, 5.0 * std::sqrt(2.0 / n));
    EXPECT_NEAR(lagProduct / n, 0.0, 5.0 / std::sqrt(n));
    const double p1 = 0.6826894921370859;
    const double p2 = 0.9544997361036416;
    EXPECT_NEAR(withinOne / n, p1, 5.0 * std::sqrt(p1 * (1.0 - p1) / n));
    EXPECT_NEAR(withinTwo / n, p2, 5.0 * std::sqrt(p2 * (1.0 - p2) / n));
}

TEST(NormalSource, SameSeedSameSequence) {
    NormalSource a(7);
    NormalSource b(7);
    NormalSource c(8);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const double x = a.Next();
        const double y = b.Next();
        ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0);
        differs = differs || x != c.Next();
    }
    EXPECT_TRUE(differs);
}

Options Noisy(std::uint64_t seed) {
    Options options;
    options.noise.range = 5e-6;
    options.noise.angle = 4e-6;
    options.noise.seed = seed;
    return options;
}

TEST(Scenario, SameSeedGivesTheSameArraysBitForBit) {
    for (const char* name : {"quick", "full", "fullfull1"}) {
        const Scenario a = MakeScenario(name, Noisy(42));
        const Scenario b = MakeScenario(name, Noisy(42));
        EXPECT_TRUE(SameBits(a.main, b.main)) << name;
        EXPECT_TRUE(SameBits(a.outside1, b.outside1)) << name;
        EXPECT_TRUE(SameBits(a.outside2, b.outside2)) << name;
        EXPECT_TRUE(SameBits(a.flying, b.flying)) << name;
        const Scenario c = MakeScenario(name, Noisy(43));
        EXPECT_FALSE(SameBits(a.main, c.main)) << name;
    }
}

// The noise is what separates a noisy scenario from the noise-free one: per component, mean 0
// and the requested standard deviation. With n readings the standard error of the sample
// deviation is about sigma / sqrt(2n) (3 % for the 576 main readings of full-full, 2.5 % with
// the others); 15 % is five of them. Reference vectors carry no noise.
TEST(Scenario, NoiseHasTheRequestedSpread) {
    const Options options = Noisy(3);
    const Scenario noisy = MakeScenario("fullfull0", options);
    const Scenario clean = MakeScenario("fullfull0");
    std::vector<double> dR;
    std::vector<double> dAz;
    std::vector<double> dEl;
    const std::pair<const std::vector<CVector>*, const std::vector<CVector>*> sets[] = {
        {&noisy.main, &clean.main},
        {&noisy.outside1, &clean.outside1},
        {&noisy.outside2, &clean.outside2},
        {&noisy.flying, &clean.flying},
    };
    for (const auto& [noisySet, cleanSet] : sets) {
        ASSERT_EQ(noisySet->size(), cleanSet->size());
        for (std::size_t i = 0; i < cleanSet->size(); ++i) {
            const CVector& n = (*noisySet)[i];
            const CVector& c = (*cleanSet)[i];
            if (c.Type == 14) {
                EXPECT_TRUE(SameBits(n, c));
                continue;
            }
            dR.push_back(n.Range - c.Range);
            dAz.push_back(n.Azimuth - c.Azimuth);
            dEl.push_back(n.Elevation - c.Elevation);
        }
    }
    auto check = [](const std::vector<double>& d, double sigma, const char* what) {
        double sum = 0.0;
        double sumSq = 0.0;
        for (double x : d) {
            sum += x;
            sumSq += x * x;
        }
        const double n = static_cast<double>(d.size());
        const double mean = sum / n;
        EXPECT_NEAR(mean, 0.0, 5.0 * sigma / std::sqrt(n)) << what;
        EXPECT_NEAR(std::sqrt(sumSq / n - mean * mean), sigma, 0.15 * sigma) << what;
    };
    check(dR, options.noise.range, "range");
    check(dAz, options.noise.angle, "azimuth");
    check(dEl, options.noise.angle, "elevation");
}

// A blunder lands on the reading it names, in every component asked, and nowhere else; the
// Cartesian fields follow the spherical ones.
TEST(Scenario, GrossErrorHitsOnlyTheChosenReading) {
    Options options;
    options.noise.gross = {{Set::Main, 5, 3e-3, 0.0, 0.0}, {Set::Flying, 9, 0.0, 2e-3, -1e-3}};
    const Scenario hit = MakeScenario("fullfull0", options);
    const Scenario clean = MakeScenario("fullfull0");
    for (std::size_t i = 0; i < clean.main.size(); ++i) {
        if (i == 5) {
            EXPECT_NEAR(hit.main[i].Range - clean.main[i].Range, 3e-3, 1e-15);
            EXPECT_EQ(hit.main[i].Azimuth, clean.main[i].Azimuth);
            CVector expected = hit.main[i];
            expected.Sphr2Cart();
            EXPECT_EQ(hit.main[i].X, expected.X);
        } else {
            EXPECT_TRUE(SameBits(hit.main[i], clean.main[i])) << i;
        }
    }
    EXPECT_NEAR(hit.flying[9].Azimuth - clean.flying[9].Azimuth, 2e-3, 1e-15);
    EXPECT_NEAR(hit.flying[9].Elevation - clean.flying[9].Elevation, -1e-3, 1e-15);
    EXPECT_TRUE(SameBits(hit.outside1, clean.outside1));

    options.noise.gross = {{Set::Outside2, 20, 1e-3, 0.0, 0.0}};  // outside2 holds 20 readings
    EXPECT_THROW(MakeScenario("fullfull0", options), std::invalid_argument);
}

}  // namespace
}  // namespace compensation::sim
