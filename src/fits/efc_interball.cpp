// EFC interball fit: Ax, Ay and the first azimuth harmonics of the A1 and A3 series. Every other
// element, the higher harmonics and the A2 terms included, keeps its value through the fit.
#include "compensation/engine.h"
#include "fits/interball_fit.h"

namespace {

namespace rows = compensation::detail::interball_rows;

constexpr compensation::detail::InterballElement kEfcTable[] = {
    rows::kAx, rows::kAy, rows::kA1_AzS, rows::kA1_AzC, rows::kA3_AzS, rows::kA3_AzC,
};

}  // namespace

int CCompensation::CalculateEFCaxy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                      TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    return compensation::detail::RunInterballFit(
        {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify}, kEfcTable);
}
