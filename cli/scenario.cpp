#include "scenario.h"

#include <climits>
#include <cstdint>
#include <filesystem>

#include "input_error.h"
#include "model_json.h"
#include "text_io.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

// An integer the procedures can take: JSON numbers beyond int would wrap on conversion.
bool IsInt(const Json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT_MAX);
    }
    if (value.is_number_integer()) {
        const std::int64_t integer = value.get<std::int64_t>();
        return integer >= INT_MIN && integer <= INT_MAX;
    }
    return false;
}

struct ScenarioReader {
    const std::string& path;
    const std::string& text;

    int Line(const std::string& key) const { return LineOf(text, "\"" + key + "\""); }

    [[noreturn]] void Fail(const std::string& key, const std::string& message) const {
        throw InputError(path, Line(key), key, message);
    }

    std::string File(const Json& value, const std::string& key) const {
        if (!value.is_string() || value.get<std::string>().empty()) {
            Fail(key, "expected a file name");
        }
        const std::filesystem::path name = value.get<std::string>();
        if (name.is_absolute()) {
            return name.string();
        }
        return (std::filesystem::path(path).parent_path() / name).lexically_normal().string();
    }

    int Integer(const Json& value, const std::string& key) const {
        if (!IsInt(value)) {
            Fail(key, "expected an integer from " + std::to_string(INT_MIN) + " to " +
                          std::to_string(INT_MAX));
        }
        return value.get<int>();
    }

    PairPositions Pair(const Json& value, const std::string& key) const {
        if (!value.is_array() || value.size() != 2 || !IsInt(value[0]) || !IsInt(value[1])) {
            Fail(key, "expected two target positions, for example [1, 4]");
        }
        return {value[0].get<int>(), value[1].get<int>(),
                path + ", line " + std::to_string(Line(key)) + ", field \"" + key + "\""};
    }
};

}  // namespace

Scenario ReadScenario(const std::string& path) {
    return ParseScenario(path, ReadWholeFile(path));
}

Scenario ParseScenario(const std::string& path, const std::string& text) {
    const Json document = ParseJsonFile(path, text);
    const ScenarioReader reader{path, text};
    if (!document.is_object()) {
        throw InputError(path, 1, "", "a scenario is a JSON object");
    }
    Scenario scenario;
    scenario.path = path;
    for (const auto& [key, value] : document.items()) {
        if (key == "procedure") {
            if (!value.is_string()) {
                reader.Fail(key, "expected quick, full or fullfull");
            }
            scenario.procedure = value.get<std::string>();
            if (scenario.procedure != "quick" && scenario.procedure != "full" &&
                scenario.procedure != "fullfull") {
                reader.Fail(key,
                            "expected quick, full or fullfull, not " + Quoted(scenario.procedure));
            }
        } else if (key == "mode") {
            scenario.mode = reader.Integer(value, key);
        } else if (key == "angle_unit") {
            if (!value.is_string()) {
                reader.Fail(key, "expected deg or rad");
            }
            scenario.angleUnit = value.get<std::string>();
        } else if (key == "measurements") {
            scenario.measurements = reader.File(value, key);
        } else if (key == "outside") {
            scenario.outside = reader.File(value, key);
        } else if (key == "outside2") {
            scenario.outside2 = reader.File(value, key);
        } else if (key == "flying") {
            scenario.flying = reader.File(value, key);
        } else if (key == "model") {
            scenario.model = reader.File(value, key);
        } else if (key == "true_model") {
            scenario.trueModel = reader.File(value, key);
        } else if (key == "flying_targets_per_view") {
            scenario.flyingTargetsPerView = reader.Integer(value, key);
        } else if (key == "pairs") {
            if (!value.is_object()) {
                reader.Fail(key, "expected an object with x0y0, d2 and extra");
            }
            for (const auto& [name, pair] : value.items()) {
                if (name == "x0y0") {
                    scenario.x0y0 = reader.Pair(pair, name);
                } else if (name == "d2") {
                    scenario.d2 = reader.Pair(pair, name);
                } else if (name == "extra") {
                    scenario.extra = reader.Pair(pair, name);
                } else {
                    reader.Fail(name, "unknown pair (known: x0y0, d2, extra)");
                }
            }
        } else if (key == "simulation") {
            // Informational: how a simulated scenario was made.
        } else {
            reader.Fail(key,
                        "unknown key (known: procedure, mode, measurements, outside, outside2, "
                        "flying, flying_targets_per_view, pairs, model, true_model, angle_unit, "
                        "simulation)");
        }
    }
    return scenario;
}

}  // namespace compensation::cli
