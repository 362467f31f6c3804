// The full-full compensation end to end on the simulated tracker: one scenario per mode, each
// made with a true model in which every element the mode fits is non-zero.
//
// What a mode cannot see. In modes 0 and 1 two fits estimate the face-dependent elevation error.
// The main two-face fit solves A2 (a constant) and El_ElS (the coefficient of sin q,
// q = pi/4 - El/2) from the ring of targets; the FBB two-face fit holds both at zero and solves
// the whole face difference of the flying views as a cubic in El (B_plus, A_plus, C_plus). Over
// the measured elevations a cubic absorbs the constant 2 A2 and El_ElS sin q up to a quartic
// remainder, so the two fits settle on their own split of A2, El_ElS and the cubic, not on the
// truth's. Only the sum is observable: the face-dependent elevation correction
//     F(El) = 2 A2 + El_ElS sin q + (B_plus El + A_plus El^2 + C_plus El^3) x 57.295779513093144
// (degrees), which the tests compare over the measured range instead of the five elements. In
// mode 2 no cubic is fitted and A2 and El_ElS are checked one by one.
//
// Noise. With noise the tolerance of every element is derived, not chosen: the tests propagate the
// readings' noise (1 microradian on each angle, 2 micrometres on each range) through the settled
// state of all the procedure's fits to first order, and accept five standard deviations on top of
// the noise-free tolerance. See NoisePropagation below.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "engine/constants.h"
#include "model/mapper_elements.h"

namespace {

using compensation::sim::Kind;
using compensation::sim::Layout;
using compensation::sim::Options;
using compensation::sim::Placement;
using compensation::sim::Point;
using compensation::sim::Scenario;
using Member = double TMapper::*;

// --- Elements, by the fit that estimates them ----------------------------------------------------

enum class Unit { kDegree, kMetre, kPolynomial };

struct Element {
    Member member;
    const char* name;
    Unit unit;
};

#define DEG(e)                         \
    Element {                          \
        &TMapper::e, #e, Unit::kDegree \
    }
#define METRE(e)                      \
    Element {                         \
        &TMapper::e, #e, Unit::kMetre \
    }
#define POLY(e)                            \
    Element {                              \
        &TMapper::e, #e, Unit::kPolynomial \
    }

using Elements = std::vector<Element>;

// Two-face fit, range stage (both passes).
const Elements kTwoFaceRange = {METRE(D1), METRE(D2_AzS), METRE(D2_AzC)};
// Two-face fit, azimuth stage: the azimuth-harmonic pass, then what the six-harmonic pass adds.
const Elements kTwoFaceAzimuth = {DEG(A1),      DEG(A1_2AzS), DEG(A1_2AzC), DEG(A1_4AzS),
                                  DEG(A1_4AzC), DEG(A3),      DEG(A3_2AzS), DEG(A3_2AzC),
                                  DEG(A3_4AzS), DEG(A3_4AzC), DEG(Az_AzS),  DEG(Az_AzC),
                                  DEG(Az_3AzS), DEG(Az_3AzC)};
const Elements kTwoFaceAzimuthSix = {DEG(A1_6AzS), DEG(A1_6AzC), DEG(A3_6AzS),
                                     DEG(A3_6AzC), DEG(Az_5AzS), DEG(Az_5AzC)};
// Two-face fit, elevation stage: the harmonics, and the two terms a cubic in El absorbs.
const Elements kTwoFaceElevation = {DEG(El_2AzS), DEG(El_2AzC), DEG(El_4AzS), DEG(El_4AzC)};
const Elements kTwoFaceElevationSix = {DEG(El_6AzS), DEG(El_6AzC)};
const Elements kFaceConstantAndSine = {DEG(A2), DEG(El_ElS)};
// Interball fit: the azimuth-harmonic set, then what the six-harmonic set adds.
const Elements kInterball = {DEG(Ax),      DEG(Ay),      DEG(A1_AzS),  DEG(A1_AzC),
                             DEG(A1_3AzS), DEG(A1_3AzC), DEG(A2_3AzS), DEG(A2_3AzC),
                             DEG(A3_AzS),  DEG(A3_AzC),  DEG(A3_3AzS), DEG(A3_3AzC),
                             DEG(Az_2AzS), DEG(Az_2AzC), DEG(Az_4AzS), DEG(Az_4AzC)};
const Elements kInterballSix = {DEG(A1_5AzS), DEG(A1_5AzC), DEG(A2_5AzS), DEG(A2_5AzC),
                                DEG(A3_5AzS), DEG(A3_5AzC), DEG(Az_6AzS), DEG(Az_6AzC)};
// Single-term fits.
const Elements kX0Y0 = {METRE(X0), METRE(Y0)};
const Elements kD2 = {METRE(D2)};
const Elements kKMinus = {DEG(K_minus)};
const Elements kElElC = {DEG(El_ElC)};
// The face-free elevation polynomial (FBB or check interball fit) and the face-signed cubic.
const Elements kFaceFreeCubic = {POLY(B_minus), POLY(A_minus), POLY(C_minus)};
const Elements kFaceCubic = {POLY(B_plus), POLY(A_plus), POLY(C_plus)};

#undef DEG
#undef METRE
#undef POLY

Elements Join(std::initializer_list<const Elements*> lists) {
    Elements all;
    for (const Elements* list : lists) {
        all.insert(all.end(), list->begin(), list->end());
    }
    return all;
}

// Elements that only the six-harmonic fits write: they tell whether the second pass ran.
Elements SixHarmonicOnly() {
    return Join({&kTwoFaceAzimuthSix, &kTwoFaceElevationSix, &kInterballSix});
}

// Every element a mode checks one by one after both passes.
Elements CheckedElements(int mode) {
    Elements all = Join({&kTwoFaceRange, &kTwoFaceAzimuth, &kTwoFaceAzimuthSix, &kTwoFaceElevation,
                         &kTwoFaceElevationSix, &kInterball, &kInterballSix, &kX0Y0, &kD2});
    const Elements& modal =
        mode == 2 ? Join({&kFaceConstantAndSine, &kElElC}) : Join({&kKMinus, &kFaceFreeCubic});
    all.insert(all.end(), modal.begin(), modal.end());
    return all;
}

// Noise-free tolerance: 2e-5 degrees for angles and 1e-6 m for lengths; a polynomial coefficient
// (radians per radian^n) gets the value that moves the elevation by 2e-5 degrees at El = 1 rad.
constexpr double kAngleTolerance = 2e-5;
constexpr double kLengthTolerance = 1e-6;

double NoiseFreeTolerance(Unit unit) {
    switch (unit) {
        case Unit::kMetre:
            return kLengthTolerance;
        case Unit::kPolynomial:
            return kAngleTolerance / compensation::kPolyRadToDeg;
        case Unit::kDegree:
            break;
    }
    return kAngleTolerance;
}

// The face-dependent elevation correction F(El) of the header comment, in degrees.
double FaceCorrection(const TMapper& m, double el) {
    const double q = compensation::kQuarterPi - 0.5 * el;
    return 2.0 * m.A2 + m.El_ElS * std::sin(q) +
           (m.B_plus * el + m.A_plus * el * el + m.C_plus * el * el * el) *
               compensation::kPolyRadToDeg;
}

// Its gradient with respect to A2, El_ElS, B_plus, A_plus and C_plus.
std::vector<double> FaceCorrectionGradient(double el) {
    const double q = compensation::kQuarterPi - 0.5 * el;
    const double k = compensation::kPolyRadToDeg;
    return {2.0, std::sin(q), k * el, k * el * el, k * el * el * el};
}

const std::vector<Member> kFaceMembers = {&TMapper::A2, &TMapper::El_ElS, &TMapper::B_plus,
                                          &TMapper::A_plus, &TMapper::C_plus};

// The cubic leaves the quartic term of El_ElS sin q: sin q = (cos(El/2) - sin(El/2)) / sqrt 2
// holds (El/2)^4 / 24 / sqrt 2 = El^4 / 543, which is 2.2e-3 El_ElS at El = 60 degrees (the top
// of the ring), 2.4e-6 degrees for the truth's El_ElS; add the joint loops' change limit of
// 7.5e-6 degrees per element and F agrees to 1e-5 degrees.
constexpr double kFaceTolerance = 1e-5;

// --- Running the procedure ------------------------------------------------------------------

struct Outcome {
    int result = 0;
    TMapper model{};
    TCompOut out{};
};

// Runs FullFullComp on the scenario's arrays (which it marks) from the scenario's start model.
// The confidence starts at a value no validation writes, so a test can tell whether it ran.
constexpr int kNotValidated = -12345;

Outcome RunProcedure(Scenario& s, int mode) {
    Outcome o;
    o.model = s.start;
    o.out = s.compOut;
    o.out.m_nConfidence = kNotValidated;
    CCompensation engine;
    o.result = engine.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                                   s.outside2.data(), s.nCountOut2(), s.flying.data(),
                                   s.nTargetsFly, s.nCountFly(), &o.model, &o.out, mode);
    return o;
}

// A tracker's realistic reading noise: 1 microradian on each angle, 2 micrometres on the range.
constexpr double kAngleNoise = 1e-6;  // radians
constexpr double kRangeNoise = 2e-6;  // metres

Scenario MakeFullFull(int mode, bool noisy = false, std::uint64_t seed = 1) {
    Options options;
    options.mode = mode;
    if (noisy) {
        options.noise.angle = kAngleNoise;
        options.noise.range = kRangeNoise;
        options.noise.seed = seed;
    }
    return compensation::sim::MakeScenario("fullfull", options);
}

// Readings in the host's layout: main view v has a Type 14 vector, then the front sights, then
// the back sights; flying view k has its front sights, then its back sights.
int MainIndex(const Scenario& s, int v, int t, int face = 0) {
    return v * (1 + 2 * s.nTargets) + 1 + face * s.nTargets + t;
}
int FlyingIndex(const Scenario& s, int k, int t, int face = 0) {
    return (2 * k + face) * s.nTargetsFly + t;
}
int FlyingViews(const Scenario& s) {
    return s.nCountFly() / (2 * s.nTargetsFly);
}

// The in-line view of the flying set, as the procedure's acceptance finds it (the noise budget
// needs the same view the fits use).
int InlineView(const Scenario& s) {
    std::vector<CVector> flying = s.flying;
    TCompOut out{};
    double gap = 0.0;
    CCompensation engine;
    EXPECT_EQ(engine.AcceptFlyingAllViews(flying.data(), s.nTargetsFly, s.nCountFly(), &gap, &out),
              0);
    return out.m_nInlineView;
}

// --- Noise propagation --------------------------------------------------------------------------
//
// Each fit of the settled procedure is a least-squares fit of its own elements to observations y
// (two-face differences, squared distances), some with a free constant per group (the distance
// of a target pair). At the settled state every fit's normal equations hold at once:
//     X_f^T (y_f(theta) + G_f n) = 0   for every fit f,
// X_f being the fit's own (group-centred) columns, theta all estimated elements and n the reading
// noise. To first order the recovered elements move by dtheta = -M^-1 R n with M = [X_f^T J_f]
// and R = [X_f^T G_f], J_f = dy_f/dtheta; their covariance is M^-1 R S R^T M^-T, S the noise
// variances. The Jacobians come from CVector::Calibrate by central differences and from the
// geometry of the calibrated points, so the budget is independent of the fits' code; it assumes
// each fit weighs its observations equally (the pair fits average pairwise estimates instead,
// which the factor of five covers).

// A reading the budget follows, and the share of one reading's noise it carries (an average of n
// readings carries 1/sqrt(n)).
struct Site {
    CVector raw;
    double noiseShare = 1.0;
};

enum class Observable { kRangeGap, kAzimuthGap, kElevationGap, kSquared, kSquaredGap };

// One observation over sites a, b (and c, d: kSquaredGap is |a - b|^2 - |c - d|^2); observations
// of one group >= 0 share a free constant.
struct Observation {
    Observable kind;
    int a, b, c, d;
    int group;
};

// A fit as the budget sees it. A hidden element is the fit's own working value of an element
// another fit owns (the FBB two-face fit's constant, held in A2 while it solves); shadowed
// elements are those the fit holds at zero while it solves, so they do not act on its data.
struct FitEquations {
    Elements own;
    std::vector<bool> hidden;
    std::vector<Observation> observations;
    std::vector<Member> shadowed;
};

struct Unknown {
    Member member;
    int owner;
    bool hidden;
};

class NoisePropagation {
  public:
    NoisePropagation(std::vector<Site> sites, const TMapper& model, double rangeNoise,
                     double angleNoise)
        : sites_(std::move(sites)),
          model_(model),
          rangeNoise_(rangeNoise),
          angleNoise_(angleNoise) {}

    int AddSite(const Site& site) {
        sites_.push_back(site);
        return static_cast<int>(sites_.size()) - 1;
    }
    void AddFit(FitEquations fit) { fits_.push_back(std::move(fit)); }

    // Builds the settled-state equations and the covariance of every unknown.
    void Solve();

    // Standard deviation of the first unknown (not hidden) that carries the element.
    double Sigma(Member member) const;
    // Standard deviation of sum_k w_k x_k over the listed (not hidden) elements.
    double SigmaOf(const std::vector<Member>& members, const std::vector<double>& weights) const;

  private:
    struct Term {
        int column;  // 3 x site + reading component (range, azimuth, elevation)
        double coefficient;
    };

    CVector Calibrated(const Site& site, const TMapper& model) const;
    void SiteDerivatives();
    std::vector<Term> NoiseGradient(const Observation& o) const;
    void AddSquared(std::vector<Term>& terms, int a, int b, double sign) const;
    int UnknownIndex(Member member) const;
    bool Acts(const Unknown& u, int fit) const;

    std::vector<Site> sites_;
    TMapper model_;
    double rangeNoise_;
    double angleNoise_;
    std::vector<FitEquations> fits_;
    std::vector<Unknown> unknowns_;
    std::vector<Member> members_;                    // distinct elements of the unknowns
    std::vector<std::vector<double>> elementSlope_;  // [member][3 x site + component]
    std::vector<CVector> calibrated_;
    std::vector<std::vector<double>> pointSlope_;  // [site][3 x component + axis]
    std::vector<double> covariance_;
};

CVector NoisePropagation::Calibrated(const Site& site, const TMapper& model) const {
    CVector v = site.raw;
    TMapper m = model;
    v.Calibrate(&m);
    return v;
}

// How each element moves each site's calibrated range, azimuth and elevation, and how each of
// those moves the calibrated point.
void NoisePropagation::SiteDerivatives() {
    const std::size_t n = sites_.size();
    calibrated_.clear();
    pointSlope_.assign(n, std::vector<double>(9));
    for (std::size_t s = 0; s < n; ++s) {
        calibrated_.push_back(Calibrated(sites_[s], model_));
        for (int c = 0; c < 3; ++c) {
            constexpr double kStep = 1e-6;
            CVector lo = calibrated_[s];
            CVector hi = calibrated_[s];
            double CVector::*const component[] = {&CVector::Range, &CVector::Azimuth,
                                                  &CVector::Elevation};
            lo.*component[c] -= kStep;
            hi.*component[c] += kStep;
            lo.Sphr2Cart();
            hi.Sphr2Cart();
            pointSlope_[s][3 * c + 0] = (hi.X - lo.X) / (2 * kStep);
            pointSlope_[s][3 * c + 1] = (hi.Y - lo.Y) / (2 * kStep);
            pointSlope_[s][3 * c + 2] = (hi.Z - lo.Z) / (2 * kStep);
        }
    }
    elementSlope_.clear();
    for (Member member : members_) {
        // 1e-5 degrees, metres or radians per radian^n: far inside the model's linear range.
        const double step = 1e-5;
        TMapper lo = model_;
        TMapper hi = model_;
        lo.*member -= step;
        hi.*member += step;
        std::vector<double> slope(3 * n);
        for (std::size_t s = 0; s < n; ++s) {
            const CVector a = Calibrated(sites_[s], lo);
            const CVector b = Calibrated(sites_[s], hi);
            slope[3 * s + 0] = (b.Range - a.Range) / (2 * step);
            slope[3 * s + 1] = (b.Azimuth - a.Azimuth) / (2 * step);
            slope[3 * s + 2] = (b.Elevation - a.Elevation) / (2 * step);
        }
        elementSlope_.push_back(std::move(slope));
    }
}

void NoisePropagation::AddSquared(std::vector<Term>& terms, int a, int b, double sign) const {
    const CVector& pa = calibrated_[static_cast<std::size_t>(a)];
    const CVector& pb = calibrated_[static_cast<std::size_t>(b)];
    const double delta[3] = {pa.X - pb.X, pa.Y - pb.Y, pa.Z - pb.Z};
    for (int c = 0; c < 3; ++c) {
        double ga = 0.0;
        double gb = 0.0;
        for (int axis = 0; axis < 3; ++axis) {
            ga += 2.0 * delta[axis] * pointSlope_[static_cast<std::size_t>(a)][3 * c + axis];
            gb -= 2.0 * delta[axis] * pointSlope_[static_cast<std::size_t>(b)][3 * c + axis];
        }
        terms.push_back({3 * a + c, sign * ga});
        terms.push_back({3 * b + c, sign * gb});
    }
}

// d(observation) / d(site's range, azimuth, elevation).
std::vector<NoisePropagation::Term> NoisePropagation::NoiseGradient(const Observation& o) const {
    std::vector<Term> terms;
    switch (o.kind) {
        case Observable::kRangeGap:
        case Observable::kAzimuthGap:
        case Observable::kElevationGap: {
            const int c = static_cast<int>(o.kind);
            terms.push_back({3 * o.a + c, 1.0});
            terms.push_back({3 * o.b + c, -1.0});
            break;
        }
        case Observable::kSquared:
            AddSquared(terms, o.a, o.b, 1.0);
            break;
        case Observable::kSquaredGap:
            AddSquared(terms, o.a, o.b, 1.0);
            AddSquared(terms, o.c, o.d, -1.0);
            break;
    }
    return terms;
}

int NoisePropagation::UnknownIndex(Member member) const {
    for (std::size_t k = 0; k < members_.size(); ++k) {
        if (members_[k] == member) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

bool NoisePropagation::Acts(const Unknown& u, int fit) const {
    if (u.hidden) {
        return u.owner == fit;
    }
    const auto& shadowed = fits_[static_cast<std::size_t>(fit)].shadowed;
    return std::find(shadowed.begin(), shadowed.end(), u.member) == shadowed.end();
}

// Solves A X = B in place (A n x n row-major, B n x m) by elimination with partial pivoting.
void SolveInPlace(std::vector<double>& a, std::vector<double>& b, int n, int m) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r) {
            if (std::fabs(a[r * n + col]) > std::fabs(a[pivot * n + col])) {
                pivot = r;
            }
        }
        for (int k = 0; k < n; ++k) {
            std::swap(a[col * n + k], a[pivot * n + k]);
        }
        for (int k = 0; k < m; ++k) {
            std::swap(b[col * m + k], b[pivot * m + k]);
        }
        for (int r = 0; r < n; ++r) {
            if (r == col) {
                continue;
            }
            const double f = a[r * n + col] / a[col * n + col];
            for (int k = col; k < n; ++k) {
                a[r * n + k] -= f * a[col * n + k];
            }
            for (int k = 0; k < m; ++k) {
                b[r * m + k] -= f * b[col * m + k];
            }
        }
    }
    for (int r = 0; r < n; ++r) {
        for (int k = 0; k < m; ++k) {
            b[r * m + k] /= a[r * n + r];
        }
    }
}

void NoisePropagation::Solve() {
    unknowns_.clear();
    members_.clear();
    for (std::size_t f = 0; f < fits_.size(); ++f) {
        for (std::size_t k = 0; k < fits_[f].own.size(); ++k) {
            const Member member = fits_[f].own[k].member;
            unknowns_.push_back({member, static_cast<int>(f), fits_[f].hidden[k]});
            if (UnknownIndex(member) < 0) {
                members_.push_back(member);
            }
        }
    }
    SiteDerivatives();
    const int U = static_cast<int>(unknowns_.size());
    const int noiseColumns = 3 * static_cast<int>(sites_.size());
    std::vector<double> M(static_cast<std::size_t>(U) * U, 0.0);
    std::vector<double> R(static_cast<std::size_t>(U) * noiseColumns, 0.0);

    int row = 0;  // the first unknown of the current fit
    for (std::size_t f = 0; f < fits_.size(); ++f) {
        const FitEquations& fit = fits_[f];
        const int own = static_cast<int>(fit.own.size());
        const std::size_t nObs = fit.observations.size();
        // J_f over all unknowns, and the noise terms of every observation.
        std::vector<double> J(nObs * U, 0.0);
        std::vector<std::vector<Term>> noise(nObs);
        for (std::size_t o = 0; o < nObs; ++o) {
            noise[o] = NoiseGradient(fit.observations[o]);
            for (int u = 0; u < U; ++u) {
                if (!Acts(unknowns_[u], static_cast<int>(f))) {
                    continue;
                }
                const auto& slope = elementSlope_[UnknownIndex(unknowns_[u].member)];
                double sum = 0.0;
                for (const Term& t : noise[o]) {
                    sum += t.coefficient * slope[static_cast<std::size_t>(t.column)];
                }
                J[o * U + u] = sum;
            }
        }
        // X_f: the fit's own columns with each group's mean removed.
        std::vector<double> X(nObs * own);
        for (int k = 0; k < own; ++k) {
            for (std::size_t o = 0; o < nObs; ++o) {
                X[o * own + k] = J[o * U + row + k];
            }
        }
        int groups = 0;
        for (const Observation& o : fit.observations) {
            groups = std::max(groups, o.group + 1);
        }
        for (int g = 0; g < groups; ++g) {
            for (int k = 0; k < own; ++k) {
                double sum = 0.0;
                int count = 0;
                for (std::size_t o = 0; o < nObs; ++o) {
                    if (fit.observations[o].group == g) {
                        sum += X[o * own + k];
                        ++count;
                    }
                }
                for (std::size_t o = 0; o < nObs; ++o) {
                    if (fit.observations[o].group == g) {
                        X[o * own + k] -= sum / count;
                    }
                }
            }
        }
        for (int k = 0; k < own; ++k) {
            for (std::size_t o = 0; o < nObs; ++o) {
                const double x = X[o * own + k];
                for (int u = 0; u < U; ++u) {
                    M[static_cast<std::size_t>(row + k) * U + u] += x * J[o * U + u];
                }
                for (const Term& t : noise[o]) {
                    const int component = t.column % 3;
                    const double sigma = (component == 0 ? rangeNoise_ : angleNoise_) *
                                         sites_[static_cast<std::size_t>(t.column / 3)].noiseShare;
                    R[static_cast<std::size_t>(row + k) * noiseColumns + t.column] +=
                        x * t.coefficient * sigma;
                }
            }
        }
        row += own;
    }
    SolveInPlace(M, R, U, noiseColumns);  // R becomes M^-1 R
    covariance_.assign(static_cast<std::size_t>(U) * U, 0.0);
    for (int i = 0; i < U; ++i) {
        for (int j = 0; j < U; ++j) {
            double sum = 0.0;
            for (int c = 0; c < noiseColumns; ++c) {
                sum += R[static_cast<std::size_t>(i) * noiseColumns + c] *
                       R[static_cast<std::size_t>(j) * noiseColumns + c];
            }
            covariance_[static_cast<std::size_t>(i) * U + j] = sum;
        }
    }
}

double NoisePropagation::SigmaOf(const std::vector<Member>& members,
                                 const std::vector<double>& weights) const {
    const int U = static_cast<int>(unknowns_.size());
    std::vector<double> w(static_cast<std::size_t>(U), 0.0);
    for (std::size_t k = 0; k < members.size(); ++k) {
        for (int u = 0; u < U; ++u) {
            if (unknowns_[u].member == members[k] && !unknowns_[u].hidden) {
                w[u] = weights[k];
                break;
            }
        }
    }
    double variance = 0.0;
    for (int i = 0; i < U; ++i) {
        for (int j = 0; j < U; ++j) {
            variance += w[i] * covariance_[static_cast<std::size_t>(i) * U + j] * w[j];
        }
    }
    return std::sqrt(variance);
}

double NoisePropagation::Sigma(Member member) const {
    return SigmaOf({member}, {1.0});
}

// --- The settled procedure as equations ---------------------------------------------------------

// Raw elevation gap below which the interball fits of the flying views skip a pair in a view.
constexpr double kFlyingElevationGap = 0.17455;
// The El_ElC fit's qualifying pairs: reference ranges and view-0 elevations far apart.
constexpr double kElElCRangeSpan = 3.0;
constexpr double kElElCElevationSpan = 0.392699081698725;

FitEquations Fit(const Elements& own, std::vector<Member> shadowed = {}) {
    return {own, std::vector<bool>(own.size(), false), {}, std::move(shadowed)};
}

// The average of one target over the repeats of an outside set, as the averaging takes it.
CVector OutsideAverage(const std::vector<CVector>& set, int target) {
    CVector avg = set[static_cast<std::size_t>(target)];
    avg.Range = avg.Azimuth = avg.Elevation = 0.0;
    const int repeats = static_cast<int>(set.size()) / 2;
    for (int r = 0; r < repeats; ++r) {
        const CVector& v = set[static_cast<std::size_t>(2 * r + target)];
        avg.Range += v.Range / repeats;
        avg.Azimuth += v.Azimuth / repeats;
        avg.Elevation += v.Elevation / repeats;
    }
    avg.Sphr2Cart();
    return avg;
}

// The fits of the settled procedure (after the six-harmonic pass) for one scenario and mode.
class SettledFits {
  public:
    SettledFits(const Scenario& s, int mode)
        : s_(s), budget_({}, s.truth, kRangeNoise, kAngleNoise) {
        for (const std::vector<CVector>* set : {&s.main, &s.flying, &s.outside1, &s.outside2}) {
            offsets_.push_back(sites_);
            for (const CVector& v : *set) {
                budget_.AddSite({v, 1.0});
                ++sites_;
            }
        }
        AddTwoFace();
        AddInterball();
        AddPairFit(kX0Y0, -1, s.layout.n1_x0y0, s.layout.n2_x0y0);
        AddPairFit(kD2, 2, s.layout.n1_d2, s.layout.n2_d2);
        if (mode == 2) {
            AddElElC();
        } else {
            AddPairFit(kKMinus, 3, s.layout.n1_extra, s.layout.n2_extra);
            AddFlyingInterball(mode);
            AddFbbTwoFace();
        }
        budget_.Solve();
    }

    const NoisePropagation& Budget() const { return budget_; }

  private:
    int Main(int v, int t, int face = 0) const { return offsets_[0] + MainIndex(s_, v, t, face); }
    int Flying(int k, int t, int face = 0) const {
        return offsets_[1] + FlyingIndex(s_, k, t, face);
    }

    void AddTwoFace() {
        FitEquations range = Fit(kTwoFaceRange);
        FitEquations azimuth = Fit(Join({&kTwoFaceAzimuth, &kTwoFaceAzimuthSix}));
        FitEquations elevation =
            Fit(Join({&kFaceConstantAndSine, &kTwoFaceElevation, &kTwoFaceElevationSix}));
        for (int v = 0; v < s_.nViews; ++v) {
            for (int t = 0; t < s_.nTargets; ++t) {
                const int f = Main(v, t, 0);
                const int b = Main(v, t, 1);
                range.observations.push_back({Observable::kRangeGap, f, b, -1, -1, -1});
                azimuth.observations.push_back({Observable::kAzimuthGap, f, b, -1, -1, -1});
                elevation.observations.push_back({Observable::kElevationGap, f, b, -1, -1, -1});
            }
        }
        budget_.AddFit(std::move(range));
        budget_.AddFit(std::move(azimuth));
        budget_.AddFit(std::move(elevation));
    }

    // Squared distances of every used target pair in every view, free constant per pair; the
    // pair table is the procedure's own selection from the first view.
    void AddInterball() {
        std::vector<CVector> firstView;
        for (int t = 0; t < s_.nTargets; ++t) {
            firstView.push_back(s_.main[static_cast<std::size_t>(MainIndex(s_, 0, t))]);
        }
        std::vector<int> table(static_cast<std::size_t>(s_.nTargets * (s_.nTargets - 1) / 2));
        CCompensation engine;
        EXPECT_EQ(engine.ClassifyIBPairs(firstView.data(), table.data(), s_.nTargets), 0);
        FitEquations fit = Fit(Join({&kInterball, &kInterballSix}));
        int pair = 0;
        for (int i = 0; i < s_.nTargets; ++i) {
            for (int j = i + 1; j < s_.nTargets; ++j, ++pair) {
                if (table[static_cast<std::size_t>(pair)] != 0) {
                    continue;
                }
                for (int v = 0; v < s_.nViews; ++v) {
                    fit.observations.push_back(
                        {Observable::kSquared, Main(v, i), Main(v, j), -1, -1, pair});
                }
            }
        }
        budget_.AddFit(std::move(fit));
    }

    // The chosen pair in every view and, with an outside set (2 or 3), its repeats from the
    // outside placement: one distance shared by all.
    void AddPairFit(const Elements& own, int outsideSet, int n1, int n2) {
        FitEquations fit = Fit(own);
        for (int v = 0; v < s_.nViews; ++v) {
            fit.observations.push_back(
                {Observable::kSquared, Main(v, n1 - 1), Main(v, n2 - 1), -1, -1, 0});
        }
        if (outsideSet > 0) {
            const auto& set = outsideSet == 2 ? s_.outside1 : s_.outside2;
            const int offset = offsets_[static_cast<std::size_t>(outsideSet)];
            for (int r = 0; 2 * r + 1 < static_cast<int>(set.size()); ++r) {
                fit.observations.push_back(
                    {Observable::kSquared, offset + 2 * r, offset + 2 * r + 1, -1, -1, 0});
            }
        }
        budget_.AddFit(std::move(fit));
    }

    // Squared distances of the four table targets against their outside averages, for the
    // pairs far apart in range and elevation.
    void AddElElC() {
        const int targets[4] = {s_.layout.n1_d2 - 1, s_.layout.n2_d2 - 1, s_.layout.n1_extra - 1,
                                s_.layout.n2_extra - 1};
        const double share = 1.0 / std::sqrt(s_.nCountOut1() / 2.0);
        CVector averages[4];
        int refs[4];
        for (int k = 0; k < 4; ++k) {
            averages[k] = OutsideAverage(k < 2 ? s_.outside1 : s_.outside2, k % 2);
            refs[k] = budget_.AddSite({averages[k], share});
        }
        const auto viewZero = [this](int t) {
            return s_.main[static_cast<std::size_t>(MainIndex(s_, 0, t))].Elevation;
        };
        FitEquations fit = Fit(kElElC);
        for (int i = 0; i < 4; ++i) {
            for (int j = i + 1; j < 4; ++j) {
                if (std::fabs(averages[i].Range - averages[j].Range) <= kElElCRangeSpan ||
                    std::fabs(viewZero(targets[i]) - viewZero(targets[j])) <= kElElCElevationSpan) {
                    continue;
                }
                for (int v = 0; v < s_.nViews; ++v) {
                    fit.observations.push_back({Observable::kSquaredGap, Main(v, targets[i]),
                                                Main(v, targets[j]), refs[i], refs[j], -1});
                }
            }
        }
        EXPECT_FALSE(fit.observations.empty());
        budget_.AddFit(std::move(fit));
    }

    // Mode 0: squared distances centred per pair; mode 1: against the in-line view's distance.
    void AddFlyingInterball(int mode) {
        FitEquations fit = Fit(kFaceFreeCubic, {&TMapper::El_ElC});
        const int views = FlyingViews(s_);
        const int inLine = InlineView(s_);
        int pair = 0;
        for (int i = 0; i < s_.nTargetsFly; ++i) {
            for (int j = i + 1; j < s_.nTargetsFly; ++j, ++pair) {
                std::vector<int> counting;
                for (int k = 0; k < views; ++k) {
                    const double gap =
                        s_.flying[static_cast<std::size_t>(FlyingIndex(s_, k, i))].Elevation -
                        s_.flying[static_cast<std::size_t>(FlyingIndex(s_, k, j))].Elevation;
                    if (std::fabs(gap) > kFlyingElevationGap) {
                        counting.push_back(k);
                    }
                }
                if (mode == 0 && counting.size() <= 3) {
                    continue;
                }
                for (int k : counting) {
                    if (mode == 0) {
                        fit.observations.push_back(
                            {Observable::kSquared, Flying(k, i), Flying(k, j), -1, -1, pair});
                    } else {
                        fit.observations.push_back({Observable::kSquaredGap, Flying(k, i),
                                                    Flying(k, j), Flying(inLine, i),
                                                    Flying(inLine, j), -1});
                    }
                }
            }
        }
        budget_.AddFit(std::move(fit));
    }

    // The face difference of the flying views (the in-line view left out) as a cubic, with its
    // own constant held in A2 while A2 and El_ElS are at zero.
    void AddFbbTwoFace() {
        FitEquations fit =
            Fit(Join({&kFaceConstantAndSine, &kFaceCubic}), {&TMapper::A2, &TMapper::El_ElS});
        fit.own.erase(fit.own.begin() + 1);  // El_ElS is not the fit's
        fit.hidden = {true, false, false, false};
        const int inLine = InlineView(s_);
        for (int k = 0; k < FlyingViews(s_); ++k) {
            for (int t = 0; k != inLine && t < s_.nTargetsFly; ++t) {
                fit.observations.push_back(
                    {Observable::kElevationGap, Flying(k, t, 0), Flying(k, t, 1), -1, -1, -1});
            }
        }
        budget_.AddFit(std::move(fit));
    }

    const Scenario& s_;
    NoisePropagation budget_;
    std::vector<int> offsets_;
    int sites_ = 0;
};

// --- Checks ---------------------------------------------------------------------------------

// The elevations the data cover: the ring's and the flying views' front sights.
std::vector<double> MeasuredElevations(const Scenario& s) {
    double lo = 10.0;
    double hi = -10.0;
    for (const std::vector<CVector>* set : {&s.main, &s.flying}) {
        for (const CVector& v : *set) {
            if (v.Type == compensation::kTypeFrontSight) {
                lo = std::min(lo, v.Elevation);
                hi = std::max(hi, v.Elevation);
            }
        }
    }
    std::vector<double> grid;
    for (int k = 0; k <= 40; ++k) {
        grid.push_back(lo + (hi - lo) * k / 40.0);
    }
    return grid;
}

bool IsIn(Member member, const Elements& list) {
    return std::any_of(list.begin(), list.end(),
                       [member](const Element& e) { return e.member == member; });
}

double MeanFlyingT(const Scenario& s) {
    double sum = 0.0;
    int n = 0;
    for (int k = 0; k < FlyingViews(s); ++k) {
        for (int t = 0; t < s.nTargetsFly; ++t) {
            sum += s.flying[static_cast<std::size_t>(FlyingIndex(s, k, t))].T;
            ++n;
        }
    }
    return sum / n;
}

// Every element the mode checks one by one lies within tolerance(element) of the truth, and the
// truth of each is non-zero, so that a fit that never ran cannot pass.
template <typename Tolerance>
void ExpectElementsRecovered(const Scenario& s, const TMapper& model, const Elements& elements,
                             Tolerance tolerance) {
    for (const Element& e : elements) {
        EXPECT_NE(s.truth.*e.member, 0.0) << e.name;
        EXPECT_NEAR(model.*e.member, s.truth.*e.member, tolerance(e)) << e.name;
    }
}

// The face-dependent elevation correction agrees with the truth's over the measured elevations.
template <typename Tolerance>
void ExpectFaceCorrectionRecovered(const Scenario& s, const TMapper& model, Tolerance tolerance) {
    for (double el : MeasuredElevations(s)) {
        EXPECT_NEAR(FaceCorrection(model, el), FaceCorrection(s.truth, el), tolerance(el))
            << "El = " << el;
    }
}

// --- End to end, one scenario per mode --------------------------------------------------------

// Noise-free data settle with result 0 and the mode's best confidence, every element the mode
// sees comes back, and nothing else is written but T_ref, the mean T of the flying front sights.
TEST(FullFullCompensation, NoiseFreeRecoversEveryElementTheModeSees) {
    for (int mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Scenario s = MakeFullFull(mode);
        const Outcome o = RunProcedure(s, mode);
        ASSERT_EQ(o.result, 0);
        // Twelve terms of 4 points from 50 (mode 1 validates in mode 2), eight of 6, ten of 5.
        EXPECT_EQ(o.out.m_nConfidence, mode == 2 ? 100 : 98);

        const Elements checked = CheckedElements(mode);
        ExpectElementsRecovered(s, o.model, checked,
                                [](const Element& e) { return NoiseFreeTolerance(e.unit); });
        if (mode != 2) {
            ExpectFaceCorrectionRecovered(s, o.model, [](double) { return kFaceTolerance; });
            EXPECT_NEAR(o.model.T_ref, MeanFlyingT(s), 1e-12);
        }
        for (const auto& e : compensation::kMapperElements) {
            const bool written = IsIn(e.member, checked) ||
                                 (mode != 2 && (IsIn(e.member, kFaceConstantAndSine) ||
                                                IsIn(e.member, kFaceCubic))) ||
                                 (mode != 2 && e.member == &TMapper::T_ref);
            if (!written) {
                EXPECT_EQ(o.model.*e.member, 0.0) << e.name;
            }
        }
    }
}

// Larger networks settle in mode 0 as the base size does. At twice and three times the size
// the main outlier pass of the first two-face pass may reject a twentieth of the larger
// network and so uses up the evaluations it shares with the second pass's first loop; the
// second pass then tests the flying views against the first pass's model before any
// six-harmonic fit has run, and drops one good reading of the lowest band. The joint loop of
// the FBB interball and K_minus fits must still contract without it.
TEST(FullFullCompensation, ModeZeroSettlesOnLargerNetworks) {
    for (double scale : {2.0, 3.0}) {
        SCOPED_TRACE("size scale " + std::to_string(scale));
        Options options;
        options.size_scale = scale;
        Scenario s = compensation::sim::MakeScenario("fullfull0", options);
        const Outcome o = RunProcedure(s, 0);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.out.m_nConfidence, 98);
        ExpectElementsRecovered(s, o.model, CheckedElements(0),
                                [](const Element& e) { return NoiseFreeTolerance(e.unit); });
        ExpectFaceCorrectionRecovered(s, o.model, [](double) { return kFaceTolerance; });
    }
}

// With realistic noise every element lies within five propagated standard deviations of the
// truth, on top of the noise-free tolerance (see NoisePropagation).
TEST(FullFullCompensation, NoisyDataRecoverTheModelWithinThePropagatedNoise) {
    for (int mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Scenario s = MakeFullFull(mode, true, 3);
        const SettledFits fits(s, mode);
        const NoisePropagation& budget = fits.Budget();
        const Outcome o = RunProcedure(s, mode);
        ASSERT_EQ(o.result, 0);

        ExpectElementsRecovered(s, o.model, CheckedElements(mode), [&](const Element& e) {
            const double sigma = budget.Sigma(e.member);
            EXPECT_GT(sigma, 0.0) << e.name;
            return NoiseFreeTolerance(e.unit) + 5.0 * sigma;
        });
        if (mode != 2) {
            ExpectFaceCorrectionRecovered(s, o.model, [&](double el) {
                return kFaceTolerance +
                       5.0 * budget.SigmaOf(kFaceMembers, FaceCorrectionGradient(el));
            });
        }
    }
}

// When the azimuth-harmonic pass already brings the two-face spreads below the limit, the
// six-harmonic fits never run: the elements only they write stay exactly zero.
TEST(FullFullCompensation, FirstPassAloneSettlesATruthWithoutSixHarmonicTerms) {
    Options options;
    TMapper truth = compensation::sim::RealisticTruth(Kind::FullFull, 0);
    for (const Element& e : SixHarmonicOnly()) {
        truth.*e.member = 0.0;
    }
    options.truth = truth;
    Scenario s = compensation::sim::MakeScenario("fullfull0", options);
    const Outcome o = RunProcedure(s, 0);
    ASSERT_EQ(o.result, 0);
    for (const Element& e : SixHarmonicOnly()) {
        EXPECT_EQ(o.model.*e.member, 0.0) << e.name;
    }
    Elements seen;
    for (const Element& e : CheckedElements(0)) {
        if (!IsIn(e.member, SixHarmonicOnly())) {
            seen.push_back(e);
        }
    }
    ExpectElementsRecovered(s, o.model, seen,
                            [](const Element& e) { return NoiseFreeTolerance(e.unit); });
    ExpectFaceCorrectionRecovered(s, o.model, [](double) { return kFaceTolerance; });
}

// The default truth's large sixth harmonics leave the first pass's spreads above the limit, and
// the second pass recovers what only the six-harmonic fits estimate.
TEST(FullFullCompensation, SixHarmonicPassRecoversTheSixthHarmonics) {
    Scenario s = MakeFullFull(2);
    const Outcome o = RunProcedure(s, 2);
    ASSERT_EQ(o.result, 0);
    ExpectElementsRecovered(s, o.model, SixHarmonicOnly(),
                            [](const Element& e) { return NoiseFreeTolerance(e.unit); });
}

// --- Result codes ---------------------------------------------------------------------------

// No fit runs: every element keeps its start value except T_ref, which the flying views set
// before the coverage is judged.
void ExpectNoFitRan(const Scenario& s, const Outcome& o) {
    for (const auto& e : compensation::kMapperElements) {
        if (e.member != &TMapper::T_ref) {
            EXPECT_EQ(o.model.*e.member, s.start.*e.member) << e.name;
        }
    }
    EXPECT_EQ(o.out.m_nConfidence, kNotValidated);
}

Scenario WithoutFlyingPlacements(std::initializer_list<int> dropped) {
    Layout layout = compensation::sim::FullFullLayout(1.0, 0);
    std::vector<Placement> kept;
    for (std::size_t k = 0; k < layout.fly_placements.size(); ++k) {
        if (std::find(dropped.begin(), dropped.end(), static_cast<int>(k)) == dropped.end()) {
            kept.push_back(layout.fly_placements[k]);
        }
    }
    layout.fly_placements = kept;
    return compensation::sim::Simulate(layout,
                                       compensation::sim::RealisticTruth(Kind::FullFull, 0));
}

// Views 6 and 7 are the only ones in the sector from -45 to 0 degrees (headings -33.75 and
// -11.25); without usable reference vectors there, the full procedures' coverage code is 9 + 3.
void LoseSectorThree(Scenario& s) {
    for (int v : {6, 7}) {
        s.main[static_cast<std::size_t>(MainIndex(s, v, 0) - 1)].Quality = 40.0;
    }
}

TEST(FullFullCompensation, CoverageFailuresReturnTheSumOfBothCodesBeforeAnyFit) {
    {
        SCOPED_TRACE("two flying views: too few (1)");
        Scenario s = MakeFullFull(0);
        s.flying.resize(static_cast<std::size_t>(2 * 2 * s.nTargetsFly));
        EXPECT_EQ(RunProcedure(s, 0).result, 1);
    }
    {
        // The facing placements climb in steps of 9.6 degrees and each view spans about 16:
        // without those at 0 and 9.6 degrees the bands leave a gap of about 13 degrees.
        SCOPED_TRACE("flying elevation gap (4)");
        Scenario s = WithoutFlyingPlacements({5, 6});
        const Outcome o = RunProcedure(s, 0);
        EXPECT_EQ(o.result, 4);
        ExpectNoFitRan(s, o);
    }
    {
        SCOPED_TRACE("main sector 3 empty (12)");
        Scenario s = MakeFullFull(1);
        LoseSectorThree(s);
        const Outcome o = RunProcedure(s, 1);
        EXPECT_EQ(o.result, 12);
        ExpectNoFitRan(s, o);
    }
    {
        SCOPED_TRACE("both (1 + 12)");
        Scenario s = MakeFullFull(0);
        s.flying.resize(static_cast<std::size_t>(2 * 2 * s.nTargetsFly));
        LoseSectorThree(s);
        const Outcome o = RunProcedure(s, 0);
        EXPECT_EQ(o.result, 13);
        ExpectNoFitRan(s, o);
    }
    {
        SCOPED_TRACE("mode 2 ignores the flying views");
        Scenario s = MakeFullFull(2);
        LoseSectorThree(s);
        s.flying.clear();
        EXPECT_EQ(RunProcedure(s, 2).result, 12);
    }
}

// The chosen pair's target n1 made unusable in the last three views (so that the first view,
// from which the interball pair table is built, stays as it is): 13 pairs, not above
// m_nMinCount (16 views - 3).
Scenario WithPairInThirteenViews(int Layout::*n1) {
    Scenario s = MakeFullFull(0);
    for (int v = s.nViews - 3; v < s.nViews; ++v) {
        s.main[static_cast<std::size_t>(MainIndex(s, v, s.layout.*n1 - 1))].Quality = 40.0;
    }
    return s;
}

// The ring gathered within 10 degrees of azimuth around -130 degrees, where the second d2 target
// stands: no ring pair and no ring target with a chosen one lies 25 to 115 degrees apart, and the
// chosen targets alone make fewer than the 25 usable interball pairs.
Scenario WithGatheredRing() {
    Layout layout = compensation::sim::FullFullLayout(1.0, 0);
    const int ring = static_cast<int>(layout.targets.size()) - 6;  // the chosen pairs come last
    for (int k = 0; k < ring; ++k) {
        const double az = (-135.0 + 10.0 * k / (ring - 1)) * compensation::kDegToRad;
        const double el = (-30.0 + 80.0 * k / (ring - 1)) * compensation::kDegToRad;
        const double r = 3.0 + 0.2 * k;
        layout.targets[static_cast<std::size_t>(k)] = {
            -r * std::cos(el) * std::sin(az), r * std::sin(el), r * std::cos(el) * std::cos(az)};
    }
    return compensation::sim::Simulate(layout,
                                       compensation::sim::RealisticTruth(Kind::FullFull, 0));
}

// Too few target pairs stop the procedure after the two-face stage: x0y0 pairs 19, interball
// pairs 21, d2 pairs 21, extra pairs 22.
TEST(FullFullCompensation, TooFewTargetPairsStopAfterTheTwoFaceStage) {
    struct Case {
        const char* what;
        Scenario (*make)();
        int result;
    };
    const Case cases[] = {
        {"x0y0", [] { return WithPairInThirteenViews(&Layout::n1_x0y0); }, 19},
        {"interball", WithGatheredRing, 21},
        {"d2", [] { return WithPairInThirteenViews(&Layout::n1_d2); }, 21},
        {"extra", [] { return WithPairInThirteenViews(&Layout::n1_extra); }, 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s = c.make();
        const Outcome o = RunProcedure(s, 0);
        EXPECT_EQ(o.result, c.result);
        EXPECT_NEAR(o.model.A1, s.truth.A1, kAngleTolerance);  // the two-face fits ran
        EXPECT_EQ(o.model.X0, 0.0);                            // the pair fits did not
        EXPECT_EQ(o.out.m_nConfidence, kNotValidated);
    }
}

// An x0y0 "pair" naming one target twice carries no distance: the X0/Y0 fit's system has no
// solution, so it keeps X0, Y0 and reports "not converged" (25) on every call; the first joint
// loop of the second stage ends with a positive sum and the procedure returns it without
// write-back or validation.
TEST(FullFullCompensation, UnsettledFirstJointLoopReturnsItsSum) {
    Scenario s = MakeFullFull(2);
    s.compOut.m_n2_x0y0 = s.compOut.m_n1_x0y0;
    const Outcome o = RunProcedure(s, 2);
    EXPECT_EQ(o.result % 25, 0);
    EXPECT_GT(o.result, 0);
    EXPECT_EQ(o.model.X0, 0.0);
    EXPECT_NE(o.model.D2, 0.0);  // the loop's other fits ran
    EXPECT_EQ(o.out.m_nConfidence, kNotValidated);
    for (const CVector& v : s.main) {
        EXPECT_GT(v.Quality, 50.0);  // nothing written back
    }
}

// --- Input the procedure cannot address -------------------------------------------------------

// The host's arrays, model and record are untouched: the call returned before writing anything.
void ExpectUntouched(const Scenario& before, const Scenario& after, const Outcome& o) {
    EXPECT_EQ(std::memcmp(&o.model, &before.start, sizeof(TMapper)), 0);
    for (std::size_t i = 0; i < before.main.size(); ++i) {
        EXPECT_EQ(after.main[i].Quality, before.main[i].Quality) << i;
        EXPECT_EQ(after.main[i].FSBS, before.main[i].FSBS) << i;
    }
    EXPECT_EQ(o.out.m_nConfidence, kNotValidated);
}

TEST(FullFullCompensation, RefusesInputOutsideItsArraysBeforeWritingAnything) {
    const Scenario fresh = MakeFullFull(0);
    for (int mode : {0, 1}) {
        SCOPED_TRACE("no targets per flying view, mode " + std::to_string(mode));
        Scenario s = fresh;
        s.nTargetsFly = 0;
        const Outcome o = RunProcedure(s, mode);
        EXPECT_EQ(o.result, compensation::kInvalidInput);
        ExpectUntouched(fresh, s, o);
    }
    int TCompOut::*const positions[] = {&TCompOut::m_n1_x0y0,  &TCompOut::m_n2_x0y0,
                                        &TCompOut::m_n1_d2,    &TCompOut::m_n2_d2,
                                        &TCompOut::m_n1_extra, &TCompOut::m_n2_extra};
    for (int TCompOut::*position : positions) {
        for (int value : {0, fresh.nTargets + 1}) {
            SCOPED_TRACE("target position " + std::to_string(value));
            Scenario s = fresh;
            s.compOut.*position = value;
            const Outcome o = RunProcedure(s, 0);
            EXPECT_EQ(o.result, compensation::kInvalidInput);
            ExpectUntouched(fresh, s, o);
        }
    }
}

// Mode 2 does not use the flying views, so it needs neither them nor their target count.
TEST(FullFullCompensation, ModeTwoRunsWithoutFlyingViews) {
    Scenario s = MakeFullFull(2);
    s.flying.clear();
    s.nTargetsFly = 0;
    EXPECT_EQ(RunProcedure(s, 2).result, 0);
}

// The check interball fit takes its reference distances from the in-line view: an index that
// addresses no view is refused before anything is written.
TEST(FullFullFitInput, CheckInterballFitRefusesAnInlineViewOutsideTheViews) {
    const Scenario s = MakeFullFull(1);
    const int views = FlyingViews(s);
    std::vector<CVector> fronts;
    for (int k = 0; k < views; ++k) {
        for (int t = 0; t < s.nTargetsFly; ++t) {
            fronts.push_back(s.flying[static_cast<std::size_t>(FlyingIndex(s, k, t))]);
        }
    }
    for (int inLine : {-100, -1, views}) {
        SCOPED_TRACE(inLine);
        std::vector<CVector> pVec = fronts;
        TMapper model = s.truth;
        TCompOut out{};
        out.m_nInlineView = inLine;
        out.m_dStdIB_fbb = -1.0;
        CCompensation engine;
        EXPECT_EQ(engine.CalculateFCKIB(pVec.data(), &model, s.nTargetsFly, views, &out, 0),
                  compensation::kInvalidInput);
        EXPECT_EQ(std::memcmp(&model, &s.truth, sizeof(TMapper)), 0);
        EXPECT_EQ(out.m_dStdIB_fbb, -1.0);
        for (std::size_t i = 0; i < pVec.size(); ++i) {
            EXPECT_EQ(pVec[i].Quality, fronts[i].Quality);
        }
    }
    std::vector<CVector> pVec = fronts;
    TMapper model = s.truth;
    TCompOut out{};
    out.m_nInlineView = InlineView(s);
    CCompensation engine;
    EXPECT_EQ(engine.CalculateFCKIB(pVec.data(), &model, s.nTargetsFly, views, &out, 1), 0);
}

// Four targets far apart pairwise in range from the outside placement (about 5, 9, 14 and 24 m)
// and in elevation from the station (-40, -10, 20 and 50 degrees): all six pairs qualify, more
// than the four the El_ElC fit's storage was once sized for. The fit uses every one and
// recovers El_ElC from exact data.
TEST(FullFullFitInput, ElElCFitUsesEveryQualifyingPairBeyondFour) {
    TMapper truth{};
    truth.El_ElC = 9.0e-4;
    const double depths[4] = {2.0, 6.0, 10.0, 14.0};
    const double elevations[4] = {-40.0, -10.0, 20.0, 50.0};
    std::vector<Point> targets;
    for (int k = 0; k < 4; ++k) {
        targets.push_back(
            {0.1 * k, depths[k] * std::tan(elevations[k] * compensation::kDegToRad), -depths[k]});
    }
    Placement outside;
    outside.position = {0.3, 0.0, 3.0};
    outside.heading = compensation::kPi;
    std::vector<CVector> refs;
    for (const Point& p : targets) {
        refs.push_back(compensation::sim::RawReading(compensation::sim::TrueReading(outside, p),
                                                     compensation::kTypeFrontSight, 20.0, truth));
    }
    constexpr int kViews = 10;
    std::vector<CVector> views;
    for (int v = 0; v < kViews; ++v) {
        Placement station;
        station.heading = compensation::kPi * (v - 4.5) / 5.0;
        for (const Point& p : targets) {
            views.push_back(
                compensation::sim::RawReading(compensation::sim::TrueReading(station, p),
                                              compensation::kTypeFrontSight, 20.0, truth));
        }
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            ASSERT_GT(std::fabs(refs[i].Range - refs[j].Range), kElElCRangeSpan);
            ASSERT_GT(std::fabs(views[i].Elevation - views[j].Elevation), kElElCElevationSpan);
        }
    }
    TCompOut out{};
    out.m_n1_d2 = 1;
    out.m_n2_d2 = 2;
    out.m_n1_extra = 3;
    out.m_n2_extra = 4;
    TMapper model{};
    CCompensation engine;
    int status = 27;
    for (int call = 0; call < 5 && status != 0; ++call) {
        status = engine.Calculate_bEl(refs.data(), views.data(), kViews, 4, &model, &out, 1);
    }
    EXPECT_EQ(status, 0);
    EXPECT_NEAR(model.El_ElC, truth.El_ElC, kAngleTolerance);
    EXPECT_LT(out.m_dStdExtraIn, 1e-9);  // exact data: every distance agrees
}

}  // namespace
