#include "measurement_csv.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// The packaged parser header relies on its includer for <limits>, <algorithm> and <string>.
// Small files need no reading thread.
#define CSV_IO_NO_THREAD
#include <csv.h>

#include "input_error.h"
#include "text_io.h"

namespace compensation::cli {

namespace {

// Every column a measurement file may have, as the CSV reader is told them.
enum Column : std::size_t {
    kType,
    kRange,
    kAzimuth,
    kAzimuthDeg,
    kAzimuthRad,
    kElevation,
    kElevationDeg,
    kElevationRad,
    kT,
    kQuality,
    kX,
    kY,
    kZ,
    kColumnCount
};

constexpr std::array<const char*, kColumnCount> kColumnNames = {
    "type",          "range", "azimuth", "azimuth_deg", "azimuth_rad", "elevation", "elevation_deg",
    "elevation_rad", "t",     "quality", "x",           "y",           "z"};

using Reader = io::CSVReader<kColumnCount, io::trim_chars<' ', '\t'>, io::no_quote_escape<','>,
                             io::throw_on_overflow, io::empty_line_comment>;

// The header's names in file order, as the reader matched them (trimmed, without a BOM).
std::vector<std::string> HeaderColumns(const std::string& content, unsigned headerLine) {
    std::istringstream lines(content);
    std::string line;
    for (unsigned lineNumber = 0; lineNumber < headerLine && std::getline(lines, line);
         ++lineNumber) {
    }
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) {
        line.erase(0, 3);
    }
    std::vector<std::string> names;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) {
        const std::size_t first = cell.find_first_not_of(" \t\r");
        const std::size_t last = cell.find_last_not_of(" \t\r");
        names.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    return names;
}

// Which of the three spellings of an angle column the header uses, and the unit it implies.
struct AngleColumn {
    std::size_t column;
    AngleUnit unit;
};

AngleColumn ChooseAngleColumn(const Reader& reader, const std::string& path, std::size_t plain,
                              std::size_t deg, std::size_t rad, AngleUnit unitIfUnnamed) {
    std::vector<AngleColumn> present;
    if (reader.has_column(kColumnNames[plain])) {
        present.push_back({plain, unitIfUnnamed});
    }
    if (reader.has_column(kColumnNames[deg])) {
        present.push_back({deg, AngleUnit::kDegrees});
    }
    if (reader.has_column(kColumnNames[rad])) {
        present.push_back({rad, AngleUnit::kRadians});
    }
    const std::string name = kColumnNames[plain];
    if (present.empty()) {
        throw InputError(path, 1, name,
                         "missing column (write " + name + "_deg or " + name + "_rad)");
    }
    if (present.size() > 1) {
        throw InputError(path, 1, name, "the header has more than one " + name + " column");
    }
    const AngleColumn chosen = present.front();
    if (chosen.unit == AngleUnit::kUnspecified) {
        throw InputError(path, 1, name,
                         "the angle unit is not stated: name the column " + name + "_deg or " +
                             name + "_rad, or give --angle-unit deg|rad");
    }
    if (unitIfUnnamed != AngleUnit::kUnspecified && chosen.unit != unitIfUnnamed) {
        throw InputError(path, 1, kColumnNames[chosen.column],
                         std::string("the header states ") + AngleUnitSuffix(chosen.unit) +
                             " but --angle-unit says " + AngleUnitSuffix(unitIfUnnamed));
    }
    return chosen;
}

// Turns the CSV reader's own fault into a message that names file, line and column.
constexpr const char* kMeasurementColumns =
    "type, range, azimuth_deg|azimuth_rad, elevation_deg|elevation_rad, t, quality, x, y, z";
constexpr const char* kNominalColumns = "x, y, z, weight";

[[noreturn]] void Rethrow(const io::error::base& fault, const std::string& path, unsigned line,
                          const char* known = kMeasurementColumns) {
    std::string column;
    if (const auto* named = dynamic_cast<const io::error::with_column_name*>(&fault)) {
        column = named->column_name;
    }
    std::string what;
    if (dynamic_cast<const io::error::extra_column_in_header*>(&fault) != nullptr) {
        what = std::string("unknown column (known: ") + known + ")";
    } else if (dynamic_cast<const io::error::duplicated_column_in_header*>(&fault) != nullptr) {
        what = "the column appears twice in the header";
    } else if (dynamic_cast<const io::error::header_missing*>(&fault) != nullptr) {
        what = "the file is empty: a header line is expected";
    } else if (dynamic_cast<const io::error::too_few_columns*>(&fault) != nullptr) {
        what = "the row has fewer fields than the header";
    } else if (dynamic_cast<const io::error::too_many_columns*>(&fault) != nullptr) {
        what = "the row has more fields than the header";
    } else {
        what = fault.what();
    }
    throw InputError(path, static_cast<int>(line), column, what);
}

double NumberField(const char* text, const std::string& path, unsigned line, std::size_t column) {
    const std::string field = text;
    const std::optional<double> value = ParseFiniteDouble(field);
    if (!value) {
        throw InputError(path, static_cast<int>(line), kColumnNames[column],
                         Quoted(field) + " is not a finite number");
    }
    return *value;
}

int TypeField(const char* text, const std::string& path, unsigned line) {
    const std::string field = text;
    const std::optional<int> type = ParseInt(field);
    if (!type || (*type != 14 && *type != 100 && *type != 200)) {
        throw InputError(path, static_cast<int>(line), "type",
                         Quoted(field) +
                             " is not a measurement type (14 reference view, 100 front sight, "
                             "200 back sight)");
    }
    return *type;
}

}  // namespace

AngleUnit ParseAngleUnit(const std::string& text) {
    if (text.empty()) {
        return AngleUnit::kUnspecified;
    }
    if (text == "deg") {
        return AngleUnit::kDegrees;
    }
    if (text == "rad") {
        return AngleUnit::kRadians;
    }
    throw UsageError("angle unit \"" + text + "\": expected deg or rad");
}

const char* AngleUnitSuffix(AngleUnit unit) {
    return unit == AngleUnit::kRadians ? "rad" : "deg";
}

MeasurementSet ReadMeasurements(const std::string& path, AngleUnit unitIfUnnamed) {
    return ParseMeasurements(path, ReadWholeFile(path), unitIfUnnamed);
}

MeasurementSet ParseMeasurements(const std::string& path, const std::string& content,
                                 AngleUnit unitIfUnnamed) {
    RefuseNulBytes(path, content);
    MeasurementSet set;
    set.path = path;
    Reader reader(path, content.data(), content.data() + content.size());
    std::array<char*, kColumnCount> cells{};
    try {
        reader.read_header(io::ignore_missing_column, kColumnNames[0], kColumnNames[1],
                           kColumnNames[2], kColumnNames[3], kColumnNames[4], kColumnNames[5],
                           kColumnNames[6], kColumnNames[7], kColumnNames[8], kColumnNames[9],
                           kColumnNames[10], kColumnNames[11], kColumnNames[12]);
    } catch (const io::error::base& fault) {
        Rethrow(fault, path, reader.get_file_line());
    }
    const unsigned headerLine = reader.get_file_line();
    for (const std::size_t required : {kType, kRange, kT, kQuality}) {
        if (!reader.has_column(kColumnNames[required])) {
            throw InputError(path, static_cast<int>(headerLine), kColumnNames[required],
                             "missing column");
        }
    }
    const AngleColumn azimuth =
        ChooseAngleColumn(reader, path, kAzimuth, kAzimuthDeg, kAzimuthRad, unitIfUnnamed);
    const AngleColumn elevation =
        ChooseAngleColumn(reader, path, kElevation, kElevationDeg, kElevationRad, unitIfUnnamed);
    if (azimuth.unit != elevation.unit) {
        throw InputError(path, static_cast<int>(headerLine), kColumnNames[elevation.column],
                         "azimuth and elevation must be given in the same unit");
    }
    set.unit = azimuth.unit;
    set.columns = HeaderColumns(content, headerLine);
    for (std::size_t column = 0; column < set.columns.size(); ++column) {
        if (set.columns[column] == "quality") {
            set.qualityColumn = column;
        }
    }

    while (true) {
        cells.fill(nullptr);
        try {
            if (!reader.read_row(cells[0], cells[1], cells[2], cells[3], cells[4], cells[5],
                                 cells[6], cells[7], cells[8], cells[9], cells[10], cells[11],
                                 cells[12])) {
                break;
            }
        } catch (const io::error::base& fault) {
            Rethrow(fault, path, reader.get_file_line());
        }
        const unsigned line = reader.get_file_line();
        CVector measurement;
        measurement.Type = TypeField(cells[kType], path, line);
        measurement.Range = NumberField(cells[kRange], path, line, kRange);
        measurement.Azimuth = NumberField(cells[azimuth.column], path, line, azimuth.column);
        measurement.Elevation = NumberField(cells[elevation.column], path, line, elevation.column);
        measurement.T = NumberField(cells[kT], path, line, kT);
        measurement.Quality = NumberField(cells[kQuality], path, line, kQuality);
        for (const std::size_t xyz : {kX, kY, kZ}) {
            if (cells[xyz] != nullptr) {
                NumberField(cells[xyz], path, line, xyz);
            }
        }
        if (measurement.Type != 14 && !(measurement.Range > 0.0)) {
            throw InputError(path, static_cast<int>(line), "range",
                             "a measured range must be positive");
        }
        // The library's own conversion, so that the tool and a host read degrees alike.
        measurement.Radian = set.unit == AngleUnit::kRadians;
        measurement.FSBS = 0;
        measurement.Sphr2Cart();

        std::vector<std::string> texts;
        texts.reserve(set.columns.size());
        for (const std::string& name : set.columns) {
            for (std::size_t column = 0; column < kColumnCount; ++column) {
                if (name == kColumnNames[column]) {
                    texts.emplace_back(cells[column]);
                }
            }
        }
        set.lines.push_back(static_cast<int>(line));
        set.fields.push_back(std::move(texts));
        set.vectors.push_back(measurement);
    }
    if (set.vectors.empty()) {
        throw InputError(path, 0, "", "the file holds no measurement rows");
    }
    return set;
}

NominalPoints ReadNominalPoints(const std::string& path) {
    return ParseNominalPoints(path, ReadWholeFile(path));
}

NominalPoints ParseNominalPoints(const std::string& path, const std::string& content) {
    RefuseNulBytes(path, content);
    NominalPoints nominal;
    nominal.path = path;
    io::CSVReader<4, io::trim_chars<' ', '\t'>, io::no_quote_escape<','>, io::throw_on_overflow,
                  io::empty_line_comment>
        reader(path, content.data(), content.data() + content.size());
    const std::array<const char*, 4> names = {"x", "y", "z", "weight"};
    try {
        reader.read_header(io::ignore_missing_column, names[0], names[1], names[2], names[3]);
    } catch (const io::error::base& fault) {
        Rethrow(fault, path, reader.get_file_line(), kNominalColumns);
    }
    for (std::size_t column = 0; column < 3; ++column) {
        if (!reader.has_column(names[column])) {
            throw InputError(path, static_cast<int>(reader.get_file_line()), names[column],
                             "missing column (a nominal file has x, y, z and an optional weight)");
        }
    }
    std::array<char*, 4> cells{};
    while (true) {
        cells.fill(nullptr);
        try {
            if (!reader.read_row(cells[0], cells[1], cells[2], cells[3])) {
                break;
            }
        } catch (const io::error::base& fault) {
            Rethrow(fault, path, reader.get_file_line(), kNominalColumns);
        }
        const int line = static_cast<int>(reader.get_file_line());
        std::array<double, 4> values = {0.0, 0.0, 0.0, 1.0};
        for (std::size_t column = 0; column < 4; ++column) {
            if (cells[column] == nullptr) {
                continue;
            }
            const std::optional<double> value = ParseFiniteDouble(cells[column]);
            if (!value) {
                throw InputError(path, line, names[column],
                                 Quoted(cells[column]) + " is not a finite number");
            }
            values[column] = *value;
        }
        CVector point;
        point.X = values[0];
        point.Y = values[1];
        point.Z = values[2];
        point.Cart2Sphr();
        point.Radian = true;
        point.Quality = 100.0;
        nominal.lines.push_back(line);
        nominal.points.push_back(point);
        nominal.weights.push_back(values[3]);
    }
    if (nominal.points.empty()) {
        throw InputError(path, 0, "", "the file holds no points");
    }
    return nominal;
}

std::string FormatWithQualities(const MeasurementSet& set, const std::vector<CVector>& after) {
    std::ostringstream out;
    for (std::size_t column = 0; column < set.columns.size(); ++column) {
        out << (column > 0 ? "," : "") << set.columns[column];
    }
    out << '\n';
    for (std::size_t row = 0; row < set.fields.size(); ++row) {
        for (std::size_t column = 0; column < set.fields[row].size(); ++column) {
            const bool changed =
                column == set.qualityColumn && after[row].Quality != set.vectors[row].Quality;
            out << (column > 0 ? "," : "")
                << (changed ? FormatDouble(after[row].Quality) : set.fields[row][column]);
        }
        out << '\n';
    }
    return out.str();
}

std::string FormatMeasurements(const std::vector<CVector>& vectors, AngleUnit unit, bool withXyz) {
    const std::string suffix = AngleUnitSuffix(unit);
    std::ostringstream out;
    out << "type,range,azimuth_" << suffix << ",elevation_" << suffix << ",t,quality"
        << (withXyz ? ",x,y,z" : "") << '\n';
    for (CVector measurement : vectors) {
        const double x = measurement.X, y = measurement.Y, z = measurement.Z;
        if (unit == AngleUnit::kRadians) {
            measurement.DegToRad();
        } else {
            measurement.RadToDeg();
        }
        out << measurement.Type << ',' << FormatDouble(measurement.Range) << ','
            << FormatDouble(measurement.Azimuth) << ',' << FormatDouble(measurement.Elevation)
            << ',' << FormatDouble(measurement.T) << ',' << FormatDouble(measurement.Quality);
        if (withXyz) {
            out << ',' << FormatDouble(x) << ',' << FormatDouble(y) << ',' << FormatDouble(z);
        }
        out << '\n';
    }
    return out.str();
}

}  // namespace compensation::cli
