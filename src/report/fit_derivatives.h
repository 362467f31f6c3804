// The first-order response of one fit's elements to the readings it reads and to the model it
// enters with, at the procedure's fixed point: what the linearisation of the fixed point needs
// of each fit.
//
// A fit family that exposes its rows gives them in one pass over its readings: every fit calibrates
// copies of the readings and solves a small least-squares problem (or averages closed-form
// estimates) in quantities formed from them. Differentiated, the solution u = N^-1 X^T W y moves
// with a row's observation by the gain N^-1 x_i w_i, and the observation with the calibrated
// readings it is formed from; the calibration moves with the raw reading (identity, below) and
// with the model's elements (exactly: the model is linear in them). The design rows x_i move with
// the readings as well, by N^-1 (dX^T W r - X^T W dX u) (r the residuals): that multiplies the
// solution (elements of 1e-4 rad) or the residuals (the noise), below 1e-3 of a reading's own
// derivative, so a family may hold its rows; but an element that reaches a fit only through the
// directions its rows are formed at (a range or polynomial element moving the two-face rows'
// half-angle) has that for its whole derivative, which the two-face rows therefore keep.
//
// A calibrated reading moves with its raw reading by I + d(correction)/d(reading). The
// corrections change with the angles by at most their own size per radian times the highest
// harmonic (6 x 1e-4 rad), and with the range by X0 / R^2: the identity is used, within 1e-3.
#ifndef COMPENSATION_REPORT_FIT_DERIVATIVES_H
#define COMPENSATION_REPORT_FIT_DERIVATIVES_H

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "report/scratch.h"

namespace compensation::detail {

struct Snapshot;

// One copy of a reading in the snapshot's sets.
struct ReadingCopy {
    int set;
    int index;
};

// The reading components, in the order of every per-copy block below.
enum ReadingComponent { kRangeComponent, kAzimuthComponent, kElevationComponent, kComponents };

struct FitDerivatives {
    // The elements the fit writes: one row each below.
    std::vector<double TMapper::*> outputs;
    // d output / d input element, both as the model stores them (degrees or metres); outputs x
    // inputs, row-major; the inputs are the linearisation's elements, in its order.
    ScratchVector<double> byElement;
    // The copies the outputs respond to, and d output / d each copy's raw range (m), azimuth
    // and elevation (rad): a row over the copies per component and output, kComponents x
    // outputs x copies.
    std::vector<ReadingCopy> copies;
    ScratchVector<double> byCopy;
};

// A fit family's rows at `model`: the derivatives of the fit over `snapshot`'s sets; nothing
// where the rows do not describe the call (an element the data leave undetermined keeps its
// entry value, and the others are solved with it held), which then takes forward differences.
using FitLinearisation = std::function<std::optional<FitDerivatives>(
    const Snapshot& snapshot, const TMapper& model, const std::vector<double TMapper::*>& inputs)>;

// How one calibration pass of a fit takes the model's elements: every input from the model
// except `notFromModel` (the elements the fit sets to 0) and `fed` (elements the fit sets to
// values it solved for earlier in the call: each is one of its outputs, itself not fed).
struct PassCalibration {
    std::vector<double TMapper::*> notFromModel;
    std::vector<double TMapper::*> fed;
};

// Gathers how a fit's outputs respond to the calibrated readings of each of its calibration
// passes, and turns that into the fit's derivatives through its calibrations.
class FitResponse {
  public:
    // Every pass may move every output.
    FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                const std::vector<double TMapper::*>& inputs, const TMapper& model, int passes = 1);
    // Pass q moves only `moves[q]`, some of `outputs`: a fit that solves its elements in stages
    // over several calibrations keeps no blocks for the outputs a pass leaves alone.
    FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                const std::vector<double TMapper::*>& inputs, const TMapper& model,
                std::vector<std::vector<double TMapper::*>> moves);

    // The outputs pass `pass` moves, in the order of its blocks.
    const std::vector<double TMapper::*>& Moves(int pass = 0) const {
        return moves_[static_cast<std::size_t>(pass)];
    }

    // d moved outputs / d calibrated (range, azimuth, elevation) of the reading at `copy` as
    // pass `pass` calibrates it, to add to: kComponents x Moves(pass).size(), zero at first; it
    // stays where it is while the response lives.
    double* At(ReadingCopy copy, int pass = 0);

    // A one-pass fit that forms its responses as rows itself gives them whole instead of by
    // copy: d outputs / d calibrated readings, a row over `copies` per component and output,
    // kComponents x outputs x copies.
    void SetRows(std::vector<ReadingCopy> copies, ScratchVector<double> rows);

    // The fit's derivatives, one calibration per pass. A raw reading moves each pass's
    // calibrated reading alike (the identity), so its rows add up over the passes.
    FitDerivatives Finish(const std::vector<PassCalibration>& passes);
    // One pass that takes every input from the model except `notFromModel`.
    FitDerivatives Finish(const std::vector<double TMapper::*>& notFromModel);

  private:
    const double* Block(std::size_t copy, int pass) const;

    const Snapshot& snapshot_;
    std::vector<double TMapper::*> outputs_;
    const std::vector<double TMapper::*>& inputs_;
    const TMapper& model_;
    std::vector<std::vector<double TMapper::*>> moves_;
    std::vector<std::vector<std::size_t>> movedOutput_;  // per pass: each moved output's place
    std::vector<std::size_t> offset_;                    // per pass: its block's place in a copy's
    std::size_t perCopy_;                                // all passes' blocks of one copy
    std::vector<std::vector<int>> slot_;  // per set and reading: copy + 1, 0 for none
    // Each copy's blocks, one a pass, in chunks of kChunk copies, so that a block never moves.
    static constexpr std::size_t kChunk = 32;
    std::vector<ReadingCopy> copies_;
    std::vector<ScratchVector<double>> chunks_;
    ScratchVector<double> givenRows_;  // SetRows's, until Finish takes them
};

// The gain of a linear least-squares solution, u = N^-1 sum_i w_i x_i y_i with
// N = sum_i w_i x_i x_i^T: u moves with y_i by N^-1 w_i x_i.
class LeastSquaresGain {
  public:
    explicit LeastSquaresGain(int unknowns);
    void AddRow(const double* design, double weight = 1.0);
    // N, sum_i w_i x_i x_i^T.
    std::vector<double> Normal() const;
    // False when N is singular.
    bool Factorise();
    // N^-1 w x into `gain` (unknowns).
    void Gain(const double* design, double weight, double* gain) const;
    // N^-1 w_j x_j into gains[j] for three designs at once, in one pass over N^-1.
    void Gains(const double* const designs[3], const double weights[3],
               double* const gains[3]) const;

  private:
    template <std::size_t Count>
    void GainsOf(const double* const* designs, const double* weights, double* const* gains) const;

    int n_;
    std::size_t stride_;  // n rounded up to whole vectors; the padding is zero
    std::vector<double> normal_;
    std::vector<double> inverseColumns_;  // N^-1 transposed, rows `stride_` apart
};

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_FIT_DERIVATIVES_H
