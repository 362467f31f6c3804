// Switching the engine's trace file off and on.
//
// Every CCompensation appends to "TraceFile.txt" by default (see engine.h). A host that runs
// many compensations in a loop (Monte Carlo studies, planning, scripting) may switch the trace
// off: the computation never depends on it, and its results are the same bit for bit.
//
// - The environment variable COMPENSATION_TRACE set to "0", "off", "no" or "false" (any case)
//   when an engine is constructed starts it with the trace off: not even the start banner is
//   written. Any other value, or no value, leaves the trace on.
// - SetTracing() switches one engine object. A copy of an engine inherits its switch. An
//   engine whose trace is switched on again writes no new banner.
#ifndef COMPENSATION_TRACING_H
#define COMPENSATION_TRACING_H

#include "compensation/engine.h"
#include "compensation/export.h"

namespace compensation {

// Name of the environment variable read by the engine's constructor.
inline constexpr const char* kTraceSwitchVariable = "COMPENSATION_TRACE";

// Switches the trace of `engine` on or off for its later calls.
COMPENSATION_EXPORT void SetTracing(CCompensation& engine, bool enabled);

// Whether `engine` writes its trace.
COMPENSATION_EXPORT bool IsTracing(const CCompensation& engine);

}  // namespace compensation

#endif  // COMPENSATION_TRACING_H
