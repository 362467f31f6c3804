// Which target pairs of a view carry distance information for the interball fits: a distance
// between two targets close together in azimuth, or nearly opposite, hardly changes with the
// model's azimuth terms.
#include <cstddef>

#include "compensation/engine.h"
#include "model/sight_angle.h"
#include "selection/selection.h"

using namespace compensation;

int CCompensation::ClassifyIBPairs(CVector* pVec, int* pIBPairs, int nCount) {
    if (nCount < 1) {
        return kTooFewInterballPairs;
    }
    // The table has n (n - 1) / 2 entries, which exceeds the int range long before n does.
    std::size_t entry = 0;
    long long usable = 0;
    for (int i = 0; i < nCount; ++i) {
        for (int j = i + 1; j < nCount; ++j) {
            const double separation = detail::AzimuthSeparation(pVec[i].Azimuth, pVec[j].Azimuth);
            const bool used =
                kInterballLeastSeparation < separation && separation < kInterballGreatestSeparation;
            pIBPairs[entry++] = used ? kInterballPairUsed : kInterballPairSkipped;
            usable += used ? 1 : 0;
        }
    }
    return usable >= kLeastUsableInterballPairs ? 0 : kTooFewInterballPairs;
}
