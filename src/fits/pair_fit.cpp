#include "fits/pair_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/constants.h"
#include "engine/statistics.h"

namespace compensation {
namespace detail {
namespace {

// Squared separation d and slopes a, b of each live pair, in array order.
struct PairSamples {
    std::vector<double> d;
    std::vector<double> a;
    std::vector<double> b;

    int Count() const { return static_cast<int>(d.size()); }
};

PairSamples CollectLivePairs(const CVector* pairs, int pairCount, TMapper* map,
                             const PairFit& fit) {
    PairSamples samples;
    samples.d.reserve(pairCount);
    samples.a.reserve(pairCount);
    samples.b.reserve(pairCount);
    for (int k = 0; k < pairCount; ++k) {
        if (!IsLivePair(pairs, k)) {
            continue;
        }
        const CVector first = CalibratedCopy(pairs[2 * k], map);
        const CVector second = CalibratedCopy(pairs[2 * k + 1], map);
        samples.d.push_back(SquaredSeparation(first, second));
        samples.a.push_back(SeparationSlope(first, second, fit.elements[0].gradient));
        if (fit.elements.size() == 2) {
            samples.b.push_back(SeparationSlope(first, second, fit.elements[1].gradient));
        }
    }
    return samples;
}

// One closed-form step before it is applied to the model.
struct Step {
    double values[2] = {0.0, 0.0};  // new absolute values, in the model's unit
    bool estimated = false;         // false: no estimate exists and the elements stay 0
    // Free constant: the means over the live pairs.
    double meanD = 0.0;
    double meanA = 0.0;
    double meanB = 0.0;
    double meanAA = 0.0;
    double meanBB = 0.0;
    // Outside pairs: spread of the pairwise estimates, in the model's unit.
    double estimateSpread = 0.0;
};

// Least squares of d = L^2 - e1 a - e2 b with L free: the centred normal equations in closed
// form. S.. are minus the covariances; the signs cancel in the quotients.
Step SolveFreeConstant(const PairFit& fit, PairSamples& live) {
    const int n = live.Count();
    double* d = live.d.data();
    double* a = live.a.data();
    double* b = live.b.data();
    Step step;
    step.meanA = Average(a, 0, n);
    step.meanB = Average(b, 0, n);
    step.meanD = Average(d, 0, n);
    step.meanAA = AverageProduct(a, a, 0, n);
    step.meanBB = AverageProduct(b, b, 0, n);
    const double meanAB = AverageProduct(a, b, 0, n);
    const double meanDA = AverageProduct(d, a, 0, n);
    const double meanDB = AverageProduct(d, b, 0, n);

    const double Saa = step.meanA * step.meanA - step.meanAA;
    const double Sbb = step.meanB * step.meanB - step.meanBB;
    const double Sab = step.meanA * step.meanB - meanAB;
    const double Sda = step.meanD * step.meanA - meanDA;
    const double Sdb = step.meanD * step.meanB - meanDB;
    const double det = Saa * Sbb - Sab * Sab;
    step.values[0] = (Sdb * Sab - Sda * Sbb) * fit.toModelUnit / det;
    step.values[1] = (Sda * Sab - Sdb * Saa) * fit.toModelUnit / det;
    step.estimated = true;
    return step;
}

// Every outside pair i against every pair j of the fit: the value e with
// d_i + e a_i = d_j + e a_j. The mean of all of them is the estimate.
Step SolveAgainstOutside(CCompensation& engine, const PairFit& fit, const PairSamples& outside,
                         const PairSamples& live) {
    std::vector<double> estimates;
    estimates.reserve(static_cast<std::size_t>(outside.Count()) * live.Count());
    for (int i = 0; i < outside.Count(); ++i) {
        for (int j = 0; j < live.Count(); ++j) {
            estimates.push_back((live.d[j] - outside.d[i]) / (outside.a[i] - live.a[j]));
        }
    }
    Step step;
    double mean = 0.0;
    double spread = 0.0;
    int farthest = 0;
    if (engine.MeanStdArray(estimates.data(), static_cast<int>(estimates.size()), &mean, &spread,
                            &farthest) == 0) {
        step.values[0] = mean * fit.toModelUnit;
        step.estimateSpread = spread * fit.toModelUnit;
        step.estimated = true;
    }
    return step;
}

std::vector<double> Residuals(const PairFit& fit, const PairSamples& live, const Step& step,
                              const TMapper& map) {
    std::vector<double> r(live.d.size());
    const double e1 = map.*fit.elements[0].element;
    if (fit.source == SeparationSource::kOutsidePairs) {
        for (std::size_t k = 0; k < r.size(); ++k) {
            r[k] = live.d[k] + live.a[k] * e1 * fit.fromModelUnit;
        }
        return r;
    }
    const double e2 = map.*fit.elements[1].element;
    for (std::size_t k = 0; k < r.size(); ++k) {
        if (fit.residualForm == ResidualForm::kCentredDeficit) {
            r[k] = (step.meanD - live.d[k]) - (live.a[k] - step.meanA) * e1 -
                   (live.b[k] - step.meanB) * e2;
        } else {
            r[k] = live.d[k] + (e1 * live.a[k] + e2 * live.b[k]) * fit.fromModelUnit;
        }
    }
    return r;
}

// Marks the live pair numbered `worst` (live pairs counted in array order from 0).
void RejectLivePair(CVector* pairs, int pairCount, int worst) {
    int live = 0;
    for (int k = 0; k < pairCount; ++k) {
        if (!IsLivePair(pairs, k)) {
            continue;
        }
        if (live == worst) {
            pairs[2 * k].Quality = kRejectedQuality;
            pairs[2 * k + 1].Quality = kRejectedQuality;
            return;
        }
        ++live;
    }
}

int FitAndTest(CCompensation& engine, const PairFit& fit, const PairFitInput& input,
               const EstimatedElements& saved) {
    PairSamples live = CollectLivePairs(input.pairs, input.pairCount, input.map, fit);

    // Without a single live pair there is nothing to fit, whatever the least count demanded.
    const int leastCount = engine.m_nMinCount + fit.minCountOffset;
    if (live.Count() < leastCount || live.Count() == 0) {
        return fit.tooFewCode;
    }

    Step step;
    if (fit.source == SeparationSource::kFreeConstant) {
        step = SolveFreeConstant(fit, live);
    } else {
        const PairSamples outside =
            CollectLivePairs(input.outside, input.outsidePairCount, input.map, fit);
        step = SolveAgainstOutside(engine, fit, outside, live);
    }
    // Only the values reach the model; the spread of a single pairwise estimate is 0/0 and goes
    // to the result record as such.
    const int elementCount = static_cast<int>(fit.elements.size());
    if (!AllFinite(step.values, elementCount)) {
        saved.Restore();
        return fit.notConvergedCode;
    }
    if (step.estimated) {
        for (int i = 0; i < elementCount; ++i) {
            input.map->*fit.elements[i].element = step.values[i];
        }
    }
    int status = saved.LargestChange() > fit.tolerance ? fit.notConvergedCode : 0;

    std::vector<double> residuals = Residuals(fit, live, step, *input.map);
    double residualMean = 0.0;
    double sigma = 0.0;
    int worst = 0;
    engine.MeanStdArray(residuals.data(), live.Count(), &residualMean, &sigma, &worst);

    // A spread of squared separations becomes a spread of separations: d(L^2) = 2 L dL.
    if (fit.source == SeparationSource::kFreeConstant) {
        input.out->*fit.spreadField = sigma / (2.0 * std::sqrt(step.meanD));
        input.out->*fit.precisionField =
            fit.precisionFactor *
            std::max(sigma / std::sqrt(step.meanAA), sigma / std::sqrt(step.meanBB));
    } else {
        input.out->*fit.spreadField = sigma / (2.0 * std::sqrt(residualMean));
        if (step.estimated) {
            input.out->*fit.precisionField = step.estimateSpread;
        }
    }

    if (live.Count() > leastCount && input.flagClassify == 0 &&
        input.out->*fit.spreadField > kRejectSpread && status == 0) {
        RejectLivePair(input.pairs, input.pairCount, worst);
        status = fit.rejectedCode;
    }
    return status;
}

}  // namespace

// Working arrays grow with the host's counts; a fit that cannot allocate them puts the model
// back and reports itself unsettled rather than throw into the host.
int RunPairFit(CCompensation& engine, const PairFit& fit, const PairFitInput& input) {
    return KeepModelWhenOutOfMemory(input.map, fit.notConvergedCode, [&] {
        const EstimatedElements saved(input.map, fit.elements, &PairElement::element);
        return FitAndTest(engine, fit, input, saved);
    });
}

}  // namespace detail
}  // namespace compensation
