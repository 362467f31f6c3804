// Ax and Ay from a list of pairs that all show the same distance.
//
// Ax and Ay tilt the instrument's vertical axis; a tilt turns each reading by an amount that
// depends on its azimuth, so pairs spread in azimuth show it in their separations.
#include "compensation/engine.h"
#include "engine/constants.h"
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

constexpr compensation::detail::PairFitNames kAxAyNames = {"Entering Calculate_axay",
                                                           "Leaving Calculate_axay",
                                                           nullptr,
                                                           nullptr,
                                                           "pVec_axay",
                                                           "nCount_axay"};

}  // namespace

int CCompensation::Calculate_axay(CVector* pVec_axay, int nCount_axay, TMapper* pMap,
                                  TCompOut* pCompOut, int nFlagClassify) {
    const auto trace = [this](const char* title, auto value) { OutputTrace(title, value); };
    return compensation::detail::HostPairFit(trace, kAxAyNames, *this, kAxAyFit, nullptr, 0,
                                             pVec_axay, nCount_axay, pMap, pCompOut, nFlagClassify);
}
