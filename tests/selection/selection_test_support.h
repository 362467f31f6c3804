// Small builders for measurement arrays and a trace file captured per test.
#ifndef COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H
#define COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "compensation/vector.h"

namespace compensation::testing {

inline constexpr double kLive = 99.0;

// One measurement in radians with its face sign set from the type, as the procedures leave it.
inline CVector Measurement(int type, double range, double azimuth, double elevation,
                           double quality = kLive) {
    CVector v;
    v.Type = type;
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.Quality = quality;
    v.Radian = true;
    v.SeType();
    v.Sphr2Cart();
    return v;
}

// Sends the trace of every CCompensation constructed during its lifetime into a fresh
// directory, and gives back what was appended to the file after a chosen point.
class TraceCapture {
  public:
    TraceCapture() {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("compensation_trace_" + std::to_string(Pid()) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(dir_);
        const char* old = std::getenv("COMPENSATION_TRACE_DIR");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        SetEnv(dir_.string());
    }
    ~TraceCapture() {
        if (hadOld_) {
            SetEnv(old_);
        } else {
            SetEnv("");
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string Text() const {
        std::ifstream in(dir_ / "TraceFile.txt", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    std::size_t Size() const { return Text().size(); }
    std::string Since(std::size_t offset) const { return Text().substr(offset); }

  private:
    static long Pid() {
#if defined(_WIN32)
        return 0;
#else
        return static_cast<long>(::getpid());
#endif
    }
    static void SetEnv(const std::string& value) {
#if defined(_WIN32)
        _putenv_s("COMPENSATION_TRACE_DIR", value.c_str());
#else
        ::setenv("COMPENSATION_TRACE_DIR", value.c_str(), 1);
#endif
    }

    std::filesystem::path dir_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H
