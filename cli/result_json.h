// The result record and the rejections as JSON, for the result file and for --json.
#ifndef COMPENSATE_RESULT_JSON_H
#define COMPENSATE_RESULT_JSON_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compensation/records.h"
#include "measurement_csv.h"

namespace compensation::cli {

// Every TCompOut field under its own name, in record order (lengths in metres, angles in
// degrees, target positions 1-based within a view).
nlohmann::ordered_json CompOutToJson(const TCompOut& out);

// One measurement whose quality the run changed.
struct QualityChange {
    std::string set;
    std::size_t index;  // 0-based row of the set
    int line;           // line in its file
    int type;
    double oldQuality;
    double newQuality;
};

std::vector<QualityChange> QualityChanges(const std::string& name, const MeasurementSet& set,
                                          const std::vector<CVector>& after);

// What a quality mark means: 18 unpaired, 50 rejected, 60 kept out of the outside averages,
// old - 50 rejected by a single-term fit.
std::string MarkMeaning(double oldQuality, double newQuality);

nlohmann::ordered_json ChangesToJson(const std::vector<QualityChange>& changes);

}  // namespace compensation::cli

#endif  // COMPENSATE_RESULT_JSON_H
