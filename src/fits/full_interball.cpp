// Full interball fit: Ax, Ay, the first and third azimuth harmonics of the A1 and A3 series and
// the third of A2; on request also the second and fourth harmonics of the azimuth correction.
#include <array>

#include "compensation/engine.h"
#include "fits/interball_fit.h"
#include "fits/interball_rows.h"

namespace {

namespace rows = compensation::detail::interball_rows;

// The azimuth harmonics come last, so the fit without them is the leading part of the table.
constexpr std::array<compensation::detail::InterballElement, 16> kFullTable = {{
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
}};
constexpr int kRowsWithoutAzHarmonics = 12;
// Only exactly this flag adds the azimuth harmonics; any other value holds them.
constexpr int kWithAzHarmonics = 1;

}  // namespace

int CCompensation::CalculateFFCaxy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                      TMapper* pMap, TCompOut* pCompOut, int nFlagClassify,
                                      int nFlagAzHarmonics) {
    const int rowsUsed = nFlagAzHarmonics == kWithAzHarmonics ? static_cast<int>(kFullTable.size())
                                                              : kRowsWithoutAzHarmonics;
    return compensation::detail::RunInterballFit(
        *this, {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify},
        {kFullTable.data(), rowsUsed});
}
