// A procedure run's cache of raw-reading terms gives every calibration the bits it would
// compute itself, however the run's readings move or change.
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "model/raw_term_cache.h"

namespace {

using compensation::detail::RawTermCache;
using compensation::detail::RawTerms;
using compensation::detail::RawTermsFor;
using compensation::detail::RawTermsOf;

bool SameBits(const RawTerms& a, const RawTerms& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

CVector Reading(double azimuth, double elevation) {
    CVector v;
    v.Type = 100;
    v.Range = 4.0;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.Radian = true;
    return v;
}

// Every reading of the full-full scenario, asked for twice: the first answer is computed, the
// second comes from the cache; both must be the terms of the reading.
TEST(RawTermCache, GivesEachReadingItsOwnTermsBitForBit) {
    const compensation::sim::Scenario s = compensation::sim::MakeScenario("fullfull0");
    const RawTermCache cache(s.main.size());
    for (int round = 0; round < 2; ++round) {
        for (const CVector& raw : s.main) {
            ASSERT_TRUE(SameBits(RawTermsFor(raw), RawTermsOf(raw)));
        }
    }
}

// The entry is found by the angles, not by the reading's place: a reading moved elsewhere
// finds its terms, a reading whose angle changed in place gets new ones, and azimuths 0 and -0
// (whose sines differ in sign) are two readings.
TEST(RawTermCache, KeysOnTheAnglesBits) {
    const RawTermCache cache(4);
    std::vector<CVector> readings = {Reading(0.7, 0.2), Reading(-1.3, -0.4)};
    RawTermsFor(readings[0]);
    RawTermsFor(readings[1]);
    std::swap(readings[0], readings[1]);
    EXPECT_TRUE(SameBits(RawTermsFor(readings[0]), RawTermsOf(Reading(-1.3, -0.4))));
    readings[1].Azimuth = 0.7000000000000001;
    EXPECT_TRUE(SameBits(RawTermsFor(readings[1]), RawTermsOf(readings[1])));

    const CVector positiveZero = Reading(0.0, 0.1);
    const CVector negativeZero = Reading(-0.0, 0.1);
    RawTermsFor(positiveZero);
    const RawTerms terms = RawTermsFor(negativeZero);
    EXPECT_TRUE(std::signbit(terms.s[1]));
    EXPECT_TRUE(SameBits(terms, RawTermsOf(negativeZero)));
}

// More readings than the cache was sized for are still given their terms.
TEST(RawTermCache, ReadingsBeyondItsSizeAreComputed) {
    const RawTermCache cache(1);
    for (int i = 0; i < 100; ++i) {
        const CVector raw = Reading(0.01 * i, -0.003 * i);
        ASSERT_TRUE(SameBits(RawTermsFor(raw), RawTermsOf(raw)));
    }
}

// A cache that keeps another's terms serves them as its own, once each, within its size.
TEST(RawTermCache, KeepsAnotherRunsTermsOnceEachWithinItsSize) {
    std::vector<RawTermCache::Entry> kept;
    {
        RawTermCache run(8);
        for (int i = 0; i < 6; ++i) {
            run.Of(Reading(0.2 * i, 0.1 * i));
        }
        kept = run.Kept();
    }
    ASSERT_EQ(kept.size(), 6u);
    RawTermCache report(5);
    report.Keep(kept);
    report.Keep(kept);
    ASSERT_EQ(report.Kept().size(), 5u);
    for (int i = 0; i < 6; ++i) {
        const CVector raw = Reading(0.2 * i, 0.1 * i);
        EXPECT_TRUE(SameBits(report.Of(raw), RawTermsOf(raw)));
    }
    EXPECT_EQ(report.Kept().size(), 5u);
}

// Active from construction to destruction only, on this thread; a nested cache gives the
// outer one back.
TEST(RawTermCache, IsActiveWhileItLives) {
    EXPECT_EQ(RawTermCache::Active(), nullptr);
    {
        const RawTermCache outer(8);
        EXPECT_EQ(RawTermCache::Active(), &outer);
        {
            const RawTermCache inner(8);
            EXPECT_EQ(RawTermCache::Active(), &inner);
        }
        EXPECT_EQ(RawTermCache::Active(), &outer);
    }
    EXPECT_EQ(RawTermCache::Active(), nullptr);
}

}  // namespace
