// Six-harmonic interball fit: the full fit with its azimuth harmonics, extended by the fifth
// harmonics of the A1, A2 and A3 series and the sixth of the azimuth correction.
#include "compensation/engine.h"
#include "fits/interball_fit.h"

int CCompensation::CalculateFFC6axy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                       TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    namespace rows = compensation::detail::interball_rows;
    return compensation::detail::RunInterballFit(
        {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify}, rows::kHarmonicTable);
}
