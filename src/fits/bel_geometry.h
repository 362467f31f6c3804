// Which of the El_ElC fit's target pairs can show El_ElC at all.
#ifndef COMPENSATION_FITS_BEL_GEOMETRY_H
#define COMPENSATION_FITS_BEL_GEOMETRY_H

#include "compensation/records.h"
#include "compensation/vector.h"

namespace compensation::detail {

// How many of the six pairs of the four El_ElC targets (the d2 and extra positions of `out`)
// lie far enough apart in reference range and view-0 elevation; 0 also when a position lies
// outside a view of perView targets. With none the fit cannot estimate El_ElC.
int QualifyingElElCPairs(const CVector* reference, const CVector* views, int perView,
                         const TCompOut& out);

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_BEL_GEOMETRY_H
