#include <utility>

#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// A target as the instrument at the candidate placement sees it.
struct Sight {
    double range, azimuth, elevation;
};

const TRANSFORM_PARMS kPlacement = {0.2, -0.4, 1.3, 3.0, -2.0, 1.5};
constexpr double kDeg = 3.141592653589793 / 180.0;

CVector Seen(const Sight& s) {
    CVector v;
    v.Range = s.range;
    v.Azimuth = s.azimuth;
    v.Elevation = s.elevation;
    v.Radian = true;
    v.Sphr2Cart();
    return v;
}

// One view's nominal array: the Type 14 vector first, then the targets, each carried back
// through the placement so that the evaluators' mapping gives the sight again.
std::vector<CVector> View(const std::vector<Sight>& sights) {
    std::vector<CVector> view;
    for (const Sight& s : sights) {
        const CVector seen = Seen(s);
        view.push_back(
            PointAt(Unapply(kPlacement, {seen.X, seen.Y, seen.Z}), view.empty() ? 14 : 100));
    }
    return view;
}

enum Kind { kFsbs, kOutside, kInside, kX0Y0, kAxAy, kExtra };
using Field = std::int32_t TCompOut::*;
const std::pair<Field, Field> kPairOf[] = {
    {&TCompOut::m_n1_d2, &TCompOut::m_n2_d2},     {&TCompOut::m_n1_d2, &TCompOut::m_n2_d2},
    {&TCompOut::m_n1_d2, &TCompOut::m_n2_d2},     {&TCompOut::m_n1_x0y0, &TCompOut::m_n2_x0y0},
    {&TCompOut::m_n1_axay, &TCompOut::m_n2_axay}, {&TCompOut::m_n1_extra, &TCompOut::m_n2_extra}};

int Evaluate(Kind kind, int arg, std::vector<CVector> view, TCompOut* out) {
    CTransform t;
    TRANSFORM_PARMS p = kPlacement;
    CVector* v = view.data();
    const int n = static_cast<int>(view.size());
    return kind == kFsbs      ? t.Evaluate_FSBS(v, &p, n)
           : kind == kOutside ? t.EvaluateOutside(v, &p, n, out)
           : kind == kInside  ? t.EvaluateInside(v, &p, out)
           : kind == kX0Y0    ? t.Evaluate_x0y0(v, &p, n, out)
           : kind == kAxAy    ? t.Evaluate_axay(v, &p, n, out, arg)
                              : t.EvaluateExtraOutside(v, &p, n, out, arg);
}

// Hand-built views (the first sight is the Type 14 vector, which never pairs); the D2 pair of
// the inside and extra evaluations is (1, 2).
TEST(Evaluators, ChooseTheRightPairs) {
    const std::vector<Sight> line = {
        {9, 0, 0}, {2, 0, 0}, {7, 0.05, 0}, {5, 0, 0.02}, {6.5, 0.01, 0}};
    const std::vector<Sight> wide = {
        {1, 0.3, 0}, {4, 0, 0.1}, {7, 0.6, -0.2}, {5, 2.2, 0.4}, {9, -3, 0}};
    const std::vector<Sight> low = {{3, 0, -1},       {2, 0, -0.6},  {7, 0.02, 0},  {4, 0.05, -0.5},
                                    {9, -0.05, -0.3}, {6, 0.1, 0.3}, {8, 0.5, -0.8}};
    const struct {
        Kind kind;
        int arg, status, first, second;
        std::vector<Sight> view;
    } cases[] = {
        // sin(pi/4 - El/2) of elevations 0 and 0.6 differ by 0.241 > 0.2, of 0 and 0.5 by 0.197.
        {kFsbs, 0, 0, -7, -7, {{5, 0, 0}, {5, 0.1, 0}, {5, 0.3, 0.6}}},
        {kFsbs, 0, 1, -7, -7, {{5, 0, 0}, {5, 0.1, 0}, {5, 0.3, 0.5}}},
        {kFsbs, 0, 1, -7, -7, {{5, 0, 0.9}, {5, 0.1, 0}, {6, 0.2, 0.05}}},
        // (1, 4) 0.01 rad apart and 4.5 m, (1, 2) 0.05 rad and 5 m, (1, 3) 0.02 rad but 3 m; in
        // line but 3.9 m apart gives 1, nothing within 0.3491 rad 2.
        {kOutside, 0, 0, 1, 4, line},
        {kOutside, 0, 0, 1, 2, {line.begin(), line.begin() + 4}},
        {kOutside, 0, 1, -7, -7, {{9, 0, 0}, {2, 0, 0}, {5.9, 0.01, 0}}},
        {kOutside, 0, 2, -7, -7, {{9, 0, 0}, {2, 0, 0}, {7, 0.4, 0}, {7, -0.4, 0.1}}},
        // |dR sin(dEl)| 4.51 for (1, 2), 1.18 for (1, 3), 1.17 for (2, 3), all within 0.3491 rad
        // of azimuth; targets a radian apart, or close and barely responding to X0/Y0.
        {kX0Y0, 0, 0, 1, 2, {{1, 0.12, -0.5}, {2, 0.1, -0.3}, {9, 0.2, 0.4}, {6, 0.15, 0}}},
        {kX0Y0, 0, 6, -7, -7, {{1, 0, 0}, {2, 0, 0}, {5, 0.5, 0.2}, {7, 1, 0.1}}},
        {kX0Y0, 0, 7, 1, 2, {{1, 2, 0}, {5, 0, 0}, {5.3, 0.01, 0.01}}},
        // Pairs 25 to 115 degrees apart: (1, 2) 0.6 rad, (2, 3) 1.6, (3, 4) 5.2 - 2 pi = 1.08,
        // the last most sensitive; three pairs are more than 2, not more than 3. 170 and -170
        // degrees are 20 apart, 170 and -100 degrees 90.
        {kAxAy, 2, 0, 3, 4, wide},
        {kAxAy, 3, 9, 3, 4, wide},
        {kAxAy, 0, 8, -7, -7, {{1, 0, 0}, {6, 170 * kDeg, 0.1}, {6, -170 * kDeg, 0.3}}},
        {kAxAy, 0, 0, 1, 2, {{1, 0, 0}, {6, 170 * kDeg, 0.1}, {6, -100 * kDeg, 0.3}}},
        // D2 from targets on opposite sides is usable, from targets nearly on one line of sight
        // not.
        {kInside, 0, 0, 1, 2, {{1, 0, 0}, {4, 0, 0}, {4, 3.1, 0}}},
        {kInside, 0, 5, 1, 2, {{1, 0, 0}, {3, 0.3, 0}, {8, 0.3, 0.1}}},
        // Extra pair, within 0.17455 rad of the D2 pair's azimuth, over 3 m apart, never 1 first
        // or 2 second; mean elevation and half difference: (2, 3) -0.25, 0.25; (2, 4) -0.15,
        // 0.15; (3, 4) -0.40, 0.10; (3, 5) -0.10, 0.40; (4, 5) 0.00, 0.30. A mean of -0.05 is not
        // low enough; 2 m beyond the D2 pair is too close.
        {kExtra, 0, 0, 3, 4, low},
        {kExtra, 1, 0, 3, 5, low},
        {kExtra, 0, 1, 2, 3, {{1, 0, 0}, {2, 0, 0}, {7, 0.02, 0}, {3, 0.05, -0.1}}},
        {kExtra, 0, 202, -7, -7, {{1, 0, 0}, {2, 0, 0}, {7, 0.02, 0}, {9, 0.02, 0}}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& test = cases[k];
        TCompOut out = Sentinel();
        if (test.kind == kInside || test.kind == kExtra) {
            out.m_n1_d2 = 1;
            out.m_n2_d2 = 2;
        }
        EXPECT_EQ(Evaluate(test.kind, test.arg, View(test.view), &out), test.status) << k;
        EXPECT_EQ(out.*kPairOf[test.kind].first, test.first) << k;
        EXPECT_EQ(out.*kPairOf[test.kind].second, test.second) << k;
    }
}

// Targets on one line of sight round the cosine of their angle a unit above 1, where acos has
// no value: they are still the pair seen at the smallest angle, ahead of one 0.05 rad apart.
TEST(Evaluators, OutsideKeepsAPairExactlyInLine) {
    std::vector<CVector> view =
        Points({{0, 0, 9}, {0, 0, 2}, {-0.35, 0, 7}, {2, 3, 5}, {4, 6, 10}});
    view[0].Type = 14;
    ASSERT_TRUE(std::isnan(CVector().InterVectorAngle(view[3], view[4])));
    TRANSFORM_PARMS identity = {};
    TCompOut out = Sentinel();
    EXPECT_EQ(CTransform().EvaluateOutside(view.data(), &identity, 5, &out), 0);
    EXPECT_EQ(out.m_n1_d2 * 10 + out.m_n2_d2, 34);
}

}  // namespace
