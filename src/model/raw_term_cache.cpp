#include "model/raw_term_cache.h"

#include <algorithm>
#include <cstring>

namespace compensation::detail {
namespace {

thread_local RawTermCache* activeCache = nullptr;

// Far above the readings of any real run (a few thousand); a larger host array keeps the terms
// of its first readings only, rather than asking for memory in proportion to its size.
constexpr std::size_t kMostEntries = std::size_t{1} << 17;

std::uint64_t BitsOf(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Mixes both angles' bits, so that readings whose angles differ in the last bits spread over
// the table.
std::size_t HashOf(std::uint64_t azimuth, std::uint64_t elevation) {
    std::uint64_t h = azimuth * 0x9E3779B97F4A7C15ULL;
    h ^= (elevation + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

std::size_t SlotCountFor(std::size_t entries) {
    std::size_t slots = 16;
    while (slots < 2 * entries) {
        slots *= 2;
    }
    return slots;
}

}  // namespace

RawTermCache::RawTermCache(std::size_t readings)
    : capacity_(std::min(readings, kMostEntries)), previous_(activeCache) {
    slots_.resize(SlotCountFor(capacity_));
    entries_.reserve(capacity_);
    activeCache = this;
}

RawTermCache::~RawTermCache() {
    activeCache = previous_;
}

RawTermCache* RawTermCache::Active() {
    return activeCache;
}

void RawTermCache::Keep(const std::vector<Entry>& entries) {
    const std::size_t mask = slots_.size() - 1;
    for (const Entry& entry : entries) {
        if (entries_.size() == capacity_) {
            return;
        }
        for (std::size_t slot = HashOf(entry.key.azimuth, entry.key.elevation) & mask;;
             slot = (slot + 1) & mask) {
            const std::uint32_t position = slots_[slot];
            if (position == 0) {
                entries_.push_back(entry);
                slots_[slot] = static_cast<std::uint32_t>(entries_.size());
                break;
            }
            const Entry& kept = entries_[position - 1];
            if (kept.key.azimuth == entry.key.azimuth &&
                kept.key.elevation == entry.key.elevation) {
                break;
            }
        }
    }
}

RawTerms RawTermCache::Of(const CVector& raw) {
    const Key key{BitsOf(raw.Azimuth), BitsOf(raw.Elevation)};
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = HashOf(key.azimuth, key.elevation) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t position = slots_[slot];
        if (position == 0) {
            const RawTerms terms = RawTermsOf(raw);
            if (entries_.size() < capacity_) {
                entries_.push_back({key, terms});
                slots_[slot] = static_cast<std::uint32_t>(entries_.size());
            }
            return terms;
        }
        const Entry& entry = entries_[position - 1];
        if (entry.key.azimuth == key.azimuth && entry.key.elevation == key.elevation) {
            return entry.terms;
        }
    }
}

}  // namespace compensation::detail
