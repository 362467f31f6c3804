// The benchmark program's entry: the engine's trace goes to a temporary directory of its own,
// which is removed at the end, and every benchmark family is registered.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "compensation/mapper.h"

namespace compensation::bench {

namespace {

std::filesystem::path& TraceDirectory() {
    static std::filesystem::path directory;
    return directory;
}

// A new, empty directory under the system's temporary directory.
std::filesystem::path MakeTraceDirectory() {
    std::random_device entropy;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        std::filesystem::path candidate =
            base / ("compensation_bench." + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate)) {
            return candidate;
        }
    }
}

void SetTraceEnvironment(const std::filesystem::path& directory) {
    const std::string value = directory.string();
#ifdef _WIN32
    _putenv_s("COMPENSATION_TRACE_DIR", value.c_str());
#else
    setenv("COMPENSATION_TRACE_DIR", value.c_str(), 1);
#endif
}

}  // namespace

const sim::Scenario& CachedScenario(const std::string& name, int scale) {
    static std::map<std::pair<std::string, int>, sim::Scenario> made;
    const auto key = std::make_pair(name, scale);
    auto found = made.find(key);
    if (found == made.end()) {
        sim::Options options;
        options.size_scale = scale;
        options.noise.range = 2e-6;
        options.noise.angle = 1e-6;
        options.noise.seed = 11;
        found = made.emplace(key, sim::MakeScenario(name, options)).first;
    }
    return found->second;
}

void ApplyScales(benchmark::internal::Benchmark* b) {
    b->ArgName("scale")->Arg(1)->Arg(2)->Arg(3);
}

void SetPerUnitCounter(benchmark::State& state, const char* name, double count) {
    state.counters[name] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

double TMapper::*const kQuickAngularElements[kQuickAngularCount] = {
    &TMapper::A1,      &TMapper::A3,      &TMapper::Az_AzS, &TMapper::Az_AzC, &TMapper::A2,
    &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS, &TMapper::Ax,     &TMapper::Ay};

double AngularRmsMicroradians(const TMapper& estimate, const TMapper& truth) {
    constexpr double kDegreesToMicroradians = 0.01745329251994 * 1e6;
    double sum = 0.0;
    for (double TMapper::*element : kQuickAngularElements) {
        const double error = (estimate.*element - truth.*element) * kDegreesToMicroradians;
        sum += error * error;
    }
    return std::sqrt(sum / kQuickAngularCount);
}

void DiscardTrace() {
    std::error_code ignored;
    std::filesystem::remove(TraceDirectory() / "TraceFile.txt", ignored);
}

}  // namespace compensation::bench

int main(int argc, char** argv) {
    using namespace compensation::bench;
    TraceDirectory() = MakeTraceDirectory();
    SetTraceEnvironment(TraceDirectory());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RegisterCalibrationBenchmarks();
    RegisterFitBenchmarks();
    RegisterProcedureBenchmarks();
#ifdef COMPENSATION_BENCH_HAS_CERES
    RegisterCeresBenchmarks();
#endif
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ignored;
    std::filesystem::remove_all(TraceDirectory(), ignored);
    return 0;
}
