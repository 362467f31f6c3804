#include <tuple>

#include "transform_fixtures.h"

namespace {

using namespace transform_test;

constexpr double kDeg = compensation::testing::kRadiansPerDegree;

// A target as the instrument at the candidate placement sees it.
struct Sight {
    double r, az, el;
};

// A view's nominal array (Type 14 vector first): each sight's point carried back through p.
std::vector<CVector> View(const std::vector<Sight>& sights, const TRANSFORM_PARMS& p) {
    std::vector<CVector> view;
    for (const Sight& s : sights) {
        const Point seen = {-s.r * std::cos(s.el) * std::sin(s.az), s.r * std::sin(s.el),
                            s.r * std::cos(s.el) * std::cos(s.az)};
        view.push_back(PointAt(Unapply(p, seen), view.empty() ? 14 : 100));
    }
    return view;
}

enum Kind { kFsbs, kOutside, kInside, kX0Y0, kAxAy, kExtra };

// One evaluator's status from p, D2 pair (1, 2); pairs: the d2, x0y0, axay, extra fields.
int Evaluate(Kind kind, int arg, std::vector<CVector> view, TRANSFORM_PARMS p, int pairs[8]) {
    CTransform t;
    TCompOut out = Sentinel();
    out.m_n1_d2 = kind == kInside || kind == kExtra ? 1 : -7;
    out.m_n2_d2 = kind == kInside || kind == kExtra ? 2 : -7;
    CVector* v = view.data();
    const int n = static_cast<int>(view.size());
    const int status = kind == kFsbs      ? t.Evaluate_FSBS(v, &p, n)
                       : kind == kOutside ? t.EvaluateOutside(v, &p, n, &out)
                       : kind == kInside  ? t.EvaluateInside(v, &p, &out)
                       : kind == kX0Y0    ? t.Evaluate_x0y0(v, &p, n, &out)
                       : kind == kAxAy    ? t.Evaluate_axay(v, &p, n, &out, arg)
                                          : t.EvaluateExtraOutside(v, &p, n, &out, arg);
    std::memcpy(pairs, &out.m_n1_d2, 8 * sizeof(std::int32_t));
    return status;
}

// Hand-built views; sight 0 is the Type 14 vector, which never pairs; pair (i, j) reads 10 i + j.
TEST(Evaluators, ChooseTheRightPairs) {
    const std::vector<Sight> line = {
        {9, 0, 0}, {2, 0, 0}, {7, 0.05, 0}, {5, 0, 0.02}, {6.5, 0.01, 0}};
    const std::vector<Sight> wide = {
        {1, 0.3, 0}, {4, 0, 0.1}, {7, 0.6, -0.2}, {5, 2.2, 0.4}, {9, -3, 0}};
    const std::vector<Sight> low = {{3, 0, -1},       {2, 0, -0.6},  {7, 0.02, 0},  {4, 0.05, -0.5},
                                    {9, -0.05, -0.3}, {6, 0.1, 0.3}, {8, 0.5, -0.8}};
    const std::tuple<Kind, int, int, int, int, std::vector<Sight>> cases[] = {
        // sin(pi/4 - El/2) of elevations 0 and 0.6 differ by 0.241 > 0.2, of 0 and 0.5 by 0.197.
        {kFsbs, 0, 0, -7, -7, {{5, 0, 0}, {5, 0.1, 0}, {5, 0.3, 0.6}}},
        {kFsbs, 0, 1, -7, -7, {{5, 0, 0}, {5, 0.1, 0}, {5, 0.3, 0.5}}},
        {kFsbs, 0, 1, -7, -7, {{5, 0, 0.9}, {5, 0.1, 0}, {6, 0.2, 0.05}}},
        // (1, 4) 0.01 rad apart, 4.5 m; (1, 2) 0.05 rad, 5 m; (1, 3) 3 m; 0 in line with 1.
        {kOutside, 0, 0, 1, 4, line},
        {kOutside, 0, 0, 1, 2, {line.begin(), line.begin() + 4}},
        {kOutside, 0, 1, -7, -7, {{9, 0, 0}, {2, 0, 0}, {5.9, 0.01, 0}}},
        {kOutside, 0, 2, -7, -7, {{9, 0, 0}, {2, 0, 0}, {7, 0.4, 0}, {7, -0.4, 0.1}}},
        // Within 0.3491 rad of azimuth |dR sin(dEl)| is 4.51 for (1, 2), 1.18 and 1.17 else.
        {kX0Y0, 0, 0, 1, 2, {{1, 0.12, -0.5}, {2, 0.1, -0.3}, {9, 0.2, 0.4}, {6, 0.15, 0}}},
        {kX0Y0, 0, 6, -7, -7, {{1, 0, 0}, {2, 0, 0}, {5, 0.5, 0.2}, {7, 1, 0.1}}},
        {kX0Y0, 0, 7, 1, 2, {{1, 2, 0}, {5, 0, 0}, {5.3, 0.01, 0.01}}},
        // 25 to 115 degrees apart (across the seam): (1, 2), (2, 3), (3, 4) the most sensitive.
        {kAxAy, 2, 0, 3, 4, wide},
        {kAxAy, 3, 9, 3, 4, wide},
        {kAxAy, 0, 8, -7, -7, {{1, 0, 0}, {6, 170 * kDeg, 0.1}, {6, -170 * kDeg, 0.3}}},
        {kAxAy, 0, 0, 1, 2, {{1, 0, 0}, {6, 170 * kDeg, 0.1}, {6, -100 * kDeg, 0.3}}},
        // D2 from targets on opposite sides is usable, from nearly one line of sight not.
        {kInside, 0, 0, 1, 2, {{1, 0, 0}, {4, 0, 0}, {4, 3.1, 0}}},
        {kInside, 0, 5, 1, 2, {{1, 0, 0}, {3, 0.3, 0}, {8, 0.3, 0.1}}},
        // Not 1 first or 2 second, over 3 m apart, near the D2 pair: lowest, widest either way
        // round, high, close.
        {kExtra, 0, 0, 3, 4, low},
        {kExtra, 1, 0, 3, 5, low},
        {kExtra, 1, 0, 3, 4, {{1, 0, 0}, {2, 0, 0}, {7, 0.02, 0}, {4, 0.05, 0.4}, {9, 0, -0.3}}},
        {kExtra, 0, 1, 2, 3, {{1, 0, 0}, {2, 0, 0}, {7, 0.02, 0}, {3, 0.05, -0.1}}},
        {kExtra, 0, 202, -7, -7, {{1, 0, 0}, {2, 0, 0}, {7, 0.02, 0}, {9, 0.02, 0}}},
    };
    const TRANSFORM_PARMS placement = {0.2, -0.4, 1.3, 3.0, -2.0, 1.5};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& [kind, arg, status, first, second, view] = cases[k];
        const int slot = kind <= kInside ? 0 : 2 * (kind - kInside);
        int pairs[8];
        EXPECT_EQ(Evaluate(kind, arg, View(view, placement), placement, pairs), status) << k;
        EXPECT_EQ(pairs[slot] * 10 + pairs[slot + 1], first * 10 + second) << k;
    }
    // On one line of sight the cosine rounds above 1 (no acos), yet (3, 4) is the closest pair.
    std::vector<CVector> inLine =
        Points({{0, 0, 9}, {0, 0, 2}, {-0.35, 0, 7}, {2, 3, 5}, {4, 6, 10}});
    inLine[0].Type = 14;
    ASSERT_TRUE(std::isnan(CVector().InterVectorAngle(inLine[3], inLine[4])));
    int pairs[8];
    EXPECT_EQ(Evaluate(kOutside, 0, inLine, {}, pairs), 0);
    EXPECT_EQ(pairs[0] * 10 + pairs[1], 34);
}

}  // namespace
