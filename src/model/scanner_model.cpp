// Import of a host's stored scanner model into the error model.
#include <array>

#include "compensation/engine.h"

namespace {

// Destination of each ScannerModel element, four to a line (the comment gives the first one's
// index); four elements of the host's record (29, 30, 51, 52) are not read.
// clang-format off
constexpr std::array<double TMapper::*, 87> kScannerModelToMapper = {{
    &TMapper::A1, &TMapper::A2, &TMapper::A3, &TMapper::Ax,                            // 0
    &TMapper::Ay, &TMapper::A1_dT, &TMapper::A2_dT, &TMapper::A3_dT,                   // 4
    &TMapper::Ax_dT, &TMapper::Ay_dT, &TMapper::D1, &TMapper::D2,                      // 8
    &TMapper::D2_dT, &TMapper::X0, &TMapper::Y0, &TMapper::A1_AzS,                     // 12
    &TMapper::A1_AzC, &TMapper::A1_2AzS, &TMapper::A1_2AzC, &TMapper::A1_2AzS_dT,      // 16
    &TMapper::A1_2AzC_dT, &TMapper::A1_3AzS, &TMapper::A1_3AzC, &TMapper::A1_4AzS,     // 20
    &TMapper::A1_4AzC, &TMapper::A1_5AzS, &TMapper::A1_5AzC, &TMapper::A1_6AzS,        // 24
    &TMapper::A1_6AzC, nullptr, nullptr, &TMapper::A2_3AzS,                            // 28
    &TMapper::A2_3AzC, &TMapper::A2_5AzS, &TMapper::A2_5AzC, &TMapper::A3_AzS,         // 32
    &TMapper::A3_AzC, &TMapper::A3_2AzS, &TMapper::A3_2AzC, &TMapper::A3_2AzS_dT,      // 36
    &TMapper::A3_2AzC_dT, &TMapper::A3_3AzS, &TMapper::A3_3AzC, &TMapper::A3_4AzS,     // 40
    &TMapper::A3_4AzC, &TMapper::A3_5AzS, &TMapper::A3_5AzC, &TMapper::A3_6AzS,        // 44
    &TMapper::A3_6AzC, &TMapper::D2_AzS, &TMapper::D2_AzC, nullptr,                    // 48
    nullptr, &TMapper::Az_AzC, &TMapper::Az_AzS, &TMapper::Az_AzC_dT,                  // 52
    &TMapper::Az_AzS_dT, &TMapper::Az_2AzC, &TMapper::Az_2AzS, &TMapper::Az_3AzS,      // 56
    &TMapper::Az_3AzC, &TMapper::Az_4AzS, &TMapper::Az_4AzC, &TMapper::Az_5AzS,        // 60
    &TMapper::Az_5AzC, &TMapper::Az_6AzS, &TMapper::Az_6AzC, &TMapper::El_2AzC,        // 64
    &TMapper::El_2AzS, &TMapper::El_2AzC_dT, &TMapper::El_2AzS_dT, &TMapper::El_4AzC,  // 68
    &TMapper::El_4AzS, &TMapper::El_6AzC, &TMapper::El_6AzS, &TMapper::El_ElS,         // 72
    &TMapper::El_ElC, &TMapper::El_ElS_dT, &TMapper::El_ElC_dT, &TMapper::A_plus,      // 76
    &TMapper::B_plus, &TMapper::C_plus, &TMapper::A_minus, &TMapper::B_minus,          // 80
    &TMapper::K_minus, &TMapper::C_minus, &TMapper::T_ref,                             // 84
}};
// clang-format on

}  // namespace

void CCompensation::CopyCompStructures(TMapper* pMap, ScannerModel* pModel) {
    for (std::size_t i = 0; i < kScannerModelToMapper.size(); ++i) {
        if (kScannerModelToMapper[i] != nullptr) {
            pMap->*kScannerModelToMapper[i] = pModel->Value[i];
        }
    }
}
