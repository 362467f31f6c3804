// Import of a host's stored scanner model into the error model.
#include <array>

#include "compensation/engine.h"

namespace {

// Destination of each ScannerModel element; four elements of the host's record have none.
constexpr std::array<double TMapper::*, 87> kScannerModelToMapper = {{
    &TMapper::A1,          // 0
    &TMapper::A2,          // 1
    &TMapper::A3,          // 2
    &TMapper::Ax,          // 3
    &TMapper::Ay,          // 4
    &TMapper::A1_dT,       // 5
    &TMapper::A2_dT,       // 6
    &TMapper::A3_dT,       // 7
    &TMapper::Ax_dT,       // 8
    &TMapper::Ay_dT,       // 9
    &TMapper::D1,          // 10
    &TMapper::D2,          // 11
    &TMapper::D2_dT,       // 12
    &TMapper::X0,          // 13
    &TMapper::Y0,          // 14
    &TMapper::A1_AzS,      // 15
    &TMapper::A1_AzC,      // 16
    &TMapper::A1_2AzS,     // 17
    &TMapper::A1_2AzC,     // 18
    &TMapper::A1_2AzS_dT,  // 19
    &TMapper::A1_2AzC_dT,  // 20
    &TMapper::A1_3AzS,     // 21
    &TMapper::A1_3AzC,     // 22
    &TMapper::A1_4AzS,     // 23
    &TMapper::A1_4AzC,     // 24
    &TMapper::A1_5AzS,     // 25
    &TMapper::A1_5AzC,     // 26
    &TMapper::A1_6AzS,     // 27
    &TMapper::A1_6AzC,     // 28
    nullptr,               // 29: not read
    nullptr,               // 30: not read
    &TMapper::A2_3AzS,     // 31
    &TMapper::A2_3AzC,     // 32
    &TMapper::A2_5AzS,     // 33
    &TMapper::A2_5AzC,     // 34
    &TMapper::A3_AzS,      // 35
    &TMapper::A3_AzC,      // 36
    &TMapper::A3_2AzS,     // 37
    &TMapper::A3_2AzC,     // 38
    &TMapper::A3_2AzS_dT,  // 39
    &TMapper::A3_2AzC_dT,  // 40
    &TMapper::A3_3AzS,     // 41
    &TMapper::A3_3AzC,     // 42
    &TMapper::A3_4AzS,     // 43
    &TMapper::A3_4AzC,     // 44
    &TMapper::A3_5AzS,     // 45
    &TMapper::A3_5AzC,     // 46
    &TMapper::A3_6AzS,     // 47
    &TMapper::A3_6AzC,     // 48
    &TMapper::D2_AzS,      // 49
    &TMapper::D2_AzC,      // 50
    nullptr,               // 51: not read
    nullptr,               // 52: not read
    &TMapper::Az_AzC,      // 53
    &TMapper::Az_AzS,      // 54
    &TMapper::Az_AzC_dT,   // 55
    &TMapper::Az_AzS_dT,   // 56
    &TMapper::Az_2AzC,     // 57
    &TMapper::Az_2AzS,     // 58
    &TMapper::Az_3AzS,     // 59
    &TMapper::Az_3AzC,     // 60
    &TMapper::Az_4AzS,     // 61
    &TMapper::Az_4AzC,     // 62
    &TMapper::Az_5AzS,     // 63
    &TMapper::Az_5AzC,     // 64
    &TMapper::Az_6AzS,     // 65
    &TMapper::Az_6AzC,     // 66
    &TMapper::El_2AzC,     // 67
    &TMapper::El_2AzS,     // 68
    &TMapper::El_2AzC_dT,  // 69
    &TMapper::El_2AzS_dT,  // 70
    &TMapper::El_4AzC,     // 71
    &TMapper::El_4AzS,     // 72
    &TMapper::El_6AzC,     // 73
    &TMapper::El_6AzS,     // 74
    &TMapper::El_ElS,      // 75
    &TMapper::El_ElC,      // 76
    &TMapper::El_ElS_dT,   // 77
    &TMapper::El_ElC_dT,   // 78
    &TMapper::A_plus,      // 79
    &TMapper::B_plus,      // 80
    &TMapper::C_plus,      // 81
    &TMapper::A_minus,     // 82
    &TMapper::B_minus,     // 83
    &TMapper::K_minus,     // 84
    &TMapper::C_minus,     // 85
    &TMapper::T_ref,       // 86
}};

}  // namespace

void CCompensation::CopyCompStructures(TMapper* pMap, ScannerModel* pModel) {
    for (std::size_t i = 0; i < kScannerModelToMapper.size(); ++i) {
        if (kScannerModelToMapper[i] != nullptr) {
            pMap->*kScannerModelToMapper[i] = pModel->Value[i];
        }
    }
}
