// The El_ElC fit: which of its target pairs can show El_ElC at all, and its rows for the run
// report.
#ifndef COMPENSATION_FITS_BEL_GEOMETRY_H
#define COMPENSATION_FITS_BEL_GEOMETRY_H

#include <optional>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

// The El_ElC targets: the d2 pair's two positions, then the extra pair's.
inline constexpr int kElElCTargets = 4;

// A pair of the El_ElC targets, i < j.
struct ElElCTargetPair {
    int i;
    int j;
};

// The pairs of the El_ElC targets that the fit uses (those QualifyingElElCPairs counts), and the
// targets' places within a view; false when a position lies outside a view of perView targets.
bool ElElCPairs(const CVector* reference, const CVector* views, int perView, const TCompOut& out,
                int targets[kElElCTargets], std::vector<ElElCTargetPair>& pairs);

// How many of the six pairs of the four El_ElC targets (the d2 and extra positions of `out`)
// lie far enough apart in reference range and view-0 elevation; 0 also when a position lies
// outside a view of perView targets. With none the fit cannot estimate El_ElC.
int QualifyingElElCPairs(const CVector* reference, const CVector* views, int perView,
                         const TCompOut& out);

// Where the El_ElC fit's readings lie in a snapshot. Its reference readings are the means of the
// outside targets over their views: `perOutsideView` targets a view, the first targets' views
// in set `outside[0]`, the next ones' in `outside[1]`. Its views are `views` views of `perView`
// targets in set `viewSet`.
struct ElElCSets {
    int outside[2];
    int perOutsideView;
    int viewSet;
    int perView;
    int views;
};

// The rows of the El_ElC fit at `model`: El_ElC's response to every outside reading through its
// mean, to the views' readings, and to the model.
std::optional<FitDerivatives> ElElCRows(const Snapshot& snapshot, const ElElCSets& where,
                                        const TMapper& model,
                                        const std::vector<double TMapper::*>& inputs);

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_BEL_GEOMETRY_H
