// The run report's working memory: blocks kept for the next report.
#include "report/scratch.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using compensation::detail::GiveScratch;
using compensation::detail::kScratchKeeps;
using compensation::detail::kScratchKeptBytes;
using compensation::detail::ScratchKeptBytes;
using compensation::detail::ScratchVector;
using compensation::detail::TakeScratch;

TEST(Scratch, KeepsFreedBlocksForTheNextArrayOfTheirSizeWithinItsBound) {
    if (!kScratchKeeps) {
        GTEST_SKIP() << "blocks pass through under AddressSanitizer";
    }
    const std::size_t before = ScratchKeptBytes();
    // An array of 100 000 doubles takes a block of 2^20 bytes; given back, the next array of
    // its class gets the same block, and nothing is kept meanwhile.
    const double* first = nullptr;
    {
        ScratchVector<double> array(100000, 1.0);
        first = array.data();
    }
    EXPECT_EQ(ScratchKeptBytes(), before + (std::size_t{1} << 20));
    {
        ScratchVector<double> array(70000, 0.0);
        EXPECT_EQ(array.data(), first);
        EXPECT_EQ(ScratchKeptBytes(), before);
        EXPECT_EQ(array[69999], 0.0);
    }
    // Small blocks pass through to the C library.
    { ScratchVector<double> small(100, 0.0); }
    EXPECT_EQ(ScratchKeptBytes(), before + (std::size_t{1} << 20));
    // Past the bound, blocks are freed at once: a thread never keeps more than it.
    std::vector<void*> blocks;
    const std::size_t block = std::size_t{8} << 20;
    for (std::size_t i = 0; i < kScratchKeptBytes / block + 2; ++i) {
        blocks.push_back(TakeScratch(block));
    }
    for (void* b : blocks) {
        GiveScratch(b, block);
    }
    EXPECT_LE(ScratchKeptBytes(), kScratchKeptBytes);
    EXPECT_GT(ScratchKeptBytes(), kScratchKeptBytes - block);
}

TEST(Scratch, ABlockFreedOnAReportsThreadServesTheNextArrayOnAnyOther) {
    if (!kScratchKeeps) {
        GTEST_SKIP() << "blocks pass through under AddressSanitizer";
    }
    const std::size_t before = ScratchKeptBytes();
    const double* there = nullptr;
    std::thread([&there] {
        ScratchVector<double> array(20000, 0.0);  // 2^18 bytes
        there = array.data();
    }).join();
    EXPECT_EQ(ScratchKeptBytes(), before + (std::size_t{1} << 18));
    ScratchVector<double> here(20000, 0.0);
    EXPECT_EQ(here.data(), there);
}

}  // namespace
