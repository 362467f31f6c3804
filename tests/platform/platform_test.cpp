// The trace goes where COMPENSATION_TRACE_DIR says (however long), else beside the executable; a
// missing directory costs the trace, never the work.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "support/trace_dir.h"

namespace {

namespace fs = std::filesystem;
using compensation::testing::ReadFile;
using compensation::testing::SplitLines;

fs::path TestProgramDirectory() {
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return fs::path(std::wstring(buffer, n)).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

TEST(Platform, TraceGoesToTheNamedDirectoryElseBesideTheExecutable) {
    compensation::testing::ScopedTraceDir trace;
    const std::string dir = trace.dir().string(), withSeparator = dir + "/";
#if defined(_WIN32)
    const std::string withNativeSeparator = dir + "\\";
#endif
    fs::path deep = trace.dir();
    while (deep.string().size() < 400) {
        deep /= "a-rather-long-directory-name-for-a-measurement-cell";
    }
    fs::create_directories(deep);
    const fs::path missing = trace.dir() / "no" / "such";
    const std::string deepText = deep.string(), missingText = missing.string();
    const fs::path beside = TestProgramDirectory();
    const std::vector<std::pair<const char*, fs::path>> cases = {
        {dir.c_str(), dir},
        {withSeparator.c_str(), dir},
#if defined(_WIN32)
        {withNativeSeparator.c_str(), dir},
#endif
        {deepText.c_str(), deep},
        {nullptr, beside},
        {"", beside},
        {missingText.c_str(), missing}
    };
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
