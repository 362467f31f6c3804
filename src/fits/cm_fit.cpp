// K_minus, the constant elevation term, from the outside pairs against the cm pairs.
//
// K_minus lowers every reading by the same angle in both faces; a pair seen at different
// elevations than the outside pairs shows it in its separation.
#include "compensation/engine.h"
#include "engine/constants.h"
#include "fits/fit_support.h"
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

int CCompensation::Calculate_cm(CVector* pVecOut, int nCountOut, CVector* pVec_cm, int nCount_cm,
                                TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    using namespace compensation::detail;
    if (!OutsidePairsFit(pVecOut, nCountOut) || !ArrayFits(pVec_cm, nCount_cm) || pMap == nullptr ||
        pCompOut == nullptr) {
        return compensation::kInvalidInput;
    }
    return RunPairFit(*this, kKMinusFit,
                      {pVec_cm, nCount_cm, pVecOut, nCountOut / 2, pMap, pCompOut, nFlagClassify});
}
