// The explain subcommand: the meaning of a result code, or the whole table of a procedure.
#ifndef COMPENSATE_EXPLAIN_H
#define COMPENSATE_EXPLAIN_H

#include <optional>
#include <ostream>

#include "result_codes.h"

namespace compensation::cli {

int RunExplain(std::optional<int> code, Procedure procedure, int mode, int viewCount,
               std::ostream& out);

}  // namespace compensation::cli

#endif  // COMPENSATE_EXPLAIN_H
