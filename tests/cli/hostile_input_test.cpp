// The compensate command on hostile input, run as a user runs it: files that are not files or
// not text, values beyond what the procedures take, huge fields, lost output and interruptions.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "cli_test_support.h"
#include "text_io.h"

extern char** environ;

namespace compensation::cli {
namespace {

using testing::ReadFile;
using testing::RunCompensate;
using testing::TempDir;

const std::string kExamples = COMPENSATE_SOURCE_DIR "/examples/";
const std::string kQuickModel = kExamples + "quick/true_model.json";
const std::string kQuickMeasurements = kExamples + "quick/measurements.csv";

bool HoldsTemporary(const std::filesystem::path& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().find(".tmp.") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(HostileInput, ANulByteIsRefusedWithItsLineAndColumn) {
    const TempDir dir;
    const std::string header = "type,range,azimuth_deg,elevation_deg,t,qua";
    dir.Write("m.csv", header + std::string(1, '\0') + "lity\n14,1,-165,0,20,100\n");
    const auto run = RunCompensate({"calibrate", "-m", kQuickModel, "-i", dir.File("m.csv")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("m.csv, line 1: NUL byte at column 43"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

// A 3 MB field: the message quotes its first 40 characters and says how long it was.
TEST(HostileInput, AnUnparsableFieldIsQuotedToFortyCharacters) {
    const TempDir dir;
    const std::string field(3'000'000, '7');
    dir.Write("m.csv",
              "type,range,azimuth_deg,elevation_deg,t,quality\n14,1," + field + "x,0,20,100\n");
    const auto run = RunCompensate({"calibrate", "-m", kQuickModel, "-i", dir.File("m.csv")});
    EXPECT_EQ(run.status, 2);
    EXPECT_LT(run.err.size(), 300u) << run.err.substr(0, 300);
    EXPECT_NE(run.err.find("field \"azimuth_deg\": \"" + field.substr(0, 40) +
                           "\"... (3000001 characters) is not a finite number"),
              std::string::npos)
        << run.err.substr(0, 300);
}

// A device where a file is expected is refused at once (reading /dev/zero would never end), and
// so is a regular file beyond the limit (sparse here: its size costs no disk).
TEST(HostileInput, DevicesAndFilesBeyondTheLimitAreRefused) {
    const auto device = RunCompensate({"calibrate", "-m", "/dev/zero", "-i", kQuickMeasurements});
    EXPECT_EQ(device.status, 2);
    EXPECT_NE(device.err.find("/dev/zero: is not a regular file"), std::string::npos) << device.err;

    const TempDir dir;
    std::filesystem::resize_file(dir.Write("huge.csv", "type"), kMaxInputBytes + 1);
    const auto huge = RunCompensate({"calibrate", "-m", kQuickModel, "-i", dir.File("huge.csv")});
    EXPECT_EQ(huge.status, 2);
    EXPECT_NE(huge.err.find("huge.csv: larger than the 64 MiB"), std::string::npos) << huge.err;
}

// A finite model of elements at 1e300 overflows every correction: the first row is named.
TEST(HostileInput, CalibrateRefusesACorrectionThatIsNotFinite) {
    const TempDir dir;
    const std::string model = ReadFile(kQuickModel);
    dir.Write("huge.json", std::regex_replace(model, std::regex(": [-0-9.e]+"), ": 1e300"));
    for (const char* direction : {"--uncalibrate", ""}) {
        SCOPED_TRACE(direction);
        std::vector<std::string> args = {"calibrate",        "-m", dir.File("huge.json"), "-i",
                                         kQuickMeasurements, "-o", dir.File("out.csv")};
        if (direction[0] != '\0') {
            args.push_back(direction);
        }
        const auto run = RunCompensate(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("measurements.csv, line 2: the model"), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("not a finite number"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.csv")));
    }
}

// Output that cannot be written is lost data: the run says so and fails.
TEST(HostileInput, AWriteErrorOnStandardOutputFailsTheRun) {
    const std::string quote = "'";
    const TempDir capture;
    for (const std::string& args :
         {"calibrate -m " + kQuickModel + " -i " + kQuickMeasurements,
          "quick " + kExamples + "quick/scenario.json --trace-dir " + capture.path.string()}) {
        SCOPED_TRACE(args);
        const std::string command = "cd " + quote + COMPENSATE_SOURCE_DIR + quote + " && " +
                                    COMPENSATE_EXE + " " + args + " >/dev/full 2>" +
                                    capture.File("err");
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 2);
        EXPECT_NE(ReadFile(capture.File("err")).find("standard output: cannot write"),
                  std::string::npos);
    }
}

TEST(HostileInput, ATransformRefusalExitsTwoWithItsCause) {
    const TempDir dir;
    // The distinguished point (type 14) has no other point within 1000 m.
    dir.Write("nominal.csv", "x,y,z\n0,0,5\n2000,0,0\n0,2000,0\n");
    dir.Write("measured.csv",
              "type,range,azimuth_rad,elevation_rad,t,quality\n14,5,0,0,20,100\n"
              "100,2000,1.5,0,20,100\n100,2000,0,1.5,20,100\n");
    const auto run = RunCompensate(
        {"transform", "--nominal", dir.File("nominal.csv"), "-i", dir.File("measured.csv")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("refused the points (status -1)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no other point within 1000 m"), std::string::npos) << run.err;
}

// SIGTERM (or SIGINT) while the outputs are being written removes the temporary files: the
// test waits until one appears, then interrupts. Whenever the signal lands, no temporary stays,
// and the output is either absent or complete.
TEST(HostileInput, AnInterruptedRunLeavesNoTemporaryFile) {
    const TempDir dir;
    std::string rows = "type,range,azimuth_deg,elevation_deg,t,quality\n";
    for (int i = 0; i < 200000; ++i) {
        rows += "100," + std::to_string(3.0 + i * 1e-6) + "," + std::to_string(i % 360 - 180) +
                ",5,20,100\n";
    }
    dir.Write("big.csv", rows);
    const std::string out = dir.File("out.csv");
    int interruptedWhileWriting = 0;
    for (int signal : {SIGTERM, SIGINT, SIGTERM, SIGINT}) {
        std::filesystem::remove(out);
        std::vector<std::string> args = {COMPENSATE_EXE, "calibrate",         "-m", kQuickModel,
                                         "-i",           dir.File("big.csv"), "-o", out};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, COMPENSATE_EXE, nullptr, nullptr, argv.data(), environ), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (HoldsTemporary(dir.path) || std::chrono::steady_clock::now() > deadline) {
                kill(pid, signal);
                waitpid(pid, &status, 0);
                interruptedWhileWriting += WIFSIGNALED(status) ? 1 : 0;
                break;
            }
        }
        EXPECT_FALSE(HoldsTemporary(dir.path));
        if (std::filesystem::exists(out)) {
            EXPECT_EQ(
                std::count(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(out)),
                           std::istreambuf_iterator<char>(), '\n'),
                200001);
        }
    }
    // The window is the write and fsync of 20 MB; the poll catches it nearly always.
    RecordProperty("interrupted_while_writing", interruptedWhileWriting);
}

}  // namespace
}  // namespace compensation::cli
