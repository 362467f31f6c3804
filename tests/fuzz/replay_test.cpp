// Replays every seed and every regression input of the fuzz harnesses through the promises the
// harnesses check, so that a fault a fuzzer once found is checked on every test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "promises.h"

namespace compensation::fuzz {
namespace {

namespace fs = std::filesystem;

using Check = std::string (*)(const std::uint8_t*, std::size_t);

struct Harness {
    const char* name;
    Check check;
};

constexpr Harness kHarnesses[] = {{"procedures", CheckProcedureInput},
                                  {"transforms", CheckTransformInput},
                                  {"measurement_csv", CheckMeasurementCsvInput},
                                  {"model_scenario", CheckModelScenarioInput}};

// Runs every file of tests/fuzz/<kind>/<harness>/ through the harness's checks.
int Replay(const char* kind) {
    int replayed = 0;
    for (const Harness& h : kHarnesses) {
        const fs::path dir = fs::path(COMPENSATION_FUZZ_DIR) / kind / h.name;
        if (!fs::is_directory(dir)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            EXPECT_EQ(h.check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      "")
                << entry.path();
            ++replayed;
        }
    }
    return replayed;
}

TEST(FuzzReplay, SeedCorporaKeepEveryPromise) {
    // Five procedure runs, three transform fits and every bundled file.
    EXPECT_GE(Replay("corpus"), 8 + 20);
}

TEST(FuzzReplay, RegressionInputsKeepEveryPromise) {
    EXPECT_GE(Replay("regressions"), 1);
}

}  // namespace
}  // namespace compensation::fuzz
