// Monte Carlo validation of the run report's standard uncertainties (not a unit test: it runs
// hundreds of procedures). Usage: uncertainty_validation [draws] [scenario ...]; by default 200
// draws of quick, full, fullfull0, fullfull1 and fullfull2. Prints a Markdown table and exits
// non-zero when a predicted uncertainty lies outside 0.8 to 1.25 times the empirical scatter.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "validation/monte_carlo.h"

int main(int argc, char** argv) {
    int draws = 200;
    std::vector<std::string> scenarios;
    if (argc > 1) {
        draws = std::atoi(argv[1]);
    }
    for (int i = 2; i < argc; ++i) {
        scenarios.emplace_back(argv[i]);
    }
    if (scenarios.empty()) {
        scenarios = {"quick", "full", "fullfull0", "fullfull1", "fullfull2"};
    }
    bool inside = true;
    std::printf("| scenario | element | truth | predicted | empirical | ratio |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const std::string& scenario : scenarios) {
        const compensation::validation::ScatterTable table =
            compensation::validation::Scatter(scenario, draws);
        if (table.elements.empty()) {
            std::printf("| %s | (no uncertainty computed; %d of %d draws settled) | | | | |\n",
                        scenario.c_str(), table.settled, table.draws);
            continue;
        }
        for (const auto& row : table.elements) {
            const double ratio = row.ratio();
            inside = inside && ratio >= 0.8 && ratio <= 1.25;
            std::printf("| %s | %s | %.4g | %.3g | %.3g | %.3f |\n", scenario.c_str(),
                        row.name.c_str(), row.truth, row.predicted, row.empirical, ratio);
        }
        std::fflush(stdout);
    }
    return inside ? 0 : 1;
}
