// What a procedure records of its own run, for the run report: the hooks the procedures call.
//
// A procedure creates one RunRecorder on entry. It wraps each fit so that its calls and codes
// are counted, runs its named joint loops through it, says which stage stopped it, and, when it
// has fitted, leaves a snapshot of its final working sets from which the report linearises the
// fits' joint fixed point. On every path out of the procedure the recorder hands the record to
// the engine; the procedure's arithmetic, codes and trace are unchanged.
#ifndef COMPENSATION_REPORT_RUN_RECORD_H
#define COMPENSATION_REPORT_RUN_RECORD_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compensation/engine.h"
#include "compensation/run_report.h"
#include "model/raw_term_cache.h"
#include "procedures/procedure_steps.h"
#include "report/fit_derivatives.h"

namespace compensation::detail {

struct Snapshot;

// A fit as the linearisation calls it: a fitting call on the snapshot's sets with the model
// given, writing its elements into that model.
using SnapshotFit =
    std::function<void(CCompensation& engine, Snapshot& sets, TMapper* map, TCompOut* out)>;

struct SnapshotFitSpec {
    std::string name;
    std::vector<int> reads;  // the sets it reads
    SnapshotFit call;
    // The elements it writes; found by probing when left empty.
    std::vector<double TMapper::*> elements;
    // Its derivatives from its rows, when its family gives them.
    FitLinearisation rows;
};

// Copies of a procedure's final working sets and its fits over them, in the order of the
// procedure's final joint loop.
struct Snapshot {
    std::vector<std::vector<CVector>> sets;
    std::vector<int> ibPairs;
    std::vector<SnapshotFitSpec> fits;
    // The result record as the run left it: some fits read their target positions and the
    // in-line view from it.
    TCompOut out{};
    // The raw terms the run worked out for its readings, shared by every copy of the
    // snapshot (nothing changes them).
    std::shared_ptr<const std::vector<RawTermCache::Entry>> rawTerms;
};

struct FitTally {
    FitReport report;
    int rejectedCode = 0;  // a flag-0 result containing it counts as a rejection
    int otherCode = 0;     // the code that may come with it (not converged)
};

struct RunRecord {
    Procedure procedure = Procedure::kNone;
    int mode = 0;
    int result = 0;
    Stage stage = Stage::kNotRun;
    int flyingStatus = 0;
    int coverageCode = 0;
    std::vector<FitTally> fits;
    std::vector<LoopReport> loops;
    NoiseEstimate noise;
    TMapper entry{};
    TMapper final{};
    // Elements whose verdict the procedure's data fixed before the fit wrote (undetermined).
    std::vector<std::pair<std::string, std::string>> undetermined;
    std::shared_ptr<Snapshot> snapshot;
};

// A fit that leaves `elements` at their entry values because the data cannot tell them apart
// notes it here, with the cause in words; outside a procedure run nothing is noted.
void NoteUndeterminedElements(const std::vector<double TMapper::*>& elements,
                              const std::string& cause);

// The stage of a full procedure whose target pair classification failed at `failedSet`
// (the order of ClassifyTargetPairs: X0, Y0 pairs, interball table, d2 pairs, extra pairs).
inline Stage TooFewPairsStage(int failedSet) {
    constexpr Stage kStages[] = {Stage::kTooFewX0Y0Pairs, Stage::kTooFewInterballPairs,
                                 Stage::kTooFewD2Pairs, Stage::kTooFewExtraPairs};
    return kStages[failedSet];
}

class RunRecorder {
  public:
    RunRecorder(std::shared_ptr<const RunRecord>* slot, Procedure procedure, int mode);
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;
    // Hands the record to the engine; a run left by an exception stopped for lack of memory.
    ~RunRecorder();

    // The model on entry (before any fit wrote).
    void Enter(const TMapper* map);
    // Wraps a fit so that its calls, codes and rejections are counted.
    FitCall Track(const char* name, const char* set, int rejectedCode, int otherCode, FitCall fit);
    // A named joint loop with its budget; returns its last sum. The second form continues a
    // counter the procedure shares between steps.
    int Loop(const char* name, const std::vector<FitCall>& fits, int budget);
    int Loop(const char* name, const std::vector<FitCall>& fits, int* evaluations, int budget);
    // A named outlier stage (the rejection call, then its joint loop while it rejects).
    void Outliers(const char* name, const FitCall& fit, const std::vector<FitCall>& loop,
                  int budget);
    // Counts a loop run the procedure made by itself.
    void CountLoop(const char* name, int evaluations, int budget, int sum);

    void SetFlyingStatus(int status, int coverage);
    void SetSnapshot(std::shared_ptr<Snapshot> snapshot);
    // Records the stage and the final model and result; returns `result`.
    int Stop(Stage stage, int result, const TMapper* map, const TCompOut* out);
    // The procedure refused its input (nothing was written); returns `code`.
    int Refused(int code);
    // The code a run returned: as it stopped, or a fit's refusal part way, after which the
    // host's model, record and arrays were put back.
    int Finish(int code);

    RunRecord& record() { return *record_; }

  private:
    LoopReport& LoopNamed(const char* name, int budget);

    std::shared_ptr<const RunRecord>* slot_;
    std::shared_ptr<RunRecord> record_;
    const TMapper* model_ = nullptr;  // the model the procedure's fits write
    RunRecord* outer_ = nullptr;
    bool stopped_ = false;
};

}  // namespace compensation::detail

#endif  // COMPENSATION_REPORT_RUN_RECORD_H
