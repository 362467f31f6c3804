// True models of realistic size: a tracker fresh from assembly has angular errors of a few
// thousandths of a degree and offsets of some micrometres. Each table holds the elements one
// group of fits estimates, so a procedure's truth is the union of the groups it runs, and every
// element outside them stays zero.
#include <initializer_list>

#include "compensation_sim/simulator.h"

namespace compensation::sim {

namespace {

struct Term {
    double TMapper::*element;
    double value;
};

using Group = std::initializer_list<Term>;

// Quick two-face fit: beam and axis terms seen as front-sight/back-sight differences.
const Group kTwoFaceCore = {
    {&TMapper::D1, 1.2e-05},     {&TMapper::A1, 1.5e-03},       {&TMapper::A3, -8.0e-04},
    {&TMapper::A2, 7.0e-04},     {&TMapper::El_2AzS, -5.0e-04}, {&TMapper::El_2AzC, 8.0e-04},
    {&TMapper::El_ElS, 1.1e-03},
};

// The first azimuth harmonic of the azimuth scale, fitted by the quick two-face fit and by
// the full two-face fit with its odd harmonics, but not by the full procedure.
const Group kAzimuthFirstHarmonic = {
    {&TMapper::Az_AzS, 6.0e-04},
    {&TMapper::Az_AzC, -9.0e-04},
};

// The vertical axis' lean, seen in the interball distances.
const Group kAxisLean = {
    {&TMapper::Ax, 9.0e-04},
    {&TMapper::Ay, -1.2e-03},
};

// Full two-face fit: even harmonics of the beam terms and the range harmonics.
const Group kTwoFaceFull = {
    {&TMapper::D2_AzS, 6.0e-06},   {&TMapper::D2_AzC, -4.0e-06}, {&TMapper::A1_2AzS, 4.0e-04},
    {&TMapper::A1_2AzC, -6.0e-04}, {&TMapper::A1_4AzS, 3.0e-04}, {&TMapper::A1_4AzC, 2.5e-04},
    {&TMapper::A3_2AzS, -3.5e-04}, {&TMapper::A3_2AzC, 4.5e-04}, {&TMapper::A3_4AzS, -2.0e-04},
    {&TMapper::A3_4AzC, 3.0e-04},  {&TMapper::El_4AzS, 3.5e-04}, {&TMapper::El_4AzC, -4.0e-04},
};

// Full interball fit: odd harmonics that act alike in both faces.
const Group kInterballFull = {
    {&TMapper::A1_AzS, 7.0e-04},   {&TMapper::A1_AzC, -5.5e-04},  {&TMapper::A1_3AzS, 4.0e-04},
    {&TMapper::A1_3AzC, 3.0e-04},  {&TMapper::A2_3AzS, -4.5e-04}, {&TMapper::A2_3AzC, 3.5e-04},
    {&TMapper::A3_AzS, -6.0e-04},  {&TMapper::A3_AzC, 5.0e-04},   {&TMapper::A3_3AzS, 2.5e-04},
    {&TMapper::A3_3AzC, -3.0e-04},
};

// Single-term fits from chosen pairs: the beam offset and the range offset.
const Group kPairTerms = {
    {&TMapper::X0, 1.5e-05},
    {&TMapper::Y0, -1.0e-05},
    {&TMapper::D2, 2.0e-05},
};

// Full-full: the odd two-face harmonics, the interball azimuth harmonics and everything the
// six-harmonic fits add. The sixth-harmonic two-face terms are large enough that the first
// two-face pass leaves face spreads above its limit, which is what calls the six-harmonic pass.
const Group kFullFullHarmonics = {
    {&TMapper::Az_3AzS, 3.0e-04},  {&TMapper::Az_3AzC, -2.5e-04}, {&TMapper::Az_2AzS, 4.0e-04},
    {&TMapper::Az_2AzC, -3.0e-04}, {&TMapper::Az_4AzS, 2.0e-04},  {&TMapper::Az_4AzC, 2.5e-04},
    {&TMapper::A1_6AzS, 9.0e-04},  {&TMapper::A1_6AzC, -8.0e-04}, {&TMapper::A3_6AzS, 6.0e-04},
    {&TMapper::A3_6AzC, 7.0e-04},  {&TMapper::Az_5AzS, -5.0e-04}, {&TMapper::Az_5AzC, 4.0e-04},
    {&TMapper::El_6AzS, 8.0e-04},  {&TMapper::El_6AzC, -7.0e-04}, {&TMapper::A1_5AzS, 3.0e-04},
    {&TMapper::A1_5AzC, -2.0e-04}, {&TMapper::A2_5AzS, 2.5e-04},  {&TMapper::A2_5AzC, -3.0e-04},
    {&TMapper::A3_5AzS, -2.0e-04}, {&TMapper::A3_5AzC, 2.5e-04},  {&TMapper::Az_6AzS, 1.5e-04},
    {&TMapper::Az_6AzC, -2.0e-04},
};

// Full-full modes 0 and 1: the elevation polynomials (rad per rad^n: about 1e-3 degrees at
// 40 degrees of elevation) and the constant elevation offset.
const Group kFlyingTerms = {
    {&TMapper::B_plus, 2.0e-05},  {&TMapper::A_plus, -3.0e-05}, {&TMapper::C_plus, 4.0e-05},
    {&TMapper::B_minus, 2.5e-05}, {&TMapper::A_minus, 2.0e-05}, {&TMapper::C_minus, -3.5e-05},
    {&TMapper::K_minus, 1.2e-03},
};

// Full-full mode 2: the elevation term that replaces them.
const Group kElevationCosine = {
    {&TMapper::El_ElC, 9.0e-04},
};

void Apply(TMapper& model, const Group& group) {
    for (const Term& term : group) {
        model.*term.element = term.value;
    }
}

}  // namespace

TMapper RealisticTruth(Kind kind, int mode) {
    TMapper model{};
    Apply(model, kTwoFaceCore);
    Apply(model, kAxisLean);
    if (kind == Kind::Quick || kind == Kind::FullFull) {
        Apply(model, kAzimuthFirstHarmonic);
    }
    if (kind == Kind::Quick) {
        return model;
    }
    Apply(model, kTwoFaceFull);
    Apply(model, kInterballFull);
    Apply(model, kPairTerms);
    if (kind == Kind::Full) {
        return model;
    }
    Apply(model, kFullFullHarmonics);
    Apply(model, mode == 2 ? kElevationCosine : kFlyingTerms);
    return model;
}

}  // namespace compensation::sim
