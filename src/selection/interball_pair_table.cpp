// Which target pairs of a view carry distance information for the interball fits: a distance
// between two targets close together in azimuth, or nearly opposite, hardly changes with the
// model's azimuth terms.
#include <cmath>
#include <cstddef>

#include "compensation/engine.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

// Azimuth separation folded across the +-pi seam, so that 170 and -170 degrees lie 20 degrees
// apart.
double AzimuthSeparation(double first, double second) {
    double separation = std::fabs(first - second);
    if (separation > kPiSeam) {
        separation = std::fabs(separation - kTwoPiSeam);
    }
    return separation;
}

}  // namespace

int CCompensation::ClassifyIBPairs(CVector* pVec, int* pIBPairs, int nCount) {
    if (nCount < 1) {
        return kTooFewInterballPairs;
    }
    // The table has n (n - 1) / 2 entries, which exceeds the int range long before n does.
    std::size_t entry = 0;
    long long usable = 0;
    for (int i = 0; i < nCount; ++i) {
        for (int j = i + 1; j < nCount; ++j) {
            const double separation = AzimuthSeparation(pVec[i].Azimuth, pVec[j].Azimuth);
            const bool used =
                kInterballLeastSeparation < separation && separation < kInterballGreatestSeparation;
            pIBPairs[entry++] = used ? kInterballPairUsed : kInterballPairSkipped;
            if (used) {
                ++usable;
            }
        }
    }
    return usable >= kLeastUsableInterballPairs ? 0 : kTooFewInterballPairs;
}
