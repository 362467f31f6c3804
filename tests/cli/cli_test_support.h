// Scratch directories and a runner for the built compensate command, run as a user runs it.
#ifndef COMPENSATE_TESTS_CLI_TEST_SUPPORT_H
#define COMPENSATE_TESTS_CLI_TEST_SUPPORT_H

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace compensation::cli::testing {

inline std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A directory of the test's own, removed with everything in it.
struct TempDir {
    std::filesystem::path path = [] {
        std::string name = (std::filesystem::temp_directory_path() / "compensate.XXXXXX").string();
        return std::filesystem::path(::mkdtemp(name.data()));
    }();
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

// Runs `compensate args...` from the source tree, as the README's examples do.
inline CommandResult RunCompensate(const std::vector<std::string>& args) {
    // The tests' arguments and paths hold no single quote.
    const auto quote = [](const std::string& text) { return "'" + text + "'"; };
    const TempDir capture;
    std::string command = "cd " + quote(COMPENSATE_SOURCE_DIR) + " && " + quote(COMPENSATE_EXE);
    for (const std::string& arg : args) {
        command += " " + quote(arg);
    }
    command +=
        " >" + quote(capture.File("out")) + " 2>" + quote(capture.File("err")) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(capture.File("out")),
            ReadFile(capture.File("err"))};
}

}  // namespace compensation::cli::testing

#endif  // COMPENSATE_TESTS_CLI_TEST_SUPPORT_H
