// Result codes: each code traced back to the stage and the fits that produce it.
#include "result_codes.h"

#include <gtest/gtest.h>

namespace compensation::cli {
namespace {

std::vector<std::string> Stages(const std::vector<Explanation>& all) {
    std::vector<std::string> names;
    for (const Explanation& e : all) {
        names.push_back(e.stage);
    }
    return names;
}

TEST(ResultCodes, QuickCoverageAndJointLoopSums) {
    // Eight views: sector 3 spans -45 to 0 degrees and its code is 7 + 3.
    const std::vector<Explanation> gap = ExplainResult(10, Procedure::kQuick, 0, 8);
    ASSERT_EQ(gap.size(), 1u);
    EXPECT_EQ(gap[0].stage, "coverage check");
    EXPECT_NE(gap[0].parts[0].find("sector 3 of 8 (-45 to 0 degrees"), std::string::npos)
        << gap[0].parts[0];

    // 28 = 2 (two-face fit not converged) + 26 (interball fit not converged), and nothing else.
    const std::vector<Explanation> sum = ExplainResult(28, Procedure::kQuick, 0, 8);
    ASSERT_EQ(sum.size(), 1u);
    ASSERT_EQ(sum[0].parts.size(), 2u);
    EXPECT_NE(sum[0].parts[0].find("quick two-face fit: has not converged (2)"), std::string::npos);
    EXPECT_NE(sum[0].parts[1].find("quick interball fit"), std::string::npos);

    EXPECT_EQ(DescribeResult(0, Procedure::kQuick, 0, 8), "settled");
    EXPECT_TRUE(ExplainResult(4, Procedure::kQuick, 0, 8).empty());
}

TEST(ResultCodes, FullCodesListEveryStageThatGivesThem) {
    // The eight fixed sectors start at code 9; a set without its -22.5 degree view gives 12.
    EXPECT_NE(DescribeResult(12, Procedure::kFull, 0, 0).find("sector 3 of 8"), std::string::npos);
    // 21: too few interball pairs, too few d2 pairs in the classification, or the D2 fit
    // short of pairs in the first joint loop (and again in the final loop).
    const std::vector<Explanation> all = ExplainResult(21, Procedure::kFull, 0, 0);
    EXPECT_EQ(Stages(all), (std::vector<std::string>{
                               "pair classification", "pair classification",
                               "first joint loop of the X0/Y0, interball and D2 fits",
                               "final joint loop of all fits (budget used up; nothing written "
                               "back)",
                               "final joint loop of all fits (budget used up; nothing written "
                               "back)"}));
    // The final loop's second way to 21: the two-face fit not converged (2) plus X0/Y0 short
    // of pairs (19).
    EXPECT_EQ(all[4].parts.size(), 2u);
}

TEST(ResultCodes, FullFullCoverageCodesAdd) {
    // Flying status 2 plus sector 0 (9), or flying views accepted and sector 2 (11).
    const std::vector<Explanation> both = ExplainResult(11, Procedure::kFullFull, 0, 0);
    ASSERT_GE(both.size(), 2u);
    EXPECT_EQ(both[0].stage, "coverage checks");
    EXPECT_EQ(both[1].stage, "coverage checks");
    // Mode 2 has no flying views, so 11 can only be sector 2.
    const std::vector<Explanation> noFlying = ExplainResult(11, Procedure::kFullFull, 2, 0);
    ASSERT_EQ(noFlying.size(), 1u);
    EXPECT_NE(noFlying[0].parts[0].find("sector 2 of 8"), std::string::npos);
    EXPECT_EQ(ExplainResult(22, Procedure::kFullFull, 2, 0)[0].stage, "pair classification");
    EXPECT_EQ(ExplainResult(-1, Procedure::kFullFull, 1, 0)[0].stage, "input check");
}

}  // namespace
}  // namespace compensation::cli
