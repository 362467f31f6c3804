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

// Half the azimuth face difference: p0 tan h - p1 / cos h + p2 sin Az + p3 cos Az; half the
// elevation face difference: q0 + q1 sin 2Az + q2 cos 2Az + q3 sin h.
constexpr Stage kLeastSquaresStages[] = {kQuickAzimuthStage,
                                         HarmonicElevationStage(kQuickElevationColumns)};
constexpr TwoFaceFit kQuickFit = TwoFaceFitOf(kMeanRangeStage, kLeastSquaresStages);

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
// An estimator that reads the calibrated pairs itself: no design row or observation.
constexpr Stage kPairOfPairsStages[] = {
    {kPairOfPairsElements, SolvePairOfPairs, nullptr, nullptr, 1.0, false}};
// Also when no pair of pairs qualifies, the fit reports too few pairs.
constexpr TwoFaceFit kPairOfPairsFit =
    TwoFaceFitOf(kMeanRangeStage, kPairOfPairsStages)
        .With(&TwoFaceFit::minimumPairs, kPairOfPairsMinimumPairs);

}  // namespace

const compensation::detail::two_face::TwoFaceFit& compensation::detail::two_face::QuickFit() {
    return kQuickFit;
}

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
