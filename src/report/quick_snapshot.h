// The quick procedure's final working sets and fits, for the linearisation of its fixed point.
#ifndef COMPENSATION_REPORT_QUICK_SNAPSHOT_H
#define COMPENSATION_REPORT_QUICK_SNAPSHOT_H

#include <memory>
#include <vector>

#include "report/run_record.h"

namespace compensation::detail {

std::shared_ptr<Snapshot> QuickSnapshot(const std::vector<CVector>& pairsF,
                                        const std::vector<CVector>& pairsB,
                                        const std::vector<int>& ibPairs, int nTargets, int nViews,
                                        int nCount_fb);

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_QUICK_SNAPSHOT_H
