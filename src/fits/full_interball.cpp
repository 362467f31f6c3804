// Full interball fit: Ax, Ay, the first and third azimuth harmonics of the A1 and A3 series and
// the third of A2; on request also the second and fourth harmonics of the azimuth correction.
#include "compensation/engine.h"
#include "fits/interball_fit.h"

namespace {

// Only exactly this flag adds the azimuth harmonics; any other value holds them.
constexpr int kWithAzHarmonics = 1;

}  // namespace

compensation::detail::InterballTable compensation::detail::FullInterballTable(int flagAzHarmonics) {
    namespace rows = interball_rows;
    const std::size_t rowsUsed =
        flagAzHarmonics == kWithAzHarmonics ? rows::kFullRows : rows::kFullRowsWithoutAzHarmonics;
    return InterballTable(rows::kHarmonicTable).Leading(rowsUsed);
}

int CCompensation::CalculateFFCaxy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                      TMapper* pMap, TCompOut* pCompOut, int nFlagClassify,
                                      int nFlagAzHarmonics) {
    return compensation::detail::RunInterballFit(
        {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify},
        compensation::detail::FullInterballTable(nFlagAzHarmonics));
}
