// Quick compensation: the two-face terms and Ax, Ay from one array of views.
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "procedures/procedure_steps.h"

namespace {

using namespace compensation::detail;

// The outlier pass and the joint iterations share one budget of evaluations.
constexpr int kQuickBudget = 51;
// The two-face outlier pass may reject up to a tenth of the measurements.
constexpr double kQuickRejectShare = 0.1;
// First code of an empty azimuth sector.
constexpr int kQuickCoverageCode = 7;

// One run of the procedure on a layout that its fits accept: its working sets and its fits,
// called by named stages.
class QuickRun {
  public:
    QuickRun(CCompensation& engine, HostArray host, ViewLayout layout, TMapper* model,
             TCompOut* record)
        : engine_(engine),
          host_(host),
          layout_(layout),
          model_(model),
          record_(record),
          twoFacePairs_(host.count),
          interballTable_(PairTableSize(layout.targets)),
          twoFace_(Refusing([this](int flag) {
              return engine_.CalculateQCFSBSa(twoFacePairs_.fronts.data(),
                                              twoFacePairs_.backs.data(), model_,
                                              twoFacePairs_.count, record_, flag);
          })),
          interball_(Refusing([this](int flag) {
              return engine_.CalculateQC_axy(twoFacePairs_.fronts.data(), layout_.targets,
                                             layout_.views, interballTable_.data(), model_, record_,
                                             flag);
          })) {}

    int Run();

  private:
    int TwoFaceStage(int* evaluations);
    void InterballStage();

    CCompensation& engine_;
    HostArray host_;
    ViewLayout layout_;
    TMapper* model_;
    TCompOut* record_;
    TwoFacePairs twoFacePairs_;
    std::vector<int> interballTable_;
    FitCall twoFace_, interball_;
};

// Coverage (one sector a view), the two-face pairs and their first fit; the outlier pass only
// on full coverage. Its budget used is the joint loop's start.
int QuickRun::TwoFaceStage(int* evaluations) {
    SetFaces(host_.vectors, host_.count);
    const int coverage =
        engine_.AcceptViews(host_.vectors, host_.count, compensation::kTypeReferenceView,
                            kQuickCoverageCode, layout_.views);
    twoFacePairs_.Classify(engine_, host_, 1);
    twoFace_(1);
    if (coverage != 0) {
        return coverage;
    }
    *evaluations =
        TwoFaceOutlierPass(twoFace_, layout_.targets * layout_.views * kQuickRejectShare);
    return 0;
}

void QuickRun::InterballStage() {
    engine_.ClassifyIBPairs(twoFacePairs_.fronts.data(), interballTable_.data(), layout_.targets);
    interball_(1);
    // Rejection calls repeat while they still reject or move Ax, Ay. Each rejection removes a
    // measurement pair for good, so rejections end by themselves; a fit that cannot settle
    // (data that do not determine Ax and Ay) would not, and gets the joint budget on top.
    RejectWhileRejecting(interball_, layout_.targets * layout_.views + kQuickBudget);
}

int QuickRun::Run() {
    int evaluations = 0;
    const int coverage = TwoFaceStage(&evaluations);
    if (coverage != 0) {
        return coverage;
    }
    InterballStage();
    const int code = JointLoop({twoFace_, interball_}, &evaluations, kQuickBudget);
    twoFacePairs_.Classify(engine_, host_, 0);
    engine_.FinalValidate(host_.vectors, host_.count, layout_.views, model_, record_, 0, 0);
    return code;
}

}  // namespace

int CCompensation::QuickCompInsertion(CVector* pVec, int nCount, TMapper* pMap,
                                      TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    if (pVec == nullptr || pMap == nullptr || pCompOut == nullptr || nCount < 2) {
        return compensation::kInvalidInput;
    }
    const ViewLayout layout = CountViews(pVec, nCount);
    // The interball fit reads the layout's target count of front sights of every view from the pair
    // array, and needs two targets to form a distance at all; a layout it would refuse is refused
    // here, before the two-face fit has written the model.
    if (!FitsPairArrays(pVec, nCount, layout) || layout.targets < kLeastInterballTargets) {
        return compensation::kInvalidInput;
    }
    QuickRun run(*this, {pVec, nCount}, layout, pMap, pCompOut);
    return UndoneOnRefusal(pMap, pCompOut, {{pVec, nCount}}, [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
