// The trace file within one public call: held open from the first record to the return, every
// record on disk as soon as it is written, nothing open between calls; and the switch that
// turns the trace off without changing a result.
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation/tracing.h"
#include "compensation_sim/simulator.h"
#include "e2e/e2e_support.h"
#include "engine/trace_format.h"
#include "support/trace_dir.h"

namespace {

using compensation::testing::ReadFile;
using compensation::testing::ScopedEnv;
using compensation::testing::ScopedTraceDir;
namespace e2e = compensation::e2e;

constexpr const char* kMeanStdLines =
    "Entering MeanStdArray \n       pnOut = 1\nLeaving MeanStdArray \n";

// The process's open file descriptors, where the system lists them (Linux); -1 elsewhere.
// Under Wine /proc/self/fd is reachable too, but it lists Wine's own descriptors, not the
// Windows program's handles.
int OpenDescriptors() {
#if defined(_WIN32)
    return -1;
#endif
    std::error_code absent;
    std::filesystem::directory_iterator entries("/proc/self/fd", absent);
    if (absent) {
        return -1;
    }
    int count = 0;
    for ([[maybe_unused]] const auto& entry : entries) {
        ++count;
    }
    return count;
}

void MeanStd(CCompensation& engine) {
    double values[] = {1.0, 4.0, 2.0};
    double mean = 0.0;
    double spread = 0.0;
    int worst = -1;
    ASSERT_EQ(engine.MeanStdArray(values, 3, &mean, &spread, &worst), 0);
}

// Looks at the trace while the quick procedure runs: the procedure prints its summary in the
// middle of its final validation, after the inside statistics have traced their records.
class MidCallProbe : public std::streambuf {
  public:
    MidCallProbe(std::filesystem::path trace, std::filesystem::path movedTo)
        : trace_(std::move(trace)), movedTo_(std::move(movedTo)) {}
    int descriptors = -1;
    std::string traceSoFar;

  protected:
    int_type overflow(int_type c) override {
        Look();
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        Look();
        return n;
    }

  private:
    void Look() {
        if (descriptors >= 0) {
            return;
        }
        descriptors = OpenDescriptors();
        traceSoFar = ReadFile(trace_);
        // Records after this must follow the file to its new name: the call holds one stream.
        std::filesystem::rename(trace_, movedTo_);
    }
    std::filesystem::path trace_;
    std::filesystem::path movedTo_;
};

// A public call opens the trace once, writes every record through (the file holds them while
// the call still runs, so a crash would lose none) and closes it when it returns.
TEST(TraceSession, ACallWritesThroughOneStreamAndClosesItOnReturn) {
    if (OpenDescriptors() < 0) {
        // Watching the open files, and moving an open file, need a POSIX system.
        GTEST_SKIP() << "no /proc/self/fd";
    }
    const compensation::sim::Scenario s = compensation::sim::MakeScenario("quick");
    const ScopedTraceDir trace;
    CCompensation engine;
    const std::string banner = ReadFile(trace.file());
    const std::filesystem::path moved = trace.dir() / "moved.txt";
    std::vector<CVector> vectors = s.main;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    const int idle = OpenDescriptors();
    MidCallProbe probe(trace.file(), moved);
    std::streambuf* console = std::cout.rdbuf(&probe);
    const int result =
        engine.QuickCompInsertion(vectors.data(), static_cast<int>(vectors.size()), &model, &out);
    std::cout.rdbuf(console);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(probe.descriptors, idle + 1);
    EXPECT_EQ(OpenDescriptors(), idle);
    // Mid-call, the file already held everything up to the validation's first record.
    ASSERT_GT(probe.traceSoFar.size(), banner.size());
    EXPECT_EQ(probe.traceSoFar.compare(
                  probe.traceSoFar.size() - std::strlen("Leaving ClassifyFSBS = 0\n"),
                  std::string::npos, "Leaving ClassifyFSBS = 0\n"),
              0);
    // The rest of the call's records followed the one open stream to the file's new name.
    const std::string whole = ReadFile(moved);
    EXPECT_EQ(whole.compare(0, probe.traceSoFar.size(), probe.traceSoFar), 0);
    EXPECT_NE(whole.find("Leaving StdInterball", probe.traceSoFar.size()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(trace.file()));
    // Between calls nothing holds the file: the next call starts it afresh at its path.
    MeanStd(engine);
    EXPECT_EQ(ReadFile(trace.file()), kMeanStdLines);
}

// A call whose directory cannot take the file computes as usual and leaves nothing open.
TEST(TraceSession, AnUnwritableDirectoryIsSkipped) {
    if (OpenDescriptors() < 0) {
        GTEST_SKIP() << "no /proc/self/fd";
    }
    const ScopedEnv missing("COMPENSATION_TRACE_DIR", "/nonexistent/compensation/trace/dir");
    const int idle = OpenDescriptors();
    CCompensation engine;
    MeanStd(engine);
    EXPECT_EQ(OpenDescriptors(), idle);
}

// The environment switch: an engine made with it off writes nothing, not even its banner, and
// computes the same bits as a traced one.
TEST(TraceSwitch, TheEnvironmentSwitchesTheTraceOffWithoutChangingAResult) {
    compensation::sim::Options noisy;
    noisy.noise = e2e::RealisticNoise(5);
    const compensation::sim::Scenario s = compensation::sim::MakeScenario("quick", noisy);
    const ScopedTraceDir trace;
    compensation::sim::Scenario traced = s;
    const e2e::Outcome expected = e2e::RunQuick(traced);
    ASSERT_TRUE(std::filesystem::exists(trace.file()));
    std::filesystem::remove(trace.file());
    for (const char* off : {"0", "off", "OFF", "no", "False"}) {
        const ScopedEnv variable(compensation::kTraceSwitchVariable, off);
        EXPECT_FALSE(compensation::IsTracing(CCompensation())) << off;
        compensation::sim::Scenario silent = s;
        const e2e::Outcome run = e2e::RunQuick(silent);
        EXPECT_EQ(run.result, expected.result);
        EXPECT_EQ(std::memcmp(&run.model, &expected.model, sizeof(TMapper)), 0);
        EXPECT_EQ(std::memcmp(&run.out, &expected.out, sizeof(TCompOut)), 0);
        EXPECT_TRUE(e2e::SameReadings(silent.main, traced.main));
        EXPECT_EQ(run.summary, expected.summary);
        EXPECT_FALSE(std::filesystem::exists(trace.file())) << off;
    }
    for (const char* on : {"1", "on", ""}) {
        const ScopedEnv variable(compensation::kTraceSwitchVariable, on);
        EXPECT_TRUE(compensation::IsTracing(CCompensation())) << on;
    }
}

// The member switch acts on one engine and its later copies; switched on again, the engine
// appends without a second banner.
TEST(TraceSwitch, SetTracingActsOnOneEngineAndItsCopies) {
    const ScopedTraceDir trace;
    CCompensation engine;
    const std::string banner = ReadFile(trace.file());
    compensation::SetTracing(engine, false);
    EXPECT_FALSE(compensation::IsTracing(engine));
    MeanStd(engine);
    CCompensation copy(engine);
    EXPECT_FALSE(compensation::IsTracing(copy));
    MeanStd(copy);
    EXPECT_EQ(ReadFile(trace.file()), banner);
    compensation::SetTracing(engine, true);
    MeanStd(engine);
    EXPECT_EQ(ReadFile(trace.file()), banner + kMeanStdLines);
}

// The entry and exit lines are put together without printf: the same bytes as "%s \n" and
// "       %s = %d\n", for every int and for a missing text.
TEST(TraceLines, TextAndIntegerLinesAreThePrintfBytes) {
    for (const int value : {0, 7, -1, 100, INT_MAX, INT_MIN}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "       %s = %d\n", "Leaving X", value);
        EXPECT_EQ(compensation::detail::TraceIntLine("Leaving X", value), expected);
    }
    EXPECT_EQ(compensation::detail::TraceIntLine(nullptr, 3), "        = 3\n");
    EXPECT_EQ(compensation::detail::TraceTextLine("Entering MeanStdArray"),
              "Entering MeanStdArray \n");
    EXPECT_EQ(compensation::detail::TraceTextLine(nullptr), " \n");
}

}  // namespace
