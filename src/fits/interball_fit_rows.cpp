// The interball fit's rows: how its elements move with the measurements and the model, in one
// pass over the call's design rows.
//
// The fit's estimate, in degrees, is e = -(180/pi) M^-1 b with M the mean normal matrix of the
// centred columns a_r and b = (1/N) sum_r a_r s_r over its N rows. Each pair's centred columns sum
// to zero over the pair's views, so b is the same whether s_r is centred or not: the unknown pair
// distance leaves no trace, and with the design rows held
//
//     de / ds_r = -(180/pi) M^-1 a_r / N.
//
// s_r = |P_A - P_B|^2 moves with A's calibrated range and angles by 2 (P_A - P_B) . dP_A and with
// B's by the opposite, dP being the point's motion per metre of range and per radian of each
// angle. The model enters through the calibration alone: the fit sets its own elements to zero
// before it calibrates, so they take no part, and the others reach e through the calibrated
// readings.
#include <array>
#include <cstddef>
#include <vector>

#include "engine/constants.h"
#include "engine/determined_solve.h"
#include "fits/interball_fit.h"
#include "fits/point_gradients.h"
#include "model/live.h"
#include "report/fixed_point.h"
#include "report/run_record.h"

namespace compensation::detail {

COMPENSATION_WIDE_VECTORS
std::optional<FitDerivatives> InterballFitRows(const Snapshot& snapshot, int set, int targetCount,
                                               int viewCount, InterballTable table,
                                               const TMapper& model,
                                               const std::vector<double TMapper::*>& inputs) {
    if (set < 0 || static_cast<std::size_t>(set) >= snapshot.sets.size() || targetCount < 2 ||
        viewCount < 1 || table.size() < 1) {
        return std::nullopt;
    }
    const std::vector<CVector>& readings = snapshot.sets[static_cast<std::size_t>(set)];
    const std::size_t total = static_cast<std::size_t>(targetCount) * viewCount;
    const std::size_t pairs = static_cast<std::size_t>(targetCount) * (targetCount - 1) / 2;
    if (readings.size() < total || snapshot.ibPairs.size() < pairs) {
        return std::nullopt;
    }

    // The call's stages (which only read their input) on copies of what the fit reads.
    std::vector<CVector> measurements(readings.begin(),
                                      readings.begin() + static_cast<std::ptrdiff_t>(total));
    std::vector<int> pairTable = snapshot.ibPairs;
    TMapper zeroed = model;
    std::vector<double TMapper::*> outputs;
    for (const InterballElement& row : table) {
        zeroed.*row.element = 0.0;
        outputs.push_back(row.element);
    }
    const InterballInput in{
        measurements.data(), targetCount, viewCount, pairTable.data(), &zeroed, nullptr, 1};
    std::vector<CVector> calibrated;
    CalibrateLive(in, zeroed, RawTermsOfLive(in), calibrated);
    const DesignRows rows = BuildDesignRows(in, table, calibrated);

    // The fit's own test of its normal equations decides whether it solves; the rows then need
    // their inverse.
    const int n = static_cast<int>(table.size());
    const auto N = static_cast<std::size_t>(n);
    std::vector<double> matrix;
    std::vector<double> rhs;
    FormNormalEquations(rows, matrix, rhs);
    std::vector<double> eliminated = matrix;
    std::vector<double> solution(N);
    if (!SolveDetermined(n, eliminated.data(), rhs.data(), solution.data())) {
        return std::nullopt;
    }
    std::vector<double> inverse;
    if (!Invert(n, matrix, inverse)) {
        return std::nullopt;
    }

    // dP per metre of range and per radian of azimuth and elevation, once per live measurement.
    // The points themselves too: each takes part in a row with every other target.
    std::vector<std::array<Vec3, kComponents>> slopes(total);
    std::vector<Vec3> points(total);
    for (std::size_t m = 0; m < total; ++m) {
        if (IsLive(calibrated[m])) {
            slopes[m] = PointMotion(calibrated[m]);
            points[m] = PositionOf(calibrated[m]);
        }
    }

    // Each measurement's response gathered in the design's space first, sum_r ds_r a_r over the
    // rows it takes part in, and turned into the estimate's once: M^-1 per measurement rather
    // than per row.
    ScratchVector<double> image(total * kComponents * N, 0.0);
    std::vector<bool> inRows(total, false);
    std::vector<double> design(N);
    for (int r = 0; r < rows.count(); ++r) {
        for (std::size_t q = 0; q < N; ++q) {
            design[q] = rows.a[q][static_cast<std::size_t>(r)];
        }
        const auto [mA, mB] = rows.ends[static_cast<std::size_t>(r)];
        const Vec3 separation = Minus(points[mA], points[mB]);
        for (const auto& [m, sign] : {std::pair{mA, 2.0}, std::pair{mB, -2.0}}) {
            inRows[m] = true;
            for (std::size_t k = 0; k < kComponents; ++k) {
                const double ds = sign * Dot(separation, slopes[m][k]);
                AddScaled(ds, design.data(), image.data() + (m * kComponents + k) * N, N);
            }
        }
    }
    // The responses, -(180/pi) M^-1 w / N for every measurement and component, as rows over the
    // measurements in the rows: the images turned into a row over them per component and
    // design column, and M^-1 (symmetric) applied to those rows.
    std::vector<ReadingCopy> copies;
    for (std::size_t m = 0; m < total; ++m) {
        if (inRows[m]) {
            copies.push_back({set, static_cast<int>(m)});
        }
    }
    const std::size_t C = copies.size();
    ScratchVector<double> byColumn(kComponents * N * C);
    for (std::size_t c = 0; c < C; ++c) {
        const auto m = static_cast<std::size_t>(copies[c].index);
        for (std::size_t i = 0; i < kComponents * N; ++i) {
            byColumn[i * C + c] = image[m * kComponents * N + i];
        }
    }
    ScratchVector<double> responses(kComponents * N * C);
    const double scale = -kRadToDeg / rows.count();
    std::vector<double> weights(N * N);
    for (std::size_t i = 0; i < N * N; ++i) {
        weights[i] = scale * inverse[i];
    }
    for (std::size_t k = 0; k < kComponents; ++k) {
        for (std::size_t o = 0; o < N; ++o) {
            CombineRows(weights.data() + o * N, N, byColumn.data() + k * N * C, C,
                        responses.data() + (k * N + o) * C, C);
        }
    }
    FitResponse response(snapshot, outputs, inputs, model);
    response.SetRows(std::move(copies), std::move(responses));
    return response.Finish(outputs);
}

}  // namespace compensation::detail
