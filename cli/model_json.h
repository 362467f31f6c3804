// The error model as a JSON object holding the 83 elements by name, each a number:
//
//   { "A1": 0.0012, "A1_AzS": 0, ..., "A1_dT": 0 }
//
// Angular elements in degrees, lengths in metres, as in TMapper. Every element must be present
// exactly once and nothing else may be: a model with a forgotten or misspelt element is refused
// rather than read as zero.
#ifndef COMPENSATE_MODEL_JSON_H
#define COMPENSATE_MODEL_JSON_H

#include <nlohmann/json.hpp>
#include <string>

#include "compensation/mapper.h"

namespace compensation::cli {

TMapper ReadModel(const std::string& path);
// The same from a file's content held in memory; `path` names it in messages.
TMapper ParseModel(const std::string& path, const std::string& text);

// The model as an ordered JSON object (index order), numbers that read back exactly.
nlohmann::ordered_json ModelToJson(const TMapper& model);

// Parses a JSON document, refusing duplicate keys; throws InputError with file and line.
nlohmann::ordered_json ParseJsonFile(const std::string& path, const std::string& text);

}  // namespace compensation::cli

#endif  // COMPENSATE_MODEL_JSON_H
