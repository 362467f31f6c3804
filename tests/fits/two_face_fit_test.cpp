#include "fits/two_face_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "compensation/compensation.h"

namespace {

using compensation::detail::two_face::SolveNormalEquations;

TEST(TwoFaceNormalEquations, SolvesARegularSystemAndRefusesSingularOnes) {
    double regular[] = {4.0, 2.0, 2.0, 3.0};
    double rhs[] = {2.0, 1.0};
    double x[2] = {};
    EXPECT_TRUE(SolveNormalEquations(2, regular, rhs, x));
    EXPECT_DOUBLE_EQ(x[0], 0.5);
    EXPECT_DOUBLE_EQ(x[1], 0.0);

    // Exactly singular: the solver divides by a zero pivot.
    double exact[] = {1.0, 2.0, 2.0, 4.0};
    double rhs2[] = {1.0, 2.0};
    EXPECT_FALSE(SolveNormalEquations(2, exact, rhs2, x));

    // Singular to rounding: the third column of the design is the sum of the first two, but the
    // normal matrix is formed in floating point, so its last pivot is rounding noise (finite).
    const double design[4][3] = {
        {0.1, 0.7, 0.8}, {0.3, 0.2, 0.5}, {0.9, 0.4, 1.3}, {0.6, 0.11, 0.71}};
    double normal[9] = {};
    double rhs3[3] = {};
    for (const auto& row : design) {
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                normal[a * 3 + b] += row[a] * row[b] / 4.0;
            }
            rhs3[a] += row[a] * 0.3 / 4.0;
        }
    }
    double y[3] = {};
    EXPECT_FALSE(SolveNormalEquations(3, normal, rhs3, y));

    double poisoned[] = {1.0, 0.0, 0.0, std::numeric_limits<double>::quiet_NaN()};
    double rhs4[] = {1.0, 1.0};
    EXPECT_FALSE(SolveNormalEquations(2, poisoned, rhs4, x));
}

// Every member of the family, called through its public signature.
using Call = std::function<int(CCompensation&, CVector*, CVector*, TMapper*, int, TCompOut*, int)>;
struct Member {
    const char* name;
    Call call;
    int tooFewCode;
};

std::vector<Member> Members() {
    return {
        {"CalculateQCFSBSa", std::mem_fn(&CCompensation::CalculateQCFSBSa), 3},
        {"CalculateQCFSBS", std::mem_fn(&CCompensation::CalculateQCFSBS), 3},
        {"CalculateFFCFSBS",
         [](CCompensation& e, CVector* f, CVector* b, TMapper* m, int n, TCompOut* o, int c) {
             return e.CalculateFFCFSBS(f, b, m, n, o, c, 0);
         },
         18},
        {"CalculateFFCFSBS with Az harmonics",
         [](CCompensation& e, CVector* f, CVector* b, TMapper* m, int n, TCompOut* o, int c) {
             return e.CalculateFFCFSBS(f, b, m, n, o, c, 1);
         },
         18},
        {"CalculateFCFSBS", std::mem_fn(&CCompensation::CalculateFCFSBS), 18},
        {"CalculateFFCFSBS6", std::mem_fn(&CCompensation::CalculateFFCFSBS6), 18},
        {"CalculateFBBFSBS", std::mem_fn(&CCompensation::CalculateFBBFSBS), 3},
        {"CalculateEFCFSBS", std::mem_fn(&CCompensation::CalculateEFCFSBS), 3},
    };
}

TEST(TwoFaceInput, MissingRecordsOrArraysAreRefusedBeforeAnythingIsWritten) {
    CCompensation engine;
    TCompOut out{};
    TMapper entry{};
    entry.D1 = 2.0e-5;
    entry.A1 = 0.001;
    std::vector<CVector> pairs(12);
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.name);
        TMapper map = entry;
        EXPECT_EQ(member.call(engine, pairs.data(), pairs.data(), nullptr, 12, &out, 1), -1);
        EXPECT_EQ(member.call(engine, pairs.data(), pairs.data(), &map, 12, nullptr, 1), -1);
        EXPECT_EQ(member.call(engine, nullptr, pairs.data(), &map, 12, &out, 1), -1);
        EXPECT_EQ(member.call(engine, pairs.data(), nullptr, &map, 12, &out, 0), -1);
        EXPECT_EQ(0, std::memcmp(&map, &entry, sizeof(TMapper)));

        // No pairs: nothing is read, whatever the pointers, and the documented code comes back
        // with D1 cleared.
        EXPECT_EQ(member.call(engine, nullptr, nullptr, &map, 0, &out, 0), member.tooFewCode);
        EXPECT_EQ(map.D1, 0.0);
        map = entry;
        EXPECT_EQ(member.call(engine, nullptr, nullptr, &map, -4, &out, 0), member.tooFewCode);
        EXPECT_EQ(map.D1, 0.0);
    }
}

}  // namespace
