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
struct FullRun {
    int Run();
    int CoverageAndTwoFaceStage();
    void SingleTermOutliers();

    CCompensation& engine;
    FullInput in;
    FullWorkingSets sets{in.layout, in.host.count, {kD2Pairs}};
    FitCall twoFace =
        FullTwoFaceFit(engine, sets.twoFace, in.model, in.record, kNoAzimuthHarmonics);
    FitCall x0y0 = X0Y0Fit(engine, sets.x0y0, in.model, in.record);
    FitCall interball =
        FullInterballFit(engine, sets, in.layout, in.model, in.record, kNoAzimuthHarmonics);
    FitCall d2 = OutsideFit(engine, &CCompensation::Calculate_d2, in.outside, sets.outsidePairs[0],
                            in.model, in.record);
};

// Coverage, the two-face pairs and their first fit; the outlier pass only on full coverage.
int FullRun::CoverageAndTwoFaceStage() {
    const int coverage = PrepareAndCover(engine, in.host, in.layout, {in.outside}, sets);
    twoFace(1);
    if (coverage != 0) {
        return coverage;
    }
    TwoFaceOutlierPass(twoFace, in.layout.targets * in.layout.views * kMainRejectShare);
    return 0;
}

// One outlier stage for each single-term and interball fit, each followed by joint loops.
void FullRun::SingleTermOutliers() {
    OutlierStage(x0y0, {x0y0, interball, d2}, kJointBudget);
    OutlierStage(interball, {x0y0, interball, d2}, kJointBudget);
    OutlierStage(d2, {d2, x0y0, interball}, kJointBudget);
}

int FullRun::Run() {
    int code = CoverageAndTwoFaceStage();
    if (code != 0) {
        return code;
    }
    code = ClassifyTargetPairs(engine, in.host, *in.record, in.layout, sets);
    if (code > 0) {
        return code;
    }
    code = JointLoop({x0y0, interball, d2}, kJointBudget);
    if (code > 0) {
        return code;
    }
    SingleTermOutliers();

    // Only a settled model is written back and scored.
    code = JointLoop({twoFace, x0y0, interball, d2}, kJointBudget);
    if (code != 0) {
        return code;
    }
    WriteBackFullSets(engine, in.host, *in.record, sets);
    engine.FinalValidate(in.host.vectors, in.host.count, in.layout.views, in.model, in.record, 1,
                         1);
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
    FullRun run{*this, {host, layout, outside, pMap, pCompOut}};
    return UndoneOnRefusal(pMap, pCompOut, {host, outside}, [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
