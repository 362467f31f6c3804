// Output files: never over an input by accident, never half written.
#include "output_files.h"

#include <gtest/gtest.h>

#include "input_error.h"
#include "temp_dir.h"

namespace compensation::cli {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(OutputFiles, InputsAreProtectedUnlessForced) {
    TempDir dir;
    const std::string model = dir.Write("model.json", "{}");
    OutputFiles files;
    files.AddInput(model);
    EXPECT_THROW(files.Plan(model, "--output", false), UsageError);
    // The same file under another spelling is still the input.
    EXPECT_THROW(files.Plan(dir.File("./model.json"), "--output", false), UsageError);
    EXPECT_NO_THROW(files.Plan(model, "--output", true));
    EXPECT_THROW(files.Plan(model, "--result", true), UsageError);  // two outputs, one file
    EXPECT_THROW(files.Plan(dir.File("missing/out.json"), "--output", false), UsageError);
    EXPECT_THROW(files.Plan(dir.path().string(), "--output", false), UsageError);
}

TEST(OutputFiles, CommitRenamesCompleteFilesAndLeavesNoTemporaries) {
    TempDir dir;
    const std::string target = dir.Write("model.json", "old");
    OutputFiles files;
    files.Stage(target, "new model");
    files.Stage(dir.File("result.json"), "result");
    files.Commit();
    EXPECT_EQ(ReadFile(target), "new model");
    EXPECT_EQ(ReadFile(dir.File("result.json")), "result");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    // A failing second file leaves the first target untouched.
    OutputFiles failing;
    failing.Stage(target, "newer");
    failing.Stage(dir.File("no/such/dir.json"), "x");
    EXPECT_THROW(failing.Commit(), InputError);
    EXPECT_EQ(ReadFile(target), "new model");
    entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace compensation::cli
