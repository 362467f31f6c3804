// The plan subcommand: simulates a measurement plan (a layout file) with a typical error model
// and says, before anything is measured, which selection rules the plan passes, what the
// procedure would return, how well each element would be determined at the expected reading
// noise, how fast the final joint loop settles, and what to change.
#ifndef COMPENSATE_PLAN_H
#define COMPENSATE_PLAN_H

#include <ostream>
#include <string>

namespace compensation::cli {

struct PlanOptions {
    std::string layout;   // layout file (JSON)
    std::string model;    // true model (JSON); the simulator's realistic truth when empty
    std::string jsonOut;  // write the plan as JSON here ("-": print it instead of the text)
    bool force = false;   // let jsonOut replace an existing file
};

// Exit status: kExitSettled when the plan is clean, kExitNotSettled when it warns.
int RunPlan(const PlanOptions& options, std::ostream& out);

}  // namespace compensation::cli

#endif  // COMPENSATE_PLAN_H
