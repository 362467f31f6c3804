// What the library prints on standard output (the quick procedure's summary), taken aside
// while it runs.
#ifndef COMPENSATE_CAPTURED_OUTPUT_H
#define COMPENSATE_CAPTURED_OUTPUT_H

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace compensation::cli {

// Diverts the process's standard output into a temporary file while the library runs, so that
// --json keeps standard output machine-readable and the summary still reaches the result. The
// diversion is the C runtime's own: the library's std::cout may belong to a C++ runtime of its
// own (the Windows DLL links one statically), which swapping this program's stream buffer would
// miss, but every C++ runtime in the process writes through the C runtime's stdout.
class CapturedOutput {
  public:
    explicit CapturedOutput(bool active) {
        if (!active) {
            return;
        }
        std::string name =
            (std::filesystem::temp_directory_path() / "compensate.out.XXXXXX").string();
        fd_ = ::mkstemp(name.data());
        if (fd_ < 0) {
            return;  // the summary is then printed, and the JSON follows it
        }
        name_ = name;
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(::fileno(stdout));
        ::dup2(fd_, ::fileno(stdout));
    }
    ~CapturedOutput() {
        Restore();
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(name_.c_str());
        }
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::string Text() {
        Restore();
        std::ostringstream text;
        text << std::ifstream(name_).rdbuf();  // text mode: CR LF back to LF on Windows
        return text.str();
    }

  private:
    void Restore() {
        if (saved_ >= 0) {
            std::cout.flush();
            std::fflush(stdout);
            ::dup2(saved_, ::fileno(stdout));
            ::close(saved_);
            saved_ = -1;
        }
    }
    int fd_ = -1, saved_ = -1;
    std::string name_;
};

}  // namespace compensation::cli

#endif  // COMPENSATE_CAPTURED_OUTPUT_H
