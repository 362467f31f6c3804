// Full-full compensation: the full model with the six-harmonic two-face and interball terms
// when needed, flying views (FBB or check-view fit), K_minus or El_ElC, and two outside sets.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "fits/bel_geometry.h"
#include "fits/two_face_fit.h"
#include "model/raw_term_cache.h"
#include "procedures/procedure_steps.h"
#include "report/procedure_snapshots.h"
#include "report/run_record.h"

namespace {

using namespace compensation::detail;
using compensation::Stage;

// The final joint loop stops when the counter after the evaluation is above 50.
constexpr int kFinalBudget = 51;
// The first-stage two-face loops share a budget of 50 evaluations.
constexpr int kTwoFaceBudget = 50;
// The flying outlier pass may reject up to a tenth of the flying measurements, the flying
// interball pass up to a twentieth.
constexpr double kFlyingRejectShare = 0.1;
constexpr double kFlyingIBRejectShare = 0.05;
// The first pass fits the azimuth harmonics, and so does the final interball fit.
constexpr int kAzimuthHarmonics = 1;

enum Mode { kFlyingFBB = 0, kFlyingCheck = 1, kNoFlying = 2 };

// What one run works on: the host's array and its layout, the two outside sets, the flying views
// (`flyingTargets` targets a view), the model, the record and the mode.
struct FullFullInput {
    HostArray host;
    ViewLayout layout;
    HostArray outside1;
    HostArray outside2;
    HostArray flying;
    int flyingTargets;
    TMapper* model;
    TCompOut* record;
    int mode;
};

// One run of the procedure: its working sets and its fits, called by named stages.
struct FullFullRun {
    int Run();
    void DefineFits();
    bool UsesFlying() const { return in.mode != kNoFlying; }
    void ExcludeInlineViewFromTwoFace();
    int PrepareAndCheckCoverage();
    void TwoFaceStage();
    void TwoFacePasses();
    bool TwoFaceSpreadsLow() const;
    void SecondStageOutliers();
    void FlyingInterballOutliers();
    Stage UnsettledStage(Stage loopStage) const;
    int Stop(Stage stage, int code) { return recorder.Stop(stage, code, in.model, in.record); }

    CCompensation& engine;
    RunRecorder& recorder;
    FullFullInput in;
    int flyingViews =
        in.mode == kNoFlying ? 0 : static_cast<int>(in.flying.count / (2LL * in.flyingTargets));
    // The in-line flying view this run found, or kNoInlineView.
    int inlineView = kNoInlineView;
    // True while the azimuth-harmonic fits are in use, false once the six-harmonic ones take over.
    bool azimuthHarmonicPhase = true;
    // Evaluation count of the first-stage two-face loops, carried into the second pass.
    int twoFaceCount = 0;
    FullWorkingSets sets{in.layout, in.host.count, {kD2Pairs, kExtraPairs}};
    // The front sights of the two-face pairs as first classified, which the El_ElC fit reads.
    std::vector<CVector> firstPassFronts =
        std::vector<CVector>(static_cast<std::size_t>(in.host.count / 2));
    TwoFacePairs flyingPairs{in.flying.count};
    // The flying front sights as first classified, which the check-view fit reads.
    std::vector<CVector> firstPassFlyingFronts =
        std::vector<CVector>(static_cast<std::size_t>(in.flying.count / 2));
    std::vector<CVector> outsideAverages = std::vector<CVector>(4);
    // Mode 2: the outside sets as they were averaged (the views the averaging dropped marked),
    // from which the run report forms the averages again.
    std::vector<CVector> outside1AsAveraged{}, outside2AsAveraged{};
    // Defined by DefineFits, once the run stands where it stays.
    FitCall twoFace{}, fbbTwoFace{}, x0y0{}, flyingInterball{}, interball{}, finalInterball{}, d2{},
        cm{}, elevation{}, lastSingle{};
};

// Every fit is counted for the run report under the member the run calls; the phase-dependent
// ones under the azimuth-harmonic member's name.
void FullFullRun::DefineFits() {
    using compensation::detail::two_face::kRejected;
    const FitCall harmonicTwoFace =
        FullTwoFaceFit(engine, sets.twoFace, in.model, in.record, kAzimuthHarmonics);
    twoFace = recorder.Track("CalculateFFCFSBS", "two-face pairs", kRejected, 0,
                             Refusing([this, harmonicTwoFace](int flag) {
                                 return azimuthHarmonicPhase
                                            ? harmonicTwoFace(flag)
                                            : engine.CalculateFFCFSBS6(sets.twoFace.fronts.data(),
                                                                       sets.twoFace.backs.data(),
                                                                       in.model, sets.twoFace.count,
                                                                       in.record, flag);
                             }));
    fbbTwoFace = recorder.Track(
        "CalculateFBBFSBS", "flying two-face pairs", kRejected, 0, Refusing([this](int flag) {
            return engine.CalculateFBBFSBS(flyingPairs.fronts.data(), flyingPairs.backs.data(),
                                           in.model, flyingPairs.count, in.record, flag);
        }));
    x0y0 = recorder.Track("Calculate_x0y0", "x0y0 pairs", compensation::kX0Y0Rejected,
                          compensation::kX0Y0NotConverged,
                          X0Y0Fit(engine, sets.x0y0, in.model, in.record));
    flyingInterball = Refusing([this](int flag) {
        if (in.mode == kFlyingFBB) {
            return engine.CalculateFBBIB(flyingPairs.fronts.data(), in.model, in.flyingTargets,
                                         flyingViews, in.record, flag);
        }
        if (in.mode == kFlyingCheck) {
            return engine.CalculateFCKIB(firstPassFlyingFronts.data(), in.model, in.flyingTargets,
                                         flyingViews, in.record, flag);
        }
        return 0;
    });
    if (UsesFlying()) {
        flyingInterball =
            recorder.Track(in.mode == kFlyingFBB ? "CalculateFBBIB" : "CalculateFCKIB",
                           "flying views", compensation::kPolynomialRejected,
                           compensation::kPolynomialNotConverged, flyingInterball);
    }
    const FitCall harmonicInterball =
        FullInterballFit(engine, sets, in.layout, in.model, in.record, kAzimuthHarmonics);
    finalInterball = recorder.Track("CalculateFFCaxy123 (final loop)", "interball distances",
                                    compensation::kInterballRejected,
                                    compensation::kInterballNotConverged, harmonicInterball);
    interball = recorder.Track(
        "CalculateFFCaxy123", "interball distances", compensation::kInterballRejected,
        compensation::kInterballNotConverged, Refusing([this, harmonicInterball](int flag) {
            return azimuthHarmonicPhase
                       ? harmonicInterball(flag)
                       : engine.CalculateFFC6axy123(sets.twoFace.fronts.data(), in.layout.targets,
                                                    in.layout.views, sets.interballTable.data(),
                                                    in.model, in.record, flag);
        }));
    d2 = recorder.Track("Calculate_d2", "d2 pairs", compensation::kOutsidePairRejected,
                        compensation::kOutsidePairNotConverged,
                        OutsideFit(engine, &CCompensation::Calculate_d2, in.outside1,
                                   sets.outsidePairs[0], in.model, in.record));
    cm = recorder.Track("Calculate_cm", "extra pairs", compensation::kOutsidePairRejected,
                        compensation::kOutsidePairNotConverged,
                        OutsideFit(engine, &CCompensation::Calculate_cm, in.outside2,
                                   sets.outsidePairs[1], in.model, in.record));
    elevation = recorder.Track("Calculate_bEl", "El_ElC views", compensation::kElElCRejected,
                               compensation::kElElCNotConverged, Refusing([this](int flag) {
                                   return engine.Calculate_bEl(outsideAverages.data(),
                                                               firstPassFronts.data(),
                                                               in.layout.views, in.layout.targets,
                                                               in.model, in.record, flag);
                               }));
    lastSingle = [this](int flag) { return UsesFlying() ? cm(flag) : elevation(flag); };
}

// A mode-2 loop that cannot settle because no El_ElC target pair qualifies stopped for the
// geometry, not for the iterations.
Stage FullFullRun::UnsettledStage(Stage loopStage) const {
    if (!UsesFlying() && QualifyingElElCPairs(outsideAverages.data(), firstPassFronts.data(),
                                              in.layout.targets, *in.record) == 0) {
        return Stage::kElElCGeometry;
    }
    return loopStage;
}

void FullFullRun::ExcludeInlineViewFromTwoFace() {
    const PairRange inLine = InlineViewPairs(inlineView, in.flyingTargets);
    for (int i = 0; i < flyingPairs.count; ++i) {
        if (i >= inLine.first && i < inLine.last) {
            flyingPairs.backs[static_cast<std::size_t>(i)].Quality = compensation::kRejectedQuality;
        }
    }
}

// The flying views' acceptance and pairs (T_ref becomes the mean T of their front sights), then
// the host's coverage and two-face pairs.
int FullFullRun::PrepareAndCheckCoverage() {
    int flyingStatus = 0;
    if (UsesFlying()) {
        SetFaces(in.flying.vectors, in.flying.count);
        double gap = 0.0;
        flyingStatus = engine.AcceptFlyingAllViews(in.flying.vectors, in.flyingTargets,
                                                   in.flying.count, &gap, in.record);
        // Only an accepted set has had its in-line view written; after an early refusal the
        // record still holds whatever the host left there.
        inlineView = flyingStatus == 0 ? in.record->m_nInlineView : kNoInlineView;
        flyingPairs.Classify(engine, in.flying, 1);
        std::copy(flyingPairs.fronts.begin(), flyingPairs.fronts.begin() + flyingPairs.count,
                  firstPassFlyingFronts.begin());
        in.model->T_ref =
            flyingPairs.count > 0 ? MeanT(flyingPairs.fronts.data(), flyingPairs.count) : 0.0;
        ExcludeInlineViewFromTwoFace();
    }
    const int coverage =
        PrepareAndCover(engine, in.host, in.layout, {in.outside1, in.outside2}, sets);
    recorder.SetFlyingStatus(flyingStatus, coverage);
    std::copy(sets.twoFace.fronts.begin(), sets.twoFace.fronts.begin() + sets.twoFace.count,
              firstPassFronts.begin());
    return flyingStatus + coverage;
}

// The two-face joint loop, the flying outlier pass and the main outlier pass.
void FullFullRun::TwoFacePasses() {
    // Both fits write the model (D1 among others), so the FBB fit runs first, as listed; the
    // operands of a sum would run in an order of the compiler's choosing.
    const auto twoFaceJoint = [this]() {
        const int fbb = fbbTwoFace(1);
        const int main = twoFace(1);
        return fbb + main;
    };
    if (UsesFlying()) {
        SettleWithin(twoFaceJoint, &twoFaceCount, kTwoFaceBudget);
        int jointCount = 0;
        RejectAndSettle(fbbTwoFace, flyingViews * in.flyingTargets * kFlyingRejectShare,
                        [&] { SettleWithin(twoFaceJoint, &jointCount, kTwoFaceBudget); });
    }
    int jointCount = 0;
    const int rejections =
        RejectAndSettle(twoFace, in.layout.targets * in.layout.views * kMainRejectShare, [&] {
            if (UsesFlying()) {
                SettleWithin(twoFaceJoint, &jointCount, kTwoFaceBudget);
            }
        });
    // A second pass's two-face loop continues from the outer count of this main outlier pass
    // (its rejection tests plus the one that ended it), not from the joint evaluations inside
    // it: on a large network those can use up the whole budget, and the six-harmonic fits would
    // then start their outlier passes from the first pass's model, unsettled.
    twoFaceCount = rejections + 1;
}

// Two-face spreads (degrees) below which the azimuth-harmonic fits suffice.
bool FullFullRun::TwoFaceSpreadsLow() const {
    return in.record->m_dStdAz_fb < compensation::kTwiceTwoFaceSpreadDeg &&
           in.record->m_dStdEl_fb < compensation::kTwiceTwoFaceSpreadDeg;
}

// First pass with the azimuth-harmonic two-face fit; a second with the six-harmonic fits when
// the two-face spreads stay high.
void FullFullRun::TwoFaceStage() {
    TwoFacePasses();
    if (TwoFaceSpreadsLow()) {
        return;
    }
    azimuthHarmonicPhase = false;
    if (UsesFlying()) {
        // The in-line view's pairs stay out of the FBB two-face fit.
        flyingPairs.Classify(engine, in.flying, 1);
        ExcludeInlineViewFromTwoFace();
    }
    sets.twoFace.Classify(engine, in.host, 1);
    TwoFacePasses();
}

void FullFullRun::FlyingInterballOutliers() {
    const double limit = flyingViews * in.flyingTargets * kFlyingIBRejectShare;
    const std::vector<FitCall> loop = {x0y0, flyingInterball, interball, d2, cm};
    int jointCount = 0;
    for (int used = 0; used < limit; ++used) {
        const int rejected = flyingInterball(0);
        if (rejected == 0) {
            return;
        }
        const int sum =
            recorder.Loop("flying interball outlier stage", loop, &jointCount, kJointBudget);
        if (sum > 0 || rejected != 1) {
            return;
        }
    }
}

// One outlier stage for each fit of the second stage, each followed by joint loops.
void FullFullRun::SecondStageOutliers() {
    const std::vector<FitCall> joint = {x0y0, flyingInterball, interball, d2, lastSingle};
    recorder.Outliers("x0y0 outlier stage", x0y0, joint, kJointBudget);
    if (UsesFlying()) {
        FlyingInterballOutliers();
    }
    recorder.Outliers("interball outlier stage", interball, joint, kJointBudget);
    recorder.Outliers("d2 outlier stage", d2, joint, kJointBudget);
    if (UsesFlying()) {
        recorder.Outliers("cm outlier stage", cm, {x0y0, flyingInterball, interball, d2, cm},
                          kJointBudget);
    } else {
        recorder.Outliers("bEl outlier stage", elevation, {x0y0, interball, d2, elevation},
                          kJointBudget);
    }
}

int FullFullRun::Run() {
    DefineFits();
    int code = PrepareAndCheckCoverage();
    if (code != 0) {
        return Stop(
            recorder.record().flyingStatus > 0 ? Stage::kFlyingViewsRefused : Stage::kCoverageGap,
            code);
    }
    TwoFaceStage();

    int failedSet = 0;
    code = ClassifyTargetPairs(engine, in.host, *in.record, in.layout, sets, &failedSet);
    if (code > 0) {
        return Stop(TooFewPairsStage(failedSet), code);
    }
    engine.ClassifyOutside(in.outside1.vectors, in.outside1.count, in.outside2.vectors,
                           in.outside2.count, outsideAverages.data());
    if (!UsesFlying()) {
        outside1AsAveraged.assign(in.outside1.vectors, in.outside1.vectors + in.outside1.count);
        outside2AsAveraged.assign(in.outside2.vectors, in.outside2.vectors + in.outside2.count);
    }

    code = recorder.Loop("first joint loop", {x0y0, flyingInterball, interball, d2, lastSingle},
                         kJointBudget);
    if (code > 0) {
        return Stop(UnsettledStage(Stage::kFirstLoopUnsettled), code);
    }
    SecondStageOutliers();

    std::vector<FitCall> final = {twoFace, x0y0, flyingInterball, finalInterball, d2, lastSingle};
    if (UsesFlying()) {
        final.insert(final.begin(), fbbTwoFace);
    }
    code = recorder.Loop("final joint loop", final, kFinalBudget);
    if (code != 0) {
        return Stop(UnsettledStage(Stage::kFinalLoopUnsettled), code);
    }
    WriteBackFullSets(engine, in.host, *in.record, sets);
    engine.FinalValidate(in.host.vectors, in.host.count, in.layout.views, in.model, in.record,
                         in.mode + 1, 1);
    recorder.SetSnapshot(
        FullFullSnapshot({in.mode, azimuthHarmonicPhase, sets, flyingPairs, firstPassFronts,
                          firstPassFlyingFronts, outside1AsAveraged, outside2AsAveraged,
                          in.outside1, in.outside2, in.layout, in.flyingTargets, flyingViews},
                         *in.record));
    return Stop(Stage::kSettled, 0);
}

}  // namespace

int CCompensation::FullFullComp(CVector* pVec, int nCount, CVector* pVecOut1, int nCountOut1,
                                CVector* pVecOut2, int nCountOut2, CVector* pVecFly,
                                int nTargetsFly, int nCountFly, TMapper* pMap, TCompOut* pCompOut,
                                int nMode) try {
    const compensation::detail::TraceSession session(*this);
    RunRecorder recorder(&m_pRunRecord, compensation::Procedure::kFullFull, nMode);
    if (pMap == nullptr || (nMode != kFlyingFBB && nMode != kFlyingCheck && nMode != kNoFlying)) {
        return recorder.Refused(compensation::kInvalidInput);
    }
    if (nMode != kNoFlying && (nTargetsFly < 1 || nTargetsFly > compensation::kMostTargetsPerView ||
                               nCountFly < 0 || (nCountFly > 0 && pVecFly == nullptr) ||
                               CountFrontSights(pVecFly, nCountFly) > nCountFly / 2)) {
        return recorder.Refused(compensation::kInvalidInput);
    }
    // T_ref becomes the mean T of the flying front sights: a T that is not a number would put a
    // non-finite element into the model.
    const bool flyingTFinite =
        nMode == kNoFlying ||
        std::all_of(pVecFly, pVecFly + std::max(nCountFly, 0),
                    [](const CVector& sight) { return std::isfinite(sight.T); });
    if (!flyingTFinite) {
        return recorder.Refused(compensation::kInvalidInput);
    }
    // Each outside set must hold a live pair: modes 0 and 1 fit K_minus from the second set;
    // mode 2 averages it with the first for the El_ElC fit.
    const HostArray host{pVec, nCount};
    const HostArray outside1{pVecOut1, nCountOut1};
    const HostArray outside2{pVecOut2, nCountOut2};
    ViewLayout layout;
    const int refusal = CheckFullInput(pVec, nCount, pCompOut, {outside1, outside2},
                                       {kX0Y0Pairs, kD2Pairs, kExtraPairs}, &layout);
    if (refusal != 0) {
        return recorder.Refused(refusal);
    }
    recorder.Enter(pMap);
    const HostArray flying{pVecFly, nMode == kNoFlying ? 0 : nCountFly};
    const compensation::detail::RawTermCache rawTerms(
        ReadingCount({host, outside1, outside2, flying}));
    FullFullRun run{*this,
                    recorder,
                    {host, layout, outside1, outside2, flying, nTargetsFly, pMap, pCompOut, nMode}};
    return recorder.Finish(UndoneOnRefusal(pMap, pCompOut, {host, outside1, outside2, flying},
                                           [&run] { return run.Run(); }));
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
