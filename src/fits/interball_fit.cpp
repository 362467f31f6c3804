// The general interball fit, run by every member of the family with its own parameter table.
//
// Stages: check the host's counts; calibrate every live measurement with the estimated elements
// at zero; form the centred design rows of every pair seen in more than two views; solve the
// normal equations; calibrate again with the estimate and measure the distance deviations; then
// commit the estimate, the spread and, when allowed, the rejection of the worst pair. Nothing is
// written into the host's records before the commit, so an estimate that cannot be formed leaves
// the model as it was.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <vector>

#include "fits/interball_fit.h"

#include "engine/determined_solve.h"
#include "engine/statistics.h"
#include "fits/fit_support.h"
#include "model/live.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"
#include "model/vec3.h"

namespace compensation::detail {
namespace {

// The host addresses its array with int positions k nCount + i.
bool InputFits(const InterballInput& in) {
    return in.measurements != nullptr && in.pairTable != nullptr && in.model != nullptr &&
           in.out != nullptr && in.targetCount >= 2 && in.viewCount >= 1 &&
           static_cast<long long>(in.targetCount) * in.viewCount <= INT_MAX;
}

// Calls visit(i, j) for every pair that the table marks as used, in table order.
template <typename Visit>
void ForEachUsedPair(const InterballInput& in, Visit visit) {
    std::size_t entry = 0;  // nCount (nCount - 1) / 2 can outgrow an int
    for (int i = 0; i < in.targetCount - 1; ++i) {
        for (int j = i + 1; j < in.targetCount; ++j, ++entry) {
            if (in.pairTable[entry] == 0) {
                visit(i, j);
            }
        }
    }
}

}  // namespace

// The raw terms of every live measurement: both calibrations of a call read the same readings,
// and the calls of one procedure run find them in the run's cache.
std::vector<RawTerms> RawTermsOfLive(const InterballInput& in) {
    const std::size_t total = static_cast<std::size_t>(in.targetCount) * in.viewCount;
    std::vector<RawTerms> terms(total);
    for (std::size_t m = 0; m < total; ++m) {
        if (IsLive(in.measurements[m])) {
            terms[m] = RawTermsFor(in.measurements[m]);
        }
    }
    return terms;
}

// Copies of the live measurements calibrated with the given model; the host's array is never
// calibrated. Dead measurements are left as they are and never read.
void CalibrateLive(const InterballInput& in, const TMapper& model,
                   const std::vector<RawTerms>& terms, std::vector<CVector>& calibrated) {
    const std::size_t total = static_cast<std::size_t>(in.targetCount) * in.viewCount;
    calibrated.assign(in.measurements, in.measurements + total);
    for (std::size_t m = 0; m < total; ++m) {
        if (IsLive(calibrated[m])) {
            CalibrateWith(calibrated[m], model, terms[m], true);
        }
    }
}

namespace {

void CentreOrDropBlock(std::vector<double>& column, int from) {
    const int to = static_cast<int>(column.size());
    if (to - from <= kInterballMaxViewsDropped) {
        column.resize(static_cast<std::size_t>(from));
        return;
    }
    const double mean = Average(column.data(), from, to);
    for (int r = from; r < to; ++r) {
        column[r] -= mean;
    }
}

}  // namespace

DesignRows BuildDesignRows(const InterballInput& in, InterballTable table,
                           const std::vector<CVector>& calibrated) {
    const int n = static_cast<int>(table.size());
    const std::size_t total = calibrated.size();
    int harmonics = 1;
    for (const InterballElement& row : table) {
        harmonics = std::max(harmonics, row.order);
    }
    // g_p of every live measurement, once per measurement rather than once per pair.
    std::vector<Vec3> g(total * n);
    for (std::size_t m = 0; m < total; ++m) {
        if (!IsLive(calibrated[m])) {
            continue;
        }
        const InterballTerms terms(calibrated[m], harmonics);
        for (int p = 0; p < n; ++p) {
            g[m * n + p] = DisplacementOf(table[p], terms);
        }
    }

    // Every column sized once for all rows a pair-view can give: growing n + 1 columns by
    // doubling copied each several times a call.
    std::size_t liveRows = 0;
    ForEachUsedPair(in, [&](int i, int j) {
        for (int k = 0; k < in.viewCount; ++k) {
            const std::size_t first = static_cast<std::size_t>(k) * in.targetCount;
            liveRows += IsLive(calibrated[first + i]) && IsLive(calibrated[first + j]) ? 1 : 0;
        }
    });
    DesignRows rows;
    rows.s.reserve(liveRows);
    rows.ends.reserve(liveRows);
    rows.a.resize(n);
    for (std::vector<double>& column : rows.a) {
        column.reserve(liveRows);
    }
    ForEachUsedPair(in, [&](int i, int j) {
        const int from = rows.count();
        for (int k = 0; k < in.viewCount; ++k) {
            const std::size_t mA = static_cast<std::size_t>(k) * in.targetCount + i;
            const std::size_t mB = static_cast<std::size_t>(k) * in.targetCount + j;
            const CVector& A = calibrated[mA];
            const CVector& B = calibrated[mB];
            if (!IsLive(A) || !IsLive(B)) {
                continue;
            }
            const Vec3 separation = Minus(PositionOf(A), PositionOf(B));
            rows.s.push_back(Dot(separation, separation));
            rows.ends.push_back({mA, mB});
            for (int p = 0; p < n; ++p) {
                rows.a[p].push_back(2.0 * Dot(separation, Minus(g[mA * n + p], g[mB * n + p])));
            }
        }
        CentreOrDropBlock(rows.s, from);
        rows.ends.resize(rows.s.size());
        for (std::vector<double>& column : rows.a) {
            CentreOrDropBlock(column, from);
        }
    });
    return rows;
}

void FormNormalEquations(const DesignRows& rows, std::vector<double>& matrix,
                         std::vector<double>& rhs) {
    const int n = static_cast<int>(rows.a.size());
    const int N = rows.count();
    matrix.assign(static_cast<std::size_t>(n) * n, 0.0);
    rhs.assign(n, 0.0);
    std::vector<const double*> columns(n);
    for (int p = 0; p < n; ++p) {
        columns[p] = rows.a[p].data();
    }
    BuildNormalEquations(columns.data(), n, rows.s.data(), N, matrix.data(), rhs.data());
}

namespace {

// Least squares of s + sum_p x_p a_p = 0 over the centred rows: the normal equations are solved
// for -x. Returns false when the data cannot determine the elements: an empty sample (every
// average 0/0), a column that is a combination of the others (a pivot that elimination reduced
// to rounding), or a solution that is not finite in degrees.
bool SolveNormalEquations(const DesignRows& rows, std::vector<double>& solution) {
    const int n = static_cast<int>(rows.a.size());
    std::vector<double> matrix;
    std::vector<double> rhs;
    FormNormalEquations(rows, matrix, rhs);
    solution.assign(n, 0.0);
    return SolveDetermined(n, matrix.data(), rhs.data(), solution.data());
}

// The spread of the pair distances about their per-pair means, and the worst pair-view.
struct DistanceDeviations {
    int usedPairs = 0;  // P: pairs the table uses, whatever their live views
    int count = 0;      // N2: deviations of pairs seen in more than two views
    double sumSquares = 0.0;
    double largest = kRunningMaxStart;
    std::size_t worstA = 0;
    std::size_t worstB = 0;
};

DistanceDeviations MeasureDeviations(const InterballInput& in, std::vector<CVector>& calibrated) {
    DistanceDeviations result;
    std::vector<double> d;
    d.reserve(static_cast<std::size_t>(in.viewCount));
    std::vector<std::size_t> viewOf;
    viewOf.reserve(static_cast<std::size_t>(in.viewCount));
    ForEachUsedPair(in, [&](int i, int j) {
        ++result.usedPairs;
        d.clear();
        viewOf.clear();
        for (int k = 0; k < in.viewCount; ++k) {
            const std::size_t mA = static_cast<std::size_t>(k) * in.targetCount + i;
            const std::size_t mB = static_cast<std::size_t>(k) * in.targetCount + j;
            if (!IsLive(in.measurements[mA]) || !IsLive(in.measurements[mB])) {
                continue;
            }
            d.push_back(DistanceBetween(calibrated[mA], calibrated[mB]));
            viewOf.push_back(static_cast<std::size_t>(k));
        }
        const int live = static_cast<int>(d.size());
        if (live <= kInterballMaxViewsDropped) {
            return;
        }
        const double mean = Average(d.data(), 0, live);
        for (int r = 0; r < live; ++r) {
            const double deviation = d[r] - mean;
            result.sumSquares += deviation * deviation;
            ++result.count;
            // Strictly larger only: on a tie the first in pair-then-view order stays.
            if (std::fabs(deviation) > result.largest) {
                result.largest = std::fabs(deviation);
                result.worstA = viewOf[r] * in.targetCount + i;
                result.worstB = viewOf[r] * in.targetCount + j;
            }
        }
    });
    return result;
}

int Fit(const InterballInput& in, InterballTable table) {
    const int n = static_cast<int>(table.size());
    // Every call estimates absolute values: the first pass calibrates with the elements at zero,
    // so their entry values matter only to the convergence test.
    std::vector<double> entry(n);
    TMapper model = *in.model;
    for (int p = 0; p < n; ++p) {
        entry[p] = model.*(table[p].element);
        model.*(table[p].element) = 0.0;
    }

    const std::vector<RawTerms> terms = RawTermsOfLive(in);
    std::vector<CVector> calibrated;
    CalibrateLive(in, model, terms, calibrated);
    DesignRows rows = BuildDesignRows(in, table, calibrated);
    std::vector<double> solution;
    const bool solved = SolveNormalEquations(rows, solution);

    std::vector<double> estimate(entry);
    int status = 0;
    if (solved) {
        double largestChange = 0.0;
        for (int p = 0; p < n; ++p) {
            estimate[p] = solution[p] * -kRadToDeg;
            largestChange = std::max(largestChange, std::fabs(estimate[p] - entry[p]));
        }
        if (largestChange > kAngleToleranceDeg) {
            status += kInterballNotConverged;
        }
    } else {
        status += kInterballNotConverged;
    }
    for (int p = 0; p < n; ++p) {
        model.*(table[p].element) = estimate[p];
    }

    CalibrateLive(in, model, terms, calibrated);
    const DistanceDeviations deviations = MeasureDeviations(in, calibrated);
    const double spread = std::sqrt(deviations.sumSquares / (deviations.count - 1));

    // Commit. Only the estimated elements are written; the others keep their bits.
    for (int p = 0; p < n; ++p) {
        in.model->*(table[p].element) = estimate[p];
    }
    in.out->m_dStdaxay = spread;
    // A model the data could not determine does not single out an outlier.
    const bool mayReject = in.flagClassify == 0 && solved;
    if (mayReject &&
        deviations.count > kInterballKeptFraction * deviations.usedPairs * in.viewCount &&
        spread > kRejectSpread) {
        in.measurements[deviations.worstA].Quality = kRejectedQuality;
        in.measurements[deviations.worstB].Quality = kRejectedQuality;
        status += kInterballRejected;
    }
    return status;
}

}  // namespace

int RunInterballFit(const InterballInput& input, InterballTable table) {
    if (!InputFits(input) || table.size() < 1) {
        return kInvalidInput;
    }
    return KeepModelWhenOutOfMemory(input.model, kInterballNotConverged,
                                    [&] { return Fit(input, table); });
}

}  // namespace compensation::detail
