#include "report/scratch.h"

#include <array>
#include <atomic>
#include <mutex>
#include <new>

namespace compensation::detail {

namespace {

// Blocks below this size pass through to the C library, which keeps them itself.
constexpr std::size_t kSmallestKeptClass = 12;  // 4 KiB
constexpr std::size_t kClasses = 48;

// The size class of a block: the least c with 2^c >= bytes.
std::size_t ClassOf(std::size_t bytes) {
    std::size_t c = 0;
    while ((std::size_t{1} << c) < bytes) {
        ++c;
    }
    return c;
}

// Set once the kept blocks are freed at the program's end: later blocks then pass through.
std::atomic<bool> keptGone{false};

struct Kept {
    std::mutex mutex;
    std::array<std::vector<void*>, kClasses> free;
    std::size_t bytes = 0;

    Kept() = default;
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() {
        const std::lock_guard<std::mutex> lock(mutex);
        keptGone = true;
        for (std::vector<void*>& blocks : free) {
            for (void* block : blocks) {
                ::operator delete(block);
            }
        }
    }
};

Kept& TheKept() {
    static Kept kept;
    return kept;
}

bool KeepsClass(std::size_t c) {
    return kScratchKeeps && c >= kSmallestKeptClass && c < kClasses && !keptGone;
}

}  // namespace

void* TakeScratch(std::size_t bytes) {
    const std::size_t c = ClassOf(bytes);
    if (!KeepsClass(c)) {
        return ::operator new(bytes);
    }
    Kept& kept = TheKept();
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (!keptGone && !kept.free[c].empty()) {
            void* block = kept.free[c].back();
            kept.free[c].pop_back();
            kept.bytes -= std::size_t{1} << c;
            return block;
        }
    }
    return ::operator new (std::size_t{1} << c);
}

void GiveScratch(void* block, std::size_t bytes) noexcept {
    const std::size_t c = ClassOf(bytes);
    if (!KeepsClass(c)) {
        ::operator delete(block);
        return;
    }
    Kept& kept = TheKept();
    const std::size_t size = std::size_t{1} << c;
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (!keptGone && kept.bytes + size <= kScratchKeptBytes) {
            try {
                kept.free[c].push_back(block);
                kept.bytes += size;
                return;
            } catch (const std::bad_alloc&) {
                // Freed below.
            }
        }
    }
    ::operator delete(block);
}

std::size_t ScratchKeptBytes() {
    Kept& kept = TheKept();
    const std::lock_guard<std::mutex> lock(kept.mutex);
    return kept.bytes;
}

}  // namespace compensation::detail
