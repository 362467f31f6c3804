// The full compensation end to end on the simulated tracker: its true model comes back from
// exact and from noisy readings, blunders are rejected and marked in the host's array, every
// failure result appears where the data call for it, and nothing non-finite reaches the model.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "e2e/noise_propagation.h"
#include "fits/point_gradients.h"
#include "model/mapper_elements.h"
#include "support/trace_dir.h"

namespace compensation::sim {
namespace {

using compensation::testing::CentreRows;
using compensation::testing::Dot;
using compensation::testing::kAzimuthNoise;
using compensation::testing::kElevationNoise;
using compensation::testing::kRangeNoise;
using compensation::testing::LeastSquaresSpread;
using compensation::testing::LinearSpread;
using compensation::testing::Minus;
using compensation::testing::Observation;
using compensation::testing::Position;
using compensation::testing::ReadFile;
using compensation::testing::ReadingNoise;
using compensation::testing::ScopedTraceDir;
using compensation::testing::Shift;
using compensation::testing::SplitLines;
using compensation::testing::SquaredSeparationNoise;

constexpr double kPi = 3.141592653589793;
// Radians to the degrees in which the model holds its angles; A2 is held as half of that.
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kA2DegreesPerRadian = 28.64788975654116;

// Exact readings. The joint loops stop once no fit moves its elements by more than its
// convergence tolerance (7.5e-6 degrees, 5.08e-7 m) in a pass, and each closed-form step leaves
// an error of second order in the model (below 1e-6 degrees at this model's size), so a
// settled model lies inside these bounds. Every fitted element of the truth is larger (at least
// 2e-4 degrees and 4e-6 m), so an element left unfitted fails them.
constexpr double kExactAngleTolerance = 2e-5;   // degrees
constexpr double kExactLengthTolerance = 1e-6;  // metres

constexpr double TMapper::*kLengthElements[] = {&TMapper::D1,     &TMapper::D2, &TMapper::D2_AzS,
                                                &TMapper::D2_AzC, &TMapper::X0, &TMapper::Y0};

bool IsLength(double TMapper::*element) {
    for (double TMapper::*length : kLengthElements) {
        if (length == element) {
            return true;
        }
    }
    return false;
}

// The elements the full compensation fits: the realistic truth of the full kind is non-zero in
// exactly those (the full two-face, full interball, x0y0 and d2 tables) and zero elsewhere.
std::vector<MapperElement> FittedElements(const TMapper& truth) {
    std::vector<MapperElement> fitted;
    for (const MapperElement& e : kMapperElements) {
        if (truth.*e.member != 0.0) {
            fitted.push_back(e);
        }
    }
    return fitted;
}

// Index of target `position` (1-based, as TCompOut holds it) of view v in the main array.
int FrontIndex(const Scenario& s, int view, int position) {
    return view * (1 + 2 * s.nTargets) + position;
}
int BackIndex(const Scenario& s, int view, int position) {
    return FrontIndex(s, view, position) + s.nTargets;
}

// One call of FullComp on a scenario's arrays, as a host makes it.
struct FullRun {
    int result = 0;
    TMapper model{};
    TCompOut out{};
    std::vector<CVector> main;
};

FullRun RunFullComp(Scenario s) {
    FullRun run;
    run.model = s.start;
    run.out = s.compOut;
    CCompensation engine;
    run.result = engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                 &run.model, &run.out);
    run.main = std::move(s.main);
    return run;
}

bool SameBits(const TMapper& a, const TMapper& b) {
    return std::memcmp(&a, &b, sizeof(TMapper)) == 0;
}

bool SameReadings(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const CVector& x = a[i];
        const CVector& y = b[i];
        const double xs[] = {x.Quality, x.Range, x.Azimuth, x.Elevation, x.X, x.Y, x.Z, x.T};
        const double ys[] = {y.Quality, y.Range, y.Azimuth, y.Elevation, y.X, y.Y, y.Z, y.T};
        if (std::memcmp(xs, ys, sizeof xs) != 0 || x.Type != y.Type || x.FSBS != y.FSBS ||
            x.Radian != y.Radian) {
            return false;
        }
    }
    return true;
}

// Sets every reading of the main array to one quality. A value other than 100 tells the two
// kinds of mark apart: a two-face write-back writes 50.0 itself, a pair write-back subtracts
// 50.0 from what the host had.
void SetQuality(Scenario& s, double quality) {
    for (CVector& v : s.main) {
        v.Quality = quality;
    }
}

// ---- Noise expected in each fitted element -------------------------------------------------

// The reading of main-array index i as the instrument saw it, corrected with the true model.
CVector TrueReading(const Scenario& s, int index) {
    CVector v = s.main[static_cast<std::size_t>(index)];
    TMapper truth = s.truth;
    v.Calibrate(&truth);
    return v;
}

void Assign(TMapper& spread, const std::vector<double TMapper::*>& elements,
            const std::vector<double>& values, double scale) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        spread.*elements[i] = values[i] * scale;
    }
}

// The two-face stages fit half the face differences of every pair: azimuth against the beam
// terms, elevation against the vertical-index terms, back-minus-front range against the
// range terms. Each pair is its own two readings, so its rows carry independent noise.
void AddTwoFaceSpread(const Scenario& s, const ReadingNoise& noise, TMapper& spread) {
    std::vector<Observation> azimuth;
    std::vector<Observation> elevation;
    std::vector<Observation> range;
    for (int v = 0; v < s.nViews; ++v) {
        for (int t = 1; t <= s.nTargets; ++t) {
            const int f = FrontIndex(s, v, t);
            const int b = BackIndex(s, v, t);
            const CVector p = TrueReading(s, f);
            const double h = 0.25 * kPi - 0.5 * p.Elevation;
            const double tn = std::tan(h);
            const double u = -1.0 / std::cos(h);
            const double g = 2.0 * std::sin(h) - 1.0;
            const double s1 = std::sin(p.Azimuth), c1 = std::cos(p.Azimuth);
            const double s2 = std::sin(2 * p.Azimuth), c2 = std::cos(2 * p.Azimuth);
            const double s4 = std::sin(4 * p.Azimuth), c4 = std::cos(4 * p.Azimuth);
            azimuth.push_back(
                {{tn, tn * s2, tn * c2, tn * s4, tn * c4, u, u * s2, u * c2, u * s4, u * c4},
                 {{f, kAzimuthNoise, 0.5}, {b, kAzimuthNoise, -0.5}}});
            elevation.push_back({{1.0, s2, c2, std::sin(h), s4, c4},
                                 {{f, kElevationNoise, 0.5}, {b, kElevationNoise, -0.5}}});
            range.push_back({{2.0 * std::cos(p.Elevation), 2.0 * g * s1, 2.0 * g * c1},
                             {{b, kRangeNoise, 1.0}, {f, kRangeNoise, -1.0}}});
        }
    }
    Assign(
        spread,
        {&TMapper::A1, &TMapper::A1_2AzS, &TMapper::A1_2AzC, &TMapper::A1_4AzS, &TMapper::A1_4AzC,
         &TMapper::A3, &TMapper::A3_2AzS, &TMapper::A3_2AzC, &TMapper::A3_4AzS, &TMapper::A3_4AzC},
        LeastSquaresSpread(azimuth, noise), kDegreesPerRadian);
    const std::vector<double> el = LeastSquaresSpread(elevation, noise);
    Assign(spread, {&TMapper::A2}, {el[0]}, kA2DegreesPerRadian);
    Assign(spread,
           {&TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS, &TMapper::El_4AzS,
            &TMapper::El_4AzC},
           {el[1], el[2], el[3], el[4], el[5]}, kDegreesPerRadian);
    Assign(spread, {&TMapper::D1, &TMapper::D2_AzS, &TMapper::D2_AzC},
           LeastSquaresSpread(range, noise), 1.0);
}

// How one interball element moves a point per radian: alpha is the horizontal turn times
// cos El, beta the elevation change, both functions of the azimuth and q = pi/4 - El/2.
struct InterballTerm {
    double TMapper::*element;
    double (*alpha)(double az, double q);
    double (*beta)(double az, double q);
};

double Zero(double, double) {
    return 0.0;
}

const InterballTerm kInterballTerms[] = {
    {&TMapper::Ax, [](double a, double) { return std::cos(a); },
     [](double a, double) { return std::sin(a); }},
    {&TMapper::Ay, [](double a, double) { return -std::sin(a); },
     [](double a, double) { return std::cos(a); }},
    {&TMapper::A1_AzS,
     [](double a, double q) { return -2 * std::pow(std::sin(q), 2) * std::sin(a); }, Zero},
    {&TMapper::A1_AzC,
     [](double a, double q) { return -2 * std::pow(std::sin(q), 2) * std::cos(a); }, Zero},
    {&TMapper::A1_3AzS,
     [](double a, double q) { return -2 * std::pow(std::sin(q), 2) * std::sin(3 * a); }, Zero},
    {&TMapper::A1_3AzC,
     [](double a, double q) { return -2 * std::pow(std::sin(q), 2) * std::cos(3 * a); }, Zero},
    {&TMapper::A2_3AzS, Zero, [](double a, double) { return -2 * std::sin(3 * a); }},
    {&TMapper::A2_3AzC, Zero, [](double a, double) { return -2 * std::cos(3 * a); }},
    {&TMapper::A3_AzS, [](double a, double q) { return 2 * std::sin(q) * std::sin(a); }, Zero},
    {&TMapper::A3_AzC, [](double a, double q) { return 2 * std::sin(q) * std::cos(a); }, Zero},
    {&TMapper::A3_3AzS, [](double a, double q) { return 2 * std::sin(q) * std::sin(3 * a); }, Zero},
    {&TMapper::A3_3AzC, [](double a, double q) { return 2 * std::sin(q) * std::cos(3 * a); }, Zero},
};

Shift InterballShift(const CVector& p, const InterballTerm& term) {
    const double q = 0.25 * kPi - 0.5 * p.Elevation;
    const double alpha = term.alpha(p.Azimuth, q);
    const double beta = term.beta(p.Azimuth, q);
    const double R = p.Range;
    const double sa = std::sin(p.Azimuth), ca = std::cos(p.Azimuth), se = std::sin(p.Elevation);
    return {-R * ca * alpha + R * sa * se * beta, R * std::cos(p.Elevation) * beta,
            -R * sa * alpha - R * ca * se * beta};
}

// True when the azimuths of two targets in the first view lie 25 to 115 degrees apart.
bool CarriesDistance(double az1, double az2) {
    double d = std::fabs(az1 - az2);
    if (d > kPi) {
        d = std::fabs(d - 2 * kPi);
    }
    return d > 25.0 * kPi / 180.0 && d < 115.0 * kPi / 180.0;
}

// The interball fit makes the squared distance of every usable target pair the same in all
// views, with one unknown distance per pair; a reading takes part in every pair of its view,
// so the rows share noise and the propagation keeps track of which reading each term is.
void AddInterballSpread(const Scenario& s, const ReadingNoise& noise, TMapper& spread) {
    std::vector<Observation> rows;
    for (int i = 1; i <= s.nTargets; ++i) {
        for (int j = i + 1; j <= s.nTargets; ++j) {
            if (!CarriesDistance(s.main[static_cast<std::size_t>(FrontIndex(s, 0, i))].Azimuth,
                                 s.main[static_cast<std::size_t>(FrontIndex(s, 0, j))].Azimuth)) {
                continue;
            }
            std::vector<Observation> block;
            for (int v = 0; v < s.nViews; ++v) {
                const CVector a = TrueReading(s, FrontIndex(s, v, i));
                const CVector b = TrueReading(s, FrontIndex(s, v, j));
                const Shift delta = Minus(Position(a), Position(b));
                Observation o;
                for (const InterballTerm& term : kInterballTerms) {
                    o.row.push_back(
                        2.0 * Dot(delta, Minus(InterballShift(a, term), InterballShift(b, term))));
                }
                o.noise = SquaredSeparationNoise(a, FrontIndex(s, v, i), b, FrontIndex(s, v, j));
                block.push_back(o);
            }
            CentreRows(block);
            rows.insert(rows.end(), block.begin(), block.end());
        }
    }
    const std::vector<double> values = LeastSquaresSpread(rows, noise);
    for (std::size_t k = 0; k < values.size(); ++k) {
        spread.*kInterballTerms[k].element = values[k] * kDegreesPerRadian;
    }
}

// X0 and Y0 make the squared separation of the x0y0 pair the same in every view (one unknown
// separation); D2 is the mean over all outside and d2 pairs of (d_j - d_i) / (a_i - a_j), whose
// weights on each squared separation follow by differentiating that mean.
void AddPairSpread(const Scenario& s, const ReadingNoise& noise, TMapper& spread) {
    std::vector<Observation> x0y0;
    const int n1 = s.compOut.m_n1_x0y0;
    const int n2 = s.compOut.m_n2_x0y0;
    for (int v = 0; v < s.nViews; ++v) {
        const CVector a = TrueReading(s, FrontIndex(s, v, n1));
        const CVector b = TrueReading(s, FrontIndex(s, v, n2));
        x0y0.push_back({{SeparationSlope(a, b, GradientX0), SeparationSlope(a, b, GradientY0)},
                        SquaredSeparationNoise(a, FrontIndex(s, v, n1), b, FrontIndex(s, v, n2))});
    }
    CentreRows(x0y0);
    Assign(spread, {&TMapper::X0, &TMapper::Y0}, LeastSquaresSpread(x0y0, noise), 1.0);

    struct Pair {
        double slope;
        std::vector<compensation::testing::NoiseTerm> noise;
    };
    std::vector<Pair> outside;
    std::vector<Pair> inside;
    const int outsideReading = s.nCount();  // outside readings numbered after the main array
    TMapper truth = s.truth;
    for (int k = 0; 2 * k + 1 < s.nCountOut1(); ++k) {
        CVector a = s.outside1[static_cast<std::size_t>(2 * k)];
        CVector b = s.outside1[static_cast<std::size_t>(2 * k + 1)];
        a.Calibrate(&truth);
        b.Calibrate(&truth);
        outside.push_back(
            {SeparationSlope(a, b, GradientD2),
             SquaredSeparationNoise(a, outsideReading + 2 * k, b, outsideReading + 2 * k + 1)});
    }
    for (int v = 0; v < s.nViews; ++v) {
        const int ia = FrontIndex(s, v, s.compOut.m_n1_d2);
        const int ib = FrontIndex(s, v, s.compOut.m_n2_d2);
        const CVector a = TrueReading(s, ia);
        const CVector b = TrueReading(s, ib);
        inside.push_back({SeparationSlope(a, b, GradientD2), SquaredSeparationNoise(a, ia, b, ib)});
    }
    const double combinations = static_cast<double>(outside.size() * inside.size());
    std::vector<Observation> weighted;
    for (const Pair& i : outside) {
        double w = 0.0;
        for (const Pair& j : inside) {
            w -= 1.0 / (i.slope - j.slope);
        }
        weighted.push_back({{w / combinations}, i.noise});
    }
    for (const Pair& j : inside) {
        double w = 0.0;
        for (const Pair& i : outside) {
            w += 1.0 / (i.slope - j.slope);
        }
        weighted.push_back({{w / combinations}, j.noise});
    }
    spread.D2 = LinearSpread(weighted, noise)[0];
}

// First-order standard deviation of every element the full compensation fits, each fit taken
// on its own with the others at their true values.
TMapper PredictedSpread(const Scenario& exact, const ReadingNoise& noise) {
    TMapper spread{};
    AddTwoFaceSpread(exact, noise, spread);
    AddInterballSpread(exact, noise, spread);
    AddPairSpread(exact, noise, spread);
    return spread;
}

// ---- Tolerances ---------------------------------------------------------------------------

// Realistic reading noise: 1 microradian on each angle and 2 micrometres on each range.
//
// At this level every fit is linear in the noise (errors measured over 300 seeds scale with the
// noise from 0.1 to 2 microradians to within 1 %, with no bias beyond their scatter), so each
// element's error is Gaussian with a standard deviation fixed by the design: PredictedSpread
// propagates the reading noise through each fit's own least-squares model on the simulated
// geometry. Over 300 seeds the measured scatter agrees with it to within 12 % (a 300-seed
// estimate itself scatters by 4 %) for the two-face, x0y0 and d2 elements and the interball
// harmonics (1.2e-4 degrees for A1_AzS: the A1 and A3 odd harmonics differ only through sin q
// and sin^2 q, so the design separates them poorly); for Ax and Ay the joint loop adds up to a
// third, since the interball fit sees the two-face elements' errors through the front sights.
// A bound of 5 predicted deviations is therefore at least 3.7 true deviations for every
// element, which a sound procedure exceeds with probability below 1e-3 per seed. It is tied to
// the design, not to the seed used: an element fitted from the wrong rows, a lost observation
// set or a bias of the size of the noise fails it.
constexpr double kDeviations = 5.0;

Noise RealisticNoise() {
    Noise noise;
    noise.angle = 1e-6;
    noise.range = 2e-6;
    noise.seed = 2024;
    return noise;
}

Scenario FullScenarioWith(Noise noise, const std::vector<GrossError>& gross = {}) {
    Options options;
    options.noise = std::move(noise);
    options.noise.gross = gross;
    return MakeScenario("full", options);
}

// The bound on a fitted element's error: the convergence bound on exact readings, or
// kDeviations predicted deviations of the design on noisy ones.
double Tolerance(const MapperElement& e, const TMapper* spread) {
    if (spread != nullptr) {
        return kDeviations * spread->*e.member;
    }
    return IsLength(e.member) ? kExactLengthTolerance : kExactAngleTolerance;
}

// ---- Recovery ------------------------------------------------------------------------------

// Exact readings: the procedure settles (result 0, full-mode confidence at its best) and
// writes every element it fits within the convergence tolerances of the truth; every element
// it does not fit keeps the value it had (0).
TEST(FullCompensationEndToEnd, ExactReadingsGiveBackTheTrueModel) {
    const Scenario s = MakeScenario("full");
    const std::vector<MapperElement> fitted = FittedElements(s.truth);
    ASSERT_EQ(fitted.size(), 34u);  // 19 two-face, 12 interball, X0, Y0, D2

    const FullRun run = RunFullComp(s);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out.m_nConfidence, 98);
    for (const MapperElement& e : kMapperElements) {
        const double truth = s.truth.*e.member;
        EXPECT_NEAR(run.model.*e.member, truth, truth == 0.0 ? 0.0 : Tolerance(e, nullptr))
            << e.name;
    }
    for (const CVector& v : run.main) {
        EXPECT_EQ(v.Quality, 100.0);  // nothing rejected in exact data
    }
}

// Noisy readings: the procedure settles and every fitted element lies within kDeviations of the
// spread its design predicts for this noise.
TEST(FullCompensationEndToEnd, NoisyReadingsGiveBackTheTrueModelWithinTheDesignSpread) {
    const Noise noise = RealisticNoise();
    const Scenario noisy = FullScenarioWith(noise);
    const TMapper spread = PredictedSpread(MakeScenario("full"), {noise.range, noise.angle});

    const FullRun run = RunFullComp(noisy);
    EXPECT_EQ(run.result, 0);
    for (const MapperElement& e : FittedElements(noisy.truth)) {
        ASSERT_GT(spread.*e.member, 0.0) << e.name << " has no predicted spread";
        EXPECT_NEAR(run.model.*e.member, noisy.truth.*e.member, Tolerance(e, &spread)) << e.name;
    }
}

// ---- Blunders and their marks ---------------------------------------------------------------

// The two targets of a chosen pair, as TCompOut names them.
struct PairFields {
    const char* name;
    int TCompOut::*n1;
    int TCompOut::*n2;
};

const PairFields kChosenPairs[] = {
    {"x0y0", &TCompOut::m_n1_x0y0, &TCompOut::m_n2_x0y0},
    {"d2", &TCompOut::m_n1_d2, &TCompOut::m_n2_d2},
};

// A 1 mm range blunder on the reading at `index` of the main array (a beam cut and re-locked
// on the wrong surface).
GrossError RangeBlunder(int index) {
    GrossError e;
    e.set = Set::Main;
    e.index = index;
    e.range = 1e-3;
    return e;
}

// A blunder in the front sight of one pair target: the two-face outlier pass rejects its pair
// in the working arrays, the pair fit sees it in its own set and rejects that view's pair, and
// the write-back marks the front sights of both pair targets of that view (old quality minus
// 50) and the back sight with the two-face mark (50). Nothing else is marked, and with the
// blunder out of every fit the truth comes back as without it, from exact and noisy readings.
TEST(FullCompensationEndToEnd, ABlunderInAPairMeasurementIsRejectedAndMarked) {
    constexpr int kView = 5;
    constexpr double kHostQuality = 90.0;
    const Scenario plain = MakeScenario("full");
    const Noise noise = RealisticNoise();
    const TMapper spread = PredictedSpread(plain, {noise.range, noise.angle});
    for (const PairFields& pair : kChosenPairs) {
        for (const bool noisy : {false, true}) {
            const std::string what = std::string(pair.name) + (noisy ? " noisy" : " exact");
            const int n1 = plain.compOut.*pair.n1;
            const int n2 = plain.compOut.*pair.n2;
            Scenario s = FullScenarioWith(noisy ? noise : Noise{},
                                          {RangeBlunder(FrontIndex(plain, kView, n1))});
            SetQuality(s, kHostQuality);

            const FullRun run = RunFullComp(s);
            EXPECT_EQ(run.result, 0) << what;
            for (int i = 0; i < s.nCount(); ++i) {
                double expected = kHostQuality;
                if (i == FrontIndex(s, kView, n1) || i == FrontIndex(s, kView, n2)) {
                    expected = kHostQuality - 50.0;
                } else if (i == BackIndex(s, kView, n1)) {
                    expected = 50.0;
                }
                EXPECT_EQ(run.main[static_cast<std::size_t>(i)].Quality, expected)
                    << what << " reading " << i;
            }
            for (const MapperElement& e : FittedElements(s.truth)) {
                EXPECT_NEAR(run.model.*e.member, s.truth.*e.member,
                            Tolerance(e, noisy ? &spread : nullptr))
                    << what << " " << e.name;
            }
        }
    }
}

// Each working set's rejections are written back from the array as it was classified. Here the
// two-face fit rejects the x0y0 target's pair in view 3 (a blunder on its back sight, which the
// x0y0 set does not hold) and the x0y0 fit rejects its pair in view 7 (the far target moved by
// 0.5 mm along the beam in both faces, which the two-face differences do not see). Written
// back one after the other, the two-face mark in view 3 would hide that view from the pair
// write-back and move the x0y0 mark onto view 8.
TEST(FullCompensationEndToEnd, RejectionsOfDifferentSetsLandOnTheirOwnViews) {
    constexpr int kTwoFaceView = 3;
    constexpr int kPairView = 7;
    constexpr double kHostQuality = 95.0;
    const Scenario plain = MakeScenario("full");
    const int n1 = plain.compOut.m_n1_x0y0;
    const int n2 = plain.compOut.m_n2_x0y0;
    GrossError front = RangeBlunder(FrontIndex(plain, kPairView, n2));
    GrossError back = RangeBlunder(BackIndex(plain, kPairView, n2));
    front.range = back.range = 5e-4;
    Scenario s =
        FullScenarioWith(Noise{}, {RangeBlunder(BackIndex(plain, kTwoFaceView, n1)), front, back});
    SetQuality(s, kHostQuality);

    const FullRun run = RunFullComp(s);
    ASSERT_EQ(run.result, 0);
    auto quality = [&](int index) { return run.main[static_cast<std::size_t>(index)].Quality; };
    EXPECT_EQ(quality(FrontIndex(s, kTwoFaceView, n1)), 50.0);
    EXPECT_EQ(quality(BackIndex(s, kTwoFaceView, n1)), 50.0);
    EXPECT_EQ(quality(FrontIndex(s, kTwoFaceView, n2)), kHostQuality);
    EXPECT_EQ(quality(FrontIndex(s, kPairView, n1)), kHostQuality - 50.0);
    EXPECT_EQ(quality(FrontIndex(s, kPairView, n2)), kHostQuality - 50.0);
    // No other view of the pair carries a mark.
    for (int view = 0; view < s.nViews; ++view) {
        if (view == kPairView) {
            continue;
        }
        if (view != kTwoFaceView) {
            EXPECT_EQ(quality(FrontIndex(s, view, n1)), kHostQuality) << "view " << view;
        }
        EXPECT_EQ(quality(FrontIndex(s, view, n2)), kHostQuality) << "view " << view;
    }
}

// ---- Failure results -----------------------------------------------------------------------

// True when a view's heading (radians, the azimuth of its reference vector) lies in 45-degree
// sector b, which holds azimuths strictly between 45 b - 185 and 45 b - 130 degrees.
bool InSector(double heading, int sector) {
    const double degrees = heading * 180.0 / kPi;
    return degrees > 45.0 * sector - 185.0 && degrees < 45.0 * sector - 130.0;
}

// Without the views of one sector the result is 9 + sector, and the model is exactly what one
// fitting call of the full two-face fit makes of the start model from these readings.
TEST(FullCompensationEndToEnd, ACoverageGapReturnsNinePlusTheSectorAfterOneTwoFaceCall) {
    for (int sector : {0, 3, 7}) {
        Layout layout = FullLayout();
        std::vector<double> kept;
        for (double heading : layout.headings) {
            if (!InSector(heading, sector)) {
                kept.push_back(heading);
            }
        }
        ASSERT_EQ(kept.size() + 2, layout.headings.size());
        layout.headings = kept;
        const Scenario s = Simulate(layout, RealisticTruth(Kind::Full));

        const FullRun run = RunFullComp(s);
        EXPECT_EQ(run.result, 9 + sector);

        std::vector<CVector> host = s.main;
        for (CVector& v : host) {
            v.SeType();
        }
        std::vector<CVector> front(host.size() / 2);
        std::vector<CVector> back(host.size() / 2);
        int pairs = 0;
        TMapper model = s.start;
        TCompOut out = s.compOut;
        CCompensation engine;
        engine.ClassifyFSBS(host.data(), s.nCount(), front.data(), back.data(), &pairs, 1);
        engine.CalculateFFCFSBS(front.data(), back.data(), &model, pairs, &out, 1, 0);
        EXPECT_TRUE(SameBits(run.model, model)) << "sector " << sector;
        EXPECT_EQ(std::memcmp(&run.out, &out, sizeof out), 0) << "sector " << sector;
        EXPECT_NE(model.A1, s.start.A1);
    }
}

// Sets the host's quality of the front sight of target `position` to 40 (unusable) in the
// first `views` views, so that the pair of that target is usable in the others only.
void DropPairViews(Scenario& s, int position, int views) {
    for (int v = 0; v < views; ++v) {
        s.main[static_cast<std::size_t>(FrontIndex(s, v, position))].Quality = 40.0;
    }
}

// How many times the trace shows a pair classification. The procedure classifies the x0y0
// pairs, builds the interball pair table, classifies the d2 pairs, and once settled writes the
// two pair sets back with the same operation: 1, 2 and 4 tell where it ended.
int PairClassifications(const ScopedTraceDir& trace) {
    int count = 0;
    for (const std::string& line : SplitLines(ReadFile(trace.file()))) {
        count += line.rfind("Entering ClassifyPairs", 0) == 0 ? 1 : 0;
    }
    return count;
}

// With 12 views the pair classification demands more than 9 pairs. Too few x0y0 pairs end the
// procedure with 19, too few d2 pairs with 21, both after the two-face stage and before any
// other fit (the interball elements keep their start values); one pair more passes (for x0y0
// two more: with 10 pairs the x0y0 fit itself demands 11, see the joint-loop test below).
TEST(FullCompensationEndToEnd, TooFewChosenPairsEndAfterTheTwoFaceStage) {
    struct Case {
        const char* pair;
        int TCompOut::*position;
        int droppedViews;
        int result;
        int classifications;  // a settled run adds the two write-back passes
    };
    const Case cases[] = {
        {"x0y0", &TCompOut::m_n1_x0y0, 3, 19, 1},
        {"x0y0", &TCompOut::m_n1_x0y0, 1, 0, 4},
        {"d2", &TCompOut::m_n1_d2, 3, 21, 2},
        {"d2", &TCompOut::m_n1_d2, 2, 0, 4},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::string(c.pair) + " without " + std::to_string(c.droppedViews) + " views";
        Scenario s = MakeScenario("full");
        DropPairViews(s, s.compOut.*c.position, c.droppedViews);
        const ScopedTraceDir trace;
        const FullRun run = RunFullComp(s);
        EXPECT_EQ(run.result, c.result) << what;
        EXPECT_NE(run.model.A1, 0.0) << what;
        EXPECT_EQ(PairClassifications(trace), c.classifications) << what;
        if (c.result != 0) {
            EXPECT_EQ(run.model.Ax, 0.0) << what;
            EXPECT_EQ(run.model.X0, 0.0) << what;
            EXPECT_EQ(run.out.m_nConfidence, 0) << what;
        }
    }
}

// Turns a world point about the vertical axis through the station to a world azimuth.
Point AtAzimuth(const Point& p, double azimuthDegrees) {
    const double horizontal = std::hypot(p.x, p.z);
    const double a = azimuthDegrees * kPi / 180.0;
    return {-horizontal * std::sin(a), p.y, horizontal * std::cos(a)};
}

// Interball pairs must lie 25 to 115 degrees apart in azimuth. With the ring crowded between 99
// and 108 degrees beside the x0y0 targets (100 and 108 degrees) only the pairs with the d2
// target at 50 degrees qualify (12 + 2 of 120), fewer than 25: the result is 21 after the x0y0
// classification and before the d2 one, and no fit but the two-face fit has run.
TEST(FullCompensationEndToEnd, TargetsCrowdedInAzimuthGiveTooFewInterballPairs) {
    Layout layout = FullLayout();
    const int ring = static_cast<int>(layout.targets.size()) - 4;
    for (int k = 0; k < ring; ++k) {
        layout.targets[static_cast<std::size_t>(k)] =
            AtAzimuth(layout.targets[static_cast<std::size_t>(k)], 99.0 + 10.0 * k / ring);
    }
    const Scenario s = Simulate(layout, RealisticTruth(Kind::Full));
    const ScopedTraceDir trace;
    const FullRun run = RunFullComp(s);
    EXPECT_EQ(run.result, 21);
    EXPECT_EQ(PairClassifications(trace), 1);
    EXPECT_NE(run.model.A1, 0.0);
    EXPECT_EQ(run.model.Ax, 0.0);
    EXPECT_EQ(run.model.X0, 0.0);
    EXPECT_EQ(run.model.D2, 0.0);
}

// With the x0y0 pair usable in 10 views the classification passes (more than 9) but the x0y0
// fit demands 11 and returns 19 on every call: the first joint loop runs out after 52
// evaluations with that sum, which the procedure returns without writing back the two-face
// rejection of a blunder it made or scoring the model.
TEST(FullCompensationEndToEnd, AFirstJointLoopThatDoesNotSettleReturnsItsSumWithoutWriteBack) {
    const Scenario plain = MakeScenario("full");
    const int blunder = FrontIndex(plain, 4, 1);  // a ring target
    Scenario s = FullScenarioWith(Noise{}, {RangeBlunder(blunder)});
    DropPairViews(s, s.compOut.m_n1_x0y0, 2);

    const ScopedTraceDir trace;
    const FullRun run = RunFullComp(s);
    EXPECT_EQ(run.result, 19);
    EXPECT_EQ(PairClassifications(trace), 2);
    EXPECT_EQ(run.main[static_cast<std::size_t>(blunder)].Quality, 100.0);
    EXPECT_EQ(run.out.m_nConfidence, 0);
    EXPECT_EQ(run.model.X0, 0.0);
    EXPECT_NE(run.model.Ax, 0.0);  // the interball fit ran in the loop
}

// ---- Input that does not fit the arrays ----------------------------------------------------

// Pair positions outside a view (0, negative, beyond the last target) and an odd outside count
// are refused with -1 before anything is written: the host's arrays, model and result record
// stay as they were, bit for bit.
TEST(FullCompensationEndToEnd, PositionsOutsideAViewAndAnOddOutsideCountAreRefused) {
    const Scenario plain = MakeScenario("full");
    struct Case {
        std::string what;
        Scenario s;
        int outsideCount;
    };
    std::vector<Case> cases;
    for (const PairFields& pair : kChosenPairs) {
        for (int TCompOut::*field : {pair.n1, pair.n2}) {
            for (int position : {0, -1, plain.nTargets + 1}) {
                Scenario s = plain;
                s.compOut.*field = position;
                cases.push_back({std::string(pair.name) + (field == pair.n1 ? " n1 " : " n2 ") +
                                     std::to_string(position),
                                 s, s.nCountOut1()});
            }
        }
    }
    cases.push_back({"odd outside count", plain, plain.nCountOut1() - 1});
    cases.push_back({"negative outside count", plain, -2});

    for (Case& c : cases) {
        const std::vector<CVector> main = c.s.main;
        const std::vector<CVector> outside = c.s.outside1;
        TMapper model = c.s.truth;
        TCompOut out = c.s.compOut;
        CCompensation engine;
        EXPECT_EQ(engine.FullComp(c.s.main.data(), c.s.nCount(), c.s.outside1.data(),
                                  c.outsideCount, &model, &out),
                  -1)
            << c.what;
        EXPECT_TRUE(SameBits(model, c.s.truth)) << c.what;
        EXPECT_EQ(std::memcmp(&out, &c.s.compOut, sizeof out), 0) << c.what;
        EXPECT_TRUE(SameReadings(c.s.main, main)) << c.what;
        EXPECT_TRUE(SameReadings(c.s.outside1, outside)) << c.what;
    }
}

// ---- Degenerate data ----------------------------------------------------------------------

// Data sets in which a fit cannot determine its elements. The x0y0 pair naming one target twice
// has no separation at all: X0 and Y0 come out as 0/0, the fit keeps their entry values and
// reports "not converged" (25) on every call, so the first joint loop ends with 25. With every
// target at one elevation the interball fit cannot tell the A1 from the A3 harmonics and ends
// it with 26. Either way the model stays finite.
TEST(FullCompensationEndToEnd, DegenerateDataLeaveTheModelFinite) {
    struct Case {
        std::string what;
        Scenario s;
        int result;
    };
    std::vector<Case> cases;
    Scenario twice = MakeScenario("full");
    twice.compOut.m_n2_x0y0 = twice.compOut.m_n1_x0y0;
    cases.push_back({"x0y0 pair of one target", twice, 25});
    Layout flat = FullLayout();
    for (Point& p : flat.targets) {
        const double range = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        const double horizontal = std::hypot(p.x, p.z);
        const double scale = range * std::cos(0.2) / horizontal;
        p = {p.x * scale, range * std::sin(0.2), p.z * scale};
    }
    cases.push_back({"one elevation", Simulate(flat, RealisticTruth(Kind::Full)), 26});

    for (const Case& c : cases) {
        const FullRun run = RunFullComp(c.s);
        EXPECT_EQ(run.result, c.result) << c.what;
        for (const MapperElement& e : kMapperElements) {
            EXPECT_TRUE(std::isfinite(run.model.*e.member)) << c.what << " " << e.name;
        }
    }
}

}  // namespace
}  // namespace compensation::sim
