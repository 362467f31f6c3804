// EFC two-face fit: the quick fit's model without the second elevation harmonic. D1 from the
// range differences; A1, A3, Az_AzS, Az_AzC from the azimuth differences; A2 and El_ElS from
// the elevation differences.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// Half the azimuth face difference: p0 tan h - p1 / cos h + p2 sin Az + p3 cos Az.
constexpr FittedElement kAzimuthElements[] = {{&TMapper::A1, kRadToDeg},
                                              {&TMapper::A3, kRadToDeg},
                                              {&TMapper::Az_AzS, kRadToDeg},
                                              {&TMapper::Az_AzC, kRadToDeg}};
// Half the elevation face difference: q0 + q1 sin h; the elevation correction carries 2 A2.
constexpr FittedElement kElevationElements[] = {{&TMapper::A2, kHalfRadToDeg},
                                                {&TMapper::El_ElS, kRadToDeg}};
constexpr Stage kStages[] = {
    HalfDifferenceStage(kAzimuthElements, QuickAzimuthRow, AzimuthDifference, false),
    HalfDifferenceStage(kElevationElements, ElevationSineRow, ElevationDifference, true)};

constexpr double TMapper::*kLengthSet[] = {&TMapper::D1};
constexpr double TMapper::*kAngularSet[] = {&TMapper::A1,     &TMapper::A2,     &TMapper::A3,
                                            &TMapper::El_ElS, &TMapper::Az_AzS, &TMapper::Az_AzC};
constexpr ConvergenceGroup kConvergence[] = {
    {kLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

constexpr TwoFaceFit kEfcFit = {
    kMeanRangeStage,     // range: D1
    kStages,             // data
    false,               // zeroDataElementsFirst
    {},                  // workElements
    kQuickMinimumPairs,  // minimumPairs
    kTooFewQuick,        // tooFewCode
    false,               // convergenceTestWhenTooFew
    kMainSpreads,        // spreads
    PairDistance,        // worst
    kConvergence,        // convergence
};

}  // namespace

int CCompensation::CalculateEFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                    TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kEfcFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
