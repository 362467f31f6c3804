// X0 and Y0 from pairs of the same two targets seen in many views (the x0y0 pairs).
//
// The offsets X0 and Y0 of the line of sight turn a reading by X0 / R and Y0 / R, so two
// targets at different ranges along nearly the same direction see them differently, and the
// separation of the pair shows them.
#include "compensation/engine.h"
#include "engine/constants.h"
#include "fits/fit_support.h"
#include "fits/pair_fit.h"
#include "fits/single_term_constants.h"

namespace {

using compensation::detail::PairFit;

constexpr PairFit kX0Y0Fit = {
    compensation::detail::SeparationSource::kFreeConstant,
    2,
    {&TMapper::X0, &TMapper::Y0},
    {compensation::GradientX0, compensation::GradientY0},
    1.0,  // metres
    1.0,
    compensation::detail::ResidualForm::kCentredDeficit,
    compensation::kX0Y0ExtraPairs,
    compensation::kLengthTolerance,
    compensation::kX0Y0TooFew,
    compensation::kX0Y0Rejected,
    compensation::kX0Y0NotConverged,
    &TCompOut::m_dStdx0y0,
    &TCompOut::m_dDx0y0,
    compensation::kX0Y0PrecisionFactor,
};

}  // namespace

int CCompensation::Calculate_x0y0(CVector* pVec_x0y0, int nCount_x0y0, TMapper* pMap,
                                  TCompOut* pCompOut, int nFlagClassify) {
    using namespace compensation::detail;
    OutputTrace("Entering Calculate_x0y0", true);
    OutputTrace("pVec_x0y0", FirstOrNull(pVec_x0y0, nCount_x0y0));
    OutputTrace("nCount_x0y0", nCount_x0y0);
    OutputTrace("pMap", pMap);
    OutputTrace("nFlagClassify", nFlagClassify);

    int status = compensation::kInvalidInput;
    if (ArrayFits(pVec_x0y0, nCount_x0y0) && pMap != nullptr && pCompOut != nullptr) {
        status = RunPairFit(*this, kX0Y0Fit,
                            {pVec_x0y0, nCount_x0y0, nullptr, 0, pMap, pCompOut, nFlagClassify});
    }

    OutputTrace("pMap", pMap);
    OutputTrace("pCompOut", pCompOut);
    OutputTrace("Leaving Calculate_x0y0", status);
    return status;
}
