// The exception offered to hosts: a bounded message buffer.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "compensation/exception.h"

namespace {

TEST(QuorException, KeepsTheFirst255Characters) {
    std::string message;
    for (int i = 0; i < 300; ++i) {
        message.push_back(static_cast<char>('a' + i % 26));
    }
    const CQuorException e(message);
    EXPECT_EQ(std::strlen(e.ErrorString()), 255u);
    EXPECT_EQ(std::string(e.ErrorString()), message.substr(0, 255));

    const std::string exact(255, 'x');
    EXPECT_EQ(std::string(CQuorException(exact).ErrorString()), exact);
    EXPECT_STREQ(CQuorException(std::string("Views missing")).ErrorString(), "Views missing");
    EXPECT_STREQ(CQuorException(std::string()).ErrorString(), "");
}

TEST(QuorException, ResourceTextsAndCopies) {
    EXPECT_STREQ(CQuorException(0u).ErrorString(), "");
    EXPECT_STREQ(CQuorException(123456u).ErrorString(), "");
    const CQuorException known(1u);
    EXPECT_GT(std::strlen(known.ErrorString()), 0u);

    const CQuorException original(std::string("Compensation stopped"));
    CQuorException copy(original);
    EXPECT_STREQ(copy.ErrorString(), "Compensation stopped");
    CQuorException assigned(std::string("other"));
    assigned = original;
    EXPECT_STREQ(assigned.ErrorString(), "Compensation stopped");
    EXPECT_NE(assigned.ErrorString(), original.ErrorString()) << "each keeps its own buffer";
}

}  // namespace
