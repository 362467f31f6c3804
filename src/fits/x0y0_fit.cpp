// X0 and Y0 from pairs of the same two targets seen in many views (the x0y0 pairs).
//
// The offsets X0 and Y0 of the line of sight turn a reading by X0 / R and Y0 / R, so two
// targets at different ranges along nearly the same direction see them differently, and the
// separation of the pair shows them.
#include "compensation/engine.h"
#include "fits/pair_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail;

constexpr PairElement kElements[] = {{&TMapper::X0, GradientX0}, {&TMapper::Y0, GradientY0}};
constexpr PairFit kX0Y0Fit = PairFitOf(SeparationSource::kFreeConstant, kElements)
                                 .With(&PairFit::traceName, "x0y0")
                                 .With(&PairFit::residualForm, ResidualForm::kCentredDeficit)
                                 .With(&PairFit::minCountOffset, kX0Y0ExtraPairs)
                                 .WithCodes(kX0Y0TooFew, kX0Y0Rejected, kX0Y0NotConverged)
                                 .ReportingIn(&TCompOut::m_dStdx0y0, &TCompOut::m_dDx0y0)
                                 .With(&PairFit::precisionFactor, kX0Y0PrecisionFactor);

}  // namespace

FitLinearisation compensation::detail::X0Y0Rows(int pairsSet, int pairCount) {
    return PairFitRows(kX0Y0Fit, pairsSet, pairCount);
}

int CCompensation::Calculate_x0y0(CVector* pVec_x0y0, int nCount_x0y0, TMapper* pMap,
                                  TCompOut* pCompOut, int nFlagClassify) {
    const auto trace = [this](const char* title, auto value) { OutputTrace(title, value); };
    return compensation::detail::HostPairFit(trace, *this, kX0Y0Fit, nullptr, 0, pVec_x0y0,
                                             nCount_x0y0, pMap, pCompOut, nFlagClassify);
}
