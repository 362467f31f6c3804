// Full compensation: the full two-face and interball terms, X0, Y0 from target pairs within
// views and D2 from outside measurements.
#include <new>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "model/raw_term_cache.h"
#include "procedures/procedure_steps.h"

namespace {

using namespace compensation::detail;

// The full procedure runs its fits without the azimuth harmonics.
constexpr int kNoAzimuthHarmonics = 0;

// One run of the procedure: its working sets and its fits, called by named stages.
struct FullRun {
    int Run();
    int CoverageAndTwoFaceStage();
    void SingleTermOutliers();

    CCompensation& engine;
    HostArray host;
    ViewLayout layout;
    HostArray outside;
    TMapper* model;
    TCompOut* record;
    FullWorkingSets sets{layout, host.count, {kD2Pairs}};
    FitCall twoFace = FullTwoFaceFit(engine, sets.twoFace, model, record, kNoAzimuthHarmonics);
    FitCall x0y0 = X0Y0Fit(engine, sets.x0y0, model, record);
    FitCall interball = FullInterballFit(engine, sets, layout, model, record, kNoAzimuthHarmonics);
    FitCall d2 = OutsideFit(engine, &CCompensation::Calculate_d2, outside, sets.outsidePairs[0],
                            model, record);
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
    OutlierStage(x0y0, {x0y0, interball, d2}, kJointBudget);
    OutlierStage(interball, {x0y0, interball, d2}, kJointBudget);
    OutlierStage(d2, {d2, x0y0, interball}, kJointBudget);
}

int FullRun::Run() {
    int code = CoverageAndTwoFaceStage();
    if (code != 0) {
        return code;
    }
    code = ClassifyTargetPairs(engine, host, *record, layout, sets);
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
    WriteBackFullSets(engine, host, *record, sets);
    engine.FinalValidate(host.vectors, host.count, layout.views, model, record, 1, 1);
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
    const compensation::detail::RawTermCache rawTerms(ReadingCount({host, outside}));
    FullRun run{*this, host, layout, outside, pMap, pCompOut};
    return UndoneOnRefusal(pMap, pCompOut, {host, outside}, [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
