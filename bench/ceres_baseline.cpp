// What a user would write instead of the quick compensation: the same estimation as a generic
// nonlinear least-squares problem in Ceres Solver (Levenberg-Marquardt, dense QR, central
// numeric differences, the library's own calibration for the residuals), on the same simulated
// data as the QuickCompInsertion benchmark. Both report the accuracy of their estimate against
// the simulator's true model, so that their times compare equal work.
//
// Unknowns: D1 (micrometres), the ten angular elements of the quick compensation (A1, A3,
// Az_AzS, Az_AzC, A2, El_2AzS, El_2AzC, El_ElS, Ax, Ay; microradians) and one distance per
// target pair (metres). Residuals (micrometres): for every target seen in both faces, the
// range, azimuth and elevation face differences turned into lengths; for every pair of
// targets in every view, the calibrated front-sight distance minus the pair's distance.
#include <array>
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>
#include <ceres/ceres.h>

#include "bench_support.h"
#include "compensation/compensation.h"

namespace compensation::bench {

namespace {

constexpr int kModelUnknowns = 11;
constexpr double kMicro = 1e-6;
constexpr double kRadiansToDegrees = 57.29577951308232;

// The model with the unknowns written into `start`.
TMapper ModelOf(const TMapper& start, const double* p) {
    TMapper m = start;
    m.D1 = p[0] * kMicro;
    double TMapper::*const* angular = kQuickAngularElements;
    for (int k = 0; k < kQuickAngularCount; ++k) {
        m.*angular[k] = p[1 + k] * kMicro * kRadiansToDegrees;
    }
    return m;
}

CVector Calibrated(const CVector& raw, TMapper& model) {
    CVector v = raw;
    v.Calibrate(&model);
    return v;
}

struct TwoFaceResidual {
    const CVector* front;
    const CVector* back;
    const TMapper* start;
    bool operator()(const double* p, double* r) const {
        TMapper m = ModelOf(*start, p);
        const CVector f = Calibrated(*front, m);
        const CVector b = Calibrated(*back, m);
        r[0] = (f.Range - b.Range) / kMicro;
        r[1] = f.Range * std::cos(f.Elevation) * (f.Azimuth - b.Azimuth) / kMicro;
        r[2] = f.Range * (f.Elevation - b.Elevation) / kMicro;
        return true;
    }
};

struct DistanceResidual {
    const CVector* a;
    const CVector* b;
    const TMapper* start;
    bool operator()(const double* p, const double* length, double* r) const {
        TMapper m = ModelOf(*start, p);
        CVector ca = Calibrated(*a, m);
        const CVector cb = Calibrated(*b, m);
        r[0] = (ca.InterVectorRange(ca, cb) - length[0]) / kMicro;
        return true;
    }
};

struct Estimate {
    std::array<double, kModelUnknowns> p{};
    std::vector<double> lengths;
};

void Solve(const sim::Scenario& s, Estimate& e) {
    const int group = 1 + 2 * s.nTargets;  // reference view, front sights, back sights
    ceres::Problem problem;
    for (int view = 0; view < s.nViews; ++view) {
        const CVector* v = s.main.data() + view * group;
        for (int t = 1; t <= s.nTargets; ++t) {
            problem.AddResidualBlock(
                new ceres::NumericDiffCostFunction<TwoFaceResidual, ceres::CENTRAL, 3,
                                                   kModelUnknowns>(
                    new TwoFaceResidual{v + t, v + t + s.nTargets, &s.start}),
                nullptr, e.p.data());
        }
    }
    e.lengths.assign(static_cast<std::size_t>(s.nTargets) * s.nTargets, 0.0);
    for (int i = 1; i <= s.nTargets; ++i) {
        for (int j = i + 1; j <= s.nTargets; ++j) {
            double& length = e.lengths[(i - 1) * s.nTargets + (j - 1)];
            CVector a = s.main[i];
            length = a.InterVectorRange(a, s.main[j]);  // the raw distance in the first view
            for (int view = 0; view < s.nViews; ++view) {
                const CVector* v = s.main.data() + view * group;
                problem.AddResidualBlock(
                    new ceres::NumericDiffCostFunction<DistanceResidual, ceres::CENTRAL, 1,
                                                       kModelUnknowns, 1>(
                        new DistanceResidual{v + i, v + j, &s.start}),
                    nullptr, e.p.data(), &length);
            }
        }
    }
    ceres::Solver::Options options;
    options.minimizer_type = ceres::TRUST_REGION;
    options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
    options.linear_solver_type = ceres::DENSE_QR;
    options.num_threads = 1;
    options.logging_type = ceres::SILENT;
    ceres::Solver::Summary summary;
    ceres::Solve(options, &problem, &summary);
}

void BM_CeresQuick(benchmark::State& state) {
    const sim::Scenario& s = CachedScenario("quick", static_cast<int>(state.range(0)));
    Estimate e;
    for (auto _ : state) {
        e = Estimate{};
        Solve(s, e);
        benchmark::DoNotOptimize(e.p);
    }
    state.counters["rms_urad"] = AngularRmsMicroradians(ModelOf(s.start, e.p.data()), s.truth);
    SetPerUnitCounter(state, "per_view", s.nViews);
}

}  // namespace

void RegisterCeresBenchmarks() {
    ApplyScales(benchmark::RegisterBenchmark("Baseline/CeresQuick/quick", BM_CeresQuick)
                    ->Unit(benchmark::kMillisecond));
}

}  // namespace compensation::bench
