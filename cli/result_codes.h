// What a procedure's result means. The procedures stop at a stage and return that stage's
// code: a coverage gap, a pair count, or the sum of the codes of the fits of a joint loop that
// did not settle. The fits' codes are distinct small numbers chosen to add up, so a sum is
// decomposed here into the fits (and their reasons) that can produce it. One table holds every
// code; the README's table is this one.
#ifndef COMPENSATE_RESULT_CODES_H
#define COMPENSATE_RESULT_CODES_H

#include <optional>
#include <string>
#include <vector>

#include "compensation/run_report.h"

namespace compensation::cli {

enum class Procedure { kQuick, kFull, kFullFull };

const char* ProcedureName(Procedure procedure);

// The full procedures' refusal of an outside set that holds pairs but no live one.
inline constexpr int kNoLiveOutsidePair = -3;

// What kNoLiveOutsidePair means for a full procedure (and, in full-full, a mode).
std::string NoLiveOutsidePairReason(Procedure procedure, int mode);

struct CodeReason {
    int code;
    std::string reason;
};

// One source of a code within a stage: a coverage check, a classification or a fit.
struct CodeSource {
    std::string name;
    std::vector<CodeReason> codes;
};

// A stage that can end a procedure; its result is the sum of one code from each of any of its
// sources (the sources of a classification stage are alternatives with one code each).
struct Stage {
    std::string name;
    bool sums;  // true for joint loops and the full-full coverage checks
    std::vector<CodeSource> sources;
};

// The stages of a procedure. viewCount is the number of views of the set (0 when unknown): the
// quick procedure's number of azimuth sectors, and what sets the full procedures' least pair
// count.
std::vector<Stage> StagesOf(Procedure procedure, int mode, int viewCount);

// One way to obtain a result: the stage and, per contributing source, its reason. Ordered
// from the fewest contributing sources to the most.
struct Explanation {
    std::string stage;
    std::vector<std::string> parts;
};

// `runStage`, the stage the run report gives, keeps only the explanations of the part of the
// procedure that stopped the run: a code that several parts can give has one meaning there.
// Without it (or for a stage that names no part), every explanation.
std::vector<Explanation> ExplainResult(int code, Procedure procedure, int mode, int quickSectors,
                                       std::optional<compensation::Stage> runStage = {});

// One line: "settled", or the simplest explanation and how many others there are.
std::string DescribeResult(int code, Procedure procedure, int mode, int quickSectors,
                           std::optional<compensation::Stage> runStage = {});

// The run stage named `name` (compensation::StageName), if any.
std::optional<compensation::Stage> StageNamed(const std::string& name);

}  // namespace compensation::cli

#endif  // COMPENSATE_RESULT_CODES_H
