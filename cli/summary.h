// The final validation's summary, formatted from the result record.
//
// The quick procedure prints this summary itself. The full procedures validate silently, so
// the tool prints the same text from the record they filled: every number shown is a field
// the validation wrote (its spreads, its interball statistics, its CONFIDENCE), nothing is
// recomputed, and the trace file does not get a second validation's lines. Running
// FinalValidate again on copies would give the same numbers but would trace a validation the
// procedure never made, and would score runs the procedure left unvalidated.
#ifndef COMPENSATE_SUMMARY_H
#define COMPENSATE_SUMMARY_H

#include <string>

#include "compensation/records.h"

namespace compensation::cli {

// The validation mode the procedures pass: 0 quick, 1 full, 2 and 3 full-full modes 1 and 2
// (full-full mode 0 validates in mode 1).
std::string FormatSummary(const TCompOut& out, int validationMode);

}  // namespace compensation::cli

#endif  // COMPENSATE_SUMMARY_H
