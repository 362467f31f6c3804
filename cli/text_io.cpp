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
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        throw InputError(path, 0, "", "is a directory, not a file");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw InputError(path, 0, "", "is not a regular file (a device, a pipe or a socket)");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw InputError(
            path, 0, "",
            std::string("cannot open: ") + (error != 0 ? std::strerror(error) : "unknown reason"));
    }
    // The limit is checked on what is read, not on the size the file had when it was opened.
    std::string content;
    char buffer[1 << 16];
    while (content.size() <= kMaxInputBytes && in.read(buffer, sizeof buffer).gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        throw InputError(path, 0, "", "cannot read the file");
    }
    if (content.size() > kMaxInputBytes) {
        throw InputError(path, 0, "",
                         "larger than the " + std::to_string(kMaxInputBytes >> 20) +
                             " MiB an input file may have: not a measurement, model or scenario "
                             "file");
    }
    return content;
}

void RefuseNulBytes(const std::string& path, const std::string& text) {
    const std::size_t at = text.find('\0');
    if (at == std::string::npos) {
        return;
    }
    const std::size_t lineStart = text.rfind('\n', at);
    const std::size_t column = lineStart == std::string::npos ? at + 1 : at - lineStart;
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n');
    throw InputError(path, static_cast<int>(line), "",
                     "NUL byte at column " + std::to_string(column) + ": not a text file");
}

std::string Quoted(const std::string& field) {
    constexpr std::size_t kShown = 40;
    if (field.size() <= kShown) {
        return "\"" + field + "\"";
    }
    return "\"" + field.substr(0, kShown) + "\"... (" + std::to_string(field.size()) +
           " characters)";
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

int LineOf(const std::string& text, const std::string& needle, int occurrence) {
    std::size_t at = text.find(needle);
    for (int seen = 1; seen < occurrence && at != std::string::npos; ++seen) {
        at = text.find(needle, at + needle.size());
    }
    if (at == std::string::npos) {
        return 0;
    }
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

}  // namespace compensation::cli
