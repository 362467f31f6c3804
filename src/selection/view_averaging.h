// The average-and-refine sequence shared by the check-view acceptance and the outside sets.
#ifndef COMPENSATION_SELECTION_VIEW_AVERAGING_H
#define COMPENSATION_SELECTION_VIEW_AVERAGING_H

#include "compensation/engine.h"

namespace compensation::detail {

// Averages every target over its views; when every target has a live view, rejects the worst
// view of each scattered target and averages again, repeating while something is rejected
// and at least four views would remain. Returns the averaging's count of targets without a
// live view (or kInvalidInput for a layout that does not fit).
int AverageAndRefine(CCompensation& engine, CVector* averages, CVector* measurements, int targets,
                     int views, double* spreads);

}  // namespace compensation::detail

#endif  // COMPENSATION_SELECTION_VIEW_AVERAGING_H
