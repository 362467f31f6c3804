// Quick two-face fits: D1 from the range face differences, then A1 and A3 (the collimation
// and trunnion-type terms), the first azimuth harmonic of the Az series and the elevation
// terms, from the azimuth and elevation face differences.
#include <cmath>
#include <vector>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// Half the azimuth face difference: p0 tan h - p1 / cos h + p2 sin Az + p3 cos Az.
constexpr FittedElement kAzimuthElements[] = {{&TMapper::A1, kRadToDeg},
                                              {&TMapper::A3, kRadToDeg},
                                              {&TMapper::Az_AzS, kRadToDeg},
                                              {&TMapper::Az_AzC, kRadToDeg}};
// Half the elevation face difference: q0 + q1 sin 2Az + q2 cos 2Az + q3 sin h. The elevation
// correction carries 2 A2, so A2 takes half the degree factor.
constexpr FittedElement kElevationElements[] = {{&TMapper::A2, kHalfRadToDeg},
                                                {&TMapper::El_2AzS, kRadToDeg},
                                                {&TMapper::El_2AzC, kRadToDeg},
                                                {&TMapper::El_ElS, kRadToDeg}};
constexpr Stage kLeastSquaresStages[] = {
    HalfDifferenceStage(kAzimuthElements, QuickAzimuthRow, AzimuthDifference, false),
    HalfDifferenceStage(kElevationElements, HarmonicElevationRow, ElevationDifference, true)};

constexpr double TMapper::*kLengthSet[] = {&TMapper::D1};
constexpr double TMapper::*kAngularSet[] = {&TMapper::A1,     &TMapper::A3,      &TMapper::A2,
                                            &TMapper::El_ElS, &TMapper::El_2AzS, &TMapper::El_2AzC,
                                            &TMapper::Az_AzS, &TMapper::Az_AzC};
constexpr ConvergenceGroup kConvergence[] = {
    {kLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

constexpr TwoFaceFit kQuickFit = {
    kMeanRangeStage,      // range: D1
    kLeastSquaresStages,  // data
    false,                // zeroDataElementsFirst
    {},                   // workElements
    kQuickMinimumPairs,   // minimumPairs
    kTooFewQuick,         // tooFewCode
    false,                // convergenceTestWhenTooFew
    kMainSpreads,         // spreads
    PairDistance,         // worst
    kConvergence,         // convergence
};

// Each pair of pairs determines the four terms exactly from a cos h / 2 = A1 sin h - A3 and
// e / 2 = El_ElS sin h + 2 A2 (a, e the azimuth and elevation face differences); the fit
// averages those solutions over every combination whose sines differ enough.
StageOutcome SolvePairOfPairs(const Stage& /*stage*/, const std::vector<CalibratedPair>& pairs,
                              double* solution) {
    double sumA1 = 0.0;
    double sumA3 = 0.0;
    double sumA2 = 0.0;
    double sumElS = 0.0;
    int combinations = 0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const double si = std::sin(pairs[i].h);
        const double aci = pairs[i].dAz * std::cos(pairs[i].h);
        const double ei = pairs[i].dEl;
        for (std::size_t j = i + 1; j < pairs.size(); ++j) {
            const double sj = std::sin(pairs[j].h);
            const double acj = pairs[j].dAz * std::cos(pairs[j].h);
            const double ej = pairs[j].dEl;
            const double d = si - sj;
            if (std::fabs(d) > kMinSineSpread) {
                ++combinations;
                sumA1 += (aci - acj) / (2.0 * d);
                sumA3 += (sj * aci - si * acj) / (2.0 * d);
                sumA2 += (si * ej - sj * ei) / (4.0 * d);
                sumElS += (ei - ej) / (2.0 * d);
            }
        }
    }
    if (combinations == 0) {
        return StageOutcome::kTooFew;
    }
    solution[0] = sumA1 / combinations;
    solution[1] = sumA3 / combinations;
    solution[2] = sumA2 / combinations;
    solution[3] = sumElS / combinations;
    return StageOutcome::kSolved;
}

// The pair-of-pairs estimate of A2 is already half the constant of e / 2, so it takes the full
// degree factor.
constexpr FittedElement kPairOfPairsElements[] = {{&TMapper::A1, kRadToDeg},
                                                  {&TMapper::A3, kRadToDeg},
                                                  {&TMapper::A2, kRadToDeg},
                                                  {&TMapper::El_ElS, kRadToDeg}};
constexpr Stage kPairOfPairsStages[] = {
    {kPairOfPairsElements, SolvePairOfPairs, nullptr, nullptr, 1.0, false}};

constexpr double TMapper::*kPairOfPairsAngularSet[] = {&TMapper::A1, &TMapper::A2, &TMapper::A3,
                                                       &TMapper::El_ElS};
constexpr ConvergenceGroup kPairOfPairsConvergence[] = {
    {kLengthSet, kLengthTolerance, ChangeNorm::kLargest},
    {kPairOfPairsAngularSet, kAngleToleranceDeg, ChangeNorm::kLargest}};

constexpr TwoFaceFit kPairOfPairsFit = {
    kMeanRangeStage,           // range: D1
    kPairOfPairsStages,        // data
    false,                     // zeroDataElementsFirst
    {},                        // workElements
    kPairOfPairsMinimumPairs,  // minimumPairs
    kTooFewQuick,              // tooFewCode (also when no pair of pairs qualifies)
    false,                     // convergenceTestWhenTooFew
    kMainSpreads,              // spreads
    PairDistance,              // worst
    kPairOfPairsConvergence,   // convergence
};

}  // namespace

int CCompensation::CalculateQCFSBSa(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                    TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kQuickFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}

int CCompensation::CalculateQCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                   TCompOut* pCompOut, int nFlagClassify) {
    const compensation::detail::TraceSession session(*this);
    const bool hasPairs = nCount_fb > 0;
    OutputTrace("Entering CalculateQC", true);
    OutputTrace("pVec_f", hasPairs ? pVec_f : nullptr);
    OutputTrace("pVec_b", hasPairs ? pVec_b : nullptr);
    OutputTrace("nCount_fb", nCount_fb);
    return RunTwoFaceFit(kPairOfPairsFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
