// A fresh directory for the trace file of one test, and the trace text read back from it.
#ifndef COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H
#define COMPENSATION_TESTS_SUPPORT_TRACE_DIR_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace compensation::testing {

// Sets an environment variable (nullptr: unsets it) for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), had_(std::getenv(name) != nullptr) {
        old_ = had_ ? std::getenv(name) : "";
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_.c_str(), old_.c_str(), 1) : unsetenv(name_.c_str()); }

  private:
    std::string name_, old_;
    bool had_;
};

// A fresh temporary directory that receives the trace file while the object lives.
class ScopedTraceDir {
  public:
    ScopedTraceDir() : dir_(MakeDir()), env_("COMPENSATION_TRACE_DIR", dir_.c_str()) {}
    ~ScopedTraceDir() { std::filesystem::remove_all(dir_, ignored_); }
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
    std::error_code ignored_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
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
