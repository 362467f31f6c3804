// Full two-face fits: the range terms D1, D2_AzS, D2_AzC, the A1 and A3 series up to the
// fourth azimuth harmonic (optionally the odd harmonics of the Az series) and the elevation
// terms up to the fourth harmonic.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation::detail::two_face;

constexpr Stage kSeriesStages[] = {HarmonicAzimuthStage(kSeriesAzimuthColumns),
                                   HarmonicElevationStage(kFullElevationColumns)};
constexpr Stage kAzHarmonicStages[] = {HarmonicAzimuthStage(kFullAzimuthColumns),
                                       HarmonicElevationStage(kFullElevationColumns)};

constexpr TwoFaceFit kFullFit = HarmonicFit(kSeriesStages);
constexpr TwoFaceFit kFullFitAzHarmonics = HarmonicFit(kAzHarmonicStages);
// The host's variant: every fitted element is cleared before the range pass, and D1 and A2
// take part in the convergence test.
constexpr TwoFaceFit kFullFitClearedFirst = TwoFaceFitOf(kHarmonicRangeStage, kSeriesStages)
                                                .DemandingFullPairCount()
                                                .With(&TwoFaceFit::zeroDataElementsFirst, true);

}  // namespace

const compensation::detail::two_face::TwoFaceFit& compensation::detail::two_face::FullFit(
    bool azimuthHarmonics) {
    return azimuthHarmonics ? kFullFitAzHarmonics : kFullFit;
}

int CCompensation::CalculateFFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                    TCompOut* pCompOut, int nFlagClassify, int bAzHarmonics) {
    const TwoFaceFit& fit = bAzHarmonics == 1 ? kFullFitAzHarmonics : kFullFit;
    return RunTwoFaceFit(fit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}

int CCompensation::CalculateFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                   TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kFullFitClearedFirst, pVec_f, pVec_b, pMap, nCount_fb, pCompOut,
                         nFlagClassify);
}
