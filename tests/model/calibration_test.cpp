// The error model against corrections worked out by hand from its formulas: every element
// alone, then the whole model, for a front sight and a back sight (El beyond -90 degrees).
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "model/mapper_elements.h"

namespace {

constexpr double kDeg = 0.01745329251994;              // degrees to radians
constexpr double kPolyDeg = 57.295779513093144;        // polynomial radians to degrees
constexpr double kQuarterTurnHalf = 0.78539816339745;  // q = this - El / 2
constexpr double kUlps = 4.0 * std::numeric_limits<double>::epsilon();  // a few in the last place
constexpr double kTref = 20.25, kT = 21.5;  // dT = 1.25, exact in binary

CVector Sight(double R, double Az, double El, int type) {
    CVector v;
    v.Range = R, v.Azimuth = Az, v.Elevation = El, v.T = kT, v.Type = type, v.Radian = true;
    return v;
}
// Every Cartesian component of both is far from zero, so relative tolerances hold.
const CVector kFront = Sight(5.5, 0.7, 0.2, 100), kBack = Sight(3.2, -1.9, -2.79, 200);

struct Correction {
    double range;      // m
    double azimuth;    // degrees
    double elevation;  // degrees, before the face sign
};

// The model's formulas, written out here without any library code.
Correction Expected(const TMapper& m, const CVector& r) {
    const double f = r.Type == 200 ? -1.0 : 1.0, dT = kT - m.T_ref, Rk = r.Range * kDeg;
    const double Az = r.Azimuth, El = r.Elevation, q = kQuarterTurnHalf - 0.5 * El;
    const double sAz = std::sin(Az), cAz = std::cos(Az), cosEl = std::cos(El);
    const double sq = std::sin(q), cq = std::cos(q);
    // A harmonic pair of order n: odd orders carry the face sign, even ones do not.
    auto h = [&](double s, double c, int n) {
        return (n % 2 ? f : 1.0) * (s * std::sin(n * Az) + c * std::cos(n * Az));
    };
    const double a1 = m.A1 + h(m.A1_AzS, m.A1_AzC, 1) + h(m.A1_2AzS, m.A1_2AzC, 2) +
                      h(m.A1_3AzS, m.A1_3AzC, 3) + h(m.A1_4AzS, m.A1_4AzC, 4) +
                      h(m.A1_5AzS, m.A1_5AzC, 5) + h(m.A1_6AzS, m.A1_6AzC, 6) +
                      dT * (m.A1_dT + h(m.A1_2AzS_dT, m.A1_2AzC_dT, 2));
    const double a2 = m.A2 + h(m.A2_3AzS, m.A2_3AzC, 3) + h(m.A2_5AzS, m.A2_5AzC, 5) + dT * m.A2_dT;
    const double a3 = m.A3 + h(m.A3_AzS, m.A3_AzC, 1) + h(m.A3_2AzS, m.A3_2AzC, 2) +
                      h(m.A3_3AzS, m.A3_3AzC, 3) + h(m.A3_4AzS, m.A3_4AzC, 4) +
                      h(m.A3_5AzS, m.A3_5AzC, 5) + h(m.A3_6AzS, m.A3_6AzC, 6) +
                      dT * (m.A3_dT + h(m.A3_2AzS_dT, m.A3_2AzC_dT, 2));
    const double ax = m.Ax + dT * m.Ax_dT, ay = m.Ay + dT * m.Ay_dT;  // P = Ay, Q = -Ax
    const double d2 = m.D2 + h(m.D2_AzS, m.D2_AzC, 1) + dT * m.D2_dT;
    const double az = -h(m.Az_AzS, m.Az_AzC, 1) + h(m.Az_2AzS, m.Az_2AzC, 2) -
                      h(m.Az_3AzS, m.Az_3AzC, 3) + h(m.Az_4AzS, m.Az_4AzC, 4) -
                      h(m.Az_5AzS, m.Az_5AzC, 5) + h(m.Az_6AzS, m.Az_6AzC, 6) -
                      dT * h(m.Az_AzS_dT, m.Az_AzC_dT, 1);
    const double el = h(m.El_2AzS, m.El_2AzC, 2) + h(m.El_4AzS, m.El_4AzC, 4) +
                      h(m.El_6AzS, m.El_6AzC, 6) + dT * h(m.El_2AzS_dT, m.El_2AzC_dT, 2) +
                      (m.El_ElS + dT * m.El_ElS_dT) * sq + (m.El_ElC + dT * m.El_ElC_dT) * f * cq;
    const double plus = (m.B_plus * El + m.A_plus * El * El + m.C_plus * El * El * El) * kPolyDeg;
    const double minus =
        (m.K_minus * kDeg + m.B_minus * El + m.A_minus * El * El + m.C_minus * El * El * El) * f *
        kPolyDeg;
    return {m.D1 * f * cosEl + (2.0 * sq - 1.0) * d2,
            (2.0 * a3 * sq - 2.0 * a1 * sq * sq) / (f * cosEl) + (ax * cAz - ay * sAz) / cosEl -
                (m.X0 * sAz + m.Y0 * cAz) / (Rk * cosEl) + az,
            -2.0 * a2 + f * (ay * cAz + ax * sAz) + f * (m.X0 * cAz - m.Y0 * sAz) / Rk -
                2.0 * m.D1 * cq * cq / Rk - 2.0 * d2 * f * cq / Rk - el - plus - minus};
}

// Distinct values, large enough that a wrong sign or swapped harmonic shows (only < 0: all).
TMapper Model(int only, double scale = 1.0) {
    TMapper m{};
    for (int i = 0; i < 83; ++i) {
        const std::string n = compensation::kMapperElements[i].name;
        // Lengths (D1, D2 series, X0, Y0) and the elevation polynomials take smaller values.
        const double size = n[0] == 'D' || n[1] == '0'          ? 3e-3
                            : n.find("plus") != n.find("minus") ? 2e-3
                                                                : 0.3;
        if (only < 0 || i == only) {
            m.*compensation::kMapperElements[i].member =
                scale * size * (i % 2 ? -1.0 : 1.0) * (1.0 + 0.01 * i);
        }
    }
    m.T_ref = kTref;
    return m;
}

// Corrections (and UnCalibrate's, opposite) to 1e-12 of their size plus the raw value's last
// places; X, Y, Z to 1e-12 relative (library and test sum in other orders: about 1e-15).
void ExpectCalibratedAs(const CVector& r, TMapper m) {
    const Correction c = Expected(m, r);
    const double f = r.Type == 200 ? -1.0 : 1.0, R = r.Range + c.range,
                 Az = r.Azimuth + c.azimuth * kDeg;
    const double El = r.Elevation + f * c.elevation * kDeg, cE = std::cos(El);
    const TMapper before = m;
    CVector v = r, u = r;
    v.Calibrate(&m);
    u.UnCalibrate(&m);
    const double raw[] = {r.Range, r.Azimuth, r.Elevation, 0.0, 0.0, 0.0};
    const double X = -R * cE * std::sin(Az), Y = R * std::sin(El), Z = R * cE * std::cos(Az);
    const double moved[] = {c.range, c.azimuth * kDeg, f * c.elevation * kDeg, X, Y, Z};
    const double actual[] = {v.Range, v.Azimuth, v.Elevation, v.X, v.Y, v.Z};
    const double undone[] = {u.Range, u.Azimuth, u.Elevation};
    const char* const names[] = {"Range", "Azimuth", "Elevation", "X", "Y", "Z"};
    for (int i = 0; i < 6; ++i) {
        const double tolerance = 1e-12 * std::fabs(moved[i]) + kUlps * std::fabs(raw[i]);
        EXPECT_NEAR(actual[i] - raw[i], moved[i], tolerance) << names[i];
        if (i < 3) {
            EXPECT_NEAR(undone[i] - raw[i], -moved[i], tolerance) << "UnCalibrate " << names[i];
        }
    }
    EXPECT_EQ(v.FSBS, static_cast<int>(f));
    EXPECT_EQ(std::memcmp(&before, &m, sizeof(TMapper)), 0) << "the model is read only";
}

TEST(Calibration, EachElementAloneAndTheWholeModelMatchTheHandFormulas) {
    for (int i = -1; i < 83; ++i) {
        SCOPED_TRACE(i < 0 ? "whole model" : compensation::kMapperElements[i].name);
        ExpectCalibratedAs(kFront, Model(i));
        ExpectCalibratedAs(kBack, Model(i));
    }
}

// The face comes from Type 14/100/200 over FSBS; another type keeps FSBS, and FSBS 0 (no face)
// leaves the reading and its stale Cartesian. A degree flag is not a conversion.
TEST(Calibration, FaceComesFromTheTypeElseFromTheHost) {
    TMapper m = Model(-1);
    for (const bool forward : {true, false}) {
        auto run = [&](int type, int fsbs) {
            CVector v = kFront;
            v.Type = type, v.FSBS = fsbs, v.Radian = false, v.X = 1.0;
            forward ? v.Calibrate(&m) : v.UnCalibrate(&m);
            EXPECT_TRUE(v.Radian);
            return std::tuple(v.FSBS, v.Range, v.Azimuth, v.Elevation, v.X == 1.0);
        };
        const auto front = run(100, 0), back = run(200, 0);
        ASSERT_NE(front, back);
        EXPECT_EQ(run(14, -1), front);
        EXPECT_EQ(run(200, 1), back);
        EXPECT_EQ(run(7, -1), back);
        EXPECT_EQ(run(7, 0), std::tuple(0, kFront.Range, kFront.Azimuth, kFront.Elevation, true));
    }
}

}  // namespace
