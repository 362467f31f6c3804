// Quick compensation: the two-face terms and Ax, Ay from one array of views.
#include <new>
#include <vector>

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

// The outlier pass and the joint iterations share one budget of evaluations.
constexpr int kQuickBudget = 51;
// The two-face outlier pass may reject up to a tenth of the measurements.
constexpr double kQuickRejectShare = 0.1;

// One run of the procedure on a layout that its fits accept: its working sets and its fits,
// called by named stages.
struct QuickRun {
    int Run();
    int TwoFaceStage(int* evaluations);
    void InterballStage();

    CCompensation& engine;
    RunRecorder& recorder;
    HostArray host;
    ViewLayout layout;
    TMapper* model;
    TCompOut* record;
    TwoFacePairs twoFacePairs{host.count};
    std::vector<int> interballTable = std::vector<int>(PairTableSize(layout.targets));
    FitCall twoFace = recorder.Track(
        "CalculateQCFSBSa", "two-face pairs", two_face::kRejected, 0, Refusing([this](int flag) {
            return engine.CalculateQCFSBSa(twoFacePairs.fronts.data(), twoFacePairs.backs.data(),
                                           model, twoFacePairs.count, record, flag);
        }));
    FitCall interball = recorder.Track(
        "CalculateQC_axy", "interball distances", compensation::kInterballRejected,
        compensation::kInterballNotConverged, Refusing([this](int flag) {
            return engine.CalculateQC_axy(twoFacePairs.fronts.data(), layout.targets, layout.views,
                                          interballTable.data(), model, record, flag);
        }));
};

// Coverage (one sector a view), the two-face pairs and their first fit; the outlier pass only
// on full coverage. Its budget used is the joint loop's start.
int QuickRun::TwoFaceStage(int* evaluations) {
    SetFaces(host.vectors, host.count);
    const int coverage =
        engine.AcceptViews(host.vectors, host.count, compensation::kTypeReferenceView,
                           kQuickCoverageCode, layout.views);
    twoFacePairs.Classify(engine, host, 1);
    twoFace(1);
    if (coverage != 0) {
        return coverage;
    }
    *evaluations = TwoFaceOutlierPass(twoFace, layout.targets * layout.views * kQuickRejectShare);
    return 0;
}

void QuickRun::InterballStage() {
    engine.ClassifyIBPairs(twoFacePairs.fronts.data(), interballTable.data(), layout.targets);
    interball(1);
    // Rejection calls repeat while they still reject or move Ax, Ay. Each rejection removes a
    // measurement pair for good, so rejections end by themselves; a fit that cannot settle
    // (data that do not determine Ax and Ay) would not, and gets the joint budget on top.
    RejectWhileRejecting(interball, layout.targets * layout.views + kQuickBudget);
}

int QuickRun::Run() {
    int evaluations = 0;
    const int coverage = TwoFaceStage(&evaluations);
    if (coverage != 0) {
        return recorder.Stop(Stage::kCoverageGap, coverage, model, record);
    }
    InterballStage();
    const int code = recorder.Loop("joint loop", {twoFace, interball}, &evaluations, kQuickBudget);
    twoFacePairs.Classify(engine, host, 0);
    engine.FinalValidate(host.vectors, host.count, layout.views, model, record, 0, 0);
    recorder.SetSnapshot(QuickSnapshot(twoFacePairs, interballTable, layout, *record));
    return recorder.Stop(code == 0 ? Stage::kSettled : Stage::kJointLoopUnsettled, code, model,
                         record);
}

}  // namespace

int CCompensation::QuickCompInsertion(CVector* pVec, int nCount, TMapper* pMap,
                                      TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    RunRecorder recorder(&m_pRunRecord, compensation::Procedure::kQuick, 0);
    if (pVec == nullptr || pMap == nullptr || pCompOut == nullptr || nCount < 2) {
        return recorder.Refused(compensation::kInvalidInput);
    }
    const ViewLayout layout = CountViews(pVec, nCount);
    // The interball fit reads the layout's target count of front sights of every view from the pair
    // array, and needs two targets to form a distance at all; a layout it would refuse is refused
    // here, before the two-face fit has written the model.
    if (!FitsPairArrays(pVec, nCount, layout) || layout.targets < kLeastInterballTargets) {
        return recorder.Refused(compensation::kInvalidInput);
    }
    const compensation::detail::RawTermCache rawTerms(static_cast<std::size_t>(nCount));
    recorder.Enter(pMap);
    QuickRun run{*this, recorder, {pVec, nCount}, layout, pMap, pCompOut};
    return recorder.Finish(
        UndoneOnRefusal(pMap, pCompOut, {{pVec, nCount}}, [&run] { return run.Run(); }));
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
