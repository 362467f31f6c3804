// A scenario file names everything one compensation run needs, so that a run is one argument:
//
//   {
//     "procedure": "fullfull", "mode": 1,
//     "measurements": "measurements.csv", "outside": "outside.csv", "outside2": "outside2.csv",
//     "flying": "flying.csv", "flying_targets_per_view": 6,
//     "pairs": { "x0y0": [1, 4], "d2": [2, 5], "extra": [3, 6] },
//     "model": "start_model.json", "true_model": "true_model.json",
//     "angle_unit": "deg"
//   }
//
// File names are relative to the scenario file. Pair positions are 1-based positions of targets
// within a view (the view's first target is 1). Every key is optional; command-line options
// override them. "true_model" and "simulation" record where a simulated scenario came from.
#ifndef COMPENSATE_SCENARIO_H
#define COMPENSATE_SCENARIO_H

#include <optional>
#include <string>
#include <vector>

namespace compensation::cli {

struct PairPositions {
    int first = 0;
    int second = 0;
    // Where the positions were given, for messages ("--d2" or "scenario.json, line 7").
    std::string source;
};

struct Scenario {
    std::string path;
    std::string procedure;
    std::optional<int> mode;
    std::string angleUnit;
    std::string measurements, outside, outside2, flying, model, trueModel;
    std::optional<int> flyingTargetsPerView;
    std::optional<PairPositions> x0y0, d2, extra;
};

// Throws InputError naming the file, line and key of any fault.
Scenario ReadScenario(const std::string& path);
// The same from the file's content (path names it in messages and places the files it names).
Scenario ParseScenario(const std::string& path, const std::string& text);

}  // namespace compensation::cli

#endif  // COMPENSATE_SCENARIO_H
