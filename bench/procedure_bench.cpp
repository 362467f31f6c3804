// The whole procedures as a host runs them, on the simulated tracker's scenarios at size_scale
// 1 to 4 (trace on, as shipped) and at size 1 with the trace off: how the time grows with the
// number of targets and views, and what the trace costs. Every iteration starts
// from fresh copies of the host's arrays, the model and the result record (copied while the
// timer is paused), because a procedure marks rejections in the arrays and writes the model.
#include <iostream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "compensation/compensation.h"
#include "compensation/tracing.h"

namespace compensation::bench {

namespace {

// Everything a procedure may write.
struct HostData {
    std::vector<CVector> main;
    std::vector<CVector> outside1;
    std::vector<CVector> outside2;
    std::vector<CVector> flying;
    TMapper model{};
    TCompOut out{};
};

HostData FromScenario(const sim::Scenario& s) {
    return {s.main, s.outside1, s.outside2, s.flying, s.start, s.compOut};
}

int Count(const std::vector<CVector>& v) {
    return static_cast<int>(v.size());
}

using Run = int (*)(CCompensation&, const sim::Scenario&, HostData&);

struct ProcedureCase {
    const char* procedure;
    const char* scenario;
    Run run;
};

int RunQuick(CCompensation& e, const sim::Scenario&, HostData& d) {
    return e.QuickCompInsertion(d.main.data(), Count(d.main), &d.model, &d.out);
}

int RunFull(CCompensation& e, const sim::Scenario&, HostData& d) {
    return e.FullComp(d.main.data(), Count(d.main), d.outside1.data(), Count(d.outside1), &d.model,
                      &d.out);
}

int RunFullFull(CCompensation& e, const sim::Scenario& s, HostData& d) {
    return e.FullFullComp(d.main.data(), Count(d.main), d.outside1.data(), Count(d.outside1),
                          d.outside2.data(), Count(d.outside2), d.flying.data(), s.nTargetsFly,
                          Count(d.flying), &d.model, &d.out, s.mode);
}

const ProcedureCase kProcedureCases[] = {
    {"QuickCompInsertion", "quick", RunQuick},  {"FullComp", "full", RunFull},
    {"FullFullComp", "fullfull0", RunFullFull}, {"FullFullComp", "fullfull1", RunFullFull},
    {"FullFullComp", "fullfull2", RunFullFull},
};

// Arguments: the size scale, and 1 (trace on, as shipped) or 0 (trace switched off).
void BM_Procedure(benchmark::State& state, const ProcedureCase& procedure) {
    const sim::Scenario& s = CachedScenario(procedure.scenario, static_cast<int>(state.range(0)));
    CCompensation engine;
    SetTracing(engine, state.range(1) != 0);
    const HostData prepared = FromScenario(s);
    HostData work = prepared;
    // The quick procedure prints its summary; it is still formatted, but goes nowhere.
    NullBuffer sink;
    std::streambuf* console = std::cout.rdbuf(&sink);
    int lastUnsettled = 0;
    for (auto _ : state) {
        state.PauseTiming();
        work = prepared;
        state.ResumeTiming();
        const int r = procedure.run(engine, s, work);
        if (r < 0) {
            std::cout.rdbuf(console);
            state.SkipWithError("the procedure refused its input");
            break;
        }
        lastUnsettled = r != 0 ? r : lastUnsettled;
        benchmark::DoNotOptimize(work.model);
    }
    std::cout.rdbuf(console);
    SetPerUnitCounter(state, "per_view", s.nViews);
    if (std::string(procedure.scenario) == "quick") {
        state.counters["rms_urad"] = AngularRmsMicroradians(work.model, s.truth);
    }
    // A run that ended with a non-zero code took another path through the procedure (its loops
    // ran to their budgets): say so beside its time.
    if (lastUnsettled != 0) {
        state.SetLabel("unsettled: code " + std::to_string(lastUnsettled));
    }
    DiscardTrace();
}

}  // namespace

void RegisterProcedureBenchmarks() {
    for (const ProcedureCase& procedure : kProcedureCases) {
        const std::string name =
            std::string("Procedure/") + procedure.procedure + "/" + procedure.scenario;
        // The size sweep with the trace on, as shipped; size 1 also with the trace off.
        benchmark::RegisterBenchmark(name.c_str(), BM_Procedure, procedure)
            ->ArgNames({"scale", "trace"})
            ->ArgsProduct({{1, 2, 3, 4}, {1}})
            ->Args({1, 0})
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace compensation::bench
