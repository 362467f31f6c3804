// The engine object: its pair-count default and the trace file it writes.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "support/trace_dir.h"

namespace {

using compensation::testing::ReadFile;
using compensation::testing::ScopedEnv;
using compensation::testing::ScopedTraceDir;
using compensation::testing::SplitLines;

// The seven banner lines of one construction, each with its trailing blank.
void ExpectBanner(const std::vector<std::string>& lines, std::size_t first) {
    ASSERT_GE(lines.size(), first + 7);
    EXPECT_EQ(lines[first + 0], "********************** ");
    EXPECT_EQ(lines[first + 1], "Started Dll ");
    EXPECT_EQ(lines[first + 2], "DATE ***************** ");
    EXPECT_TRUE(std::regex_match(lines[first + 3],
                                 std::regex("(0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01])/[0-9]{2} ")))
        << lines[first + 3];
    EXPECT_EQ(lines[first + 4], "TIME ***************** ");
    EXPECT_TRUE(
        std::regex_match(lines[first + 5], std::regex("([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] ")))
        << lines[first + 5];
    EXPECT_EQ(lines[first + 6], "********************** ");
}

TEST(Engine, MinCountStartsAtSixAndTravelsWithCopies) {
    ScopedTraceDir trace;
    CCompensation engine;
    EXPECT_EQ(engine.m_nMinCount, 6);
    engine.m_nMinCount = 11;
    CCompensation copy(engine);
    EXPECT_EQ(copy.m_nMinCount, 11);
    CCompensation assigned;
    assigned = engine;
    EXPECT_EQ(assigned.m_nMinCount, 11);
}

TEST(EngineTrace, ConstructionCreatesTheFileWithTheBanner) {
    ScopedTraceDir trace;
    ASSERT_FALSE(std::filesystem::exists(trace.file()));
    CCompensation engine;
    const std::string text = ReadFile(trace.file());
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 7u) << text;
    ExpectBanner(lines, 0);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.size(), 7 * 2 + 22 + 11 + 22 + 8 + 22 + 8 + 22u) << "no stray bytes";
}

TEST(EngineTrace, EveryConstructionAppendsAndCopiesShareTheFile) {
    ScopedTraceDir trace;
    CCompensation first;
    CCompensation second;
    std::vector<std::string> lines = SplitLines(ReadFile(trace.file()));
    ASSERT_EQ(lines.size(), 14u);
    ExpectBanner(lines, 0);
    ExpectBanner(lines, 7);

    // A copy writes no banner of its own but traces into the same file.
    CCompensation copy(second);
    double values[] = {1.0};
    double mean = 0.0, spread = 0.0;
    int worst = -1;
    copy.MeanStdArray(values, 1, &mean, &spread, &worst);
    lines = SplitLines(ReadFile(trace.file()));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[14], "Entering MeanStdArray ");
}

TEST(EngineTrace, MeanStdArrayTracesEntryResultAndExit) {
    ScopedTraceDir trace;
    CCompensation engine;
    const std::size_t banner = ReadFile(trace.file()).size();

    double values[] = {1.0, 3.0, 2.0, 7.0};
    double mean = 0.0, spread = 0.0;
    int worst = -1;
    ASSERT_EQ(engine.MeanStdArray(values, 4, &mean, &spread, &worst), 0);
    EXPECT_EQ(ReadFile(trace.file()).substr(banner),
              "Entering MeanStdArray \n"
              "       pnOut = 3\n"
              "Leaving MeanStdArray \n");

    // An empty array stops after the entry line.
    const std::size_t before = ReadFile(trace.file()).size();
    ASSERT_EQ(engine.MeanStdArray(values, 0, &mean, &spread, &worst), 1);
    EXPECT_EQ(ReadFile(trace.file()).substr(before), "Entering MeanStdArray \n");
}

TEST(EngineTrace, AnUnwritableTraceIsSkippedAndTheWorkStillDone) {
    compensation::testing::TempDir dir;
    const std::filesystem::path missing = dir.path() / "no" / "such" / "directory";
    ScopedEnv env("COMPENSATION_TRACE_DIR", missing.c_str());
    CCompensation engine;
    double values[] = {1.0, 3.0};
    double mean = 0.0, spread = 0.0;
    int worst = -1;
    EXPECT_EQ(engine.MeanStdArray(values, 2, &mean, &spread, &worst), 0);
    EXPECT_EQ(mean, 2.0);
    EXPECT_EQ(worst, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST(EngineTrace, ADeepDirectoryIsUsedWhole) {
    // Longer than the 260 characters of a classic Windows path buffer: the trace must land
    // here, not in a cut-off path or elsewhere.
    ScopedTraceDir trace;
    std::filesystem::path deep = trace.dir();
    while (deep.string().size() < 400) {
        deep /= "a-rather-long-directory-name-for-a-measurement-cell";
    }
    std::filesystem::create_directories(deep);
    ScopedEnv env("COMPENSATION_TRACE_DIR", deep.c_str());
    CCompensation engine;
    ExpectBanner(SplitLines(ReadFile(deep / "TraceFile.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(trace.file()));
}

}  // namespace
