// Calibration from precomputed raw-reading terms gives exactly what CVector::Calibrate gives:
// the fits rely on it to calibrate every pass bit for bit as before.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "model/raw_terms.h"

namespace {

using compensation::detail::CalibrateWith;
using compensation::detail::RawTermsOf;

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every reading of the full-full scenario (both faces, reference views, all elevations) with
// its true model, which sets every element a full-full compensation fits.
TEST(RawTerms, CalibrateWithTermsEqualsCalibrateBitForBit) {
    const compensation::sim::Scenario s = compensation::sim::MakeScenario("fullfull0");
    TMapper model = s.truth;
    model.T_ref = 19.5;  // the dT terms take part
    for (const CVector& raw : s.main) {
        CVector expected = raw;
        expected.Calibrate(&model);
        CVector withPoints = raw;
        CalibrateWith(withPoints, model, RawTermsOf(raw), true);
        CVector withoutPoints = raw;
        CalibrateWith(withoutPoints, model, RawTermsOf(raw), false);
        for (const CVector* v : {&withPoints, &withoutPoints}) {
            EXPECT_TRUE(SameBits(v->Range, expected.Range));
            EXPECT_TRUE(SameBits(v->Azimuth, expected.Azimuth));
            EXPECT_TRUE(SameBits(v->Elevation, expected.Elevation));
            EXPECT_EQ(v->FSBS, expected.FSBS);
            EXPECT_EQ(v->Radian, expected.Radian);
        }
        EXPECT_TRUE(SameBits(withPoints.X, expected.X));
        EXPECT_TRUE(SameBits(withPoints.Y, expected.Y));
        EXPECT_TRUE(SameBits(withPoints.Z, expected.Z));
        // The passes that read no point leave it as the raw copy had it.
        EXPECT_TRUE(SameBits(withoutPoints.X, raw.X));
    }
}

// A reading without a face sign is left alone but for Radian, as Calibrate leaves it.
TEST(RawTerms, AReadingWithoutFaceIsLeftAsCalibrateLeavesIt) {
    CVector raw;
    raw.Type = 7;
    raw.FSBS = 0;
    raw.Range = 3.0;
    raw.Azimuth = 0.4;
    raw.Elevation = 0.1;
    raw.X = 42.0;
    TMapper model{};
    model.A1 = 1e-3;
    CVector v = raw;
    CalibrateWith(v, model, RawTermsOf(raw), true);
    EXPECT_EQ(v.Range, 3.0);
    EXPECT_EQ(v.X, 42.0);
    EXPECT_TRUE(v.Radian);
}

}  // namespace
