// Azimuth coverage of the views: the instrument's model terms in azimuth can only be separated
// when the reference views are spread around the whole circle.
#include <climits>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

bool InSector(double azimuth, int sector, double width) {
    const double low = (sector * width - kSectorLowStartDeg) * kDegToRad;
    const double high = ((sector + 1) * width + kSectorMarginDeg - kHalfTurnDeg) * kDegToRad;
    return low < azimuth && azimuth < high;
}

bool SectorHoldsView(const CVector* vectors, int count, int type, int sector, double width) {
    for (int i = 0; i < count; ++i) {
        if (IsLive(vectors[i]) && vectors[i].Type == type &&
            InSector(vectors[i].Azimuth, sector, width)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The sectors are searched in order and the search stops at the first empty one, so no
// counter per sector is needed whatever number of sectors the caller asks for.
int CCompensation::AcceptViews(CVector* pVec, int nCount, int nType, int nFlag_0, int nSep) {
    const compensation::detail::TraceSession session(*this);
    OutputTrace("Entering AcceptViews", true);
    OutputTrace("pVec", nCount > 0 ? pVec : nullptr);
    OutputTrace("nCount", nCount);
    OutputTrace("nType", nType);
    OutputTrace("nFlag_0", nFlag_0);
    OutputTrace("nSep", nSep);

    int result = 0;
    // No sector to fill cannot prove coverage, and a code beyond the int range cannot be
    // reported.
    if (nSep < 1 || static_cast<long long>(nFlag_0) + nSep - 1 > INT_MAX) {
        result = kInvalidInput;
    } else {
        const double width = kFullTurnDeg / nSep;
        for (int sector = 0; sector < nSep; ++sector) {
            if (!SectorHoldsView(pVec, nCount, nType, sector, width)) {
                result = nFlag_0 + sector;
                break;
            }
        }
    }

    OutputTrace("Leaving AcceptViews", result);
    return result;
}
