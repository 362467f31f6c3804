// Best fit of the transform that carries nominal points onto the same points as measured.
//
// The measured points are calibrated first. One of them may be distinguished (the first of
// Type 14, the instrument's own reference). When the other points lie nearly on a line through
// it, the rotation about that line is not determined by the data: an auxiliary point, placed
// off the line and carried by the starting transform, holds that rotation where it started.
// When the other points span the space well, neither the auxiliary nor the distinguished point
// is needed and both get weight 0.
#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/transform.h"
#include "engine/determined_solve.h"
#include "model/vec3.h"
#include "transform/gauss_newton.h"
#include "transform/transform_constants.h"

namespace compensation {
namespace {

// Maps every nominal point through p into mapped.
void MapAll(CTransform& transform, CVector* nominal, int count, TRANSFORM_PARMS* parms,
            std::vector<CVector>& mapped) {
    for (int i = 0; i < count; ++i) {
        mapped[i] = *transform.GetNextVector(i, parms, nominal);
    }
}

// |cos| of the angle at `from` between the directions to a and to b.
double AbsCosine(const Vec3& from, const Vec3& a, const Vec3& b) {
    return std::fabs(Dot(Unit(Minus(a, from)), Unit(Minus(b, from))));
}

// The working set of the best fit: nominal copies, calibrated measured copies and weights, with
// the auxiliary point inserted right after the distinguished one.
struct WorkingSet {
    std::vector<CVector> nominal;
    std::vector<CVector> measured;
    std::vector<double> weights;
};

constexpr int kNoPoint = -1;

int FirstReferencePoint(const CVector* measured, int count) {
    for (int i = 0; i < count; ++i) {
        if (measured[i].Type == kTypeReferenceView) {
            return i;
        }
    }
    return kNoPoint;
}

// The working point whose nominal position is nearest to that of the distinguished point k,
// the auxiliary point s excluded; the first of equal distances wins. kNoPoint when no point
// lies within the search radius or the nearest one coincides with k (no direction).
int NearestNeighbour(const WorkingSet& set, int k, int s, double* distance) {
    const Vec3 centre = PositionOf(set.nominal[k]);
    int nearest = kNoPoint;
    double best = kNeighbourSearchRadius;
    for (int i = 0; i < static_cast<int>(set.nominal.size()); ++i) {
        if (i == s || i == k) {
            continue;
        }
        const double d = Norm(Minus(PositionOf(set.nominal[i]), centre));
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    if (nearest == kNoPoint || !(best > 0.0)) {
        return kNoPoint;
    }
    *distance = best;
    return nearest;
}

// Gives weight 0 to the auxiliary point s when some point lies off the line from k to q, and
// then to the distinguished point k when two points seen from q span more than that line.
void WeighDistinguished(WorkingSet& set, int k, int q, int s) {
    const int count = static_cast<int>(set.nominal.size());
    const Vec3 pk = PositionOf(set.nominal[k]);
    const Vec3 pq = PositionOf(set.nominal[q]);
    const Vec3 u = Unit(Minus(pq, pk));
    auto isOther = [k, q, s](int i) { return i != k && i != q && i != s; };

    auto someOffTheLine = [&]() {
        for (int i = 0; i < count; ++i) {
            if (isOther(i) &&
                std::fabs(Dot(Unit(Minus(PositionOf(set.nominal[i]), pk)), u)) < kCollinearCosine) {
                return true;
            }
        }
        return false;
    };
    auto somePairSpans = [&]() {
        for (int i = 0; i < count; ++i) {
            for (int j = i + 1; j < count; ++j) {
                if (isOther(i) && isOther(j) &&
                    AbsCosine(pq, PositionOf(set.nominal[i]), PositionOf(set.nominal[j])) <
                        kCollinearCosine) {
                    return true;
                }
            }
        }
        return false;
    };

    if (count > kMinWorkingPoints && someOffTheLine()) {
        set.weights[s] = 0.0;
        if (count > kMinWorkingPoints + 1 && somePairSpans()) {
            set.weights[k] = 0.0;
        }
    }
}

// The weighted normal equations of one step, divided by the total weight, in the order
// (Alpha, Beta, Gamma, X, Y, Z); the residuals are mapped minus measured.
void NormalEquations(const TRANSFORM_PARMS& parms, const CVector* nominal, const CVector* measured,
                     const std::vector<CVector>& mapped, const std::vector<double>& weights,
                     double total, double M[3][3], double* normal, double* rhs) {
    constexpr int n = kTransformParameters;
    std::fill(normal, normal + n * n, 0.0);
    std::fill(rhs, rhs + n, 0.0);
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const CVector& a = nominal[i];
        double J[3][n];
        TransformJacobian(parms, M, a.X, a.Y, a.Z, J);
        const double r[3] = {mapped[i].X - measured[i].X, mapped[i].Y - measured[i].Y,
                             mapped[i].Z - measured[i].Z};
        for (int row = 0; row < n; ++row) {
            for (int col = row; col < n; ++col) {
                normal[row * n + col] +=
                    weights[i] *
                    (J[0][row] * J[0][col] + J[1][row] * J[1][col] + J[2][row] * J[2][col]);
            }
            rhs[row] += weights[i] * (J[0][row] * r[0] + J[1][row] * r[1] + J[2][row] * r[2]);
        }
    }
    for (int row = 0; row < n; ++row) {
        rhs[row] /= total;
        for (int col = row; col < n; ++col) {
            normal[row * n + col] /= total;
            normal[col * n + row] = normal[row * n + col];
        }
    }
    // The translation columns of every Jacobian are the identity, so their block of the normal
    // matrix is the identity whatever the weights.
    for (int row = 3; row < n; ++row) {
        for (int col = 3; col < n; ++col) {
            normal[row * n + col] = (row == col) ? 1.0 : 0.0;
        }
    }
}

}  // namespace

namespace detail {

int RefineTransform(CTransform& transform, CVector* nominal, CVector* measured,
                    const double* pointWeights, int count, TRANSFORM_PARMS* parms) {
    std::vector<double> weights(pointWeights, pointWeights + count);
    const double total = std::accumulate(weights.begin(), weights.end(), 0.0);
    std::vector<CVector> mapped(count);
    std::vector<CVector> trialMapped(count);
    constexpr int n = kTransformParameters;

    for (int step = 1;; ++step) {
        MapAll(transform, nominal, count, parms, mapped);
        const double rmsBefore =
            transform.RMS_Transform(measured, mapped.data(), weights.data(), count);

        double M[3][3];
        transform.RotationMatrix(parms, M);
        double normal[n * n];
        double rhs[n];
        NormalEquations(*parms, nominal, measured, mapped, weights, total, M, normal, rhs);

        double delta[n];
        detail::SolveSymmetric(n, normal, rhs, delta);
        TRANSFORM_PARMS trial = {parms->Alpha - delta[0], parms->Beta - delta[1],
                                 parms->Gamma - delta[2], parms->X - delta[3],
                                 parms->Y - delta[4],     parms->Z - delta[5]};

        MapAll(transform, nominal, count, &trial, trialMapped);
        const double rmsAfter =
            transform.RMS_Transform(measured, trialMapped.data(), weights.data(), count);
        // Written so that a non-finite RMS (a singular system) also stops the fit.
        if (!(rmsAfter <= rmsBefore + kRmsRiseTolerance)) {
            return kTransformRmsRose;
        }
        *parms = trial;
        if (step == kMaxTransformSteps) {
            return kTransformStepsUsedUp;
        }
        const double rotationStep =
            std::sqrt(delta[0] * delta[0] + delta[1] * delta[1] + delta[2] * delta[2]);
        const double translationStep =
            std::sqrt(delta[3] * delta[3] + delta[4] * delta[4] + delta[5] * delta[5]);
        if (rotationStep <= kStepTolerance && translationStep <= kStepTolerance) {
            return 0;
        }
    }
}

}  // namespace detail
}  // namespace compensation

// A distinguished point with no neighbour (none within the search radius, or the nearest one at
// its very position) leaves the auxiliary point undefined: the fit returns kInvalidInput with
// pParms unchanged, as it does for missing arrays.
int CTransform::UpdateTransform(CVector* pNominal, CVector* pMeasured, int nPoints,
                                TRANSFORM_PARMS* pParms, TMapper* pMap) try {
    using namespace compensation;
    if (pParms == nullptr || pMap == nullptr ||
        (nPoints > 0 && (pNominal == nullptr || pMeasured == nullptr))) {
        return kInvalidInput;
    }
    const int k = FirstReferencePoint(pMeasured, nPoints);
    const bool distinguished = k != kNoPoint;
    const int count = distinguished ? nPoints + 1 : nPoints;
    const int s = distinguished ? k + 1 : count;
    if (count < kMinWorkingPoints) {
        return kTransformTooFewPoints;
    }

    WorkingSet set{std::vector<CVector>(count), std::vector<CVector>(count),
                   std::vector<double>(count, 1.0)};
    for (int i = 0; i < count; ++i) {
        if (i == s) {
            continue;
        }
        const int source = i < s ? i : i - 1;
        set.nominal[i] = pNominal[source];
        set.measured[i] = pMeasured[source];
        set.measured[i].Calibrate(pMap);
    }

    if (distinguished) {
        double d = 0.0;
        const int q = NearestNeighbour(set, k, s, &d);
        if (q == kNoPoint) {
            return kInvalidInput;
        }
        const Vec3 pk = PositionOf(set.nominal[k]);
        const Vec3 u = Scaled(Minus(PositionOf(set.nominal[q]), pk), 1.0 / d);
        const Vec3 axis =
            std::fabs(u.z) >= std::fabs(u.x) ? Vec3{1.0, 0.0, 0.0} : Vec3{0.0, 0.0, 1.0};
        const Vec3 v = Unit(Cross(u, axis));
        set.nominal[s].X = pk.x + d * v.x;
        set.nominal[s].Y = pk.y + d * v.y;
        set.nominal[s].Z = pk.z + d * v.z;
        set.measured[s] = *GetNextVector(s, pParms, set.nominal.data());
        WeighDistinguished(set, k, q, s);
    }

    return detail::RefineTransform(*this, set.nominal.data(), set.measured.data(),
                                   set.weights.data(), count, pParms);
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
