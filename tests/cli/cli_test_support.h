// Scratch directories and a runner for the built compensate command, run as a user runs it.
#ifndef COMPENSATE_TESTS_CLI_TEST_SUPPORT_H
#define COMPENSATE_TESTS_CLI_TEST_SUPPORT_H

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/trace_dir.h"

namespace compensation::cli::testing {

inline std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A directory of the test's own, removed with everything in it.
struct TempDir {
    std::filesystem::path path = compensation::testing::MakeTempDirectory("compensate.");
    TempDir() = default;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(File(name), std::ios::binary) << content;
        return File(name);
    }
};

struct CommandResult {
    int status;
    std::string out, err;
};

// The path as the system writes it: on Windows absolute with its drive, so that the tool's
// option parser does not take a leading slash for an option.
inline std::string NativePath(const std::string& path) {
#if defined(_WIN32)
    return std::filesystem::absolute(path).make_preferred().string();
#else
    return path;
#endif
}

// Runs `compensate args...` from the source tree, as the README's examples do.
inline CommandResult RunCompensate(const std::vector<std::string>& args) {
    const TempDir capture;
#if defined(_WIN32)
    // Through cmd.exe, which takes double quotes and absolute paths with a drive (the build's
    // paths are the Unix ones when the suite runs under Wine).
    const auto quote = [](const std::string& text) { return "\"" + text + "\""; };
    std::string command = "cd /d " + quote(NativePath(COMPENSATE_SOURCE_DIR)) + " && " +
                          quote(NativePath(COMPENSATE_EXE));
    const std::string noInput = "NUL";
#else
    // The tests' arguments and paths hold no single quote.
    const auto quote = [](const std::string& text) { return "'" + text + "'"; };
    std::string command = "cd " + quote(COMPENSATE_SOURCE_DIR) + " && " + quote(COMPENSATE_EXE);
    const std::string noInput = "/dev/null";
#endif
    for (const std::string& arg : args) {
        command += " " + quote(arg);
    }
    command +=
        " >" + quote(capture.File("out")) + " 2>" + quote(capture.File("err")) + " <" + noInput;
    const int raw = std::system(command.c_str());
#if defined(_WIN32)
    const int status = raw;  // the command's own exit code
#else
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    // The printed output is text, whose lines end in CR LF on Windows: read in text mode.
    using compensation::testing::ReadFile;
    return {status, ReadFile(capture.File("out")), ReadFile(capture.File("err"))};
}

}  // namespace compensation::cli::testing

#endif  // COMPENSATE_TESTS_CLI_TEST_SUPPORT_H
