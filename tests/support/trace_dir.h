// A fresh directory for the trace file of one test, and the trace text read back from it.
#ifndef COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H
#define COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace compensation::testing {

// Sets an environment variable (nullptr: unsets it) for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// A new directory under the system's temporary directory, removed with its contents, that
// receives the trace file while the object lives.
class ScopedTraceDir {
  public:
    ScopedTraceDir() : dir_(MakeDir()), env_("COMPENSATION_TRACE_DIR", dir_.c_str()) {}
    ~ScopedTraceDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::filesystem::path file() const { return dir_ / "TraceFile.txt"; }
    const std::filesystem::path& dir() const { return dir_; }

  private:
    static std::filesystem::path MakeDir() {
        std::string path =
            (std::filesystem::temp_directory_path() / "compensation-test-XXXXXX").string();
        return mkdtemp(path.data()) != nullptr ? path : std::string();
    }
    std::filesystem::path dir_;
    ScopedEnv env_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of a text, each without its line break.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H
