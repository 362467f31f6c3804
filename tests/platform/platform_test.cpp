// Where the trace file goes: beside the executable, or where COMPENSATION_TRACE_DIR says.
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "support/trace_dir.h"

namespace {

using compensation::testing::ReadFile;
using compensation::testing::ScopedEnv;
using compensation::testing::SplitLines;
using compensation::testing::TempDir;

std::size_t LinesIn(const std::filesystem::path& file) {
    return std::filesystem::exists(file) ? SplitLines(ReadFile(file)).size() : 0;
}

TEST(Platform, TraceDirectoryWithOrWithoutTrailingSeparator) {
    TempDir dir;
    for (const std::string& name : {dir.path().string(), dir.path().string() + "/"}) {
        ScopedEnv env("COMPENSATION_TRACE_DIR", name.c_str());
        const std::size_t before = LinesIn(dir.path() / "TraceFile.txt");
        CCompensation engine;
        EXPECT_EQ(LinesIn(dir.path() / "TraceFile.txt"), before + 7) << name;
    }
}

TEST(Platform, WithoutOverrideTheTraceGoesBesideTheExecutable) {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    const std::filesystem::path file =
        std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path() /
        "TraceFile.txt";
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv env("COMPENSATION_TRACE_DIR", unset);
        const std::size_t before = LinesIn(file);
        CCompensation engine;
        const std::vector<std::string> lines = SplitLines(ReadFile(file));
        ASSERT_EQ(lines.size(), before + 7);
        EXPECT_EQ(lines[before + 1], "Started Dll ");
    }
}

}  // namespace
