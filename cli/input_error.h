// The faults of what a user hands the tool: a file that cannot be read, a row or a field that
// does not parse, a layout the procedures cannot use, or options that do not fit together.
#ifndef COMPENSATE_INPUT_ERROR_H
#define COMPENSATE_INPUT_ERROR_H

#include <stdexcept>
#include <string>

namespace compensation::cli {

// Bad input: the message names the file, the line (0 when the fault is not on one line) and the
// field, so that the user can go straight to it. The tool exits with status 2 and writes nothing.
class InputError : public std::runtime_error {
  public:
    InputError(const std::string& file, int line, const std::string& field,
               const std::string& message)
        : std::runtime_error(Compose(file, line, field, message)),
          file_(file),
          line_(line),
          field_(field) {}

    const std::string& file() const { return file_; }
    int line() const { return line_; }
    const std::string& field() const { return field_; }

  private:
    static std::string Compose(const std::string& file, int line, const std::string& field,
                               const std::string& message) {
        std::string text = file;
        if (line > 0) {
            text += ", line " + std::to_string(line);
        }
        if (!field.empty()) {
            // A field name comes from the file (a JSON key, a CSV header) and may be huge.
            constexpr std::size_t kShown = 40;
            text +=
                ", field \"" + field.substr(0, kShown) + (field.size() > kShown ? "\"..." : "\"");
        }
        return text.empty() ? message : text + ": " + message;
    }

    std::string file_;
    int line_;
    std::string field_;
};

// Options that contradict each other or are missing; reported like bad input (status 2).
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace compensation::cli

#endif  // COMPENSATE_INPUT_ERROR_H
