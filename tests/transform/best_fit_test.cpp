// The best fit and the tooling-ball fit, which share the weighted Gauss-Newton refinement.
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// The best fit from the start in *p, or the tooling-ball fit (no start) at weights w, else 1.
int Fit(bool balls, std::vector<CVector> nominal, std::vector<CVector> measured, TMapper map,
        TRANSFORM_PARMS* p, std::vector<double> w = {}) {
    const int n = static_cast<int>(nominal.size());
    w.resize(nominal.size(), 1.0);
    return balls ? CTransform().TB_Transform(nominal.data(), measured.data(), w.data(), n, p, &map)
                 : CTransform().UpdateTransform(nominal.data(), measured.data(), n, p, &map);
}

// Exact readings of a 12 m part: rounding, amplified near the pole by 1/cos(Beta)^2 < 1000.
// Noise sigma on N = 40 points within 10 m: RMS sigma sqrt((3N - 6) / N) within three relative
// spreads 1 / sqrt(2 (3N - 6)) = 6.6 %; placement within 10 standard errors sigma / sqrt(N).
TEST(TransformFits, RecoverAChosenPlacementThroughTheErrorModel) {
    const std::vector<Point> part = {{0, 0, 0},  {4, 0, 1},  {0, 3, 2},   {1, 1, 6},
                                     {-5, 2, 3}, {3, -4, 8}, {-2, -3, 5}, {6, 5, -2}};
    std::vector<Point> cloud;
    for (int i = 0; i < 40; ++i) {
        cloud.push_back(
            {10 * std::sin(1.3 * i), 10 * std::cos(2.1 * i), 10 * std::sin(0.7 * i + 1)});
    }
    TMapper map = TypicalModel();
    const double sigma = 1e-05;
    const TRANSFORM_PARMS& t0 = kTruths[0];
    for (bool balls : {false, true}) {
        for (const TRANSFORM_PARMS& t : kTruths) {
            TRANSFORM_PARMS fitted = {t.Alpha + 0.03, t.Beta - 0.03, t.Gamma + 0.03,
                                      t.X + 0.2,      t.Y,           t.Z};
            EXPECT_EQ(Fit(balls, Points(part), Measure(part, t, map), map, &fitted), 0);
            EXPECT_LT(Gap(fitted, t), 1e-9) << balls << " " << t.Beta;
        }
        std::vector<CVector> nominal = Points(cloud);
        std::vector<CVector> measured = Measure(cloud, t0, map, sigma);
        TRANSFORM_PARMS fitted = {t0.Alpha - 0.02, t0.Beta, t0.Gamma, t0.X, t0.Y + 0.1, t0.Z};
        ASSERT_EQ(Fit(balls, nominal, measured, map, &fitted), 0);
        EXPECT_LT(Gap(fitted, t0, 10.0), 10 * sigma / std::sqrt(40)) << balls;  // 10 m lever
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

// Cube corners (half-side L) against the same corners shrunk by c, from a start turned by e
// about X: each step turns e into e - c sin(e) at an RMS of L sqrt(3 (1 + c^2) - 2 c (1 + 2 cos
// e)), so the stopping rules run on that closed form; thirty steps of rounding stay in 1e-12.
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
        std::vector<Point> corners;
        for (int k = 0; k < 16; ++k) {
            const double s = k < 8 ? g.L : g.c * g.L;
            corners.push_back({k & 1 ? s : -s, k & 2 ? s : -s, k & 4 ? s : -s});
        }
        const std::vector<CVector> both = Points(corners);
        TRANSFORM_PARMS fitted = {g.start, 0, 0, 0, 0, 0};
        EXPECT_EQ(Fit(false, {both.begin(), both.begin() + 8}, {both.begin() + 8, both.end()},
                      TMapper{}, &fitted),
                  status);
        EXPECT_LT(Gap(fitted, {e, 0, 0, 0, 0, 0}, g.L), 1e-12 * g.L) << g.c << " " << g.start;
    }
}

// The first point is distinguished (Type 14), measured exactly or 1 mm off along X, and the
// start turned 0.3 rad about X from the truth. A point off the line to its neighbour
// (|cos| < 0.7) drops the auxiliary point: the plain fit exactly, while at 0.71 the auxiliary
// point holds the start and pulls the fit away; two more spanning a plane from the neighbour
// drop the distinguished point too. On a line the auxiliary point holds the rotation about it:
// the start fits exactly and is kept (two points make three working points; a neighbour 999.9 m
// away counts), and 1 mm off moves the fit, for the distinguished point keeps its weight.
TEST(BestFit, WeightsOfTheDistinguishedAndTheAuxiliaryPoint) {
    const TRANSFORM_PARMS truth = {0.4, 0.0, 0.0, 1.0, -2.0, 6.0};
    const TRANSFORM_PARMS start = {0.1, 0.0, 0.0, 1.0, -2.0, 6.0};
    enum Rule { kPlain, kPulled, kPlainWithoutIt, kHeld };
    const struct {
        std::vector<Point> part;
        Rule rule;
    } cases[] = {
        {{{0, 0, 0}, {1, 0, 0}, {3 * 0.69, 3 * std::sqrt(1 - 0.69 * 0.69), 0}}, kPlain},
        {{{0, 0, 0}, {1, 0, 0}, {3 * 0.71, 3 * std::sqrt(1 - 0.71 * 0.71), 0}}, kPulled},
        {{{0, 0, 0}, {1, 0, 0}, {0, 3, 0}, {0, 0, 5}, {3, 3, 3}}, kPlainWithoutIt},
        {{{1, 0, 0}, {4, 0, 0}, {2, 0, 0}}, kHeld},
        {{{1, 0, 0}, {5, 0, 0}}, kHeld},
        {{{1, 0, 0}, {1000.9, 0, 0}}, kHeld},
    };
    for (const auto& c : cases) {
        for (double shift : {0.0, 1e-3}) {
            std::vector<CVector> nominal = Points(c.part);
            std::vector<CVector> measured = Measure(c.part, truth, TMapper{});
            const Point at = Apply(truth, c.part[0]);
            measured[0] = PointAt({at.x + shift, at.y, at.z}, 14);
            TRANSFORM_PARMS fitted = start;
            TRANSFORM_PARMS plain = start;
            const int status = Fit(false, nominal, measured, TMapper{}, &fitted);
            measured[0].Type = 100;
            const int from = c.rule == kPlainWithoutIt ? 1 : 0;
            if (c.rule == kHeld) {
                EXPECT_EQ(status, 0) << c.part.size();
                EXPECT_EQ(Gap(fitted, start) < 1e-12, shift == 0.0) << c.part[1].x;
                EXPECT_EQ(Gap(fitted, start) > 1e-05, shift != 0.0) << c.part[1].x;
            } else {
                EXPECT_EQ(Fit(false, {nominal.begin() + from, nominal.end()},
                              {measured.begin() + from, measured.end()}, TMapper{}, &plain),
                          status);
                EXPECT_EQ(Gap(fitted, plain) == 0.0, c.rule != kPulled) << c.rule << shift;
                EXPECT_EQ(Gap(fitted, plain) > 1e-4, c.rule == kPulled) << c.rule << shift;
            }
        }
    }
}

// One weighted triple (the fourth ball weighs 0) gives the closed form, which the refinement,
// wanting four, leaves: status 0, or 5 with the candidate kept when the frames lie within 5
// degrees of a line (BasisMatrix: |asin(sin phi)| < 0.0872664625997). Rounding times 11.
TEST(ToolingBalls, ClosedFormOfOneTriple) {
    TMapper map = TypicalModel();
    for (auto [degrees, status] :
         {std::pair{90.0, 0}, {5.01, 0}, {4.99, 5}, {174.99, 0}, {175.01, 5}, {-4.99, 5}}) {
        const double phi = degrees * 3.141592653589793 / 180.0;
        const Point q = {1.5 * std::cos(phi), 1.5 * std::sin(phi), 0.5};
        const std::vector<Point> balls = {{2, 0, 0.5}, q, {-2 - q.x, -q.y, 0.5}, {1, 1, 3}};
        std::vector<CVector> triple = Points(balls);
        double M[3][3];
        EXPECT_EQ(CTransform().BasisMatrix(triple.data(), M), status == 5 ? 1 : 0) << degrees;
        TRANSFORM_PARMS fitted = {};
        const std::vector<double> w = {1, 2, 0.5, 0};
        EXPECT_EQ(Fit(true, triple, Measure(balls, kTruths[1], map), map, &fitted, w), status);
        EXPECT_LT(Gap(fitted, kTruths[1]), 1e-12) << degrees;
    }
}

}  // namespace
