// Runs the built compensate command as a user does and collects what it printed.
#ifndef COMPENSATE_TESTS_COMMAND_RUNNER_H
#define COMPENSATE_TESTS_COMMAND_RUNNER_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace compensation::cli::testing {

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& argument) {
    std::string quoted = "'";
    for (const char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs `compensate args...` in `workDir` (the source tree when empty).
inline CommandResult RunCompensate(const std::vector<std::string>& args,
                                   const std::string& workDir = COMPENSATE_SOURCE_DIR) {
    const TempDir capture;
    std::string command = "cd " + Quote(workDir) + " && " + Quote(COMPENSATE_EXE);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command +=
        " >" + Quote(capture.File("out")) + " 2>" + Quote(capture.File("err")) + " </dev/null";
    const int raw = std::system(command.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(capture.File("out"));
    result.err = ReadFile(capture.File("err"));
    return result;
}

inline std::string SourcePath(const std::string& relative) {
    return std::string(COMPENSATE_SOURCE_DIR) + "/" + relative;
}

}  // namespace compensation::cli::testing

#endif  // COMPENSATE_TESTS_COMMAND_RUNNER_H
