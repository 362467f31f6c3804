// The skeleton shared by the two-face fits.
//
// A target seen in both faces should give one point; what differs between the faces is the
// signature of the face-dependent errors. Every two-face fit runs the same loop over the live
// front-sight/back-sight pairs: calibrate copies of both faces, solve the range stage, calibrate
// again with the fitted elements at zero, solve the data stages, write the solved values, and
// evaluate the face differences left over, ending with either the outlier test (reject the
// worst pair) or the convergence test (did any element move). A member of the family is data:
// its stages (element tables with scale factors, design rows, observations), its least pair
// count and code, its spread fields and limits, its worst-pair measure, and the limits its
// stages' elements settle by, less those that follow from the others.
#ifndef COMPENSATION_FITS_TWO_FACE_FIT_H
#define COMPENSATION_FITS_TWO_FACE_FIT_H

#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "compensation/engine.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "fits/table.h"
#include "report/fit_derivatives.h"

namespace compensation::detail::two_face {

// --- Least live pair counts (the codes and the least counts they cite are in
// engine/result_codes.h) -----------------------------------------------------------------
// The pair-of-pairs estimator needs one pair to average the range differences over.
inline constexpr int kPairOfPairsMinimumPairs = 1;

// --- Constants of single members --------------------------------------------------------
// The FBB fit solves the whole elevation face difference: a quarter of kRadToDeg turns its
// constant into A2, and half of each polynomial coefficient is the per-face term.
inline constexpr double kFbbA2Factor = kQuarterRadToDeg;
inline constexpr double kFbbPolynomialFactor = 0.5;
// Two pairs determine A1, A3, A2 and El_ElS only when their half-angle sines differ by more
// than this.
inline constexpr double kMinSineSpread = 0.2;
// A spread limit that is never exceeded: the statistic is written but not tested.
inline constexpr double kUntested = std::numeric_limits<double>::infinity();
// The widest design row (the six-harmonic azimuth stage).
inline constexpr int kMaxColumns = 20;

using ElementTable = Table<double TMapper::*>;

// One solved parameter: the model element it is written to and the factor from the solved
// value (radians, or metres for range elements) to the stored unit.
struct FittedElement {
    double TMapper::*element;
    double scale;
};

// The two faces of one live pair after calibration (f = front-sight copy, b = back-sight copy).
struct CalibratedPair {
    int index;        // position in the host's pair arrays
    double dR;        // R_f - R_b
    double dAz;       // Az_f - Az_b, radians, not wrapped
    double dEl;       // El_f - El_b, radians
    double azF;       // calibrated front-sight azimuth
    double elF;       // calibrated front-sight elevation
    double h;         // the model's half-angle pi/4 - El_f/2
    double distance;  // between the two calibrated points
};

struct Stage;
enum class StageOutcome { kSolved, kTooFew, kSingular };

// How a design row moves with the front sight's calibrated azimuth and elevation (the
// half-angle h = pi/4 - El_f/2 moving by -1/2 per radian of elevation), per radian.
struct RowSlopes {
    double byAzimuth[kMaxColumns];
    double byElevation[kMaxColumns];
};

// How an observation moves with the pair's fields, per metre or radian.
struct ObservationSlopes {
    double byRangeDifference;
    double byAzimuthDifference;
    double byElevationDifference;
    double byFrontAzimuth;
    double byFrontElevation;
};

// Design row of a pair; fills the stage's `columns` leading entries (its element count) and
// may fill more. The harmonic rows compute only the harmonics those columns read. With
// `slopes`, also the row's slopes over the same entries (the run report's linearisation).
using RowFunction = void (*)(const CalibratedPair& pair, int columns, double* row,
                             RowSlopes* slopes);
// An observation of a pair; with `slopes`, also its slopes.
using ObservationFunction = double (*)(const CalibratedPair& pair, ObservationSlopes* slopes);
// Fills one solved value per element of the stage, in table order.
using StageSolver = StageOutcome (*)(const Stage& stage, const std::vector<CalibratedPair>& pairs,
                                     double* solution);

// One estimation stage: a least-squares fit (row, observation, normalisation) or another
// estimator that reads the calibrated pairs itself.
struct Stage {
    Table<FittedElement> elements;
    StageSolver solve;
    RowFunction row;
    ObservationFunction observation;
    // Right-hand side factor: 0.5 fits half the face difference (the per-face error).
    double rhsScale;
    // The (0,0) entry of the normal matrix is set to exactly 1.0 (the mean of a unit column).
    bool unitLeadingEntry;
};

enum class ChangeNorm { kLargest, kEuclidean };

// Where the spreads of the face differences go and the limits of the outlier test.
struct SpreadRecord {
    double TCompOut::*range;
    double TCompOut::*azimuth;
    double TCompOut::*elevation;
    double rangeLimit;
    double azimuthLimit;
    double elevationLimit;
};

using WorstMeasure = double (*)(const CalibratedPair& pair);

// A member of the two-face family, built by TwoFaceFitOf and set by field name.
struct TwoFaceFit : Labelled<TwoFaceFit> {
    // Fitted from the range pass, with its elements at zero.
    Stage range;
    // Fitted from the data pass, with their elements and the work elements at zero; solved
    // in order, written together.
    Table<Stage> data;
    // Zero the data stages' elements before the range pass as well, so that the range pass
    // sees none of them.
    bool zeroDataElementsFirst;
    // Elements the fit clears while it works and puts back before a normal return.
    ElementTable workElements;
    int minimumPairs;
    int tooFewCode;
    // A convergence call with too few pairs still reports whether the zeroing moved anything.
    bool convergenceTestWhenTooFew;
    SpreadRecord spreads;
    WorstMeasure worst;
    // The convergence test: the call has not settled when the range stage's elements or the
    // data stages' elements moved by more than their limit. Elements that follow from the
    // others are named in `notSettling` and do not decide it.
    ElementTable notSettling;
    double rangeLimit;  // largest change of a range element
    double dataLimit;   // change of the data elements as a whole, in `dataNorm`
    ChangeNorm dataNorm;

    // The full fits' least pair count and code, with the convergence test when too few.
    constexpr TwoFaceFit DemandingFullPairCount() const {
        return With(&TwoFaceFit::minimumPairs, kFullMinimumPairs)
            .With(&TwoFaceFit::tooFewCode, kTooFewFull)
            .With(&TwoFaceFit::convergenceTestWhenTooFew, true);
    }
};

// --- Design rows shared by several members ------------------------------------------------
// (1): with the observation below, the one-column fit is the mean.
void UnitRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// (2 sin 2h, 2 g sin Az, 2 g cos Az), g = 2 sin h - 1: D1, D2_AzS, D2_AzC.
void HarmonicRangeRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// (tan h, -1/cos h, sin Az, cos Az): A1, A3, Az_AzS, Az_AzC.
void QuickAzimuthRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// With t = tan h, u = -1/cos h, s_k = sin k Az, c_k = cos k Az, twenty columns:
// t, t s2, t c2, t s4, t c4, u, u s2, u c2, u s4, u c4, s1, c1, s3, c3,
// t s6, t c6, u s6, u c6, s5, c5.
void HarmonicAzimuthRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// (1, s2, c2, sin h, s4, c4, s6, c6).
void HarmonicElevationRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// (1, sin h).
void ElevationSineRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);
// (1, El_f, El_f^2, El_f^3).
void CubicElevationRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes);

// --- Observations -----------------------------------------------------------------------
// -dR / (2 cos El_f): the D1 of one pair.
double HalfRangeDifferenceOverCosine(const CalibratedPair& pair, ObservationSlopes* slopes);
// R_b - R_f.
double RangeBackMinusFront(const CalibratedPair& pair, ObservationSlopes* slopes);
double AzimuthDifference(const CalibratedPair& pair, ObservationSlopes* slopes);
double ElevationDifference(const CalibratedPair& pair, ObservationSlopes* slopes);

// --- Worst-pair measures ----------------------------------------------------------------
double PairDistance(const CalibratedPair& pair);
double AbsoluteElevationDifference(const CalibratedPair& pair);

// --- Solvers ----------------------------------------------------------------------------
// Normal equations (1/N) sum x x^T p = rhsScale (1/N) sum x y over per-column arrays, built
// in blocks (engine/determined_solve.h); upper triangle summed and mirrored.
StageOutcome SolveLeastSquares(const Stage& stage, const std::vector<CalibratedPair>& pairs,
                               double* solution);

// --- Stages shared by several members -----------------------------------------------------
inline constexpr FittedElement kMeanRangeElements[] = {{&TMapper::D1, 1.0}};
inline constexpr FittedElement kHarmonicRangeElements[] = {
    {&TMapper::D1, 1.0}, {&TMapper::D2_AzS, 1.0}, {&TMapper::D2_AzC, 1.0}};

// D1 as the mean of -dR / (2 cos El_f).
inline constexpr Stage kMeanRangeStage = {
    kMeanRangeElements, SolveLeastSquares, UnitRow, HalfRangeDifferenceOverCosine, 1.0, true};
// D1, D2_AzS, D2_AzC from R_b - R_f.
inline constexpr Stage kHarmonicRangeStage = {
    kHarmonicRangeElements, SolveLeastSquares, HarmonicRangeRow, RangeBackMinusFront, 1.0, false};

// A least-squares fit of half a face difference.
constexpr Stage HalfDifferenceStage(Table<FittedElement> elements, RowFunction row,
                                    ObservationFunction observation, bool unitLeadingEntry) {
    return Stage{elements, SolveLeastSquares, row, observation, 0.5, unitLeadingEntry};
}

// Half the azimuth face difference over the columns of QuickAzimuthRow: the quick and EFC fits.
inline constexpr FittedElement kQuickAzimuthElements[] = {{&TMapper::A1, kRadToDeg},
                                                          {&TMapper::A3, kRadToDeg},
                                                          {&TMapper::Az_AzS, kRadToDeg},
                                                          {&TMapper::Az_AzC, kRadToDeg}};
inline constexpr Stage kQuickAzimuthStage =
    HalfDifferenceStage(kQuickAzimuthElements, QuickAzimuthRow, AzimuthDifference, false);

// The harmonic elements in the column order of HarmonicAzimuthRow and HarmonicElevationRow.
// Each smaller fit solves a leading part: the full fit the first 10 azimuth columns (the A1
// and A3 series), 14 with the odd harmonics of the Az series, the six-harmonic fit all 20; the
// quick fit the first 4 elevation columns, the full fit 6, the six-harmonic fit all 8. The
// elevation correction carries 2 A2, so A2 takes half the degree factor.
inline constexpr FittedElement kHarmonicAzimuthElements[] = {
    {&TMapper::A1, kRadToDeg},      {&TMapper::A1_2AzS, kRadToDeg}, {&TMapper::A1_2AzC, kRadToDeg},
    {&TMapper::A1_4AzS, kRadToDeg}, {&TMapper::A1_4AzC, kRadToDeg}, {&TMapper::A3, kRadToDeg},
    {&TMapper::A3_2AzS, kRadToDeg}, {&TMapper::A3_2AzC, kRadToDeg}, {&TMapper::A3_4AzS, kRadToDeg},
    {&TMapper::A3_4AzC, kRadToDeg}, {&TMapper::Az_AzS, kRadToDeg},  {&TMapper::Az_AzC, kRadToDeg},
    {&TMapper::Az_3AzS, kRadToDeg}, {&TMapper::Az_3AzC, kRadToDeg}, {&TMapper::A1_6AzS, kRadToDeg},
    {&TMapper::A1_6AzC, kRadToDeg}, {&TMapper::A3_6AzS, kRadToDeg}, {&TMapper::A3_6AzC, kRadToDeg},
    {&TMapper::Az_5AzS, kRadToDeg}, {&TMapper::Az_5AzC, kRadToDeg}};
inline constexpr FittedElement kHarmonicElevationElements[] = {
    {&TMapper::A2, kHalfRadToDeg},  {&TMapper::El_2AzS, kRadToDeg}, {&TMapper::El_2AzC, kRadToDeg},
    {&TMapper::El_ElS, kRadToDeg},  {&TMapper::El_4AzS, kRadToDeg}, {&TMapper::El_4AzC, kRadToDeg},
    {&TMapper::El_6AzS, kRadToDeg}, {&TMapper::El_6AzC, kRadToDeg}};
inline constexpr std::size_t kSeriesAzimuthColumns = 10;
inline constexpr std::size_t kFullAzimuthColumns = 14;
inline constexpr std::size_t kQuickElevationColumns = 4;
inline constexpr std::size_t kFullElevationColumns = 6;

constexpr Stage HarmonicAzimuthStage(std::size_t columns) {
    return HalfDifferenceStage(Table<FittedElement>(kHarmonicAzimuthElements).Leading(columns),
                               HarmonicAzimuthRow, AzimuthDifference, false);
}
constexpr Stage HarmonicElevationStage(std::size_t columns) {
    return HalfDifferenceStage(Table<FittedElement>(kHarmonicElevationElements).Leading(columns),
                               HarmonicElevationRow, ElevationDifference, true);
}

// The spreads of the main two-face fits, all three tested.
inline constexpr SpreadRecord kMainSpreads = {&TCompOut::m_dStdR_fb,  &TCompOut::m_dStdAz_fb,
                                              &TCompOut::m_dStdEl_fb, kRejectSpread,
                                              kTwoFaceSpreadDeg,      kTwoFaceSpreadDeg};

// A two-face fit with the quick fits' settings: at least kQuickMinimumPairs live pairs, the
// main spreads all tested, the pair farthest apart the worst, and every fitted element
// settling by its largest change (lengths in metres, angles in degrees).
constexpr TwoFaceFit TwoFaceFitOf(Stage range, Table<Stage> data) {
    return {{},
            range,
            data,
            false,               // zeroDataElementsFirst
            {},                  // workElements
            kQuickMinimumPairs,  // minimumPairs
            kTooFewQuick,        // tooFewCode
            false,               // convergenceTestWhenTooFew
            kMainSpreads,        // spreads
            PairDistance,        // worst
            {},                  // notSettling
            kLengthTolerance,    // rangeLimit
            kAngleToleranceDeg,  // dataLimit
            ChangeNorm::kLargest};
}

// D1 and A2 follow from the other terms of the harmonic fits and do not decide settling.
inline constexpr double TMapper::*kHarmonicDerivedTerms[] = {&TMapper::D1, &TMapper::A2};

// The full and six-harmonic fits: the harmonic range terms, then the given data stages.
constexpr TwoFaceFit HarmonicFit(Table<Stage> data) {
    return TwoFaceFitOf(kHarmonicRangeStage, data)
        .DemandingFullPairCount()
        .With(&TwoFaceFit::notSettling, kHarmonicDerivedTerms);
}

// Runs one call of a two-face fit. Host input that does not fit (no model, no result record,
// or pair arrays missing for a positive count) returns kInvalidInput with nothing written.
int RunTwoFaceFit(const TwoFaceFit& fit, CVector* front, CVector* back, TMapper* model,
                  int pairCount, TCompOut* out, int flagClassify);

// How one call of `fit` on the pairs of the snapshot's sets `frontSet` and `backSet` moves its
// elements with the readings and the model, at `model` (report/fit_derivatives.h); nothing when
// a stage is no least-squares fit or leaves an element undetermined.
std::optional<FitDerivatives> TwoFaceRows(const TwoFaceFit& fit, const Snapshot& snapshot,
                                          int frontSet, int backSet, int pairCount,
                                          const TMapper& model,
                                          const std::vector<double TMapper::*>& inputs);

// The elements one call of `fit` writes: its stages' elements less the work elements it puts
// back.
std::vector<double TMapper::*> TwoFaceOutputs(const TwoFaceFit& fit);

// The members the procedures' final joint loops call.
const TwoFaceFit& QuickFit();
const TwoFaceFit& FullFit(bool azimuthHarmonics);
const TwoFaceFit& SixHarmonicFit();
const TwoFaceFit& FbbFit();

}  // namespace compensation::detail::two_face

#endif  // COMPENSATION_FITS_TWO_FACE_FIT_H
