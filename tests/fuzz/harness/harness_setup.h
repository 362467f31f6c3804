// What every harness does once, and on a broken promise.
#ifndef COMPENSATION_TESTS_FUZZ_HARNESS_SETUP_H
#define COMPENSATION_TESTS_FUZZ_HARNESS_SETUP_H

#include <cstdio>
#include <cstdlib>
#include <string>

namespace compensation::fuzz {

// The engine traces every call; at thousands of calls a second the file would fill the disk.
// A directory that does not exist makes every trace write a failed open, which the engine skips.
inline void SetUpHarness() {
    setenv("COMPENSATION_TRACE_DIR", "/nonexistent/compensation-fuzz-trace", 1);
}

inline void AbortOnBrokenPromise(const std::string& broken) {
    if (!broken.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
}

}  // namespace compensation::fuzz

#endif  // COMPENSATION_TESTS_FUZZ_HARNESS_SETUP_H
