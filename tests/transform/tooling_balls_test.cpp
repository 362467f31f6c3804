#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

constexpr double kDegree = 3.141592653589793 / 180.0;

// Frame rows are orthonormal and right-handed: M M^T = I and det M = +1.
void ExpectRightHandedFrame(const double M[3][3]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double dot = M[r][0] * M[c][0] + M[r][1] * M[c][1] + M[r][2] * M[c][2];
            EXPECT_NEAR(dot, r == c ? 1.0 : 0.0, 1e-15) << r << "," << c;
        }
    }
    const double det = M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                       M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                       M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
    EXPECT_NEAR(det, 1.0, 1e-15);
}

// Three points whose centroid is the origin, with the first two at the angle phi as seen from
// it: the frame's plane test is |asin(sin phi)| < 5 degrees, so a triple is near-collinear
// within 5 degrees of 0 and of 180 degrees.
TEST(ToolingBalls, BasisMatrixFlagsTriplesWithinFiveDegreesOfALine) {
    const struct {
        double degrees;
        int flag;
    } cases[] = {{4.99, 1}, {5.01, 0}, {90.0, 0}, {174.99, 0}, {175.01, 1}, {-4.99, 1}};
    for (const auto& test : cases) {
        const double phi = test.degrees * kDegree;
        const Point q0 = {2.0, 0.0, 0.0};
        const Point q1 = {1.5 * std::cos(phi), 1.5 * std::sin(phi), 0.0};
        std::vector<CVector> triple = Points({q0, q1, {-q0.x - q1.x, -q0.y - q1.y, -q0.z - q1.z}});
        double M[3][3];
        CTransform transform;
        EXPECT_EQ(transform.BasisMatrix(triple.data(), M), test.flag) << test.degrees;
        ExpectRightHandedFrame(M);
        // First axis toward the first point, third axis along the normal Q0 x Q1 (+Z here).
        EXPECT_NEAR(M[0][0], 1.0, 1e-15);
        EXPECT_NEAR(M[2][2], std::sin(phi) > 0 ? 1.0 : -1.0, 1e-15);
    }
}

// A triple exactly on a line, or with coincident points, has no plane: the flag is 1 and the
// frame is still a finite right-handed frame with its first axis toward the first point.
TEST(ToolingBalls, BasisMatrixOfAnExactLineIsFlaggedAndFinite) {
    const std::vector<std::vector<Point>> triples = {
        {{3, 0, 0}, {1, 0, 0}, {-4, 0, 0}},
        {{0, 0, 6}, {0, 0, 1}, {0, 0, -1}},
        {{1, 1, 1}, {0, 0, 0}, {2, 2, 2}},  // first point at the centroid
        {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}},  // all three at one place
    };
    for (const auto& points : triples) {
        std::vector<CVector> triple = Points(points);
        double M[3][3];
        CTransform transform;
        EXPECT_EQ(transform.BasisMatrix(triple.data(), M), 1);
        ExpectRightHandedFrame(M);
    }
    std::vector<CVector> line = Points(triples[0]);
    double M[3][3];
    CTransform transform;
    transform.BasisMatrix(line.data(), M);
    EXPECT_EQ(M[0][0], 1.0);  // centroid (0, 0, 0), first point along +X
}

const std::vector<Point> kBalls = {{0, 0, 0}, {2, 0, 0.5},    {0, 1.5, 1},
                                   {1, 1, 3}, {-1.5, 0.5, 2}, {2, -1, 1.5}};

// Beta within (-pi/2, pi/2) and the other angles within (-pi, pi], as the closed form gives
// them back; two of them 0.05 and 0.1 rad from the pole.
const TRANSFORM_PARMS kPlacements[] = {
    {0.3, -0.7, 1.1, 2.5, -1.2, 7.3},
    {-0.8, 1.52, 2.2, -1.0, 0.4, 9.0},
    {2.6, -1.47, -3.0, 4.0, 1.5, -6.0},
};

// No start is needed: the closed form from the best triple lands near the truth and the
// refinement converges on it. Exact data through a typical error model: what remains is
// rounding, amplified near the pole by 1/cos(Beta)^2 < 1000.
TEST(ToolingBalls, RecoversAChosenPlacementThroughTheErrorModel) {
    TMapper map = TypicalModel();
    for (const TRANSFORM_PARMS& truth : kPlacements) {
        std::vector<CVector> nominal = Points(kBalls);
        std::vector<CVector> measured = Measure(kBalls, truth, &map);
        std::vector<double> weights(kBalls.size(), 1.0);
        TRANSFORM_PARMS fitted = {};
        CTransform transform;
        EXPECT_EQ(transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 6,
                                         &fitted, &map),
                  0);
        EXPECT_LT(AngleError(fitted, truth), 1e-9);
        EXPECT_LT(TranslationError(fitted, truth), 1e-9);
    }
}

// 20 balls within 2 m and 5 um of noise per coordinate: the weighted RMS is expected at
// sigma sqrt((3N - 6) / N) = 1.67 sigma, relative spread 1 / sqrt(2 (3N - 6)) = 9.1 %; a band
// of +-30 % is more than three such spreads.
TEST(ToolingBalls, NoisyBallsLeaveAnRmsAtTheNoiseLevel) {
    const double sigma = 5e-06;
    std::mt19937 generator(99);
    std::uniform_real_distribution<double> coordinate(-2.0, 2.0);
    std::vector<Point> balls;
    for (int i = 0; i < 20; ++i) {
        balls.push_back({coordinate(generator), coordinate(generator), coordinate(generator)});
    }
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kPlacements[0];
    std::vector<CVector> nominal = Points(balls);
    std::vector<CVector> measured = Measure(balls, truth, &map, sigma, 3);
    std::vector<double> weights(20, 1.0);
    TRANSFORM_PARMS fitted = {};
    CTransform transform;
    ASSERT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 20, &fitted, &map),
        0);
    std::vector<CVector> calibrated = measured;
    std::vector<CVector> mapped;
    for (int i = 0; i < 20; ++i) {
        calibrated[i].Calibrate(&map);
        mapped.push_back(*transform.GetNextVector(i, &fitted, nominal.data()));
    }
    const double rms =
        transform.RMS_Transform(calibrated.data(), mapped.data(), weights.data(), 20);
    const double expected = sigma * std::sqrt((3.0 * 20 - 6) / 20);
    EXPECT_NEAR(rms, expected, 0.3 * expected);
}

TEST(ToolingBalls, ThreeBallsGiveTheClosedFormWithoutRefinement) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kPlacements[1];
    const std::vector<Point> three(kBalls.begin(), kBalls.begin() + 3);
    std::vector<CVector> nominal = Points(three);
    std::vector<CVector> measured = Measure(three, truth, &map);
    std::vector<double> weights = {1.0, 2.0, 0.5};
    TRANSFORM_PARMS fitted = {};
    CTransform transform;
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 3, &fitted, &map),
        0);
    // Frames of a 2 m triple from exact points, near the pole (amplification 1/cos(Beta)).
    EXPECT_LT(AngleError(fitted, truth), 1e-12);
    EXPECT_LT(TranslationError(fitted, truth), 1e-12);
}

// Three balls 2 degrees off a line: both frames are flagged, the candidate is still kept and
// returned, but the status says no trustworthy frame was found.
TEST(ToolingBalls, NearlyCollinearBallsKeepTheirCandidateButReportFive) {
    TMapper map{};
    const TRANSFORM_PARMS truth = kPlacements[0];
    const double phi = 178.0 * kDegree;
    const std::vector<Point> three = {{2.0, 0.0, 0.0},
                                      {1.5 * std::cos(phi), 1.5 * std::sin(phi), 0.0},
                                      {-2.0 - 1.5 * std::cos(phi), -1.5 * std::sin(phi), 0.0}};
    std::vector<CVector> nominal = Points(three);
    std::vector<CVector> measured = Measure(three, truth, &map);
    std::vector<double> weights(3, 1.0);
    TRANSFORM_PARMS fitted = {};
    CTransform transform;
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 3, &fitted, &map),
        5);
    // The frames are well defined even at 2 degrees: the candidate is the truth, within the
    // rounding amplified by 1/sin(2 degrees) = 29.
    EXPECT_LT(AngleError(fitted, truth), 1e-12);
    EXPECT_LT(TranslationError(fitted, truth), 1e-12);
}

// Balls exactly on a line have no plane: the frames are flagged and completed finitely, and
// the result is 5 with a finite candidate. When both sets are exactly on a line (here the Z
// axis, which the readings reproduce without rounding), the candidate maps the line onto the
// line and every ball onto its measurement. When only the nominal set is exact and the
// placed one carries rounding, the measured frame is built from a rounding-sized normal and
// means nothing, but the candidate is still finite.
TEST(ToolingBalls, ExactlyCollinearBallsReportFiveWithAFiniteCandidate) {
    TMapper map{};
    const std::vector<Point> three = {{0, 0, 1}, {0, 0, 3}, {0, 0, 8}};
    std::vector<CVector> nominal = Points(three);
    std::vector<double> weights(3, 1.0);
    CTransform transform;

    const TRANSFORM_PARMS along = {0.0, 0.0, 0.0, 0.0, 0.0, 5.0};
    std::vector<CVector> measured = Measure(three, along, &map);
    TRANSFORM_PARMS fitted = {};
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 3, &fitted, &map),
        5);
    for (int i = 0; i < 3; ++i) {
        CVector calibrated = measured[i];
        calibrated.Calibrate(&map);
        EXPECT_LT(Distance(*transform.GetNextVector(i, &fitted, nominal.data()), calibrated),
                  1e-14);
    }

    measured = Measure(three, kPlacements[2], &map);
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 3, &fitted, &map),
        5);
    for (double value : {fitted.Alpha, fitted.Beta, fitted.Gamma, fitted.X, fitted.Y, fitted.Z}) {
        EXPECT_TRUE(std::isfinite(value));
    }
}

// A ball of weight 0 forms no triple and adds zeros to every sum: the fit is exactly that of
// the other balls, however wrong its measurement.
TEST(ToolingBalls, ZeroWeightBallTakesNoPart) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kPlacements[0];
    std::vector<CVector> nominal = Points(kBalls);
    std::vector<CVector> measured = Measure(kBalls, truth, &map, 2e-05, 5);
    measured[2].Range += 0.5;
    std::vector<double> weights = {1.0, 1.0, 0.0, 1.0, 1.0, 1.0};
    TRANSFORM_PARMS withBall = {};
    CTransform transform;
    const int status =
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 6, &withBall, &map);

    nominal.erase(nominal.begin() + 2);
    measured.erase(measured.begin() + 2);
    weights.erase(weights.begin() + 2);
    TRANSFORM_PARMS without = {};
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 5, &without, &map),
        status);
    EXPECT_EQ(status, 0);
    ExpectSameParameters(withBall, without);
}

// Four balls of which three weigh: the refinement needs four and declines, and the closed form
// of the one triple is the result, with status 0.
TEST(ToolingBalls, ThreeWeightedOfFourSkipTheRefinement) {
    TMapper map{};
    const TRANSFORM_PARMS truth = kPlacements[0];
    const std::vector<Point> four(kBalls.begin(), kBalls.begin() + 4);
    std::vector<CVector> nominal = Points(four);
    std::vector<CVector> measured = Measure(four, truth, &map, 1e-04, 11);
    std::vector<double> weights = {1.0, 1.0, 1.0, 0.0};
    TRANSFORM_PARMS fitted = {};
    CTransform transform;
    EXPECT_EQ(
        transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 4, &fitted, &map),
        0);
    TRANSFORM_PARMS closedForm = {};
    EXPECT_EQ(transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 3,
                                     &closedForm, &map),
              0);
    ExpectSameParameters(fitted, closedForm);
    EXPECT_EQ(
        transform.TB_UpdateTransform(nominal.data(), measured.data(), weights.data(), 4, &fitted),
        3);
}

TEST(ToolingBalls, TooFewWeightedBallsLeaveTheTransformUntouched) {
    TMapper map{};
    std::vector<CVector> nominal = Points(kBalls);
    std::vector<CVector> measured = Points(kBalls);
    const TRANSFORM_PARMS sentinel = {9.0, 8.0, 7.0, 6.0, 5.0, 4.0};
    const std::vector<std::vector<double>> weightSets = {
        {1.0, 1.0, 0.0, 0.0, -1.0, 0.0},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
    };
    CTransform transform;
    for (std::vector<double> weights : weightSets) {
        TRANSFORM_PARMS p = sentinel;
        EXPECT_EQ(
            transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 6, &p, &map),
            4);
        ExpectSameParameters(p, sentinel);
    }
    TRANSFORM_PARMS p = sentinel;
    std::vector<double> weights(6, 1.0);
    EXPECT_EQ(transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 2, &p, &map),
              4);
    EXPECT_EQ(transform.TB_Transform(nominal.data(), measured.data(), weights.data(), -1, &p, &map),
              4);
    ExpectSameParameters(p, sentinel);
}

// Weights whose sum is not positive would divide the normal equations by zero or turn them
// over: refused with kInvalidInput, transform untouched.
TEST(ToolingBalls, NonPositiveTotalWeightIsRefused) {
    TMapper map{};
    std::vector<CVector> nominal = Points(kBalls);
    std::vector<CVector> measured = Measure(kBalls, kPlacements[0], &map);
    const TRANSFORM_PARMS sentinel = {9.0, 8.0, 7.0, 6.0, 5.0, 4.0};
    CTransform transform;
    for (std::vector<double> weights :
         {std::vector<double>{1.0, 1.0, 1.0, 1.0, -4.0, 0.0},
          std::vector<double>{1.0, 1.0, 1.0, 1.0, -9.0, 0.0},
          std::vector<double>{1.0, 1.0, 1.0, 1.0, std::numeric_limits<double>::quiet_NaN(), 1.0}}) {
        TRANSFORM_PARMS p = sentinel;
        EXPECT_EQ(
            transform.TB_Transform(nominal.data(), measured.data(), weights.data(), 6, &p, &map),
            compensation::kInvalidInput);
        EXPECT_EQ(
            transform.TB_UpdateTransform(nominal.data(), measured.data(), weights.data(), 6, &p),
            compensation::kInvalidInput);
        ExpectSameParameters(p, sentinel);
    }
}

// The refinement on its own: measured points used as given (already calibrated), weights as
// given. From a start 0.05 rad and 0.1 m off it converges onto the truth.
TEST(ToolingBalls, RefinementAloneConvergesFromANearbyStart) {
    const TRANSFORM_PARMS truth = kPlacements[1];
    std::vector<CVector> nominal = Points(kBalls);
    std::vector<CVector> measured;
    for (const Point& a : kBalls) {
        measured.push_back(PointAt(Apply(truth, a)));
    }
    std::vector<double> weights = {1.0, 3.0, 0.5, 2.0, 1.0, 1.0};
    TRANSFORM_PARMS fitted = {truth.Alpha + 0.05, truth.Beta - 0.05, truth.Gamma + 0.05,
                              truth.X + 0.1,      truth.Y - 0.1,     truth.Z + 0.1};
    CTransform transform;
    EXPECT_EQ(
        transform.TB_UpdateTransform(nominal.data(), measured.data(), weights.data(), 6, &fitted),
        0);
    EXPECT_LT(AngleError(fitted, truth), 1e-9);
    EXPECT_LT(TranslationError(fitted, truth), 1e-9);
}

}  // namespace
