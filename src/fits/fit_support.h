// Small pieces every single-term fit uses: their limits and factors (their codes are in
// engine/result_codes.h), the live test, calibrated copies, and the elements a fit re-estimates
// (remembered, set to 0, put back when the solution is not finite).
#ifndef COMPENSATION_FITS_FIT_SUPPORT_H
#define COMPENSATION_FITS_FIT_SUPPORT_H

#include <algorithm>
#include <cassert>
#include <cmath>
#include <new>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "fits/table.h"
#include "model/live.h"

namespace compensation {

// --- X0 and Y0 fit ---------------------------------------------------------------------------
// It needs two pairs more than m_nMinCount: two elements and the free separation.
inline constexpr int kX0Y0ExtraPairs = 2;
// m_dDx0y0: a quarter of the residual spread per unit of slope.
inline constexpr double kX0Y0PrecisionFactor = 0.25;

// --- Ax and Ay fit ---------------------------------------------------------------------------
// m_dDaxay: one quarter of the radians-to-degrees factor.
inline constexpr double kAxAyPrecisionFactor = kQuarterRadToDeg;

// --- El_ElC fit ------------------------------------------------------------------------------
// A target pair carries El_ElC only when its reference ranges differ by more than this (m)...
inline constexpr double kElElCRangeSpan = 3.0;
// ...and its view-0 elevations by more than this (rad, 22.5 degrees).
inline constexpr double kElElCElevationSpan = 0.392699081698725;

// --- FBB and check interball fits (elevation polynomial) ----------------------------------------
// Without a reference distance a target pair needs more than this many views.
inline constexpr int kFbbLeastViewsExclusive = 3;

namespace detail {

// Pair k of an array of consecutive pairs is live while both its measurements are.
inline bool IsLivePair(const CVector* pairs, int k) {
    return IsLive(pairs[2 * k]) && IsLive(pairs[2 * k + 1]);
}

// The fits never calibrate the host's measurements, only copies.
inline CVector CalibratedCopy(const CVector& raw, TMapper* map) {
    CVector copy = raw;
    copy.Calibrate(map);
    return copy;
}

// The model elements a fit estimates. On construction their entry values are remembered and
// they are set to 0, so that the fit sees the data without them and writes absolute values.
class EstimatedElements {
  public:
    static constexpr int kMaxElements = 3;

    EstimatedElements(TMapper* map, double TMapper::*const* elements, int count)
        : map_(map), count_(std::min(count, kMaxElements)) {
        assert(count >= 0 && count <= kMaxElements && "a fit estimates at most three elements");
        for (int i = 0; i < count_; ++i) {
            Take(i, elements[i]);
        }
    }

    // The elements of a table of rows, `rows[i].*element`.
    template <typename Row>
    EstimatedElements(TMapper* map, Table<Row> rows, double TMapper::*Row::*element)
        : map_(map), count_(std::min(static_cast<int>(rows.size()), kMaxElements)) {
        assert(rows.size() <= kMaxElements && "a fit estimates at most three elements");
        for (int i = 0; i < count_; ++i) {
            Take(i, rows[i].*element);
        }
    }

    double Entry(int i) const { return entry_[i]; }

    // Largest |new - entry| over the elements, as they now stand in the model.
    double LargestChange() const {
        double largest = 0.0;
        for (int i = 0; i < count_; ++i) {
            largest = std::max(largest, std::fabs(map_->*elements_[i] - entry_[i]));
        }
        return largest;
    }

    // A solution that is not finite never reaches the host's model.
    void Restore() const {
        for (int i = 0; i < count_; ++i) {
            map_->*elements_[i] = entry_[i];
        }
    }

  private:
    void Take(int i, double TMapper::*element) {
        elements_[i] = element;
        entry_[i] = map_->*element;
        map_->*element = 0.0;
    }

    TMapper* map_;
    int count_;
    double TMapper::*elements_[kMaxElements] = {};
    double entry_[kMaxElements] = {};
};

// Runs a fit whose working arrays grow with the host's counts. When they cannot be allocated
// the model is put back as it was and the fit reports itself unsettled: nothing is thrown into
// the host.
template <typename Fit>
int KeepModelWhenOutOfMemory(TMapper* map, int unsettledCode, Fit&& fit) {
    const TMapper entry = *map;
    try {
        return fit();
    } catch (const std::bad_alloc&) {
        *map = entry;
        return unsettledCode;
    }
}

// An array of `count` measurements that the host hands in: a count that is not negative, and
// storage behind it when it is not empty.
inline bool ArrayFits(const CVector* vectors, int count) {
    return count >= 0 && (count == 0 || vectors != nullptr);
}

// Outside measurements come in consecutive pairs: their count must be even.
inline bool OutsidePairsFit(const CVector* vectors, int count) {
    return ArrayFits(vectors, count) && count % 2 == 0;
}

// The first measurement of an array for the trace, or nothing when the array is empty.
inline CVector* FirstOrNull(CVector* vectors, int count) {
    return count > 0 ? vectors : nullptr;
}

inline bool AllFinite(const double* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace detail
}  // namespace compensation

#endif  // COMPENSATION_FITS_FIT_SUPPORT_H
