// Outside sets: two targets outside the target network, each seen from many views. Averaging
// each target over its views gives the positions the single-term fits compare the model with.
#include <array>

#include "compensation/engine.h"
#include "selection/selection.h"
#include "selection/view_averaging.h"

namespace {

using namespace compensation;

struct AveragedPair {
    std::array<CVector, kOutsideTargetsPerView> targets;
    std::array<double, kOutsideTargetsPerView> spreads{};

    // Until averaged, both targets carry the mark of a target without a live view.
    AveragedPair() {
        for (CVector& t : targets) {
            t.Quality = kNoLiveViewQuality;
        }
    }
};

int AverageOutsideSet(CCompensation& engine, AveragedPair& avg, CVector* pVecOut, int nCountOut) {
    return detail::AverageAndRefine(engine, avg.targets.data(), pVecOut, kOutsideTargetsPerView,
                                    nCountOut / kOutsideTargetsPerView, avg.spreads.data());
}

void CopyAverages(const AveragedPair& avg, CVector* pOut) {
    for (int t = 0; t < kOutsideTargetsPerView; ++t) {
        pOut[t] = avg.targets[t];
    }
}

// Views dropped from the averages stay usable for the fits that read single measurements.
void ReleaseRejections(CVector* pVecOut, int nCountOut) {
    for (int i = 0; i < nCountOut; ++i) {
        if (pVecOut[i].Quality == kRejectedQuality) {
            pVecOut[i].Quality = kOutsideDroppedQuality;
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
        for (const double spread : second.spreads) {
            if (SpreadBeyond(spread, kRejectSpread)) {
                result += kOutsideSpreadFailure;
            }
        }
    }
    CopyAverages(second, pVecAvgOut + kOutsideTargetsPerView);

    ReleaseRejections(pVecOut1, nCountOut1);
    ReleaseRejections(pVecOut2, nCountOut2);
    return result;
}
