// The library's only operating-system dependent services.
#ifndef COMPENSATION_PLATFORM_PLATFORM_H
#define COMPENSATION_PLATFORM_PLATFORM_H

#include <string>

namespace compensation::platform {

// Capacity of a path buffer, terminating zero included: the POSIX PATH_MAX, which also covers
// the 260 characters of a classic Windows path.
inline constexpr int kPathCapacity = 4096;

// Directory of the running executable, ending with a separator; the current directory ("")
// where the system cannot tell.
std::string ExecutableDirectory();

// Directory of the trace file, ending with a separator: COMPENSATION_TRACE_DIR when set and
// not empty, else the executable's directory.
std::string TraceDirectory();

// True when the environment variable COMPENSATION_TRACE says "0", "off", "no" or "false" (in
// any case): engines constructed then write no trace.
bool TraceSwitchedOff();

// Local date as "MM/DD/YY" and local time as "HH:MM:SS".
std::string LocalDate();
std::string LocalTime();

// Text of one of the library's message resources; empty for an unknown id.
std::string ResourceText(unsigned int id);

}  // namespace compensation::platform

#endif  // COMPENSATION_PLATFORM_PLATFORM_H
