// Six-harmonic interball fit: the full fit with its azimuth harmonics, extended by the fifth
// harmonics of the A1, A2 and A3 series and the sixth of the azimuth correction.
#include <array>

#include "compensation/engine.h"
#include "fits/interball_fit.h"
#include "fits/interball_rows.h"

namespace {

namespace rows = compensation::detail::interball_rows;

constexpr std::array<compensation::detail::InterballElement, 24> kSixHarmonicTable = {{
    // The full fit's sixteen rows, in its order.
    rows::kAx,       // 0
    rows::kAy,       // 1
    rows::kA1_AzS,   // 2
    rows::kA1_AzC,   // 3
    rows::kA1_3AzS,  // 4
    rows::kA1_3AzC,  // 5
    rows::kA2_3AzS,  // 6
    rows::kA2_3AzC,  // 7
    rows::kA3_AzS,   // 8
    rows::kA3_AzC,   // 9
    rows::kA3_3AzS,  // 10
    rows::kA3_3AzC,  // 11
    rows::kAz_2AzS,  // 12
    rows::kAz_2AzC,  // 13
    rows::kAz_4AzS,  // 14
    rows::kAz_4AzC,  // 15
    // The fifth harmonics of the three series and the sixth of the azimuth correction.
    rows::kA1_5AzS,  // 16
    rows::kA1_5AzC,  // 17
    rows::kA2_5AzS,  // 18
    rows::kA2_5AzC,  // 19
    rows::kA3_5AzS,  // 20
    rows::kA3_5AzC,  // 21
    rows::kAz_6AzS,  // 22
    rows::kAz_6AzC,  // 23
}};

}  // namespace

int CCompensation::CalculateFFC6axy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                       TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    return compensation::detail::RunInterballFit(
        *this, {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify},
        {kSixHarmonicTable.data(), static_cast<int>(kSixHarmonicTable.size())});
}
