// What the fits' rows for the run report share: the readings calibrated once each, with how
// their points move with their own range and angles, and the response of a squared target
// separation to its readings.
#ifndef COMPENSATION_FITS_FIT_ROWS_H
#define COMPENSATION_FITS_FIT_ROWS_H

#include <array>
#include <cstddef>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "fits/fit_support.h"
#include "fits/point_gradients.h"
#include "model/vec3.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

// A calibrated reading and the change of its point per unit of its range (m), azimuth and
// elevation (rad).
struct CalibratedSight {
    CVector reading;
    Vec3 per[kComponents];
};

inline CalibratedSight SightOf(const CVector& raw, TMapper* map) {
    CalibratedSight sight{CalibratedCopy(raw, map), {}};
    const std::array<Vec3, 3> motion = PointMotion(sight.reading);
    for (int k = 0; k < kComponents; ++k) {
        sight.per[k] = motion[static_cast<std::size_t>(k)];
    }
    return sight;
}

// Each reading of a set calibrated with one model, once, when first asked for: a fit calibrates
// a reading again for every pair it takes part in, its rows need it once.
class CalibratedReadings {
  public:
    CalibratedReadings(const std::vector<CVector>& raw, const TMapper& map)
        : raw_(raw), map_(map), sights_(raw.size()), done_(raw.size(), false) {}

    const CalibratedSight& operator[](int index) {
        const auto k = static_cast<std::size_t>(index);
        if (!done_[k]) {
            sights_[k] = SightOf(raw_[k], &map_);
            done_[k] = true;
        }
        return sights_[k];
    }

  private:
    const std::vector<CVector>& raw_;
    TMapper map_;
    std::vector<CalibratedSight> sights_;
    std::vector<bool> done_;
};

// Adds gain[o] d|P_a - P_b|^2 / d(a's range, azimuth, elevation) = gain[o] 2 (P_a - P_b) . dP_a
// to a's response block (kComponents x outputs).
inline void AddSeparationResponse(double* block, const double* gain, std::size_t outputs,
                                  const CalibratedSight& a, const CalibratedSight& b) {
    const Vec3 separation = Minus(PositionOf(a.reading), PositionOf(b.reading));
    for (std::size_t k = 0; k < kComponents; ++k) {
        const double change = 2.0 * Dot(separation, a.per[k]);
        for (std::size_t o = 0; o < outputs; ++o) {
            block[k * outputs + o] += gain[o] * change;
        }
    }
}

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_FIT_ROWS_H
