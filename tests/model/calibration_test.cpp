// The error model against corrections worked out by hand, one group of elements at a time.
//
// Each group's expected correction is the model's formula reduced to the terms that group
// touches, written out here without any library code. The element values are large (tenths
// of a degree, millimetres to centimetres) so that a wrong sign, a missing face sign or a
// swapped harmonic moves the result by far more than the tolerance.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "model/mapper_elements.h"

namespace {

// The model's own constants, as the instrument's firmware uses them.
constexpr double kDeg = 0.01745329251994;              // degrees to radians
constexpr double kPolyDeg = 57.295779513093144;        // polynomial radians to degrees
constexpr double kQuarterTurnHalf = 0.78539816339745;  // q = this - El / 2
constexpr double kTref = 20.25;
constexpr double kT = 21.5;  // dT = 1.25, exact in binary

struct Reading {
    double R, Az, El;
    int Type;
};

// A front sight and a back sight (the back sight read through the other face: El beyond -90
// degrees). Every Cartesian component of both is far from zero, so relative tolerances hold.
constexpr Reading kFront{5.5, 0.7, 0.2, 100};
constexpr Reading kBack{3.2, -1.9, -2.79, 200};

CVector MakeVector(const Reading& r) {
    CVector v;
    v.Quality = 99.0;
    v.Range = r.R;
    v.Azimuth = r.Az;
    v.Elevation = r.El;
    v.T = kT;
    v.Type = r.Type;
    v.Radian = true;
    return v;
}

// What the formulas read from one reading.
struct Frame {
    double R, Az, El, f, dT, Rk, sq, cq, cosEl;
    Frame(const Reading& r, double tRef)
        : R(r.R),
          Az(r.Az),
          El(r.El),
          f(r.Type == 200 ? -1.0 : 1.0),
          dT(kT - tRef),
          Rk(r.R * kDeg),
          sq(std::sin(kQuarterTurnHalf - 0.5 * r.El)),
          cq(std::cos(kQuarterTurnHalf - 0.5 * r.El)),
          cosEl(std::cos(r.El)) {}
    // An odd harmonic pair carries the face sign, an even one does not.
    double Odd(double sinCoef, double cosCoef, int n) const {
        return f * (sinCoef * std::sin(n * Az) + cosCoef * std::cos(n * Az));
    }
    double Even(double sinCoef, double cosCoef, int n) const {
        return sinCoef * std::sin(n * Az) + cosCoef * std::cos(n * Az);
    }
};

// dR in metres; dAz and the elevation bracket dEl in degrees (dEl enters with f once more).
struct Correction {
    double dR = 0.0;
    double dAz = 0.0;
    double dEl = 0.0;
};

struct Group {
    const char* name;
    void (*set)(TMapper&);
    Correction (*expected)(const TMapper&, const Frame&);
};

const Group kGroups[] = {
    {"A1 series",
     [](TMapper& m) {
         m.A1 = 0.9;
         m.A1_AzS = 0.31, m.A1_AzC = -0.27, m.A1_2AzS = 0.23, m.A1_2AzC = -0.19;
         m.A1_3AzS = 0.17, m.A1_3AzC = 0.13, m.A1_4AzS = -0.11, m.A1_4AzC = 0.29;
         m.A1_5AzS = 0.07, m.A1_5AzC = -0.37, m.A1_6AzS = 0.41, m.A1_6AzC = -0.43;
     },
     [](const TMapper& m, const Frame& x) {
         const double a1 = m.A1 + x.Odd(m.A1_AzS, m.A1_AzC, 1) + x.Even(m.A1_2AzS, m.A1_2AzC, 2) +
                           x.Odd(m.A1_3AzS, m.A1_3AzC, 3) + x.Even(m.A1_4AzS, m.A1_4AzC, 4) +
                           x.Odd(m.A1_5AzS, m.A1_5AzC, 5) + x.Even(m.A1_6AzS, m.A1_6AzC, 6);
         return Correction{0.0, -2.0 * a1 * x.sq * x.sq / (x.f * x.cosEl), 0.0};
     }},
    {"A2 series",
     [](TMapper& m) {
         m.A2 = 0.6;
         m.A2_3AzS = 0.21, m.A2_3AzC = -0.33, m.A2_5AzS = 0.15, m.A2_5AzC = 0.27;
     },
     [](const TMapper& m, const Frame& x) {
         const double a2 = m.A2 + x.Odd(m.A2_3AzS, m.A2_3AzC, 3) + x.Odd(m.A2_5AzS, m.A2_5AzC, 5);
         return Correction{0.0, 0.0, -2.0 * a2};
     }},
    {"A3 series",
     [](TMapper& m) {
         m.A3 = -0.8;
         m.A3_AzS = 0.25, m.A3_AzC = 0.35, m.A3_2AzS = -0.45, m.A3_2AzC = 0.55;
         m.A3_3AzS = -0.15, m.A3_3AzC = 0.05, m.A3_4AzS = 0.65, m.A3_4AzC = -0.75;
         m.A3_5AzS = 0.12, m.A3_5AzC = 0.18, m.A3_6AzS = -0.22, m.A3_6AzC = 0.28;
     },
     [](const TMapper& m, const Frame& x) {
         const double a3 = m.A3 + x.Odd(m.A3_AzS, m.A3_AzC, 1) + x.Even(m.A3_2AzS, m.A3_2AzC, 2) +
                           x.Odd(m.A3_3AzS, m.A3_3AzC, 3) + x.Even(m.A3_4AzS, m.A3_4AzC, 4) +
                           x.Odd(m.A3_5AzS, m.A3_5AzC, 5) + x.Even(m.A3_6AzS, m.A3_6AzC, 6);
         return Correction{0.0, 2.0 * a3 * x.sq / (x.f * x.cosEl), 0.0};
     }},
    {"Ax and Ay", [](TMapper& m) { m.Ax = 0.4, m.Ay = -0.3; },
     [](const TMapper& m, const Frame& x) {
         // P = Ay and Q = -Ax; the face sign cancels in the azimuth.
         return Correction{0.0, (m.Ax * std::cos(x.Az) - m.Ay * std::sin(x.Az)) / x.cosEl,
                           x.f * (m.Ay * std::cos(x.Az) + m.Ax * std::sin(x.Az))};
     }},
    {"X0 and Y0", [](TMapper& m) { m.X0 = 0.02, m.Y0 = -0.015; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, -(m.X0 * std::sin(x.Az) + m.Y0 * std::cos(x.Az)) / (x.Rk * x.cosEl),
                           x.f * (m.X0 * std::cos(x.Az) - m.Y0 * std::sin(x.Az)) / x.Rk};
     }},
    {"D1", [](TMapper& m) { m.D1 = 0.003; },
     [](const TMapper& m, const Frame& x) {
         return Correction{m.D1 * x.f * x.cosEl, 0.0, -2.0 * m.D1 * x.cq * x.cq / x.Rk};
     }},
    {"D2 series", [](TMapper& m) { m.D2 = 0.004, m.D2_AzS = -0.002, m.D2_AzC = 0.003; },
     [](const TMapper& m, const Frame& x) {
         const double d2 = m.D2 + x.Odd(m.D2_AzS, m.D2_AzC, 1);
         return Correction{(2.0 * x.sq - 1.0) * d2, 0.0, -2.0 * d2 * x.f * x.cq / x.Rk};
     }},
    {"azimuth harmonics",
     [](TMapper& m) {
         m.Az_AzS = 0.3, m.Az_AzC = -0.2, m.Az_2AzS = 0.25, m.Az_2AzC = 0.15;
         m.Az_3AzS = -0.35, m.Az_3AzC = 0.45, m.Az_4AzS = 0.1, m.Az_4AzC = -0.4;
         m.Az_5AzS = 0.05, m.Az_5AzC = 0.22, m.Az_6AzS = -0.32, m.Az_6AzC = 0.12;
     },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0,
                           -(x.Odd(m.Az_AzS, m.Az_AzC, 1) + x.Odd(m.Az_3AzS, m.Az_3AzC, 3) +
                             x.Odd(m.Az_5AzS, m.Az_5AzC, 5)) +
                               x.Even(m.Az_2AzS, m.Az_2AzC, 2) + x.Even(m.Az_4AzS, m.Az_4AzC, 4) +
                               x.Even(m.Az_6AzS, m.Az_6AzC, 6),
                           0.0};
     }},
    {"elevation harmonics",
     [](TMapper& m) {
         m.El_2AzS = 0.33, m.El_2AzC = -0.21, m.El_4AzS = 0.14;
         m.El_4AzC = 0.26, m.El_6AzS = -0.18, m.El_6AzC = 0.38;
     },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, 0.0,
                           -(x.Even(m.El_2AzS, m.El_2AzC, 2) + x.Even(m.El_4AzS, m.El_4AzC, 4) +
                             x.Even(m.El_6AzS, m.El_6AzC, 6))};
     }},
    {"El_ElS and El_ElC", [](TMapper& m) { m.El_ElS = 0.42, m.El_ElC = -0.36; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, 0.0, -m.El_ElS * x.sq - m.El_ElC * x.f * x.cq};
     }},
    {"face-signed elevation polynomial",
     [](TMapper& m) { m.B_plus = 0.004, m.A_plus = -0.003, m.C_plus = 0.002; },
     [](const TMapper& m, const Frame& x) {
         const double El = x.El;
         return Correction{
             0.0, 0.0, -(m.B_plus * El + m.A_plus * El * El + m.C_plus * El * El * El) * kPolyDeg};
     }},
    {"face-free elevation polynomial",
     [](TMapper& m) { m.K_minus = 0.3, m.B_minus = -0.005, m.A_minus = 0.004, m.C_minus = 0.001; },
     [](const TMapper& m, const Frame& x) {
         const double El = x.El;
         return Correction{
             0.0, 0.0,
             -(m.K_minus * kDeg + m.B_minus * El + m.A_minus * El * El + m.C_minus * El * El * El) *
                 x.f * kPolyDeg};
     }},
    {"T_ref alone", [](TMapper& m) { m.T_ref = kTref; },
     [](const TMapper&, const Frame&) { return Correction{}; }},
    {"A1 dT terms",
     [](TMapper& m) { m.T_ref = kTref, m.A1_dT = 0.3, m.A1_2AzS_dT = -0.2, m.A1_2AzC_dT = 0.25; },
     [](const TMapper& m, const Frame& x) {
         const double a1 = x.dT * (m.A1_dT + x.Even(m.A1_2AzS_dT, m.A1_2AzC_dT, 2));
         return Correction{0.0, -2.0 * a1 * x.sq * x.sq / (x.f * x.cosEl), 0.0};
     }},
    {"A2 dT term", [](TMapper& m) { m.T_ref = kTref, m.A2_dT = 0.35; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, 0.0, -2.0 * m.A2_dT * x.dT};
     }},
    {"A3 dT terms",
     [](TMapper& m) { m.T_ref = kTref, m.A3_dT = -0.4, m.A3_2AzS_dT = 0.15, m.A3_2AzC_dT = 0.3; },
     [](const TMapper& m, const Frame& x) {
         const double a3 = x.dT * (m.A3_dT + x.Even(m.A3_2AzS_dT, m.A3_2AzC_dT, 2));
         return Correction{0.0, 2.0 * a3 * x.sq / (x.f * x.cosEl), 0.0};
     }},
    {"Ax and Ay dT terms", [](TMapper& m) { m.T_ref = kTref, m.Ax_dT = -0.2, m.Ay_dT = 0.3; },
     [](const TMapper& m, const Frame& x) {
         const double ax = m.Ax_dT * x.dT;
         const double ay = m.Ay_dT * x.dT;
         return Correction{0.0, (ax * std::cos(x.Az) - ay * std::sin(x.Az)) / x.cosEl,
                           x.f * (ay * std::cos(x.Az) + ax * std::sin(x.Az))};
     }},
    {"D2 dT term", [](TMapper& m) { m.T_ref = kTref, m.D2_dT = 0.002; },
     [](const TMapper& m, const Frame& x) {
         const double d2 = m.D2_dT * x.dT;
         return Correction{(2.0 * x.sq - 1.0) * d2, 0.0, -2.0 * d2 * x.f * x.cq / x.Rk};
     }},
    {"azimuth dT terms",
     [](TMapper& m) { m.T_ref = kTref, m.Az_AzS_dT = 0.25, m.Az_AzC_dT = -0.35; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, -x.dT * x.Odd(m.Az_AzS_dT, m.Az_AzC_dT, 1), 0.0};
     }},
    {"elevation 2Az dT terms",
     [](TMapper& m) { m.T_ref = kTref, m.El_2AzS_dT = 0.28, m.El_2AzC_dT = 0.16; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, 0.0, -x.dT * x.Even(m.El_2AzS_dT, m.El_2AzC_dT, 2)};
     }},
    {"El_ElS and El_ElC dT terms",
     [](TMapper& m) { m.T_ref = kTref, m.El_ElS_dT = -0.24, m.El_ElC_dT = 0.32; },
     [](const TMapper& m, const Frame& x) {
         return Correction{0.0, 0.0, -x.dT * (m.El_ElS_dT * x.sq + m.El_ElC_dT * x.f * x.cq)};
     }},
};

// Relative agreement to 1e-12 of the expected value. Library and test evaluate the same sums
// in different orders, which costs a few units in the last place (about 1e-15 relative).
void ExpectRelNear(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-12 * std::fabs(expected)) << what;
}

// The correction itself (corrected minus raw) to 1e-12 of its own size, plus the few units
// in the last place of the raw value that the subtraction can cost.
void ExpectCorrection(double corrected, double raw, double expected, const char* what) {
    const double eps = std::numeric_limits<double>::epsilon();
    EXPECT_NEAR(corrected - raw, expected, 1e-12 * std::fabs(expected) + 4.0 * eps * std::fabs(raw))
        << what;
}

void ExpectCalibratedAs(const Reading& r, const TMapper& m, const Correction& c) {
    const double f = r.Type == 200 ? -1.0 : 1.0;
    const double R = r.R + c.dR;
    const double Az = r.Az + c.dAz * kDeg;
    const double El = r.El + f * c.dEl * kDeg;

    CVector v = MakeVector(r);
    TMapper model = m;
    v.Calibrate(&model);

    ExpectCorrection(v.Range, r.R, c.dR, "Range correction");
    ExpectCorrection(v.Azimuth, r.Az, c.dAz * kDeg, "Azimuth correction");
    ExpectCorrection(v.Elevation, r.El, f * c.dEl * kDeg, "Elevation correction");
    ExpectRelNear(v.Range, R, "Range");
    ExpectRelNear(v.Azimuth, Az, "Azimuth");
    ExpectRelNear(v.Elevation, El, "Elevation");
    ExpectRelNear(v.X, -R * std::cos(El) * std::sin(Az), "X");
    ExpectRelNear(v.Y, R * std::sin(El), "Y");
    ExpectRelNear(v.Z, R * std::cos(El) * std::cos(Az), "Z");
    EXPECT_TRUE(v.Radian);
    EXPECT_EQ(v.FSBS, static_cast<int>(f));
    EXPECT_EQ(std::memcmp(&model, &m, sizeof(TMapper)), 0) << "the model is read only";
}

TEST(Calibration, EachGroupAloneGivesItsHandComputedCorrectionInBothFaces) {
    for (const Group& g : kGroups) {
        TMapper m{};
        g.set(m);
        for (const Reading& r : {kFront, kBack}) {
            SCOPED_TRACE(std::string(g.name) + (r.Type == 100 ? ", front sight" : ", back sight"));
            ExpectCalibratedAs(r, m, g.expected(m, Frame(r, m.T_ref)));
        }
    }
}

TEST(Calibration, WholeModelIsTheSumOfItsGroups) {
    TMapper m{};
    for (const Group& g : kGroups) {
        g.set(m);
    }
    // The groups together set every element of the model, so this covers all 83.
    for (const auto& element : compensation::kMapperElements) {
        EXPECT_NE(m.*element.member, 0.0) << element.name << " is in no group";
    }
    for (const Reading& r : {kFront, kBack}) {
        SCOPED_TRACE(r.Type == 100 ? "front sight" : "back sight");
        const Frame x(r, m.T_ref);
        Correction sum;
        for (const Group& g : kGroups) {
            const Correction c = g.expected(m, x);
            sum.dR += c.dR, sum.dAz += c.dAz, sum.dEl += c.dEl;
        }
        ExpectCalibratedAs(r, m, sum);
    }
}

TEST(Calibration, ZeroModelOnlySetsRadianAndRecomputesCartesian) {
    TMapper m{};
    CVector v = MakeVector(kFront);
    v.Radian = false;  // angles held as radians but flagged as degrees: they are read as radians
    v.X = v.Y = v.Z = 123.0;
    v.Calibrate(&m);
    EXPECT_TRUE(v.Radian);
    EXPECT_EQ(v.Range, kFront.R);
    EXPECT_EQ(v.Azimuth, kFront.Az);
    EXPECT_EQ(v.Elevation, kFront.El);
    EXPECT_DOUBLE_EQ(v.X, -kFront.R * std::cos(kFront.El) * std::sin(kFront.Az));
    EXPECT_DOUBLE_EQ(v.Y, kFront.R * std::sin(kFront.El));
    EXPECT_DOUBLE_EQ(v.Z, kFront.R * std::cos(kFront.El) * std::cos(kFront.Az));
}

TEST(Calibration, FaceSignComesFromTheTypeWhateverTheHostSet) {
    TMapper m{};
    for (const Group& g : kGroups) {
        g.set(m);
    }
    auto calibrated = [&m](int type, int fsbs) {
        CVector v = MakeVector(kFront);
        v.Type = type;
        v.FSBS = fsbs;
        v.Calibrate(&m);
        return v;
    };
    const CVector front = calibrated(100, 0);
    const CVector back = calibrated(200, 0);
    ASSERT_NE(front.Azimuth, back.Azimuth);

    const CVector view = calibrated(14, -1);
    EXPECT_EQ(view.FSBS, 1);
    EXPECT_EQ(view.Azimuth, front.Azimuth);
    EXPECT_EQ(view.Elevation, front.Elevation);
    EXPECT_EQ(view.Range, front.Range);

    const CVector relabelled = calibrated(200, 1);
    EXPECT_EQ(relabelled.FSBS, -1);
    EXPECT_EQ(relabelled.Elevation, back.Elevation);

    // Another type keeps the host's face sign and is corrected in that face.
    const CVector other = calibrated(7, -1);
    EXPECT_EQ(other.FSBS, -1);
    EXPECT_EQ(other.Azimuth, back.Azimuth);
    EXPECT_EQ(other.Elevation, back.Elevation);
    EXPECT_EQ(other.Range, back.Range);
}

TEST(Calibration, UnsetFaceSignLeavesTheReadingAndItsStaleCartesian) {
    TMapper m{};
    for (const Group& g : kGroups) {
        g.set(m);
    }
    for (const bool calibrate : {true, false}) {
        CVector v = MakeVector(kFront);
        v.Type = 7;
        v.FSBS = 0;
        v.Radian = false;
        v.X = 1.0, v.Y = 2.0, v.Z = 3.0;
        calibrate ? v.Calibrate(&m) : v.UnCalibrate(&m);
        EXPECT_TRUE(v.Radian);
        EXPECT_EQ(v.FSBS, 0);
        EXPECT_EQ(v.Range, kFront.R);
        EXPECT_EQ(v.Azimuth, kFront.Az);
        EXPECT_EQ(v.Elevation, kFront.El);
        EXPECT_EQ(v.X, 1.0);
        EXPECT_EQ(v.Y, 2.0);
        EXPECT_EQ(v.Z, 3.0);
    }
}

TEST(Calibration, KMinusMovesBothFacesTheSameWay) {
    const double c = 0.3;
    TMapper m{};
    m.K_minus = c;
    // f x f = 1: the constant reaches both faces with the same sign, about -c degrees.
    const double expected = -c * kDeg * kPolyDeg * kDeg;
    for (const Reading& r : {kFront, kBack}) {
        CVector v = MakeVector(r);
        v.Calibrate(&m);
        EXPECT_NEAR(v.Elevation - r.El, expected, 1e-15) << "Type " << r.Type;
        EXPECT_EQ(v.Azimuth, r.Az);
        EXPECT_EQ(v.Range, r.R);
    }
    EXPECT_NEAR(expected, -c * kDeg, 1e-15);
}

TEST(Calibration, BPlusMovesTheTwoFacesOppositeWaysAtTheSameElevation) {
    TMapper m{};
    m.B_plus = 0.004;
    CVector front = MakeVector(kFront);
    CVector back = MakeVector(kFront);
    back.Type = 200;
    front.Calibrate(&m);
    back.Calibrate(&m);
    const double moveFront = front.Elevation - kFront.El;
    const double moveBack = back.Elevation - kFront.El;
    EXPECT_LT(moveFront, 0.0);
    EXPECT_NEAR(moveBack, -moveFront, 1e-16);
}

TEST(Calibration, UnCalibrateRemovesTheSameCorrectionAndRestoresOnlyToSecondOrder) {
    // A realistic model: the groups scaled down to thousandths of a degree and micrometres.
    auto model = [](double scale) {
        TMapper m{};
        for (const Group& g : kGroups) {
            g.set(m);
        }
        for (const auto& element : compensation::kMapperElements) {
            if (element.member != &TMapper::T_ref) {
                m.*element.member *= scale;
            }
        }
        return m;
    };
    for (const Reading& r : {kFront, kBack}) {
        SCOPED_TRACE(r.Type == 100 ? "front sight" : "back sight");
        TMapper m = model(1e-3);
        CVector forward = MakeVector(r);
        CVector backward = MakeVector(r);
        forward.Calibrate(&m);
        backward.UnCalibrate(&m);
        // Same model at the same raw values, opposite sign.
        ExpectCorrection(backward.Range, r.R, -(forward.Range - r.R), "Range");
        ExpectCorrection(backward.Azimuth, r.Az, -(forward.Azimuth - r.Az), "Azimuth");
        ExpectCorrection(backward.Elevation, r.El, -(forward.Elevation - r.El), "Elevation");

        // The way back evaluates the model at the corrected values, so the round trip leaves a
        // residual of second order: twice the model gives four times the residual. The third
        // order is ~1e-4 of it and rounding ~1e-6, hence 1 %.
        auto residualAz = [&r](TMapper mm) {
            CVector v = MakeVector(r);
            v.Calibrate(&mm);
            v.UnCalibrate(&mm);
            return v.Azimuth - r.Az;
        };
        const double small = residualAz(model(1e-3));
        const double twice = residualAz(model(2e-3));
        EXPECT_NE(small, 0.0);
        EXPECT_LT(std::fabs(small), 1e-3 * std::fabs(forward.Azimuth - r.Az));
        EXPECT_NEAR(twice / small, 4.0, 0.04);
    }
}

TEST(Calibration, CalibratingTwiceAppliesTheModelTwice) {
    TMapper m{};
    m.A2 = 0.6;
    CVector v = MakeVector(kFront);
    v.Calibrate(&m);
    const double once = v.Elevation - kFront.El;
    v.Calibrate(&m);
    // A2 is a constant elevation offset: the second pass adds it again.
    EXPECT_NEAR(v.Elevation - kFront.El, 2.0 * once, 1e-15);
}

}  // namespace
