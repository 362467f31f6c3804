// The measurement record: units, the two coordinate forms, the face and the geometry between
// two readings.
#include <cmath>

#include <gtest/gtest.h>

#include "compensation/vector.h"

namespace {

constexpr double kDegToRad = 0.01745329251994;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kPi = 3.141592653589793;

CVector Reading(double R, double Az, double El, bool radian) {
    CVector v;
    v.Range = R;
    v.Azimuth = Az;
    v.Elevation = El;
    v.Radian = radian;
    return v;
}

CVector Point(double x, double y, double z, double range) {
    CVector v;
    v.X = x, v.Y = y, v.Z = z;
    v.Range = range;
    return v;
}

TEST(Vector, DefaultIsAnEmptyReadingInDegrees) {
    const CVector v;
    EXPECT_EQ(v.Quality, 0.0);
    EXPECT_EQ(v.Range, 0.0);
    EXPECT_EQ(v.Azimuth, 0.0);
    EXPECT_EQ(v.Elevation, 0.0);
    EXPECT_EQ(v.X, 0.0);
    EXPECT_EQ(v.Y, 0.0);
    EXPECT_EQ(v.Z, 0.0);
    EXPECT_EQ(v.T, 0.0);
    EXPECT_EQ(v.Type, 0);
    EXPECT_EQ(v.FSBS, 0);
    EXPECT_FALSE(v.Radian);
}

TEST(Vector, UnitConversionsAreGuardedByTheFlag) {
    CVector v = Reading(1.0, 30.0, -10.0, false);
    v.DegToRad();
    EXPECT_TRUE(v.Radian);
    EXPECT_EQ(v.Azimuth, 30.0 * kDegToRad);
    EXPECT_EQ(v.Elevation, -10.0 * kDegToRad);
    v.DegToRad();  // already radians: nothing happens
    EXPECT_EQ(v.Azimuth, 30.0 * kDegToRad);

    v.RadToDeg();
    EXPECT_FALSE(v.Radian);
    EXPECT_EQ(v.Azimuth, 30.0 * kDegToRad * kRadToDeg);
    EXPECT_EQ(v.Elevation, -10.0 * kDegToRad * kRadToDeg);
    v.RadToDeg();
    EXPECT_EQ(v.Azimuth, 30.0 * kDegToRad * kRadToDeg);

    // Relabelling converts nothing: the degree values are now read as radians.
    v.SetRadian(true);
    EXPECT_EQ(v.Azimuth, 30.0 * kDegToRad * kRadToDeg);
    EXPECT_TRUE(v.Radian);
}

TEST(Vector, CartesianFollowsTheInstrumentAxes) {
    struct Case {
        double Az, El, X, Y, Z;
    };
    // Zero azimuth looks along +Z, positive azimuth turns toward -X, elevation toward +Y.
    const Case cases[] = {
        {0.0, 0.0, 0.0, 0.0, 2.0},
        {kPi / 2, 0.0, -2.0, 0.0, 0.0},
        {-kPi / 2, 0.0, 2.0, 0.0, 0.0},
        {0.0, kPi / 2, 0.0, 2.0, 0.0},
        {kPi / 4, kPi / 6, -std::sqrt(6.0) / 2, 1.0, std::sqrt(6.0) / 2},
    };
    for (const Case& c : cases) {
        CVector v = Reading(2.0, c.Az, c.El, true);
        v.Sphr2Cart();
        // A few units in the last place of values near 2.
        EXPECT_NEAR(v.X, c.X, 1e-15) << c.Az << " " << c.El;
        EXPECT_NEAR(v.Y, c.Y, 1e-15) << c.Az << " " << c.El;
        EXPECT_NEAR(v.Z, c.Z, 1e-15) << c.Az << " " << c.El;
    }
}

TEST(Vector, SphericalToCartesianConvertsDegreesFirst) {
    CVector v = Reading(3.0, 90.0, 0.0, false);
    v.Sphr2Cart();
    EXPECT_TRUE(v.Radian);
    EXPECT_EQ(v.Azimuth, 90.0 * kDegToRad);
    EXPECT_NEAR(v.X, -3.0, 1e-12);
    EXPECT_NEAR(v.Z, 0.0, 1e-12);
}

TEST(Vector, CartesianToSphericalInvertsTheConversion) {
    CVector v = Reading(4.5, -2.4, 0.7, true);
    v.Sphr2Cart();
    CVector back = v;
    back.Range = back.Azimuth = back.Elevation = 0.0;
    back.Radian = false;
    back.Cart2Sphr();
    EXPECT_NEAR(back.Range, 4.5, 1e-15 * 4.5 * 4);
    EXPECT_NEAR(back.Azimuth, -2.4, 1e-15);
    EXPECT_NEAR(back.Elevation, 0.7, 1e-15);
    EXPECT_FALSE(back.Radian) << "the flag is the caller's to set";

    CVector origin;
    origin.Range = origin.Azimuth = origin.Elevation = 9.0;
    origin.Cart2Sphr();
    EXPECT_EQ(origin.Range, 0.0);
    EXPECT_EQ(origin.Azimuth, 0.0);
    EXPECT_EQ(origin.Elevation, 0.0);
}

TEST(Vector, SeTypeDerivesTheFaceFromTheTypeCode) {
    struct Case {
        int type, before, after;
    };
    const Case cases[] = {{14, 0, 1},   {14, -1, 1}, {100, -1, 1}, {200, 0, -1},
                          {200, 1, -1}, {7, -1, -1}, {7, 0, 0},    {-100, 5, 5}};
    for (const Case& c : cases) {
        CVector v;
        v.Type = c.type;
        v.FSBS = c.before;
        v.SeType();
        EXPECT_EQ(v.FSBS, c.after) << "Type " << c.type << ", FSBS " << c.before;
    }
}

TEST(Vector, FlipReadsTheOtherFaceAndNeverWraps) {
    CVector v = Reading(2.5, 0.9, 0.3, true);
    v.Type = 100, v.FSBS = 1;
    v.Sphr2Cart();
    CVector flipped = v;
    flipped.Flip();
    EXPECT_EQ(flipped.Azimuth, 0.9 - kPi);
    EXPECT_EQ(flipped.Elevation, -kPi - 0.3);
    EXPECT_EQ(flipped.X, v.X);  // only the angles change
    EXPECT_EQ(flipped.FSBS, 1);
    EXPECT_EQ(flipped.Type, 100);
    EXPECT_TRUE(flipped.Radian);

    // The other face's reading names the same point.
    CVector point = flipped;
    point.Sphr2Cart();
    EXPECT_NEAR(point.X, v.X, 1e-15 * 8);
    EXPECT_NEAR(point.Y, v.Y, 1e-15 * 8);
    EXPECT_NEAR(point.Z, v.Z, 1e-15 * 8);

    flipped.Flip();
    EXPECT_NEAR(flipped.Azimuth, 0.9 - 2.0 * kPi, 1e-15);
    EXPECT_NEAR(flipped.Elevation, 0.3, 1e-15);

    CVector degrees = Reading(2.5, 40.0, 20.0, false);
    degrees.Flip();
    EXPECT_EQ(degrees.Azimuth, -140.0);
    EXPECT_EQ(degrees.Elevation, -200.0);
    degrees.Flip();
    EXPECT_EQ(degrees.Azimuth, -320.0);
    EXPECT_EQ(degrees.Elevation, 20.0);
}

TEST(Vector, InterVectorRangeIsTheCartesianDistance) {
    CVector self = Point(100.0, 100.0, 100.0, 1.0);  // plays no part
    EXPECT_EQ(self.InterVectorRange(Point(1.0, 2.0, 3.0, 0.0), Point(4.0, 6.0, 3.0, 0.0)), 5.0);
    EXPECT_EQ(self.InterVectorRange(Point(1.0, 2.0, 3.0, 0.0), Point(1.0, 2.0, 3.0, 0.0)), 0.0);
}

TEST(Vector, InterVectorAngleDividesByTheStoredRanges) {
    CVector self;
    EXPECT_NEAR(self.InterVectorAngle(Point(1.0, 0.0, 0.0, 1.0), Point(0.0, 0.0, 2.0, 2.0)),
                kPi / 2, 1e-15);
    EXPECT_NEAR(self.InterVectorAngle(Point(3.0, 4.0, 0.0, 5.0), Point(-3.0, -4.0, 0.0, 5.0)), kPi,
                1e-7);  // acos near -1 loses half the digits
    // Stored ranges shorter than the points' norms: the cosine exceeds 1 and is not clamped.
    EXPECT_TRUE(
        std::isnan(self.InterVectorAngle(Point(3.0, 4.0, 0.0, 4.9), Point(3.0, 4.0, 0.0, 4.9))));
}

}  // namespace
