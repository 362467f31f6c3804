// Measurement sets as CSV files: one header line naming the columns, one measurement a row.
//
//   type,range,azimuth_deg,elevation_deg,t,quality
//   14,2.5,-157.5,0,20,100
//   100,4.21,-151.2,3.5,20,100
//
// type is 14 (reference view), 100 (front sight) or 200 (back sight); range in metres; the
// angle unit is part of the column name (azimuth_deg / azimuth_rad, elevation_deg /
// elevation_rad) or, for plain "azimuth" and "elevation", given by the caller; t is the scalar of
// the model's _dT terms; quality marks usability (above 50 is live). x, y, z may follow (the
// calibrate command writes them); they are recomputed from the spherical values on reading.
// Columns may come in any order; blank lines are skipped.
#ifndef COMPENSATE_MEASUREMENT_CSV_H
#define COMPENSATE_MEASUREMENT_CSV_H

#include <string>
#include <vector>

#include "compensation/vector.h"

namespace compensation::cli {

enum class AngleUnit { kUnspecified, kDegrees, kRadians };

// "deg" or "rad" (an empty text is kUnspecified); throws UsageError otherwise.
AngleUnit ParseAngleUnit(const std::string& text);
const char* AngleUnitSuffix(AngleUnit unit);

struct MeasurementSet {
    std::string path;
    AngleUnit unit = AngleUnit::kUnspecified;
    // The header's column names in file order, and the index of the quality column.
    std::vector<std::string> columns;
    std::size_t qualityColumn = 0;
    // Per row: its line in the file and its field texts in file order, kept verbatim so that a
    // file written back differs from its source only where a quality changed.
    std::vector<int> lines;
    std::vector<std::vector<std::string>> fields;
    // The measurements, angles in radians, X, Y, Z set from them.
    std::vector<CVector> vectors;
};

// Reads and checks a measurement file. unitIfUnnamed is used for plain angle column names and
// must agree with a unit named in the header. Throws InputError naming file, line and field.
MeasurementSet ReadMeasurements(const std::string& path, AngleUnit unitIfUnnamed);
// The same from a file's content held in memory; `path` names it in messages.
MeasurementSet ParseMeasurements(const std::string& path, const std::string& content,
                                 AngleUnit unitIfUnnamed);

// The source file with the qualities of `after` (same length and order as set.vectors).
std::string FormatWithQualities(const MeasurementSet& set, const std::vector<CVector>& after);

// A new measurement file from vectors holding radians; X, Y, Z columns on request.
std::string FormatMeasurements(const std::vector<CVector>& vectors, AngleUnit unit, bool withXyz);

// Nominal points for a transform fit: columns x, y, z (metres, the nominal frame) and an
// optional weight (default 1; a tooling-ball fit ignores points of weight 0).
struct NominalPoints {
    std::string path;
    std::vector<int> lines;
    std::vector<CVector> points;  // X, Y, Z set, Range and angles from them
    std::vector<double> weights;
};

NominalPoints ReadNominalPoints(const std::string& path);
NominalPoints ParseNominalPoints(const std::string& path, const std::string& content);

}  // namespace compensation::cli

#endif  // COMPENSATE_MEASUREMENT_CSV_H
