#include <functional>

#include "transform/gauss_newton.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// One result object per mapping function, shared by every CTransform: a second call returns
// its address again and overwrites the first result, which held the mapped point with readings
// that agree with it (1e-14 on points within 15 m) and every other field carried over.
TEST(TransformCore, GetNextVectorMapsIntoOneSharedObject) {
    std::vector<CVector> points = Points({{-4, 0.5, 9}, {0, 2, 7}});
    points[0].T = 21.5;
    points[0].Type = 200;
    TRANSFORM_PARMS p = kTruths[1];
    CTransform first;
    CTransform second;
    CVector* a = first.GetNextVector(0, &p, points.data());
    const Point e = Apply(p, {-4, 0.5, 9});
    EXPECT_LT(std::hypot(a->X - e.x, a->Y - e.y, a->Z - e.z), 1e-14);
    EXPECT_NEAR(a->Range, std::hypot(e.x, e.y, e.z), 1e-14);
    EXPECT_NEAR(a->Azimuth, -std::atan2(e.x, e.z), 1e-15);
    EXPECT_NEAR(a->Elevation, std::asin(e.y / a->Range), 1e-15);
    EXPECT_TRUE(a->T == 21.5 && a->Type == 200 && a->FSBS == 1 && a->Quality == 100.0);
    EXPECT_EQ(second.GetNextVector(1, &p, points.data()), a);
    EXPECT_EQ(a->T, 0.0);
}

// The refinement's Jacobian against central differences of the mapping. With h = 1e-5 and
// points within 15 m, truncation |P| h^2 / 6 = 2.5e-10 and rounding |P| 2.2e-16 / h = 3.3e-10:
// 2e-9 covers both.
TEST(TransformCore, JacobianMatchesCentralDifferencesOfTheMapping) {
    CTransform transform;
    std::vector<CVector> points = Points({{4, -3, 11}, {-9, 5, 2}, {0.5, 0.2, -7}});
    double TRANSFORM_PARMS::*const parameters[] = {&TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta,
                                                   &TRANSFORM_PARMS::Gamma, &TRANSFORM_PARMS::X,
                                                   &TRANSFORM_PARMS::Y,     &TRANSFORM_PARMS::Z};
    const double h = 1e-5;
    for (TRANSFORM_PARMS p : kTruths) {
        double M[3][3];
        transform.RotationMatrix(&p, M);
        for (int i = 0; i < 3; ++i) {
            double J[3][compensation::kTransformParameters];
            compensation::TransformJacobian(p, M, points[i].X, points[i].Y, points[i].Z, J);
            for (int c = 0; c < compensation::kTransformParameters; ++c) {
                TRANSFORM_PARMS plus = p;
                TRANSFORM_PARMS minus = p;
                plus.*parameters[c] += h;
                minus.*parameters[c] -= h;
                const CVector up = *transform.GetNextVector(i, &plus, points.data());
                const CVector down = *transform.GetNextVector(i, &minus, points.data());
                EXPECT_NEAR(J[0][c], (up.X - down.X) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[1][c], (up.Y - down.Y) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[2][c], (up.Z - down.Z) / (2 * h), 2e-9) << i << "," << c;
            }
        }
    }
}

// Input that cannot be fitted or cannot address its arrays gets its code, and nothing of the
// host's is written: a distinguished point with no neighbour (none within 1000 m, or one at its
// very place) leaves no auxiliary point; an undefined reading makes the first step a rise;
// weights without a positive total have no normal equations; D2 pair positions and outside
// target numbers must address their arrays. Balls exactly on a line have no frame: status 5,
// with a finite candidate.
TEST(TransformFaults, CodeAndNothingWritten) {
    TMapper map{};
    std::vector<CVector> far = Points({{0, 0, 0}, {1000, 0, 0}, {0, 1200, 0}});
    std::vector<CVector> twin = Points({{2, 2, 2}, {2, 2, 2}, {5, 0, 1}});
    std::vector<CVector> part = Points({{0, 0, 1}, {0, 0, 3}, {0, 0, 8}, {1, 1, 6}, {-5, 2, 3}});
    std::vector<CVector> nan = part;
    far[0].Type = twin[0].Type = 14;
    nan[3].Range = std::numeric_limits<double>::quiet_NaN();
    CVector* P = part.data();
    std::vector<double> negative = {1, 1, 1, 1, -5};
    std::vector<double> two = {1, 0, 1, 0, 0};
    std::vector<double> line = {1, 1, 1, 0, 0};
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
        {0, 0, 4, [&] { return t.TB_Transform(P, P, negative.data(), 5, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.TB_UpdateTransform(P, P, negative.data(), 5, &p); }, bad},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, two.data(), 5, &p, &map); }, 4},
        {0, 0, 4, [&] { return t.TB_UpdateTransform(P, P, line.data(), 5, &p); }, 3},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, line.data(), 3, &p, &map); }, 5},
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
        const TRANSFORM_PARMS start = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
        p = start;
        out = Sentinel();
        out.m_n1_d2 = cases[k].d2First;
        out.m_n2_d2 = cases[k].d2Second;
        const TCompOut before = out;
        count = cases[k].count;
        EXPECT_EQ(cases[k].call(), cases[k].status) << k;
        // Unchanged, or for the line's candidate finite (0 times NaN is NaN).
        EXPECT_EQ(cases[k].status == 5 ? 0.0 * Gap(p, start) : Gap(p, start), 0.0) << k;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << k;
        EXPECT_EQ(count, cases[k].count) << k;
    }
}

}  // namespace
