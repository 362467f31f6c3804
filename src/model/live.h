// Whether a measurement still takes part.
#ifndef COMPENSATION_MODEL_LIVE_H
#define COMPENSATION_MODEL_LIVE_H

#include "compensation/vector.h"
#include "engine/constants.h"

namespace compensation {

// A measurement takes part while its quality is strictly above the live mark; every rejection
// lowers it to the mark or below.
inline bool IsLive(const CVector& v) {
    return v.Quality > kLiveQuality;
}

}  // namespace compensation

#endif  // COMPENSATION_MODEL_LIVE_H
