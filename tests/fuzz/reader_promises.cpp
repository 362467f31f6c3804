// The tool's file readers' promises on arbitrary text.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "input_error.h"
#include "measurement_csv.h"
#include "model/mapper_elements.h"
#include "model_json.h"
#include "promises.h"
#include "scenario.h"

namespace compensation::fuzz {
namespace {

using cli::InputError;

// A message names a file, a line, a field (cut to a few dozen characters), quotes a value (cut
// likewise) and says what is wrong: a few hundred characters, whatever the input's size.
constexpr std::size_t kLongestMessage = 600;
const std::string kPath = "fuzz-input";

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string CheckMessage(const InputError& e) {
    const std::size_t length = std::strlen(e.what());
    if (length > kLongestMessage) {
        return "a message of " + std::to_string(length) + " characters";
    }
    return "";
}

// Runs read(); returns the broken promise of a refusal, or "" with *refused set.
template <typename Read>
std::string Refusal(Read read, bool* refused) {
    *refused = false;
    try {
        read();
    } catch (const InputError& e) {
        *refused = true;
        return CheckMessage(e);
    } catch (const std::exception& e) {
        return std::string("an exception that is not an input error: ") + e.what();
    }
    return "";
}

std::string CheckMeasurements(const std::string& text, cli::AngleUnit unit) {
    cli::MeasurementSet set;
    bool refused = false;
    std::string broken =
        Refusal([&] { set = cli::ParseMeasurements(kPath, text, unit); }, &refused);
    if (!broken.empty() || refused) {
        return broken;
    }
    for (const CVector& v : set.vectors) {
        if (v.Type != 14 && v.Type != 100 && v.Type != 200) {
            return "a measurement of type " + std::to_string(v.Type);
        }
        for (double x : {v.Range, v.Azimuth, v.Elevation, v.T, v.Quality, v.X, v.Y, v.Z}) {
            if (!std::isfinite(x)) {
                return "a measurement with a non-finite value";
            }
        }
    }
    // The write-back of unchanged qualities reads back as the same measurements and fields.
    const std::string written = cli::FormatWithQualities(set, set.vectors);
    cli::MeasurementSet again;
    broken = Refusal([&] { again = cli::ParseMeasurements(kPath, written, set.unit); }, &refused);
    if (!broken.empty() || refused) {
        return "the write-back is refused on reading: " + broken;
    }
    if (again.vectors.size() != set.vectors.size() || again.fields != set.fields) {
        return "the write-back lost rows or fields";
    }
    for (std::size_t i = 0; i < set.vectors.size(); ++i) {
        const CVector& a = set.vectors[i];
        const CVector& b = again.vectors[i];
        if (a.Type != b.Type || !SameBits(a.Range, b.Range) || !SameBits(a.Azimuth, b.Azimuth) ||
            !SameBits(a.Elevation, b.Elevation) || !SameBits(a.T, b.T) ||
            !SameBits(a.Quality, b.Quality)) {
            return "the write-back changed row " + std::to_string(i);
        }
    }
    return "";
}

std::string CheckNominal(const std::string& text) {
    cli::NominalPoints points;
    bool refused = false;
    const std::string broken =
        Refusal([&] { points = cli::ParseNominalPoints(kPath, text); }, &refused);
    if (!broken.empty() || refused) {
        return broken;
    }
    for (std::size_t i = 0; i < points.points.size(); ++i) {
        const CVector& p = points.points[i];
        if (!std::isfinite(p.X) || !std::isfinite(p.Y) || !std::isfinite(p.Z) ||
            !std::isfinite(points.weights[i])) {
            return "a nominal point with a non-finite value";
        }
    }
    return "";
}

std::string CheckModel(const std::string& text) {
    TMapper model{};
    bool refused = false;
    std::string broken = Refusal([&] { model = cli::ParseModel(kPath, text); }, &refused);
    if (!broken.empty() || refused) {
        return broken;
    }
    for (const MapperElement& e : kMapperElements) {
        if (!std::isfinite(model.*e.member)) {
            return std::string("model element ") + e.name + " is not finite";
        }
    }
    TMapper again{};
    broken =
        Refusal([&] { again = cli::ParseModel(kPath, cli::ModelToJson(model).dump(2)); }, &refused);
    if (!broken.empty() || refused) {
        return "the written model is refused on reading: " + broken;
    }
    if (std::memcmp(&model, &again, sizeof(TMapper)) != 0) {
        return "the written model reads back different";
    }
    return "";
}

// An integer of the scenario as the JSON text holds it.
bool Holds(const nlohmann::json& value, long long n) {
    if (value.is_number_unsigned()) {
        return n >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(n);
    }
    return value.is_number_integer() && value.get<std::int64_t>() == n;
}

std::string CheckScenario(const std::string& text) {
    bool refused = false;
    cli::Scenario s;
    const std::string broken = Refusal([&] { s = cli::ParseScenario(kPath, text); }, &refused);
    if (!broken.empty() || refused) {
        return broken;
    }
    // Every integer read is the one written: none wrapped into the int range.
    const nlohmann::json document = nlohmann::json::parse(text);
    if (s.mode && !Holds(document["mode"], *s.mode)) {
        return "the mode read is not the one written";
    }
    if (s.flyingTargetsPerView &&
        !Holds(document["flying_targets_per_view"], *s.flyingTargetsPerView)) {
        return "the flying targets per view read are not those written";
    }
    const std::pair<const char*, std::optional<cli::PairPositions>*> pairs[] = {
        {"x0y0", &s.x0y0}, {"d2", &s.d2}, {"extra", &s.extra}};
    for (const auto& [name, pair] : pairs) {
        if (*pair && !(Holds(document["pairs"][name][0], (*pair)->first) &&
                       Holds(document["pairs"][name][1], (*pair)->second))) {
            return std::string("the ") + name + " positions read are not those written";
        }
    }
    return "";
}

}  // namespace

std::string CheckMeasurementCsvInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return "";
    }
    const cli::AngleUnit units[] = {cli::AngleUnit::kUnspecified, cli::AngleUnit::kDegrees,
                                    cli::AngleUnit::kRadians};
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string broken = CheckMeasurements(text, units[data[0] % 3]);
    if (!broken.empty()) {
        return "measurements: " + broken;
    }
    const std::string nominal = CheckNominal(text);
    return nominal.empty() ? "" : "nominal points: " + nominal;
}

std::string CheckModelScenarioInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return "";
    }
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string broken = data[0] % 2 == 0 ? CheckModel(text) : CheckScenario(text);
    if (broken.empty()) {
        return "";
    }
    return (data[0] % 2 == 0 ? "model: " : "scenario: ") + broken;
}

}  // namespace compensation::fuzz
