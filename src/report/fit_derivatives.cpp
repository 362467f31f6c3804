#include "report/fit_derivatives.h"

#include <algorithm>
#include <utility>

#include "model/element_columns.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"
#include "report/fixed_point.h"
#include "report/run_record.h"

namespace compensation::detail {

namespace {

// The entries of `elements`: nullptr for T_ref, which moves no reading.
std::vector<const ModelElementEntry*> EntriesOf(const std::vector<double TMapper::*>& elements) {
    std::vector<const ModelElementEntry*> entries;
    entries.reserve(elements.size());
    for (double TMapper::*element : elements) {
        entries.push_back(ModelElementEntryOf(element));
    }
    return entries;
}

// The columns of a copy's reading, or nothing for a reading without a face.
std::optional<ReadingColumns> ColumnsOfCopy(const CVector& raw, const TMapper& model) {
    CVector reading = raw;
    reading.SeType();
    if (reading.FSBS == 0) {
        return std::nullopt;
    }
    return ReadingColumns(reading, RawTermsFor(reading), model.T_ref);
}

}  // namespace

FitResponse::FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                         const std::vector<double TMapper::*>& inputs, const TMapper& model,
                         int passes)
    : snapshot_(snapshot),
      outputs_(std::move(outputs)),
      inputs_(inputs),
      model_(model),
      passes_(passes),
      block_(kComponents * outputs_.size()),
      slot_(snapshot.sets.size()) {}

double* FitResponse::At(ReadingCopy copy, int pass) {
    std::vector<int>& slots = slot_[static_cast<std::size_t>(copy.set)];
    if (slots.empty()) {
        slots.assign(snapshot_.sets[static_cast<std::size_t>(copy.set)].size(), 0);
    }
    int& slot = slots[static_cast<std::size_t>(copy.index)];
    if (slot == 0) {
        if (copies_.size() % kChunk == 0) {
            chunks_.emplace_back(kChunk * static_cast<std::size_t>(passes_) * block_, 0.0);
        }
        copies_.push_back(copy);
        slot = static_cast<int>(copies_.size());
    }
    return const_cast<double*>(Block(static_cast<std::size_t>(slot - 1), pass));
}

const double* FitResponse::Block(std::size_t copy, int pass) const {
    const std::size_t perCopy = static_cast<std::size_t>(passes_) * block_;
    return chunks_[copy / kChunk].data() + (copy % kChunk) * perCopy +
           static_cast<std::size_t>(pass) * block_;
}

namespace {

// The outputs a pass moves, [first, last): a pass often serves one stage of the fit, whose
// outputs lie together.
struct OutputSpan {
    std::size_t first;
    std::size_t last;
};

// Adds to `into` (entries x outputs, element by element) the block's response through the
// reading's columns of the elements whose entries are given (null: not taken), over the outputs
// of `span`. The outputs of one element lie together, so the innermost loop runs along them on
// vectors.
void Chain(const double* block, const ReadingColumns& reading,
           const std::vector<const ModelElementEntry*>& entries, std::size_t outputs,
           OutputSpan span, double* into) {
    if (span.last <= span.first) {
        return;  // the pass moves no output
    }
    const std::size_t count = span.last - span.first;
    double column[kComponents];
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (entries[e] == nullptr) {
            continue;
        }
        reading.Column(*entries[e], column);
        for (std::size_t k = 0; k < kComponents; ++k) {
            if (column[k] != 0.0) {
                AddScaled(column[k], block + k * outputs + span.first,
                          into + e * outputs + span.first, count);
            }
        }
    }
}

// The element-by-element sums of Chain as outputs x elements.
void Transposed(const std::vector<double>& byElement, std::size_t outputs, double* into) {
    const std::size_t elements = outputs == 0 ? 0 : byElement.size() / outputs;
    for (std::size_t e = 0; e < elements; ++e) {
        for (std::size_t o = 0; o < outputs; ++o) {
            into[o * elements + e] = byElement[e * outputs + o];
        }
    }
}

}  // namespace

FitDerivatives FitResponse::Finish(const std::vector<PassCalibration>& passes) const {
    const std::size_t outputs = outputs_.size();
    const std::size_t p = inputs_.size();
    FitDerivatives d;
    d.outputs = outputs_;
    d.copies = copies_;
    d.byCopy.assign(copies_.size() * block_, 0.0);
    d.byElement.assign(outputs * p, 0.0);
    // Per pass: the inputs it takes from the model (the others null), and its fed elements.
    std::vector<std::vector<const ModelElementEntry*>> taken(passes.size());
    std::vector<std::vector<const ModelElementEntry*>> fed(passes.size());
    std::vector<std::vector<double>> fedBy(passes.size());  // fed x outputs, a pass each
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        taken[pass] = EntriesOf(inputs_);
        for (std::size_t e = 0; e < p; ++e) {
            for (const auto* held : {&passes[pass].notFromModel, &passes[pass].fed}) {
                if (std::find(held->begin(), held->end(), inputs_[e]) != held->end()) {
                    taken[pass][e] = nullptr;
                }
            }
        }
        fed[pass] = EntriesOf(passes[pass].fed);
        fedBy[pass].assign(outputs * passes[pass].fed.size(), 0.0);
    }
    std::vector<double> byElement(p * outputs, 0.0);  // element by element
    std::vector<OutputSpan> spans(passes.size(), OutputSpan{outputs, 0});
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        for (std::size_t c = 0; c < copies_.size(); ++c) {
            const double* block = Block(c, static_cast<int>(pass));
            for (std::size_t k = 0; k < block_; ++k) {
                if (block[k] != 0.0) {
                    spans[pass].first = std::min(spans[pass].first, k % outputs);
                    spans[pass].last = std::max(spans[pass].last, k % outputs + 1);
                }
            }
        }
    }
    for (std::size_t c = 0; c < copies_.size(); ++c) {
        const std::optional<ReadingColumns> reading =
            ColumnsOfCopy(snapshot_.sets[static_cast<std::size_t>(copies_[c].set)]
                                        [static_cast<std::size_t>(copies_[c].index)],
                          model_);
        for (std::size_t pass = 0; pass < passes.size(); ++pass) {
            const double* block = Block(c, static_cast<int>(pass));
            for (std::size_t k = 0; k < block_; ++k) {
                d.byCopy[c * block_ + k] += block[k];
            }
            if (reading) {
                Chain(block, *reading, taken[pass], outputs, spans[pass], byElement.data());
                Chain(block, *reading, fed[pass], outputs, spans[pass], fedBy[pass].data());
            }
        }
    }
    Transposed(byElement, outputs, d.byElement.data());
    // A fed element's value is the output of the same name: its rows carry into the rows that
    // the element moves.
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        const std::vector<double TMapper::*>& fed = passes[pass].fed;
        for (std::size_t j = 0; j < fed.size(); ++j) {
            const auto from = static_cast<std::size_t>(
                std::find(outputs_.begin(), outputs_.end(), fed[j]) - outputs_.begin());
            for (std::size_t o = 0; o < outputs && from < outputs; ++o) {
                const double factor = fedBy[pass][j * outputs + o];
                if (factor != 0.0) {
                    AddOutputRow(d, o, from, factor);
                }
            }
        }
    }
    return d;
}

FitDerivatives FitResponse::Finish(const std::vector<double TMapper::*>& notFromModel) const {
    return Finish(std::vector<PassCalibration>{{notFromModel, {}}});
}

void AddOutputRow(FitDerivatives& d, std::size_t to, std::size_t from, double factor) {
    const std::size_t outputs = d.outputs.size();
    const std::size_t inputs = d.byElement.size() / outputs;
    for (std::size_t e = 0; e < inputs; ++e) {
        d.byElement[to * inputs + e] += factor * d.byElement[from * inputs + e];
    }
    for (std::size_t k = 0; k < d.byCopy.size(); k += outputs) {
        d.byCopy[k + to] += factor * d.byCopy[k + from];
    }
}

LeastSquaresGain::LeastSquaresGain(int unknowns)
    : n_(unknowns), normal_(static_cast<std::size_t>(unknowns * unknowns), 0.0) {}

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
    inverse_.assign(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        inverse_[i * n + i] = 1.0;
    }
    return SolveGeneral(n_, n_, Normal(), inverse_);
}

void LeastSquaresGain::Gain(const double* design, double weight, double* gain) const {
    for (int i = 0; i < n_; ++i) {
        double sum = 0.0;
        for (int k = 0; k < n_; ++k) {
            sum += inverse_[static_cast<std::size_t>(i * n_ + k)] * design[k];
        }
        gain[i] = weight * sum;
    }
}

}  // namespace compensation::detail
