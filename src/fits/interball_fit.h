// The general interball fit: model elements from the constancy of target-to-target distances.
//
// The same targets are measured from several instrument orientations (views). A distance between
// two targets does not depend on the view, so after a correct calibration every view gives the
// same distance for a pair. The fit calibrates with its elements at zero, linearises the squared
// pair distance s in them,
//
//     s_true = s + sum_p p * a_p,   a_p = 2 (A - B) . (g_p(A) - g_p(B)),
//
// where g_p is the displacement of a calibrated point per radian of element p, and chooses the
// elements (one free constant per pair) that make s_true equal across the views of every pair.
// The members of the family differ only in their element table.
#ifndef COMPENSATION_FITS_INTERBALL_FIT_H
#define COMPENSATION_FITS_INTERBALL_FIT_H

#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "compensation/engine.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "fits/table.h"
#include "model/raw_terms.h"
#include "model/vec3.h"
#include "report/fit_derivatives.h"

namespace compensation {

// --- Limits of the interball fits (their codes are in engine/result_codes.h) -------------------
// A pair seen in this many live views or fewer says nothing about the constancy of its distance.
inline constexpr int kInterballMaxViewsDropped = 2;
// Rejection stops once no more than this fraction of the possible pair-view distances remains.
inline constexpr double kInterballKeptFraction = 0.7;

namespace detail {

// What the design functions read of one calibrated measurement. Angles in radians; q is the
// model's half-angle pi/4 - El/2, and the fits evaluate sin El and cos El as cos 2q and sin 2q.
struct InterballTerms {
    double R;
    double X;
    double Z;
    double sinq;
    double sin2q;     // cos El
    double cos2q;     // sin El
    double sinAz[7];  // sin(k Az), k = 0 .. 6
    double cosAz[7];  // cos(k Az)

    // The azimuth harmonics up to `harmonics` (a table's highest, see InterballElement): the
    // quick fit reads only the first, and the others cost two thirds of the terms. Those above
    // are left at 0 and never read.
    explicit InterballTerms(const CVector& v, int harmonics = kMostHarmonic)
        : R(v.Range), X(v.X), Z(v.Z), sinq(0), sin2q(0), cos2q(0), sinAz(), cosAz() {
        const double q = kQuarterPi - 0.5 * v.Elevation;
        sinq = std::sin(q);
        sin2q = std::sin(2.0 * q);
        cos2q = std::cos(2.0 * q);
        for (int k = 0; k <= harmonics; ++k) {
            sinAz[k] = std::sin(k * v.Azimuth);
            cosAz[k] = std::cos(k * v.Azimuth);
        }
    }

    static constexpr int kMostHarmonic = 6;
};

using InterballDesignFunction = double (*)(const InterballTerms&);

// How an element moves a calibrated point.
enum class InterballDisplacement {
    // Through the angles: the elevation changes by beta per radian of the element and the point
    // moves horizontally by alpha R (alpha is cos El times the azimuth change).
    kAngles,
    // Through the azimuth alone, by the harmonic h (the Az_ elements): the point turns about the
    // vertical axis, written from the point itself as (-Z h, 0, X h).
    kAzimuthHarmonic,
};

// One row of a parameter table: the element, and how a radian of it moves a calibrated point.
struct InterballElement {
    double TMapper::*element;
    InterballDisplacement kind;
    InterballDesignFunction alpha;     // kAngles: horizontal displacement over R
    InterballDesignFunction beta;      // kAngles: elevation change
    InterballDesignFunction harmonic;  // kAzimuthHarmonic: azimuth change
    int order;                         // the highest azimuth harmonic the functions read
};

// g_p: change of the calibrated X, Y, Z per radian of the element, as CVector::Calibrate applies
// it. The face sign cancels for every element of these tables, so the columns do not read it.
inline Vec3 DisplacementOf(const InterballElement& row, const InterballTerms& m) {
    const double sinAz = m.sinAz[1];
    const double cosAz = m.cosAz[1];
    if (row.kind == InterballDisplacement::kAzimuthHarmonic) {
        const double h = row.harmonic(m);
        return {-m.Z * h, 0.0, m.X * h};
    }
    const double alpha = row.alpha(m);
    const double beta = row.beta(m);
    const double sinEl = m.cos2q;
    const double cosEl = m.sin2q;
    return {-m.R * cosAz * alpha + m.R * sinAz * sinEl * beta, m.R * cosEl * beta,
            -m.R * sinAz * alpha - m.R * cosAz * sinEl * beta};
}

// An ordered parameter set: row index, matrix row and column and solution index are one number.
using InterballTable = Table<InterballElement>;

// The host's arguments, as every interball fit takes them.
struct InterballInput {
    CVector* measurements;  // viewCount views of targetCount targets: target i of view k at
                            // k targetCount + i
    int targetCount;
    int viewCount;
    int* pairTable;  // one entry per pair i < j in lexicographic order; 0 = used
    TMapper* model;
    TCompOut* out;
    int flagClassify;  // 0 allows the rejection of the worst pair
};

// Runs the fit with the given parameter set. Result: 0, kInterballRejected,
// kInterballNotConverged or their sum; kInvalidInput when the counts or pointers cannot describe
// the arrays (nothing written).
int RunInterballFit(const InterballInput& input, InterballTable table);

// --- The stages of a call, shared by the fit and its rows --------------------------------------

// The raw terms of every live measurement: both calibrations of a call read the same readings,
// and the calls of one procedure run find them in the run's cache.
std::vector<RawTerms> RawTermsOfLive(const InterballInput& in);

// Copies of the live measurements calibrated with the given model; the host's array is never
// calibrated. Dead measurements are left as they are and never read.
void CalibrateLive(const InterballInput& in, const TMapper& model,
                   const std::vector<RawTerms>& terms, std::vector<CVector>& calibrated);

// Centred design rows: the squared distance s and one column a_p per element, each pair's block
// shifted to its own mean so that the unknown per-pair distance drops out; and the two
// measurements (k targetCount + i, k targetCount + j) each row is formed from.
struct DesignRows {
    std::vector<double> s;
    std::vector<std::vector<double>> a;
    std::vector<std::pair<std::size_t, std::size_t>> ends;
    int count() const { return static_cast<int>(s.size()); }
};

DesignRows BuildDesignRows(const InterballInput& in, InterballTable table,
                           const std::vector<CVector>& calibrated);

// The normal equations of the rows as means over them: matrix (n x n, row by row) and
// right-hand side (the columns' mean products with s).
void FormNormalEquations(const DesignRows& rows, std::vector<double>& matrix,
                         std::vector<double>& rhs);

// --- The members' tables and the family's rows -------------------------------------------------

// The quick fit's table: Ax and Ay.
InterballTable QuickInterballTable();

// The full fit's table; the azimuth harmonics only when the flag is exactly 1.
InterballTable FullInterballTable(int flagAzHarmonics);

// The first-order response of the fit's elements, at `model`, to the live measurements of
// `snapshot`'s set `set` (laid out as the fit takes them, over the snapshot's pair table) and,
// through the calibration, to the model's other elements: the fit's rows for the run report.
// Nothing when the fit would not solve (its elements then keep their entry values).
std::optional<FitDerivatives> InterballFitRows(const Snapshot& snapshot, int set, int targetCount,
                                               int viewCount, InterballTable table,
                                               const TMapper& model,
                                               const std::vector<double TMapper::*>& inputs);

}  // namespace detail
}  // namespace compensation

// --- The rows from which the interball parameter tables are built, each element written once.
//
// alpha and beta follow from CVector::Calibrate. With f the face sign, the azimuth correction of
// an element enters as (...)/(f cos El) and the elevation bracket is applied times f, so an
// element whose series term carries f (the odd harmonics) moves a point the same way in both
// faces:
//   Ax:        dAz = Ax cos Az / cos El,            dEl = Ax sin Az;
//   Ay:        dAz = -Ay sin Az / cos El,           dEl = Ay cos Az;
//   A1 series: dAz = -2 sin^2 q A1 h / cos El;      A3 series: dAz = 2 sin q A3 h / cos El;
//   A2 series: dEl = -2 A2 h;                       Az_ harmonics: dAz = Az_ h.
// alpha is cos El times the azimuth change and beta the elevation change, per radian.
namespace compensation::detail::interball_rows {

inline double Zero(const InterballTerms&) {
    return 0.0;
}

inline double AxAlpha(const InterballTerms& m) {
    return m.cosAz[1];
}
inline double AxBeta(const InterballTerms& m) {
    return m.sinAz[1];
}
inline double AyAlpha(const InterballTerms& m) {
    return -m.sinAz[1];
}
inline double AyBeta(const InterballTerms& m) {
    return m.cosAz[1];
}

template <int K>
double A1SinAlpha(const InterballTerms& m) {
    return -2.0 * m.sinq * m.sinq * m.sinAz[K];
}
template <int K>
double A1CosAlpha(const InterballTerms& m) {
    return -2.0 * m.sinq * m.sinq * m.cosAz[K];
}
template <int K>
double A2SinBeta(const InterballTerms& m) {
    return -2.0 * m.sinAz[K];
}
template <int K>
double A2CosBeta(const InterballTerms& m) {
    return -2.0 * m.cosAz[K];
}
template <int K>
double A3SinAlpha(const InterballTerms& m) {
    return 2.0 * m.sinq * m.sinAz[K];
}
template <int K>
double A3CosAlpha(const InterballTerms& m) {
    return 2.0 * m.sinq * m.cosAz[K];
}
template <int K>
double SinHarmonic(const InterballTerms& m) {
    return m.sinAz[K];
}
template <int K>
double CosHarmonic(const InterballTerms& m) {
    return m.cosAz[K];
}

// Every row reads the first azimuth harmonic (DisplacementOf does); a series row also its own.
constexpr InterballElement AngleRow(double TMapper::*element, InterballDesignFunction alpha,
                                    InterballDesignFunction beta, int order = 1) {
    return {element, InterballDisplacement::kAngles, alpha, beta, nullptr, order};
}

constexpr InterballElement HarmonicRow(double TMapper::*element, InterballDesignFunction harmonic,
                                       int order) {
    return {element, InterballDisplacement::kAzimuthHarmonic, nullptr, nullptr, harmonic, order};
}

inline constexpr InterballElement kAx = AngleRow(&TMapper::Ax, AxAlpha, AxBeta);
inline constexpr InterballElement kAy = AngleRow(&TMapper::Ay, AyAlpha, AyBeta);

inline constexpr InterballElement kA1_AzS = AngleRow(&TMapper::A1_AzS, A1SinAlpha<1>, Zero);
inline constexpr InterballElement kA1_AzC = AngleRow(&TMapper::A1_AzC, A1CosAlpha<1>, Zero);
inline constexpr InterballElement kA1_3AzS = AngleRow(&TMapper::A1_3AzS, A1SinAlpha<3>, Zero, 3);
inline constexpr InterballElement kA1_3AzC = AngleRow(&TMapper::A1_3AzC, A1CosAlpha<3>, Zero, 3);
inline constexpr InterballElement kA1_5AzS = AngleRow(&TMapper::A1_5AzS, A1SinAlpha<5>, Zero, 5);
inline constexpr InterballElement kA1_5AzC = AngleRow(&TMapper::A1_5AzC, A1CosAlpha<5>, Zero, 5);

inline constexpr InterballElement kA2_3AzS = AngleRow(&TMapper::A2_3AzS, Zero, A2SinBeta<3>, 3);
inline constexpr InterballElement kA2_3AzC = AngleRow(&TMapper::A2_3AzC, Zero, A2CosBeta<3>, 3);
inline constexpr InterballElement kA2_5AzS = AngleRow(&TMapper::A2_5AzS, Zero, A2SinBeta<5>, 5);
inline constexpr InterballElement kA2_5AzC = AngleRow(&TMapper::A2_5AzC, Zero, A2CosBeta<5>, 5);

inline constexpr InterballElement kA3_AzS = AngleRow(&TMapper::A3_AzS, A3SinAlpha<1>, Zero);
inline constexpr InterballElement kA3_AzC = AngleRow(&TMapper::A3_AzC, A3CosAlpha<1>, Zero);
inline constexpr InterballElement kA3_3AzS = AngleRow(&TMapper::A3_3AzS, A3SinAlpha<3>, Zero, 3);
inline constexpr InterballElement kA3_3AzC = AngleRow(&TMapper::A3_3AzC, A3CosAlpha<3>, Zero, 3);
inline constexpr InterballElement kA3_5AzS = AngleRow(&TMapper::A3_5AzS, A3SinAlpha<5>, Zero, 5);
inline constexpr InterballElement kA3_5AzC = AngleRow(&TMapper::A3_5AzC, A3CosAlpha<5>, Zero, 5);

inline constexpr InterballElement kAz_2AzS = HarmonicRow(&TMapper::Az_2AzS, SinHarmonic<2>, 2);
inline constexpr InterballElement kAz_2AzC = HarmonicRow(&TMapper::Az_2AzC, CosHarmonic<2>, 2);
inline constexpr InterballElement kAz_4AzS = HarmonicRow(&TMapper::Az_4AzS, SinHarmonic<4>, 4);
inline constexpr InterballElement kAz_4AzC = HarmonicRow(&TMapper::Az_4AzC, CosHarmonic<4>, 4);
inline constexpr InterballElement kAz_6AzS = HarmonicRow(&TMapper::Az_6AzS, SinHarmonic<6>, 6);
inline constexpr InterballElement kAz_6AzC = HarmonicRow(&TMapper::Az_6AzC, CosHarmonic<6>, 6);

// The harmonic interball fits' rows in solution order. Each smaller fit solves a leading part:
// the full fit without its azimuth harmonics the first 12 rows, with them the first 16, the
// six-harmonic fit all 24 (the fifth harmonics of the three series and the sixth of the
// azimuth correction come last).
inline constexpr InterballElement kHarmonicTable[] = {
    kAx,      kAy,      kA1_AzS,  kA1_AzC,  kA1_3AzS, kA1_3AzC, kA2_3AzS, kA2_3AzC,
    kA3_AzS,  kA3_AzC,  kA3_3AzS, kA3_3AzC, kAz_2AzS, kAz_2AzC, kAz_4AzS, kAz_4AzC,
    kA1_5AzS, kA1_5AzC, kA2_5AzS, kA2_5AzC, kA3_5AzS, kA3_5AzC, kAz_6AzS, kAz_6AzC,
};
inline constexpr std::size_t kFullRowsWithoutAzHarmonics = 12;
inline constexpr std::size_t kFullRows = 16;

}  // namespace compensation::detail::interball_rows

#endif  // COMPENSATION_FITS_INTERBALL_FIT_H
