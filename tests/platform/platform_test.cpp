// The trace goes where COMPENSATION_TRACE_DIR says (however long), else beside the executable; a
// missing directory costs the trace, never the work.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "support/trace_dir.h"

namespace {

namespace fs = std::filesystem;
using compensation::testing::ReadFile;
using compensation::testing::SplitLines;

TEST(Platform, TraceGoesToTheNamedDirectoryElseBesideTheExecutable) {
    compensation::testing::ScopedTraceDir trace;
    const std::string dir = trace.dir().string(), withSeparator = dir + "/";
    fs::path deep = trace.dir();
    while (deep.string().size() < 400) {
        deep /= "a-rather-long-directory-name-for-a-measurement-cell";
    }
    fs::create_directories(deep);
    const fs::path missing = trace.dir() / "no" / "such";
    const fs::path beside = fs::read_symlink("/proc/self/exe").parent_path();
    const std::pair<const char*, fs::path> cases[] = {
        {dir.c_str(), dir}, {withSeparator.c_str(), dir}, {deep.c_str(), deep}, {nullptr, beside},
        {"", beside},       {missing.c_str(), missing}};
    for (const auto& [value, where] : cases) {
        compensation::testing::ScopedEnv env("COMPENSATION_TRACE_DIR", value);
        const std::size_t before = SplitLines(ReadFile(where / "TraceFile.txt")).size();
        CCompensation engine;
        double values[] = {1.0, 3.0}, mean = 0.0, spread = 0.0;
        int worst = -1;
        EXPECT_EQ(engine.MeanStdArray(values, 2, &mean, &spread, &worst), 0);
        EXPECT_EQ(mean, 2.0);
        // The banner's seven lines and the routine's three, or nothing at all.
        EXPECT_EQ(SplitLines(ReadFile(where / "TraceFile.txt")).size(),
                  where == missing ? 0 : before + 10)
            << where;
    }
    EXPECT_FALSE(fs::exists(trace.dir() / "no"));
}

}  // namespace
