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

// A part of about 12 m, seen by the tracker in general placements; the second one has Beta
// 0.07 rad from the pole of the angles, where Alpha and Gamma are nearly interchangeable.
const std::vector<Point> kPart = {{0, 0, 0},  {4, 0, 1},  {0, 3, 2},   {1, 1, 6},
                                  {-5, 2, 3}, {3, -4, 8}, {-2, -3, 5}, {6, 5, -2}};
const TRANSFORM_PARMS kTruths[] = {
    {0.3, -0.7, 1.1, 2.5, -1.2, 7.3},
    {-0.8, 1.5, 2.2, -1.0, 0.4, 9.0},
    {2.6, -1.45, -0.3, 4.0, 1.5, -6.0},
};

TRANSFORM_PARMS Perturbed(const TRANSFORM_PARMS& p, double angle, double shift) {
    return {p.Alpha + angle, p.Beta - angle, p.Gamma + angle,
            p.X + shift,     p.Y - shift,    p.Z + shift};
}

// Noise-free readings of a chosen placement through a typical error model: the fit recovers
// the placement. The final step is at most 1e-6 and Gauss-Newton converges quadratically on
// exact data, so what remains is rounding, amplified by 1/cos(Beta)^2 < 500 near the pole.
TEST(BestFit, RecoversAChosenPlacementThroughTheErrorModel) {
    TMapper map = TypicalModel();
    for (const TRANSFORM_PARMS& truth : kTruths) {
        std::vector<CVector> nominal = Points(kPart);
        std::vector<CVector> measured = Measure(kPart, truth, &map);
        TRANSFORM_PARMS fitted = Perturbed(truth, 0.03, 0.2);
        CTransform transform;
        EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(),
                                            static_cast<int>(kPart.size()), &fitted, &map),
                  0);
        EXPECT_LT(AngleError(fitted, truth), 1e-9);
        EXPECT_LT(TranslationError(fitted, truth), 1e-9);
    }
}

// With 10 um of Gaussian noise per coordinate on N = 40 points, the least-squares residuals
// keep 3N - 6 degrees of freedom: the RMS is expected near sigma sqrt((3N - 6) / N) = 1.69
// sigma, with a relative spread of 1 / sqrt(2 (3N - 6)) = 6.6 %. A band of +-20 % is three
// such spreads. The placement itself is recovered within its standard error: about
// sigma / sqrt(N) = 1.6 um in translation and that over the part's size (10 m) in angle, here
// allowed ten times over.
TEST(BestFit, NoisyReadingsLeaveAnRmsAtTheNoiseLevel) {
    const double sigma = 1e-05;
    std::mt19937 generator(20240611);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::vector<Point> part;
    for (int i = 0; i < 40; ++i) {
        part.push_back({coordinate(generator), coordinate(generator), coordinate(generator)});
    }
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[0];
    std::vector<CVector> nominal = Points(part);
    std::vector<CVector> measured = Measure(part, truth, &map, sigma, 7);
    TRANSFORM_PARMS fitted = Perturbed(truth, 0.02, 0.1);
    CTransform transform;
    ASSERT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 40, &fitted, &map), 0);

    std::vector<CVector> calibrated = measured;
    for (CVector& v : calibrated) {
        v.Calibrate(&map);
    }
    std::vector<double> weights(40, 1.0);
    auto rmsAt = [&](TRANSFORM_PARMS p) {
        std::vector<CVector> mapped;
        for (int i = 0; i < 40; ++i) {
            mapped.push_back(*transform.GetNextVector(i, &p, nominal.data()));
        }
        return transform.RMS_Transform(calibrated.data(), mapped.data(), weights.data(), 40);
    };
    const double rms = rmsAt(fitted);
    const double expected = sigma * std::sqrt((3.0 * 40 - 6) / 40);
    EXPECT_NEAR(rms, expected, 0.2 * expected);
    EXPECT_LT(AngleError(fitted, truth), 10 * 1.6e-06 / 10.0);
    EXPECT_LT(TranslationError(fitted, truth), 10 * 1.6e-06);

    // The result is the least-squares minimum: no step of 1e-7 along any parameter lowers the
    // RMS by more than rounding (at the minimum the change is second order, about 1e-13).
    double TRANSFORM_PARMS::*const parameters[] = {&TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta,
                                                   &TRANSFORM_PARMS::Gamma, &TRANSFORM_PARMS::X,
                                                   &TRANSFORM_PARMS::Y,     &TRANSFORM_PARMS::Z};
    for (auto parameter : parameters) {
        for (double step : {-1e-7, 1e-7}) {
            TRANSFORM_PARMS moved = fitted;
            moved.*parameter += step;
            EXPECT_GT(rmsAt(moved), rms - 1e-15);
        }
    }
}

TEST(BestFit, ExactlyMatchingPointsConvergeWithoutMoving) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[0];
    std::vector<CVector> nominal = Points(kPart);
    std::vector<CVector> measured = Measure(kPart, truth, &map);
    TRANSFORM_PARMS fitted = truth;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 8, &fitted, &map), 0);
    // Only the rounding of the readings' round trip moves it.
    EXPECT_LT(AngleError(fitted, truth), 1e-14);
    EXPECT_LT(TranslationError(fitted, truth), 1e-13);
}

// A geometry where the fit reduces to one angle with a closed form. The nominal points are the
// corners of a cube of half-side L centred on the origin, the measured points the same corners
// shrunk by c, and the start turns them by e about X. For this isotropic, centred set the
// normal matrix is diagonal and the translation step is zero, and each step turns the error e
// into e - c sin(e); the weighted RMS is L sqrt(3 (1 + c^2) - 2 c (1 + 2 cos e)). A contraction
// c in (0, 2) converges linearly at the rate 1 - c; c above 2 overshoots and the RMS rises.
struct ShrunkCube {
    double c;
    double start;
    double L;
};

double CubeRms(const ShrunkCube& g, double e) {
    return g.L * std::sqrt(std::fabs(3 * (1 + g.c * g.c) - 2 * g.c * (1 + 2 * std::cos(e))));
}

// The iteration's rules (RMS rise above 1e-6 stops with 1, the 30th step returns 2, steps of
// at most 1e-6 converge) applied to the closed form.
int ExpectedCubeFit(const ShrunkCube& g, double* alpha) {
    double e = g.start;
    for (int step = 1;; ++step) {
        const double next = e - g.c * std::sin(e);
        if (CubeRms(g, next) > CubeRms(g, e) + 1e-06) {
            *alpha = e;
            return 1;
        }
        const double delta = std::fabs(e - next);
        e = next;
        *alpha = e;
        if (step == 30) {
            return 2;
        }
        if (delta <= 1e-06) {
            return 0;
        }
    }
}

TEST(BestFit, StopsAsTheClosedFormOfAShrunkCubeSays) {
    const struct {
        ShrunkCube geometry;
        int status;
        const char* what;
    } cases[] = {
        {{0.5, 0.3, 1.0}, 0, "converges after 19 steps"},
        {{0.2, 1.0, 1.0}, 2, "still moving 3.5e-4 rad after 30 steps"},
        // Step 29 moves 1.25e-6 and step 30 only 7.5e-7: convergence at the last step still
        // reports the step limit.
        {{0.4, 2.074, 1.0}, 2, "converges exactly at step 30"},
        {{3.0, 0.5, 1.0}, 1, "the first step overshoots: RMS rises by 0.44"},
        // On a 0.1 mm cube the first two overshoots raise the RMS by 1.0e-7 and 4.1e-7, under
        // the 1e-6 allowance; the third raises it by 1.6e-6.
        {{3.0, 0.02, 1e-04}, 1, "two small rises are accepted, the third stops"},
    };
    for (const auto& test : cases) {
        const ShrunkCube& g = test.geometry;
        std::vector<CVector> nominal;
        std::vector<CVector> measured;
        for (int corner = 0; corner < 8; ++corner) {
            const double x = (corner & 1) ? g.L : -g.L;
            const double y = (corner & 2) ? g.L : -g.L;
            const double z = (corner & 4) ? g.L : -g.L;
            nominal.push_back(PointAt(x, y, z));
            measured.push_back(PointAt(g.c * x, g.c * y, g.c * z));
        }
        double expectedAlpha = 0.0;
        ASSERT_EQ(ExpectedCubeFit(g, &expectedAlpha), test.status) << test.what;

        TMapper zero{};
        TRANSFORM_PARMS fitted = {g.start, 0.0, 0.0, 0.0, 0.0, 0.0};
        CTransform transform;
        EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 8, &fitted, &zero),
                  test.status)
            << test.what;
        // Thirty steps of rounding on unit quantities.
        EXPECT_NEAR(fitted.Alpha, expectedAlpha, 1e-12) << test.what;
        EXPECT_NEAR(fitted.Beta, 0.0, 1e-12) << test.what;
        EXPECT_NEAR(fitted.Gamma, 0.0, 1e-12) << test.what;
        EXPECT_NEAR(fitted.X, 0.0, 1e-12 * g.L) << test.what;
    }
}

TEST(BestFit, TooFewWorkingPoints) {
    TMapper map{};
    std::vector<CVector> nominal = Points({{0, 0, 0}, {1, 0, 0}});
    std::vector<CVector> measured = Points({{0, 0, 5}, {1, 0, 5}});
    TRANSFORM_PARMS p = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
    const TRANSFORM_PARMS before = p;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 2, &p, &map), 3);
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 0, &p, &map), 3);
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), -4, &p, &map), 3);
    EXPECT_EQ(AngleError(p, before), 0.0);
    EXPECT_EQ(TranslationError(p, before), 0.0);
}

// --- The distinguished point -------------------------------------------------------------------

// The fit of the same points with no distinguished point among them.
TRANSFORM_PARMS PlainFit(std::vector<CVector> nominal, std::vector<CVector> measured,
                         TRANSFORM_PARMS start, TMapper* map, int* status) {
    for (CVector& v : measured) {
        v.Type = 100;
    }
    CTransform transform;
    *status = transform.UpdateTransform(nominal.data(), measured.data(),
                                        static_cast<int>(nominal.size()), &start, map);
    return start;
}

// Readings of the placed part with the first point as the distinguished one, measured
// 1 mm off so that any weight it keeps shows in the result.
std::vector<CVector> MeasureWithReference(const std::vector<Point>& part,
                                          const TRANSFORM_PARMS& truth, TMapper* map) {
    std::vector<CVector> measured = Measure(part, truth, map);
    Point placed = Apply(truth, part[0]);
    placed.x += 1e-03;
    measured[0] = ExactReading(PointAt(placed), map, 14);
    return measured;
}

// Points off the line from the distinguished point to its neighbour, and two points spanning
// more than a line as seen from the neighbour: both the auxiliary and the distinguished point
// get weight 0, and the fit is exactly that of the other points (weight-0 terms add zeros).
TEST(BestFit, WellSpreadPointsDropTheDistinguishedAndTheAuxiliaryPoint) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[0];
    const std::vector<Point> part = {{0, 0, 0}, {1, 0, 0}, {0, 4, 0}, {0, 0, 5}, {3, 3, 3}};
    std::vector<CVector> nominal = Points(part);
    std::vector<CVector> measured = MeasureWithReference(part, truth, &map);
    const TRANSFORM_PARMS start = Perturbed(truth, 0.02, 0.1);

    TRANSFORM_PARMS fitted = start;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 5, &fitted, &map), 0);
    int plainStatus = -2;
    const TRANSFORM_PARMS plain =
        PlainFit({nominal.begin() + 1, nominal.end()}, {measured.begin() + 1, measured.end()},
                 start, &map, &plainStatus);
    EXPECT_EQ(plainStatus, 0);
    ExpectSameParameters(fitted, plain);
    EXPECT_LT(AngleError(fitted, truth), 1e-9);
}

// Only one point besides the neighbour (n' = 4): it lies off the line, so the auxiliary point
// goes, but the distinguished point stays. The off-line test is |cos| < 0.7 as seen from the
// distinguished point: at |cos| = 0.69 the fit equals that of the three points without any
// auxiliary point; at 0.71 the auxiliary point, carried by a wrong start, pulls it away.
TEST(BestFit, AuxiliaryPointGoesWhenAPointLiesOffTheLine) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[2];
    const TRANSFORM_PARMS start = Perturbed(truth, 0.01, 0.05);
    for (double cosine : {0.69, 0.71}) {
        const double sine = std::sqrt(1.0 - cosine * cosine);
        const std::vector<Point> part = {{0, 0, 0}, {1, 0, 0}, {3 * cosine, 3 * sine, 0}};
        std::vector<CVector> nominal = Points(part);
        std::vector<CVector> measured = MeasureWithReference(part, truth, &map);

        TRANSFORM_PARMS fitted = start;
        CTransform transform;
        const int status =
            transform.UpdateTransform(nominal.data(), measured.data(), 3, &fitted, &map);
        int plainStatus = -2;
        const TRANSFORM_PARMS plain = PlainFit(nominal, measured, start, &map, &plainStatus);
        if (cosine < 0.7) {
            EXPECT_EQ(status, plainStatus);
            ExpectSameParameters(fitted, plain);
        } else {
            EXPECT_GT(AngleError(fitted, plain), 1e-4);
        }
    }
}

// The start that turns the part by phi about the line through c parallel to X, then places it
// as truth does: start(P) = truth(c + Rx(phi) (P - c)). Points on that line map as with truth.
TRANSFORM_PARMS TurnedAboutXLine(const TRANSFORM_PARMS& truth, double phi, const Point& c) {
    const Mat3 turned = Multiply(ExpectedRotation(truth), Rx(phi));
    TRANSFORM_PARMS start;
    start.Alpha = std::atan2(turned.m[1][2], turned.m[2][2]);
    start.Beta = std::atan2(-turned.m[0][2], std::hypot(turned.m[0][0], turned.m[0][1]));
    start.Gamma = std::atan2(turned.m[0][1], turned.m[0][0]);
    const Mat3 turn = Rx(phi);
    const Point turnedCentre = {turn.m[0][0] * c.x + turn.m[0][1] * c.y + turn.m[0][2] * c.z,
                                turn.m[1][0] * c.x + turn.m[1][1] * c.y + turn.m[1][2] * c.z,
                                turn.m[2][0] * c.x + turn.m[2][1] * c.y + turn.m[2][2] * c.z};
    const Point shift = {c.x - turnedCentre.x, c.y - turnedCentre.y, c.z - turnedCentre.z};
    const Point placedShift = Apply(truth, shift);
    start.X = placedShift.x;
    start.Y = placedShift.y;
    start.Z = placedShift.z;
    return start;
}

// All points on the line through the distinguished point and its neighbour: the data cannot
// fix the rotation about that line, and the auxiliary point holds it where the start had it.
// The start is the truth turned by 0.3 rad about that line, so it fits every point exactly and
// is kept; without the auxiliary point the system would be singular.
TEST(BestFit, AuxiliaryPointHoldsTheRotationAboutALineOfPoints) {
    TMapper map{};
    const TRANSFORM_PARMS truth = kTruths[0];
    const std::vector<Point> line = {{1, 2, 3}, {2, 2, 3}, {4, 2, 3}, {7, 2, 3}};
    const TRANSFORM_PARMS start = TurnedAboutXLine(truth, 0.3, line[0]);

    std::vector<CVector> nominal = Points(line);
    std::vector<CVector> measured = Measure(line, truth, &map);
    measured[0].Type = 14;
    TRANSFORM_PARMS fitted = start;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 4, &fitted, &map), 0);
    EXPECT_LT(AngleError(fitted, start), 1e-12);
    EXPECT_LT(TranslationError(fitted, start), 1e-12);
    EXPECT_GT(AngleError(fitted, truth), 0.01);

    // The distinguished point keeps its weight: measured 1 mm along the line, it shifts the fit
    // by a share of that millimetre.
    std::vector<CVector> shifted = measured;
    shifted[0] = ExactReading(PointAt(Apply(truth, {1.001, 2, 3})), &map, 14);
    TRANSFORM_PARMS moved = start;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), shifted.data(), 4, &moved, &map), 0);
    EXPECT_GT(TranslationError(moved, start), 1e-05);
}

// Two points, one of them distinguished: the auxiliary point makes three, and the fit runs.
// From a start turned about the pair's line it fits both points exactly and keeps the turn.
TEST(BestFit, TwoPointsWithADistinguishedOneAreFitted) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[1];
    const std::vector<Point> pair = {{1, 2, 3}, {5, 2, 3}};
    std::vector<CVector> nominal = Points(pair);
    std::vector<CVector> measured = Measure(pair, truth, &map);
    measured[1] = ExactReading(PointAt(Apply(truth, pair[1])), &map, 14);
    const TRANSFORM_PARMS start = TurnedAboutXLine(truth, -0.2, pair[0]);
    TRANSFORM_PARMS fitted = start;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 2, &fitted, &map), 0);
    EXPECT_LT(AngleError(fitted, start), 1e-12);
    EXPECT_LT(TranslationError(fitted, start), 1e-12);
}

// A distinguished point without a neighbour leaves the auxiliary point undefined: no point
// nearer than 1000 m, or a neighbour at its very position (no direction). The fit refuses
// with kInvalidInput and leaves the transform as it was.
TEST(BestFit, DistinguishedPointWithoutNeighbourIsRefused) {
    TMapper map{};
    const std::vector<std::vector<Point>> layouts = {
        {{0, 0, 0}, {1000, 0, 0}, {0, 1200, 0}},
        {{2, 2, 2}, {2, 2, 2}, {5, 0, 1}},
    };
    for (const auto& layout : layouts) {
        std::vector<CVector> nominal = Points(layout);
        std::vector<CVector> measured = Points(layout);
        measured[0].Type = 14;
        TRANSFORM_PARMS p = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
        const TRANSFORM_PARMS before = p;
        CTransform transform;
        EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 3, &p, &map),
                  compensation::kInvalidInput);
        ExpectSameParameters(p, before);
    }
}

// Only the first point of Type 14 is distinguished; a neighbour at 999.9 m is still one.
TEST(BestFit, NeighbourSearchReachesJustUnderTheRadius) {
    TMapper map{};
    const std::vector<Point> layout = {{1, 1, 5}, {1000.9, 1, 5}, {1, 1201, 5}};
    std::vector<CVector> nominal = Points(layout);
    std::vector<CVector> measured = Points(layout);
    measured[0].Type = 14;
    measured[2].Type = 14;
    TRANSFORM_PARMS p = {};
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 3, &p, &map), 0);
    EXPECT_LT(AngleError(p, TRANSFORM_PARMS{}), 1e-12);
}

// A reading the host left undefined makes every RMS non-finite: the first step counts as a
// rise, so the transform stays finite and unchanged.
TEST(BestFit, NonFiniteReadingStopsBeforeAnyStep) {
    TMapper map{};
    std::vector<CVector> nominal = Points(kPart);
    std::vector<CVector> measured = Points(kPart);
    measured[3].Range = std::numeric_limits<double>::quiet_NaN();
    TRANSFORM_PARMS p = {0.1, 0.2, 0.3, 1.0, 2.0, 3.0};
    const TRANSFORM_PARMS before = p;
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nominal.data(), measured.data(), 8, &p, &map), 1);
    ExpectSameParameters(p, before);
}

TEST(BestFit, MissingArraysAreRefused) {
    TMapper map{};
    std::vector<CVector> points = Points(kPart);
    TRANSFORM_PARMS p = {};
    CTransform transform;
    EXPECT_EQ(transform.UpdateTransform(nullptr, points.data(), 8, &p, &map),
              compensation::kInvalidInput);
    EXPECT_EQ(transform.UpdateTransform(points.data(), points.data(), 8, nullptr, &map),
              compensation::kInvalidInput);
    EXPECT_EQ(transform.UpdateTransform(points.data(), points.data(), 8, &p, nullptr),
              compensation::kInvalidInput);
}

}  // namespace
