// A host array whose inside statistics are known by construction.
#ifndef COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H
#define COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H

#include <vector>

#include "compensation/vector.h"
#include "selection/selection_test_support.h"

namespace compensation::testing {

// Views of two targets on the zero direction, in the host's layout: reference vector, front
// sights of A and B, back sights of A and B. A stands at 2 m, B at 3 m plus the view's offset,
// so the A-B distance of view v is 1 m + offsets[v] in both faces.
inline std::vector<CVector> TwoTargetViews(const std::vector<double>& offsets) {
    std::vector<CVector> host;
    for (const double offset : offsets) {
        host.push_back(Measurement(14, 3.0, 0.3, 0.0));
        host.push_back(Measurement(100, 2.0, 0.0, 0.0));
        host.push_back(Measurement(100, 3.0 + offset, 0.0, 0.0));
        host.push_back(Measurement(200, 2.0, 0.0, 0.0));
        host.push_back(Measurement(200, 3.0 + offset, 0.0, 0.0));
    }
    return host;
}

inline constexpr int kTwoTargetViewSize = 5;

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_PROCEDURES_VALIDATION_TEST_SUPPORT_H
