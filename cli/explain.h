// The explain subcommand: the meaning of a result code, or the whole table of a procedure.
#ifndef COMPENSATE_EXPLAIN_H
#define COMPENSATE_EXPLAIN_H

#include <optional>
#include <ostream>

#include "result_codes.h"

namespace compensation::cli {

// The meaning of `code` (every code when none is given); `runStage`, the stage a run's report
// gave, narrows an ambiguous code to the part of the procedure that stopped the run.
int RunExplain(std::optional<int> code, Procedure procedure, int mode, int viewCount,
               std::optional<compensation::Stage> runStage, std::ostream& out);

}  // namespace compensation::cli

#endif  // COMPENSATE_EXPLAIN_H
