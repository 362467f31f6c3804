#include <cmath>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/statistics.h"
#include "engine/trace_session.h"

namespace compensation {

double Average(const double* values, int from, int to) {
    double sum = 0.0;
    for (int i = from; i < to; ++i) {
        sum += values[i];
    }
    return sum / static_cast<double>(to - from);
}

double AverageProduct(const double* first, const double* second, int from, int to) {
    double sum = 0.0;
    for (int i = from; i < to; ++i) {
        sum += first[i] * second[i];
    }
    return sum / static_cast<double>(to - from);
}

}  // namespace compensation

double CCompensation::Average(double* pA, int nFrom, int nTo) {
    return compensation::Average(pA, nFrom, nTo);
}

double CCompensation::AverageProduct(double* pA, double* pB, int nFrom, int nTo) {
    return compensation::AverageProduct(pA, pB, nFrom, nTo);
}

// The routine only names the element farthest from the mean; the caller decides from the
// spread whether to drop it.
int CCompensation::MeanStdArray(double* pA, int nCount, double* pMean, double* pStd, int* pnOut) {
    const compensation::detail::TraceSession session(*this);
    OutputTrace("Entering MeanStdArray", true);
    if (nCount < 1) {
        return 1;
    }
    double sum = 0.0;
    for (int i = 0; i < nCount; ++i) {
        sum += pA[i];
    }
    const double mean = sum / nCount;

    // A NaN deviation never beats the running largest, so an array whose mean is not finite
    // would leave *pnOut unset; the first element stands in for "no worst element".
    *pnOut = 0;
    double sumSquares = 0.0;
    double largest = compensation::kFarRunningMaxStart;
    for (int i = 0; i < nCount; ++i) {
        const double d = std::fabs(mean - pA[i]);
        sumSquares += d * d;
        if (d > largest) {
            *pnOut = i;
            largest = d;
        }
    }
    *pMean = mean;
    *pStd = std::sqrt(std::fabs(sumSquares / (nCount - 1)));

    OutputTrace("pnOut", *pnOut);
    OutputTrace("Leaving MeanStdArray", true);
    return 0;
}
