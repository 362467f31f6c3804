// The array layouts the procedures read, checked before a run so that a fault is reported
// against the file line that breaks it instead of surfacing as a refused or misread run.
#ifndef COMPENSATE_LAYOUT_H
#define COMPENSATE_LAYOUT_H

#include "measurement_csv.h"
#include "scenario.h"

namespace compensation::cli {

struct ViewLayout {
    int viewCount = 0;
    int targetsPerView = 0;
};

// The main array: views, each a reference view (type 14), then the front sights (100) of the
// same n targets, then their back sights (200) in the same order. The back sight of a target
// stands n places after its front sight, which is where rejections are written back.
ViewLayout CheckMainLayout(const MeasurementSet& set);

// An outside set: consecutive pairs (the two targets of one view), front or back sights, at
// least one pair with both qualities above 50.
void CheckOutsideSet(const MeasurementSet& set);

// Flying views: blocks of flyingTargets front sights followed by their flyingTargets back
// sights. Returns the number of flying views.
int CheckFlyingSet(const MeasurementSet& set, int flyingTargets);

// Two different targets of a view of layout.targetsPerView targets (1-based positions).
void CheckPairPositions(const char* name, const PairPositions& pair, const ViewLayout& layout,
                        const std::string& mainFile);

}  // namespace compensation::cli

#endif  // COMPENSATE_LAYOUT_H
