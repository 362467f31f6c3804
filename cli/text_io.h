// Reading whole files, exact number conversions and line lookup shared by the file formats.
#ifndef COMPENSATE_TEXT_IO_H
#define COMPENSATE_TEXT_IO_H

#include <optional>
#include <string>

namespace compensation::cli {

// The whole content of a file; throws InputError naming the file when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Exact, locale-independent conversions of a whole field; nothing when the text is not a
// finite number (or not an integer), so the caller can name the field in its message.
std::optional<double> ParseFiniteDouble(const std::string& text);
std::optional<int> ParseInt(const std::string& text);

// The shortest text that reads back as the same double.
std::string FormatDouble(double value);

// 1-based line of the first occurrence of needle in text, 0 when absent.
int LineOf(const std::string& text, const std::string& needle);

}  // namespace compensation::cli

#endif  // COMPENSATE_TEXT_IO_H
