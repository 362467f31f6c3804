// Correcting one raw reading with the whole error model: the innermost cost of every fit, which
// calibrates copies of all its measurements on every call.
#include <cstddef>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "compensation/compensation.h"

namespace compensation::bench {

namespace {

// Both faces of every target of the full-full scenario: readings all round the azimuth circle
// and from -45 to +60 degrees of elevation, so no single angle's cost is measured alone.
std::vector<CVector> FaceReadings() {
    const sim::Scenario& s = CachedScenario("fullfull0", 1);
    std::vector<CVector> readings;
    for (const CVector& v : s.main) {
        if (v.Type != 14) {
            readings.push_back(v);
        }
    }
    return readings;
}

// The full-full truth: every element the largest procedure estimates is non-zero. Calibration
// evaluates every term of the model whatever its value, so this is the full model's cost.
// Calibrate only reads the model, so one copy serves every iteration.
TMapper FullModel() {
    return sim::RealisticTruth(sim::Kind::FullFull, 0);
}

// One fresh copy of a reading, then its calibration.
void BM_CalibrateReading(benchmark::State& state) {
    const std::vector<CVector> readings = FaceReadings();
    TMapper model = FullModel();
    std::size_t next = 0;
    for (auto _ : state) {
        CVector reading = readings[next];
        reading.Calibrate(&model);
        benchmark::DoNotOptimize(reading);
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
}

// The copy alone, as the calibration benchmark makes it: what to subtract from its time.
void BM_CopyReading(benchmark::State& state) {
    const std::vector<CVector> readings = FaceReadings();
    std::size_t next = 0;
    for (auto _ : state) {
        CVector reading = readings[next];
        benchmark::DoNotOptimize(reading);
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
}

}  // namespace

void RegisterCalibrationBenchmarks() {
    benchmark::RegisterBenchmark("Calibrate/reading", BM_CalibrateReading)
        ->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("Calibrate/copy_only", BM_CopyReading)
        ->Unit(benchmark::kNanosecond);
}

}  // namespace compensation::bench
