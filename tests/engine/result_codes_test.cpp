// The one table of result codes, and the tool's texts built from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/result_codes.h"
#include "result_codes.h"

namespace {

using compensation::kResultCodes;

TEST(ResultCodeTable, EveryCodeHasANameAndAMeaning) {
    for (const compensation::ResultCode& row : kResultCodes) {
        EXPECT_NE(std::string(row.name), "") << row.code;
        EXPECT_NE(std::string(row.meaning), "") << row.name;
        // One row per code of a source, so that a lookup cannot pick the wrong meaning.
        EXPECT_EQ(compensation::FindResultCode(row.source, row.code), &row) << row.name;
    }
}

// The texts as the tool printed them when it still wrote them out by hand: the limits cited
// from the constants must print the same digits.
TEST(ResultCodeTable, CitedLimitsPrintAsTheToolAlwaysPrintedThem) {
    using namespace compensation::cli;
    std::vector<std::string> texts;
    for (const Stage& stage : StagesOf(Procedure::kFullFull, 0, 12)) {
        for (const CodeSource& source : stage.sources) {
            for (const CodeReason& reason : source.codes) {
                texts.push_back(std::to_string(reason.code) + " " + reason.reason);
            }
        }
    }
    for (const char* expected : {
             "1 too few flying views (3 when a view holds 3 or more targets, else 7)",
             "2 no flying view reaches an elevation of -40 degrees (-0.6982 rad) or below",
             "3 the highest flying elevation band ends below +40 degrees (0.6982 rad)",
             "4 a gap of more than 10 degrees (0.17455 rad) between flying elevations",
             "5 no flying view sees its two farthest targets within 10 degrees (no in-line view)",
             "21 fewer than 25 usable interball pairs in the first view",
             "3 fewer than 10 live flying front/back-sight pairs",
             "18 20 or fewer live front/back-sight pairs",
         }) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
    }
}

}  // namespace
