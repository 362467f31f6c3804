// Every design column of the interball and pair fits against central differences of
// CVector::Calibrate with only its element set: the change of the calibrated point per unit.
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "fits/interball_rows.h"
#include "fits/point_gradients.h"

namespace {

using namespace compensation;
namespace rows = detail::interball_rows;

struct Column {
    double TMapper::*element;
    double step;     // in the model's unit: 1e-4 degrees, 1e-5 m or 1.7e-6 rad
    double perUnit;  // the column's unit (rad or m) per model unit
    bool bothFaces;  // the interball rows hold in both faces; the pair fits read front sights
    std::function<PointShift(const CVector&)> shift;
};

// Steps near 1.7e-6 rad (or 1e-5 m): truncation below R 27 step^2 / 6 = 1.4e-11 R (an angle
// moves by at most 3 rad per rad of element), rounding of a few ulps of R over twice the step
// below 1e-10 R; 1e-9 R leaves a margin of ten, where a wrong sign, harmonic or face errs by R.
TEST(DesignColumns, AreTheDerivativesOfCalibrate) {
    std::vector<Column> columns = {
        {&TMapper::X0, 1e-5, 1.0, false, GradientX0},
        {&TMapper::Y0, 1e-5, 1.0, false, GradientY0},
        {&TMapper::D2, 1e-5, 1.0, false, GradientD2},
        {&TMapper::Ax, 1e-4, kDegToRad, false, GradientAx},
        {&TMapper::Ay, 1e-4, kDegToRad, false, GradientAy},
        {&TMapper::El_ElC, 1e-4, kDegToRad, false, GradientElElC},
        {&TMapper::K_minus, 1e-4, kDegToRad, false, GradientKMinus},
        // B_minus lowers the elevation by B_minus El: -El times GradientElevation.
        {&TMapper::B_minus, 1.7e-6, 1.0, false, [](const CVector& p) {
             const PointShift g = GradientElevation(p);
             return PointShift{-p.Elevation * g.X, -p.Elevation * g.Y, -p.Elevation * g.Z};
         }}};
    for (const detail::InterballElement& row :
         {rows::kAx,      rows::kAy,      rows::kA1_AzS,  rows::kA1_AzC,  rows::kA1_3AzS,
          rows::kA1_3AzC, rows::kA1_5AzS, rows::kA1_5AzC, rows::kA2_3AzS, rows::kA2_3AzC,
          rows::kA2_5AzS, rows::kA2_5AzC, rows::kA3_AzS,  rows::kA3_AzC,  rows::kA3_3AzS,
          rows::kA3_3AzC, rows::kA3_5AzS, rows::kA3_5AzC, rows::kAz_2AzS, rows::kAz_2AzC,
          rows::kAz_4AzS, rows::kAz_4AzC, rows::kAz_6AzS, rows::kAz_6AzC}) {
        columns.push_back({row.element, 1e-4, kDegToRad, true, [row](const CVector& p) {
                               const auto d =
                                   detail::DisplacementOf(row, detail::InterballTerms(p));
                               return PointShift{d.x, d.y, d.z};
                           }});
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        // Two ranges, four azimuths, three elevations, both faces.
        for (int i = 0; i < (columns[c].bothFaces ? 48 : 24); ++i) {
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
            CVector at = raw;
            CVector plus = raw;
            CVector minus = raw;
            at.Calibrate(&map);
            map.*columns[c].element = columns[c].step;
            plus.Calibrate(&map);
            map.*columns[c].element = -columns[c].step;
            minus.Calibrate(&map);
            const double span = 2.0 * columns[c].step * columns[c].perUnit;
            const PointShift g = columns[c].shift(at);
            const double tolerance = 1e-9 * raw.Range;
            EXPECT_NEAR(g.X, (plus.X - minus.X) / span, tolerance)
                << "column " << c << " probe " << i;
            EXPECT_NEAR(g.Y, (plus.Y - minus.Y) / span, tolerance)
                << "column " << c << " probe " << i;
            EXPECT_NEAR(g.Z, (plus.Z - minus.Z) / span, tolerance)
                << "column " << c << " probe " << i;
        }
    }
}

}  // namespace
