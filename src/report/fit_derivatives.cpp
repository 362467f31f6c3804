#include "report/fit_derivatives.h"

#include <algorithm>
#include <array>
#include <utility>

#include "model/element_columns.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"
#include "report/fixed_point.h"
#include "report/run_record.h"

namespace compensation::detail {

namespace {

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

// Copies taken together when a per-copy layout turns into rows over the copies.
constexpr std::size_t kTile = 16;

// The entries of `elements`: nullptr for T_ref, which moves no reading.
std::vector<const ModelElementEntry*> EntriesOf(const std::vector<double TMapper::*>& elements) {
    std::vector<const ModelElementEntry*> entries;
    entries.reserve(elements.size());
    for (double TMapper::*element : elements) {
        entries.push_back(ModelElementEntryOf(element));
    }
    return entries;
}

// Ones, for an element that carries no face sign or temperature offset: a product by 1 is exact.
constexpr std::array<double, kTile> kOnes = [] {
    std::array<double, kTile> ones{};
    for (std::size_t t = 0; t < kTile; ++t) {
        ones[t] = 1.0;
    }
    return ones;
}();

// The columns of a tile of copies, laid out by copy: of each reading, the factors and ways that
// some element's column takes, its face sign and its temperature offset, so that each column is
// then formed along the copies. A reading without a face has zeros throughout.
class ColumnTile {
  public:
    ColumnTile(std::vector<ReadingFactor> factors,
               std::vector<std::pair<ModelSum, std::size_t>> ways)
        : factors_(std::move(factors)),
          ways_(std::move(ways)),
          factor_(factors_.size() * kTile),
          way_(ways_.size() * kTile) {}

    void Set(std::size_t t, const CVector& raw, const TMapper& model) {
        CVector reading = raw;
        reading.SeType();
        if (reading.FSBS == 0) {
            for (std::size_t i = 0; i < factors_.size(); ++i) {
                factor_[i * kTile + t] = 0.0;
            }
            for (std::size_t i = 0; i < ways_.size(); ++i) {
                way_[i * kTile + t] = 0.0;
            }
            face_[t] = drift_[t] = 0.0;
            return;
        }
        const ReadingColumns columns(reading, RawTermsFor(reading), model.T_ref);
        for (std::size_t i = 0; i < factors_.size(); ++i) {
            factor_[i * kTile + t] = columns.Factor(factors_[i]);
        }
        for (std::size_t i = 0; i < ways_.size(); ++i) {
            way_[i * kTile + t] = columns.WayOf(ways_[i].first)[ways_[i].second];
        }
        face_[t] = columns.Face();
        drift_[t] = columns.Drift();
    }

    // The column of `entry` at `factor` and `way` (places in the lists it was made with) for
    // the first `count` copies, as ReadingColumns::Scale and WayOf form it.
    void Column(const ModelElementEntry& entry, std::size_t factor, std::size_t way,
                std::size_t count, double* into) const {
        const double* factors = factor_.data() + factor * kTile;
        const double* ways = way_.data() + way * kTile;
        const double* face = entry.face ? face_ : kOnes.data();
        const double* drift = entry.drift ? drift_ : kOnes.data();
        for (std::size_t t = 0; t < count; ++t) {
            into[t] = entry.sign * factors[t] * face[t] * drift[t] * ways[t];
        }
    }

  private:
    std::vector<ReadingFactor> factors_;
    std::vector<std::pair<ModelSum, std::size_t>> ways_;
    std::vector<double> factor_;  // a row of kTile per factor
    std::vector<double> way_;     // a row of kTile per way
    double face_[kTile] = {};
    double drift_[kTile] = {};
};

}  // namespace

FitResponse::FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                         const std::vector<double TMapper::*>& inputs, const TMapper& model,
                         int passes)
    : FitResponse(
          snapshot, outputs, inputs, model,
          std::vector<std::vector<double TMapper::*>>(static_cast<std::size_t>(passes), outputs)) {}

FitResponse::FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                         const std::vector<double TMapper::*>& inputs, const TMapper& model,
                         std::vector<std::vector<double TMapper::*>> moves)
    : snapshot_(snapshot),
      outputs_(std::move(outputs)),
      inputs_(inputs),
      model_(model),
      moves_(std::move(moves)),
      movedOutput_(moves_.size()),
      offset_(moves_.size()),
      perCopy_(0),
      slot_(snapshot.sets.size()) {
    for (std::size_t pass = 0; pass < moves_.size(); ++pass) {
        for (double TMapper::*element : moves_[pass]) {
            movedOutput_[pass].push_back(static_cast<std::size_t>(
                std::find(outputs_.begin(), outputs_.end(), element) - outputs_.begin()));
        }
        offset_[pass] = perCopy_;
        perCopy_ += kComponents * moves_[pass].size();
    }
}

double* FitResponse::At(ReadingCopy copy, int pass) {
    std::vector<int>& slots = slot_[static_cast<std::size_t>(copy.set)];
    if (slots.empty()) {
        slots.assign(snapshot_.sets[static_cast<std::size_t>(copy.set)].size(), 0);
    }
    int& slot = slots[static_cast<std::size_t>(copy.index)];
    if (slot == 0) {
        if (copies_.size() % kChunk == 0) {
            chunks_.emplace_back(kChunk * perCopy_, 0.0);
        }
        copies_.push_back(copy);
        slot = static_cast<int>(copies_.size());
    }
    return const_cast<double*>(Block(static_cast<std::size_t>(slot - 1), pass));
}

void FitResponse::SetRows(std::vector<ReadingCopy> copies, ScratchVector<double> rows) {
    copies_ = std::move(copies);
    givenRows_ = std::move(rows);
}

const double* FitResponse::Block(std::size_t copy, int pass) const {
    return chunks_[copy / kChunk].data() + (copy % kChunk) * perCopy_ +
           offset_[static_cast<std::size_t>(pass)];
}

COMPENSATION_WIDE_VECTORS
FitDerivatives FitResponse::Finish(const std::vector<PassCalibration>& passes) {
    const std::size_t outputs = outputs_.size();
    const std::size_t p = inputs_.size();
    const std::size_t copies = copies_.size();
    FitDerivatives d;
    d.outputs = outputs_;
    d.copies = copies_;
    d.byElement.assign(outputs * p, 0.0);

    // The elements whose columns the passes read: the inputs, then the fed elements that are
    // not inputs. Each element's column runs over the copies, a row a component: the outputs'
    // derivatives by the elements are then the products of these rows with the responses'.
    std::vector<double TMapper::*> elements = inputs_;
    for (const PassCalibration& pass : passes) {
        for (double TMapper::*element : pass.fed) {
            if (std::find(elements.begin(), elements.end(), element) == elements.end()) {
                elements.push_back(element);
            }
        }
    }
    // Where each element's column goes in each pass: an input's place, p + a fed place, or
    // nowhere (an element the pass sets itself).
    std::vector<std::vector<std::size_t>> targets(passes.size());
    std::vector<bool> needed(elements.size(), false);
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        const PassCalibration& calibration = passes[pass];
        const std::size_t nowhere = p + calibration.fed.size();
        targets[pass].assign(elements.size(), nowhere);
        for (std::size_t e = 0; e < elements.size(); ++e) {
            const auto held = [&elements, e](const std::vector<double TMapper::*>& list) {
                return static_cast<std::size_t>(std::find(list.begin(), list.end(), elements[e]) -
                                                list.begin());
            };
            if (held(calibration.fed) < calibration.fed.size()) {
                targets[pass][e] = p + held(calibration.fed);
            } else if (e < p && held(calibration.notFromModel) == calibration.notFromModel.size()) {
                targets[pass][e] = e;
            }
            needed[e] = needed[e] || targets[pass][e] != nowhere;
        }
    }
    // Only the elements some pass reads have rows, and only for the components their sum
    // reaches, each written whole.
    struct ColumnRow {
        const ModelElementEntry* entry;
        std::size_t component;
    };
    const std::vector<const ModelElementEntry*> entries = EntriesOf(elements);
    std::vector<std::size_t> rowOf(elements.size() * kComponents, kNoRow);
    std::vector<ColumnRow> rows;
    for (std::size_t e = 0; e < elements.size(); ++e) {
        for (std::size_t k = 0; k < kComponents && entries[e] != nullptr && needed[e]; ++k) {
            if (Reaches(*entries[e], k)) {
                rowOf[e * kComponents + k] = rows.size();
                rows.push_back({entries[e], k});
            }
        }
    }
    // Written a tile of copies at a time, so that each row is written along itself; a tile
    // holds only the factors and ways the rows take.
    std::vector<ReadingFactor> factors;
    std::vector<std::pair<ModelSum, std::size_t>> ways;
    std::vector<std::pair<std::size_t, std::size_t>> placeOf(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto place = [](auto& list, const auto& value) {
            const auto at = std::find(list.begin(), list.end(), value);
            if (at == list.end()) {
                list.push_back(value);
                return list.size() - 1;
            }
            return static_cast<std::size_t>(at - list.begin());
        };
        placeOf[r] = {place(factors, rows[r].entry->factor),
                      place(ways, std::pair{rows[r].entry->sum, rows[r].component})};
    }
    ScratchVector<double> columns(rows.size() * copies);
    ColumnTile tile(std::move(factors), std::move(ways));
    for (std::size_t first = 0; first < copies; first += kTile) {
        const std::size_t count = std::min(kTile, copies - first);
        for (std::size_t t = 0; t < count; ++t) {
            const ReadingCopy& copy = copies_[first + t];
            tile.Set(t,
                     snapshot_.sets[static_cast<std::size_t>(copy.set)]
                                   [static_cast<std::size_t>(copy.index)],
                     model_);
        }
        for (std::size_t r = 0; r < rows.size(); ++r) {
            tile.Column(*rows[r].entry, placeOf[r].first, placeOf[r].second, count,
                        columns.data() + r * copies + first);
        }
    }
    std::vector<BandedRow> columnRows(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        columnRows[r] = Banded(columns.data() + r * copies, copies);
    }

    // Per pass: its responses as rows over the copies, and the rows of the elements it takes
    // from the model (into the derivatives) or is fed (into how its outputs move with the fed
    // elements, fed x outputs). A raw reading moves each pass's calibrated reading alike, so
    // the passes' rows add up into the derivatives by copy: a pass writes the rows of the
    // outputs no earlier pass moved there itself, and the others into rows of its own, added
    // once its products are taken.
    const bool given = !givenRows_.empty();
    if (given) {
        d.byCopy = std::move(givenRows_);
    } else {
        d.byCopy.resize(kComponents * outputs * copies);
    }
    std::vector<bool> written(outputs, false);
    std::vector<std::vector<double>> fedBy(passes.size());
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        const PassCalibration& calibration = passes[pass];
        const std::vector<std::size_t>& movedOutput = movedOutput_[pass];
        const std::size_t moves = movedOutput.size();
        const std::size_t passBlock = kComponents * moves;
        fedBy[pass].assign(calibration.fed.size() * outputs, 0.0);
        const auto again = static_cast<std::size_t>(
            std::count_if(movedOutput.begin(), movedOutput.end(),
                          [&written](std::size_t o) { return written[o]; }));
        ScratchVector<double> own(kComponents * again * copies);
        std::vector<double*> rowAt(passBlock);
        std::size_t owned = 0;
        for (std::size_t k = 0; k < kComponents; ++k) {
            for (std::size_t o = 0; o < moves; ++o) {
                rowAt[k * moves + o] =
                    written[movedOutput[o]]
                        ? own.data() + owned++ * copies
                        : d.byCopy.data() + (k * outputs + movedOutput[o]) * copies;
            }
        }
        for (std::size_t first = 0; first < copies && !(given && pass == 0); first += kTile) {
            const std::size_t tile = std::min(kTile, copies - first);
            const double* blocks[kTile];
            for (std::size_t t = 0; t < tile; ++t) {
                blocks[t] = Block(first + t, static_cast<int>(pass));
            }
            for (std::size_t k = 0; k < passBlock; ++k) {
                double* into = rowAt[k] + first;
                for (std::size_t t = 0; t < tile; ++t) {
                    into[t] = blocks[t][k];
                }
            }
        }
        std::vector<BandedRow> responseRows(passBlock);
        for (std::size_t k = 0; k < passBlock; ++k) {
            responseRows[k] = Banded(rowAt[k], copies);
        }
        const std::vector<std::size_t>& target = targets[pass];
        const std::size_t nowhere = p + calibration.fed.size();
        for (std::size_t k = 0; k < kComponents; ++k) {
            std::vector<BandedRow> moved;
            std::vector<std::size_t> movedAt;
            for (std::size_t o = 0; o < moves; ++o) {
                const BandedRow& row = responseRows[k * moves + o];
                if (row.first < row.last) {
                    moved.push_back(row);
                    movedAt.push_back(movedOutput[o]);
                }
            }
            std::vector<BandedRow> through;
            std::vector<std::size_t> throughTarget;
            for (std::size_t e = 0; e < elements.size(); ++e) {
                const std::size_t r = rowOf[e * kComponents + k];
                if (target[e] != nowhere && r != kNoRow &&
                    columnRows[r].first < columnRows[r].last) {
                    through.push_back(columnRows[r]);
                    throughTarget.push_back(target[e]);
                }
            }
            if (moved.empty() || through.empty()) {
                continue;
            }
            std::vector<double> products(moved.size() * through.size(), 0.0);
            AddRowProducts(moved, through, false, products.data(), through.size());
            for (std::size_t i = 0; i < moved.size(); ++i) {
                const std::size_t o = movedAt[i];
                for (std::size_t j = 0; j < through.size(); ++j) {
                    const double product = products[i * through.size() + j];
                    if (throughTarget[j] < p) {
                        d.byElement[o * p + throughTarget[j]] += product;
                    } else {
                        fedBy[pass][(throughTarget[j] - p) * outputs + o] += product;
                    }
                }
            }
        }
        for (std::size_t k = 0; k < kComponents; ++k) {
            for (std::size_t o = 0; o < moves; ++o) {
                if (!written[movedOutput[o]]) {
                    continue;
                }
                const BandedRow& row = responseRows[k * moves + o];
                double* into = d.byCopy.data() + (k * outputs + movedOutput[o]) * copies;
                for (std::size_t i = row.first; i < row.last; ++i) {
                    into[i] += row.values[i];
                }
            }
        }
        for (std::size_t o : movedOutput) {
            written[o] = true;
        }
    }
    // The outputs no pass moves.
    for (std::size_t o = 0; o < outputs; ++o) {
        for (std::size_t k = 0; k < kComponents && !written[o]; ++k) {
            std::fill_n(d.byCopy.data() + (k * outputs + o) * copies, copies, 0.0);
        }
    }
    // A fed element's value is the output of the same name: its rows carry into the rows of
    // the outputs the pass it feeds moves (which are not fed themselves), by element and by
    // copy, the fed elements in order.
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        const std::vector<double TMapper::*>& fed = passes[pass].fed;
        for (std::size_t j = 0; j < fed.size(); ++j) {
            const auto from = static_cast<std::size_t>(
                std::find(outputs_.begin(), outputs_.end(), fed[j]) - outputs_.begin());
            if (from == outputs) {
                continue;
            }
            const double* factors = fedBy[pass].data() + j * outputs;
            for (std::size_t o = 0; o < outputs; ++o) {
                if (factors[o] != 0.0 && o != from) {
                    AddScaled(factors[o], d.byElement.data() + from * p, d.byElement.data() + o * p,
                              p);
                }
            }
            for (std::size_t k = 0; k < kComponents; ++k) {
                const double* moved = d.byCopy.data() + (k * outputs + from) * copies;
                for (std::size_t o = 0; o < outputs; ++o) {
                    if (factors[o] != 0.0 && o != from) {
                        AddScaled(factors[o], moved, d.byCopy.data() + (k * outputs + o) * copies,
                                  copies);
                    }
                }
            }
        }
    }
    return d;
}

FitDerivatives FitResponse::Finish(const std::vector<double TMapper::*>& notFromModel) {
    return Finish(std::vector<PassCalibration>{{notFromModel, {}}});
}

namespace {

// The unknowns a gain takes together: one vector of four, or two of two.
constexpr std::size_t kGainLanes = 4;

}  // namespace

LeastSquaresGain::LeastSquaresGain(int unknowns)
    : n_(unknowns),
      stride_((static_cast<std::size_t>(unknowns) + kGainLanes - 1) / kGainLanes * kGainLanes),
      normal_(static_cast<std::size_t>(unknowns * unknowns), 0.0) {}

void LeastSquaresGain::AddRow(const double* design, double weight) {
    // The upper triangle; Normal() mirrors it.
    const auto n = static_cast<std::size_t>(n_);
    for (std::size_t i = 0; i < n; ++i) {
        AddScaled(weight * design[i], design + i, normal_.data() + i * n + i, n - i);
    }
}

std::vector<double> LeastSquaresGain::Normal() const {
    const auto n = static_cast<std::size_t>(n_);
    std::vector<double> normal = normal_;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            normal[i * n + k] = normal[k * n + i];
        }
    }
    return normal;
}

bool LeastSquaresGain::Factorise() {
    const auto n = static_cast<std::size_t>(n_);
    std::vector<double> inverse;
    if (!Invert(n_, Normal(), inverse)) {
        return false;
    }
    // Kept transposed: a gain is a sum of the inverse's columns, each a row here, which runs
    // along the unknowns instead of waiting on one running sum.
    inverseColumns_.assign(n * stride_, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < n; ++k) {
            inverseColumns_[k * stride_ + i] = inverse[i * n + k];
        }
    }
    return true;
}

// Each unknown's gain is the sum over k of x_k times column k's entry, in the order of k: a
// vector of unknowns at a time, with the designs' sums side by side.
template <std::size_t Count>
void LeastSquaresGain::GainsOf(const double* const* designs, const double* weights,
                               double* const* gains) const {
    const auto n = static_cast<std::size_t>(n_);
    for (std::size_t first = 0; first < n; first += kGainLanes) {
        double sums[Count][kGainLanes] = {};
        for (std::size_t k = 0; k < n; ++k) {
            const double* column = inverseColumns_.data() + k * stride_ + first;
#pragma GCC unroll 4
            for (std::size_t j = 0; j < Count; ++j) {
                const double x = designs[j][k];
                for (std::size_t l = 0; l < kGainLanes; ++l) {
                    sums[j][l] += x * column[l];
                }
            }
        }
        for (std::size_t j = 0; j < Count; ++j) {
            for (std::size_t l = 0; l < kGainLanes && first + l < n; ++l) {
                gains[j][first + l] = weights[j] * sums[j][l];
            }
        }
    }
}

void LeastSquaresGain::Gain(const double* design, double weight, double* gain) const {
    GainsOf<1>(&design, &weight, &gain);
}

void LeastSquaresGain::Gains(const double* const designs[3], const double weights[3],
                             double* const gains[3]) const {
    GainsOf<3>(designs, weights, gains);
}

}  // namespace compensation::detail
