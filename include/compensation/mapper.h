// The instrument's error model and the host's stored scanner model.
#ifndef COMPENSATION_MAPPER_H
#define COMPENSATION_MAPPER_H

#include <cstddef>

#include "compensation/export.h"

// The laser tracker's error model: 83 parameters in a fixed order that hosts address by index.
//
// Angular elements (the A1/A2/A3 series, Ax, Ay, the Az_ and El_ harmonics, El_ElS, El_ElC,
// K_minus and their _dT parts) are in degrees; X0, Y0, D1 and the D2 series are in metres; the
// six polynomial coefficients (B_/A_/C_ plus and minus) act on the elevation in radians. The _dT
// terms are per unit of (T - T_ref). CVector::Calibrate applies the model.
struct TMapper {
    double A1;
    double A1_AzS;
    double A1_AzC;
    double A1_2AzS;
    double A1_2AzC;
    double A1_3AzS;
    double A1_3AzC;
    double A1_4AzS;
    double A1_4AzC;
    double A1_5AzS;
    double A1_5AzC;
    double A1_6AzS;
    double A1_6AzC;
    double A2;
    double A2_3AzS;
    double A2_3AzC;
    double A2_5AzS;
    double A2_5AzC;
    double A3;
    double A3_AzS;
    double A3_AzC;
    double A3_2AzS;
    double A3_2AzC;
    double A3_3AzS;
    double A3_3AzC;
    double A3_4AzS;
    double A3_4AzC;
    double A3_5AzS;
    double A3_5AzC;
    double A3_6AzS;
    double A3_6AzC;
    double Ax;
    double Ay;
    double D1;
    double D2;
    double D2_AzS;
    double D2_AzC;
    double X0;
    double Y0;
    double Az_AzC;
    double Az_AzS;
    double Az_2AzC;
    double Az_2AzS;
    double Az_3AzC;
    double Az_3AzS;
    double Az_4AzC;
    double Az_4AzS;
    double Az_5AzC;
    double Az_5AzS;
    double Az_6AzC;
    double Az_6AzS;
    double El_2AzC;
    double El_2AzS;
    double El_4AzC;
    double El_4AzS;
    double El_6AzC;
    double El_6AzS;
    double El_ElS;
    double B_plus;
    double A_plus;
    double C_plus;
    double B_minus;
    double A_minus;
    double K_minus;
    double C_minus;
    double T_ref;
    double Ay_dT;
    double Ax_dT;
    double D2_dT;
    double Az_AzC_dT;
    double Az_AzS_dT;
    double El_ElC_dT;
    double El_ElS_dT;
    double El_ElC;
    double A3_2AzC_dT;
    double A3_2AzS_dT;
    double El_2AzC_dT;
    double El_2AzS_dT;
    double A3_dT;
    double A2_dT;
    double A1_2AzC_dT;
    double A1_2AzS_dT;
    double A1_dT;
};

static_assert(sizeof(TMapper) == 83 * sizeof(double), "TMapper is 83 packed doubles");
static_assert(offsetof(TMapper, A1) == 0, "A1 opens the model");
static_assert(offsetof(TMapper, A2) == 13 * sizeof(double), "A2 is element 13");
static_assert(offsetof(TMapper, Ax) == 31 * sizeof(double), "Ax is element 31");
static_assert(offsetof(TMapper, El_ElS) == 57 * sizeof(double), "El_ElS is element 57");
static_assert(offsetof(TMapper, T_ref) == 65 * sizeof(double), "T_ref is element 65");
static_assert(offsetof(TMapper, El_ElC) == 73 * sizeof(double), "El_ElC is element 73");
static_assert(offsetof(TMapper, A1_dT) == 82 * sizeof(double), "A1_dT closes the model");

// A host's own record of the error model: 87 doubles in the host's order. Elements 29, 30, 51
// and 52 carry nothing the error model uses. CCompensation::CopyCompStructures maps it onto a
// TMapper.
struct ScannerModel {
    // Element i is Value[i]; a host may as well hand over its own array of 87 doubles.
    double Value[87];
};

static_assert(sizeof(ScannerModel) == 87 * sizeof(double), "ScannerModel is 87 packed doubles");

#endif  // COMPENSATION_MAPPER_H
