// K_minus, the constant elevation term, from the outside pairs against the cm pairs.
//
// K_minus lowers every reading by the same angle in both faces; a pair seen at different
// elevations than the outside pairs shows it in its separation.
#include "compensation/engine.h"
#include "fits/pair_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail;

constexpr PairElement kElements[] = {{&TMapper::K_minus, GradientKMinus}};
constexpr PairFit kKMinusFit = PairFitOf(SeparationSource::kOutsidePairs, kElements)
                                   .InDegrees()
                                   .ReportingIn(&TCompOut::m_dStdExtraIn, &TCompOut::m_dDcm);

}  // namespace

FitLinearisation compensation::detail::KMinusRows(int outsideSet, int outsideCount, int pairsSet,
                                                  int pairCount) {
    return PairFitRows(kKMinusFit, pairsSet, pairCount, outsideSet, outsideCount);
}

// The K_minus fit writes no trace of its own (its spread calls still write theirs).
int CCompensation::Calculate_cm(CVector* pVecOut, int nCountOut, CVector* pVec_cm, int nCount_cm,
                                TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    const auto silent = [](const char*, auto) {};
    return compensation::detail::HostPairFit(silent, *this, kKMinusFit, pVecOut, nCountOut, pVec_cm,
                                             nCount_cm, pMap, pCompOut, nFlagClassify);
}
