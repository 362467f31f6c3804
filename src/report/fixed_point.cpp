#include "report/fixed_point.h"

#include <cmath>
#include <utility>

namespace compensation::detail {

namespace {

// Difference steps. The fits are linear in the readings and the elements to first order; the
// steps are far above the rounding of a calibrated reading (about 1e-15 m and 1e-16 rad) and
// far below the scale on which the fits' rows change (a degree of elevation), so forward
// differences give the derivatives to about eight digits.
constexpr double kRangeStep = 1e-7;        // metres
constexpr double kAngleStep = 1e-8;        // radians
constexpr double kElementStep = 1e-7;      // degrees or metres, as the element is stored

std::vector<double> Evaluate(CCompensation& engine, Snapshot& snapshot, const TMapper& model,
                             const std::vector<double TMapper::*>& elements,
                             const std::vector<int>& owner) {
    std::vector<double> phi(elements.size());
    TCompOut scratch{};
    for (std::size_t f = 0; f < snapshot.fits.size(); ++f) {
        TMapper map = model;
        snapshot.fits[f].call(engine, snapshot, &map, &scratch);
        for (std::size_t e = 0; e < elements.size(); ++e) {
            if (owner[e] == static_cast<int>(f)) {
                phi[e] = map.*elements[e];
            }
        }
    }
    return phi;
}

}  // namespace

bool SolveGeneral(int n, int m, std::vector<double> a, std::vector<double>& b) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row) {
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) {
                pivot = row;
            }
        }
        if (!(std::fabs(a[pivot * n + col]) > 0.0)) {
            return false;
        }
        if (pivot != col) {
            for (int k = 0; k < n; ++k) {
                std::swap(a[col * n + k], a[pivot * n + k]);
            }
            for (int k = 0; k < m; ++k) {
                std::swap(b[col * m + k], b[pivot * m + k]);
            }
        }
        for (int row = 0; row < n; ++row) {
            if (row == col) {
                continue;
            }
            const double factor = a[row * n + col] / a[col * n + col];
            if (factor == 0.0) {
                continue;
            }
            for (int k = col; k < n; ++k) {
                a[row * n + k] -= factor * a[col * n + k];
            }
            for (int k = 0; k < m; ++k) {
                b[row * m + k] -= factor * b[col * m + k];
            }
        }
    }
    for (int row = 0; row < n; ++row) {
        for (int k = 0; k < m; ++k) {
            b[row * m + k] /= a[row * n + row];
        }
    }
    return true;
}

FixedPointCovariance LinearisedCovariance(CCompensation& engine, Snapshot& snapshot,
                                          const TMapper& fixedPoint, const NoiseEstimate& noise) {
    FixedPointCovariance result;
    std::vector<int> owner;
    for (std::size_t f = 0; f < snapshot.fits.size(); ++f) {
        for (double TMapper::*element : snapshot.fits[f].elements) {
            result.elements.push_back(element);
            result.fits.push_back(snapshot.fits[f].name);
            owner.push_back(static_cast<int>(f));
        }
    }
    const int p = static_cast<int>(result.elements.size());
    const auto P = static_cast<std::size_t>(p);
    const std::vector<double> phi0 = Evaluate(engine, snapshot, fixedPoint, result.elements, owner);

    // A = I - dphi/dtheta, column by column.
    std::vector<double> a(P * P, 0.0);
    for (int j = 0; j < p; ++j) {
        TMapper moved = fixedPoint;
        moved.*result.elements[static_cast<std::size_t>(j)] += kElementStep;
        const std::vector<double> phi = Evaluate(engine, snapshot, moved, result.elements, owner);
        for (int i = 0; i < p; ++i) {
            const auto I = static_cast<std::size_t>(i);
            a[I * P + static_cast<std::size_t>(j)] =
                (i == j ? 1.0 : 0.0) - (phi[I] - phi0[I]) / kElementStep;
        }
    }

    // M = dphi/dr S dphi/dr^T, summed over every reading's range, azimuth and elevation.
    std::vector<double> m(P * P, 0.0);
    const auto addReading = [&](CVector& reading, double CVector::*field, double step,
                                double sigma) {
        const double saved = reading.*field;
        reading.*field = saved + step;
        const std::vector<double> phi = Evaluate(engine, snapshot, fixedPoint, result.elements,
                                                 owner);
        reading.*field = saved;
        std::vector<double> column(P);
        for (std::size_t i = 0; i < P; ++i) {
            column[i] = (phi[i] - phi0[i]) / step * sigma;
        }
        for (std::size_t i = 0; i < P; ++i) {
            for (std::size_t k = 0; k < P; ++k) {
                m[i * P + k] += column[i] * column[k];
            }
        }
    };
    for (const auto& [set, index] : snapshot.readings) {
        CVector& reading =
            snapshot.sets[static_cast<std::size_t>(set)][static_cast<std::size_t>(index)];
        addReading(reading, &CVector::Range, kRangeStep, noise.range);
        addReading(reading, &CVector::Azimuth, kAngleStep, noise.azimuth);
        addReading(reading, &CVector::Elevation, kAngleStep, noise.elevation);
    }

    // C = A^-1 M A^-T: X = A^-1 M, then C^T = A^-1 X^T.
    if (!SolveGeneral(p, p, a, m)) {
        return result;
    }
    std::vector<double> xt(P * P);
    for (std::size_t i = 0; i < P; ++i) {
        for (std::size_t k = 0; k < P; ++k) {
            xt[k * P + i] = m[i * P + k];
        }
    }
    if (!SolveGeneral(p, p, a, xt)) {
        return result;
    }
    result.covariance.assign(P * P, 0.0);
    for (std::size_t i = 0; i < P; ++i) {
        for (std::size_t k = 0; k < P; ++k) {
            // Symmetrised: the two solves round differently.
            result.covariance[i * P + k] = 0.5 * (xt[i * P + k] + xt[k * P + i]);
        }
    }
    result.solved = true;
    return result;
}

}  // namespace compensation::detail
