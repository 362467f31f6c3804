// Transform from tooling balls: a closed-form start from the best triple of points, refined by
// the weighted Gauss-Newton iteration.
//
// Each triple defines an orthonormal frame in both sets: first axis from the triple's centroid
// toward its first point, third axis normal to the triple's plane. The rotation that turns the
// nominal frame into the measured one, with the translation that matches the two centroids, is
// one candidate; the candidate with the smallest weighted RMS over all points is kept, a triple
// whose frames are too narrow, or have no plane at all, only when no better-founded one exists.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/transform.h"
#include "model/vec3.h"
#include "transform/gauss_newton.h"
#include "transform/transform_constants.h"

namespace {

using namespace compensation;

// Each component divided by `divisor` (a division, not a product with its reciprocal).
Vec3 DividedBy(const Vec3& a, double divisor) {
    return {a.x / divisor, a.y / divisor, a.z / divisor};
}

Vec3 RowOf(const double M[3][3], int row) {
    return {M[row][0], M[row][1], M[row][2]};
}

void SetRow(double M[3][3], int row, const Vec3& a) {
    M[row][0] = a.x;
    M[row][1] = a.y;
    M[row][2] = a.z;
}

// A right-handed orthonormal frame whose first row is e1 (a unit vector), completed with the
// coordinate axis X or Z, whichever is farther from e1. It stands in for the frame of a triple
// whose plane is undefined (points exactly on a line, or coincident).
void CompleteFrame(const Vec3& e1, double M[3][3]) {
    const Vec3 normal =
        Cross(e1, std::fabs(e1.z) >= std::fabs(e1.x) ? Vec3{1.0, 0.0, 0.0} : Vec3{0.0, 0.0, 1.0});
    SetRow(M, 0, e1);
    SetRow(M, 2, DividedBy(normal, Norm(normal)));
    SetRow(M, 1, Cross(RowOf(M, 2), RowOf(M, 0)));
}

// Number of weights above zero, and the sum of all weights.
int CountPositive(const double* weights, int count, double* totalOut) {
    int positive = 0;
    double total = 0.0;
    for (int i = 0; i < count; ++i) {
        if (weights[i] > 0.0) {
            ++positive;
        }
        total += weights[i];
    }
    *totalOut = total;
    return positive;
}

// The entry check of the weighted fits: kInvalidInput for a missing array or weights that do
// not sum to a positive value, `tooFewCode` when fewer than `leastPoints` weights are positive
// (checked first), else 0.
int CheckWeightedPoints(const CVector* nominal, const CVector* measured, const double* weights,
                        int count, const TRANSFORM_PARMS* parms, int leastPoints, int tooFewCode) {
    if (parms == nullptr ||
        (count > 0 && (nominal == nullptr || measured == nullptr || weights == nullptr))) {
        return kInvalidInput;
    }
    double total = 0.0;
    if (CountPositive(weights, count, &total) < leastPoints) {
        return tooFewCode;
    }
    return total > 0.0 ? 0 : kInvalidInput;
}

// Rotation angles of the transform whose matrix (as built by RotationMatrix) is R.
void AnglesFromMatrix(const double R[3][3], TRANSFORM_PARMS* p) {
    p->Alpha = std::atan2(R[1][2], R[2][2]);
    p->Beta = std::atan2(-R[0][2], std::sqrt(R[0][0] * R[0][0] + R[0][1] * R[0][1]));
    p->Gamma = std::atan2(R[0][1], R[0][0]);
}

// How far a triple's frame can be trusted, from best to worst: a plane at a usable angle, a
// plane too narrow to trust, or no plane at all (a substitute frame).
enum class FrameKind { kUsable = 0, kNarrow = 1, kNoPlane = 2 };

// BasisMatrix's frame of a triple, and how far it can be trusted.
FrameKind TripleFrame(const CVector* points, double M[3][3]) {
    const Vec3 centre = {(points[0].X + points[1].X + points[2].X) * (1.0 / 3.0),
                         (points[0].Y + points[1].Y + points[2].Y) * (1.0 / 3.0),
                         (points[0].Z + points[1].Z + points[2].Z) * (1.0 / 3.0)};
    Vec3 fromCentre[3];
    for (int k = 0; k < 3; ++k) {
        fromCentre[k] = Minus(PositionOf(points[k]), centre);
    }
    const double r0 = Norm(fromCentre[0]);
    const double r1 = Norm(fromCentre[1]);

    const Vec3 normal = DividedBy(Cross(fromCentre[0], fromCentre[1]), r0 * r1);
    const double sine = Norm(normal);

    if (!(sine > 0.0) || !std::isfinite(sine)) {
        // No plane: the frame keeps its first axis toward the first point (or along the line
        // when that point is the centroid) and is completed arbitrarily but finitely, so that a
        // candidate built from it never carries a non-finite value to the host.
        Vec3 e1 = {1.0, 0.0, 0.0};
        const int along = r0 > 0.0 ? 0 : 1;
        const double length = along == 0 ? r0 : r1;
        if (length > 0.0 && std::isfinite(length)) {
            e1 = DividedBy(fromCentre[along], length);
        }
        CompleteFrame(e1, M);
        return FrameKind::kNoPlane;
    }

    SetRow(M, 0, DividedBy(fromCentre[0], r0));
    SetRow(M, 2, DividedBy(normal, sine));
    SetRow(M, 1, Cross(RowOf(M, 2), RowOf(M, 0)));
    return std::fabs(std::asin(sine)) < kMinFrameAngle ? FrameKind::kNarrow : FrameKind::kUsable;
}

}  // namespace

int CTransform::BasisMatrix(const CVector* pPoints, double M[3][3]) {
    return TripleFrame(pPoints, M) == FrameKind::kUsable ? 0 : 1;
}

int CTransform::TB_Transform(CVector* pNominal, CVector* pMeasured, double* pW, int nPoints,
                             TRANSFORM_PARMS* pParms, TMapper* pMap) try {
    if (pMap == nullptr) {
        return kInvalidInput;
    }
    if (const int refused = CheckWeightedPoints(pNominal, pMeasured, pW, nPoints, pParms,
                                                kMinTriplePoints, kToolingTooFewWeighted)) {
        return refused;
    }

    std::vector<CVector> nominal(pNominal, pNominal + nPoints);
    std::vector<CVector> measured(pMeasured, pMeasured + nPoints);
    for (CVector& v : measured) {
        v.Calibrate(pMap);
    }
    std::vector<int> usable;
    for (int i = 0; i < nPoints; ++i) {
        if (pW[i] > 0.0) {
            usable.push_back(i);
        }
    }

    // A candidate is ranked first by the worse of its two frames, then by its RMS: a triple
    // with a usable plane in both sets always beats a narrow one, and a narrow one a triple
    // without a plane, whose substitute frame is arbitrary and may fit the points by accident
    // (exactly, when the measured points equal the nominal ones). Ranking by RMS alone let such
    // a triple, met first, block every usable one, so the status depended on the points' order.
    int status = kToolingNoUsableTriple;
    double best = kCandidateRmsStart;
    FrameKind bestKind = FrameKind::kNoPlane;
    bool kept = false;
    TRANSFORM_PARMS bestParms = {};
    std::vector<CVector> mapped(nPoints);
    const int count = static_cast<int>(usable.size());
    for (int a = 0; a < count; ++a) {
        for (int b = a + 1; b < count; ++b) {
            for (int c = b + 1; c < count; ++c) {
                const int triple[3] = {usable[a], usable[b], usable[c]};
                CVector tripleNominal[3];
                CVector tripleMeasured[3];
                for (int t = 0; t < 3; ++t) {
                    tripleNominal[t] = nominal[triple[t]];
                    tripleMeasured[t] = measured[triple[t]];
                }
                double Fn[3][3];
                double Fm[3][3];
                const FrameKind kind =
                    std::max(TripleFrame(tripleNominal, Fn), TripleFrame(tripleMeasured, Fm));

                // Nominal directions into measured ones: R = Fm^T Fn.
                double R[3][3];
                for (int r = 0; r < 3; ++r) {
                    for (int col = 0; col < 3; ++col) {
                        R[r][col] =
                            Fm[0][r] * Fn[0][col] + Fm[1][r] * Fn[1][col] + Fm[2][r] * Fn[2][col];
                    }
                }
                AnglesFromMatrix(R, pParms);
                pParms->X = 0.0;
                pParms->Y = 0.0;
                pParms->Z = 0.0;
                double rotated[3] = {0.0, 0.0, 0.0};
                double target[3] = {0.0, 0.0, 0.0};
                for (int t = 0; t < 3; ++t) {
                    const CVector* turned = GetNextVector(t, pParms, tripleNominal);
                    rotated[0] += turned->X;
                    rotated[1] += turned->Y;
                    rotated[2] += turned->Z;
                    target[0] += tripleMeasured[t].X;
                    target[1] += tripleMeasured[t].Y;
                    target[2] += tripleMeasured[t].Z;
                }
                constexpr double third = 1.0 / 3.0;
                pParms->X = target[0] * third - rotated[0] * third;
                pParms->Y = target[1] * third - rotated[1] * third;
                pParms->Z = target[2] * third - rotated[2] * third;

                for (int i = 0; i < nPoints; ++i) {
                    mapped[i] = *GetNextVector(i, pParms, nominal.data());
                }
                const double rms = RMS_Transform(mapped.data(), measured.data(), pW, nPoints);
                // A non-finite RMS, or one beyond the running minimum's start, never competes.
                const bool eligible = rms < kCandidateRmsStart;
                const bool better = !kept || kind < bestKind || (kind == bestKind && rms < best);
                if (eligible && better) {
                    best = rms;
                    bestKind = kind;
                    bestParms = *pParms;
                    kept = true;
                    if (kind == FrameKind::kUsable) {
                        status = 0;
                    }
                }
            }
        }
    }
    if (kept) {
        *pParms = bestParms;
    }
    if (status == kToolingNoUsableTriple) {
        return status;
    }
    if (nPoints > kMinTriplePoints) {
        const int refined =
            TB_UpdateTransform(nominal.data(), measured.data(), pW, nPoints, pParms);
        return refined == kTransformTooFewPoints ? 0 : refined;
    }
    return 0;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

int CTransform::TB_UpdateTransform(CVector* pNominal, CVector* pMeasured, double* pW, int nPoints,
                                   TRANSFORM_PARMS* pParms) try {
    if (const int refused = CheckWeightedPoints(pNominal, pMeasured, pW, nPoints, pParms,
                                                kMinRefinePoints, kTransformTooFewPoints)) {
        return refused;
    }
    return detail::RefineTransform(*this, pNominal, pMeasured, pW, nPoints, pParms);
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
