// The quick, full and full-full subcommands: read the files, check them, run one procedure of
// the library on them, report and write the outputs. No compensation logic lives here.
#ifndef COMPENSATE_RUN_PROCEDURE_H
#define COMPENSATE_RUN_PROCEDURE_H

#include <ostream>
#include <string>
#include <vector>

#include "input_source.h"
#include "result_codes.h"

namespace compensation::cli {

// Exit statuses of the tool.
inline constexpr int kExitSettled = 0;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitNotSettled = 3;

struct ProcedureOptions {
    Procedure procedure = Procedure::kQuick;
    int mode = -1;  // full-full only; -1 when not given
    std::string scenario;
    std::string measurements, outside, outside2, flying, model;
    int flyingTargets = 0;  // 0 when not given
    std::vector<int> x0y0, d2, extra;
    std::string angleUnit;
    std::string modelOut, resultOut, writeBack, traceDir;
    bool inPlace = false;
    bool force = false;
    bool json = false;
    bool keepUnsettled = false;
    bool noTrace = false;
    bool noUncertainty = false;
};

// Runs the procedure and returns the exit status. Bad input throws InputError or UsageError
// before any output file is touched.
int RunProcedure(const ProcedureOptions& options, std::ostream& out,
                 const InputSource& source = {});

// Points COMPENSATION_TRACE_DIR at the directory the user chose (the option, else the
// variable as set, else the current directory); throws UsageError for a missing directory.
void SetTraceDirectory(const std::string& option);

}  // namespace compensation::cli

#endif  // COMPENSATE_RUN_PROCEDURE_H
