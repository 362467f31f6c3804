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

struct ElementScatter {
    std::string name;
    double truth = 0.0;
    double predicted = 0.0;  // root mean of the predicted variances
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
// noise draw `seed`; returns the procedure's result and its report.
inline RunReport RunOnce(const std::string& scenario, std::uint64_t seed, int* result) {
    sim::Options options;
    options.noise.range = kRangeNoise;
    options.noise.angle = kAngleNoise;
    options.noise.seed = seed;
    sim::Scenario s = sim::MakeScenario(scenario, options);
    CCompensation engine;
    TMapper model = s.start;
    TCompOut out = s.compOut;
    std::streambuf* saved = std::cout.rdbuf();
    std::ostringstream discard;
    std::cout.rdbuf(discard.rdbuf());  // the quick procedure's summary
    if (scenario == "quick") {
        *result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &model, &out);
    } else if (scenario == "full") {
        *result = engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                  &model, &out);
    } else {
        *result = engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                      s.outside2.data(), s.nCountOut2(), s.flying.data(),
                                      s.nTargetsFly, s.nCountFly(), &model, &out, s.mode);
    }
    std::cout.rdbuf(saved);
    return LastRunReport(engine);
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
    for (int d = 0; d < draws; ++d) {
        int result = 0;
        const RunReport report = RunOnce(scenario, static_cast<std::uint64_t>(d + 1), &result);
        if (result != 0) {
            continue;
        }
        ++table.settled;
        for (const ElementReport& e : report.elements) {
            if (e.uncertainty < 0.0) {
                continue;
            }
            if (fitted.find(e.name) == fitted.end()) {
                order.push_back(e.name);
            }
            fitted[e.name].push_back(e.fitted);
            variance[e.name] += e.uncertainty * e.uncertainty;
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
        row.predicted = std::sqrt(variance[name] / n);
        table.elements.push_back(row);
    }
    return table;
}

}  // namespace compensation::validation

#endif  // COMPENSATION_TESTS_VALIDATION_MONTE_CARLO_H
