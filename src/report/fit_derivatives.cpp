#include "report/fit_derivatives.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "model/element_columns.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"
#include "report/fixed_point.h"
#include "report/run_record.h"

namespace compensation::detail {

void ElementColumns(const CVector& raw, const TMapper& model,
                    const std::vector<double TMapper::*>& elements, double* columns) {
    CVector reading = raw;
    reading.SeType();
    std::fill(columns, columns + elements.size() * kComponents, 0.0);
    if (reading.FSBS == 0) {
        return;
    }
    const ElementColumnSet all = ElementColumnsOf(reading, RawTermsFor(reading), model.T_ref);
    for (std::size_t e = 0; e < elements.size(); ++e) {
        columns[e * kComponents + kRangeComponent] = all.range.*elements[e];
        columns[e * kComponents + kAzimuthComponent] = all.azimuth.*elements[e];
        columns[e * kComponents + kElevationComponent] = all.elevation.*elements[e];
    }
}

FitResponse::FitResponse(const Snapshot& snapshot, std::vector<double TMapper::*> outputs,
                         const std::vector<double TMapper::*>& inputs, const TMapper& model)
    : snapshot_(snapshot),
      outputs_(std::move(outputs)),
      inputs_(inputs),
      model_(model),
      slot_(snapshot.sets.size()) {}

double* FitResponse::At(ReadingCopy copy) {
    std::vector<int>& slots = slot_[static_cast<std::size_t>(copy.set)];
    if (slots.empty()) {
        slots.assign(snapshot_.sets[static_cast<std::size_t>(copy.set)].size(), 0);
    }
    int& slot = slots[static_cast<std::size_t>(copy.index)];
    const std::size_t block = kComponents * outputs_.size();
    if (slot == 0) {
        if (copies_.size() % kChunk == 0) {
            chunks_.emplace_back(kChunk * block, 0.0);
        }
        copies_.push_back(copy);
        slot = static_cast<int>(copies_.size());
    }
    const auto c = static_cast<std::size_t>(slot - 1);
    return chunks_[c / kChunk].data() + (c % kChunk) * block;
}

const double* FitResponse::Block(std::size_t copy) const {
    return chunks_[copy / kChunk].data() + (copy % kChunk) * kComponents * outputs_.size();
}

std::vector<double> FitResponse::ThroughCalibration(
    const std::vector<double TMapper::*>& elements) const {
    const std::size_t outputs = outputs_.size();
    const std::size_t count = elements.size();
    std::vector<double> result(outputs * count, 0.0);
    std::vector<double> columns(count * kComponents);
    for (std::size_t c = 0; c < copies_.size(); ++c) {
        const ReadingCopy copy = copies_[c];
        ElementColumns(snapshot_.sets[static_cast<std::size_t>(copy.set)]
                                     [static_cast<std::size_t>(copy.index)],
                       model_, elements, columns.data());
        const double* block = Block(c);
        for (std::size_t e = 0; e < count; ++e) {
            for (int k = 0; k < kComponents; ++k) {
                const double column = columns[e * kComponents + static_cast<std::size_t>(k)];
                if (column == 0.0) {
                    continue;
                }
                for (std::size_t o = 0; o < outputs; ++o) {
                    result[o * count + e] +=
                        block[static_cast<std::size_t>(k) * outputs + o] * column;
                }
            }
        }
    }
    return result;
}

FitDerivatives FitResponse::Finish(const std::vector<double TMapper::*>& notFromModel) const {
    FitDerivatives d;
    d.outputs = outputs_;
    d.copies = copies_;
    d.byCopy.reserve(copies_.size() * kComponents * outputs_.size());
    for (std::size_t c = 0; c < copies_.size(); ++c) {
        d.byCopy.insert(d.byCopy.end(), Block(c), Block(c) + kComponents * outputs_.size());
    }
    std::vector<double TMapper::*> fromModel;
    std::vector<std::size_t> at;
    for (std::size_t e = 0; e < inputs_.size(); ++e) {
        if (std::find(notFromModel.begin(), notFromModel.end(), inputs_[e]) == notFromModel.end()) {
            fromModel.push_back(inputs_[e]);
            at.push_back(e);
        }
    }
    const std::vector<double> through = ThroughCalibration(fromModel);
    const std::size_t outputs = outputs_.size();
    d.byElement.assign(outputs * inputs_.size(), 0.0);
    for (std::size_t o = 0; o < outputs; ++o) {
        for (std::size_t k = 0; k < at.size(); ++k) {
            d.byElement[o * inputs_.size() + at[k]] = through[o * at.size() + k];
        }
    }
    return d;
}

LeastSquaresGain::LeastSquaresGain(int unknowns)
    : n_(unknowns), normal_(static_cast<std::size_t>(unknowns * unknowns), 0.0) {}

void LeastSquaresGain::AddRow(const double* design, double weight) {
    for (int i = 0; i < n_; ++i) {
        for (int k = 0; k < n_; ++k) {
            normal_[static_cast<std::size_t>(i * n_ + k)] += weight * design[i] * design[k];
        }
    }
}

bool LeastSquaresGain::Factorise() {
    const auto n = static_cast<std::size_t>(n_);
    inverse_.assign(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        inverse_[i * n + i] = 1.0;
    }
    return SolveGeneral(n_, n_, normal_, inverse_);
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
