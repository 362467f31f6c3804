// Setting and removing an environment variable of the running process, the same way on every
// system: the command-line tool hands its trace directory to the library this way, and the
// tests steer the trace file with it.
#ifndef COMPENSATION_PLATFORM_ENVIRONMENT_H
#define COMPENSATION_PLATFORM_ENVIRONMENT_H

#include <cstdlib>

namespace compensation::platform {

// Sets name to value (nullptr: removes it); true when done.
inline bool SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    // The C runtime's environment, which getenv reads; an empty value removes the variable.
    return _putenv_s(name, value != nullptr ? value : "") == 0;
#else
    return (value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name)) == 0;
#endif
}

}  // namespace compensation::platform

#endif  // COMPENSATION_PLATFORM_ENVIRONMENT_H
