#include "report/fixed_point.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "model/live.h"
#include "model/mapper_elements.h"
#include "model/raw_term_cache.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

namespace {

// Difference steps. The fits are linear in the readings and the elements to first order; the
// steps are far above the rounding of a calibrated reading (about 1e-15 m and 1e-16 rad) and
// far below the scale on which the fits' rows change (a degree of elevation), so forward
// differences give the derivatives to about eight digits.
constexpr double kRangeStep = 1e-7;    // metres
constexpr double kAngleStep = 1e-8;    // radians
constexpr double kElementStep = 1e-7;  // degrees or metres, as the element is stored

// The live physical readings: every copy of one reading in the snapshot's sets (the procedures
// copy readings into several working sets) is the same reading with the same noise. `readingOf`
// gives each copy's reading, -1 for a reading no set holds live.
struct ReadingIndex {
    std::size_t count = 0;
    std::vector<std::vector<int>> readingOf;  // per set and copy
};

std::uint64_t Bits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

ReadingIndex GroupReadings(const Snapshot& snapshot) {
    // Copies of one reading have the same values, bit for bit. Every copy gets a hash of its
    // values' bits (which tell apart every value, NaN included) and looks for the first copy
    // of its values in an open-addressed table; within equal hashes the values themselves
    // decide. Readings are numbered in order of first appearance among the live ones.
    std::vector<std::array<std::uint64_t, 3>> keys;
    std::vector<char> live;
    ReadingIndex result;
    result.readingOf.resize(snapshot.sets.size());
    for (std::size_t set = 0; set < snapshot.sets.size(); ++set) {
        result.readingOf[set].assign(snapshot.sets[set].size(), -1);
        for (const CVector& v : snapshot.sets[set]) {
            keys.push_back({Bits(v.Range), Bits(v.Azimuth), Bits(v.Elevation)});
            live.push_back(IsLive(v) ? 1 : 0);
        }
    }
    const auto mix = [](std::uint64_t h, std::uint64_t bits) {
        h ^= bits + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h * 0xff51afd7ed558ccdULL;
    };
    // At most half full, so that a probe ends after a few slots; a slot holds copy + 1.
    std::size_t slots = 16;
    while (slots < 2 * keys.size()) {
        slots *= 2;
    }
    std::vector<std::size_t> table(slots, 0);
    // first[c]: the first copy (in order over all sets) with the values of copy c.
    std::vector<std::size_t> first(keys.size());
    for (std::size_t c = 0; c < keys.size(); ++c) {
        const std::uint64_t hash = mix(mix(mix(0, keys[c][0]), keys[c][1]), keys[c][2]);
        std::size_t slot = static_cast<std::size_t>(hash >> 32) & (slots - 1);
        while (table[slot] != 0 && keys[table[slot] - 1] != keys[c]) {
            slot = (slot + 1) & (slots - 1);
        }
        if (table[slot] == 0) {
            table[slot] = c + 1;
        }
        first[c] = table[slot] - 1;
    }
    std::vector<char> groupLive(keys.size(), 0);
    for (std::size_t c = 0; c < keys.size(); ++c) {
        groupLive[first[c]] = static_cast<char>(groupLive[first[c]] | live[c]);
    }
    std::vector<int> number(keys.size(), -1);
    std::size_t c = 0;
    for (std::size_t set = 0; set < snapshot.sets.size(); ++set) {
        for (int& reading : result.readingOf[set]) {
            if (first[c] == c && groupLive[c] != 0) {
                number[c] = static_cast<int>(result.count++);
            }
            reading = number[first[c]];
            ++c;
        }
    }
    return result;
}

// The live readings grouped by the fits that read them: `place` puts each reading along the
// noise sum's rows, and each group's readings lie together in [first, last) there. A group's
// fits are bits (fit f at f mod 64: with more fits a group claims more fits than read it,
// whose rows are then zero over it).
struct ReadingGroup {
    std::uint64_t fits;
    std::size_t first;
    std::size_t last;
};
struct ReadingGroups {
    std::vector<std::size_t> place;  // per reading
    std::vector<ReadingGroup> groups;
};

std::uint64_t FitBit(std::size_t fit) {
    return std::uint64_t{1} << (fit % 64);
}

ReadingGroups GroupByFits(const std::vector<FitDerivatives>& fits, const ReadingIndex& readings) {
    std::vector<std::uint64_t> readBy(readings.count, 0);
    for (std::size_t f = 0; f < fits.size(); ++f) {
        for (const ReadingCopy& copy : fits[f].copies) {
            const int reading = readings.readingOf[static_cast<std::size_t>(copy.set)]
                                                  [static_cast<std::size_t>(copy.index)];
            if (reading >= 0) {
                readBy[static_cast<std::size_t>(reading)] |= FitBit(f);
            }
        }
    }
    // The groups in order of their fits' bits (a handful of them), each reading's place in
    // order within its group.
    std::vector<std::uint64_t> masks;
    std::vector<std::size_t> group(readings.count);
    for (std::size_t r = 0; r < readings.count; ++r) {
        std::size_t g = 0;
        while (g < masks.size() && masks[g] != readBy[r]) {
            ++g;
        }
        if (g == masks.size()) {
            masks.push_back(readBy[r]);
        }
        group[r] = g;
    }
    std::vector<std::size_t> order(masks.size());
    for (std::size_t g = 0; g < order.size(); ++g) {
        order[g] = g;
    }
    std::sort(order.begin(), order.end(),
              [&masks](std::size_t x, std::size_t y) { return masks[x] < masks[y]; });
    std::vector<std::size_t> next(masks.size(), 0);
    for (std::size_t g : group) {
        ++next[g];
    }
    ReadingGroups result;
    std::size_t at = 0;
    for (std::size_t g : order) {
        result.groups.push_back({masks[g], at, at + next[g]});
        next[g] = at;
        at = result.groups.back().last;
    }
    result.place.resize(readings.count);
    for (std::size_t r = 0; r < readings.count; ++r) {
        result.place[r] = next[group[r]]++;
    }
    return result;
}

// The elements a fit writes: on a model moved away from the fixed point, those it changes.
void ProbeElements(CCompensation& engine, Snapshot& snapshot, const TMapper& fixedPoint) {
    constexpr double kProbeOffset = 1e-5;  // degrees or metres: well inside the linear range
    for (SnapshotFitSpec& fit : snapshot.fits) {
        if (!fit.elements.empty()) {
            continue;
        }
        TMapper moved = fixedPoint;
        for (const MapperElement& e : kMapperElements) {
            if (e.member != &TMapper::T_ref) {
                moved.*e.member += kProbeOffset;
            }
        }
        TMapper map = moved;
        TCompOut scratch = snapshot.out;
        fit.call(engine, snapshot, &map, &scratch);
        // A fit also clears elements it does not estimate (work elements it leaves at 0).
        for (const MapperElement& e : kMapperElements) {
            if (map.*e.member != moved.*e.member && map.*e.member != 0.0) {
                fit.elements.push_back(e.member);
            }
        }
    }
}

// Threads for `count` tasks when each thread should have at least `least` of them.
std::size_t Workers(std::size_t threads, std::size_t count, std::size_t least) {
    return std::max<std::size_t>(1, std::min(threads, count / least));
}

// Runs share(w) for w in [0, workers): share 0 on the calling thread, each other on a thread of
// its own with a raw-term cache of its own (the cache is the thread's) that starts with the
// run's terms. A share whose thread cannot be started runs on the calling thread after the
// first; an exception in any share reaches the caller once all ended.
template <typename Share>
void InThreads(std::size_t workers, const Snapshot& snapshot, std::size_t cacheSize,
               const Share& share) {
    std::vector<std::exception_ptr> failures(workers);
    std::vector<std::thread> pool;
    std::vector<std::size_t> unstarted;
    for (std::size_t w = 1; w < workers; ++w) {
        try {
            pool.emplace_back([&, w] {
                try {
                    RawTermCache terms(cacheSize);
                    if (snapshot.rawTerms) {
                        terms.Keep(*snapshot.rawTerms);
                    }
                    share(w);
                } catch (...) {
                    failures[w] = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            unstarted.push_back(w);
        }
    }
    try {
        share(0);
        for (std::size_t w : unstarted) {
            share(w);
        }
    } catch (...) {
        failures[0] = std::current_exception();
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

// Runs task(share, engine, sets, k) for k in [0, count), dealt round `workers` shares (the
// readings of one set cost alike and lie together, so dealt shares cost alike). The first share
// works with the caller's engine and sets, each other with copies of them.
template <typename Task>
void InShares(std::size_t workers, std::size_t count, CCompensation& engine, Snapshot& snapshot,
              std::size_t readingCount, const Task& task) {
    // The copies are made before any share starts: the first share moves readings of the
    // caller's sets while it runs.
    std::vector<CCompensation> engines(workers - 1, engine);
    std::vector<Snapshot> copies(workers - 1, snapshot);
    InThreads(workers, snapshot, 3 * readingCount, [&](std::size_t w) {
        CCompensation& worker = w == 0 ? engine : engines[w - 1];
        Snapshot& sets = w == 0 ? snapshot : copies[w - 1];
        for (std::size_t k = w; k < count; k += workers) {
            task(w, worker, sets, k);
        }
    });
}

// A fit's derivatives by forward differences: the fit runs again at the model moved in each
// input element, and with each live copy it reads moved in each component. The tasks are shared
// among up to `threads` threads; each writes its own column.
FitDerivatives DifferenceDerivatives(CCompensation& engine, Snapshot& snapshot, std::size_t f,
                                     const TMapper& model,
                                     const std::vector<double TMapper::*>& inputs,
                                     const ReadingIndex& readings, std::size_t readingCount,
                                     std::size_t threads) {
    const SnapshotFitSpec& fit = snapshot.fits[f];
    FitDerivatives d;
    d.outputs = fit.elements;
    const std::size_t outputs = d.outputs.size();
    const auto run = [&fit, &d, outputs](CCompensation& e, Snapshot& sets, TMapper map,
                                         double* values) {
        TCompOut scratch = sets.out;
        fit.call(e, sets, &map, &scratch);
        for (std::size_t o = 0; o < outputs; ++o) {
            values[o] = map.*d.outputs[o];
        }
    };
    std::vector<double> phi0(outputs);
    run(engine, snapshot, model, phi0.data());
    for (int set : fit.reads) {
        const auto s = static_cast<std::size_t>(set);
        for (std::size_t i = 0; i < snapshot.sets[s].size(); ++i) {
            if (readings.readingOf[s][i] >= 0) {
                d.copies.push_back({set, static_cast<int>(i)});
            }
        }
    }
    const std::size_t p = inputs.size();
    d.byElement.assign(outputs * p, 0.0);
    d.byCopy.assign(kComponents * outputs * d.copies.size(), 0.0);
    constexpr std::tuple<double CVector::*, double> kSteps[kComponents] = {
        {&CVector::Range, kRangeStep},
        {&CVector::Azimuth, kAngleStep},
        {&CVector::Elevation, kAngleStep}};
    const std::size_t tasks = p + kComponents * d.copies.size();
    InShares(Workers(threads, tasks, 64), tasks, engine, snapshot, readingCount,
             [&](std::size_t, CCompensation& worker, Snapshot& sets, std::size_t task) {
                 std::vector<double> phi(outputs);
                 if (task < p) {
                     TMapper moved = model;
                     moved.*inputs[task] += kElementStep;
                     run(worker, sets, moved, phi.data());
                     for (std::size_t o = 0; o < outputs; ++o) {
                         d.byElement[o * p + task] = (phi[o] - phi0[o]) / kElementStep;
                     }
                     return;
                 }
                 const std::size_t c = (task - p) / kComponents;
                 const std::size_t k = (task - p) % kComponents;
                 const auto [field, step] = kSteps[k];
                 CVector& reading = sets.sets[static_cast<std::size_t>(d.copies[c].set)]
                                             [static_cast<std::size_t>(d.copies[c].index)];
                 const double saved = reading.*field;
                 reading.*field = saved + step;
                 run(worker, sets, model, phi.data());
                 reading.*field = saved;
                 for (std::size_t o = 0; o < outputs; ++o) {
                     d.byCopy[(k * outputs + o) * d.copies.size() + c] = (phi[o] - phi0[o]) / step;
                 }
             });
    return d;
}

// The spectral radius of an n x n matrix as the limit of ||M^k||^(1/k), taken by repeated
// squaring with the scale kept apart as a logarithm: it needs no eigenvectors and holds for the
// complex pairs and the sign swings (a period-two oscillation is an eigenvalue near -1) that a
// power iteration would not settle on. After 2^10 powers the norm's constant factor (at most
// sqrt n for the Frobenius norm of a diagonalisable matrix) is left in the rate to well under
// one per cent.
double SpectralRadius(int n, std::vector<double> m) {
    constexpr int kSquarings = 10;
    const auto N = static_cast<std::size_t>(n);
    double logScale = 0.0;
    double power = 1.0;
    std::vector<double> square(N * N);
    for (int s = 0; s <= kSquarings; ++s) {
        double norm = 0.0;
        for (double value : m) {
            norm += value * value;
        }
        norm = std::sqrt(norm);
        if (!(norm > 0.0)) {
            return 0.0;  // nilpotent: the loop ends in finitely many passes
        }
        if (!std::isfinite(norm)) {
            return std::numeric_limits<double>::infinity();
        }
        logScale += std::log(norm) / power;
        for (double& value : m) {
            value /= norm;
        }
        if (s == kSquarings) {
            break;
        }
        // Row by row, so that the innermost loop runs along rows of both.
        std::fill(square.begin(), square.end(), 0.0);
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t k = 0; k < N; ++k) {
                const double a = m[i * N + k];
                if (a != 0.0) {
                    AddScaled(a, m.data() + k * N, square.data() + i * N, N);
                }
            }
        }
        m.swap(square);
        power *= 2.0;
    }
    return std::exp(logScale);
}

// The rate of the loop of the fits flagged in `inLoop` (elements of the other fits held): one
// pass maps an error e to (I - L)^-1 U e.
double GaussSeidelRate(const FixedPointCovariance& linearised, const std::vector<bool>& inLoop) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < linearised.owner.size(); ++i) {
        if (inLoop[static_cast<std::size_t>(linearised.owner[i])]) {
            kept.push_back(i);
        }
    }
    const int n = static_cast<int>(kept.size());
    const std::size_t N = kept.size();
    const std::size_t P = linearised.owner.size();
    std::vector<double> iMinusL(N * N, 0.0);
    std::vector<double> u(N * N, 0.0);
    for (std::size_t r = 0; r < N; ++r) {
        iMinusL[r * N + r] = 1.0;
        for (std::size_t c = 0; c < N; ++c) {
            const double d = linearised.jacobian[kept[r] * P + kept[c]];
            if (linearised.owner[kept[c]] < linearised.owner[kept[r]]) {
                iMinusL[r * N + c] -= d;
            } else {
                u[r * N + c] = d;
            }
        }
    }
    // U is sparse: a fit reads few of its own elements, and the last fits read few of later
    // ones. With R its rows and S its columns that hold a non-zero, U = E_R U_RS E_S^T, and the
    // pass (I - L)^-1 E_R U_RS E_S^T has the non-zero eigenvalues of U_RS X_SR and of X_SR U_RS,
    // X = (I - L)^-1 E_R (AB and BA share them): the smaller of the two in place of n x n.
    std::vector<std::size_t> rows;
    std::vector<std::size_t> columns;
    std::vector<bool> columnRead(N, false);
    for (std::size_t r = 0; r < N; ++r) {
        bool rowRead = false;
        for (std::size_t c = 0; c < N; ++c) {
            if (u[r * N + c] != 0.0) {
                rowRead = true;
                columnRead[c] = true;
            }
        }
        if (rowRead) {
            rows.push_back(r);
        }
    }
    for (std::size_t c = 0; c < N; ++c) {
        if (columnRead[c]) {
            columns.push_back(c);
        }
    }
    const std::size_t R = rows.size();
    const std::size_t S = columns.size();
    std::vector<double> x(N * R, 0.0);
    for (std::size_t k = 0; k < R; ++k) {
        x[rows[k] * R + k] = 1.0;
    }
    if (!SolveGeneral(n, static_cast<int>(R), iMinusL, x)) {
        return std::numeric_limits<double>::infinity();
    }
    if (R <= S) {
        std::vector<double> pass(R * R, 0.0);  // U_RS X_SR
        for (std::size_t i = 0; i < R; ++i) {
            for (std::size_t c : columns) {
                AddScaled(u[rows[i] * N + c], x.data() + c * R, pass.data() + i * R, R);
            }
        }
        return SpectralRadius(static_cast<int>(R), pass);
    }
    std::vector<double> uRS(R * S);
    for (std::size_t i = 0; i < R; ++i) {
        for (std::size_t j = 0; j < S; ++j) {
            uRS[i * S + j] = u[rows[i] * N + columns[j]];
        }
    }
    std::vector<double> pass(S * S, 0.0);  // X_SR U_RS
    for (std::size_t i = 0; i < S; ++i) {
        for (std::size_t k = 0; k < R; ++k) {
            AddScaled(x[columns[i] * R + k], uRS.data() + k * S, pass.data() + i * S, S);
        }
    }
    return SpectralRadius(static_cast<int>(S), pass);
}

}  // namespace

LoopContraction JointLoopContraction(const FixedPointCovariance& linearised,
                                     const std::vector<std::string>& fitNames) {
    LoopContraction result;
    if (linearised.jacobian.empty()) {
        return result;
    }
    result.fits = fitNames;
    const std::size_t fits = fitNames.size();
    result.rate = GaussSeidelRate(linearised, std::vector<bool>(fits, true));
    for (std::size_t a = 0; a < fits; ++a) {
        std::vector<bool> alone(fits, false);
        alone[a] = true;
        const double rate = GaussSeidelRate(linearised, alone);
        if (rate > result.slowest_fit_rate) {
            result.slowest_fit_rate = rate;
            result.slowest_fit = fitNames[a];
        }
    }
    // Two fits that do not both feed each other pass errors one way at most: their joint loop's
    // iteration matrix is block triangular, with the two fits' own rates for eigenvalues.
    const auto feeds = [&linearised](std::size_t from, std::size_t to) {
        const std::size_t p = linearised.owner.size();
        for (std::size_t i = 0; i < p; ++i) {
            for (std::size_t j = 0; j < p; ++j) {
                if (static_cast<std::size_t>(linearised.owner[i]) == to &&
                    static_cast<std::size_t>(linearised.owner[j]) == from &&
                    linearised.jacobian[i * p + j] != 0.0) {
                    return true;
                }
            }
        }
        return false;
    };
    for (std::size_t a = 0; a < fits; ++a) {
        for (std::size_t b = a + 1; b < fits; ++b) {
            if (!feeds(a, b) || !feeds(b, a)) {
                continue;
            }
            std::vector<bool> pair(fits, false);
            pair[a] = pair[b] = true;
            const double rate = GaussSeidelRate(linearised, pair);
            if (rate > result.feeding_rate) {
                result.feeding_rate = rate;
                result.feeding = {fitNames[a], fitNames[b]};
            }
        }
    }
    return result;
}

namespace {

// The products of rows a0, a1 with rows b0, b1 over [first, last) into s[0 .. 4) (a0.b0, a0.b1,
// a1.b0, a1.b1), each summed in four interleaved partial sums that run side by side on vectors.
COMPENSATION_WIDE_VECTORS
void Products2x2(const double* a0, const double* a1, const double* b0, const double* b1,
                 std::size_t first, std::size_t last, double* s) {
    constexpr std::size_t kLanes = 4;
    double sums[4][kLanes] = {};
    std::size_t c = first;
    for (; c + kLanes <= last; c += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            sums[0][l] += a0[c + l] * b0[c + l];
            sums[1][l] += a0[c + l] * b1[c + l];
            sums[2][l] += a1[c + l] * b0[c + l];
            sums[3][l] += a1[c + l] * b1[c + l];
        }
    }
    for (std::size_t l = 0; c + l < last; ++l) {
        sums[0][l] += a0[c + l] * b0[c + l];
        sums[1][l] += a0[c + l] * b1[c + l];
        sums[2][l] += a1[c + l] * b0[c + l];
        sums[3][l] += a1[c + l] * b1[c + l];
    }
    for (std::size_t k = 0; k < 4; ++k) {
        s[k] = (sums[k][0] + sums[k][1]) + (sums[k][2] + sums[k][3]);
    }
}

}  // namespace

BandedRow Banded(const double* values, std::size_t n) {
    // Four at a time first: a row that is zero throughout is read to its end.
    std::size_t first = 0;
    while (first + 4 <= n && ((values[first] == 0.0) & (values[first + 1] == 0.0) &
                              (values[first + 2] == 0.0) & (values[first + 3] == 0.0))) {
        first += 4;
    }
    while (first < n && values[first] == 0.0) {
        ++first;
    }
    std::size_t last = n;
    while (last > first && values[last - 1] == 0.0) {
        --last;
    }
    return {values, first, last};
}

void AddRowProducts(const std::vector<BandedRow>& a, const std::vector<BandedRow>& b, bool upper,
                    double* into, std::size_t stride) {
    // An odd last row is taken with itself, and its second product dropped.
    for (std::size_t i = 0; i < a.size(); i += 2) {
        const BandedRow& a0 = a[i];
        const BandedRow& a1 = a[std::min(i + 1, a.size() - 1)];
        for (std::size_t j = upper ? i : 0; j < b.size(); j += 2) {
            const BandedRow& b0 = b[j];
            const BandedRow& b1 = b[std::min(j + 1, b.size() - 1)];
            const std::size_t first =
                std::max(std::min(a0.first, a1.first), std::min(b0.first, b1.first));
            const std::size_t last =
                std::min(std::max(a0.last, a1.last), std::max(b0.last, b1.last));
            if (first >= last) {
                continue;
            }
            double s[4];
            Products2x2(a0.values, a1.values, b0.values, b1.values, first, last, s);
            double* row = into + i * stride + j;
            row[0] += s[0];
            if (j + 1 < b.size()) {
                row[1] += s[1];
            }
            if (i + 1 < a.size()) {
                if (!upper || j > i) {
                    row[stride] += s[2];
                }
                if (j + 1 < b.size()) {
                    row[stride + 1] += s[3];
                }
            }
        }
    }
}

COMPENSATION_WIDE_VECTORS
void CombineRows(const double* weights, std::size_t count, const double* rows, std::size_t stride,
                 double* into, std::size_t n) {
    // Eight entries at a time, on two vectors of four (one AVX2 register each, or two SSE2).
    typedef double Lanes __attribute__((vector_size(32)));
    constexpr std::size_t kLanes = 4;
    std::size_t c = 0;
    for (; c + 2 * kLanes <= n; c += 2 * kLanes) {
        Lanes low = {};
        Lanes high = {};
        for (std::size_t q = 0; q < count; ++q) {
            Lanes x;
            Lanes y;
            std::memcpy(&x, rows + q * stride + c, sizeof x);
            std::memcpy(&y, rows + q * stride + c + kLanes, sizeof y);
            low += weights[q] * x;
            high += weights[q] * y;
        }
        std::memcpy(into + c, &low, sizeof low);
        std::memcpy(into + c + kLanes, &high, sizeof high);
    }
    for (; c < n; ++c) {
        double sum = 0.0;
        for (std::size_t q = 0; q < count; ++q) {
            sum += weights[q] * rows[q * stride + c];
        }
        into[c] = sum;
    }
}

COMPENSATION_WIDE_VECTORS
bool SolveGeneral(int n, int m, std::vector<double> a, std::vector<double>& b) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row) {
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) {
                pivot = row;
            }
        }
        if (!(std::fabs(a[pivot * n + col]) > 0.0)) {
            return false;
        }
        if (pivot != col) {
            for (int k = 0; k < n; ++k) {
                std::swap(a[col * n + k], a[pivot * n + k]);
            }
            for (int k = 0; k < m; ++k) {
                std::swap(b[col * m + k], b[pivot * m + k]);
            }
        }
        for (int row = 0; row < n; ++row) {
            if (row == col) {
                continue;
            }
            const double factor = a[row * n + col] / a[col * n + col];
            if (factor == 0.0) {
                continue;
            }
            AddScaled(-factor, a.data() + col * n + col, a.data() + row * n + col,
                      static_cast<std::size_t>(n - col));
            AddScaled(-factor, b.data() + col * m, b.data() + row * m, static_cast<std::size_t>(m));
        }
    }
    for (int row = 0; row < n; ++row) {
        for (int k = 0; k < m; ++k) {
            b[row * m + k] /= a[row * n + row];
        }
    }
    return true;
}

bool Invert(int n, std::vector<double> a, std::vector<double>& inverse) {
    const auto N = static_cast<std::size_t>(n);
    inverse.assign(N * N, 0.0);
    for (std::size_t i = 0; i < N; ++i) {
        inverse[i * N + i] = 1.0;
    }
    return SolveGeneral(n, n, std::move(a), inverse);
}

std::vector<BandedRow> WholeRows(const double* matrix, std::size_t rows, std::size_t width) {
    std::vector<BandedRow> whole(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        whole[i] = {matrix + i * width, 0, width};
    }
    return whole;
}

FixedPointCovariance LinearisedCovariance(CCompensation& engine, Snapshot& snapshot,
                                          const TMapper& fixedPoint, const NoiseEstimate& noise,
                                          bool covariance, bool byDifferences,
                                          std::size_t threads) {
    // The fits run again on the same readings (thousands of times by differences); their raw
    // terms are kept as a procedure run keeps them. A perturbed angle is a reading of its own (a
    // range step leaves the angles), so two more entries a reading.
    std::size_t readingCount = 0;
    for (const std::vector<CVector>& set : snapshot.sets) {
        readingCount += set.size();
    }
    RawTermCache rawTerms(3 * readingCount);
    if (snapshot.rawTerms) {
        rawTerms.Keep(*snapshot.rawTerms);
    }
    FixedPointCovariance result;
    ProbeElements(engine, snapshot, fixedPoint);
    // An element two fits write belongs to the later one in the final joint loop: its value is
    // the one the loop leaves.
    std::vector<int> owner;
    for (std::size_t f = 0; f < snapshot.fits.size(); ++f) {
        for (double TMapper::*element : snapshot.fits[f].elements) {
            const auto known = std::find(result.elements.begin(), result.elements.end(), element);
            if (known != result.elements.end()) {
                const auto k = static_cast<std::size_t>(known - result.elements.begin());
                owner[k] = static_cast<int>(f);
                result.fits[k] = snapshot.fits[f].name;
                continue;
            }
            result.elements.push_back(element);
            result.fits.push_back(snapshot.fits[f].name);
            owner.push_back(static_cast<int>(f));
        }
    }
    if (!covariance) {
        return result;
    }
    const int p = static_cast<int>(result.elements.size());
    const auto P = static_cast<std::size_t>(p);
    const ReadingIndex readings = GroupReadings(snapshot);

    // dphi/dtheta row by row, and dphi/dr row by row (an element's row runs over the live
    // readings and their components), from each fit's derivatives: the rows of the elements it
    // owns.
    result.jacobian.assign(P * P, 0.0);
    result.owner = owner;
    const std::size_t width = readings.count * kComponents;
    ScratchVector<double> byReading(P * width, 0.0);
    // The fits' rows, shared among the threads: each fit's are its own, so the threads change
    // no bit of them.
    std::vector<std::optional<FitDerivatives>> fromRows(snapshot.fits.size());
    std::vector<std::size_t> withRows;
    for (std::size_t f = 0; f < snapshot.fits.size() && !byDifferences; ++f) {
        if (snapshot.fits[f].rows) {
            withRows.push_back(f);
        }
    }
    const std::size_t rowWorkers = Workers(threads, withRows.size(), 1);
    InThreads(rowWorkers, snapshot, readingCount, [&](std::size_t w) {
        for (std::size_t k = w; k < withRows.size(); k += rowWorkers) {
            const SnapshotFitSpec& fit = snapshot.fits[withRows[k]];
            fromRows[withRows[k]] = fit.rows(snapshot, fixedPoint, result.elements);
        }
    });
    std::vector<FitDerivatives> derivatives(snapshot.fits.size());
    for (std::size_t f = 0; f < snapshot.fits.size(); ++f) {
        derivatives[f] =
            fromRows[f] ? std::move(*fromRows[f])
                        : DifferenceDerivatives(engine, snapshot, f, fixedPoint, result.elements,
                                                readings, readingCount, threads);
    }
    // Each reading's place along the rows: readings read by the same fits lie together (in
    // their order), so that the noise sum can take each such group's elements alone. The rows
    // hold dphi/dr scaled by the readings' noise, S^1/2.
    const double sigma[kComponents] = {noise.range, noise.azimuth, noise.elevation};
    const ReadingGroups groups = GroupByFits(derivatives, readings);
    for (std::size_t f = 0; f < snapshot.fits.size(); ++f) {
        const FitDerivatives& d = derivatives[f];
        const std::size_t outputs = d.outputs.size();
        // The copies of live readings, each with its place along the rows (kComponents a
        // reading).
        std::vector<std::pair<std::size_t, std::size_t>> at;
        for (std::size_t c = 0; c < d.copies.size(); ++c) {
            const int reading = readings.readingOf[static_cast<std::size_t>(d.copies[c].set)]
                                                  [static_cast<std::size_t>(d.copies[c].index)];
            if (reading >= 0) {
                at.emplace_back(c, groups.place[static_cast<std::size_t>(reading)] * kComponents);
            }
        }
        for (std::size_t e = 0; e < P; ++e) {
            if (owner[e] != static_cast<int>(f)) {
                continue;
            }
            const auto o = static_cast<std::size_t>(
                std::find(d.outputs.begin(), d.outputs.end(), result.elements[e]) -
                d.outputs.begin());
            if (o == outputs) {
                continue;  // the fit leaves it: dphi/dtheta and dphi/dr are 0 in its row
            }
            std::copy_n(d.byElement.begin() + static_cast<std::ptrdiff_t>(o * P), P,
                        result.jacobian.begin() + static_cast<std::ptrdiff_t>(e * P));
            double* row = byReading.data() + e * width;
            const std::size_t copies = d.copies.size();
            const double* byCopy = d.byCopy.data() + o * copies;
            const std::size_t component = outputs * copies;  // from one component's row to the next
            for (const auto& [c, place] : at) {
                for (std::size_t k = 0; k < kComponents; ++k) {
                    row[place + k] += sigma[k] * byCopy[k * component + c];
                }
            }
        }
    }
    std::vector<double> a(P * P, 0.0);
    for (std::size_t k = 0; k < P * P; ++k) {
        a[k] = (k % (P + 1) == 0 ? 1.0 : 0.0) - result.jacobian[k];
    }

    // M = dphi/dr S dphi/dr^T, S the readings' variances: the products of the rows scaled by
    // the noise. An element's row is non-zero only over the readings of the sets its fit reads,
    // which lie together.
    std::vector<double> m(P * P, 0.0);
    for (const ReadingGroup& group : groups.groups) {
        // The elements of the fits that read the group's readings: only their rows are non-zero
        // there.
        std::vector<std::size_t> elements;
        std::vector<BandedRow> rows;
        for (std::size_t e = 0; e < P; ++e) {
            if ((group.fits & FitBit(static_cast<std::size_t>(owner[e]))) != 0) {
                elements.push_back(e);
                rows.push_back({byReading.data() + e * width, group.first * kComponents,
                                group.last * kComponents});
            }
        }
        const std::size_t n = elements.size();
        std::vector<double> products(n * n, 0.0);
        AddRowProducts(rows, rows, true, products.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i; j < n; ++j) {
                m[elements[i] * P + elements[j]] += products[i * n + j];
            }
        }
    }
    for (std::size_t i = 0; i < P; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            m[i * P + j] = m[j * P + i];
        }
    }

    // C = A^-1 M A^-T: B = A^-1 by one elimination, then T = B M and C = T B^T as products of
    // rows (M is symmetric, so its rows are its columns); C is formed on one triangle.
    std::vector<double> inverse;
    if (!Invert(p, a, inverse)) {
        return result;
    }
    std::vector<double> t(P * P, 0.0);
    AddRowProducts(WholeRows(inverse.data(), P, P), WholeRows(m.data(), P, P), false, t.data(), P);
    result.covariance.assign(P * P, 0.0);
    AddRowProducts(WholeRows(t.data(), P, P), WholeRows(inverse.data(), P, P), true,
                   result.covariance.data(), P);
    for (std::size_t i = 0; i < P; ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            result.covariance[i * P + k] = result.covariance[k * P + i];
        }
    }
    result.solved = true;
    return result;
}

}  // namespace compensation::detail
