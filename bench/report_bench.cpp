// The run report's cost against the procedure's own: LastRunReport after each procedure on the
// simulated tracker's scenarios at size_scale 1 (the procedure itself is BM_Procedure). Nearly
// all of it is the linearisation: each fit's rows in one pass over its readings. The
// differences (one call of every fit for each element, and of the fits that read it for each
// reading's range, azimuth and elevation, shared among the hardware threads) are the check the
// rows replaced.
#include <iostream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "compensation/compensation.h"
#include "compensation/run_report.h"

namespace compensation::bench {

namespace {

void BM_RunReport(benchmark::State& state, const char* scenario, Derivatives derivatives,
                  unsigned threads) {
    const sim::Scenario& s = CachedScenario(scenario, 1);
    std::vector<CVector> main = s.main;
    std::vector<CVector> outside1 = s.outside1;
    std::vector<CVector> outside2 = s.outside2;
    std::vector<CVector> flying = s.flying;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    CCompensation engine;
    NullBuffer sink;
    std::streambuf* console = std::cout.rdbuf(&sink);
    const std::string name = scenario;
    int r = 0;
    if (name == "quick") {
        r = engine.QuickCompInsertion(main.data(), static_cast<int>(main.size()), &model, &out);
    } else if (name == "full") {
        r = engine.FullComp(main.data(), static_cast<int>(main.size()), outside1.data(),
                            static_cast<int>(outside1.size()), &model, &out);
    } else {
        r = engine.FullFullComp(main.data(), static_cast<int>(main.size()), outside1.data(),
                                static_cast<int>(outside1.size()), outside2.data(),
                                static_cast<int>(outside2.size()), flying.data(), s.nTargetsFly,
                                static_cast<int>(flying.size()), &model, &out, s.mode);
    }
    std::cout.rdbuf(console);
    if (r != 0) {
        state.SkipWithError("the procedure did not settle");
        return;
    }
    std::size_t elements = 0;
    for (auto _ : state) {
        ReportOptions options;
        options.derivatives = derivatives;
        options.threads = threads;
        const RunReport report = LastRunReport(engine, options);
        elements = report.elements.size();
        benchmark::DoNotOptimize(elements);
    }
    state.counters["elements"] = static_cast<double>(elements);
}

// One thread, the default; then the rows and the differences on every hardware thread.
constexpr Derivatives kRows = Derivatives::kFromRows;
constexpr Derivatives kDifferences = Derivatives::kByDifferences;
BENCHMARK_CAPTURE(BM_RunReport, quick, "quick", kRows, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, full, "full", kRows, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, fullfull0, "fullfull0", kRows, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, fullfull1, "fullfull1", kRows, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, fullfull2, "fullfull2", kRows, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, quick_all_threads, "quick", kRows, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, fullfull1_all_threads, "fullfull1", kRows, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, quick_by_differences, "quick", kDifferences, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunReport, fullfull1_by_differences, "fullfull1", kDifferences, 0)
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace compensation::bench
