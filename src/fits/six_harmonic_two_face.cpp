// Six-harmonic two-face fit: the full fit's range terms, and the azimuth and elevation terms up
// to the sixth azimuth harmonic, with the odd harmonics of the Az series up to the fifth.
#include <iterator>

#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation::detail::two_face;

constexpr Stage kStages[] = {HarmonicAzimuthStage(std::size(kHarmonicAzimuthElements)),
                             HarmonicElevationStage(std::size(kHarmonicElevationElements))};
constexpr TwoFaceFit kSixHarmonicFit = HarmonicFit(kStages);

}  // namespace

const compensation::detail::two_face::TwoFaceFit& compensation::detail::two_face::SixHarmonicFit() {
    return kSixHarmonicFit;
}

int CCompensation::CalculateFFCFSBS6(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                     TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kSixHarmonicFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
