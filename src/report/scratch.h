// Working memory of the run report, kept from one report to the next.
//
// A report works through a few megabytes of short-lived arrays (the fits' responses and
// columns, the derivatives by reading). The C library hands freed blocks of that size back to
// the system, and the next report then touches fresh pages again: a page fault every 4 KiB,
// about a third of a report's time. Blocks of 4 KiB and more are therefore kept when freed, by
// size class, up to kScratchKeptBytes in all, and handed to the next array of their class on
// any thread (a report's threads live only as long as it does); smaller ones, which the C
// library keeps itself, pass through.
#ifndef COMPENSATION_REPORT_SCRATCH_H
#define COMPENSATION_REPORT_SCRATCH_H

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace compensation::detail {

inline constexpr std::size_t kScratchKeptBytes = std::size_t{64} << 20;

// Under AddressSanitizer every block passes through, so that it still sees each array's end.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kScratchKeeps = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kScratchKeeps = false;
#else
inline constexpr bool kScratchKeeps = true;
#endif
#else
inline constexpr bool kScratchKeeps = true;
#endif

// A block of at least `bytes`, aligned for any type.
void* TakeScratch(std::size_t bytes);
// Gives back a block TakeScratch returned for `bytes`, on any thread.
void GiveScratch(void* block, std::size_t bytes) noexcept;
// The bytes kept for the next blocks.
std::size_t ScratchKeptBytes();

// An array sized without a value leaves its values unset, as new T[n] does (most are
// written whole before they are read): size it with a value where it must start at one.
template <typename T>
struct ScratchAllocator {
    using value_type = T;
    ScratchAllocator() = default;
    template <typename U>
    ScratchAllocator(const ScratchAllocator<U>& /*other*/) {}  // NOLINT: rebinding converts
    T* allocate(std::size_t n) { return static_cast<T*>(TakeScratch(n * sizeof(T))); }
    void deallocate(T* block, std::size_t n) noexcept { GiveScratch(block, n * sizeof(T)); }
    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(ScratchAllocator /*a*/, ScratchAllocator /*b*/) { return true; }
    friend bool operator!=(ScratchAllocator /*a*/, ScratchAllocator /*b*/) { return false; }
};

template <typename T>
using ScratchVector = std::vector<T, ScratchAllocator<T>>;

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_SCRATCH_H
