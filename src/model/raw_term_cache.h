// The raw terms of one procedure run's readings, kept for the length of the run.
//
// A procedure calls its fits dozens of times on the same readings, and every calibration would
// work out a reading's raw terms again (eight sine-cosine evaluations, about half the cost of
// a calibration). While a run's cache is active on the calling thread, every calibration takes
// the terms from it. The fits are reached through the legacy members, whose arguments cannot
// carry the cache, hence the thread's active cache rather than an argument.
//
// An entry is found by the bits of the raw azimuth and elevation it was computed from, the only
// inputs of the terms. So it serves the same reading wherever it sits (a re-classification
// moves the pairs, the interball fit reads the front sights, a rejection re-marks them), and a
// reading whose angles differ gets its own entry: no calibration can read stale terms, and the
// results are the bits that computing the terms on the spot gives.
#ifndef COMPENSATION_MODEL_RAW_TERM_CACHE_H
#define COMPENSATION_MODEL_RAW_TERM_CACHE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compensation/vector.h"
#include "model/raw_terms.h"

namespace compensation::detail {

class RawTermCache {
  public:
    // Active on this thread until destroyed. Sized once for `readings` distinct readings (the
    // run's host arrays); past that, further readings get their terms computed, not kept.
    explicit RawTermCache(std::size_t readings);
    ~RawTermCache();
    RawTermCache(const RawTermCache&) = delete;
    RawTermCache& operator=(const RawTermCache&) = delete;

    // The cache active on this thread, or nullptr outside a run.
    static RawTermCache* Active();

    RawTerms Of(const CVector& raw);

    struct Key {
        std::uint64_t azimuth;
        std::uint64_t elevation;
    };
    struct Entry {
        Key key;
        RawTerms terms;
    };

    // The terms kept so far, and keeping those of another run's readings (a report on a run
    // finds its readings' terms without working them out again).
    const std::vector<Entry>& Kept() const { return entries_; }
    void Keep(const std::vector<Entry>& entries);

  private:
    // Open addressing: slot values are entry positions + 1, 0 for an empty slot. At least twice
    // as many slots as entries, so a probe always ends at an empty slot.
    std::size_t capacity_;
    RawTermCache* previous_;
    std::vector<std::uint32_t> slots_;
    std::vector<Entry> entries_;
};

// A reading's raw terms: the active run's, else computed here.
inline RawTerms RawTermsFor(const CVector& raw) {
    RawTermCache* cache = RawTermCache::Active();
    return cache != nullptr ? cache->Of(raw) : RawTermsOf(raw);
}

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_RAW_TERM_CACHE_H
