// The simulated instrument: true directions, and raw readings that calibrate back to them.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation_sim/simulator.h"

namespace compensation::sim {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi / 180.0;

struct Term {
    double TMapper::*element;
    double value;
};

struct ElementGroup {
    std::string name;
    std::vector<Term> terms;
};

// Every element of the model, grouped as the model's algebra groups them, at values about
// twice the realistic size (degrees, metres, rad per rad^n, per unit of T).
std::vector<ElementGroup> Groups() {
    return {
        {"A1 series",
         {{&TMapper::A1, 2e-3},
          {&TMapper::A1_AzS, -1.5e-3},
          {&TMapper::A1_AzC, 1.2e-3},
          {&TMapper::A1_2AzS, 1e-3},
          {&TMapper::A1_2AzC, -9e-4},
          {&TMapper::A1_3AzS, 8e-4},
          {&TMapper::A1_3AzC, 7e-4},
          {&TMapper::A1_4AzS, -6e-4},
          {&TMapper::A1_4AzC, 5e-4},
          {&TMapper::A1_5AzS, 4e-4},
          {&TMapper::A1_5AzC, -3e-4},
          {&TMapper::A1_6AzS, 3e-4},
          {&TMapper::A1_6AzC, 2e-4}}},
        {"A2 series",
         {{&TMapper::A2, 1.4e-3},
          {&TMapper::A2_3AzS, -9e-4},
          {&TMapper::A2_3AzC, 7e-4},
          {&TMapper::A2_5AzS, 5e-4},
          {&TMapper::A2_5AzC, -4e-4}}},
        {"A3 series",
         {{&TMapper::A3, -1.6e-3},
          {&TMapper::A3_AzS, 1.2e-3},
          {&TMapper::A3_AzC, -1e-3},
          {&TMapper::A3_2AzS, 9e-4},
          {&TMapper::A3_2AzC, 8e-4},
          {&TMapper::A3_3AzS, -7e-4},
          {&TMapper::A3_3AzC, 6e-4},
          {&TMapper::A3_4AzS, 5e-4},
          {&TMapper::A3_4AzC, -4e-4},
          {&TMapper::A3_5AzS, 4e-4},
          {&TMapper::A3_5AzC, 3e-4},
          {&TMapper::A3_6AzS, -3e-4},
          {&TMapper::A3_6AzC, 2e-4}}},
        {"axis lean", {{&TMapper::Ax, 1.8e-3}, {&TMapper::Ay, -2.4e-3}}},
        {"beam offsets", {{&TMapper::D1, 2.4e-5}, {&TMapper::X0, 3e-5}, {&TMapper::Y0, -2e-5}}},
        {"D2 series",
         {{&TMapper::D2, 4e-5}, {&TMapper::D2_AzS, 1.2e-5}, {&TMapper::D2_AzC, -8e-6}}},
        {"azimuth harmonics",
         {{&TMapper::Az_AzC, 1.2e-3},
          {&TMapper::Az_AzS, -1.8e-3},
          {&TMapper::Az_2AzC, 6e-4},
          {&TMapper::Az_2AzS, 8e-4},
          {&TMapper::Az_3AzC, -5e-4},
          {&TMapper::Az_3AzS, 6e-4},
          {&TMapper::Az_4AzC, 4e-4},
          {&TMapper::Az_4AzS, 5e-4},
          {&TMapper::Az_5AzC, -8e-4},
          {&TMapper::Az_5AzS, 1e-3},
          {&TMapper::Az_6AzC, -4e-4},
          {&TMapper::Az_6AzS, 3e-4}}},
        {"elevation harmonics",
         {{&TMapper::El_2AzC, 1.6e-3},
          {&TMapper::El_2AzS, -1e-3},
          {&TMapper::El_4AzC, -8e-4},
          {&TMapper::El_4AzS, 7e-4},
          {&TMapper::El_6AzC, -1.4e-3},
          {&TMapper::El_6AzS, 1.6e-3},
          {&TMapper::El_ElS, 2.2e-3},
          {&TMapper::El_ElC, 1.8e-3}}},
        {"face-signed polynomial",
         {{&TMapper::B_plus, 4e-5}, {&TMapper::A_plus, -6e-5}, {&TMapper::C_plus, 8e-5}}},
        {"face-free polynomial",
         {{&TMapper::B_minus, 5e-5},
          {&TMapper::A_minus, 4e-5},
          {&TMapper::C_minus, -7e-5},
          {&TMapper::K_minus, 2.4e-3}}},
        {"temperature terms",
         {{&TMapper::Ay_dT, 3e-4},
          {&TMapper::Ax_dT, -2e-4},
          {&TMapper::D2_dT, 2e-6},
          {&TMapper::Az_AzC_dT, 2e-4},
          {&TMapper::Az_AzS_dT, -3e-4},
          {&TMapper::El_ElC_dT, 2e-4},
          {&TMapper::El_ElS_dT, 3e-4},
          {&TMapper::A3_2AzC_dT, -1e-4},
          {&TMapper::A3_2AzS_dT, 2e-4},
          {&TMapper::El_2AzC_dT, 1e-4},
          {&TMapper::El_2AzS_dT, -2e-4},
          {&TMapper::A3_dT, 3e-4},
          {&TMapper::A2_dT, -2e-4},
          {&TMapper::A1_2AzC_dT, 1e-4},
          {&TMapper::A1_2AzS_dT, 2e-4},
          {&TMapper::A1_dT, -3e-4}}},
    };
}

// The T of every reading of the round trip, 3.5 units above the model's T_ref, so that every
// _dT term acts.
constexpr double kReferenceT = 20.0;
constexpr double kReadingT = 23.5;

// Directions from 1.5 to 12 m, over the whole azimuth circle and from -60 to +65 degrees.
std::vector<CVector> Directions() {
    std::vector<CVector> directions;
    const Placement origin;
    for (double range : {1.5, 4.0, 12.0}) {
        for (double az : {-170.0, -95.0, -20.0, 35.0, 110.0, 175.0}) {
            for (double el : {-60.0, -25.0, 0.0, 30.0, 65.0}) {
                const double a = az * kDegree;
                const double e = el * kDegree;
                const Point p{-range * std::cos(e) * std::sin(a), range * std::sin(e),
                              range * std::cos(e) * std::cos(a)};
                directions.push_back(TrueReading(origin, p));
            }
        }
    }
    return directions;
}

// For each group on its own and for all groups together, both faces calibrate back to the
// true range and angles within the inversion's stated 1e-12 (rad and m). The group must move
// the reading by far more than that somewhere, or the test would prove nothing.
TEST(RawReading, CalibratesBackToTheTruthForEveryGroupBothFacesAndNonZeroDt) {
    std::vector<ElementGroup> groups = Groups();
    ElementGroup all{"all groups", {}};
    for (const ElementGroup& g : groups) {
        all.terms.insert(all.terms.end(), g.terms.begin(), g.terms.end());
    }
    groups.push_back(all);
    const std::vector<CVector> directions = Directions();
    for (const ElementGroup& group : groups) {
        TMapper truth{};
        truth.T_ref = kReferenceT;
        for (const Term& term : group.terms) {
            truth.*term.element = term.value;
        }
        double largestMove = 0.0;
        for (int type : {100, 200}) {
            for (const CVector& t : directions) {
                const CVector raw = RawReading(t, type, kReadingT, truth);
                EXPECT_EQ(raw.Type, type);
                EXPECT_EQ(raw.FSBS, type == 100 ? 1 : -1);
                EXPECT_EQ(raw.T, kReadingT);
                CVector calibrated = raw;
                calibrated.Calibrate(&truth);
                EXPECT_NEAR(calibrated.Range, t.Range, 1e-12) << group.name;
                EXPECT_NEAR(calibrated.Azimuth, t.Azimuth, 1e-12) << group.name;
                EXPECT_NEAR(calibrated.Elevation, t.Elevation, 1e-12) << group.name;
                largestMove = std::max({largestMove, std::fabs(raw.Range - t.Range),
                                        std::fabs(raw.Azimuth - t.Azimuth),
                                        std::fabs(raw.Elevation - t.Elevation)});
            }
        }
        EXPECT_GT(largestMove, 1e-7) << group.name;
    }
}

// A back sight is held in the front sight's angular convention: its stored angles lie within
// the 0.01745 rad and its range within the 0.01 m in which the library pairs the two faces,
// although calibrating each with its own face sign gives the same direction.
TEST(RawReading, BackSightIsStoredBesideItsFrontSight) {
    TMapper truth{};
    for (const ElementGroup& g : Groups()) {
        for (const Term& term : g.terms) {
            truth.*term.element = term.value;
        }
    }
    truth.T_ref = kReferenceT;
    double largestFaceDifference = 0.0;
    for (const CVector& t : Directions()) {
        const CVector front = RawReading(t, 100, kReadingT, truth);
        const CVector back = RawReading(t, 200, kReadingT, truth);
        EXPECT_LT(std::fabs(front.Range - back.Range), 0.01);
        EXPECT_LT(std::fabs(front.Azimuth - back.Azimuth), 0.01745);
        EXPECT_LT(std::fabs(front.Elevation - back.Elevation), 0.01745);
        largestFaceDifference =
            std::max(largestFaceDifference, std::fabs(front.Elevation - back.Elevation));
    }
    // The face-dependent terms do separate the two faces.
    EXPECT_GT(largestFaceDifference, 1e-6);
}

// Hand-worked placements: an instrument at (1, 2, 3) turned to heading 90 degrees sees a point
// 2 m along world +Z (world azimuth 0) at azimuth 0 - 90 degrees; leaning its vertical axis by
// 0.01 rad about its own X axis lowers a point straight ahead by 0.01 rad.
TEST(TrueReading, FollowsHeadingAndTilt) {
    Placement turned;
    turned.position = {1.0, 2.0, 3.0};
    turned.heading = kPi / 2.0;
    const CVector seen = TrueReading(turned, {1.0, 2.0, 5.0});
    EXPECT_NEAR(seen.Range, 2.0, 1e-15);
    EXPECT_NEAR(seen.Azimuth, -kPi / 2.0, 1e-15);
    EXPECT_NEAR(seen.Elevation, 0.0, 1e-15);
    EXPECT_NEAR(seen.X, 2.0, 1e-15);  // X = -R cos El sin Az
    EXPECT_TRUE(seen.Radian);
    EXPECT_EQ(seen.Quality, 100.0);

    Placement leaning;
    leaning.tilt_x = 0.01;
    const CVector ahead = TrueReading(leaning, {0.0, 0.0, 3.0});
    EXPECT_NEAR(ahead.Elevation, -0.01, 1e-15);
    EXPECT_NEAR(ahead.Azimuth, 0.0, 1e-15);

    Placement rolled;
    rolled.tilt_z = 0.02;
    const CVector side = TrueReading(rolled, {-3.0, 0.0, 0.0});  // world azimuth +90 degrees
    EXPECT_NEAR(side.Elevation, -0.02, 1e-15);
}

// Straight up, the azimuth correction divides by cos(El), about 6e-17: the reading would move
// by some 1e13 degrees, which no instrument reads. One metre of range offset is refused too,
// while a correction of 0.005 rad (just inside the limit of 0.01) is made.
TEST(RawReading, RefusesCorrectionsNoInstrumentMakes) {
    TMapper truth{};
    truth.Ax = 1e-3;  // enters the azimuth as cos(Az) Ax / cos(El)
    const CVector zenith = TrueReading(Placement{}, {0.0, 3.0, 0.0});
    EXPECT_THROW(RawReading(zenith, 100, 0.0, truth), std::runtime_error);

    const CVector ahead = TrueReading(Placement{}, {0.0, 0.0, 3.0});
    TMapper offset{};
    offset.D1 = 1.0;
    EXPECT_THROW(RawReading(ahead, 100, 0.0, offset), std::runtime_error);
    TMapper large{};
    large.Az_AzC = 0.005 * 57.29577951308232;  // acts as -Az_AzC cos Az: 0.005 rad straight ahead
    EXPECT_NEAR(RawReading(ahead, 100, 0.0, large).Azimuth, 0.005, 1e-4);
}

}  // namespace
}  // namespace compensation::sim
