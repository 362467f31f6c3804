// What a call prints on the process's standard output, such as the quick procedure's summary.
#ifndef COMPENSATION_TESTS_SUPPORT_CAPTURED_STDOUT_H
#define COMPENSATION_TESTS_SUPPORT_CAPTURED_STDOUT_H

#include <cstdio>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

namespace compensation::testing {

// Captured where every C++ runtime in the process meets, the C runtime's standard output: the
// Windows DLL carries a C++ runtime of its own, whose std::cout is not the test program's, so
// swapping the test's std::cout buffer would miss what the library prints.
template <typename Call>
std::string CapturedStdout(Call&& call) {
    std::cout.flush();
    ::testing::internal::CaptureStdout();
    call();
    std::cout.flush();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SUPPORT_CAPTURED_STDOUT_H
