// The measurement record's geometry, the targets' units and the scanner model import (the
// record's Cartesian axes and face sign are checked with the calibration).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "model/mapper_elements.h"

namespace {

using compensation::kMapperElements;
using compensation::MapperElementIndex;
constexpr double kPi = 3.141592653589793;
constexpr double kDegToRad = 0.01745329251994;
constexpr double kRadToDeg = 57.29577951308232;

CVector At(double x, double y, double z, double range = 0.0) {
    CVector v;
    v.X = x, v.Y = y, v.Z = z, v.Range = range, v.Radian = true;
    return v;
}

const CVector kPoint = At(4.5 * std::cos(0.7) * std::sin(2.4), 4.5 * std::sin(0.7),
                          4.5 * std::cos(0.7) * std::cos(2.4));

// To a few ulps of 4.5 m and of the angles; the unit flag is the caller's to set.
TEST(Vector, Cart2SphrInvertsTheAxes) {
    CVector v = kPoint;
    v.Radian = false;
    v.Cart2Sphr();
    EXPECT_FALSE(v.Radian);
    EXPECT_NEAR(v.Range, 4.5, 2e-14);
    EXPECT_NEAR(v.Azimuth, -2.4, 1e-15);
    EXPECT_NEAR(v.Elevation, 0.7, 1e-15);
}

// The flipped angles name the same point (to a few ulps of 4.5 m), never wrapped.
TEST(Vector, FlipNamesTheSamePointUnwrapped) {
    CVector v = kPoint;
    v.Cart2Sphr();
    CVector flipped = v;
    flipped.Flip();
    EXPECT_EQ(flipped.Azimuth, v.Azimuth - kPi);
    EXPECT_EQ(flipped.Elevation, -kPi - v.Elevation);
    flipped.Sphr2Cart();
    EXPECT_LT(std::hypot(flipped.X - v.X, flipped.Y - v.Y, flipped.Z - v.Z), 8e-15);
}

// The record itself plays no part; the angle divides by the stored ranges, unclamped. Near -1
// acos keeps about half the digits (sqrt(2 eps) = 2e-8 rad): 1e-7 allowed.
TEST(Vector, InterVectorRangeAndAngleReadTheirArguments) {
    CVector self = At(100.0, 100.0, 100.0, 1.0);
    EXPECT_EQ(self.InterVectorRange(At(1, 2, 3), At(4, 6, 3)), 5.0);
    EXPECT_NEAR(self.InterVectorAngle(At(3, 4, 0, 5), At(-3, -4, 0, 5)), kPi, 1e-7);
    EXPECT_TRUE(std::isnan(self.InterVectorAngle(At(3, 4, 0, 4.9), At(3, 4, 0, 4.9))));
}

// A trihedral's angles carry no unit flag and scale on every call; its readings convert once.
TEST(Targets, TrihedralAnglesScaleOnEveryCallReadingsOnce) {
    CTrihedral t;
    t.m_Vector1.Azimuth = 10.0, t.m_dAngle2 = 45.0;
    CTarget& target = t;
    target.DegToRad();
    target.DegToRad();
    target.RadToDeg();
    EXPECT_EQ(t.m_dAngle2, 45.0 * kDegToRad * kDegToRad * kRadToDeg);
    EXPECT_EQ(t.m_Vector1.Azimuth, 10.0 * kDegToRad * kRadToDeg);
    EXPECT_FALSE(t.m_Vector1.Radian || t.m_Vector2.Radian);
}

// Where each of the record's 87 elements lands ("-": nowhere). Distinct values over a NaN-filled
// model show a forgotten, doubled or misplaced element; the unread four change nothing.
TEST(ScannerModelImport, EachElementLandsInItsPlaceAndTheUnreadOnesNowhere) {
    std::istringstream in(
        "A1 A2 A3 Ax Ay A1_dT A2_dT A3_dT Ax_dT Ay_dT D1 D2 D2_dT X0 Y0 A1_AzS A1_AzC A1_2AzS "
        "A1_2AzC A1_2AzS_dT A1_2AzC_dT A1_3AzS A1_3AzC A1_4AzS A1_4AzC A1_5AzS A1_5AzC A1_6AzS "
        "A1_6AzC - - A2_3AzS A2_3AzC A2_5AzS A2_5AzC A3_AzS A3_AzC A3_2AzS A3_2AzC A3_2AzS_dT "
        "A3_2AzC_dT A3_3AzS A3_3AzC A3_4AzS A3_4AzC A3_5AzS A3_5AzC A3_6AzS A3_6AzC D2_AzS D2_AzC "
        "- - Az_AzC Az_AzS Az_AzC_dT Az_AzS_dT Az_2AzC Az_2AzS Az_3AzS Az_3AzC Az_4AzS Az_4AzC "
        "Az_5AzS Az_5AzC Az_6AzS Az_6AzC El_2AzC El_2AzS El_2AzC_dT El_2AzS_dT El_4AzC El_4AzS "
        "El_6AzC El_6AzS El_ElS El_ElC El_ElS_dT El_ElC_dT A_plus B_plus C_plus A_minus B_minus "
        "K_minus C_minus T_ref");
    const std::vector<std::string> names{std::istream_iterator<std::string>(in), {}};
    ASSERT_EQ(names.size(), 87u);
    ASSERT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 84u);  // and "-"
    TMapper map;
    double* slots = reinterpret_cast<double*>(&map);
    for (int i = 0; i < 83; ++i) {
        EXPECT_EQ(&(map.*kMapperElements[i].member) - slots, i);
        EXPECT_EQ(MapperElementIndex(kMapperElements[i].name), i);
    }
    auto imported = [&](ScannerModel model) {
        std::fill(slots, slots + 83, std::numeric_limits<double>::quiet_NaN());
        CCompensation().CopyCompStructures(&map, &model);
        return map;
    };
    ScannerModel model{};
    for (int i = 0; i < 87; ++i) {
        model.Value[i] = 1000.0 + i + 0.125;
    }
    const TMapper once = imported(model);
    for (int i = 0; i < 87; ++i) {
        const int index = MapperElementIndex(names[i].c_str());
        if (names[i] != "-") {
            ASSERT_GE(index, 0) << names[i];
            EXPECT_EQ(once.*kMapperElements[index].member, model.Value[i]) << "record " << i;
        }
    }
    for (int unread : {29, 30, 51, 52}) {
        model.Value[unread] = -7.5e10 - unread;
    }
    const TMapper again = imported(model);
    EXPECT_EQ(std::memcmp(&once, &again, sizeof(TMapper)), 0);
}

}  // namespace
