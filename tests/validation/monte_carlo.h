// Monte Carlo check of the run report's uncertainty: the procedure runs on many noise draws of
// the simulated tracker, and the scatter of each fitted element over the draws is compared with
// the standard uncertainty the report predicts.
#ifndef COMPENSATION_TESTS_VALIDATION_MONTE_CARLO_H
#define COMPENSATION_TESTS_VALIDATION_MONTE_CARLO_H

#include <cmath>
#include <cstdint>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "compensation/compensation.h"
#include "compensation/run_report.h"
#include "compensation_sim/simulator.h"
#include "model/mapper_elements.h"

namespace compensation::validation {

// A good tracker's reading noise.
inline constexpr double kRangeNoise = 2e-6;  // metres
inline constexpr double kAngleNoise = 1e-6;  // radians

// The predicted uncertainty hardly changes from draw to draw (it depends on the layout and the
// noise level, not on the noise itself), so it is averaged over the first draws only: the
// report's linearisation costs far more than the procedure.
inline constexpr int kPredictionDraws = 10;

struct ElementScatter {
    std::string name;
    double truth = 0.0;
    double predicted = 0.0;  // root mean of the predicted variances of the first draws
    double empirical = 0.0;  // sample standard deviation of the fitted values
    double ratio() const { return predicted / empirical; }
};

struct ScatterTable {
    std::string scenario;
    int draws = 0;
    int settled = 0;
    std::vector<ElementScatter> elements;
};

// Runs the named scenario ("quick", "full", "fullfull0", "fullfull1", "fullfull2") once on the
// noise draw `seed`; returns the procedure's result and leaves the fitted model in `model`.
inline int RunOnce(const std::string& scenario, std::uint64_t seed, CCompensation& engine,
                   TMapper& model) {
    sim::Options options;
    options.noise.range = kRangeNoise;
    options.noise.angle = kAngleNoise;
    options.noise.seed = seed;
    sim::Scenario s = sim::MakeScenario(scenario, options);
    model = s.start;
    TCompOut out = s.compOut;
    int result = 0;
    std::streambuf* saved = std::cout.rdbuf();
    std::ostringstream discard;
    std::cout.rdbuf(discard.rdbuf());  // the quick procedure's summary
    if (scenario == "quick") {
        result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
    } else if (scenario == "full") {
        result = engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                 &model, &out);
    } else {
        result = engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                     s.outside2.data(), s.nCountOut2(), s.flying.data(),
                                     s.nTargetsFly, s.nCountFly(), &model, &out, s.mode);
    }
    std::cout.rdbuf(saved);
    return result;
}

// `draws` noise draws from seed 1; elements whose truth is zero are left out.
inline ScatterTable Scatter(const std::string& scenario, int draws) {
    const TMapper truth = sim::MakeScenario(scenario).truth;
    std::map<std::string, std::vector<double>> fitted;
    std::map<std::string, double> variance;
    std::map<std::string, double> truths;
    std::vector<std::string> order;
    ScatterTable table;
    table.scenario = scenario;
    table.draws = draws;
    int predictions = 0;
    for (int d = 0; d < draws; ++d) {
        CCompensation engine;
        TMapper model{};
        if (RunOnce(scenario, static_cast<std::uint64_t>(d + 1), engine, model) != 0) {
            continue;
        }
        ++table.settled;
        if (predictions < kPredictionDraws) {
            ++predictions;
            for (const ElementReport& e : LastRunReport(engine).elements) {
                if (e.uncertainty < 0.0) {
                    continue;
                }
                if (variance.find(e.name) == variance.end()) {
                    order.push_back(e.name);
                }
                variance[e.name] += e.uncertainty * e.uncertainty;
            }
        }
        for (const MapperElement& e : kMapperElements) {
            fitted[e.name].push_back(model.*e.member);
        }
    }
    for (const std::string& name : order) {
        double truthValue = 0.0;
        for (const MapperElement& e : kMapperElements) {
            if (name == e.name) {
                truthValue = truth.*e.member;
            }
        }
        if (truthValue == 0.0) {
            continue;
        }
        const std::vector<double>& values = fitted[name];
        const double n = static_cast<double>(values.size());
        double mean = 0.0;
        for (double v : values) {
            mean += v / n;
        }
        double sum = 0.0;
        for (double v : values) {
            sum += (v - mean) * (v - mean);
        }
        ElementScatter row;
        row.name = name;
        row.truth = truthValue;
        row.empirical = std::sqrt(sum / (n - 1.0));
        row.predicted = std::sqrt(variance[name] / predictions);
        table.elements.push_back(row);
    }
    return table;
}

}  // namespace compensation::validation

#endif  // COMPENSATION_TESTS_VALIDATION_MONTE_CARLO_H
