// A fresh directory for the trace file of one test, and the trace text read back from it.
#ifndef COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H
#define COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace compensation::testing {

// A fresh directory under the system's temporary directory, named prefix and a random number.
inline std::filesystem::path MakeTempDirectory(const std::string& prefix) {
    std::random_device entropy;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        std::filesystem::path candidate = base / (prefix + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate)) {
            return candidate;
        }
    }
}

// Sets an environment variable (nullptr: unsets it) for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), had_(std::getenv(name) != nullptr) {
        old_ = had_ ? std::getenv(name) : "";
        platform::SetEnv(name, value);
    }
    ~ScopedEnv() { platform::SetEnv(name_.c_str(), had_ ? old_.c_str() : nullptr); }

  private:
    std::string name_, old_;
    bool had_;
};

// A fresh temporary directory that receives the trace file while the object lives.
class ScopedTraceDir {
  public:
    ScopedTraceDir()
        : dir_(MakeTempDirectory("compensation-test-")),
          env_("COMPENSATION_TRACE_DIR", dir_.string().c_str()) {}
    ~ScopedTraceDir() { std::filesystem::remove_all(dir_, ignored_); }
    std::filesystem::path file() const { return dir_ / "TraceFile.txt"; }
    const std::filesystem::path& dir() const { return dir_; }

  private:
    std::filesystem::path dir_;
    ScopedEnv env_;
    std::error_code ignored_;
};

// The trace read as the text file it is: the library writes it in text mode, so its lines end
// in CR LF on Windows, which reading in text mode turns back into LF.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
