#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "engine/constants.h"
#include "model/mapper_elements.h"
#include "model/raw_term_cache.h"
#include "report/run_record.h"

namespace compensation::detail {

namespace {

// A face difference is the difference of two readings with the same noise.
const double kFaceDifferenceToReading = 1.0 / std::sqrt(2.0);

bool Contains(int result, int code, int other) {
    return code != 0 && (result == code || (other != 0 && result == code + other));
}

// The Euclidean norm of a model's change over its elements as stored (degrees and metres): the
// rate of a loop is that of its slowest mode, whatever the scale of each element.
double ModelChange(const TMapper& before, const TMapper& after) {
    double sum = 0.0;
    for (const MapperElement& e : kMapperElements) {
        const double change = after.*e.member - before.*e.member;
        sum += change * change;
    }
    return std::sqrt(sum);
}

// The geometric mean of the ratios of successive changes over the last five passes at most.
double RateOfChanges(const std::vector<double>& changes) {
    constexpr std::size_t kLastRatios = 5;
    const std::size_t n = changes.size();
    if (n < 3) {
        return -1.0;
    }
    const std::size_t first = n - 1 - std::min(kLastRatios, n - 1);
    if (!(changes[first] > 0.0)) {
        return 0.0;
    }
    return std::pow(changes[n - 1] / changes[first], 1.0 / static_cast<double>(n - 1 - first));
}

}  // namespace

// The record of the procedure running on this thread: fits deep inside it note what the data
// could not determine without every call between passing the engine down. A procedure never
// runs inside another, and an engine is used by one thread at a time.
thread_local RunRecord* tRunning = nullptr;

std::shared_ptr<const RunRecord> LastRunRecord(const CCompensation& engine) {
    return engine.m_pRunRecord;
}

void NoteUndeterminedElements(const std::vector<double TMapper::*>& elements,
                              const std::string& cause) {
    RunRecord* record = tRunning;
    if (record == nullptr || elements.empty()) {
        return;
    }
    std::string names;
    for (std::size_t k = 0; k < elements.size(); ++k) {
        names += (k == 0 ? "" : k + 1 == elements.size() ? " and " : ", ");
        names += MapperElementName(elements[k]);
    }
    const std::string reason =
        names + (elements.size() > 1 ? " cannot be told apart: " : " cannot be determined: ") +
        cause;
    for (double TMapper::*element : elements) {
        bool known = false;
        for (auto& [name, text] : record->undetermined) {
            if (name == MapperElementName(element)) {
                text = reason;
                known = true;
            }
        }
        if (!known) {
            record->undetermined.emplace_back(MapperElementName(element), reason);
        }
    }
}

RunRecorder::RunRecorder(std::shared_ptr<const RunRecord>* slot, Procedure procedure, int mode)
    : slot_(slot), record_(std::make_shared<RunRecord>()) {
    record_->procedure = procedure;
    record_->mode = mode;
    *slot_ = record_;
    outer_ = tRunning;
    tRunning = record_.get();
}

RunRecorder::~RunRecorder() {
    tRunning = outer_;
    if (!stopped_) {
        record_->stage = Stage::kOutOfMemory;
        record_->result = kOutOfMemory;
    }
    *slot_ = std::move(record_);
}

void RunRecorder::Enter(const TMapper* map) {
    model_ = map;
    record_->entry = *map;
    record_->final = *map;
}

FitCall RunRecorder::Track(const char* name, const char* set, int rejectedCode, int otherCode,
                           FitCall fit) {
    FitTally tally;
    tally.report.name = name;
    tally.report.set = set;
    tally.rejectedCode = rejectedCode;
    tally.otherCode = otherCode;
    record_->fits.push_back(tally);
    const std::size_t index = record_->fits.size() - 1;
    RunRecord* record = record_.get();
    return [record, index, fit = std::move(fit)](int flag) {
        const int result = fit(flag);
        FitTally& t = record->fits[index];
        t.report.last_result = result;
        if (flag != 0) {
            ++t.report.fitting_calls;
        } else {
            ++t.report.outlier_calls;
            if (Contains(result, t.rejectedCode, t.otherCode)) {
                ++t.report.rejections;
            }
        }
        return result;
    };
}

LoopReport& RunRecorder::LoopNamed(const char* name, int budget) {
    for (LoopReport& loop : record_->loops) {
        if (loop.name == name) {
            return loop;
        }
    }
    LoopReport loop;
    loop.name = name;
    loop.budget = budget;
    record_->loops.push_back(loop);
    return record_->loops.back();
}

void RunRecorder::CountLoop(const char* name, int evaluations, int budget, int sum) {
    LoopReport& loop = LoopNamed(name, budget);
    ++loop.runs;
    loop.evaluations += evaluations;
    loop.last_sum = sum;
}

int RunRecorder::Loop(const char* name, const std::vector<FitCall>& fits, int* evaluations,
                      int budget) {
    const int before = *evaluations;
    // The change each pass makes, for the loop's rate.
    std::vector<double> changes;
    TMapper last = model_ != nullptr ? *model_ : TMapper{};
    const int sum = JointLoop(fits, evaluations, budget, [this, &changes, &last] {
        if (model_ != nullptr) {
            changes.push_back(ModelChange(last, *model_));
            last = *model_;
        }
    });
    CountLoop(name, *evaluations - before, budget - before, sum);
    LoopNamed(name, budget).rate = RateOfChanges(changes);
    return sum;
}

int RunRecorder::Loop(const char* name, const std::vector<FitCall>& fits, int budget) {
    int evaluations = 0;
    return Loop(name, fits, &evaluations, budget);
}

void RunRecorder::Outliers(const char* name, const FitCall& fit, const std::vector<FitCall>& loop,
                           int budget) {
    LoopNamed(name, budget);
    OutlierStage(fit, loop, budget, [this, name, budget](int evaluations, int sum) {
        CountLoop(name, evaluations, budget, sum);
    });
}

void RunRecorder::SetFlyingStatus(int status, int coverage) {
    record_->flyingStatus = status;
    record_->coverageCode = coverage;
}

void RunRecorder::SetSnapshot(std::shared_ptr<Snapshot> snapshot) {
    if (const RawTermCache* terms = RawTermCache::Active(); terms != nullptr && snapshot) {
        snapshot->rawTerms =
            std::make_shared<const std::vector<RawTermCache::Entry>>(terms->Kept());
    }
    record_->snapshot = std::move(snapshot);
}

int RunRecorder::Refused(int code) {
    return Stop(Stage::kInputRefused, code, nullptr, nullptr);
}

int RunRecorder::Finish(int code) {
    return stopped_ ? code : Refused(code);
}

int RunRecorder::Stop(Stage stage, int result, const TMapper* map, const TCompOut* out) {
    stopped_ = true;
    record_->stage = stage;
    record_->result = result;
    if (map != nullptr) {
        record_->final = *map;
    }
    bool fitted = false;
    for (const FitTally& fit : record_->fits) {
        fitted = fitted || fit.report.fitting_calls > 0;
    }
    if (out != nullptr && fitted) {
        NoiseEstimate& noise = record_->noise;
        noise.range = out->m_dStdR_fb * kFaceDifferenceToReading;
        noise.azimuth = out->m_dStdAz_fb * kDegToRad * kFaceDifferenceToReading;
        noise.elevation = out->m_dStdEl_fb * kDegToRad * kFaceDifferenceToReading;
        noise.interball_distance = out->m_dStdaxay;
        noise.available = std::isfinite(noise.range) && std::isfinite(noise.azimuth) &&
                          std::isfinite(noise.elevation);
    }
    return result;
}

}  // namespace compensation::detail
