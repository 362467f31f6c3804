// D2 from the outside pairs against the d2 pairs of the same two targets.
//
// D2 lengthens a reading by (2 sin h - 1) D2 and lowers it by 2 cos h D2 / R (h = pi/4 - El/2),
// so a pair seen at different elevations than the outside pairs shows it in its separation.
#include "compensation/engine.h"
#include "fits/pair_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail;

constexpr PairElement kElements[] = {{&TMapper::D2, GradientD2}};
constexpr PairFit kD2Fit = PairFitOf(SeparationSource::kOutsidePairs, kElements)
                               .With(&PairFit::traceName, "d2")
                               .ReportingIn(&TCompOut::m_dStd2, &TCompOut::m_dDd2);

}  // namespace

FitLinearisation compensation::detail::D2Rows(int outsideSet, int outsideCount, int pairsSet,
                                              int pairCount) {
    return PairFitRows(kD2Fit, pairsSet, pairCount, outsideSet, outsideCount);
}

int CCompensation::Calculate_d2(CVector* pVecOut, int nCountOut, CVector* pVec_d2, int nCount_d2,
                                TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    const auto trace = [this](const char* title, auto value) { OutputTrace(title, value); };
    return compensation::detail::HostPairFit(trace, *this, kD2Fit, pVecOut, nCountOut, pVec_d2,
                                             nCount_d2, pMap, pCompOut, nFlagClassify);
}
