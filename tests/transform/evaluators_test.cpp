#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// A target as the instrument at the candidate placement sees it.
struct Sight {
    double range;
    double azimuth;
    double elevation;
};

const TRANSFORM_PARMS kPlacement = {0.2, -0.4, 1.3, 3.0, -2.0, 1.5};

// The nominal array of one view: position 0 is the view's Type 14 vector (seen along
// `reference`), then the targets. Each nominal point is the sight carried back through the
// placement, a = M^T (P - t), so that the evaluators' mapping gives the sight again.
std::vector<CVector> View(const Sight& reference, const std::vector<Sight>& sights,
                          const TRANSFORM_PARMS& placement = kPlacement) {
    const Mat3 M = ExpectedRotation(placement);
    std::vector<CVector> view;
    auto add = [&](const Sight& s, int type) {
        CVector seen;
        seen.Range = s.range;
        seen.Azimuth = s.azimuth;
        seen.Elevation = s.elevation;
        seen.Radian = true;
        seen.Sphr2Cart();
        const double p[3] = {seen.X - placement.X, seen.Y - placement.Y, seen.Z - placement.Z};
        view.push_back(PointAt(M.m[0][0] * p[0] + M.m[1][0] * p[1] + M.m[2][0] * p[2],
                               M.m[0][1] * p[0] + M.m[1][1] * p[1] + M.m[2][1] * p[2],
                               M.m[0][2] * p[0] + M.m[1][2] * p[1] + M.m[2][2] * p[2], type));
    };
    add(reference, 14);
    for (const Sight& s : sights) {
        add(s, 100);
    }
    return view;
}

CVector Seen(const Sight& s) {
    CVector v;
    v.Range = s.range;
    v.Azimuth = s.azimuth;
    v.Elevation = s.elevation;
    v.Radian = true;
    v.Type = 100;
    v.Sphr2Cart();
    return v;
}

// Change of the squared separation of two sights per unit of one model element, from central
// differences of the calibration itself (the element set to +-h, all else zero). The
// calibration is linear in each element and the squared separation smooth in the angles, so
// with h = 1e-4 the truncation is below 1e-8 of the slope; `perUnit` turns degrees into
// radians for the angular elements.
double SlopeByCalibration(const Sight& a, const Sight& b, double TMapper::*element,
                          double perUnit) {
    const double h = 1e-4;
    double squared[2];
    for (int side = 0; side < 2; ++side) {
        TMapper map{};
        map.*element = side == 0 ? h : -h;
        CVector pa = Seen(a);
        CVector pb = Seen(b);
        pa.Calibrate(&map);
        pb.Calibrate(&map);
        const double d = Distance(pa, pb);
        squared[side] = d * d;
    }
    return (squared[0] - squared[1]) / (2 * h) * perUnit;
}

double SeparationOf(const Sight& a, const Sight& b) {
    return Distance(Seen(a), Seen(b));
}

TCompOut Sentinel() {
    TCompOut out;
    std::memset(&out, 0, sizeof out);
    out.m_n1_d2 = out.m_n2_d2 = -7;
    out.m_n1_x0y0 = out.m_n2_x0y0 = -7;
    out.m_n1_axay = out.m_n2_axay = -7;
    out.m_n1_extra = out.m_n2_extra = -7;
    out.m_dDd2_model = out.m_dDx0y0_model = out.m_dDaxay_model = -7.0;
    return out;
}

// The half-angle sines sin(pi/4 - El/2) of elevations 0 and 0.6 differ by 0.241, of 0 and 0.5
// by 0.197: only the first pair separates the two-face terms.
TEST(Evaluators, TwoFaceNeedsTwoTargetsApartInElevation) {
    const struct {
        const char* what;
        Sight reference;
        std::vector<Sight> sights;
        int status;
    } cases[] = {
        {"0 and 0.6 rad", {5, 0, 0}, {{5, 0.1, 0.0}, {5, 0.3, 0.6}}, 0},
        {"0 and 0.5 rad", {5, 0, 0}, {{5, 0.1, 0.0}, {5, 0.3, 0.5}}, 1},
        {"one target", {5, 0, 0.9}, {{5, 0.1, 0.0}}, 1},
        {"the reference does not count", {5, 0, 0.9}, {{5, 0.1, 0.0}, {6, 0.2, 0.05}}, 1},
    };
    for (const auto& test : cases) {
        std::vector<CVector> view = View(test.reference, test.sights);
        TRANSFORM_PARMS p = kPlacement;
        CTransform transform;
        EXPECT_EQ(transform.Evaluate_FSBS(view.data(), &p, static_cast<int>(view.size())),
                  test.status)
            << test.what;
    }
}

// Sights 1 to 4: (1, 4) are 0.01 rad apart and 4.5 m; (1, 2) 0.05 rad and 5 m; (1, 3) are
// 0.02 rad apart but only 3 m. The reference, on the line of sight of 1 and 7 m beyond it,
// would beat them all.
TEST(Evaluators, OutsideChoosesTheFarPairSeenAtTheSmallestAngle) {
    const Sight reference = {9.0, 0.0, 0.0};
    const std::vector<Sight> sights = {
        {2.0, 0.0, 0.0}, {7.0, 0.05, 0.0}, {5.0, 0.0, 0.02}, {6.5, 0.01, 0.0}};
    const struct {
        const char* what;
        std::vector<Sight> sights;
        int status;
        int first;
        int second;
    } cases[] = {
        {"the smallest angle among far pairs", sights, 0, 1, 4},
        {"without the best one", {sights[0], sights[1], sights[2]}, 0, 1, 2},
        {"in line but 3.9 m apart", {{2.0, 0.0, 0.0}, {5.9, 0.01, 0.0}}, 1, -7, -7},
        {"nothing within 0.3491 rad",
         {{2.0, 0.0, 0.0}, {7.0, 0.4, 0.0}, {7.0, -0.4, 0.1}},
         2,
         -7,
         -7},
    };
    for (const auto& test : cases) {
        std::vector<CVector> view = View(reference, test.sights);
        TRANSFORM_PARMS p = kPlacement;
        TCompOut out = Sentinel();
        CTransform transform;
        EXPECT_EQ(transform.EvaluateOutside(view.data(), &p, static_cast<int>(view.size()), &out),
                  test.status)
            << test.what;
        EXPECT_EQ(out.m_n1_d2, test.first) << test.what;
        EXPECT_EQ(out.m_n2_d2, test.second) << test.what;
    }
}

// Two targets exactly on one line of sight, (2, 3, 5) and (4, 6, 10) with the identity
// placement: the cosine of their angle rounds to 1 + 2.2e-16, where acos has no value. They are
// still the pair seen at the smallest angle (0), ahead of a pair 0.05 rad apart.
TEST(Evaluators, OutsideKeepsAPairExactlyInLine) {
    std::vector<CVector> view = {PointAt(0, 0, 9, 14), PointAt(0, 0, 2), PointAt(-0.35, 0, 7),
                                 PointAt(2, 3, 5), PointAt(4, 6, 10)};
    CVector ruler;
    ASSERT_TRUE(std::isnan(ruler.InterVectorAngle(view[3], view[4])));
    TRANSFORM_PARMS identity = {};
    TCompOut out = Sentinel();
    CTransform transform;
    EXPECT_EQ(transform.EvaluateOutside(view.data(), &identity, 5, &out), 0);
    EXPECT_EQ(out.m_n1_d2, 3);
    EXPECT_EQ(out.m_n2_d2, 4);
}

// The D2 prediction: a reading uncertainty of 2.54e-5 over the change of the pair's squared
// separation per metre of D2, times the separation. D2 moves both ranges: two targets on
// opposite sides see their separation change by twice that (usable), two targets nearly on
// one line of sight hardly at all (not usable).
TEST(Evaluators, InsidePredictsTheD2UncertaintyOfThePair) {
    const struct {
        const char* what;
        Sight a;
        Sight b;
        int status;
    } cases[] = {
        {"on opposite sides", {4.0, 0.0, 0.0}, {4.0, 3.1, 0.0}, 0},
        {"0.1 rad apart in elevation", {3.0, 0.3, 0.0}, {8.0, 0.3, 0.1}, 5},
    };
    for (const auto& test : cases) {
        std::vector<CVector> view = View({1, 0, 0}, {{6, 1.0, 0.2}, test.a, test.b});
        TRANSFORM_PARMS p = kPlacement;
        TCompOut out = Sentinel();
        out.m_n1_d2 = 2;
        out.m_n2_d2 = 3;
        CTransform transform;
        EXPECT_EQ(transform.EvaluateInside(view.data(), &p, &out), test.status) << test.what;
        const double slope = SlopeByCalibration(test.a, test.b, &TMapper::D2, 1.0);
        const double expected = std::fabs(SeparationOf(test.a, test.b) * 2.54e-05 / slope);
        EXPECT_NEAR(out.m_dDd2_model, expected, 1e-6 * expected) << test.what;
        EXPECT_EQ(expected <= 2.54e-05, test.status == 0) << test.what;
    }
}

// A pair of one target with itself has no separation and no slope: 0/0 is not a precision,
// and the placement is reported unusable. Negative positions are refused.
TEST(Evaluators, InsideRefusesWhatHasNoPrediction) {
    std::vector<CVector> view = View({1, 0, 0}, {{3.0, 0.3, -0.3}, {8.0, 0.3, 0.6}});
    TRANSFORM_PARMS p = kPlacement;
    TCompOut out = Sentinel();
    out.m_n1_d2 = 1;
    out.m_n2_d2 = 1;
    CTransform transform;
    EXPECT_EQ(transform.EvaluateInside(view.data(), &p, &out), 5);
    out = Sentinel();
    out.m_n1_d2 = -1;
    out.m_n2_d2 = 2;
    EXPECT_EQ(transform.EvaluateInside(view.data(), &p, &out), compensation::kInvalidInput);
    EXPECT_EQ(out.m_dDd2_model, -7.0);
}

// Sights 1 to 3 lie within 0.3491 rad of azimuth of each other; the scores |dR sin(dEl)| are
// 7 sin 0.7 = 4.51 for (1, 2), 4 sin 0.3 = 1.18 for (1, 3) and 3 sin 0.4 = 1.17 for (2, 3).
// Sight 4 is a full radian away. The reference would score 5.2 with sight 2.
TEST(Evaluators, X0Y0ChoosesThePairWithTheMostLeverageInOneAzimuth) {
    const std::vector<Sight> sights = {
        {2.0, 0.10, -0.3}, {9.0, 0.20, 0.4}, {6.0, 0.15, 0.0}, {8.0, 1.20, -0.5}};
    std::vector<CVector> view = View({1.0, 0.12, -0.5}, sights);
    TRANSFORM_PARMS p = kPlacement;
    TCompOut out = Sentinel();
    CTransform transform;
    const int status = transform.Evaluate_x0y0(view.data(), &p, 5, &out);
    EXPECT_EQ(out.m_n1_x0y0, 1);
    EXPECT_EQ(out.m_n2_x0y0, 2);
    const double a = SlopeByCalibration(sights[0], sights[1], &TMapper::X0, 1.0);
    const double b = SlopeByCalibration(sights[0], sights[1], &TMapper::Y0, 1.0);
    const double expected = SeparationOf(sights[0], sights[1]) * 6.35e-06 / std::hypot(a, b);
    EXPECT_NEAR(out.m_dDx0y0_model, expected, 1e-6 * expected);
    EXPECT_EQ(status, expected < 2.54e-05 ? 0 : 7);
    EXPECT_EQ(status, 0);
}

TEST(Evaluators, X0Y0WithoutAPairInOneAzimuthOrWithoutLeverage) {
    CTransform transform;
    TRANSFORM_PARMS p = kPlacement;
    std::vector<CVector> spread = View({1, 0, 0}, {{2, 0.0, 0.0}, {5, 0.5, 0.2}, {7, 1.0, 0.1}});
    TCompOut out = Sentinel();
    EXPECT_EQ(transform.Evaluate_x0y0(spread.data(), &p, 4, &out), 6);
    EXPECT_EQ(out.m_n1_x0y0, -7);
    EXPECT_EQ(out.m_dDx0y0_model, -7.0);

    // Two targets close together in direction and range: chosen, but their separation barely
    // responds to X0 and Y0.
    const Sight a = {5.0, 0.0, 0.0};
    const Sight b = {5.3, 0.01, 0.01};
    std::vector<CVector> close = View({1, 2, 0}, {a, b});
    out = Sentinel();
    EXPECT_EQ(transform.Evaluate_x0y0(close.data(), &p, 3, &out), 7);
    EXPECT_EQ(out.m_n1_x0y0, 1);
    EXPECT_EQ(out.m_n2_x0y0, 2);
    const double expected = SeparationOf(a, b) * 6.35e-06 /
                            std::hypot(SlopeByCalibration(a, b, &TMapper::X0, 1.0),
                                       SlopeByCalibration(a, b, &TMapper::Y0, 1.0));
    EXPECT_NEAR(out.m_dDx0y0_model, expected, 1e-6 * expected);
}

// Azimuths 0, 0.6, 2.2 and -3.0 rad: the pairs 25 to 115 degrees apart are (1, 2) at 0.6,
// (2, 3) at 1.6 and (3, 4) at 5.2 - 2 pi = 1.08; (1, 3) at 2.2 is too wide, (1, 4) at 3.0 and
// (2, 4) at 2.68 after the wrap likewise. Of the three, the one with the smallest predicted
// value wins, computed here from the calibration's response to Ax and Ay (degrees, turned to
// radians).
TEST(Evaluators, AxAyChoosesTheMostSensitivePairAmongThoseApartInAzimuth) {
    const std::vector<Sight> sights = {
        {4.0, 0.0, 0.1}, {7.0, 0.6, -0.2}, {5.0, 2.2, 0.4}, {9.0, -3.0, 0.0}};
    const int usablePairs[3][2] = {{1, 2}, {2, 3}, {3, 4}};
    double best = 1e300;
    int bestPair = -1;
    for (int k = 0; k < 3; ++k) {
        const Sight& a = sights[usablePairs[k][0] - 1];
        const Sight& b = sights[usablePairs[k][1] - 1];
        const double perRadian = 1.0 / compensation::kDegToRad;
        const double value = SeparationOf(a, b) * 0.00036382819990807275 /
                             std::hypot(SlopeByCalibration(a, b, &TMapper::Ax, perRadian),
                                        SlopeByCalibration(a, b, &TMapper::Ay, perRadian));
        if (value < best) {
            best = value;
            bestPair = k;
        }
    }
    ASSERT_LT(best, 0.0003747143980155584);

    std::vector<CVector> view = View({1, 0.3, 0}, sights);
    CTransform transform;
    for (int minPairs : {2, 3}) {
        TRANSFORM_PARMS p = kPlacement;
        TCompOut out = Sentinel();
        // Three usable pairs: more than 2 is enough, more than 3 is not.
        EXPECT_EQ(transform.Evaluate_axay(view.data(), &p, 5, &out, minPairs),
                  minPairs < 3 ? 0 : 9);
        EXPECT_EQ(out.m_n1_axay, usablePairs[bestPair][0]);
        EXPECT_EQ(out.m_n2_axay, usablePairs[bestPair][1]);
        EXPECT_NEAR(out.m_dDaxay_model, best, 1e-6 * best);
    }
}

// Stored azimuths 170 and -170 degrees are 20 degrees apart across the seam: no usable pair.
// 170 and -100 degrees are 90 degrees apart: usable.
TEST(Evaluators, AxAyMeasuresAzimuthSeparationAcrossTheSeam) {
    const double deg = 3.141592653589793 / 180.0;
    CTransform transform;
    TRANSFORM_PARMS p = kPlacement;
    std::vector<CVector> across = View({1, 0, 0}, {{6, 170 * deg, 0.1}, {6, -170 * deg, 0.3}});
    TCompOut out = Sentinel();
    EXPECT_EQ(transform.Evaluate_axay(across.data(), &p, 3, &out, 0), 8);
    EXPECT_EQ(out.m_n1_axay, -7);

    std::vector<CVector> wide = View({1, 0, 0}, {{6, 170 * deg, 0.1}, {6, -100 * deg, 0.3}});
    out = Sentinel();
    EXPECT_EQ(transform.Evaluate_axay(wide.data(), &p, 3, &out, 0), 0);
    EXPECT_EQ(out.m_n1_axay, 1);
    EXPECT_EQ(out.m_n2_axay, 2);
}

// The D2 pair is sights 1 and 2 (azimuths 0 and 0.02: centre 0.01). Candidates within 0.17455
// rad of that centre and more than 3 m apart, never with sight 1 first nor sight 2 second:
//   (2, 3) 4.0 m apart, mean elevation -0.25, half difference 0.25
//   (2, 4) 3.1 m, -0.15, 0.15      (3, 4) 5.2 m, -0.40, 0.10
//   (3, 5) 4.3 m, -0.10, 0.40      (4, 5) 5.3 m,  0.00, 0.30
// Sight 1 is the lowest target, and (1, 3) would have the lowest mean (-0.55), but sight 1 may
// not come first. Sight 6 is outside the azimuth window.
TEST(Evaluators, ExtraOutsideChoosesTheLowestOrTheWidestPairBesideTheD2Pair) {
    const std::vector<Sight> sights = {{2.0, 0.0, -0.6},   {7.0, 0.02, 0.0}, {4.0, 0.05, -0.5},
                                       {9.0, -0.05, -0.3}, {6.0, 0.1, 0.3},  {8.0, 0.5, -0.8}};
    std::vector<CVector> view = View({3, 0.0, -1.0}, sights);
    const struct {
        const char* what;
        int side;
        int status;
        int first;
        int second;
    } cases[] = {
        {"lowest mean elevation", 0, 0, 3, 4},
        {"widest elevation difference", 1, 0, 3, 5},
    };
    CTransform transform;
    for (const auto& test : cases) {
        TRANSFORM_PARMS p = kPlacement;
        TCompOut out = Sentinel();
        out.m_n1_d2 = 1;
        out.m_n2_d2 = 2;
        EXPECT_EQ(transform.EvaluateExtraOutside(view.data(), &p, 7, &out, test.side), test.status)
            << test.what;
        EXPECT_EQ(out.m_n1_extra, test.first) << test.what;
        EXPECT_EQ(out.m_n2_extra, test.second) << test.what;
    }
}

TEST(Evaluators, ExtraOutsideWhenNoPairIsLowOrNoneQualifies) {
    CTransform transform;
    TRANSFORM_PARMS p = kPlacement;
    // Only (2, 3) qualifies, with a mean elevation of -0.05: chosen but not low enough.
    std::vector<CVector> high =
        View({1, 0, 0}, {{2.0, 0.0, 0.0}, {7.0, 0.02, 0.0}, {3.0, 0.05, -0.1}});
    TCompOut out = Sentinel();
    out.m_n1_d2 = 1;
    out.m_n2_d2 = 2;
    EXPECT_EQ(transform.EvaluateExtraOutside(high.data(), &p, 4, &out, 0), 1);
    EXPECT_EQ(out.m_n1_extra, 2);
    EXPECT_EQ(out.m_n2_extra, 3);

    // The third target is 2 m beyond the second: too close.
    std::vector<CVector> close =
        View({1, 0, 0}, {{2.0, 0.0, 0.0}, {7.0, 0.02, 0.0}, {9.0, 0.02, 0.0}});
    out = Sentinel();
    out.m_n1_d2 = 1;
    out.m_n2_d2 = 2;
    EXPECT_EQ(transform.EvaluateExtraOutside(close.data(), &p, 4, &out, 0), 202);
    EXPECT_EQ(out.m_n1_extra, -7);
}

// The D2 pair's positions address the target array: outside it they are refused before
// anything is read or written.
TEST(Evaluators, ExtraOutsideRefusesAD2PairOutsideTheTargets) {
    std::vector<CVector> view = View({1, 0, 0}, {{2.0, 0.0, 0.0}, {7.0, 0.02, 0.0}});
    CTransform transform;
    const int pairs[][2] = {{1, 3}, {3, 1}, {-1, 2}, {1, -2}};
    for (const auto& pair : pairs) {
        TRANSFORM_PARMS p = kPlacement;
        TCompOut out = Sentinel();
        out.m_n1_d2 = pair[0];
        out.m_n2_d2 = pair[1];
        EXPECT_EQ(transform.EvaluateExtraOutside(view.data(), &p, 3, &out, 0),
                  compensation::kInvalidInput);
        EXPECT_EQ(out.m_n1_extra, -7);
    }
}

}  // namespace
