// Each procedure's final working sets and the fits of its final joint loop over copies of them,
// for the linearisation of its fixed point.
#ifndef COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H
#define COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H

#include <memory>
#include <vector>

#include "procedures/procedure_steps.h"
#include "report/run_record.h"

namespace compensation::detail {

std::shared_ptr<Snapshot> QuickSnapshot(const TwoFacePairs& pairs,
                                        const std::vector<int>& interballTable, ViewLayout layout,
                                        const TCompOut& record);

std::shared_ptr<Snapshot> FullSnapshot(const FullWorkingSets& sets, HostArray outside,
                                       ViewLayout layout, const TCompOut& record);

// What the full-full procedure's final joint loop works on.
struct FullFullSets {
    int mode;
    bool azimuthHarmonicPhase;  // the final two-face fit: azimuth-harmonic or six-harmonic
    const FullWorkingSets& sets;
    const TwoFacePairs& flyingPairs;
    const std::vector<CVector>& firstPassFronts;
    const std::vector<CVector>& firstPassFlyingFronts;
    const std::vector<CVector>& outside1AsAveraged;  // mode 2: the sets as the run averaged them
    const std::vector<CVector>& outside2AsAveraged;
    HostArray outside1;
    HostArray outside2;
    ViewLayout layout;
    int flyingTargets;
    int flyingViews;
};
std::shared_ptr<Snapshot> FullFullSnapshot(const FullFullSets& in, const TCompOut& record);

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_PROCEDURE_SNAPSHOTS_H
