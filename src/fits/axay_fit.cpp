// Ax and Ay from a list of pairs that all show the same distance.
//
// Ax and Ay tilt the instrument's vertical axis; a tilt turns each reading by an amount that
// depends on its azimuth, so pairs spread in azimuth show it in their separations.
#include "compensation/engine.h"
#include "engine/constants.h"
#include "fits/fit_support.h"
#include "fits/pair_fit.h"
#include "fits/single_term_constants.h"

namespace {

using compensation::detail::PairFit;

constexpr PairFit kAxAyFit = {
    compensation::detail::SeparationSource::kFreeConstant,
    2,
    {&TMapper::Ax, &TMapper::Ay},
    {compensation::GradientAx, compensation::GradientAy},
    compensation::kRadToDeg,  // the gradients are per radian, the model holds degrees
    compensation::kDegToRad,
    compensation::detail::ResidualForm::kCorrectedSeparation,
    0,
    compensation::kAngleToleranceDeg,
    compensation::kAxAyTooFew,
    compensation::kAxAyRejected,
    compensation::kAxAyNotConverged,
    &TCompOut::m_dStdaxay,
    &TCompOut::m_dDaxay,
    compensation::kAxAyPrecisionFactor,
};

}  // namespace

int CCompensation::Calculate_axay(CVector* pVec_axay, int nCount_axay, TMapper* pMap,
                                  TCompOut* pCompOut, int nFlagClassify) {
    using namespace compensation::detail;
    OutputTrace("Entering Calculate_axay", true);
    OutputTrace("pVec_axay", FirstOrNull(pVec_axay, nCount_axay));
    OutputTrace("nCount_axay", nCount_axay);
    OutputTrace("pMap", pMap);
    OutputTrace("nFlagClassify", nFlagClassify);

    int status = compensation::kInvalidInput;
    if (ArrayFits(pVec_axay, nCount_axay) && pMap != nullptr && pCompOut != nullptr) {
        status = RunPairFit(*this, kAxAyFit,
                            {pVec_axay, nCount_axay, nullptr, 0, pMap, pCompOut, nFlagClassify});
    }

    OutputTrace("pMap", pMap);
    OutputTrace("pCompOut", pCompOut);
    OutputTrace("Leaving Calculate_axay", status);
    return status;
}
