// Separate engine and transform objects on separate threads give, bit for bit, what they give
// on one thread: the library keeps no state shared between objects (the trace file aside, which
// every write opens and closes), and a run report shares its fits among threads of its own
// without changing a bit. Built as a program of its own so that scripts/fuzz can run it
// under ThreadSanitizer, which also reports any access to shared memory that is not ordered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "compensation/compensation.h"
#include "compensation/run_report.h"
#include "compensation_sim/simulator.h"
#include "support/test_constants.h"

namespace {

using compensation::sim::MakeScenario;
using compensation::sim::Options;
using compensation::sim::Scenario;

// Everything a job computed, as bytes, so that equality is bit for bit.
using Fingerprint = std::string;

template <typename T>
void Append(Fingerprint& f, const T& value) {
    f.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void AppendReadings(Fingerprint& f, const std::vector<CVector>& readings) {
    for (const CVector& v : readings) {
        for (double x : {v.Quality, v.Range, v.Azimuth, v.Elevation, v.X, v.Y, v.Z, v.T}) {
            Append(f, x);
        }
    }
}

Scenario ScenarioFor(const char* procedure, int mode) {
    Options options;
    options.mode = mode;
    options.noise.angle = compensation::testing::kAngleNoise;
    options.noise.range = compensation::testing::kRangeNoise;
    options.noise.seed = 11;
    return MakeScenario(procedure, options);
}

// One compensation procedure on its own copies of a scenario, with its own engine.
Fingerprint RunProcedure(const Scenario& scenario, const std::string& procedure, int mode) {
    Scenario s = scenario;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    CCompensation engine;
    int result = 0;
    if (procedure == "quick") {
        result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
    } else if (procedure == "full") {
        result = engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                 &model, &out);
    } else {
        result = engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                     s.outside2.data(), s.nCountOut2(), s.flying.data(),
                                     s.nTargetsFly, s.nCountFly(), &model, &out, mode);
    }
    Fingerprint f;
    Append(f, result);
    Append(f, model);
    Append(f, out);
    AppendReadings(f, s.main);
    // The run report, its fits' rows shared among threads of its own.
    compensation::ReportOptions options;
    options.threads = 3;
    const compensation::RunReport report = compensation::LastRunReport(engine, options);
    for (const compensation::ElementReport& element : report.elements) {
        Append(f, element.uncertainty);
    }
    for (double correlation : report.correlations) {
        Append(f, correlation);
    }
    return f;
}

// Points of a 10 m part seen through a known placement: both fits, and every point mapped and
// un-calibrated through the object's own result vectors.
Fingerprint RunTransforms(int seed) {
    std::vector<CVector> nominal(40);
    for (int i = 0; i < 40; ++i) {
        nominal[i].X = 10 * std::sin(1.3 * i + seed);
        nominal[i].Y = 10 * std::cos(2.1 * i);
        nominal[i].Z = 10 * std::sin(0.7 * i) + 12.0;
        nominal[i].Cart2Sphr();
        nominal[i].Radian = true;
        nominal[i].Quality = 100.0;
        nominal[i].Type = 100;
    }
    TRANSFORM_PARMS truth = {0.3, -0.2, 1.1, 2.5, -1.2, 7.3};
    TMapper model{};
    model.A1 = 1e-3;
    model.D1 = 5e-6;
    CTransform transform;
    std::vector<CVector> measured(nominal.size());
    Fingerprint f;
    for (int i = 0; i < 40; ++i) {
        measured[i] = *transform.GetNextVectorCal(i, &truth, nominal.data(), &model);
        Append(f, measured[i].Range);
        Append(f, transform.GetNextVector(i, &truth, nominal.data())->X);
    }
    std::vector<double> weights(nominal.size(), 1.0);
    TRANSFORM_PARMS best = {0.25, -0.15, 1.0, 2.0, -1.0, 7.0};
    Append(f, transform.UpdateTransform(nominal.data(), measured.data(), 40, &best, &model));
    Append(f, best);
    TRANSFORM_PARMS balls{};
    Append(f, transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 40, &balls,
                                     &model));
    Append(f, balls);
    return f;
}

struct Job {
    std::string name;
    std::function<Fingerprint()> run;
};

std::vector<Job> Jobs() {
    static const Scenario quick = ScenarioFor("quick", 0);
    static const Scenario full = ScenarioFor("full", 0);
    static const Scenario fullFull[] = {ScenarioFor("fullfull", 0), ScenarioFor("fullfull", 1),
                                        ScenarioFor("fullfull", 2)};
    std::vector<Job> jobs = {{"quick", [] { return RunProcedure(quick, "quick", 0); }},
                             {"full", [] { return RunProcedure(full, "full", 0); }}};
    for (int mode = 0; mode < 3; ++mode) {
        jobs.push_back({"fullfull" + std::to_string(mode),
                        [mode] { return RunProcedure(fullFull[mode], "fullfull", mode); }});
    }
    for (int seed = 0; seed < 3; ++seed) {
        jobs.push_back(
            {"transform" + std::to_string(seed), [seed] { return RunTransforms(seed); }});
    }
    return jobs;
}

// Six threads, each running every job in its own order, against one thread's results.
TEST(Concurrency, SeparateObjectsOnSixThreadsMatchOneThread) {
    // The quick procedure prints its summary on standard output, whose stream is synchronised
    // with stdio and so safe to share between threads (a stream buffer of the test's own would
    // not be).
    const std::vector<Job> jobs = Jobs();

    std::vector<Fingerprint> alone;
    for (const Job& job : jobs) {
        alone.push_back(job.run());
    }
    constexpr int kThreads = 6;
    std::vector<std::vector<Fingerprint>> together(kThreads, std::vector<Fingerprint>(jobs.size()));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&jobs, &together, t] {
            for (std::size_t k = 0; k < jobs.size(); ++k) {
                const std::size_t j = (k + static_cast<std::size_t>(t)) % jobs.size();
                together[static_cast<std::size_t>(t)][j] = jobs[j].run();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    for (int t = 0; t < kThreads; ++t) {
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            EXPECT_TRUE(together[static_cast<std::size_t>(t)][j] == alone[j])
                << jobs[j].name << " on thread " << t;
        }
    }
}

}  // namespace
