// What the fits' rows for the run report share: the readings calibrated once each, and the
// response of a squared target separation to its readings.
#ifndef COMPENSATION_FITS_FIT_ROWS_H
#define COMPENSATION_FITS_FIT_ROWS_H

#include <array>
#include <cstddef>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "fits/fit_support.h"
#include "fits/point_gradients.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

// Each reading of a set calibrated with one model, once, when first asked for: a fit calibrates
// a reading again for every pair it takes part in, its rows need it once.
class CalibratedReadings {
  public:
    CalibratedReadings(const std::vector<CVector>& raw, const TMapper& map)
        : raw_(raw), map_(map), calibrated_(raw.size()), done_(raw.size(), false) {}

    const CVector& operator[](int index) {
        const auto k = static_cast<std::size_t>(index);
        if (!done_[k]) {
            calibrated_[k] = CalibratedCopy(raw_[k], &map_);
            done_[k] = true;
        }
        return calibrated_[k];
    }

  private:
    const std::vector<CVector>& raw_;
    TMapper map_;
    std::vector<CVector> calibrated_;
    std::vector<bool> done_;
};

// Adds gain[o] d|P_a - P_b|^2 / d(a's range, azimuth, elevation) to a's response block
// (kComponents x outputs).
inline void AddSeparationResponse(double* block, const double* gain, std::size_t outputs,
                                  const CVector& a, const CVector& b) {
    const std::array<double, 3> change = SeparationByReading(a, b);
    for (std::size_t k = 0; k < kComponents; ++k) {
        for (std::size_t o = 0; o < outputs; ++o) {
            block[k * outputs + o] += gain[o] * change[k];
        }
    }
}

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_FIT_ROWS_H
