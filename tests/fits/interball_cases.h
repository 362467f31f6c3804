// The members of the interball family as test parameters: how to call each, and which elements
// it estimates. The family's shared behaviour is tested once over all of them
// (interball_fit_test.cpp); each fit's file instantiates the suite with its own cases.
#ifndef COMPENSATION_TESTS_FITS_INTERBALL_CASES_H
#define COMPENSATION_TESTS_FITS_INTERBALL_CASES_H

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "fits/interball_scene.h"

namespace compensation::testing {

using InterballCall = int (*)(CCompensation& engine, InterballScene& scene, TMapper& map,
                              TCompOut& out, int nFlagClassify);

struct InterballFitCase {
    std::string name;
    InterballCall call;
    std::vector<double TMapper::*> estimated;  // in the fit's solution order
};

// Printed by GoogleTest as the case's name.
inline void PrintTo(const InterballFitCase& fit, std::ostream* os) {
    *os << fit.name;
}

// The elements that appear in any interball table: a fit estimates some of them and holds the
// others at the values it is given.
inline std::vector<double TMapper::*> AllInterballElements() {
    return {&TMapper::Ax,      &TMapper::Ay,      &TMapper::A1_AzS,  &TMapper::A1_AzC,
            &TMapper::A1_3AzS, &TMapper::A1_3AzC, &TMapper::A2_3AzS, &TMapper::A2_3AzC,
            &TMapper::A3_AzS,  &TMapper::A3_AzC,  &TMapper::A3_3AzS, &TMapper::A3_3AzC,
            &TMapper::Az_2AzS, &TMapper::Az_2AzC, &TMapper::Az_4AzS, &TMapper::Az_4AzC,
            &TMapper::A1_5AzS, &TMapper::A1_5AzC, &TMapper::A2_5AzS, &TMapper::A2_5AzC,
            &TMapper::A3_5AzS, &TMapper::A3_5AzC, &TMapper::Az_6AzS, &TMapper::Az_6AzC};
}

class InterballFamily : public ::testing::TestWithParam<InterballFitCase> {};

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_FITS_INTERBALL_CASES_H
