// EFC two-face fit: the quick fit's model without the second elevation harmonic. D1 from the
// range differences; A1, A3, Az_AzS, Az_AzC from the azimuth differences; A2 and El_ElS from
// the elevation differences.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// Half the elevation face difference: q0 + q1 sin h; the elevation correction carries 2 A2.
constexpr FittedElement kElevationElements[] = {{&TMapper::A2, kHalfRadToDeg},
                                                {&TMapper::El_ElS, kRadToDeg}};
constexpr Stage kStages[] = {
    kQuickAzimuthStage,
    HalfDifferenceStage(kElevationElements, ElevationSineRow, ElevationDifference, true)};
constexpr TwoFaceFit kEfcFit = TwoFaceFitOf(kMeanRangeStage, kStages);

}  // namespace

int CCompensation::CalculateEFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                    TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kEfcFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
