// The error model's layout: hosts address its 83 elements by index.
#include <cstring>

#include <gtest/gtest.h>

#include "compensation/mapper.h"
#include "model/mapper_elements.h"

namespace {

// The element names in index order, as hosts and stored models know them.
const char* const kNamesByIndex[83] = {
    "A1",         "A1_AzS",    "A1_AzC",    "A1_2AzS",    "A1_2AzC",    "A1_3AzS",    "A1_3AzC",
    "A1_4AzS",    "A1_4AzC",   "A1_5AzS",   "A1_5AzC",    "A1_6AzS",    "A1_6AzC",    "A2",
    "A2_3AzS",    "A2_3AzC",   "A2_5AzS",   "A2_5AzC",    "A3",         "A3_AzS",     "A3_AzC",
    "A3_2AzS",    "A3_2AzC",   "A3_3AzS",   "A3_3AzC",    "A3_4AzS",    "A3_4AzC",    "A3_5AzS",
    "A3_5AzC",    "A3_6AzS",   "A3_6AzC",   "Ax",         "Ay",         "D1",         "D2",
    "D2_AzS",     "D2_AzC",    "X0",        "Y0",         "Az_AzC",     "Az_AzS",     "Az_2AzC",
    "Az_2AzS",    "Az_3AzC",   "Az_3AzS",   "Az_4AzC",    "Az_4AzS",    "Az_5AzC",    "Az_5AzS",
    "Az_6AzC",    "Az_6AzS",   "El_2AzC",   "El_2AzS",    "El_4AzC",    "El_4AzS",    "El_6AzC",
    "El_6AzS",    "El_ElS",    "B_plus",    "A_plus",     "C_plus",     "B_minus",    "A_minus",
    "K_minus",    "C_minus",   "T_ref",     "Ay_dT",      "Ax_dT",      "D2_dT",      "Az_AzC_dT",
    "Az_AzS_dT",  "El_ElC_dT", "El_ElS_dT", "El_ElC",     "A3_2AzC_dT", "A3_2AzS_dT", "El_2AzC_dT",
    "El_2AzS_dT", "A3_dT",     "A2_dT",     "A1_2AzC_dT", "A1_2AzS_dT", "A1_dT",
};

TEST(MapperElements, EveryElementSitsAtItsIndexUnderItsName) {
    TMapper m{};
    const double* base = reinterpret_cast<const double*>(&m);
    ASSERT_EQ(compensation::kMapperElements.size(), 83u);
    for (int i = 0; i < 83; ++i) {
        const auto& element = compensation::kMapperElements[i];
        EXPECT_STREQ(element.name, kNamesByIndex[i]) << "index " << i;
        EXPECT_EQ(&(m.*element.member) - base, i) << kNamesByIndex[i];
        EXPECT_EQ(compensation::MapperElementIndex(kNamesByIndex[i]), i);
    }
    EXPECT_EQ(compensation::MapperElementIndex("A4"), -1);
}

}  // namespace
