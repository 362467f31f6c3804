// First-order propagation of reading noise into a linear estimate.
//
// Every fit of a compensation is, at the noise levels of a tracker, a linear function of its
// observations, and every observation a linear function of the raw readings' noise. The
// standard deviation of each estimated element therefore follows from the design alone:
//   x = W y,  y = y0 + D n  =>  var(x_i) = sum_k sigma_k^2 (sum_r W_ir D_rk)^2,
// where n are the independent range, azimuth and elevation deviates of the readings. The
// weights W come from the fit's own model (for a least-squares fit W = (A^T A)^-1 A^T); this
// header knows nothing of the library's code.
#ifndef COMPENSATION_TESTS_E2E_NOISE_PROPAGATION_H
#define COMPENSATION_TESTS_E2E_NOISE_PROPAGATION_H

#include <cmath>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "compensation/vector.h"

namespace compensation::testing {

// The three deviates of one raw reading.
enum ReadingComponent { kRangeNoise = 0, kAzimuthNoise = 1, kElevationNoise = 2 };

// Standard deviations of the three components, metres and radians.
struct ReadingNoise {
    double range = 0.0;
    double angle = 0.0;
    double Sigma(int component) const { return component == kRangeNoise ? range : angle; }
};

// An observation's change per unit deviate of one component of one reading. Readings are
// numbered by the caller; the same number in two observations is the same deviate.
struct NoiseTerm {
    int reading;
    int component;
    double slope;
};

// One observation: its design row (least squares) or its weights in the estimate (linear
// estimators), and how the reading noise enters it.
struct Observation {
    std::vector<double> row;
    std::vector<NoiseTerm> noise;
};

// Standard deviation of each unknown of an estimate x = sum_r row_r * y_r.
inline std::vector<double> LinearSpread(const std::vector<Observation>& weighted,
                                        const ReadingNoise& noise) {
    const std::size_t n = weighted.empty() ? 0 : weighted.front().row.size();
    std::map<std::pair<int, int>, std::vector<double>> perDeviate;
    for (const Observation& o : weighted) {
        for (const NoiseTerm& t : o.noise) {
            std::vector<double>& sum = perDeviate[{t.reading, t.component}];
            sum.resize(n, 0.0);
            for (std::size_t i = 0; i < n; ++i) {
                sum[i] += o.row[i] * t.slope;
            }
        }
    }
    std::vector<double> variance(n, 0.0);
    for (const auto& [deviate, sum] : perDeviate) {
        const double sigma = noise.Sigma(deviate.second);
        for (std::size_t i = 0; i < n; ++i) {
            variance[i] += sigma * sigma * sum[i] * sum[i];
        }
    }
    for (double& v : variance) {
        v = std::sqrt(v);
    }
    return variance;
}

// Solves the small dense system m x = b by Gauss-Jordan elimination with partial pivoting.
inline std::vector<double> SolveDense(std::vector<std::vector<double>> m, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r) {
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) {
                pivot = r;
            }
        }
        std::swap(m[c], m[pivot]);
        std::swap(b[c], b[pivot]);
        for (std::size_t r = 0; r < n; ++r) {
            if (r == c) {
                continue;
            }
            const double f = m[r][c] / m[c][c];
            for (std::size_t j = c; j < n; ++j) {
                m[r][j] -= f * m[c][j];
            }
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = 0; c < n; ++c) {
        b[c] /= m[c][c];
    }
    return b;
}

// Standard deviation of each unknown of the least-squares solution of row_r . x = y_r.
inline std::vector<double> LeastSquaresSpread(std::vector<Observation> observations,
                                              const ReadingNoise& noise) {
    const std::size_t n = observations.empty() ? 0 : observations.front().row.size();
    std::vector<std::vector<double>> normal(n, std::vector<double>(n, 0.0));
    for (const Observation& o : observations) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                normal[i][j] += o.row[i] * o.row[j];
            }
        }
    }
    for (Observation& o : observations) {
        o.row = SolveDense(normal, o.row);  // the observation's weights (A^T A)^-1 a_r
    }
    return LinearSpread(observations, noise);
}

// Removes the block's mean row: a fit with one free constant per block (a pair's unknown
// distance) sees only the rows' deviations from their block mean. The noise terms need no
// such step, since centred rows are orthogonal to every block-constant part of the noise.
inline void CentreRows(std::vector<Observation>& block) {
    if (block.empty()) {
        return;
    }
    std::vector<double> mean(block.front().row.size(), 0.0);
    for (const Observation& o : block) {
        for (std::size_t i = 0; i < mean.size(); ++i) {
            mean[i] += o.row[i] / static_cast<double>(block.size());
        }
    }
    for (Observation& o : block) {
        for (std::size_t i = 0; i < mean.size(); ++i) {
            o.row[i] -= mean[i];
        }
    }
}

// A Cartesian displacement, X, Y, Z.
struct Shift {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline double Dot(const Shift& a, const Shift& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Shift Minus(const Shift& a, const Shift& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Shift Position(const CVector& p) {
    return {p.X, p.Y, p.Z};
}

// Change of a point's X = -R cos El sin Az, Y = R sin El, Z = R cos El cos Az per unit of one
// reading component.
inline Shift PositionSlope(const CVector& p, int component) {
    const double R = p.Range;
    const double sa = std::sin(p.Azimuth);
    const double ca = std::cos(p.Azimuth);
    const double se = std::sin(p.Elevation);
    const double ce = std::cos(p.Elevation);
    switch (component) {
        case kRangeNoise:
            return {-ce * sa, se, ce * ca};
        case kAzimuthNoise:
            return {-R * ce * ca, 0.0, -R * ce * sa};
        default:
            return {R * se * sa, R * ce, -R * se * ca};
    }
}

// How the noise of readings a and b enters their squared separation |P_a - P_b|^2.
inline std::vector<NoiseTerm> SquaredSeparationNoise(const CVector& a, int readingA,
                                                     const CVector& b, int readingB) {
    const Shift delta = Minus(Position(a), Position(b));
    std::vector<NoiseTerm> terms;
    for (int c : {kRangeNoise, kAzimuthNoise, kElevationNoise}) {
        terms.push_back({readingA, c, 2.0 * Dot(delta, PositionSlope(a, c))});
        terms.push_back({readingB, c, -2.0 * Dot(delta, PositionSlope(b, c))});
    }
    return terms;
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_E2E_NOISE_PROPAGATION_H
