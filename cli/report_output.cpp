#include "report_output.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace compensation::cli {

namespace {

nlohmann::ordered_json Number(double value) {
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void PrintReport(std::ostream& out, const RunReport& report) {
    out << "stage: " << StageName(report.stage) << ": " << report.stage_words << '\n';
    if (report.stage == Stage::kFlyingViewsRefused || report.flying_status != 0) {
        out << "flying status " << report.flying_status << ", main coverage code "
            << report.coverage_code << '\n';
    }
    if (report.elements.empty()) {
        if (!report.uncertainty_note.empty()) {
            out << "no uncertainty: " << report.uncertainty_note << '\n';
        }
        return;
    }
    out << "\nfitted elements (degrees, metres):\n";
    char line[200];
    std::snprintf(line, sizeof line, "  %-22s %14s %14s %12s %12s  %s\n", "element", "start",
                  "fitted", "change", "+/- (1 s.u.)", "verdict");
    out << line;
    for (const ElementReport& e : report.elements) {
        const std::string uncertainty =
            e.uncertainty >= 0.0 ? Format("%12.3g", e.uncertainty) : std::string(12, ' ');
        std::snprintf(line, sizeof line, "  %-22s %14.6g %14.6g %12.3g %s  %s\n", e.name.c_str(),
                      e.start, e.fitted, e.fitted - e.start, uncertainty.c_str(),
                      std::string(VerdictWords(e.verdict)).c_str());
        out << line;
    }
    for (const ElementReport& e : report.elements) {
        if (!e.reason.empty()) {
            out << "  " << e.name << ": " << e.reason << '\n';
        }
    }
    if (!report.uncertainty_note.empty()) {
        out << "no uncertainty: " << report.uncertainty_note << '\n';
    }
}

void AddReportJson(nlohmann::ordered_json& result, const RunReport& report) {
    using Json = nlohmann::ordered_json;
    result["stage"] = {{"name", std::string(StageName(report.stage))},
                       {"words", report.stage_words},
                       {"flying_status", report.flying_status},
                       {"coverage_code", report.coverage_code}};
    Json fits = Json::array();
    for (const FitReport& f : report.fits) {
        fits.push_back({{"name", f.name},
                        {"set", f.set},
                        {"last_result", f.last_result},
                        {"fitting_calls", f.fitting_calls},
                        {"outlier_calls", f.outlier_calls},
                        {"rejections", f.rejections}});
    }
    result["fits"] = fits;
    Json loops = Json::array();
    for (const LoopReport& l : report.loops) {
        loops.push_back({{"name", l.name},
                         {"runs", l.runs},
                         {"evaluations", l.evaluations},
                         {"budget", l.budget},
                         {"last_sum", l.last_sum},
                         {"rate", l.rate >= 0.0 ? Json(l.rate) : Json(nullptr)}});
    }
    result["loops"] = loops;
    result["noise"] = report.noise.available
                          ? Json{{"range_m", Number(report.noise.range)},
                                 {"azimuth_rad", Number(report.noise.azimuth)},
                                 {"elevation_rad", Number(report.noise.elevation)},
                                 {"interball_distance_m", Number(report.noise.interball_distance)}}
                          : Json(nullptr);
    Json elements = Json::array();
    for (const ElementReport& e : report.elements) {
        elements.push_back(
            {{"name", e.name},
             {"fit", e.fit},
             {"start", Number(e.start)},
             {"fitted", Number(e.fitted)},
             {"change", Number(e.fitted - e.start)},
             {"uncertainty", e.uncertainty >= 0.0 ? Number(e.uncertainty) : Json(nullptr)},
             {"verdict", std::string(VerdictWords(e.verdict))},
             {"reason", e.reason}});
    }
    result["elements"] = elements;
    const std::size_t n = report.correlated.size();
    Json matrix = Json::array();
    for (std::size_t i = 0; i < n; ++i) {
        Json row = Json::array();
        for (std::size_t k = 0; k < n; ++k) {
            row.push_back(Number(report.correlations[i * n + k]));
        }
        matrix.push_back(row);
    }
    result["correlations"] = {{"elements", report.correlated}, {"matrix", matrix}};
}

}  // namespace compensation::cli
