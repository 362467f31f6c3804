// Reading and writing measurement files: units, exact numbers, and faults named by line and
// field.
#include "measurement_csv.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/constants.h"
#include "input_error.h"
#include "temp_dir.h"

namespace compensation::cli {
namespace {

using testing::TempDir;

// Expects an InputError naming the line and the field, with a message containing `text`.
template <typename Call>
void ExpectInputError(Call call, int line, const std::string& field, const std::string& text) {
    try {
        call();
        FAIL() << "no error raised";
    } catch (const InputError& e) {
        EXPECT_EQ(e.line(), line) << e.what();
        EXPECT_EQ(e.field(), field) << e.what();
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

TEST(MeasurementCsv, DegreesAreConvertedWithTheLibraryFactorAndRadiansKept) {
    TempDir dir;
    const std::string deg = dir.Write("deg.csv",
                                      "type,range,azimuth_deg,elevation_deg,t,quality\n"
                                      "14,0,-157.5,0,20,100\n"
                                      "100,4.25,30,-12.5,20.5,99\n");
    const MeasurementSet set = ReadMeasurements(deg, AngleUnit::kUnspecified);
    ASSERT_EQ(set.vectors.size(), 2u);
    EXPECT_EQ(set.unit, AngleUnit::kDegrees);
    const CVector& v = set.vectors[1];
    EXPECT_EQ(v.Type, 100);
    EXPECT_EQ(v.Range, 4.25);
    // The same product the library forms in DegToRad, so exact equality holds.
    EXPECT_EQ(v.Azimuth, 30 * kDegToRad);
    EXPECT_EQ(v.Elevation, -12.5 * kDegToRad);
    EXPECT_TRUE(v.Radian);
    EXPECT_EQ(v.T, 20.5);
    EXPECT_EQ(v.Quality, 99.0);
    EXPECT_EQ(set.lines, (std::vector<int>{2, 3}));

    const std::string rad = dir.Write("rad.csv",
                                      "quality,t,elevation_rad,azimuth_rad,range,type\n"
                                      "100,0,0.25,-1.5,3.5,200\n");
    const MeasurementSet r = ReadMeasurements(rad, AngleUnit::kUnspecified);
    EXPECT_EQ(r.vectors[0].Azimuth, -1.5);
    EXPECT_EQ(r.vectors[0].Elevation, 0.25);
    EXPECT_EQ(r.vectors[0].Type, 200);
    // X, Y, Z follow the instrument's axes: Y = R sin(El).
    EXPECT_DOUBLE_EQ(r.vectors[0].Y, 3.5 * std::sin(0.25));
}

TEST(MeasurementCsv, PlainAngleColumnsNeedAUnitThatAgrees) {
    TempDir dir;
    const std::string plain =
        dir.Write("plain.csv", "type,range,azimuth,elevation,t,quality\n100,2,1,0.5,0,100\n");
    ExpectInputError([&] { ReadMeasurements(plain, AngleUnit::kUnspecified); }, 1, "azimuth",
                     "angle unit is not stated");
    EXPECT_EQ(ReadMeasurements(plain, AngleUnit::kRadians).vectors[0].Azimuth, 1.0);

    const std::string named = dir.Write(
        "named.csv", "type,range,azimuth_deg,elevation_deg,t,quality\n100,2,1,0.5,0,100\n");
    ExpectInputError([&] { ReadMeasurements(named, AngleUnit::kRadians); }, 1, "azimuth_deg",
                     "--angle-unit says rad");
    const std::string mixed = dir.Write(
        "mixed.csv", "type,range,azimuth_deg,elevation_rad,t,quality\n100,2,1,0.5,0,100\n");
    ExpectInputError([&] { ReadMeasurements(mixed, AngleUnit::kUnspecified); }, 1, "elevation_rad",
                     "same unit");
}

TEST(MeasurementCsv, FaultsNameTheirLineAndField) {
    TempDir dir;
    const std::string header = "type,range,azimuth_deg,elevation_deg,t,quality\n";
    const std::string good = "100,2,1,0.5,0,100\n";
    const auto read = [&](const std::string& content) {
        const std::string path = dir.Write("bad.csv", content);
        return [path] { ReadMeasurements(path, AngleUnit::kUnspecified); };
    };
    ExpectInputError(read("type,range,azimuth_deg,elevation_deg,t,quality,colour\n" + good), 1,
                     "colour", "unknown column");
    ExpectInputError(read("type,range,azimuth_deg,elevation_deg,t\n" + good), 1, "quality",
                     "missing column");
    ExpectInputError(read(header + good + "100,2,abc,0.5,0,100\n"), 3, "azimuth_deg",
                     "\"abc\" is not a finite number");
    ExpectInputError(read(header + good + "100,2,1,0.5,0,nan\n"), 3, "quality", "finite");
    ExpectInputError(read(header + good + good + "100,2,1,0.5\n"), 4, "", "fewer fields");
    ExpectInputError(read(header + good + "100,2,1,0.5,0,100,7\n"), 3, "", "more fields");
    ExpectInputError(read(header + "150,2,1,0.5,0,100\n"), 2, "type", "not a measurement type");
    ExpectInputError(read(header + "100,0,1,0.5,0,100\n"), 2, "range", "positive");
    ExpectInputError(read(header), 0, "", "no measurement rows");
    ExpectInputError(read(""), 0, "", "empty");
    ExpectInputError([] { ReadMeasurements("/nonexistent/m.csv", AngleUnit::kUnspecified); }, 0, "",
                     "cannot open");
    ExpectInputError([&] { ReadMeasurements(dir.path().string(), AngleUnit::kUnspecified); }, 0, "",
                     "is a directory");
}

TEST(MeasurementCsv, BlankLinesCarriageReturnsAndByteOrderMarkAreTolerated) {
    TempDir dir;
    const std::string path =
        dir.Write("win.csv",
                  "\xEF\xBB\xBFtype, range ,azimuth_deg,elevation_deg,t,quality\r\n"
                  "\r\n"
                  "14,0,0,0,0,100\r\n"
                  "\n"
                  "100, 2.5 ,1,0.5,0,100\r\n");
    const MeasurementSet set = ReadMeasurements(path, AngleUnit::kUnspecified);
    ASSERT_EQ(set.vectors.size(), 2u);
    EXPECT_EQ(set.lines, (std::vector<int>{3, 5}));
    EXPECT_EQ(set.vectors[1].Range, 2.5);
    EXPECT_EQ(set.columns[1], "range");
}

TEST(MeasurementCsv, WriteBackChangesOnlyTheQualitiesThatChanged) {
    TempDir dir;
    const std::string path = dir.Write("m.csv",
                                       "type,quality,range,azimuth_deg,elevation_deg,t\n"
                                       "14,100,0,0,0,20.0\n"
                                       "100,100.0,4.20,12.50,3.1,20.0\n"
                                       "200,97,4.20,-167.50,-183.1,20.0\n");
    const MeasurementSet set = ReadMeasurements(path, AngleUnit::kUnspecified);
    std::vector<CVector> after = set.vectors;
    after[2].Quality = 47.0;
    EXPECT_EQ(FormatWithQualities(set, after),
              "type,quality,range,azimuth_deg,elevation_deg,t\n"
              "14,100,0,0,0,20.0\n"
              "100,100.0,4.20,12.50,3.1,20.0\n"
              "200,47,4.20,-167.50,-183.1,20.0\n");
}

TEST(MeasurementCsv, WrittenRadiansReadBackBitForBit) {
    std::vector<CVector> vectors(2);
    vectors[0].Type = 100;
    vectors[0].Range = 4.123456789012345;
    vectors[0].Azimuth = -2.718281828459045;
    vectors[0].Elevation = 0.1;
    vectors[0].T = 19.95;
    vectors[0].Quality = 100.0;
    vectors[0].Radian = true;
    vectors[1] = vectors[0];
    vectors[1].Type = 200;
    vectors[1].Azimuth = 1e-17;
    TempDir dir;
    const std::string path =
        dir.Write("out.csv", FormatMeasurements(vectors, AngleUnit::kRadians, false));
    const MeasurementSet set = ReadMeasurements(path, AngleUnit::kUnspecified);
    for (std::size_t i = 0; i < vectors.size(); ++i) {
        EXPECT_EQ(set.vectors[i].Range, vectors[i].Range);
        EXPECT_EQ(set.vectors[i].Azimuth, vectors[i].Azimuth);
        EXPECT_EQ(set.vectors[i].Elevation, vectors[i].Elevation);
        EXPECT_EQ(set.vectors[i].T, vectors[i].T);
        EXPECT_EQ(set.vectors[i].Type, vectors[i].Type);
    }
    // The calibrate output's x, y, z columns are accepted (and recomputed) on reading.
    const std::string withXyz =
        dir.Write("xyz.csv", FormatMeasurements(vectors, AngleUnit::kDegrees, true));
    EXPECT_EQ(ReadMeasurements(withXyz, AngleUnit::kUnspecified).unit, AngleUnit::kDegrees);
}

}  // namespace
}  // namespace compensation::cli
