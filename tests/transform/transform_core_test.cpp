#include <functional>

#include "transform/gauss_newton.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// GetNextVector maps into one object shared by every CTransform (1e-14: rounding within 15 m);
// the Jacobian matches its central differences (h = 1e-5: truncation |P| h^2 / 6 = 2.5e-10,
// rounding |P| 2.2e-16 / h = 3.3e-10).
TEST(TransformCore, MappingAndItsJacobian) {
    std::vector<CVector> points = Points({{4, -3, 11}, {-9, 5, 2}, {0.5, 0.2, -7}});
    points[1].T = 21.5;
    points[1].Type = 200;
    double TRANSFORM_PARMS::*const parameters[] = {&TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta,
                                                   &TRANSFORM_PARMS::Gamma, &TRANSFORM_PARMS::X,
                                                   &TRANSFORM_PARMS::Y,     &TRANSFORM_PARMS::Z};
    const double h = 1e-5;
    for (TRANSFORM_PARMS p : kTruths) {
        double M[3][3];
        CTransform().RotationMatrix(&p, M);
        for (int i = 0; i < 3; ++i) {
            const CVector* shared = CTransform().GetNextVector(i, &p, points.data());
            const Point e = Apply(p, {points[i].X, points[i].Y, points[i].Z});
            EXPECT_LT(std::hypot(shared->X - e.x, shared->Y - e.y, shared->Z - e.z), 1e-14);
            EXPECT_NEAR(shared->Range, std::hypot(e.x, e.y, e.z), 1e-14);  // readings follow
            EXPECT_TRUE(shared->T == points[i].T && shared->Type == points[i].Type);
            double J[3][compensation::kTransformParameters];
            compensation::TransformJacobian(p, M, points[i].X, points[i].Y, points[i].Z, J);
            for (int c = 0; c < compensation::kTransformParameters; ++c) {
                TRANSFORM_PARMS plus = p;
                TRANSFORM_PARMS minus = p;
                plus.*parameters[c] += h;
                minus.*parameters[c] -= h;
                const CVector up = *CTransform().GetNextVector(i, &plus, points.data());
                // The shared object now holds the point mapped with minus.
                ASSERT_EQ(CTransform().GetNextVector(i, &minus, points.data()), shared);
                EXPECT_NEAR(J[0][c], (up.X - shared->X) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[1][c], (up.Y - shared->Y) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[2][c], (up.Z - shared->Z) / (2 * h), 2e-9) << i << "," << c;
            }
        }
    }
}

// Unfittable or unaddressable input gets its code with nothing written: a neighbourless
// distinguished point, an undefined reading, too few points or weights, weights of no positive
// total, positions outside their arrays; balls on a line: 5, a finite candidate (0 NaN is NaN).
TEST(TransformFaults, CodeAndNothingWritten) {
    TMapper map{};
    std::vector<CVector> far = Points({{0, 0, 0}, {1000, 0, 0}, {0, 1200, 0}});
    std::vector<CVector> twin = Points({{2, 2, 2}, {2, 2, 2}, {5, 0, 1}});
    std::vector<CVector> part = Points({{0, 0, 1}, {0, 0, 3}, {0, 0, 8}, {1, 1, 6}, {-5, 2, 3}});
    std::vector<CVector> nan = part;
    far[0].Type = twin[0].Type = 14;
    nan[3].Range = std::nan("");
    CVector* P = part.data();
    double negative[] = {1, 1, 1, 1, -5}, two[] = {1, 0, 1, 0, 0}, three[] = {1, 1, 1, 0, 0};
    TRANSFORM_PARMS p;
    TCompOut out;
    int count;
    CTransform t;
    CCompensation e;
    const int bad = compensation::kInvalidInput;
    const struct {
        int d2First, d2Second, count;
        std::function<int()> call;
        int status;
    } cases[] = {
        {0, 0, 4, [&] { return t.UpdateTransform(far.data(), far.data(), 3, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.UpdateTransform(twin.data(), twin.data(), 3, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.UpdateTransform(P, nan.data(), 5, &p, &map); }, 1},
        {0, 0, 4, [&] { return t.UpdateTransform(P, P, 2, &p, &map); }, 3},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, negative, 5, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.TB_UpdateTransform(P, P, negative, 5, &p); }, bad},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, two, 5, &p, &map); }, 4},
        {0, 0, 4, [&] { return t.TB_UpdateTransform(P, P, three, 5, &p); }, 3},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, three, 3, &p, &map); }, 5},
        {-1, 2, 4, [&] { return t.EvaluateInside(P, &p, &out); }, bad},
        {1, 5, 4, [&] { return t.EvaluateExtraOutside(P, &p, 5, &out, 0); }, bad},
        {-1, 2, 4, [&] { return t.EvaluateExtraOutside(P, &p, 5, &out, 0); }, bad},
        {0, 0, 4, [&] { return e.AcceptOutside(P, &count, P, &p, &out, -1, 0); }, bad},
        {0, 0, 4, [&] { return e.AcceptOutside(P, &count, P, &p, &out, 2, -3); }, bad},
        {0, 0, -2, [&] { return e.AcceptOutside(P, &count, P, &p, &out, 2, 0); }, bad},
        {0, 0, 4, [&] { return e.AcceptOutside(P, nullptr, P, &p, &out, 2, 0); }, bad},
        {0, 0, 4, [&] { return e.AcceptOutside(nullptr, &count, P, &p, &out, 2, 0); }, bad},
        {0, 0, 0, [&] { return e.AcceptOutside(nullptr, &count, P, &p, &out, 2, 0); }, 3},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const TRANSFORM_PARMS start = p = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
        out = Sentinel();
        out.m_n1_d2 = cases[k].d2First;
        out.m_n2_d2 = cases[k].d2Second;
        const TCompOut before = out;
        count = cases[k].count;
        EXPECT_EQ(cases[k].call(), cases[k].status) << k;
        EXPECT_EQ(cases[k].status == 5 ? 0.0 * Gap(p, start) : Gap(p, start), 0.0) << k;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << k;
        EXPECT_EQ(count, cases[k].count) << k;
    }
}

}  // namespace
