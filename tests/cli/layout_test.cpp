// The layout checks: the arrays the procedures can read, and the line that breaks the rest.
#include "layout.h"

#include <gtest/gtest.h>

#include <functional>

#include "input_error.h"

namespace compensation::cli {
namespace {

// A set built from type codes alone; line i + 2 holds row i, as below a header.
MeasurementSet SetOf(const std::vector<int>& types) {
    MeasurementSet set;
    set.path = "set.csv";
    for (std::size_t i = 0; i < types.size(); ++i) {
        CVector v;
        v.Type = types[i];
        set.vectors.push_back(v);
        set.lines.push_back(static_cast<int>(i) + 2);
    }
    return set;
}

int FaultLine(const std::function<void()>& call) {
    try {
        call();
    } catch (const InputError& e) {
        return e.line();
    }
    return -1;
}

TEST(Layout, ViewsOfReferenceFrontAndBackSights) {
    const ViewLayout layout = CheckMainLayout(
        SetOf({14, 100, 100, 100, 200, 200, 200, 14, 100, 100, 100, 200, 200, 200}));
    EXPECT_EQ(layout.nViews, 2);
    EXPECT_EQ(layout.nTargets, 3);

    // No reference view first.
    EXPECT_EQ(FaultLine([] { CheckMainLayout(SetOf({100, 200})); }), 2);
    // The second view lacks a front sight: row 10 (line 12) is a back sight where the third
    // front sight belongs.
    EXPECT_EQ(
        FaultLine([] {
            CheckMainLayout(SetOf({14, 100, 100, 100, 200, 200, 200, 14, 100, 100, 200, 200, 200}));
        }),
        12);
    // The file ends inside a view: reported at its last line.
    EXPECT_EQ(FaultLine([] { CheckMainLayout(SetOf({14, 100, 100, 200})); }), 5);
    // A view without targets.
    EXPECT_EQ(FaultLine([] { CheckMainLayout(SetOf({14, 14})); }), 3);
}

TEST(Layout, OutsideAndFlyingSets) {
    EXPECT_NO_THROW(CheckOutsideSet(SetOf({100, 100, 100, 100})));
    EXPECT_EQ(FaultLine([] { CheckOutsideSet(SetOf({100, 100, 100})); }), 4);
    EXPECT_EQ(FaultLine([] { CheckOutsideSet(SetOf({100, 14})); }), 3);

    EXPECT_EQ(CheckFlyingSet(SetOf({100, 100, 200, 200, 100, 100, 200, 200}), 2), 2);
    EXPECT_EQ(FaultLine([] { CheckFlyingSet(SetOf({100, 100, 200, 200, 100, 100}), 2); }), 7);
    EXPECT_EQ(FaultLine([] { CheckFlyingSet(SetOf({100, 200, 100, 200}), 2); }), 3);
    EXPECT_THROW(CheckFlyingSet(SetOf({100, 200}), 0), UsageError);
}

TEST(Layout, PairPositionsLieWithinAViewAndDiffer) {
    const ViewLayout layout{8, 6};
    EXPECT_NO_THROW(CheckPairPositions("d2", {1, 6, "--d2"}, layout, "m.csv"));
    for (const PairPositions& bad :
         {PairPositions{0, 3, "--d2"}, PairPositions{2, 7, "--d2"}, PairPositions{4, 4, "--d2"}}) {
        try {
            CheckPairPositions("d2", bad, layout, "m.csv");
            FAIL() << bad.n1 << "," << bad.n2;
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("--d2: ", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace compensation::cli
