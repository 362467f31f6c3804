// The closed-form pair fits: X0 and Y0, Ax and Ay, D2, K_minus.
//
// Every pair of such a fit shows the same two targets, so once the instrument is calibrated
// correctly all pairs have the same separation L. A fit saves its elements and sets them to 0,
// calibrates copies of the live pairs, and from each pair's squared separation d and its
// first-order slopes a, b per unit of the elements (see point_gradients.h) solves
//   d + e1 a + e2 b = L^2
// for the new absolute values e1, e2. One call is one closed-form step; the caller repeats it
// while other elements change. A converged call may then reject the worst pair.
//
// The fits differ only in the data below: their elements and gradients, units, how L is pinned
// down, the form of their residuals, limits, codes and result fields.
#ifndef COMPENSATION_FITS_PAIR_FIT_H
#define COMPENSATION_FITS_PAIR_FIT_H

#include <limits>
#include <string>

#include "compensation/engine.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "fits/fit_support.h"
#include "fits/point_gradients.h"
#include "fits/table.h"
#include "report/fit_derivatives.h"

namespace compensation {
namespace detail {

// How the common separation L is pinned down.
enum class SeparationSource {
    // L is a free constant fitted together with two elements (least squares, 2 x 2 closed form).
    kFreeConstant,
    // L is that of a second group of outside pairs of the same two targets: each combination of
    // an outside pair with a pair of the fit gives one estimate of the single element, and the
    // mean of all estimates is taken.
    kOutsidePairs,
};

// How a free-constant fit forms the residual whose spread it reports.
enum class ResidualForm {
    // (mean d - d) - (a - mean a) e1 - (b - mean b) e2
    kCentredDeficit,
    // d + (a e1 + b e2) * fromModelUnit: the corrected squared separation itself
    kCorrectedSeparation,
};

// One element of a pair fit and the change of a calibrated point per unit of it.
struct PairElement {
    double TMapper::*element;
    PointGradient gradient;
};

struct PairFit : Labelled<PairFit> {
    SeparationSource source;
    Table<PairElement> elements;  // two for a free constant, one against outside pairs
    // The model's unit per unit of the gradients (1 for lengths, kRadToDeg for angles held in
    // degrees), and its inverse as the model applies it (1 or kDegToRad).
    double toModelUnit;
    double fromModelUnit;
    double tolerance;           // largest change of an element, in the model's unit, that settles
    ResidualForm residualForm;  // free-constant fits only
    int minCountOffset;         // the least number of live pairs is m_nMinCount + this
    int tooFewCode;
    int rejectedCode;
    int notConvergedCode;
    double TCompOut::*spreadField;     // spread of the separations (length)
    double TCompOut::*precisionField;  // uncertainty of the estimate
    double precisionFactor;            // free-constant fits: scale of that uncertainty
    // The legacy member's name after "Calculate_", which its trace lines carry; null for a fit
    // that traces nothing of its own.
    const char* traceName;

    // The codes of too few live pairs, a rejected pair and an unsettled call.
    constexpr PairFit WithCodes(int tooFew, int rejected, int notConverged) const {
        return With(&PairFit::tooFewCode, tooFew)
            .With(&PairFit::rejectedCode, rejected)
            .With(&PairFit::notConvergedCode, notConverged);
    }
    // The result fields of the separations' spread and of the estimate's uncertainty.
    constexpr PairFit ReportingIn(double TCompOut::*spread, double TCompOut::*precision) const {
        return With(&PairFit::spreadField, spread).With(&PairFit::precisionField, precision);
    }
    // Elements held in degrees, solved per radian, settling by kAngleToleranceDeg.
    constexpr PairFit InDegrees() const {
        return With(&PairFit::toModelUnit, kRadToDeg)
            .With(&PairFit::fromModelUnit, kDegToRad)
            .With(&PairFit::tolerance, kAngleToleranceDeg);
    }
};

// A fit of lengths in metres settling by kLengthTolerance, with the outside-pair fits' codes
// and without a precision factor; With and InDegrees set what differs.
constexpr PairFit PairFitOf(SeparationSource source, Table<PairElement> elements) {
    return {{},
            source,
            elements,
            1.0,               // toModelUnit
            1.0,               // fromModelUnit
            kLengthTolerance,  // tolerance
            ResidualForm::kCorrectedSeparation,
            0,  // minCountOffset
            kOutsidePairTooFew,
            kOutsidePairRejected,
            kOutsidePairNotConverged,
            nullptr,   // spreadField
            nullptr,   // precisionField
            0.0,       // precisionFactor
            nullptr};  // traceName
}

struct PairFitInput {
    CVector* pairs;  // pair k = elements 2k and 2k + 1; Quality marks rejections
    int pairCount;
    const CVector* outside;  // outside pairs (kOutsidePairs only); never changed
    int outsidePairCount;
    TMapper* map;
    TCompOut* out;
    int flagClassify;  // 0: a converged call may reject the worst pair
};

// One step of the fit; returns its status code. The input must already be checked: pointers
// valid for the counts given, counts not negative.
int RunPairFit(CCompensation& engine, const PairFit& fit, const PairFitInput& input);

// The fit's rows over a snapshot (pair_fit_rows.cpp): its pairs are the first `pairCount` pairs
// of set `pairsSet`, its outside pairs (kOutsidePairs only) the first `outsideCount` readings of
// set `outsideSet`, as the host's counts give them.
FitLinearisation PairFitRows(const PairFit& fit, int pairsSet, int pairCount, int outsideSet = -1,
                             int outsideCount = 0);

// The rows of the member fits, over the sets of a snapshot.
FitLinearisation X0Y0Rows(int pairsSet, int pairCount);
FitLinearisation D2Rows(int outsideSet, int outsideCount, int pairsSet, int pairCount);
FitLinearisation KMinusRows(int outsideSet, int outsideCount, int pairsSet, int pairCount);

// A fit as the host calls it: its entry lines, the host's counts checked against their arrays
// (kInvalidInput before anything is written), the step, then the model, the result record and
// the result. `trace(title, value)` writes one trace entry; a fit without a trace name writes
// none of these (its spread calls still write theirs).
template <class Trace>
int HostPairFit(Trace trace, CCompensation& engine, const PairFit& fit, CVector* outside,
                int outsideCount, CVector* pairs, int pairCount, TMapper* map, TCompOut* out,
                int flagClassify) {
    const TraceSession session(engine);
    const bool traced = fit.traceName != nullptr;
    const std::string name = traced ? fit.traceName : "";
    if (traced) {
        trace(("Entering Calculate_" + name).c_str(), true);
        if (fit.source == SeparationSource::kOutsidePairs) {
            trace("pVecOut", FirstOrNull(outside, outsideCount));
            trace("nCountOut", outsideCount);
        }
        trace(("pVec_" + name).c_str(), FirstOrNull(pairs, pairCount));
        trace(("nCount_" + name).c_str(), pairCount);
        trace("pMap", map);
        trace("nFlagClassify", flagClassify);
    }

    const bool outsideFits =
        fit.source == SeparationSource::kFreeConstant || OutsidePairsFit(outside, outsideCount);
    int status = kInvalidInput;
    // Every outside pair meets every pair of the fit: their product must stay an int count.
    const bool productFits =
        static_cast<long long>(outsideCount / 2) * pairCount <= std::numeric_limits<int>::max();
    if (outsideFits && productFits && ArrayFits(pairs, pairCount) && map != nullptr &&
        out != nullptr) {
        status = RunPairFit(engine, fit,
                            {pairs, pairCount, outside, outsideCount / 2, map, out, flagClassify});
    }

    if (traced) {
        trace("pMap", map);
        trace("pCompOut", out);
        trace(("Leaving Calculate_" + name).c_str(), status);
    }
    return status;
}

}  // namespace detail
}  // namespace compensation

#endif  // COMPENSATION_FITS_PAIR_FIT_H
