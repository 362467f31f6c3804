// The run report in the tool's outputs: the table of fitted elements after the summary, and the
// report's keys of the result JSON.
#ifndef COMPENSATE_REPORT_OUTPUT_H
#define COMPENSATE_REPORT_OUTPUT_H

#include <nlohmann/json.hpp>
#include <ostream>

#include "compensation/run_report.h"

namespace compensation::cli {

// "stage: ..." and, when elements were fitted, one line per element: start, fitted, change,
// standard uncertainty and verdict (reasons follow the table).
void PrintReport(std::ostream& out, const RunReport& report);

// Adds "stage", "fits", "loops", "noise", "elements" and "correlations" to a result object.
void AddReportJson(nlohmann::ordered_json& result, const RunReport& report);

}  // namespace compensation::cli

#endif  // COMPENSATE_REPORT_OUTPUT_H
