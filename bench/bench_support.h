// Shared by the benchmark programs: the simulated data sets, registration and the silencing of
// the quick procedure's printed summary.
#ifndef COMPENSATION_BENCH_SUPPORT_H
#define COMPENSATION_BENCH_SUPPORT_H

#include <streambuf>
#include <string>

#include <benchmark/benchmark.h>

#include "compensation_sim/simulator.h"

namespace compensation::bench {

// The simulated scenario `name` at size_scale `scale`, made once per program run. The readings
// carry a good tracker's noise (2 micrometres, 1 microradian), so the outlier passes and the
// spreads work on realistic data.
const sim::Scenario& CachedScenario(const std::string& name, int scale);

// The size argument the benchmarks run at: sim size_scale 1, 2 and 3 (ring targets and views
// both grow with it, so a view's pair work grows with the square of the scale).
void ApplyScales(benchmark::internal::Benchmark* b);

// Reports seconds per unit of `count` (per reading, per view) beside the time per iteration.
void SetPerUnitCounter(benchmark::State& state, const char* name, double count);

// A stream buffer that accepts and drops every character: the text is still formatted, as a
// host's console would make it, but nothing reaches the terminal.
class NullBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Removes the trace file that the engine appended to during one benchmark, so that a long run
// does not fill the temporary directory.
void DiscardTrace();

// The ten angular elements the quick compensation estimates, and the RMS of their errors
// against the true model, in microradians: the accuracy both the library and the generic
// solver baseline report.
inline constexpr int kQuickAngularCount = 10;
extern double TMapper::*const kQuickAngularElements[kQuickAngularCount];
double AngularRmsMicroradians(const TMapper& estimate, const TMapper& truth);

void RegisterCalibrationBenchmarks();
void RegisterFitBenchmarks();
void RegisterProcedureBenchmarks();
// Built only where Ceres Solver is found.
void RegisterCeresBenchmarks();

}  // namespace compensation::bench

#endif  // COMPENSATION_BENCH_SUPPORT_H
