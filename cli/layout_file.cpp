#include "layout_file.h"

#include <climits>
#include <cmath>
#include <set>

#include "input_error.h"
#include "model_json.h"
#include "text_io.h"

namespace compensation::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi / 180.0;
// An outside placement measures its pair this many times at most: far beyond any real set.
constexpr int kMostRepeats = 1000;

struct LayoutReader {
    const std::string& path;
    const std::string& text;

    [[noreturn]] void Fail(const std::string& key, const std::string& message) const {
        throw InputError(path, LineOf(text, "\"" + key + "\""), key, message);
    }

    void OnlyKeys(const Json& object, const std::string& key,
                  const std::set<std::string>& known) const {
        if (!object.is_object()) {
            Fail(key, "expected an object");
        }
        for (const auto& item : object.items()) {
            if (known.count(item.key()) == 0) {
                Fail(item.key(), "unknown key in " + Quoted(key));
            }
        }
    }

    double Number(const Json& value, const std::string& key) const {
        if (!value.is_number() || !std::isfinite(value.get<double>())) {
            Fail(key, "expected a finite number");
        }
        return value.get<double>();
    }

    double NumberOr(const Json& object, const std::string& key, double fallback) const {
        return object.contains(key) ? Number(object[key], key) : fallback;
    }

    int Integer(const Json& value, const std::string& key, int least, int most) const {
        if (!value.is_number_integer() || value.get<long long>() < least ||
            value.get<long long>() > most) {
            Fail(key, "expected an integer from " + std::to_string(least) + " to " +
                          std::to_string(most));
        }
        return value.get<int>();
    }

    sim::Point Xyz(const Json& value, const std::string& key) const {
        if (!value.is_array() || value.size() != 3) {
            Fail(key, "expected a point [x, y, z] in metres");
        }
        return {Number(value[0], key), Number(value[1], key), Number(value[2], key)};
    }

    // A point, or a range, azimuth and elevation seen from `from`.
    sim::Point Target(const Json& value, const std::string& key, const sim::Point& from) const {
        if (!value.is_object()) {
            return Xyz(value, key);
        }
        OnlyKeys(value, key, {"range", "azimuth_deg", "elevation_deg"});
        const double range = Number(value.value("range", Json()), "range");
        const double az = Number(value.value("azimuth_deg", Json()), "azimuth_deg") * kDegree;
        const double el = Number(value.value("elevation_deg", Json()), "elevation_deg") * kDegree;
        if (!(range > 0.0)) {
            Fail("range", "expected a positive range in metres");
        }
        return {from.x - range * std::cos(el) * std::sin(az), from.y + range * std::sin(el),
                from.z + range * std::cos(el) * std::cos(az)};
    }

    std::vector<sim::Point> Points(const Json& value, const std::string& key) const {
        if (!value.is_array()) {
            Fail(key, "expected an array of points");
        }
        std::vector<sim::Point> points;
        for (const Json& point : value) {
            points.push_back(Xyz(point, key));
        }
        return points;
    }

    sim::Placement Placement(const Json& value, const std::string& key,
                             std::set<std::string> extra = {}) const {
        extra.insert({"position", "heading_deg", "tilt_x_deg", "tilt_z_deg"});
        OnlyKeys(value, key, extra);
        sim::Placement placement;
        if (value.contains("position")) {
            placement.position = Xyz(value["position"], "position");
        }
        placement.heading = NumberOr(value, "heading_deg", 0.0) * kDegree;
        placement.tilt_x = NumberOr(value, "tilt_x_deg", 0.0) * kDegree;
        placement.tilt_z = NumberOr(value, "tilt_z_deg", 0.0) * kDegree;
        return placement;
    }

    void Pair(const Json& pairs, const char* key, int& first, int& second) const {
        if (!pairs.contains(key)) {
            return;
        }
        const Json& value = pairs[key];
        if (!value.is_array() || value.size() != 2) {
            Fail(key, "expected two target positions, for example [1, 4]");
        }
        first = Integer(value[0], key, 1, INT_MAX);
        second = Integer(value[1], key, 1, INT_MAX);
    }
};

Json Xyz(const sim::Point& p) {
    return Json::array({p.x, p.y, p.z});
}

Json PlacementJson(const sim::Placement& p, bool withHeading) {
    Json json = {{"position", Xyz(p.position)}};
    if (withHeading) {
        json["heading_deg"] = p.heading / kDegree;
    }
    if (p.tilt_x != 0.0 || p.tilt_z != 0.0) {
        json["tilt_x_deg"] = p.tilt_x / kDegree;
        json["tilt_z_deg"] = p.tilt_z / kDegree;
    }
    return json;
}

}  // namespace

PlanLayout ReadLayoutFile(const std::string& path) {
    return ParseLayoutFile(path, ReadWholeFile(path));
}

PlanLayout ParseLayoutFile(const std::string& path, const std::string& text) {
    const Json document = ParseJsonFile(path, text);
    const LayoutReader reader{path, text};
    reader.OnlyKeys(document, "layout",
                    {"procedure", "mode", "noise", "station", "headings_deg", "targets", "pairs",
                     "outside", "flying", "temperature"});
    PlanLayout plan;
    sim::Layout& layout = plan.layout;
    if (document.contains("procedure")) {
        const Json& value = document["procedure"];
        plan.procedure = value.is_string() ? value.get<std::string>() : "";
        if (plan.procedure != "quick" && plan.procedure != "full" && plan.procedure != "fullfull") {
            reader.Fail("procedure", "expected quick, full or fullfull");
        }
    }
    if (document.contains("mode")) {
        plan.mode = reader.Integer(document["mode"], "mode", 0, 2);
    }
    if (!document.contains("noise")) {
        reader.Fail("noise", "expected the reading noise: { \"range_m\": .., \"angle_rad\": .. }");
    }
    reader.OnlyKeys(document["noise"], "noise", {"range_m", "angle_rad"});
    plan.noiseRange = reader.NumberOr(document["noise"], "range_m", -1.0);
    plan.noiseAngle = reader.NumberOr(document["noise"], "angle_rad", -1.0);
    if (!(plan.noiseRange > 0.0) || !(plan.noiseAngle > 0.0)) {
        reader.Fail("noise", "expected a positive range_m and angle_rad");
    }
    if (document.contains("station")) {
        layout.station = reader.Placement(document["station"], "station");
    }
    if (!document.contains("headings_deg") || !document["headings_deg"].is_array()) {
        reader.Fail("headings_deg", "expected the headings of the main views, degrees");
    }
    for (const Json& heading : document["headings_deg"]) {
        layout.headings.push_back(reader.Number(heading, "headings_deg") * kDegree);
    }
    if (!document.contains("targets") || !document["targets"].is_array()) {
        reader.Fail("targets", "expected an array of targets");
    }
    for (const Json& target : document["targets"]) {
        layout.targets.push_back(reader.Target(target, "targets", layout.station.position));
    }
    if (document.contains("pairs")) {
        const Json& pairs = document["pairs"];
        reader.OnlyKeys(pairs, "pairs", {"x0y0", "d2", "extra"});
        reader.Pair(pairs, "x0y0", layout.n1_x0y0, layout.n2_x0y0);
        reader.Pair(pairs, "d2", layout.n1_d2, layout.n2_d2);
        reader.Pair(pairs, "extra", layout.n1_extra, layout.n2_extra);
    }
    if (document.contains("outside")) {
        layout.outside = reader.Placement(document["outside"], "outside", {"repeats"});
        layout.outside_repeats = reader.Integer(document["outside"].value("repeats", Json(0)),
                                                "repeats", 0, kMostRepeats);
    }
    if (document.contains("flying")) {
        const Json& flying = document["flying"];
        reader.OnlyKeys(flying, "flying", {"targets", "placements"});
        layout.fly_targets = reader.Points(flying.value("targets", Json::array()), "targets");
        const Json placements = flying.value("placements", Json::array());
        if (!placements.is_array()) {
            reader.Fail("placements", "expected an array of placements");
        }
        for (const Json& placement : placements) {
            layout.fly_placements.push_back(reader.Placement(placement, "placements"));
        }
    }
    if (document.contains("temperature")) {
        const Json& temperature = document["temperature"];
        reader.OnlyKeys(temperature, "temperature", {"start", "step"});
        layout.temperature = reader.NumberOr(temperature, "start", layout.temperature);
        layout.temperature_step = reader.NumberOr(temperature, "step", layout.temperature_step);
    }
    return plan;
}

Json LayoutToJson(const PlanLayout& plan) {
    const sim::Layout& layout = plan.layout;
    Json json = {{"procedure", plan.procedure}};
    if (plan.procedure == "fullfull") {
        json["mode"] = plan.mode;
    }
    json["noise"] = {{"range_m", plan.noiseRange}, {"angle_rad", plan.noiseAngle}};
    json["station"] = PlacementJson(layout.station, false);
    Json headings = Json::array();
    for (double heading : layout.headings) {
        headings.push_back(heading / kDegree);
    }
    json["headings_deg"] = headings;
    Json targets = Json::array();
    for (const sim::Point& target : layout.targets) {
        targets.push_back(Xyz(target));
    }
    json["targets"] = targets;
    Json pairs = Json::object();
    const auto pair = [&pairs](const char* key, int first, int second) {
        if (first > 0 || second > 0) {
            pairs[key] = Json::array({first, second});
        }
    };
    pair("x0y0", layout.n1_x0y0, layout.n2_x0y0);
    pair("d2", layout.n1_d2, layout.n2_d2);
    pair("extra", layout.n1_extra, layout.n2_extra);
    if (!pairs.empty()) {
        json["pairs"] = pairs;
    }
    if (layout.outside_repeats > 0) {
        json["outside"] = PlacementJson(layout.outside, true);
        json["outside"]["repeats"] = layout.outside_repeats;
    }
    if (!layout.fly_placements.empty()) {
        Json flyTargets = Json::array();
        for (const sim::Point& target : layout.fly_targets) {
            flyTargets.push_back(Xyz(target));
        }
        Json placements = Json::array();
        for (const sim::Placement& placement : layout.fly_placements) {
            placements.push_back(PlacementJson(placement, true));
        }
        json["flying"] = {{"targets", flyTargets}, {"placements", placements}};
    }
    json["temperature"] = {{"start", layout.temperature}, {"step", layout.temperature_step}};
    return json;
}

}  // namespace compensation::cli
