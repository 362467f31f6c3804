#include "layout_file.h"

#include <gtest/gtest.h>

#include "input_error.h"

namespace compensation::cli {
namespace {

// What the file gives back is what was written, to the rounding of one conversion between
// radians and degrees (a few units in the last place of a heading).
TEST(LayoutFile, ASimulatorLayoutReadsBackAsWritten) {
    PlanLayout plan;
    plan.procedure = "fullfull";
    plan.mode = 1;
    plan.noiseRange = 2e-6;
    plan.noiseAngle = 1e-6;
    plan.layout = sim::FullFullLayout(1.0, 1);
    plan.layout.station.tilt_x = 1e-4;
    const PlanLayout read = ParseLayoutFile("layout.json", LayoutToJson(plan).dump(2));
    EXPECT_EQ(read.procedure, "fullfull");
    EXPECT_EQ(read.mode, 1);
    EXPECT_EQ(read.noiseRange, 2e-6);
    const sim::Layout& a = plan.layout;
    const sim::Layout& b = read.layout;
    ASSERT_EQ(b.targets.size(), a.targets.size());
    for (std::size_t i = 0; i < a.targets.size(); ++i) {
        EXPECT_EQ(b.targets[i].x, a.targets[i].x);
        EXPECT_EQ(b.targets[i].z, a.targets[i].z);
    }
    ASSERT_EQ(b.headings.size(), a.headings.size());
    for (std::size_t v = 0; v < a.headings.size(); ++v) {
        EXPECT_NEAR(b.headings[v], a.headings[v], 1e-15);
    }
    EXPECT_NEAR(b.station.tilt_x, 1e-4, 1e-19);
    EXPECT_EQ(b.n1_d2, a.n1_d2);
    EXPECT_EQ(b.n2_extra, a.n2_extra);
    EXPECT_EQ(b.outside_repeats, a.outside_repeats);
    EXPECT_NEAR(b.outside.heading, a.outside.heading, 1e-15);
    ASSERT_EQ(b.fly_placements.size(), a.fly_placements.size());
    EXPECT_EQ(b.fly_placements.back().position.y, a.fly_placements.back().position.y);
    EXPECT_EQ(b.fly_targets.size(), a.fly_targets.size());
}

// Azimuth 90 degrees turns from +Z toward -X; elevation 30 degrees rises by half the range.
TEST(LayoutFile, ATargetGivenByRangeAzimuthAndElevationLiesWhereTheFrameSays) {
    const PlanLayout read = ParseLayoutFile("layout.json", R"({
        "noise": {"range_m": 1e-6, "angle_rad": 1e-6},
        "station": {"position": [1, 2, 3]},
        "headings_deg": [0],
        "targets": [{"range": 4, "azimuth_deg": 90, "elevation_deg": 30}]})");
    ASSERT_EQ(read.layout.targets.size(), 1u);
    const sim::Point& t = read.layout.targets[0];
    EXPECT_NEAR(t.x, 1.0 - 4.0 * std::sqrt(0.75), 1e-15);
    EXPECT_NEAR(t.y, 2.0 + 2.0, 1e-15);
    EXPECT_NEAR(t.z, 3.0, 1e-15);
}

TEST(LayoutFile, AnUnknownKeyIsNamedWithItsLine) {
    try {
        ParseLayoutFile("layout.json",
                        "{\n\"noise\": {\"range_m\": 1e-6, \"angle_rad\": 1e-6},\n"
                        "\"headings\": [0]}");
        FAIL() << "an unknown key was accepted";
    } catch (const InputError& error) {
        EXPECT_EQ(error.line(), 3);
        EXPECT_EQ(error.field(), "headings");
    }
}

}  // namespace
}  // namespace compensation::cli
