// The procedures' shared steps where a fit refuses its arguments: the refusal is never added to
// the other fits' codes, and the host's records come back as they were on entry.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/constants.h"
#include "procedures/procedure_steps.h"

namespace compensation::detail {
namespace {

// A joint loop whose second fit refuses on its third call, after the first fit has written the
// model, the record and a mark into the host's array on every call.
TEST(ProcedureSteps, ARefusalInAJointLoopIsNotSummedAndUndoesEverything) {
    std::vector<CVector> host(4);
    for (CVector& v : host) {
        v.Quality = 100.0;
    }
    TMapper model{};
    model.A1 = 0.25;
    TCompOut record{};
    record.m_nConfidence = 7;
    const TMapper modelBefore = model;
    const TCompOut recordBefore = record;

    int calls = 0;
    const FitCall writes = Refusing([&](int) {
        model.A1 += 1.0;
        record.m_nConfidence += 1;
        host[static_cast<std::size_t>(calls % 4)].Quality = kRejectedQuality;
        return 2;  // not converged
    });
    const FitCall refuses = Refusing([&](int) { return ++calls == 3 ? kInvalidInput : 0; });

    int sums = 0;
    const int result = UndoneOnRefusal(&model, &record, {{host.data(), 4}}, [&] {
        for (;;) {
            // Without the refusal the sum would be 2 - 1 = 1, a "not converged" of the wrong fit.
            ++sums;
            if (JointLoop({writes, refuses}, 1) != 2) {
                return 0;
            }
        }
    });

    EXPECT_EQ(result, kInvalidInput);
    EXPECT_EQ(sums, 3);
    EXPECT_EQ(std::memcmp(&model, &modelBefore, sizeof(TMapper)), 0);
    EXPECT_EQ(std::memcmp(&record, &recordBefore, sizeof(TCompOut)), 0);
    for (const CVector& v : host) {
        EXPECT_EQ(v.Quality, 100.0);
    }
}

// Stages that end without a refusal keep what they wrote and return their own result.
TEST(ProcedureSteps, StagesWithoutARefusalKeepTheirWrites) {
    std::vector<CVector> host(2);
    TMapper model{};
    TCompOut record{};
    const int result = UndoneOnRefusal(&model, &record, {{host.data(), 2}, {nullptr, 0}}, [&] {
        model.D1 = 1e-6;
        host[1].Quality = kRejectedQuality;
        return 28;
    });
    EXPECT_EQ(result, 28);
    EXPECT_EQ(model.D1, 1e-6);
    EXPECT_EQ(host[1].Quality, kRejectedQuality);
}

// The mean T that becomes T_ref: the plain mean, bit for bit, where the sum stays finite; the
// mean of values whose sum overflows stays between them.
TEST(ProcedureSteps, MeanTIsFiniteForFiniteValues) {
    std::vector<CVector> v(3);
    v[0].T = 20.0;
    v[1].T = 20.5;
    v[2].T = 21.25;
    EXPECT_EQ(MeanT(v.data(), 3), (20.0 + 20.5 + 21.25) / 3);
    v[0].T = 1.7e308;
    v[1].T = 1.7e308;
    v[2].T = 1.0e308;
    EXPECT_NEAR(MeanT(v.data(), 3), 1.4666666666666667e308, 1e293);  // 1e-15 relative
    v[2].T = -1.7e308;
    EXPECT_NEAR(MeanT(v.data(), 3), 1.7e308 / 3, 1e293);
}

}  // namespace
}  // namespace compensation::detail
