// How a calibrated reading moves with each element of the error model.
//
// The model (ApplyModel in model/raw_terms.h) is linear in its elements: each element adds its
// value times a factor of the reading (a harmonic of the azimuth, a power of the elevation, the
// inverse range), with the face sign and the temperature offset where it carries them, into one
// of ten sums (the range terms D1 and D2s, A1s, A3s, the offsets P and Q, the azimuth series,
// A2s, the elevation series, the polynomials), and each sum reaches the calibrated range,
// azimuth and elevation in its own way. An element's column is therefore its factor times its
// sum's way: one look at a reading gives the ways and factors, and each element's column then
// costs a few multiplications, where applying a unit model costs one evaluation of the whole
// model per element.
#ifndef COMPENSATION_MODEL_ELEMENT_COLUMNS_H
#define COMPENSATION_MODEL_ELEMENT_COLUMNS_H

#include <cstddef>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/raw_terms.h"

namespace compensation::detail {

enum class ModelSum { kD1, kD2s, kA1s, kA3s, kP, kQ, kAzimuth, kA2s, kElevation, kPolynomial };
inline constexpr std::size_t kModelSums = 10;

enum class ReadingFactor {
    kOne,
    kS1,
    kC1,
    kS2,
    kC2,
    kS3,
    kC3,
    kS4,
    kC4,
    kS5,
    kC5,
    kS6,
    kC6,
    kInverseRange,  // 1 / (R kDegToRad): the offsets X0 and Y0 act as angles over the range
    kSinQ,
    kCosQ,
    kEl,
    kEl2,
    kEl3,
    kDegree,  // kDegToRad: K_minus is held in degrees inside a polynomial of radians
};
inline constexpr std::size_t kReadingFactors = 20;

// One element: the sum it joins, its factor, whether it carries the face sign f and the
// temperature offset dT, and its sign in the sum.
struct ModelElementEntry {
    double TMapper::*element;
    ModelSum sum;
    ReadingFactor factor;
    bool face;
    bool drift;
    double sign;
};

// clang-format off
inline constexpr ModelElementEntry kModelElementEntries[] = {
    {&TMapper::D1, ModelSum::kD1, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::D2, ModelSum::kD2s, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::D2_AzS, ModelSum::kD2s, ReadingFactor::kS1, true, false, 1.0},
    {&TMapper::D2_AzC, ModelSum::kD2s, ReadingFactor::kC1, true, false, 1.0},
    {&TMapper::D2_dT, ModelSum::kD2s, ReadingFactor::kOne, false, true, 1.0},
    {&TMapper::A1, ModelSum::kA1s, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::A1_dT, ModelSum::kA1s, ReadingFactor::kOne, false, true, 1.0},
    {&TMapper::A1_AzS, ModelSum::kA1s, ReadingFactor::kS1, true, false, 1.0},
    {&TMapper::A1_AzC, ModelSum::kA1s, ReadingFactor::kC1, true, false, 1.0},
    {&TMapper::A1_2AzS, ModelSum::kA1s, ReadingFactor::kS2, false, false, 1.0},
    {&TMapper::A1_2AzS_dT, ModelSum::kA1s, ReadingFactor::kS2, false, true, 1.0},
    {&TMapper::A1_2AzC, ModelSum::kA1s, ReadingFactor::kC2, false, false, 1.0},
    {&TMapper::A1_2AzC_dT, ModelSum::kA1s, ReadingFactor::kC2, false, true, 1.0},
    {&TMapper::A1_3AzS, ModelSum::kA1s, ReadingFactor::kS3, true, false, 1.0},
    {&TMapper::A1_3AzC, ModelSum::kA1s, ReadingFactor::kC3, true, false, 1.0},
    {&TMapper::A1_4AzS, ModelSum::kA1s, ReadingFactor::kS4, false, false, 1.0},
    {&TMapper::A1_4AzC, ModelSum::kA1s, ReadingFactor::kC4, false, false, 1.0},
    {&TMapper::A1_5AzS, ModelSum::kA1s, ReadingFactor::kS5, true, false, 1.0},
    {&TMapper::A1_5AzC, ModelSum::kA1s, ReadingFactor::kC5, true, false, 1.0},
    {&TMapper::A1_6AzS, ModelSum::kA1s, ReadingFactor::kS6, false, false, 1.0},
    {&TMapper::A1_6AzC, ModelSum::kA1s, ReadingFactor::kC6, false, false, 1.0},
    {&TMapper::A3, ModelSum::kA3s, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::A3_dT, ModelSum::kA3s, ReadingFactor::kOne, false, true, 1.0},
    {&TMapper::A3_AzS, ModelSum::kA3s, ReadingFactor::kS1, true, false, 1.0},
    {&TMapper::A3_AzC, ModelSum::kA3s, ReadingFactor::kC1, true, false, 1.0},
    {&TMapper::A3_2AzS, ModelSum::kA3s, ReadingFactor::kS2, false, false, 1.0},
    {&TMapper::A3_2AzS_dT, ModelSum::kA3s, ReadingFactor::kS2, false, true, 1.0},
    {&TMapper::A3_2AzC, ModelSum::kA3s, ReadingFactor::kC2, false, false, 1.0},
    {&TMapper::A3_2AzC_dT, ModelSum::kA3s, ReadingFactor::kC2, false, true, 1.0},
    {&TMapper::A3_3AzS, ModelSum::kA3s, ReadingFactor::kS3, true, false, 1.0},
    {&TMapper::A3_3AzC, ModelSum::kA3s, ReadingFactor::kC3, true, false, 1.0},
    {&TMapper::A3_4AzS, ModelSum::kA3s, ReadingFactor::kS4, false, false, 1.0},
    {&TMapper::A3_4AzC, ModelSum::kA3s, ReadingFactor::kC4, false, false, 1.0},
    {&TMapper::A3_5AzS, ModelSum::kA3s, ReadingFactor::kS5, true, false, 1.0},
    {&TMapper::A3_5AzC, ModelSum::kA3s, ReadingFactor::kC5, true, false, 1.0},
    {&TMapper::A3_6AzS, ModelSum::kA3s, ReadingFactor::kS6, false, false, 1.0},
    {&TMapper::A3_6AzC, ModelSum::kA3s, ReadingFactor::kC6, false, false, 1.0},
    {&TMapper::X0, ModelSum::kP, ReadingFactor::kInverseRange, false, false, 1.0},
    {&TMapper::Ay, ModelSum::kP, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::Ay_dT, ModelSum::kP, ReadingFactor::kOne, false, true, 1.0},
    {&TMapper::Y0, ModelSum::kQ, ReadingFactor::kInverseRange, false, false, 1.0},
    {&TMapper::Ax, ModelSum::kQ, ReadingFactor::kOne, false, false, -1.0},
    {&TMapper::Ax_dT, ModelSum::kQ, ReadingFactor::kOne, false, true, -1.0},
    {&TMapper::Az_AzS, ModelSum::kAzimuth, ReadingFactor::kS1, true, false, -1.0},
    {&TMapper::Az_AzS_dT, ModelSum::kAzimuth, ReadingFactor::kS1, true, true, -1.0},
    {&TMapper::Az_AzC, ModelSum::kAzimuth, ReadingFactor::kC1, true, false, -1.0},
    {&TMapper::Az_AzC_dT, ModelSum::kAzimuth, ReadingFactor::kC1, true, true, -1.0},
    {&TMapper::Az_3AzS, ModelSum::kAzimuth, ReadingFactor::kS3, true, false, -1.0},
    {&TMapper::Az_3AzC, ModelSum::kAzimuth, ReadingFactor::kC3, true, false, -1.0},
    {&TMapper::Az_5AzS, ModelSum::kAzimuth, ReadingFactor::kS5, true, false, -1.0},
    {&TMapper::Az_5AzC, ModelSum::kAzimuth, ReadingFactor::kC5, true, false, -1.0},
    {&TMapper::Az_2AzS, ModelSum::kAzimuth, ReadingFactor::kS2, false, false, 1.0},
    {&TMapper::Az_2AzC, ModelSum::kAzimuth, ReadingFactor::kC2, false, false, 1.0},
    {&TMapper::Az_4AzS, ModelSum::kAzimuth, ReadingFactor::kS4, false, false, 1.0},
    {&TMapper::Az_4AzC, ModelSum::kAzimuth, ReadingFactor::kC4, false, false, 1.0},
    {&TMapper::Az_6AzS, ModelSum::kAzimuth, ReadingFactor::kS6, false, false, 1.0},
    {&TMapper::Az_6AzC, ModelSum::kAzimuth, ReadingFactor::kC6, false, false, 1.0},
    {&TMapper::A2, ModelSum::kA2s, ReadingFactor::kOne, false, false, 1.0},
    {&TMapper::A2_dT, ModelSum::kA2s, ReadingFactor::kOne, false, true, 1.0},
    {&TMapper::A2_3AzS, ModelSum::kA2s, ReadingFactor::kS3, true, false, 1.0},
    {&TMapper::A2_3AzC, ModelSum::kA2s, ReadingFactor::kC3, true, false, 1.0},
    {&TMapper::A2_5AzS, ModelSum::kA2s, ReadingFactor::kS5, true, false, 1.0},
    {&TMapper::A2_5AzC, ModelSum::kA2s, ReadingFactor::kC5, true, false, 1.0},
    {&TMapper::El_2AzS, ModelSum::kElevation, ReadingFactor::kS2, false, false, 1.0},
    {&TMapper::El_2AzS_dT, ModelSum::kElevation, ReadingFactor::kS2, false, true, 1.0},
    {&TMapper::El_2AzC, ModelSum::kElevation, ReadingFactor::kC2, false, false, 1.0},
    {&TMapper::El_2AzC_dT, ModelSum::kElevation, ReadingFactor::kC2, false, true, 1.0},
    {&TMapper::El_4AzS, ModelSum::kElevation, ReadingFactor::kS4, false, false, 1.0},
    {&TMapper::El_4AzC, ModelSum::kElevation, ReadingFactor::kC4, false, false, 1.0},
    {&TMapper::El_6AzS, ModelSum::kElevation, ReadingFactor::kS6, false, false, 1.0},
    {&TMapper::El_6AzC, ModelSum::kElevation, ReadingFactor::kC6, false, false, 1.0},
    {&TMapper::El_ElS, ModelSum::kElevation, ReadingFactor::kSinQ, false, false, 1.0},
    {&TMapper::El_ElS_dT, ModelSum::kElevation, ReadingFactor::kSinQ, false, true, 1.0},
    {&TMapper::El_ElC, ModelSum::kElevation, ReadingFactor::kCosQ, true, false, 1.0},
    {&TMapper::El_ElC_dT, ModelSum::kElevation, ReadingFactor::kCosQ, true, true, 1.0},
    {&TMapper::B_plus, ModelSum::kPolynomial, ReadingFactor::kEl, false, false, 1.0},
    {&TMapper::A_plus, ModelSum::kPolynomial, ReadingFactor::kEl2, false, false, 1.0},
    {&TMapper::C_plus, ModelSum::kPolynomial, ReadingFactor::kEl3, false, false, 1.0},
    {&TMapper::K_minus, ModelSum::kPolynomial, ReadingFactor::kDegree, true, false, 1.0},
    {&TMapper::B_minus, ModelSum::kPolynomial, ReadingFactor::kEl, true, false, 1.0},
    {&TMapper::A_minus, ModelSum::kPolynomial, ReadingFactor::kEl2, true, false, 1.0},
    {&TMapper::C_minus, ModelSum::kPolynomial, ReadingFactor::kEl3, true, false, 1.0},
};
// clang-format on

// The entry of an element, or nullptr for T_ref (the temperature terms' origin, no correction).
inline const ModelElementEntry* ModelElementEntryOf(double TMapper::*element) {
    for (const ModelElementEntry& entry : kModelElementEntries) {
        if (entry.element == element) {
            return &entry;
        }
    }
    return nullptr;
}

// The components of the calibrated reading (range, azimuth, elevation) that each sum reaches on
// any reading: the ways below that are not zero by their form.
inline constexpr bool kSumReaches[kModelSums][3] = {
    {true, false, true},   // D1
    {true, false, true},   // D2s
    {false, true, false},  // A1s
    {false, true, false},  // A3s
    {false, true, true},   // P
    {false, true, true},   // Q
    {false, true, false},  // azimuth series
    {false, false, true},  // A2s
    {false, false, true},  // elevation series
    {false, false, true},  // polynomials
};

inline bool Reaches(const ModelElementEntry& entry, std::size_t component) {
    return kSumReaches[static_cast<std::size_t>(entry.sum)][component];
}

// What one reading gives every element: the ways of the sums into the calibrated range (m),
// azimuth and elevation (rad), and the factors.
class ReadingColumns {
  public:
    // A reading whose face sign is set and not zero, with the terms of its raw angles and the
    // model's reference temperature.
    ReadingColumns(const CVector& v, const RawTerms& h, double tRef)
        : f_(static_cast<double>(v.FSBS)), dT_(v.T - tRef) {
        const double El = v.Elevation;
        const double Rk = v.Range * kDegToRad;
        const double sinq = h.sinq;
        const double cosq = h.cosq;
        // The azimuth correction is formed in degrees; the elevation correction also takes the
        // face sign.
        const double toAzimuth = kDegToRad;
        const double toElevation = f_ * kDegToRad;
        // Two divisions serve every way (f is +-1, so 1 / (f cos El) is f / cos El).
        const double overCos = 1.0 / h.cosEl;
        const double overRk = 1.0 / Rk;
        const double overFaceCos = f_ * overCos;
        Way(ModelSum::kD1, f_ * h.cosEl, 0.0, toElevation * (-2.0 * cosq * cosq * overRk));
        Way(ModelSum::kD2s, 2.0 * sinq - 1.0, 0.0, toElevation * (-2.0 * f_ * cosq * overRk));
        Way(ModelSum::kA1s, 0.0, toAzimuth * (-2.0 * sinq * sinq * overFaceCos), 0.0);
        Way(ModelSum::kA3s, 0.0, toAzimuth * (2.0 * sinq * overFaceCos), 0.0);
        Way(ModelSum::kP, 0.0, toAzimuth * (-h.s[1] * overCos), toElevation * f_ * h.c[1]);
        Way(ModelSum::kQ, 0.0, toAzimuth * (-h.c[1] * overCos), toElevation * (-f_ * h.s[1]));
        Way(ModelSum::kAzimuth, 0.0, toAzimuth, 0.0);
        Way(ModelSum::kA2s, 0.0, 0.0, -2.0 * toElevation);
        Way(ModelSum::kElevation, 0.0, 0.0, -toElevation);
        Way(ModelSum::kPolynomial, 0.0, 0.0, -toElevation * kPolyRadToDeg);
        // Written one by one: a copy through a local array reads back, two at a time, values
        // just stored one at a time, which the processor cannot forward.
        Factor(ReadingFactor::kOne, 1.0);
        static_assert(
            static_cast<int>(ReadingFactor::kC6) == static_cast<int>(ReadingFactor::kS1) + 11,
            "the harmonics' factors run sine, cosine, harmonic by harmonic");
        for (int k = 1; k <= 6; ++k) {
            Factor(static_cast<ReadingFactor>(static_cast<int>(ReadingFactor::kS1) + 2 * (k - 1)),
                   h.s[k]);
            Factor(static_cast<ReadingFactor>(static_cast<int>(ReadingFactor::kC1) + 2 * (k - 1)),
                   h.c[k]);
        }
        Factor(ReadingFactor::kInverseRange, overRk);
        Factor(ReadingFactor::kSinQ, sinq);
        Factor(ReadingFactor::kCosQ, cosq);
        Factor(ReadingFactor::kEl, El);
        Factor(ReadingFactor::kEl2, El * El);
        Factor(ReadingFactor::kEl3, El * El * El);
        Factor(ReadingFactor::kDegree, kDegToRad);
    }

    // d calibrated (range, azimuth, elevation) / d the entry's element, as stored.
    void Column(const ModelElementEntry& entry, double* column) const {
        const double value = Scale(entry);
        const double* way = WayOf(entry.sum);
        column[0] = way[0] * value;
        column[1] = way[1] * value;
        column[2] = way[2] * value;
    }

    // The entry's factor with its sign, the face sign and the temperature offset where it
    // carries them: its column is this times its sum's way.
    double Scale(const ModelElementEntry& entry) const {
        double value = entry.sign * factor_[static_cast<std::size_t>(entry.factor)];
        if (entry.face) {
            value *= f_;
        }
        if (entry.drift) {
            value *= dT_;
        }
        return value;
    }

    // How the sum reaches the calibrated range, azimuth and elevation.
    const double* WayOf(ModelSum sum) const { return way_[static_cast<std::size_t>(sum)]; }

    // What Scale takes of the reading: a factor, the face sign and the temperature offset.
    double Factor(ReadingFactor factor) const { return factor_[static_cast<std::size_t>(factor)]; }
    double Face() const { return f_; }
    double Drift() const { return dT_; }

  private:
    void Factor(ReadingFactor factor, double value) {
        factor_[static_cast<std::size_t>(factor)] = value;
    }

    void Way(ModelSum sum, double range, double azimuth, double elevation) {
        double* way = way_[static_cast<std::size_t>(sum)];
        way[0] = range;
        way[1] = azimuth;
        way[2] = elevation;
    }

    double f_;
    double dT_;
    double way_[kModelSums][3];       // every sum's way is set by the constructor
    double factor_[kReadingFactors];  // and every factor
};

}  // namespace compensation::detail

#endif  // COMPENSATION_MODEL_ELEMENT_COLUMNS_H
