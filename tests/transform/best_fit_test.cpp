// The best fit (UpdateTransform) and the tooling-ball fit (TB_Transform), which share the
// weighted Gauss-Newton refinement.
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// The best fit from the start in *p, or the tooling-ball fit, which needs none, at weights w.
int Fit(bool balls, std::vector<CVector> nominal, std::vector<CVector> measured, TMapper map,
        TRANSFORM_PARMS* p, std::vector<double> w = {}) {
    const int n = static_cast<int>(nominal.size());
    w.resize(nominal.size(), 1.0);
    return balls ? CTransform().TB_Transform(nominal.data(), measured.data(), w.data(), n, p, &map)
                 : CTransform().UpdateTransform(nominal.data(), measured.data(), n, p, &map);
}

// Exact readings of a 12 m part leave rounding, amplified near the pole by 1/cos(Beta)^2 < 1000.
// With noise sigma on N = 40 points within 10 m the RMS is sigma sqrt((3N - 6) / N) (3N - 6
// degrees of freedom) within 3 x 6.6 % = 1 / sqrt(2 (3N - 6)), the placement within ten times
// its standard error sigma / sqrt(N) = 1.6 um, in angle that over 10 m.
TEST(TransformFits, RecoverAChosenPlacementThroughTheErrorModel) {
    const std::vector<Point> part = {{0, 0, 0},  {4, 0, 1},  {0, 3, 2},   {1, 1, 6},
                                     {-5, 2, 3}, {3, -4, 8}, {-2, -3, 5}, {6, 5, -2}};
    std::mt19937 generator(20240611);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::vector<Point> cloud(40);
    for (Point& a : cloud) {
        a = {coordinate(generator), coordinate(generator), coordinate(generator)};
    }
    TMapper map = TypicalModel();
    const double sigma = 1e-05;
    const TRANSFORM_PARMS& t0 = kTruths[0];
    for (bool balls : {false, true}) {
        for (const TRANSFORM_PARMS& t : kTruths) {
            TRANSFORM_PARMS fitted = {t.Alpha + 0.03, t.Beta - 0.03, t.Gamma + 0.03,
                                      t.X + 0.2,      t.Y - 0.2,     t.Z + 0.2};
            EXPECT_EQ(Fit(balls, Points(part), Measure(part, t, map), map, &fitted), 0);
            EXPECT_LT(Gap(fitted, t), 1e-9) << balls << " " << t.Beta;
        }
        std::vector<CVector> nominal = Points(cloud);
        std::vector<CVector> measured = Measure(cloud, t0, map, sigma);
        TRANSFORM_PARMS fitted = {t0.Alpha - 0.02, t0.Beta, t0.Gamma, t0.X, t0.Y + 0.1, t0.Z};
        ASSERT_EQ(Fit(balls, nominal, measured, map, &fitted), 0);
        EXPECT_LT(Gap(fitted, t0, 10.0), 10 * 1.6e-06) << balls;
        for (int i = 0; i < 40; ++i) {
            measured[i].Calibrate(&map);
            nominal[i] = *CTransform().GetNextVector(i, &fitted, nominal.data());
        }
        std::vector<double> w(40, 1.0);
        const double rms =
            CTransform().RMS_Transform(measured.data(), nominal.data(), w.data(), 40);
        EXPECT_NEAR(rms, sigma * std::sqrt(114.0 / 40), 0.2 * sigma * std::sqrt(114.0 / 40));
    }
}

// Nominal corners of a cube of half-side L, measured ones shrunk by c, a start turned by e about
// X: each step turns e into e - c sin(e) and the RMS is L sqrt(3 (1 + c^2) - 2 c (1 + 2 cos e)),
// so the stopping rules (rise above 1e-6: 1 before the step; step 30: 2; step <= 1e-6: 0) can
// be run on the closed form. Thirty steps of rounding on unit quantities: 1e-12.
TEST(BestFit, StopsAsTheClosedFormOfAShrunkCubeSays) {
    const struct {
        double c, start, L;
        int status;
    } cases[] = {
        {0.5, 0.3, 1.0, 0},     // converges after 19 steps
        {0.2, 1.0, 1.0, 2},     // still moving 3.5e-4 rad after 30 steps
        {0.4, 2.074, 1.0, 2},   // steps 29 and 30 move 1.25e-6 and 7.5e-7
        {3.0, 0.5, 1.0, 1},     // the first step overshoots: the RMS rises by 0.44
        {3.0, 0.02, 1e-04, 1},  // rises of 1.0e-7 and 4.1e-7 pass, the third (1.6e-6) stops
    };
    for (const auto& g : cases) {
        auto rms = [&](double e) {
            return g.L *
                   std::sqrt(std::fabs(3 * (1 + g.c * g.c) - 2 * g.c * (1 + 2 * std::cos(e))));
        };
        double e = g.start;
        int status = -1;
        for (int step = 1; status < 0; ++step) {
            const double next = e - g.c * std::sin(e);
            status = rms(next) > rms(e) + 1e-06     ? 1
                     : step == 30                   ? 2
                     : std::fabs(next - e) <= 1e-06 ? 0
                                                    : -1;
            e = status == 1 ? e : next;
        }
        ASSERT_EQ(status, g.status) << g.c << " " << g.start;
        std::vector<CVector> nominal;
        std::vector<CVector> measured;
        for (int k = 0; k < 8; ++k) {
            const Point a = {k & 1 ? g.L : -g.L, k & 2 ? g.L : -g.L, k & 4 ? g.L : -g.L};
            nominal.push_back(PointAt(a));
            measured.push_back(PointAt({g.c * a.x, g.c * a.y, g.c * a.z}));
        }
        TRANSFORM_PARMS fitted = {g.start, 0, 0, 0, 0, 0};
        EXPECT_EQ(Fit(false, nominal, measured, TMapper{}, &fitted), status) << g.c << g.start;
        EXPECT_LT(Gap(fitted, {e, 0, 0, 0, 0, 0}, g.L), 1e-12 * g.L) << g.c << " " << g.start;
    }
}

// Distinguished point (Type 14) measured 1 mm off: a point off its line to the neighbour
// (|cos| < 0.7) drops the auxiliary point, leaving exactly the plain fit, while at 0.71 the
// auxiliary point (from a start 0.01 rad off) pulls the fit away; two more points spanning more
// than a line from the neighbour drop the distinguished point: exactly the others' fit.
TEST(BestFit, WeightsOfTheDistinguishedAndTheAuxiliaryPoint) {
    TMapper map = TypicalModel();
    const TRANSFORM_PARMS truth = kTruths[2];
    const struct {
        double cosine;
        std::vector<Point> more;
        int plainFrom;  // first point of the plain fit
    } cases[] = {{0.69, {}, 0}, {0.71, {}, 0}, {0.0, {{0, 0, 5}, {3, 3, 3}}, 1}};
    for (const auto& test : cases) {
        const double sine = std::sqrt(1 - test.cosine * test.cosine);
        std::vector<Point> part = {{0, 0, 0}, {1, 0, 0}, {3 * test.cosine, 3 * sine, 0}};
        part.insert(part.end(), test.more.begin(), test.more.end());
        std::vector<CVector> nominal = Points(part);
        std::vector<CVector> measured = Measure(part, truth, map);
        const Point off = Apply(truth, part[0]);
        measured[0] =
            compensation::testing::RawReadingFor(PointAt({off.x + 1e-3, off.y, off.z}, 14), map);
        TRANSFORM_PARMS fitted = {truth.Alpha + 0.01, truth.Beta, truth.Gamma, truth.X, truth.Y,
                                  truth.Z + 0.05};
        TRANSFORM_PARMS plain = fitted;
        const int status = Fit(false, nominal, measured, map, &fitted);
        measured[0].Type = 100;
        const int plainStatus =
            Fit(false, {nominal.begin() + test.plainFrom, nominal.end()},
                {measured.begin() + test.plainFrom, measured.end()}, map, &plain);
        EXPECT_EQ(status, plainStatus) << test.cosine;
        EXPECT_EQ(Gap(fitted, plain) > 1e-4, test.cosine == 0.71) << test.cosine;
        EXPECT_EQ(Gap(fitted, plain) == 0.0, test.cosine != 0.71) << test.cosine;
    }
}

// Points on one line (the X axis) through the distinguished point: the auxiliary point holds
// the rotation about it, so a start turned 0.3 rad about it (Alpha alone, as Beta = Gamma = 0)
// fits exactly and is kept; two points are three working points, a neighbour at 999.9 m is
// found, and the distinguished point keeps its weight: 1 mm along the line moves the fit.
TEST(BestFit, AuxiliaryPointHoldsTheRotationAboutALineOfPoints) {
    const TRANSFORM_PARMS truth = {0.4, 0.0, 0.0, 1.0, -2.0, 6.0};
    const TRANSFORM_PARMS start = {0.1, 0.0, 0.0, 1.0, -2.0, 6.0};
    for (double far : {4.0, 5.0, 1000.9}) {
        std::vector<Point> line = {{1, 0, 0}, {far, 0, 0}};
        if (far == 4.0) {
            line.push_back({2, 0, 0});
        }
        std::vector<CVector> measured = Measure(line, truth, TMapper{});
        measured[0].Type = 14;
        TRANSFORM_PARMS fitted = start;
        EXPECT_EQ(Fit(false, Points(line), measured, TMapper{}, &fitted), 0) << far;
        EXPECT_LT(Gap(fitted, start), 1e-12) << far;
        measured[0] = PointAt(Apply(truth, {1.001, 0, 0}), 14);
        fitted = start;
        EXPECT_EQ(Fit(false, Points(line), measured, TMapper{}, &fitted), 0) << far;
        EXPECT_GT(Gap(fitted, start), 1e-05) << far;
    }
}

// One triple of weighted balls gives the closed form without refinement (of four, one weighs 0
// and the refinement, wanting four, declines): status 0, or 5 with the candidate kept when both
// frames lie within 5 degrees of a line (BasisMatrix: |asin(sin phi)| < 0.0872664625997 between the
// first two centroid directions). Exact points near the pole: rounding times 1/sin(5 degrees) = 11.
TEST(ToolingBalls, ClosedFormOfOneTriple) {
    TMapper map = TypicalModel();
    for (auto [degrees, status] :
         {std::pair{90.0, 0}, {5.01, 0}, {4.99, 5}, {174.99, 0}, {175.01, 5}, {-4.99, 5}}) {
        const double phi = degrees * 3.141592653589793 / 180.0;
        const Point q = {1.5 * std::cos(phi), 1.5 * std::sin(phi), 0.5};
        std::vector<Point> balls = {{2, 0, 0.5}, q, {-2 - q.x, -q.y, 0.5}};
        if (degrees == 90.0) {
            balls.push_back({1, 1, 3});
        }
        std::vector<CVector> triple = Points(balls);
        double M[3][3];
        EXPECT_EQ(CTransform().BasisMatrix(triple.data(), M), status == 5 ? 1 : 0) << degrees;
        TRANSFORM_PARMS fitted = {};
        EXPECT_EQ(Fit(true, triple, Measure(balls, kTruths[1], map), map, &fitted, {1, 2, 0.5, 0}),
                  status)
            << degrees;
        EXPECT_LT(Gap(fitted, kTruths[1]), 1e-12) << degrees;
    }
}

}  // namespace
