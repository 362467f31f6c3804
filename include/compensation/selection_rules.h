// The selection rules a procedure applies to its data, each judged on its own: for planning a
// compensation before measuring, where a procedure run stops at the first rule that fails and
// so hides the others.
//
//     compensation::SelectionInput in;
//     in.procedure = compensation::Procedure::kFull;
//     in.main = readings; in.outside1 = outside; in.pairs = record;  // pair positions set
//     for (const compensation::RuleCheck& rule : compensation::CheckSelectionRules(engine, in)) {
//         // rule.name, rule.passed, rule.found against rule.needed
//     }
//
// Every rule runs the library's own selection member on copies of the arrays, as the procedure
// calls it, on a copy of the caller's engine with its trace off: nothing of the caller's is
// changed and no trace is written.
#ifndef COMPENSATION_SELECTION_RULES_H
#define COMPENSATION_SELECTION_RULES_H

#include <string>
#include <vector>

#include "compensation/engine.h"
#include "compensation/export.h"
#include "compensation/records.h"
#include "compensation/run_report.h"
#include "compensation/vector.h"

namespace compensation {

struct SelectionInput {
    Procedure procedure = Procedure::kQuick;
    int mode = 0;  // full-full
    std::vector<CVector> main;
    std::vector<CVector> outside1;  // full procedures
    std::vector<CVector> outside2;  // full-full
    std::vector<CVector> flying;    // full-full modes 0 and 1
    int flyingTargets = 0;
    TCompOut pairs{};  // the pair positions (x0y0, d2, extra)
};

struct RuleCheck {
    std::string name;  // "sector coverage", "x0y0 pairs", ...
    bool passed = false;
    long long found = -1;   // what the rule counts; -1 where it counts nothing
    long long needed = -1;  // the least count that passes
    int code = 0;           // the selection member's code (0 when it passed)
};

// The rules of the input's procedure and mode, in the order the procedure applies them.
COMPENSATION_EXPORT std::vector<RuleCheck> CheckSelectionRules(const CCompensation& engine,
                                                               const SelectionInput& input);

}  // namespace compensation

#endif  // COMPENSATION_SELECTION_RULES_H
