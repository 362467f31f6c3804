// Outside sets: two targets outside the target network, each seen from many views. Averaging
// each target over its views gives the positions the single-term fits compare the model with.
#include <array>

#include "compensation/engine.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

struct AveragedPair {
    std::array<CVector, kOutsideTargetsPerView> targets;
    std::array<double, kOutsideTargetsPerView> spreads{};

    // Until averaged, both targets carry the mark of a target without a live view.
    AveragedPair() {
        for (CVector& target : targets) {
            target.Quality = kNoLiveViewQuality;
        }
    }
};

int AverageOutsideSet(CCompensation& engine, AveragedPair& averaged, CVector* outside,
                      int outsideCount) {
    return detail::AverageAndRefine(engine, averaged.targets.data(), outside,
                                    kOutsideTargetsPerView, outsideCount / kOutsideTargetsPerView,
                                    averaged.spreads.data());
}

void CopyAverages(const AveragedPair& averaged, CVector* averages) {
    for (int target = 0; target < kOutsideTargetsPerView; ++target) {
        averages[target] = averaged.targets[target];
    }
}

// Views dropped from the averages stay usable for the fits that read single measurements.
void ReleaseRejections(CVector* outside, int outsideCount) {
    for (int i = 0; i < outsideCount; ++i) {
        if (outside[i].Quality == kRejectedQuality) {
            outside[i].Quality = kOutsideDroppedQuality;
        }
    }
}

}  // namespace

// Only the second set decides the result: the first set's averages are always written, and
// a first set that cannot be averaged leaves averages marked as without a live view. A second
// set too short to hold one view is refused before anything is touched.
int CCompensation::ClassifyOutside(CVector* pVecOut1, int nCountOut1, CVector* pVecOut2,
                                   int nCountOut2, CVector* pVecAvgOut) {
    if (nCountOut2 / kOutsideTargetsPerView < 1) {
        return kInvalidInput;
    }
    AveragedPair first;
    AverageOutsideSet(*this, first, pVecOut1, nCountOut1);
    CopyAverages(first, pVecAvgOut);

    AveragedPair second;
    int result = AverageOutsideSet(*this, second, pVecOut2, nCountOut2);
    if (result == 0) {
        result = SpreadFailures(second.spreads, kOutsideSpreadFailure);
    }
    CopyAverages(second, pVecAvgOut + kOutsideTargetsPerView);

    ReleaseRejections(pVecOut1, nCountOut1);
    ReleaseRejections(pVecOut2, nCountOut2);
    return result;
}
