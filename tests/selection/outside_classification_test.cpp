#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kInvalidInput;
using compensation::kRejectSpread;
using compensation::testing::Measurement;

// An outside set of two targets over three views, both along the zero direction so that
// distances are differences of ranges. Target 0 sits still at 7 m. Target 1 reads -x, +x and
// a far outlier: refining drops the outlier and leaves -x and +x around a mean of exactly 0,
// so the spread is exactly x (sqrt((x^2 + x^2) / 2) = |x| in binary arithmetic).
std::vector<CVector> OutsideSet(double x) {
    return {Measurement(100, 7.0, 0.0, 0.0), Measurement(100, -x, 0.0, 0.0),
            Measurement(100, 7.0, 0.0, 0.0), Measurement(100, x, 0.0, 0.0),
            Measurement(100, 7.0, 0.0, 0.0), Measurement(100, 1e-3, 0.0, 0.0)};
}

struct Outcome {
    int result;
    std::vector<CVector> averages;
    std::vector<CVector> first;
    std::vector<CVector> second;
};

Outcome Classify(std::vector<CVector> first, std::vector<CVector> second) {
    CCompensation engine;
    Outcome o{0, std::vector<CVector>(4), std::move(first), std::move(second)};
    o.result =
        engine.ClassifyOutside(o.first.data(), static_cast<int>(o.first.size()), o.second.data(),
                               static_cast<int>(o.second.size()), o.averages.data());
    return o;
}

TEST(ClassifyOutside, SecondSetSpreadDecidesTheResult) {
    // Exactly the limit is within.
    Outcome o = Classify(OutsideSet(2e-05), OutsideSet(kRejectSpread));
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.averages[3].Range, 0.0);
    EXPECT_EQ(o.averages[2].Range, 7.0);
    // The first set's spread does not count, but its averages are written too.
    EXPECT_EQ(o.averages[0].Range, 7.0);
    EXPECT_EQ(o.averages[1].Range, 0.0);

    EXPECT_EQ(Classify(OutsideSet(0.0), OutsideSet(2e-05)).result, 11);

    // Both targets of the second set scattered.
    std::vector<CVector> both = OutsideSet(2e-05);
    both[0].Range = -2e-05 + 3.0;
    both[2].Range = 2e-05 + 3.0;
    both[4].Range = 1e-3 + 3.0;
    EXPECT_EQ(Classify(OutsideSet(0.0), both).result, 22);
}

TEST(ClassifyOutside, RejectionsStayUsableAsSixty) {
    std::vector<CVector> second = OutsideSet(2e-05);
    second[0].Quality = 50.0;  // a host rejection is released as well
    Outcome o = Classify(OutsideSet(2e-05), second);
    EXPECT_EQ(o.first[5].Quality, 60.0);   // the outlier of the first set
    EXPECT_EQ(o.second[5].Quality, 60.0);  // and of the second
    EXPECT_EQ(o.second[0].Quality, 60.0);
    for (const std::vector<CVector>* set : {&o.first, &o.second}) {
        for (const CVector& v : *set) {
            EXPECT_NE(v.Quality, 50.0);
        }
    }
}

TEST(ClassifyOutside, SetsThatCannotBeAveraged) {
    // A target of the second set without a live view: the averaging's count, no refining and
    // no spread test (its outlier keeps its quality).
    std::vector<CVector> second = OutsideSet(2e-05);
    second[0].Quality = second[2].Quality = second[4].Quality = 20.0;
    Outcome o = Classify(OutsideSet(0.0), second);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.second[5].Quality, 99.0);
    EXPECT_EQ(o.averages[2].Quality, 1.0);

    // A first set with a dead target still yields the averages it could make; the result is
    // the second set's.
    std::vector<CVector> first = OutsideSet(0.0);
    first[1].Quality = first[3].Quality = first[5].Quality = 0.0;
    o = Classify(first, OutsideSet(0.0));
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.averages[0].Quality, 99.0);
    EXPECT_EQ(o.averages[1].Quality, 1.0);

    // A first set too short for one view is not read: its averages carry the mark of a target
    // without a live view.
    o = Classify({Measurement(100, 7.0, 0.0, 0.0)}, OutsideSet(0.0));
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.averages[0].Quality, 1.0);
    EXPECT_EQ(o.averages[1].Quality, 1.0);

    // A second set that short is refused before anything is written.
    first = OutsideSet(2e-05);
    first[0].Quality = 50.0;
    o = Classify(first, {Measurement(100, 7.0, 0.0, 0.0, 50.0)});
    EXPECT_EQ(o.result, kInvalidInput);
    EXPECT_EQ(o.first[0].Quality, 50.0);
    EXPECT_EQ(o.first[5].Quality, 99.0);
    EXPECT_EQ(o.second[0].Quality, 50.0);
    for (const CVector& avg : o.averages) {
        EXPECT_EQ(avg.Quality, 0.0);
    }
}

}  // namespace
