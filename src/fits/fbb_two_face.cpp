// FBB two-face fit: over the wide elevation band of the FBB views the face-dependent elevation
// error is a cubic in elevation (B_plus, A_plus, C_plus); D1 comes from the range differences.
// A2 and El_ElS are held at zero while the cubic is fitted (A2 takes the constant term for the
// fit's own evaluation), and both get their entry values back before the fit returns.
#include "compensation/engine.h"
#include "fits/two_face_fit.h"

namespace {

using namespace compensation;
using namespace compensation::detail::two_face;

// The whole elevation face difference: q0 + q1 El + q2 El^2 + q3 El^3.
constexpr FittedElement kCubicElements[] = {{&TMapper::A2, kFbbA2Factor},
                                            {&TMapper::B_plus, kFbbPolynomialFactor},
                                            {&TMapper::A_plus, kFbbPolynomialFactor},
                                            {&TMapper::C_plus, kFbbPolynomialFactor}};
constexpr Stage kStages[] = {
    {kCubicElements, SolveLeastSquares, CubicElevationRow, ElevationDifference, 1.0, true}};

constexpr double TMapper::*kWorkElements[] = {&TMapper::A2, &TMapper::El_ElS};

// Only the elevation spread decides a rejection, and only the elevation difference ranks the
// pairs: the FBB set is there for the elevation terms.
constexpr SpreadRecord kFbbSpreads = {
    &TCompOut::m_dStdR_fbb, &TCompOut::m_dStdAz_fbb, &TCompOut::m_dStdEl_fbb, kUntested, kUntested,
    kTwoFaceSpreadDeg};

// Only the polynomial decides settling, as a whole: the length of its change, in radians.
constexpr double TMapper::*kNotSettling[] = {&TMapper::D1, &TMapper::A2};

constexpr TwoFaceFit kFbbFit = TwoFaceFitOf(kMeanRangeStage, kStages)
                                   .With(&TwoFaceFit::workElements, kWorkElements)
                                   .With(&TwoFaceFit::spreads, kFbbSpreads)
                                   .With(&TwoFaceFit::worst, AbsoluteElevationDifference)
                                   .With(&TwoFaceFit::notSettling, kNotSettling)
                                   .With(&TwoFaceFit::dataLimit, kAngleToleranceRad)
                                   .With(&TwoFaceFit::dataNorm, ChangeNorm::kEuclidean);

}  // namespace

const compensation::detail::two_face::TwoFaceFit& compensation::detail::two_face::FbbFit() {
    return kFbbFit;
}

int CCompensation::CalculateFBBFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                                    TCompOut* pCompOut, int nFlagClassify) {
    return RunTwoFaceFit(kFbbFit, pVec_f, pVec_b, pMap, nCount_fb, pCompOut, nFlagClassify);
}
