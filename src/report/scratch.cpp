#include "report/scratch.h"

#include <array>
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

// Set once the thread's blocks are freed at its exit: later blocks then pass through.
thread_local bool keptGone = false;

struct Kept {
    std::array<std::vector<void*>, kClasses> free;
    std::size_t bytes = 0;

    Kept() = default;
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() {
        keptGone = true;
        for (std::vector<void*>& blocks : free) {
            for (void* block : blocks) {
                ::operator delete(block);
            }
        }
    }
};

// Whether blocks of class c are kept on this thread (not once its blocks are freed).
bool Keeps(std::size_t c) {
    return kScratchKeeps && c >= kSmallestKeptClass && c < kClasses && !keptGone;
}

Kept& ThisThread() {
    thread_local Kept kept;
    return kept;
}

}  // namespace

void* TakeScratch(std::size_t bytes) {
    const std::size_t c = ClassOf(bytes);
    if (!Keeps(c)) {
        return ::operator new(bytes);
    }
    Kept& kept = ThisThread();
    if (!kept.free[c].empty()) {
        void* block = kept.free[c].back();
        kept.free[c].pop_back();
        kept.bytes -= std::size_t{1} << c;
        return block;
    }
    return ::operator new (std::size_t{1} << c);
}

void GiveScratch(void* block, std::size_t bytes) noexcept {
    const std::size_t c = ClassOf(bytes);
    if (!Keeps(c)) {
        ::operator delete(block);
        return;
    }
    Kept& kept = ThisThread();
    const std::size_t size = std::size_t{1} << c;
    if (kept.bytes + size > kScratchKeptBytes) {
        ::operator delete(block);
        return;
    }
    try {
        kept.free[c].push_back(block);
    } catch (const std::bad_alloc&) {
        ::operator delete(block);
        return;
    }
    kept.bytes += size;
}

std::size_t ScratchKeptBytes() {
    return keptGone ? 0 : ThisThread().bytes;
}

}  // namespace compensation::detail
