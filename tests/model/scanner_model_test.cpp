// Import of the host's stored scanner model into the error model.
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "compensation/engine.h"

namespace {

// Where each element of the host's record belongs; 29, 30, 51 and 52 belong nowhere.
struct Destination {
    int index;
    double TMapper::*element;
};
const Destination kDestinations[] = {
    {0, &TMapper::A1},          {1, &TMapper::A2},          {2, &TMapper::A3},
    {3, &TMapper::Ax},          {4, &TMapper::Ay},          {5, &TMapper::A1_dT},
    {6, &TMapper::A2_dT},       {7, &TMapper::A3_dT},       {8, &TMapper::Ax_dT},
    {9, &TMapper::Ay_dT},       {10, &TMapper::D1},         {11, &TMapper::D2},
    {12, &TMapper::D2_dT},      {13, &TMapper::X0},         {14, &TMapper::Y0},
    {15, &TMapper::A1_AzS},     {16, &TMapper::A1_AzC},     {17, &TMapper::A1_2AzS},
    {18, &TMapper::A1_2AzC},    {19, &TMapper::A1_2AzS_dT}, {20, &TMapper::A1_2AzC_dT},
    {21, &TMapper::A1_3AzS},    {22, &TMapper::A1_3AzC},    {23, &TMapper::A1_4AzS},
    {24, &TMapper::A1_4AzC},    {25, &TMapper::A1_5AzS},    {26, &TMapper::A1_5AzC},
    {27, &TMapper::A1_6AzS},    {28, &TMapper::A1_6AzC},    {31, &TMapper::A2_3AzS},
    {32, &TMapper::A2_3AzC},    {33, &TMapper::A2_5AzS},    {34, &TMapper::A2_5AzC},
    {35, &TMapper::A3_AzS},     {36, &TMapper::A3_AzC},     {37, &TMapper::A3_2AzS},
    {38, &TMapper::A3_2AzC},    {39, &TMapper::A3_2AzS_dT}, {40, &TMapper::A3_2AzC_dT},
    {41, &TMapper::A3_3AzS},    {42, &TMapper::A3_3AzC},    {43, &TMapper::A3_4AzS},
    {44, &TMapper::A3_4AzC},    {45, &TMapper::A3_5AzS},    {46, &TMapper::A3_5AzC},
    {47, &TMapper::A3_6AzS},    {48, &TMapper::A3_6AzC},    {49, &TMapper::D2_AzS},
    {50, &TMapper::D2_AzC},     {53, &TMapper::Az_AzC},     {54, &TMapper::Az_AzS},
    {55, &TMapper::Az_AzC_dT},  {56, &TMapper::Az_AzS_dT},  {57, &TMapper::Az_2AzC},
    {58, &TMapper::Az_2AzS},    {59, &TMapper::Az_3AzS},    {60, &TMapper::Az_3AzC},
    {61, &TMapper::Az_4AzS},    {62, &TMapper::Az_4AzC},    {63, &TMapper::Az_5AzS},
    {64, &TMapper::Az_5AzC},    {65, &TMapper::Az_6AzS},    {66, &TMapper::Az_6AzC},
    {67, &TMapper::El_2AzC},    {68, &TMapper::El_2AzS},    {69, &TMapper::El_2AzC_dT},
    {70, &TMapper::El_2AzS_dT}, {71, &TMapper::El_4AzC},    {72, &TMapper::El_4AzS},
    {73, &TMapper::El_6AzC},    {74, &TMapper::El_6AzS},    {75, &TMapper::El_ElS},
    {76, &TMapper::El_ElC},     {77, &TMapper::El_ElS_dT},  {78, &TMapper::El_ElC_dT},
    {79, &TMapper::A_plus},     {80, &TMapper::B_plus},     {81, &TMapper::C_plus},
    {82, &TMapper::A_minus},    {83, &TMapper::B_minus},    {84, &TMapper::K_minus},
    {85, &TMapper::C_minus},    {86, &TMapper::T_ref},
};
constexpr int kUnread[] = {29, 30, 51, 52};

ScannerModel DistinctModel() {
    ScannerModel model{};
    for (int i = 0; i < 87; ++i) {
        model.Value[i] = 1000.0 + i + 0.125;
    }
    return model;
}

TMapper Imported(ScannerModel model) {
    TMapper map;
    // Any element the import forgot would stay NaN.
    double* slots = reinterpret_cast<double*>(&map);
    for (int i = 0; i < 83; ++i) {
        slots[i] = std::numeric_limits<double>::quiet_NaN();
    }
    CCompensation engine;
    engine.CopyCompStructures(&map, &model);
    return map;
}

TEST(ScannerModelImport, EveryMappedElementLandsInItsPlace) {
    // The table names 83 distinct elements, so each element of the model is written once.
    std::set<const double*> written;
    TMapper probe{};
    for (const Destination& d : kDestinations) {
        written.insert(&(probe.*d.element));
    }
    ASSERT_EQ(written.size(), 83u);

    const ScannerModel model = DistinctModel();
    ScannerModel input = model;
    const TMapper map = Imported(input);
    for (const Destination& d : kDestinations) {
        EXPECT_EQ(map.*d.element, model.Value[d.index]) << "scanner model element " << d.index;
    }
    EXPECT_EQ(std::memcmp(&input, &model, sizeof(ScannerModel)), 0) << "the record is only read";
}

TEST(ScannerModelImport, UnreadElementsHaveNoEffect) {
    ScannerModel a = DistinctModel();
    ScannerModel b = DistinctModel();
    for (int i : kUnread) {
        b.Value[i] = -7.5e10 - i;
    }
    const TMapper fromA = Imported(a);
    const TMapper fromB = Imported(b);
    EXPECT_EQ(std::memcmp(&fromA, &fromB, sizeof(TMapper)), 0);
    const double* slots = reinterpret_cast<const double*>(&fromB);
    for (int i = 0; i < 83; ++i) {
        for (int unread : kUnread) {
            EXPECT_NE(slots[i], b.Value[unread]);
        }
    }
}

TEST(ScannerModelImport, ImportingTwiceEqualsOnce) {
    ScannerModel model = DistinctModel();
    TMapper once = Imported(model);
    TMapper twice = once;
    CCompensation engine;
    engine.CopyCompStructures(&twice, &model);
    EXPECT_EQ(std::memcmp(&once, &twice, sizeof(TMapper)), 0);
}

}  // namespace
