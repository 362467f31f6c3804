// Full two-face fits: the range terms D1, D2_AzS, D2_AzC, the A1 and A3 series up to the
// fourth azimuth harmonic (optionally the odd harmonics of the Az series) and the elevation
// terms up to the fourth harmonic.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// Columns of HarmonicAzimuthRow: the A1 and A3 series take the first ten, the odd Az
// harmonics the next four.
constexpr FittedElement kAzimuthElements[] = {
    {&TMapper::A1, kRadToDeg},      {&TMapper::A1_2AzS, kRadToDeg}, {&TMapper::A1_2AzC, kRadToDeg},
    {&TMapper::A1_4AzS, kRadToDeg}, {&TMapper::A1_4AzC, kRadToDeg}, {&TMapper::A3, kRadToDeg},
    {&TMapper::A3_2AzS, kRadToDeg}, {&TMapper::A3_2AzC, kRadToDeg}, {&TMapper::A3_4AzS, kRadToDeg},
    {&TMapper::A3_4AzC, kRadToDeg}, {&TMapper::Az_AzS, kRadToDeg},  {&TMapper::Az_AzC, kRadToDeg},
    {&TMapper::Az_3AzS, kRadToDeg}, {&TMapper::Az_3AzC, kRadToDeg}};
constexpr std::size_t kSeriesColumns = 10;
// Columns of HarmonicElevationRow; the elevation correction carries 2 A2.
constexpr FittedElement kElevationElements[] = {
    {&TMapper::A2, kHalfRadToDeg}, {&TMapper::El_2AzS, kRadToDeg}, {&TMapper::El_2AzC, kRadToDeg},
    {&TMapper::El_ElS, kRadToDeg}, {&TMapper::El_4AzS, kRadToDeg}, {&TMapper::El_4AzC, kRadToDeg}};

constexpr Stage kSeriesStages[] = {
    HalfDifferenceStage(Table<FittedElement>(kAzimuthElements, kSeriesColumns), HarmonicAzimuthRow,
                        AzimuthDifference, false),
    HalfDifferenceStage(kElevationElements, HarmonicElevationRow, ElevationDifference, true)};
constexpr Stage kAzHarmonicStages[] = {
    HalfDifferenceStage(kAzimuthElements, HarmonicAzimuthRow, AzimuthDifference, false),
    HalfDifferenceStage(kElevationElements, HarmonicElevationRow, ElevationDifference, true)};

// D1 and A2 are left out: they follow from the other terms and do not decide settling.
constexpr double TMapper::*kLengthSet[] = {&TMapper::D2_AzS, &TMapper::D2_AzC};
constexpr double TMapper::*kAngularSet[] = {
    &TMapper::A1,     &TMapper::A1_2AzS, &TMapper::A1_2AzC, &TMapper::A1_4AzS, &TMapper::A1_4AzC,
    &TMapper::A3,     &TMapper::A3_2AzS, &TMapper::A3_2AzC, &TMapper::A3_4AzS, &TMapper::A3_4AzC,
    &TMapper::El_ElS, &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_4AzS, &TMapper::El_4AzC,
    &TMapper::Az_AzS, &TMapper::Az_AzC,  &TMapper::Az_3AzS, &TMapper::Az_3AzC};
constexpr ConvergenceGroup kConvergence[] = {
    {kLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

// The full fit with or without the odd azimuth harmonics: only the data stages differ.
constexpr TwoFaceFit FullFit(Table<Stage> stages) {
    return {
        kHarmonicRangeStage,  // range: D1, D2_AzS, D2_AzC
        stages,               // data
        false,                // zeroDataElementsFirst
        {},                   // workElements
        kFullMinimumPairs,    // minimumPairs
        kTooFewFull,          // tooFewCode
        true,                 // convergenceTestWhenTooFew
        kMainSpreads,         // spreads
        PairDistance,         // worst
        kConvergence,         // convergence
    };
}
constexpr TwoFaceFit kFullFit = FullFit(kSeriesStages);
constexpr TwoFaceFit kFullFitAzHarmonics = FullFit(kAzHarmonicStages);

// The host's variant: every fitted element is cleared before the range pass, and D1 and A2
// take part in the convergence test.
constexpr double TMapper::*kAllLengthSet[] = {&TMapper::D1, &TMapper::D2_AzS, &TMapper::D2_AzC};
constexpr double TMapper::*kAllAngularSet[] = {
    &TMapper::A1,      &TMapper::A1_2AzS, &TMapper::A1_2AzC, &TMapper::A1_4AzS,
    &TMapper::A1_4AzC, &TMapper::A3,      &TMapper::A3_2AzS, &TMapper::A3_2AzC,
    &TMapper::A3_4AzS, &TMapper::A3_4AzC, &TMapper::A2,      &TMapper::El_ElS,
    &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_4AzS, &TMapper::El_4AzC};
constexpr ConvergenceGroup kAllConvergence[] = {
    {kAllLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kAllAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

constexpr TwoFaceFit kFullFitClearedFirst = {
    kHarmonicRangeStage,  // range: D1, D2_AzS, D2_AzC
    kSeriesStages,        // data
    true,                 // zeroDataElementsFirst
    {},                   // workElements
    kFullMinimumPairs,    // minimumPairs
    kTooFewFull,          // tooFewCode
    true,                 // convergenceTestWhenTooFew
    kMainSpreads,         // spreads
    PairDistance,         // worst
    kAllConvergence,      // convergence
};

}  // namespace

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
