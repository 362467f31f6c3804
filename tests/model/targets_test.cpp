// Target records: the nominal flag, copies, and unit conversion of the angles they hold.
#include <gtest/gtest.h>

#include "compensation/targets.h"

namespace {

constexpr double kDegToRad = 0.01745329251994;
constexpr double kRadToDeg = 57.29577951308232;

void SetDegrees(CVector& v, double az, double el) {
    v.Azimuth = az;
    v.Elevation = el;
    v.Radian = false;
}

TEST(Targets, DefaultTargetsAreNominal) {
    EXPECT_TRUE(CTarget().IsNominal());
    EXPECT_TRUE(CToolingBall().IsNominal());
    EXPECT_TRUE(CTrihedral().IsNominal());
    CTarget measured;
    measured.m_bNominal = false;
    EXPECT_FALSE(measured.IsNominal());
}

TEST(Targets, CopiesCarryBothReadingsAndTheirOwnFields) {
    CTrihedral t;
    t.m_Vector1.Range = 1.5, t.m_Vector1.Type = 100;
    t.m_Vector2.Range = 2.5, t.m_Vector2.FSBS = -1;
    t.m_bNominal = false;
    t.m_dAngle1 = 1.0, t.m_dAngle2 = 2.0, t.m_dAngle3 = 3.0;
    CTrihedral copy(t);
    CTrihedral assigned;
    assigned = t;
    for (const CTrihedral* c : {&copy, &assigned}) {
        EXPECT_EQ(c->m_Vector1.Range, 1.5);
        EXPECT_EQ(c->m_Vector1.Type, 100);
        EXPECT_EQ(c->m_Vector2.Range, 2.5);
        EXPECT_EQ(c->m_Vector2.FSBS, -1);
        EXPECT_FALSE(c->m_bNominal);
        EXPECT_EQ(c->m_dAngle1, 1.0);
        EXPECT_EQ(c->m_dAngle2, 2.0);
        EXPECT_EQ(c->m_dAngle3, 3.0);
    }

    CToolingBall ball;
    ball.m_Value = 0.0127;
    ball.m_Vector2.Quality = 88.0;
    CToolingBall ballAssigned;
    ballAssigned = ball;
    EXPECT_EQ(CToolingBall(ball).m_Value, 0.0127);
    EXPECT_EQ(ballAssigned.m_Value, 0.0127);
    EXPECT_EQ(ballAssigned.m_Vector2.Quality, 88.0);
}

TEST(Targets, ConversionReachesBothReadingsOnce) {
    CToolingBall ball;
    SetDegrees(ball.m_Vector1, 10.0, 20.0);
    SetDegrees(ball.m_Vector2, -30.0, 40.0);
    CTarget& target = ball;  // the tooling ball converts as a plain target
    target.DegToRad();
    target.DegToRad();
    EXPECT_TRUE(ball.m_Vector1.Radian);
    EXPECT_TRUE(ball.m_Vector2.Radian);
    EXPECT_EQ(ball.m_Vector1.Azimuth, 10.0 * kDegToRad);
    EXPECT_EQ(ball.m_Vector2.Elevation, 40.0 * kDegToRad);
    target.RadToDeg();
    EXPECT_FALSE(ball.m_Vector1.Radian);
    EXPECT_EQ(ball.m_Vector2.Azimuth, -30.0 * kDegToRad * kRadToDeg);
}

TEST(Targets, TrihedralAnglesScaleOnEveryCall) {
    CTrihedral t;
    SetDegrees(t.m_Vector1, 10.0, 20.0);
    SetDegrees(t.m_Vector2, 30.0, 40.0);
    t.m_dAngle1 = 90.0, t.m_dAngle2 = 45.0, t.m_dAngle3 = -60.0;
    CTarget& target = t;  // the trihedral's own conversion through the base
    target.DegToRad();
    EXPECT_EQ(t.m_dAngle1, 90.0 * kDegToRad);
    EXPECT_EQ(t.m_Vector1.Azimuth, 10.0 * kDegToRad);
    target.RadToDeg();
    // The two conversion constants multiply to 1 - 1.89e-13, so the round trip is short by
    // that much: 2e-13 relative.
    EXPECT_NEAR(t.m_dAngle1, 90.0, 2e-13 * 90.0);
    EXPECT_NEAR(t.m_dAngle3, -60.0, 2e-13 * 60.0);
    EXPECT_NEAR(t.m_Vector2.Elevation, 40.0, 2e-13 * 40.0);
    EXPECT_NE(t.m_dAngle1, 90.0);
    EXPECT_FALSE(t.m_Vector2.Radian);

    // The angles have no flag: a second call scales them again, the readings only once.
    t.DegToRad();
    t.DegToRad();
    EXPECT_EQ(t.m_dAngle2, 45.0 * kDegToRad * kRadToDeg * kDegToRad * kDegToRad);
    EXPECT_EQ(t.m_Vector1.Azimuth, 10.0 * kDegToRad * kRadToDeg * kDegToRad);
}

}  // namespace
