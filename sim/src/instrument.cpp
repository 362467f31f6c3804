// The instrument itself: where a world point appears, and what an imperfect instrument reads.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "compensation_sim/simulator.h"
#include "engine/constants.h"

namespace compensation::sim {

namespace {

// Calibrating the raw reading must give the true values back to this (radians and metres).
constexpr double kInversionTolerance = 1e-12;
// The model's corrections change by about 1e-5 of their own size per unit change of the
// reading, so each step gains about five digits; a few steps reach the tolerance. Many more
// mean the model is singular at this reading.
constexpr int kInversionSteps = 30;
// The largest correction an instrument makes (radians and metres). Far beyond the few
// micrometres and thousandths of a degree of a real model, and below the 0.01745 rad and 0.01 m
// within which the two faces of a target are paired; larger ones come from a direction near
// the zenith, where the azimuth correction divides by cos(El), or from a model of no instrument.
constexpr double kLargestCorrection = 0.01;
constexpr double kFullQuality = 100.0;
// 2^-53: turns the top 53 bits of a 64-bit word into a double in [0, 1) exactly.
constexpr double kTwoToMinus53 = 1.0 / 9007199254740992.0;
constexpr double kTwoPi = 6.283185307179586;

Point Difference(const Point& a, const Point& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// The world offset d seen in the instrument frame: first the heading about the vertical, then
// the lean of the vertical axis.
Point InstrumentFrame(const Placement& placement, const Point& d) {
    const double ch = std::cos(placement.heading);
    const double sh = std::sin(placement.heading);
    Point v{d.x * ch + d.z * sh, d.y, d.z * ch - d.x * sh};
    const double cx = std::cos(placement.tilt_x);
    const double sx = std::sin(placement.tilt_x);
    v = {v.x, v.y * cx - v.z * sx, v.y * sx + v.z * cx};
    const double cz = std::cos(placement.tilt_z);
    const double sz = std::sin(placement.tilt_z);
    return {v.x * cz - v.y * sz, v.x * sz + v.y * cz, v.z};
}

}  // namespace

CVector TrueReading(const Placement& placement, const Point& point) {
    const Point v = InstrumentFrame(placement, Difference(point, placement.position));
    CVector reading;
    reading.Quality = kFullQuality;
    reading.Range = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    reading.Azimuth = -std::atan2(v.x, v.z);
    reading.Elevation = std::atan2(v.y, std::hypot(v.x, v.z));
    reading.T = 0.0;
    reading.Type = 0;
    reading.FSBS = 0;
    reading.Radian = true;
    reading.Sphr2Cart();
    return reading;
}

// Calibrate maps a raw reading r to c(r) = r + e(r), e being the model's small correction.
// The reading with c(r) = t is the fixed point of r = t - e(r), reached by r += t - c(r).
// UnCalibrate alone gives t - e(t), which misses by e(t) - e(r): second order, far above the
// tolerance for a model of realistic size.
CVector RawReading(const CVector& trueReading, int type, double T, const TMapper& truth) {
    TMapper model = truth;
    CVector raw = trueReading;
    raw.Type = type;
    raw.T = T;
    raw.Radian = true;
    raw.SeType();
    for (int step = 0; step < kInversionSteps; ++step) {
        CVector calibrated = raw;
        calibrated.Calibrate(&model);
        const double dR = trueReading.Range - calibrated.Range;
        const double dAz = trueReading.Azimuth - calibrated.Azimuth;
        const double dEl = trueReading.Elevation - calibrated.Elevation;
        const double worst = std::max({std::fabs(dR), std::fabs(dAz), std::fabs(dEl)});
        if (!std::isfinite(worst)) {
            break;
        }
        if (worst <= kInversionTolerance) {
            const double correction = std::max({std::fabs(raw.Range - trueReading.Range),
                                                std::fabs(raw.Azimuth - trueReading.Azimuth),
                                                std::fabs(raw.Elevation - trueReading.Elevation)});
            if (correction > kLargestCorrection) {
                break;
            }
            raw.Sphr2Cart();
            return raw;
        }
        raw.Range += dR;
        raw.Azimuth += dAz;
        raw.Elevation += dEl;
    }
    throw std::runtime_error("the error model cannot be inverted at this reading");
}

NormalSource::NormalSource(std::uint64_t seed) : engine_(seed) {}

double NormalSource::Uniform() {
    return 1.0 - static_cast<double>(engine_() >> 11) * kTwoToMinus53;
}

// Box-Muller: two uniforms give two independent standard normal deviates.
double NormalSource::Next() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = kTwoPi * Uniform();
    spare_ = radius * std::sin(angle);
    hasSpare_ = true;
    return radius * std::cos(angle);
}

}  // namespace compensation::sim
