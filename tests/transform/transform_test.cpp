// The mapping, the best and tooling-ball fits, and the input faults of the transform subsystem.
#include <algorithm>
#include <functional>
#include <numeric>
#include <tuple>

#include "transform/gauss_newton.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

const std::vector<Point> kMapped = {{4, -3, 11}, {-9, 5, 2}, {0.5, 0.2, -7}};

// GetNextVector maps into the object's own result as the independent mapping does: a few
// products of coordinates within 15 m round to some 1e-15 m, and 1e-14 allows for them.
TEST(TransformCore, GetNextVectorPlacesEveryPoint) {
    std::vector<CVector> points = Points(kMapped);
    for (TRANSFORM_PARMS p : kTruths) {
        CTransform transform;
        for (int i = 0; i < 3; ++i) {
            const CVector* mapped = transform.GetNextVector(i, &p, points.data());
            const Point e = Apply(p, kMapped[static_cast<std::size_t>(i)]);
            EXPECT_LT(std::hypot(mapped->X - e.x, mapped->Y - e.y, mapped->Z - e.z), 1e-14);
            EXPECT_NEAR(mapped->Range, std::hypot(e.x, e.y, e.z), 1e-14);
        }
    }
}

// The Jacobian matches the central differences of the mapping: with h = 1e-5 their truncation
// is below 2.5e-10 and their rounding below 3.3e-10 on these coordinates; 2e-9 holds both.
TEST(TransformCore, TheJacobianIsTheMappingsDerivative) {
    std::vector<CVector> points = Points(kMapped);
    const double h = 1e-5;
    for (TRANSFORM_PARMS p : kTruths) {
        double M[3][3];
        CTransform().RotationMatrix(&p, M);
        CTransform transform;
        for (int i = 0; i < 3; ++i) {
            double J[3][compensation::kTransformParameters];
            compensation::TransformJacobian(p, M, points[i].X, points[i].Y, points[i].Z, J);
            for (int c = 0; c < compensation::kTransformParameters; ++c) {
                TRANSFORM_PARMS plus = p;
                TRANSFORM_PARMS minus = p;
                plus.*kParameterMembers[c] += h;
                minus.*kParameterMembers[c] -= h;
                const CVector up = *transform.GetNextVector(i, &plus, points.data());
                const CVector down = *transform.GetNextVector(i, &minus, points.data());
                EXPECT_NEAR(J[0][c], (up.X - down.X) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[1][c], (up.Y - down.Y) / (2 * h), 2e-9) << i << "," << c;
                EXPECT_NEAR(J[2][c], (up.Z - down.Z) / (2 * h), 2e-9) << i << "," << c;
            }
        }
    }
}

// Each object maps into its own result: a second object's call leaves the first one's alone,
// which is what lets separate objects run on separate threads.
TEST(TransformCore, SeparateObjectsKeepTheirOwnResults) {
    std::vector<CVector> points = Points({{4, -3, 11}, {-9, 5, 2}});
    TRANSFORM_PARMS p = kTruths[0];
    TMapper model = TypicalModel();
    CTransform first;
    CTransform second;
    const CVector* mapped = first.GetNextVector(0, &p, points.data());
    const CVector* reading = first.GetNextVectorCal(0, &p, points.data(), &model);
    const CVector mappedBefore = *mapped;
    const CVector readingBefore = *reading;
    EXPECT_NE(second.GetNextVector(1, &p, points.data()), mapped);
    EXPECT_NE(second.GetNextVectorCal(1, &p, points.data(), &model), reading);
    EXPECT_EQ(mapped->X, mappedBefore.X);
    EXPECT_EQ(reading->Range, readingBefore.Range);
    // and every call of an object maps into that one result
    EXPECT_EQ(first.GetNextVector(1, &p, points.data()), mapped);
}

// The best fit from the start in *p, or the tooling-ball fit (no start) at weights w, else 1.
int Fit(bool balls, std::vector<CVector> nominal, std::vector<CVector> measured, TMapper map,
        TRANSFORM_PARMS* p, std::vector<double> w = {}) {
    const int n = static_cast<int>(nominal.size());
    w.resize(nominal.size(), 1.0);
    return balls ? CTransform().TB_Transform(nominal.data(), measured.data(), w.data(), n, p, &map)
                 : CTransform().UpdateTransform(nominal.data(), measured.data(), n, p, &map);
}

// Exact readings of a 12 m part leave only rounding, times 1/cos(Beta)^2 < 1000 near the pole:
// 1e-9 rad and m hold it, far below any wrong solution.
TEST(TransformFits, ExactReadingsGiveTheChosenPlacementBack) {
    const std::vector<Point> part = {{0, 0, 0},  {4, 0, 1},  {0, 3, 2},   {1, 1, 6},
                                     {-5, 2, 3}, {3, -4, 8}, {-2, -3, 5}, {6, 5, -2}};
    const TMapper map = TypicalModel();
    for (bool balls : {false, true}) {
        for (const TRANSFORM_PARMS& t : kTruths) {
            TRANSFORM_PARMS fitted = {t.Alpha + 0.03, t.Beta - 0.03, t.Gamma, t.X + 0.2, t.Y, t.Z};
            EXPECT_EQ(Fit(balls, Points(part), Measure(part, t, map), map, &fitted), 0);
            EXPECT_LT(Gap(fitted, t), 1e-9) << balls << " " << t.Beta;
        }
    }
}

// With noise sigma on N = 40 points the placement lies within 10 sigma / sqrt(N) (lever 10 m),
// and the RMS is sigma sqrt((3N - 6) / N) (3N - 6 degrees of freedom) within 20 %, three relative
// spreads 1 / sqrt(2 (3N - 6)).
TEST(TransformFits, NoisyReadingsStayWithinTheirSpread) {
    std::vector<Point> cloud;
    for (int i = 0; i < 40; ++i) {
        cloud.push_back({10 * std::sin(1.3 * i), 10 * std::cos(2.1 * i), 10 * std::sin(0.7 * i)});
    }
    TMapper map = TypicalModel();
    const double sigma = 1e-05;
    const TRANSFORM_PARMS& t0 = kTruths[0];
    for (bool balls : {false, true}) {
        std::vector<CVector> nominal = Points(cloud);
        std::vector<CVector> measured = Measure(cloud, t0, map, sigma);
        TRANSFORM_PARMS fitted = {t0.Alpha - 0.02, t0.Beta, t0.Gamma, t0.X, t0.Y + 0.1, t0.Z};
        ASSERT_EQ(Fit(balls, nominal, measured, map, &fitted), 0);
        EXPECT_LT(Gap(fitted, t0, 10.0), 10 * sigma / std::sqrt(40)) << balls;
        std::vector<double> w(40, 1.0);
        for (int i = 0; i < 40; ++i) {
            measured[i].Calibrate(&map);
            nominal[i] = *CTransform().GetNextVector(i, &fitted, nominal.data());
        }
        const double expected = sigma * std::sqrt(114.0 / 40);
        EXPECT_NEAR(CTransform().RMS_Transform(measured.data(), nominal.data(), w.data(), 40),
                    expected, 0.2 * expected);
    }
}

// Cube corners (half-side L) against the same shrunk by c, from a start turned e about X: each
// step turns e into e - c sin(e) at an RMS of L sqrt(3 + 3 c^2 - 2 c - 4 c cos e), so the
// stopping rules run on that closed form; thirty steps of rounding stay within 1e-12.
TEST(BestFit, StopsAsTheClosedFormOfAShrunkCubeSays) {
    const std::tuple<double, double, double, int> cases[] = {
        {0.5, 0.3, 1.0, 0},     // converges after 19 steps
        {0.2, 1.0, 1.0, 2},     // still moving 3.5e-4 rad after 30 steps
        {0.4, 2.074, 1.0, 2},   // steps 29 and 30 move 1.25e-6 and 7.5e-7
        {3.0, 0.5, 1.0, 1},     // the first step overshoots: the RMS rises by 0.44
        {3.0, 0.02, 1e-04, 1},  // rises of 1.0e-7 and 4.1e-7 pass, the third (1.6e-6) stops
    };
    for (const auto& [c, start, L, status] : cases) {
        auto rms = [c = c, L = L](double e) {
            return L * std::sqrt(3 + 3 * c * c - 2 * c - 4 * c * std::cos(e));
        };
        double e = start;
        int expected = -1;
        for (int step = 1; expected < 0; ++step) {
            const double next = e - c * std::sin(e);
            expected = rms(next) > rms(e) + 1e-06     ? 1
                       : step == 30                   ? 2
                       : std::fabs(next - e) <= 1e-06 ? 0
                                                      : -1;
            e = expected == 1 ? e : next;
        }
        ASSERT_EQ(expected, status) << c << " " << start;
        std::vector<Point> corners;
        for (int k = 0; k < 16; ++k) {
            const double s = k < 8 ? L : c * L;
            corners.push_back({k & 1 ? s : -s, k & 2 ? s : -s, k & 4 ? s : -s});
        }
        const std::vector<CVector> both = Points(corners);
        TRANSFORM_PARMS fitted = {start, 0, 0, 0, 0, 0};
        EXPECT_EQ(Fit(false, {both.begin(), both.begin() + 8}, {both.begin() + 8, both.end()},
                      TMapper{}, &fitted),
                  status);
        EXPECT_LT(Gap(fitted, {e, 0, 0, 0, 0, 0}, L), 1e-12 * L) << c << " " << start;
    }
}

// First point distinguished, exact or 1 mm off, start 0.3 rad about X: a point off its line to
// the neighbour (|cos| < 0.7) drops the auxiliary point (at 0.71 it pulls to the start), two more
// spanning a plane drop the distinguished point; on a line (2 points, a neighbour 999.9 m off)
// both keep weight and the start holds.
TEST(BestFit, WeightsOfTheDistinguishedAndTheAuxiliaryPoint) {
    const TRANSFORM_PARMS truth = {0.4, 0.0, 0.0, 1.0, -2.0, 6.0};
    const TRANSFORM_PARMS start = {0.1, 0.0, 0.0, 1.0, -2.0, 6.0};
    const std::tuple<std::vector<Point>, double, const TRANSFORM_PARMS*, bool> cases[] = {
        {{{0, 0, 0}, {1, 0, 0}, {3 * 0.69, 3 * std::sqrt(1 - 0.69 * 0.69), 0}}, 0.0, &truth, true},
        {{{0, 0, 0}, {1, 0, 0}, {3 * 0.71, 3 * std::sqrt(1 - 0.71 * 0.71), 0}}, 0.0, &truth, false},
        {{{0, 0, 0}, {1, 0, 0}, {0, 3, 0}, {0, 0, 5}, {3, 3, 3}}, 1e-3, &truth, true},
        {{{1, 0, 0}, {4, 0, 0}, {2, 0, 0}}, 0.0, &start, true},
        {{{1, 0, 0}, {4, 0, 0}, {2, 0, 0}}, 1e-3, &start, false},
        {{{1, 0, 0}, {5, 0, 0}}, 0.0, &start, true},
        {{{1, 0, 0}, {1000.9, 0, 0}}, 0.0, &start, true},
    };
    for (const auto& [part, shift, near, close] : cases) {
        std::vector<CVector> measured = Measure(part, truth, TMapper{});
        const Point at = Apply(truth, part[0]);
        measured[0] = PointAt({at.x + shift, at.y, at.z}, 14);
        TRANSFORM_PARMS fitted = start;
        EXPECT_EQ(Fit(false, Points(part), measured, TMapper{}, &fitted), 0) << part[1].x;
        const double gap = Gap(fitted, *near);
        EXPECT_TRUE(close ? gap < 1e-9 : gap > 1e-5) << part[1].x << " " << shift << " " << gap;
    }
}

// One weighted triple's closed form, unrefined for want of four weights: 0, or 5 with the
// candidate kept when BasisMatrix flags frames within 5 degrees of a line (rounding x 11).
TEST(ToolingBalls, ClosedFormOfOneTriple) {
    TMapper map = TypicalModel();
    for (auto [degrees, status] :
         {std::pair{90.0, 0}, {5.01, 0}, {4.99, 5}, {174.99, 0}, {175.01, 5}, {-4.99, 5}}) {
        const double phi = degrees * compensation::testing::kRadiansPerDegree;
        const Point q = {1.5 * std::cos(phi), 1.5 * std::sin(phi), 0.5};
        const std::vector<Point> balls = {{2, 0, 0.5}, q, {-2 - q.x, -q.y, 0.5}, {1, 1, 3}};
        TRANSFORM_PARMS fitted = {};
        EXPECT_EQ(
            Fit(true, Points(balls), Measure(balls, kTruths[1], map), map, &fitted, {1, 2, 0.5, 0}),
            status);
        EXPECT_LT(Gap(fitted, kTruths[1]), 1e-12) << degrees;
    }
}

// The first three of these six balls lie on a line: exactly (no plane; the substitute frame
// happens to fit exact data perfectly) or within a degree (a plane too narrow to trust, which
// fits exact data as well). Neither may block the usable triples nor make the result depend on
// the order of the balls: every order of the six balls (and of the first four) gives status 0
// and the placement, to rounding (exact data, lever arms of a few metres).
TEST(ToolingBalls, ATripleNearALineServesOnlyAsTheLastResort) {
    const std::vector<Point> rest = {{0.5, 2, 6}, {-1, 1, 4}, {2, -1, 7}};
    const TRANSFORM_PARMS identity = {};
    const TRANSFORM_PARMS turnedAboutZ = {0.0, 0.0, 0.3, 0.0, 0.0, 0.0};
    const TMapper map{};
    for (const double offLine : {0.0, 0.02}) {
        std::vector<Point> balls = {{0, 0, 5}, {1, 0, 5}, {3, offLine, 5}};
        balls.insert(balls.end(), rest.begin(), rest.end());
        for (const TRANSFORM_PARMS& truth : {identity, turnedAboutZ}) {
            for (const std::size_t n : {std::size_t{4}, std::size_t{6}}) {
                std::vector<int> order(n);
                std::iota(order.begin(), order.end(), 0);
                do {
                    std::vector<Point> nominal;
                    std::vector<Point> measured;
                    for (const int i : order) {
                        nominal.push_back(balls[static_cast<std::size_t>(i)]);
                        measured.push_back(Apply(truth, balls[static_cast<std::size_t>(i)]));
                    }
                    std::vector<CVector> readings = Points(measured);
                    for (CVector& v : readings) {
                        v.FSBS = 0;
                    }
                    TRANSFORM_PARMS fitted = {};
                    ASSERT_EQ(Fit(true, Points(nominal), readings, map, &fitted), 0)
                        << "off the line " << offLine << ", Gamma " << truth.Gamma
                        << ", first ball " << order[0] << " of " << n;
                    ASSERT_LT(Gap(fitted, truth, 10.0), 1e-12) << truth.Gamma << " " << n;
                } while (std::next_permutation(order.begin(), order.end()));
            }
        }
        // The three balls near the line alone: no usable triple, so 5 with its candidate.
        const std::vector<Point> line(balls.begin(), balls.begin() + 3);
        TRANSFORM_PARMS fitted = {};
        EXPECT_EQ(Fit(true, Points(line), Points(line), map, &fitted), 5);
        EXPECT_LT(Gap(fitted, identity), 1e-12);
    }
}

// Unfittable or unaddressable input gets its code, nothing written; balls on a line: 5 and a
// finite candidate (0 * NaN is NaN).
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
    const std::tuple<int, int, int, std::function<int()>, int> cases[] = {
        {0, 0, 4, [&] { return t.UpdateTransform(far.data(), far.data(), 3, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.UpdateTransform(twin.data(), twin.data(), 3, &p, &map); }, bad},
        {0, 0, 4, [&] { return t.UpdateTransform(P, nan.data(), 5, &p, &map); }, 1},
        {0, 0, 4, [&] { return t.UpdateTransform(P, P, 2, &p, &map); }, 3},
        {0, 0, 4, [&] { return t.TB_Transform(P, P, negative, 5, &p, &map); }, bad},
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
        const auto& [d2First, d2Second, countIn, call, status] = cases[k];
        const TRANSFORM_PARMS start = p = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
        out = Sentinel();
        out.m_n1_d2 = d2First;
        out.m_n2_d2 = d2Second;
        const TCompOut before = out;
        count = countIn;
        EXPECT_EQ(call(), status) << k;
        EXPECT_EQ(status == 5 ? 0.0 * Gap(p, start) : Gap(p, start), 0.0) << k;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << k;
        EXPECT_EQ(count, countIn) << k;
    }
}

}  // namespace
