#include "model_json.h"

#include <cmath>
#include <set>

#include "input_error.h"
#include "model/mapper_elements.h"
#include "text_io.h"

namespace compensation::cli {

nlohmann::ordered_json ParseJsonFile(const std::string& path, const std::string& text) {
    RefuseNulBytes(path, text);
    // The parser keeps the last of two equal keys without a word; a model or scenario that
    // names an element twice is ambiguous, so the first duplicate stops the reading.
    std::vector<std::set<std::string>> keysByDepth(1);
    std::string duplicate;
    const auto callback = [&](int depth, nlohmann::ordered_json::parse_event_t event,
                              nlohmann::ordered_json& parsed) {
        const auto level = static_cast<std::size_t>(depth);
        if (event == nlohmann::ordered_json::parse_event_t::object_start) {
            keysByDepth.resize(level + 2);
            keysByDepth[level + 1].clear();
        } else if (event == nlohmann::ordered_json::parse_event_t::key && duplicate.empty()) {
            keysByDepth.resize(std::max(keysByDepth.size(), level + 1));
            const std::string key = parsed.get<std::string>();
            if (!keysByDepth[level].insert(key).second) {
                duplicate = key;
            }
        }
        return true;
    };
    try {
        nlohmann::ordered_json document = nlohmann::ordered_json::parse(text, callback);
        if (!duplicate.empty()) {
            // The repeat is what the reader refuses, so its line is the one to name.
            throw InputError(path, LineOf(text, "\"" + duplicate + "\"", 2), duplicate,
                             "the key appears twice");
        }
        return document;
    } catch (const nlohmann::json::exception& fault) {
        // The parser's message ends with the text it last read, which may be a huge token.
        constexpr std::size_t kLongestMessage = 160;
        std::string message = fault.what();
        if (message.size() > kLongestMessage) {
            message = message.substr(0, kLongestMessage) + "...";
        }
        throw InputError(path, 0, "", "not valid JSON: " + message);
    }
}

TMapper ReadModel(const std::string& path) {
    return ParseModel(path, ReadWholeFile(path));
}

TMapper ParseModel(const std::string& path, const std::string& text) {
    const nlohmann::ordered_json document = ParseJsonFile(path, text);
    if (!document.is_object()) {
        throw InputError(path, 1, "", "a model is a JSON object of the 83 element names");
    }
    TMapper model{};
    for (const auto& [key, value] : document.items()) {
        const int index = MapperElementIndex(key.c_str());
        const int line = LineOf(text, "\"" + key + "\"");
        if (index < 0) {
            throw InputError(path, line, key, "unknown model element");
        }
        if (!value.is_number()) {
            throw InputError(path, line, key,
                             "the value must be a number, not " + std::string(value.type_name()));
        }
        if (!std::isfinite(value.get<double>())) {
            throw InputError(path, line, key, "the value must be finite");
        }
        model.*kMapperElements[static_cast<std::size_t>(index)].member = value.get<double>();
    }
    for (const MapperElement& element : kMapperElements) {
        if (!document.contains(element.name)) {
            throw InputError(path, 0, element.name,
                             "missing model element (a model names all 83 elements)");
        }
    }
    return model;
}

nlohmann::ordered_json ModelToJson(const TMapper& model) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const MapperElement& element : kMapperElements) {
        out[element.name] = model.*element.member;
    }
    return out;
}

}  // namespace compensation::cli
