// Reading whole files, exact number conversions and line lookup shared by the file formats.
#ifndef COMPENSATE_TEXT_IO_H
#define COMPENSATE_TEXT_IO_H

#include <cstddef>
#include <optional>
#include <string>

namespace compensation::cli {

// The most the tool reads of one input file: far beyond any real data set (a measurement row
// takes about 60 bytes, so this is a million rows, where a compensation uses hundreds), and
// small enough that a wrong file (a device, a disk image) is refused at once.
inline constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;

// The whole content of a regular file of at most kMaxInputBytes; throws InputError naming the
// file when it is not a regular file (a directory, a device, a pipe), is larger, or cannot be
// read.
std::string ReadWholeFile(const std::string& path);

// Throws InputError naming the line and column of the first NUL byte of a text: no format of
// the tool holds one, and the CSV parser would end the field there and lose the rest of the line.
void RefuseNulBytes(const std::string& path, const std::string& text);

// A field for a message: quoted, and cut to its first few dozen characters (with its length
// said) so that a huge field cannot flood the terminal.
std::string Quoted(const std::string& field);

// Exact, locale-independent conversions of a whole field; nothing when the text is not a
// finite number (or not an integer), so the caller can name the field in its message.
std::optional<double> ParseFiniteDouble(const std::string& text);
std::optional<int> ParseInt(const std::string& text);

// The shortest text that reads back as the same double.
std::string FormatDouble(double value);

// 1-based line of the given occurrence (the first by default) of needle in text, 0 when absent.
int LineOf(const std::string& text, const std::string& needle, int occurrence = 1);

}  // namespace compensation::cli

#endif  // COMPENSATE_TEXT_IO_H
