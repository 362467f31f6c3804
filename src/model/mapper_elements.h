// Name and member of every error-model element, in index order.
#ifndef COMPENSATION_MODEL_MAPPER_ELEMENTS_H
#define COMPENSATION_MODEL_MAPPER_ELEMENTS_H

#include <array>
#include <cstddef>
#include <cstring>

#include "compensation/mapper.h"

namespace compensation {

struct MapperElement {
    const char* name;
    double TMapper::*member;
};

// clang-format off
inline constexpr std::array<MapperElement, 83> kMapperElements = {{
    {"A1", &TMapper::A1}, {"A1_AzS", &TMapper::A1_AzS}, {"A1_AzC", &TMapper::A1_AzC},
    {"A1_2AzS", &TMapper::A1_2AzS}, {"A1_2AzC", &TMapper::A1_2AzC}, {"A1_3AzS", &TMapper::A1_3AzS},
    {"A1_3AzC", &TMapper::A1_3AzC}, {"A1_4AzS", &TMapper::A1_4AzS}, {"A1_4AzC", &TMapper::A1_4AzC},
    {"A1_5AzS", &TMapper::A1_5AzS}, {"A1_5AzC", &TMapper::A1_5AzC}, {"A1_6AzS", &TMapper::A1_6AzS},
    {"A1_6AzC", &TMapper::A1_6AzC}, {"A2", &TMapper::A2}, {"A2_3AzS", &TMapper::A2_3AzS},
    {"A2_3AzC", &TMapper::A2_3AzC}, {"A2_5AzS", &TMapper::A2_5AzS}, {"A2_5AzC", &TMapper::A2_5AzC},
    {"A3", &TMapper::A3}, {"A3_AzS", &TMapper::A3_AzS}, {"A3_AzC", &TMapper::A3_AzC},
    {"A3_2AzS", &TMapper::A3_2AzS}, {"A3_2AzC", &TMapper::A3_2AzC}, {"A3_3AzS", &TMapper::A3_3AzS},
    {"A3_3AzC", &TMapper::A3_3AzC}, {"A3_4AzS", &TMapper::A3_4AzS}, {"A3_4AzC", &TMapper::A3_4AzC},
    {"A3_5AzS", &TMapper::A3_5AzS}, {"A3_5AzC", &TMapper::A3_5AzC}, {"A3_6AzS", &TMapper::A3_6AzS},
    {"A3_6AzC", &TMapper::A3_6AzC}, {"Ax", &TMapper::Ax}, {"Ay", &TMapper::Ay},
    {"D1", &TMapper::D1}, {"D2", &TMapper::D2}, {"D2_AzS", &TMapper::D2_AzS},
    {"D2_AzC", &TMapper::D2_AzC}, {"X0", &TMapper::X0}, {"Y0", &TMapper::Y0},
    {"Az_AzC", &TMapper::Az_AzC}, {"Az_AzS", &TMapper::Az_AzS}, {"Az_2AzC", &TMapper::Az_2AzC},
    {"Az_2AzS", &TMapper::Az_2AzS}, {"Az_3AzC", &TMapper::Az_3AzC}, {"Az_3AzS", &TMapper::Az_3AzS},
    {"Az_4AzC", &TMapper::Az_4AzC}, {"Az_4AzS", &TMapper::Az_4AzS}, {"Az_5AzC", &TMapper::Az_5AzC},
    {"Az_5AzS", &TMapper::Az_5AzS}, {"Az_6AzC", &TMapper::Az_6AzC}, {"Az_6AzS", &TMapper::Az_6AzS},
    {"El_2AzC", &TMapper::El_2AzC}, {"El_2AzS", &TMapper::El_2AzS}, {"El_4AzC", &TMapper::El_4AzC},
    {"El_4AzS", &TMapper::El_4AzS}, {"El_6AzC", &TMapper::El_6AzC}, {"El_6AzS", &TMapper::El_6AzS},
    {"El_ElS", &TMapper::El_ElS}, {"B_plus", &TMapper::B_plus}, {"A_plus", &TMapper::A_plus},
    {"C_plus", &TMapper::C_plus}, {"B_minus", &TMapper::B_minus}, {"A_minus", &TMapper::A_minus},
    {"K_minus", &TMapper::K_minus}, {"C_minus", &TMapper::C_minus}, {"T_ref", &TMapper::T_ref},
    {"Ay_dT", &TMapper::Ay_dT}, {"Ax_dT", &TMapper::Ax_dT}, {"D2_dT", &TMapper::D2_dT},
    {"Az_AzC_dT", &TMapper::Az_AzC_dT}, {"Az_AzS_dT", &TMapper::Az_AzS_dT},
    {"El_ElC_dT", &TMapper::El_ElC_dT}, {"El_ElS_dT", &TMapper::El_ElS_dT},
    {"El_ElC", &TMapper::El_ElC}, {"A3_2AzC_dT", &TMapper::A3_2AzC_dT},
    {"A3_2AzS_dT", &TMapper::A3_2AzS_dT}, {"El_2AzC_dT", &TMapper::El_2AzC_dT},
    {"El_2AzS_dT", &TMapper::El_2AzS_dT}, {"A3_dT", &TMapper::A3_dT}, {"A2_dT", &TMapper::A2_dT},
    {"A1_2AzC_dT", &TMapper::A1_2AzC_dT}, {"A1_2AzS_dT", &TMapper::A1_2AzS_dT},
    {"A1_dT", &TMapper::A1_dT}
}};
// clang-format on

// Index of an element in TMapper order, or -1 for an unknown name.
inline int MapperElementIndex(const char* name) {
    for (std::size_t i = 0; i < kMapperElements.size(); ++i) {
        if (std::strcmp(kMapperElements[i].name, name) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Name of an element, or "" for a member that is none.
inline const char* MapperElementName(double TMapper::*member) {
    for (const MapperElement& element : kMapperElements) {
        if (element.member == member) {
            return element.name;
        }
    }
    return "";
}

}  // namespace compensation

#endif  // COMPENSATION_MODEL_MAPPER_ELEMENTS_H
