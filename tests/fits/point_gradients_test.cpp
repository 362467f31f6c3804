// Every design column of the interball and pair fits against central differences of
// CVector::Calibrate with only its element set: the change of the calibrated point per unit.
#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_fit.h"
#include "fits/point_gradients.h"

namespace {

using namespace compensation;
namespace rows = detail::interball_rows;

struct Column {
    double TMapper::*element;
    double step;                          // model unit: 1e-4 degrees, 1e-5 m or 1.7e-6 rad
    double perUnit;                       // the column's unit (rad, m) per model unit
    PointGradient gradient;               // a pair fit's column, read on front sights, or
    const detail::InterballElement* row;  // an interball row, in both faces
    bool timesElevation;                  // B_minus lowers the elevation by B_minus El
};

// Steps of 1.7e-6 rad or 1e-5 m: truncation below 1.4e-11 R, rounding below 1e-10 R; a wrong
// sign, harmonic or face errs by the order of R.
TEST(DesignColumns, AreTheDerivativesOfCalibrate) {
    std::vector<Column> columns = {
        {&TMapper::X0, 1e-5, 1.0, GradientX0, nullptr, false},
        {&TMapper::Y0, 1e-5, 1.0, GradientY0, nullptr, false},
        {&TMapper::D2, 1e-5, 1.0, GradientD2, nullptr, false},
        {&TMapper::Ax, 1e-4, kDegToRad, GradientAx, nullptr, false},
        {&TMapper::Ay, 1e-4, kDegToRad, GradientAy, nullptr, false},
        {&TMapper::El_ElC, 1e-4, kDegToRad, GradientElElC, nullptr, false},
        {&TMapper::K_minus, 1e-4, kDegToRad, GradientKMinus, nullptr, false},
        {&TMapper::B_minus, 1.7e-6, 1.0, GradientKMinus, nullptr, true}};
    for (const detail::InterballElement& row : rows::kHarmonicTable) {  // every interball row
        columns.push_back({row.element, 1e-4, kDegToRad, nullptr, &row, false});
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        for (int i = 0; i < (column.row != nullptr ? 48 : 24); ++i) {  // back sights from 24
            CVector raw;
            raw.Range = i % 2 == 0 ? 3.0 : 7.5;
            raw.Azimuth = -2.5 + 1.55 * (i / 2 % 4);
            raw.Elevation = -0.5 + 0.6 * (i / 8 % 3);
            raw.Radian = true;
            raw.Type = i < 24 ? 100 : 200;
            if (raw.Type == 200) {
                raw.Flip();
            }
            raw.Sphr2Cart();
            TMapper map{};
            CVector at = raw, plus = raw, minus = raw;
            at.Calibrate(&map);
            map.*column.element = column.step;
            plus.Calibrate(&map);
            map.*column.element = -column.step;
            minus.Calibrate(&map);
            const Vec3 g = column.row != nullptr
                               ? DisplacementOf(*column.row, detail::InterballTerms(at))
                               : column.gradient(at);
            const double w = column.timesElevation ? at.Elevation : 1.0;
            const double span = 2.0 * column.step * column.perUnit;
            SCOPED_TRACE(::testing::Message() << "column " << c << ", probe " << i);
            EXPECT_NEAR(w * g.x, (plus.X - minus.X) / span, 1e-9 * raw.Range);
            EXPECT_NEAR(w * g.y, (plus.Y - minus.Y) / span, 1e-9 * raw.Range);
            EXPECT_NEAR(w * g.z, (plus.Z - minus.Z) / span, 1e-9 * raw.Range);
        }
    }
}

// Each row names the highest azimuth harmonic it reads, and the fits compute the terms only up
// to the highest of their table: terms up to the row's own order must give it the displacement
// that terms with every harmonic give, to the bit (a harmonic above the order reads as 0).
TEST(InterballRows, ReadNoHarmonicAboveTheirOrder) {
    for (const detail::InterballElement& row : rows::kHarmonicTable) {
        for (const double azimuth : {-2.9, -0.37, 0.61, 2.2}) {
            CVector at;
            at.Type = 100;
            at.Range = 5.0;
            at.Azimuth = azimuth;
            at.Elevation = 0.3;
            at.Radian = true;
            at.Sphr2Cart();
            const Vec3 all = DisplacementOf(row, detail::InterballTerms(at));
            const Vec3 own = DisplacementOf(row, detail::InterballTerms(at, row.order));
            EXPECT_EQ(own.x, all.x);
            EXPECT_EQ(own.y, all.y);
            EXPECT_EQ(own.z, all.z);
        }
    }
}

// The pair fits' rows move a squared separation with each reading of the pair. Steps of 1e-6 m
// or rad: truncation below 1e-10, rounding of |P_A - P_B|^2 (below 240 m^2) 3e-8 over the
// steps; a wrong sign or a missing cosine errs by the order of R |P_A - P_B| (1 to 100).
TEST(DesignColumns, SquaredSeparationMovesWithEachReadingAsItsPartials) {
    constexpr double kStep = 1e-6;
    double CVector::*const components[] = {&CVector::Range, &CVector::Azimuth, &CVector::Elevation};
    for (int i = 0; i < 12; ++i) {
        CVector a;
        CVector b;
        a.Radian = b.Radian = true;
        a.Range = 2.0 + 0.5 * i;
        a.Azimuth = -2.9 + 0.5 * i;
        a.Elevation = -0.6 + 0.1 * i;
        b.Range = 8.0 - 0.4 * i;
        b.Azimuth = 1.3 - 0.3 * i;
        b.Elevation = 0.5 - 0.07 * i;
        a.Sphr2Cart();
        b.Sphr2Cart();
        const Vec3 away = Minus(PositionOf(a), PositionOf(b));
        const std::array<double, 3> byA = SquaredSeparationByReading(a, away);
        const std::array<double, 3> byB = SquaredSeparationByReading(b, Scaled(away, -1.0));
        for (int k = 0; k < 3; ++k) {
            const auto moved = [&](CVector v, double step) {
                v.*components[k] += step;
                v.Sphr2Cart();
                return v;
            };
            SCOPED_TRACE(::testing::Message() << "pair " << i << ", component " << k);
            EXPECT_NEAR(
                byA[k],
                (SquaredSeparation(moved(a, kStep), b) - SquaredSeparation(moved(a, -kStep), b)) /
                    (2.0 * kStep),
                1e-6);
            EXPECT_NEAR(
                byB[k],
                (SquaredSeparation(a, moved(b, kStep)) - SquaredSeparation(a, moved(b, -kStep))) /
                    (2.0 * kStep),
                1e-6);
        }
    }
}

}  // namespace
