// Planning of an instrument placement: before anything is measured, the nominal targets are
// carried into the instrument frame by a candidate placement and the geometry is judged for
// each kind of compensation measurement. The target pairs chosen, and the predicted precision
// of their checks, go into the result record for the fits to use.
//
// Targets of Type 14 (the view's reference) never form a pair. Pairs are visited as i < j with
// i outer, and a new best must be strictly better, so the first pair wins a tie. A pair index
// is the target's position in the array, which the host lays out as one view: position 0 is
// the view's Type 14 vector, so an index is also the target's 1-based number in the view.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "compensation/records.h"
#include "compensation/transform.h"
#include "fits/point_gradients.h"
#include "model/sight_angle.h"
#include "model/vec3.h"
#include "transform/transform_constants.h"

namespace {

using namespace compensation;

// Every target as the instrument would read it from the candidate placement.
std::vector<CVector> MapTargets(CTransform& transform, CVector* targets, TRANSFORM_PARMS* parms,
                                int count) {
    std::vector<CVector> mapped(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        mapped[i] = *transform.GetNextVector(i, parms, targets);
        mapped[i].Cart2Sphr();
    }
    return mapped;
}

// Calls visit(i, j) for every pair of targets that may form one, i < j, i outer.
template <typename Visit>
void ForEachPair(const std::vector<CVector>& targets, Visit visit) {
    const int n = static_cast<int>(targets.size());
    for (int i = 0; i < n; ++i) {
        if (targets[i].Type == kTypeReferenceView) {
            continue;
        }
        for (int j = i + 1; j < n; ++j) {
            if (targets[j].Type != kTypeReferenceView) {
                visit(i, j);
            }
        }
    }
}

bool ValidIndex(int index, int count) {
    return index >= 0 && index < count;
}

}  // namespace

// Usable for the two-face test when some pair of targets differs enough in elevation: the
// two-face terms are told apart through the half-angle h = pi/4 - El/2.
int CTransform::Evaluate_FSBS(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints) try {
    if (pParms == nullptr || (nPoints > 0 && pVec == nullptr)) {
        return kInvalidInput;
    }
    const std::vector<CVector> targets = MapTargets(*this, pVec, pParms, nPoints);
    int separated = 0;
    ForEachPair(targets, [&](int i, int j) {
        const double hi = kQuarterPi - 0.5 * targets[i].Elevation;
        const double hj = kQuarterPi - 0.5 * targets[j].Elevation;
        if (std::fabs(std::sin(hi) - std::sin(hj)) > kFaceSineSeparation) {
            ++separated;
        }
    });
    return separated > 0 ? 0 : kFacesNotSeparated;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// The D2 outside pair: two targets nearly on one line of sight and far apart; of those, the
// one seen at the smallest angle.
int CTransform::EvaluateOutside(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints,
                                TCompOut* pCompOut) try {
    if (pParms == nullptr || pCompOut == nullptr || (nPoints > 0 && pVec == nullptr)) {
        return kInvalidInput;
    }
    const std::vector<CVector> targets = MapTargets(*this, pVec, pParms, nPoints);
    int status = kD2NoInlinePair;
    double best = kBestAngleStart;
    ForEachPair(targets, [&](int i, int j) {
        const double angle = std::fabs(detail::SightAngle(targets[i], targets[j]));
        if (!(angle < kTwentyDegrees)) {
            return;
        }
        if (status != 0) {
            status = kD2PairTooShort;
        }
        if (DistanceBetween(targets[i], targets[j]) > kMinD2Distance && angle < best) {
            best = angle;
            status = 0;
            pCompOut->m_n1_d2 = i;
            pCompOut->m_n2_d2 = j;
        }
    });
    return status;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// Predicted uncertainty of D2 from the chosen pair: a reading uncertainty over the change of
// the pair's squared separation per metre of D2, scaled by the separation. A pair whose
// separation does not respond to D2 predicts no precision at all and is not usable.
int CTransform::EvaluateInside(CVector* pVec, TRANSFORM_PARMS* pParms, TCompOut* pCompOut) try {
    if (pVec == nullptr || pParms == nullptr || pCompOut == nullptr || pCompOut->m_n1_d2 < 0 ||
        pCompOut->m_n2_d2 < 0) {
        return kInvalidInput;
    }
    CVector a = *GetNextVector(pCompOut->m_n1_d2, pParms, pVec);
    a.Cart2Sphr();
    CVector b = *GetNextVector(pCompOut->m_n2_d2, pParms, pVec);
    b.Cart2Sphr();
    const double slope = SeparationSlope(a, b, GradientD2);
    pCompOut->m_dDd2_model = std::fabs(DistanceBetween(a, b) * kPlanningTolerance / slope);
    return pCompOut->m_dDd2_model <= kPlanningTolerance ? 0 : kD2Imprecise;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// The X0/Y0 pair: two targets nearly in one azimuth whose ranges and elevations differ most.
int CTransform::Evaluate_x0y0(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints,
                              TCompOut* pCompOut) try {
    if (pParms == nullptr || pCompOut == nullptr || (nPoints > 0 && pVec == nullptr)) {
        return kInvalidInput;
    }
    const std::vector<CVector> targets = MapTargets(*this, pVec, pParms, nPoints);
    int status = kX0Y0NoPair;
    double best = kRunningMaxStart;
    int chosenA = -1;
    int chosenB = -1;
    ForEachPair(targets, [&](int i, int j) {
        const CVector& ti = targets[i];
        const CVector& tj = targets[j];
        if (!(std::fabs(ti.Azimuth - tj.Azimuth) < kTwentyDegrees)) {
            return;
        }
        const double score =
            std::fabs((ti.Range - tj.Range) * std::sin(ti.Elevation - tj.Elevation));
        if (score > best) {
            best = score;
            status = kX0Y0Imprecise;
            chosenA = i;
            chosenB = j;
        }
    });
    if (status == kX0Y0NoPair) {
        return status;
    }
    pCompOut->m_n1_x0y0 = chosenA;
    pCompOut->m_n2_x0y0 = chosenB;
    const CVector& a = targets[chosenA];
    const CVector& b = targets[chosenB];
    const double slopeX0 = SeparationSlope(a, b, GradientX0);
    const double slopeY0 = SeparationSlope(a, b, GradientY0);
    pCompOut->m_dDx0y0_model =
        DistanceBetween(a, b) * kQuarterThouInch / std::sqrt(slopeX0 * slopeX0 + slopeY0 * slopeY0);
    if (pCompOut->m_dDx0y0_model < kPlanningTolerance) {
        status = 0;
    }
    return status;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// The Ax/Ay pair: of the pairs between 25 and 115 degrees apart in azimuth, the one whose
// distance responds most to the tilt terms; enough such pairs must exist besides.
int CTransform::Evaluate_axay(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints,
                              TCompOut* pCompOut, int nMinPairs) try {
    if (pParms == nullptr || pCompOut == nullptr || (nPoints > 0 && pVec == nullptr)) {
        return kInvalidInput;
    }
    const std::vector<CVector> targets = MapTargets(*this, pVec, pParms, nPoints);
    int status = kAxAyImprecise;
    int usable = 0;
    double best = kRunningMinStart;
    ForEachPair(targets, [&](int i, int j) {
        const CVector& ti = targets[i];
        const CVector& tj = targets[j];
        const double apart = detail::AzimuthSeparation(ti.Azimuth, tj.Azimuth);
        if (!(apart > kInterballLeastSeparation && apart < kInterballGreatestSeparation)) {
            return;
        }
        ++usable;
        const double slopeAx = SeparationSlope(ti, tj, GradientAx);
        const double slopeAy = SeparationSlope(ti, tj, GradientAy);
        const double value = DistanceBetween(ti, tj) * kAxAyUncertainty /
                             std::sqrt(slopeAx * slopeAx + slopeAy * slopeAy);
        if (value < best) {
            best = value;
            pCompOut->m_dDaxay_model = value;
            pCompOut->m_n1_axay = i;
            pCompOut->m_n2_axay = j;
        }
    });
    if (best < kTwiceTwoFaceSpreadDeg) {
        status = usable > nMinPairs ? 0 : kAxAyTooFewPairs;
    }
    return status;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}

// The extra outside pair, near the D2 pair in azimuth and at least 3 m apart: nSide 0 looks
// for the lowest mean elevation, nSide 1 for the widest elevation difference.
int CTransform::EvaluateExtraOutside(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints,
                                     TCompOut* pCompOut, int nSide) try {
    if (pVec == nullptr || pParms == nullptr || pCompOut == nullptr ||
        !ValidIndex(pCompOut->m_n1_d2, nPoints) || !ValidIndex(pCompOut->m_n2_d2, nPoints)) {
        return kInvalidInput;
    }
    const std::vector<CVector> targets = MapTargets(*this, pVec, pParms, nPoints);
    const int d2First = pCompOut->m_n1_d2;
    const int d2Second = pCompOut->m_n2_d2;
    const double centre = (targets[d2First].Azimuth + targets[d2Second].Azimuth) * 0.5;
    int status = kExtraNoPair;
    double best = kBestAngleStart;
    ForEachPair(targets, [&](int i, int j) {
        const CVector& ti = targets[i];
        const CVector& tj = targets[j];
        if (i == d2First || j == d2Second || !(std::fabs(ti.Azimuth - centre) < kTenDegrees) ||
            !(std::fabs(tj.Azimuth - centre) < kTenDegrees) ||
            !(DistanceBetween(ti, tj) > kMinExtraDistance)) {
            return;
        }
        double value = ((1 - 2 * nSide) * tj.Elevation + ti.Elevation) * 0.5;
        if (nSide == 1 && value > 0.0) {
            value = -value;
        }
        if (value < best) {
            best = value;
            status = kExtraNotLowEnough;
            pCompOut->m_n1_extra = i;
            pCompOut->m_n2_extra = j;
        }
    });
    if (best < -kTwentyDegrees) {
        status = 0;
    }
    return status;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
