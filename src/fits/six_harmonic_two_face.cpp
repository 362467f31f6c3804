// Six-harmonic two-face fit: the full fit's range terms, and the azimuth and elevation terms up
// to the sixth azimuth harmonic, with the odd harmonics of the Az series up to the fifth.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// All twenty columns of HarmonicAzimuthRow.
constexpr FittedElement kAzimuthElements[] = {
    {&TMapper::A1, kRadToDeg},      {&TMapper::A1_2AzS, kRadToDeg}, {&TMapper::A1_2AzC, kRadToDeg},
    {&TMapper::A1_4AzS, kRadToDeg}, {&TMapper::A1_4AzC, kRadToDeg}, {&TMapper::A3, kRadToDeg},
    {&TMapper::A3_2AzS, kRadToDeg}, {&TMapper::A3_2AzC, kRadToDeg}, {&TMapper::A3_4AzS, kRadToDeg},
    {&TMapper::A3_4AzC, kRadToDeg}, {&TMapper::Az_AzS, kRadToDeg},  {&TMapper::Az_AzC, kRadToDeg},
    {&TMapper::Az_3AzS, kRadToDeg}, {&TMapper::Az_3AzC, kRadToDeg}, {&TMapper::A1_6AzS, kRadToDeg},
    {&TMapper::A1_6AzC, kRadToDeg}, {&TMapper::A3_6AzS, kRadToDeg}, {&TMapper::A3_6AzC, kRadToDeg},
    {&TMapper::Az_5AzS, kRadToDeg}, {&TMapper::Az_5AzC, kRadToDeg}};
// All eight columns of HarmonicElevationRow; the elevation correction carries 2 A2.
constexpr FittedElement kElevationElements[] = {
    {&TMapper::A2, kHalfRadToDeg},  {&TMapper::El_2AzS, kRadToDeg}, {&TMapper::El_2AzC, kRadToDeg},
    {&TMapper::El_ElS, kRadToDeg},  {&TMapper::El_4AzS, kRadToDeg}, {&TMapper::El_4AzC, kRadToDeg},
    {&TMapper::El_6AzS, kRadToDeg}, {&TMapper::El_6AzC, kRadToDeg}};

constexpr Stage kStages[] = {
    HalfDifferenceStage(kAzimuthElements, HarmonicAzimuthRow, AzimuthDifference, false),
    HalfDifferenceStage(kElevationElements, HarmonicElevationRow, ElevationDifference, true)};

// D1 and A2 are left out, as in the full fit.
constexpr double TMapper::*kLengthSet[] = {&TMapper::D2_AzS, &TMapper::D2_AzC};
constexpr double TMapper::*kAngularSet[] = {
    &TMapper::A1,      &TMapper::A1_2AzS, &TMapper::A1_2AzC, &TMapper::A1_4AzS, &TMapper::A1_4AzC,
    &TMapper::A3,      &TMapper::A3_2AzS, &TMapper::A3_2AzC, &TMapper::A3_4AzS, &TMapper::A3_4AzC,
    &TMapper::El_ElS,  &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_4AzS, &TMapper::El_4AzC,
    &TMapper::Az_AzS,  &TMapper::Az_AzC,  &TMapper::Az_3AzS, &TMapper::Az_3AzC, &TMapper::A1_6AzS,
    &TMapper::A1_6AzC, &TMapper::A3_6AzS, &TMapper::A3_6AzC, &TMapper::El_6AzS, &TMapper::El_6AzC,
    &TMapper::Az_5AzS, &TMapper::Az_5AzC};
constexpr ConvergenceGroup kConvergence[] = {
    {kLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

constexpr TwoFaceFit kSixHarmonicFit = {
    kHarmonicRangeStage,  // range: D1, D2_AzS, D2_AzC
    kStages,              // data
    false,                // zeroDataElementsFirst
    {},                   // workElements
    kFullMinimumPairs,    // minimumPairs
    kTooFewFull,          // tooFewCode
    true,                 // convergenceTestWhenTooFew
    kMainSpreads,         // spreads
    PairDistance,         // worst
    kConvergence,         // convergence
};

}  // namespace

int CCompensation::CalculateFFCFSBS6(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                     TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kSixHarmonicFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
