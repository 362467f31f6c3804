// One fitting call of each fit family on a scenario's working sets, prepared as the procedures
// prepare them. Every iteration starts from fresh copies of the sets, the model and the result
// record (copied while the timer is paused), because a call writes the model and may mark
// measurements.
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "compensation/compensation.h"

namespace compensation::bench {

namespace {

// The working sets of one fit and everything a call writes.
struct FitData {
    std::vector<CVector> first;   // front sights of the pairs, target pairs, or flying views
    std::vector<CVector> second;  // back sights of the pairs
    std::vector<int> table;       // interball pair table
    TMapper model{};
    TCompOut out{};
    int count = 0;  // pairs, or targets per view
    int views = 0;
};

// The least pair count the full procedures demand for a number of views.
int MinCountForViews(int nViews) {
    return nViews - 3 < 6 ? nViews : nViews - 3;
}

// The front-sight/back-sight pairs of the main array.
FitData TwoFacePairs(CCompensation& engine, const sim::Scenario& s) {
    std::vector<CVector> main = s.main;
    FitData d;
    d.first.resize(main.size() / 2);
    d.second.resize(main.size() / 2);
    engine.ClassifyFSBS(main.data(), s.nCount(), d.first.data(), d.second.data(), &d.count, 1);
    d.first.resize(static_cast<std::size_t>(d.count));
    d.second.resize(static_cast<std::size_t>(d.count));
    d.views = s.nViews;
    d.model = s.start;
    d.out = s.compOut;
    return d;
}

// The front sights, view by view, and the pair table read from the first view.
FitData InterballViews(CCompensation& engine, const sim::Scenario& s) {
    FitData d = TwoFacePairs(engine, s);
    d.second.clear();
    d.table.resize(static_cast<std::size_t>(s.nTargets * (s.nTargets - 1) / 2 + 1));
    engine.ClassifyIBPairs(d.first.data(), d.table.data(), s.nTargets);
    d.count = s.nTargets;
    return d;
}

// The x0y0 pair of every view.
FitData X0Y0Pairs(CCompensation& engine, const sim::Scenario& s) {
    std::vector<CVector> main = s.main;
    FitData d;
    engine.m_nMinCount = MinCountForViews(s.nViews);
    d.first.resize(static_cast<std::size_t>(2 * s.nViews));
    engine.ClassifyPairs(main.data(), s.nCount(), d.first.data(), s.compOut.m_n1_x0y0,
                         s.compOut.m_n2_x0y0, &d.count, 1);
    d.views = s.nViews;
    d.model = s.start;
    d.out = s.compOut;
    return d;
}

// The flying front sights of the check views, with the in-line view found, and the model's
// temperature reference at their mean T as the full-full procedure sets it.
FitData CheckViews(CCompensation& engine, const sim::Scenario& s) {
    std::vector<CVector> fly = s.flying;
    FitData d;
    d.out = s.compOut;
    double gap = 0.0;
    engine.AcceptFlyingAllViews(fly.data(), s.nTargetsFly, s.nCountFly(), &gap, &d.out);
    d.first.resize(fly.size() / 2);
    std::vector<CVector> back(fly.size() / 2);
    int pairs = 0;
    engine.ClassifyFSBS(fly.data(), s.nCountFly(), d.first.data(), back.data(), &pairs, 1);
    d.count = s.nTargetsFly;
    d.views = s.nCountFly() / (2 * s.nTargetsFly);
    d.model = s.start;
    d.model.T_ref = 0.0;
    for (int i = 0; i < pairs; ++i) {
        d.model.T_ref += d.first[static_cast<std::size_t>(i)].T / pairs;
    }
    return d;
}

using Prepare = FitData (*)(CCompensation&, const sim::Scenario&);
using Call = int (*)(CCompensation&, FitData&);

struct FitCase {
    const char* fit;
    const char* scenario;
    Prepare prepare;
    Call call;
    bool scales;  // false where the data do not grow with the scenario's size
};

const FitCase kFitCases[] = {
    {"CalculateQCFSBSa", "quick", TwoFacePairs,
     [](CCompensation& e, FitData& d) {
         return e.CalculateQCFSBSa(d.first.data(), d.second.data(), &d.model, d.count, &d.out, 1);
     },
     true},
    {"CalculateFFCFSBS6", "fullfull0", TwoFacePairs,
     [](CCompensation& e, FitData& d) {
         return e.CalculateFFCFSBS6(d.first.data(), d.second.data(), &d.model, d.count, &d.out, 1);
     },
     true},
    {"CalculateQC_axy", "quick", InterballViews,
     [](CCompensation& e, FitData& d) {
         return e.CalculateQC_axy(d.first.data(), d.count, d.views, d.table.data(), &d.model,
                                  &d.out, 1);
     },
     true},
    {"CalculateFFC6axy123", "fullfull0", InterballViews,
     [](CCompensation& e, FitData& d) {
         return e.CalculateFFC6axy123(d.first.data(), d.count, d.views, d.table.data(), &d.model,
                                      &d.out, 1);
     },
     true},
    {"Calculate_x0y0", "full", X0Y0Pairs,
     [](CCompensation& e, FitData& d) {
         return e.Calculate_x0y0(d.first.data(), d.count, &d.model, &d.out, 1);
     },
     true},
    // The flying views are the same twelve placements at every size.
    {"CalculateFCKIB", "fullfull1", CheckViews,
     [](CCompensation& e, FitData& d) {
         return e.CalculateFCKIB(d.first.data(), &d.model, d.count, d.views, &d.out, 1);
     },
     false},
};

void BM_Fit(benchmark::State& state, const FitCase& fit) {
    CCompensation engine;
    const FitData prepared =
        fit.prepare(engine, CachedScenario(fit.scenario, static_cast<int>(state.range(0))));
    FitData work = prepared;
    for (auto _ : state) {
        state.PauseTiming();
        work = prepared;
        state.ResumeTiming();
        const int r = fit.call(engine, work);
        if (r < 0) {
            state.SkipWithError("the fit refused its input");
            break;
        }
        benchmark::DoNotOptimize(work.model);
    }
    SetPerUnitCounter(state, "per_view", prepared.views);
    DiscardTrace();
}

}  // namespace

void RegisterFitBenchmarks() {
    for (const FitCase& fit : kFitCases) {
        const std::string name = std::string("Fit/") + fit.fit + "/" + fit.scenario;
        auto* b =
            benchmark::RegisterBenchmark(name.c_str(), BM_Fit, fit)->Unit(benchmark::kMicrosecond);
        if (fit.scales) {
            ApplyScales(b);
        } else {
            b->ArgName("scale")->Arg(1);
        }
    }
}

}  // namespace compensation::bench
