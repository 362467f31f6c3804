// libFuzzer harness: each compensation procedure on arbitrary arrays, counts, positions and modes.
// A broken promise aborts, so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness/harness_setup.h"
#include "fuzz/promises.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    compensation::fuzz::SetUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    compensation::fuzz::AbortOnBrokenPromise(compensation::fuzz::CheckProcedureInput(data, size));
    return 0;
}
