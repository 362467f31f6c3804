// Full compensation: the full two-face and interball terms, X0, Y0 from target pairs within
// views and D2 from outside measurements.
#include <new>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "fits/two_face_fit.h"
#include "model/raw_term_cache.h"
#include "procedures/procedure_steps.h"
#include "report/procedure_snapshots.h"
#include "report/run_record.h"

namespace {

using namespace compensation::detail;
using compensation::Stage;

// The full procedure runs its fits without the azimuth harmonics.
constexpr int kNoAzimuthHarmonics = 0;

// One run of the procedure: its working sets and its fits, called by named stages.
struct FullRun {
    int Run();
    int CoverageAndTwoFaceStage();
    void SingleTermOutliers();

    CCompensation& engine;
    RunRecorder& recorder;
    HostArray host;
    ViewLayout layout;
    HostArray outside;
    TMapper* model;
    TCompOut* record;
    FullWorkingSets sets{layout, host.count, {kD2Pairs}};
    FitCall twoFace =
        recorder.Track("CalculateFFCFSBS", "two-face pairs", two_face::kRejected, 0,
                       FullTwoFaceFit(engine, sets.twoFace, model, record, kNoAzimuthHarmonics));
    FitCall x0y0 =
        recorder.Track("Calculate_x0y0", "x0y0 pairs", compensation::kX0Y0Rejected,
                       compensation::kX0Y0NotConverged, X0Y0Fit(engine, sets.x0y0, model, record));
    FitCall interball =
        recorder.Track("CalculateFFCaxy123", "interball distances",
                       compensation::kInterballRejected, compensation::kInterballNotConverged,
                       FullInterballFit(engine, sets, layout, model, record, kNoAzimuthHarmonics));
    FitCall d2 = recorder.Track("Calculate_d2", "d2 pairs", compensation::kOutsidePairRejected,
                                compensation::kOutsidePairNotConverged,
                                OutsideFit(engine, &CCompensation::Calculate_d2, outside,
                                           sets.outsidePairs[0], model, record));
};

// Coverage, the two-face pairs and their first fit; the outlier pass only on full coverage.
int FullRun::CoverageAndTwoFaceStage() {
    const int coverage = PrepareAndCover(engine, host, layout, {outside}, sets);
    twoFace(1);
    if (coverage != 0) {
        return coverage;
    }
    TwoFaceOutlierPass(twoFace, layout.targets * layout.views * kMainRejectShare);
    return 0;
}

// One outlier stage for each single-term and interball fit, each followed by joint loops.
void FullRun::SingleTermOutliers() {
    recorder.Outliers("x0y0 outlier stage", x0y0, {x0y0, interball, d2}, kJointBudget);
    recorder.Outliers("interball outlier stage", interball, {x0y0, interball, d2}, kJointBudget);
    recorder.Outliers("d2 outlier stage", d2, {d2, x0y0, interball}, kJointBudget);
}

int FullRun::Run() {
    int code = CoverageAndTwoFaceStage();
    if (code != 0) {
        return recorder.Stop(Stage::kCoverageGap, code, model, record);
    }
    int failedSet = 0;
    code = ClassifyTargetPairs(engine, host, *record, layout, sets, &failedSet);
    if (code > 0) {
        return recorder.Stop(TooFewPairsStage(failedSet), code, model, record);
    }
    code = recorder.Loop("first joint loop", {x0y0, interball, d2}, kJointBudget);
    if (code > 0) {
        return recorder.Stop(Stage::kFirstLoopUnsettled, code, model, record);
    }
    SingleTermOutliers();

    // Only a settled model is written back and scored.
    code = recorder.Loop("final joint loop", {twoFace, x0y0, interball, d2}, kJointBudget);
    if (code != 0) {
        return recorder.Stop(Stage::kFinalLoopUnsettled, code, model, record);
    }
    WriteBackFullSets(engine, host, *record, sets);
    engine.FinalValidate(host.vectors, host.count, layout.views, model, record, 1, 1);
    recorder.SetSnapshot(FullSnapshot(sets, outside, layout, *record));
    return recorder.Stop(Stage::kSettled, 0, model, record);
}

}  // namespace

int CCompensation::FullComp(CVector* pVec, int nCount, CVector* pVecOut, int nCountOut,
                            TMapper* pMap, TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    RunRecorder recorder(&m_pRunRecord, compensation::Procedure::kFull, 0);
    const HostArray host{pVec, nCount};
    const HostArray outside{pVecOut, nCountOut};
    ViewLayout layout;
    const int refusal = pMap == nullptr ? compensation::kInvalidInput
                                        : CheckFullInput(pVec, nCount, pCompOut, {outside},
                                                         {kX0Y0Pairs, kD2Pairs}, &layout);
    if (refusal != 0) {
        return recorder.Refused(refusal);
    }
    const compensation::detail::RawTermCache rawTerms(ReadingCount({host, outside}));
    recorder.Enter(pMap);
    FullRun run{*this, recorder, host, layout, outside, pMap, pCompOut};
    return recorder.Finish(
        UndoneOnRefusal(pMap, pCompOut, {host, outside}, [&run] { return run.Run(); }));
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
