// Each element's column written out against the model applied with that element alone at one
// (the model is linear in its elements, so the two must agree to rounding).
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "compensation/vector.h"
#include "model/element_columns.h"
#include "model/mapper_elements.h"
#include "model/raw_terms.h"

namespace {

using compensation::kMapperElements;
using compensation::detail::ApplyModel;
using compensation::detail::kModelElementEntries;
using compensation::detail::ModelElementEntryOf;
using compensation::detail::RawTermsOf;
using compensation::detail::Reaches;
using compensation::detail::ReadingColumns;

CVector Reading(double range, double azimuth, double elevation, int type, double temperature) {
    CVector v{};
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.Type = type;
    v.T = temperature;
    v.SeType();
    return v;
}

TEST(ElementColumns, EveryElementMovesTheReadingAsTheModelAppliedWithItAloneDoes) {
    constexpr double kReference = 20.0;  // degrees Celsius
    // Front and back sights, all four azimuth quadrants, low and high elevations, near and far,
    // off the reference temperature so that the temperature terms have columns.
    const CVector readings[] = {
        Reading(2.5, 0.3, 0.2, 100, 23.5), Reading(7.0, 2.2, 1.1, 200, 18.0),
        Reading(12.0, -2.6, 0.9, 14, 21.0), Reading(30.0, -0.8, 2.4, 200, 26.0)};
    for (const CVector& reading : readings) {
        const auto terms = RawTermsOf(reading);
        const ReadingColumns columns(reading, terms, kReference);
        for (const auto& element : kMapperElements) {
            if (element.member == &TMapper::T_ref) {
                EXPECT_EQ(ModelElementEntryOf(element.member), nullptr);
                continue;
            }
            SCOPED_TRACE(element.name);
            const auto* entry = ModelElementEntryOf(element.member);
            ASSERT_NE(entry, nullptr);
            double column[3];
            columns.Column(*entry, column);
            TMapper unit{};
            unit.T_ref = kReference;
            unit.*element.member = 1.0;
            CVector moved = reading;
            ApplyModel(moved, unit, terms, 1.0);
            // A unit element moves a reading by at most a few metres or radians; the reading's
            // own size (30 m) rounds the difference to 1e-14.
            EXPECT_NEAR(column[0], moved.Range - reading.Range, 1e-13);
            EXPECT_NEAR(column[1], moved.Azimuth - reading.Azimuth, 1e-13);
            EXPECT_NEAR(column[2], moved.Elevation - reading.Elevation, 1e-13);
            // The components its sum does not reach stay exactly where they were.
            const double movedBy[3] = {moved.Range - reading.Range, moved.Azimuth - reading.Azimuth,
                                       moved.Elevation - reading.Elevation};
            for (std::size_t k = 0; k < 3; ++k) {
                if (!Reaches(*entry, k)) {
                    EXPECT_EQ(movedBy[k], 0.0) << "component " << k;
                }
            }
        }
    }
    // Every element but T_ref has exactly one entry.
    EXPECT_EQ(std::size(kModelElementEntries), kMapperElements.size() - 1);
}

}  // namespace
