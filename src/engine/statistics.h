// Means over stretches of a sample, summed in index order so that every caller (the fits and
// the legacy CCompensation members that forward here) gets the same bits for the same data.
#ifndef COMPENSATION_ENGINE_STATISTICS_H
#define COMPENSATION_ENGINE_STATISTICS_H

namespace compensation {

// Mean of values[from] .. values[to - 1]; 0/0 (NaN) for an empty stretch.
double Average(const double* values, int from, int to);

// Mean of first[i] * second[i] over the same stretch.
double AverageProduct(const double* first, const double* second, int from, int to);

}  // namespace compensation

#endif  // COMPENSATION_ENGINE_STATISTICS_H
