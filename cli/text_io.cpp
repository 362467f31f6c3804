#include "text_io.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "input_error.h"

namespace compensation::cli {

std::string ReadWholeFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw InputError(path, 0, "", "is a directory, not a file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw InputError(
            path, 0, "",
            std::string("cannot open: ") + (error != 0 ? std::strerror(error) : "unknown reason"));
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        throw InputError(path, 0, "", "cannot read the file");
    }
    return content.str();
}

namespace {

// from_chars takes no leading '+', which spreadsheets sometimes write.
const char* SkipPlus(const std::string& text) {
    const char* first = text.data();
    if (!text.empty() && text[0] == '+' && text.size() > 1 && text[1] != '-') {
        ++first;
    }
    return first;
}

}  // namespace

std::optional<double> ParseFiniteDouble(const std::string& text) {
    double value = 0.0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(SkipPlus(text), last, value);
    if (ec != std::errc() || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(SkipPlus(text), last, value);
    if (ec != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

std::string FormatDouble(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

int LineOf(const std::string& text, const std::string& needle) {
    const std::size_t at = text.find(needle);
    if (at == std::string::npos) {
        return 0;
    }
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

}  // namespace compensation::cli
