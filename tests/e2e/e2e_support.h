// Running the compensation procedures on the simulated tracker as a host does, and checking the
// error model they give back against the one the readings were made with.
#ifndef COMPENSATION_TESTS_E2E_E2E_SUPPORT_H
#define COMPENSATION_TESTS_E2E_E2E_SUPPORT_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"
#include "engine/constants.h"
#include "model/mapper_elements.h"
#include "support/captured_stdout.h"
#include "support/test_constants.h"

namespace compensation::e2e {

using sim::Scenario;
using Member = double TMapper::*;

// Exact readings: the joint loops stop once no fit moves an element by more than its limit
// (7.5e-6 degrees, 5.08e-7 m) and each linearised step leaves a second-order error below 1e-6
// degrees at a realistic model's size, so a settled model lies within these bounds. Every fitted
// element of a realistic truth is larger (1.5e-4 degrees, 4e-6 m at least): one left unfitted
// fails them.
inline constexpr double kExactAngleTolerance = 2e-5;   // degrees
inline constexpr double kExactLengthTolerance = 1e-6;  // metres

using testing::kAngleNoise;
using testing::kRangeNoise;

// A quantity of the model a test checks: one element, or a combination the data determine.
struct Quantity {
    std::string name;
    std::function<double(const TMapper&)> value;
    double tolerance;  // on exact readings
    double noise;      // one reading's noise in the quantity's unit
};

// Lengths are metres; the elevation polynomials' coefficients (radians per radian^n) are held to
// what moves the elevation at 1 rad by the angular tolerance; every other element is degrees.
inline Quantity ElementQuantity(const MapperElement& e) {
    const Member lengths[] = {&TMapper::D1,     &TMapper::D2, &TMapper::D2_AzS,
                              &TMapper::D2_AzC, &TMapper::X0, &TMapper::Y0};
    const Member polynomials[] = {&TMapper::B_plus,  &TMapper::A_plus,  &TMapper::C_plus,
                                  &TMapper::B_minus, &TMapper::A_minus, &TMapper::C_minus};
    const auto in = [&e](const auto& list) {
        return std::find(std::begin(list), std::end(list), e.member) != std::end(list);
    };
    const Member m = e.member;
    const auto value = [m](const TMapper& model) { return model.*m; };
    if (in(lengths)) {
        return {e.name, value, kExactLengthTolerance, kRangeNoise};
    }
    if (in(polynomials)) {
        return {e.name, value, kExactAngleTolerance / kPolyRadToDeg, kAngleNoise};
    }
    return {e.name, value, kExactAngleTolerance, kAngleNoise * kRadToDeg};
}

// The elements a realistic truth sets (but the listed ones): exactly those the procedure it was
// made for fits.
inline std::vector<Quantity> FittedElements(const TMapper& truth,
                                            const std::vector<Member>& except = {}) {
    std::vector<Quantity> fitted;
    for (const MapperElement& e : kMapperElements) {
        if (truth.*e.member != 0.0 &&
            std::find(except.begin(), except.end(), e.member) == except.end()) {
            fitted.push_back(ElementQuantity(e));
        }
    }
    return fitted;
}

inline void ExpectRecovered(const std::vector<Quantity>& quantities, const TMapper& model,
                            const TMapper& truth) {
    for (const Quantity& q : quantities) {
        EXPECT_NEAR(q.value(model), q.value(truth), q.tolerance) << q.name;
    }
}

// Every element that `fitted` does not name keeps the value it started from.
template <typename Fitted>
void ExpectOnlyFittedElementsWritten(const TMapper& model, const TMapper& start, Fitted fitted) {
    for (const MapperElement& e : kMapperElements) {
        if (!fitted(e.member)) {
            EXPECT_EQ(model.*e.member, start.*e.member) << e.name;
        }
    }
}

// Index in the main array of target `position` of view `view` (1-based, as TCompOut holds it;
// 0 is the view's reference vector), among its front sights or, with `back`, its back sights.
inline int MainIndex(const Scenario& s, int view, int position, bool back = false) {
    return view * (1 + 2 * s.nTargets) + position + (back ? s.nTargets : 0);
}

// Every measurement keeps the quality it was read with (100).
inline void ExpectNothingRejected(const std::vector<CVector>& readings) {
    for (std::size_t i = 0; i < readings.size(); ++i) {
        EXPECT_EQ(readings[i].Quality, 100.0) << "measurement " << i;
    }
}

inline bool AllFinite(const TMapper& model) {
    return std::all_of(kMapperElements.begin(), kMapperElements.end(),
                       [&model](const MapperElement& e) { return std::isfinite(model.*e.member); });
}

// Every field of every reading: a refused call writes nothing to the host's arrays.
inline bool SameReadings(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    const auto fields = [](const CVector& v) {
        return std::tie(v.Quality, v.Range, v.Azimuth, v.Elevation, v.X, v.Y, v.Z, v.T, v.Type,
                        v.FSBS, v.Radian);
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](const CVector& x, const CVector& y) { return fields(x) == fields(y); });
}

// What a procedure gave back. The confidence starts at a value no validation writes, so a test
// can tell whether the final validation ran.
inline constexpr int kNotValidated = -12345;
struct Outcome {
    int result = 0;
    TMapper model{};
    TCompOut out{};
    std::string summary;  // what the procedure printed
};

// Calls procedure(engine, model, out) from the scenario's start model and pair positions.
template <typename Procedure>
Outcome Captured(const Scenario& s, Procedure procedure) {
    Outcome run;
    run.model = s.start;
    run.out = s.compOut;
    run.out.m_nConfidence = kNotValidated;
    CCompensation engine;
    run.summary =
        testing::CapturedStdout([&] { run.result = procedure(engine, &run.model, &run.out); });
    return run;
}

// The procedures on a scenario's own arrays, which they mark.
inline Outcome RunQuick(Scenario& s) {
    return Captured(s, [&s](CCompensation& e, TMapper* m, TCompOut* o) {
        return e.QuickCompInsertion(s.main.data(), s.nCount(), m, o);
    });
}
inline Outcome RunFull(Scenario& s) {
    return Captured(s, [&s](CCompensation& e, TMapper* m, TCompOut* o) {
        return e.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(), m, o);
    });
}
inline Outcome RunFullFull(Scenario& s, int mode) {
    return Captured(s, [&s, mode](CCompensation& e, TMapper* m, TCompOut* o) {
        return e.FullFullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(),
                              s.outside2.data(), s.nCountOut2(), s.flying.data(), s.nTargetsFly,
                              s.nCountFly(), m, o, mode);
    });
}

// What one call of a two-face fit makes of the start from the scenario's readings, classified
// into front and back sights as the procedures classify them.
template <typename Fit>
Outcome OneTwoFaceCall(const Scenario& s, Fit fit) {
    std::vector<CVector> host = s.main;
    for (CVector& v : host) {
        v.SeType();
    }
    std::vector<CVector> front(host.size() / 2);
    std::vector<CVector> back(host.size() / 2);
    int pairs = 0;
    return Captured(s, [&](CCompensation& e, TMapper* m, TCompOut* o) {
        e.ClassifyFSBS(host.data(), s.nCount(), front.data(), back.data(), &pairs, 1);
        return fit(e, front.data(), back.data(), m, pairs, o);
    });
}

inline sim::Noise RealisticNoise(std::uint64_t seed) {
    sim::Noise noise;
    noise.angle = kAngleNoise;
    noise.range = kRangeNoise;
    noise.seed = seed;
    return noise;
}

// The tolerance under noise is derived from the noise, not tuned. At these levels every fit is
// linear in the reading noise, so each quantity's error (noisy minus noise-free result) is
// Gaussian with mean zero and a deviation fixed by the design, which `draws` independent draws
// estimate as s (their rms). The scenario's own draw, not among them, must lie within the exact
// tolerance plus 5 s of the truth: its error over s follows Student's t with `draws` degrees of
// freedom, beyond 5 with probability 1e-3 for 8 draws and 1.3e-4 for 16. And s must stay below
// `limit` single-reading deviations: hundreds of readings enter every fit, so an element spread
// wider has lost most of them or is fitted from the wrong rows. run(noise) runs the procedure on
// the scenario read with that noise.
template <typename Procedure>
void ExpectNoiseWithinItsSpread(const std::vector<Quantity>& quantities, const TMapper& truth,
                                int draws, double limit, Procedure run) {
    const TMapper exact = run(sim::Noise{});
    const TMapper scenario = run(RealisticNoise(2024));
    std::vector<double> sumSquares(quantities.size(), 0.0);
    for (int d = 0; d < draws; ++d) {
        const TMapper model = run(RealisticNoise(100 + static_cast<std::uint64_t>(d)));
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            sumSquares[i] += std::pow(quantities[i].value(model) - quantities[i].value(exact), 2);
        }
    }
    for (std::size_t i = 0; i < quantities.size(); ++i) {
        const Quantity& q = quantities[i];
        const double s = std::sqrt(sumSquares[i] / draws);
        EXPECT_NEAR(q.value(scenario), q.value(truth), q.tolerance + 5.0 * s) << q.name;
        EXPECT_LT(s, limit * q.noise) << q.name;
    }
}

}  // namespace compensation::e2e

#endif  // COMPENSATION_TESTS_E2E_E2E_SUPPORT_H
