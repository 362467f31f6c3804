// Each procedure's final working sets and the fits of its final joint loop over copies of them,
// for the linearisation of its fixed point.
#ifndef COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H
#define COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H

#include <memory>
#include <vector>

#include "report/run_record.h"

namespace compensation::detail {

std::shared_ptr<Snapshot> QuickSnapshot(const std::vector<CVector>& pairsF,
                                        const std::vector<CVector>& pairsB,
                                        const std::vector<int>& ibPairs, int nTargets, int nViews,
                                        int nCount_fb);

// The full procedure's sets, in the order pairs f, pairs b, x0y0 pairs, d2 pairs, outside.
struct FullSets {
    const std::vector<CVector>& pairsF;
    const std::vector<CVector>& pairsB;
    const std::vector<CVector>& pairsX0Y0;
    const std::vector<CVector>& pairsD2;
    const CVector* outside;
    int nCountOut;
    const std::vector<int>& ibPairs;
    int nTargets, nViews, nCount_fb, nCount_x0y0, nCount_d2;
};
std::shared_ptr<Snapshot> FullSnapshot(const FullSets& in);

struct FullFullSets {
    int mode;
    bool azimuthHarmonics;  // the two-face fit of the final loop (phase 1) or the six-harmonic
    const std::vector<CVector>& pairsF;
    const std::vector<CVector>& pairsB;
    const std::vector<CVector>& flyF;
    const std::vector<CVector>& flyB;
    const std::vector<CVector>& flyF2;
    const std::vector<CVector>& pairsX0Y0;
    const std::vector<CVector>& pairsD2;
    const std::vector<CVector>& pairsExtra;
    const CVector* outside1;
    int nCountOut1;
    const CVector* outside2;
    int nCountOut2;
    const std::vector<CVector>& avg4;
    const std::vector<CVector>& copyF;
    const std::vector<int>& ibPairs;
    int nTargets, nViews, nTargetsFly, nViewsFly, nCount_fb, nCountFly_fb, nCount_x0y0, nCount_d2,
        nCount_extra;
};
std::shared_ptr<Snapshot> FullFullSnapshot(const FullFullSets& in);

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H
