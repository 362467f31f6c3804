// Views of two targets whose inside statistics are known by construction.
#ifndef COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H
#define COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H

#include <vector>

#include "selection/selection_test_support.h"

namespace compensation::testing {

// A at 2 m and B at 3 m plus the view's offset, both on the zero direction: the A-B distance of
// view v is 1 m + offsets[v] in both faces.
inline std::vector<CVector> TwoTargetViews(const std::vector<double>& offsets) {
    std::vector<CVector> host;
    for (const double offset : offsets) {
        AppendView(host, {{2.0, 0.0, 0.0}, {3.0 + offset, 0.0, 0.0}});
    }
    return host;
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H
