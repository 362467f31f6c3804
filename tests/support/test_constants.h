// Values the tests share, written once so that every tolerance can say which one it comes from.
#ifndef COMPENSATION_TESTS_SUPPORT_TEST_CONSTANTS_H
#define COMPENSATION_TESTS_SUPPORT_TEST_CONSTANTS_H

namespace compensation::testing {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kRadiansPerDegree = kPi / 180.0;

// A tracker's realistic reading noise (one standard deviation), with which the bundled examples
// and the noisy scenarios are simulated.
inline constexpr double kAngleNoise = 1e-6;  // radians, on azimuth and elevation alike
inline constexpr double kRangeNoise = 2e-6;  // metres

// The simulator and RawReadingFor invert an error model to this (metres and radians): a raw
// reading calibrates back to its true reading within it.
inline constexpr double kInversionTolerance = 1e-12;

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SUPPORT_TEST_CONSTANTS_H
