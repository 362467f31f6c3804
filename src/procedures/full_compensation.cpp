// Full compensation: the full two-face and interball terms, X0, Y0 from target pairs within
// views and D2 from outside measurements.
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "procedures/procedure_steps.h"

namespace {

using namespace compensation::detail;

// The full procedure runs its fits without the azimuth harmonics.
constexpr int kNoAzimuthHarmonics = 0;

// What one run works on: the host's array and its layout, the outside set, the model and the
// record.
struct FullInput {
    HostArray host;
    ViewLayout layout;
    HostArray outside;
    TMapper* model;
    TCompOut* record;
};

// One run of the procedure: its working sets and its fits, called by named stages.
class FullRun {
  public:
    FullRun(CCompensation& engine, const FullInput& input)
        : engine_(engine),
          in_(input),
          sets_(input.layout, input.host.count, {kD2Pairs}),
          twoFace_(FullTwoFaceFit(engine, sets_.twoFace, input.model, input.record,
                                  kNoAzimuthHarmonics)),
          x0y0_(X0Y0Fit(engine, sets_.x0y0, input.model, input.record)),
          interball_(FullInterballFit(engine, sets_, input.layout, input.model, input.record,
                                      kNoAzimuthHarmonics)),
          d2_(OutsideFit(engine, &CCompensation::Calculate_d2, input.outside, sets_.outsidePairs[0],
                         input.model, input.record)) {}

    int Run();

  private:
    int CoverageAndTwoFaceStage();
    void SingleTermOutliers();

    CCompensation& engine_;
    FullInput in_;
    FullWorkingSets sets_;
    FitCall twoFace_, x0y0_, interball_, d2_;
};

// Coverage, the two-face pairs and their first fit; the outlier pass only on full coverage.
int FullRun::CoverageAndTwoFaceStage() {
    PrepareFullSets(engine_, in_.host, in_.layout, {in_.outside});
    const int coverage = CoverAndPair(engine_, in_.host, sets_);
    twoFace_(1);
    if (coverage != 0) {
        return coverage;
    }
    TwoFaceOutlierPass(twoFace_, in_.layout.targets * in_.layout.views * kMainRejectShare);
    return 0;
}

// One outlier stage for each single-term and interball fit, each followed by joint loops.
void FullRun::SingleTermOutliers() {
    OutlierStage(x0y0_, {x0y0_, interball_, d2_}, kJointBudget);
    OutlierStage(interball_, {x0y0_, interball_, d2_}, kJointBudget);
    OutlierStage(d2_, {d2_, x0y0_, interball_}, kJointBudget);
}

int FullRun::Run() {
    int code = CoverageAndTwoFaceStage();
    if (code != 0) {
        return code;
    }
    code = ClassifyTargetPairs(engine_, in_.host, *in_.record, in_.layout, sets_);
    if (code > 0) {
        return code;
    }
    code = JointLoop({x0y0_, interball_, d2_}, kJointBudget);
    if (code > 0) {
        return code;
    }
    SingleTermOutliers();

    // Only a settled model is written back and scored.
    code = JointLoop({twoFace_, x0y0_, interball_, d2_}, kJointBudget);
    if (code != 0) {
        return code;
    }
    WriteBackFullSets(engine_, in_.host, *in_.record, sets_);
    engine_.FinalValidate(in_.host.vectors, in_.host.count, in_.layout.views, in_.model, in_.record,
                          1, 1);
    return 0;
}

}  // namespace

int CCompensation::FullComp(CVector* pVec, int nCount, CVector* pVecOut, int nCountOut,
                            TMapper* pMap, TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    const HostArray host{pVec, nCount};
    const HostArray outside{pVecOut, nCountOut};
    ViewLayout layout;
    const int refusal = pMap == nullptr ? compensation::kInvalidInput
                                        : CheckFullInput(pVec, nCount, pCompOut, {outside},
                                                         {kX0Y0Pairs, kD2Pairs}, &layout);
    if (refusal != 0) {
        return refusal;
    }
    FullRun run(*this, {host, layout, outside, pMap, pCompOut});
    return UndoneOnRefusal(pMap, pCompOut, {host, outside}, [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
