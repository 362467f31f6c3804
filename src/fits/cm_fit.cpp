// K_minus, the constant elevation term, from the outside pairs against the cm pairs.
//
// K_minus lowers every reading by the same angle in both faces; a pair seen at different
// elevations than the outside pairs shows it in its separation.
#include "compensation/engine.h"
#include "engine/constants.h"
#include "fits/pair_fit.h"
#include "fits/single_term_constants.h"

namespace {

using compensation::detail::PairFit;

constexpr PairFit kKMinusFit = {
    compensation::detail::SeparationSource::kOutsidePairs,
    1,
    {&TMapper::K_minus, nullptr},
    {compensation::GradientKMinus, nullptr},
    compensation::kRadToDeg,  // the gradient is per radian, the model holds degrees
    compensation::kDegToRad,
    compensation::detail::ResidualForm::kCorrectedSeparation,
    0,
    compensation::kAngleToleranceDeg,
    compensation::kOutsidePairTooFew,
    compensation::kOutsidePairRejected,
    compensation::kOutsidePairNotConverged,
    &TCompOut::m_dStdExtraIn,
    &TCompOut::m_dDcm,
    0.0,
};

}  // namespace

// The K_minus fit writes no trace of its own (its spread calls still write theirs).
int CCompensation::Calculate_cm(CVector* pVecOut, int nCountOut, CVector* pVec_cm, int nCount_cm,
                                TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    const auto silent = [](const char*, auto) {};
    return compensation::detail::HostPairFit(silent, {}, *this, kKMinusFit, pVecOut, nCountOut,
                                             pVec_cm, nCount_cm, pMap, pCompOut, nFlagClassify);
}
