// Ax and Ay from a list of pairs that all show the same distance.
//
// Ax and Ay tilt the instrument's vertical axis; a tilt turns each reading by an amount that
// depends on its azimuth, so pairs spread in azimuth show it in their separations.
#include "compensation/engine.h"
#include "fits/pair_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail;

constexpr PairElement kElements[] = {{&TMapper::Ax, GradientAx}, {&TMapper::Ay, GradientAy}};
constexpr PairFit kAxAyFit = PairFitOf(SeparationSource::kFreeConstant, kElements)
                                 .With(&PairFit::traceName, "axay")
                                 .InDegrees()
                                 .WithCodes(kAxAyTooFew, kAxAyRejected, kAxAyNotConverged)
                                 .ReportingIn(&TCompOut::m_dStdaxay, &TCompOut::m_dDaxay)
                                 .With(&PairFit::precisionFactor, kAxAyPrecisionFactor);

}  // namespace

int CCompensation::Calculate_axay(CVector* pVec_axay, int nCount_axay, TMapper* pMap,
                                  TCompOut* pCompOut, int nFlagClassify) {
    const auto trace = [this](const char* title, auto value) { OutputTrace(title, value); };
    return compensation::detail::HostPairFit(trace, *this, kAxAyFit, nullptr, 0, pVec_axay,
                                             nCount_axay, pMap, pCompOut, nFlagClassify);
}
