// Full-full compensation: the full model with the six-harmonic two-face and interball terms
// when needed, flying views (FBB or check-view fit), K_minus or El_ElC, and two outside sets.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "procedures/procedure_steps.h"

namespace {

using namespace compensation::detail;

// The final joint loop stops when the counter after the evaluation is above 50.
constexpr int kFinalBudget = 51;
// The first-stage two-face loops share a budget of 50 evaluations.
constexpr int kTwoFaceBudget = 50;
// The flying outlier pass may reject up to a tenth of the flying measurements, the flying
// interball pass up to a twentieth.
constexpr double kFlyingRejectShare = 0.1;
constexpr double kFlyingIBRejectShare = 0.05;
// Two-face spreads (degrees) below which the azimuth-harmonic fits suffice, twice the
// two-face spread limit.
constexpr double kSixHarmonicTrigger = compensation::kTwiceTwoFaceSpreadDeg;
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
class FullFullRun {
  public:
    FullFullRun(CCompensation& engine, const FullFullInput& input)
        : engine_(engine),
          in_(input),
          flyingViews_(input.mode == kNoFlying
                           ? 0
                           : static_cast<int>(input.flying.count / (2LL * input.flyingTargets))),
          sets_(input.layout, input.host.count, {kD2Pairs, kExtraPairs}),
          firstPassFronts_(static_cast<std::size_t>(input.host.count / 2)),
          flyingPairs_(input.flying.count),
          firstPassFlyingFronts_(static_cast<std::size_t>(input.flying.count / 2)),
          outsideAverages_(4) {
        DefineFits();
    }

    int Run();

  private:
    void DefineFits();
    bool UsesFlying() const { return in_.mode != kNoFlying; }
    void ClassifyFlyingViews();
    void ExcludeInlineViewFromTwoFace();
    int PrepareAndCheckCoverage();
    void TwoFaceStage();
    void TwoFacePasses();
    bool TwoFaceSpreadsLow() const;
    void SecondStageOutliers();
    void FlyingInterballOutliers();

    CCompensation& engine_;
    FullFullInput in_;
    int flyingViews_;
    // The in-line flying view this run found, or kNoInlineView.
    int inlineView_ = kNoInlineView;
    // True while the azimuth-harmonic fits are in use, false once the six-harmonic ones take over.
    bool azimuthHarmonicPhase_ = true;
    // Evaluation count of the first-stage two-face loops, carried into the second pass.
    int twoFaceCount_ = 0;
    FullWorkingSets sets_;
    // The front sights of the two-face pairs as first classified, which the El_ElC fit reads.
    std::vector<CVector> firstPassFronts_;
    TwoFacePairs flyingPairs_;
    // The flying front sights as first classified, which the check-view fit reads.
    std::vector<CVector> firstPassFlyingFronts_;
    std::vector<CVector> outsideAverages_;
    FitCall twoFace_, fbbTwoFace_, x0y0_, flyingInterball_, interball_, finalInterball_, d2_, cm_,
        elevation_, lastSingle_;
};

void FullFullRun::DefineFits() {
    const FitCall harmonicTwoFace =
        FullTwoFaceFit(engine_, sets_.twoFace, in_.model, in_.record, kAzimuthHarmonics);
    twoFace_ = Refusing([this, harmonicTwoFace](int flag) {
        return azimuthHarmonicPhase_ ? harmonicTwoFace(flag)
                                     : engine_.CalculateFFCFSBS6(
                                           sets_.twoFace.fronts.data(), sets_.twoFace.backs.data(),
                                           in_.model, sets_.twoFace.count, in_.record, flag);
    });
    fbbTwoFace_ = Refusing([this](int flag) {
        return engine_.CalculateFBBFSBS(flyingPairs_.fronts.data(), flyingPairs_.backs.data(),
                                        in_.model, flyingPairs_.count, in_.record, flag);
    });
    x0y0_ = X0Y0Fit(engine_, sets_.x0y0, in_.model, in_.record);
    flyingInterball_ = Refusing([this](int flag) {
        if (in_.mode == kFlyingFBB) {
            return engine_.CalculateFBBIB(flyingPairs_.fronts.data(), in_.model, in_.flyingTargets,
                                          flyingViews_, in_.record, flag);
        }
        if (in_.mode == kFlyingCheck) {
            return engine_.CalculateFCKIB(firstPassFlyingFronts_.data(), in_.model,
                                          in_.flyingTargets, flyingViews_, in_.record, flag);
        }
        return 0;
    });
    finalInterball_ =
        FullInterballFit(engine_, sets_, in_.layout, in_.model, in_.record, kAzimuthHarmonics);
    interball_ = Refusing([this](int flag) {
        return azimuthHarmonicPhase_
                   ? finalInterball_(flag)
                   : engine_.CalculateFFC6axy123(sets_.twoFace.fronts.data(), in_.layout.targets,
                                                 in_.layout.views, sets_.interballTable.data(),
                                                 in_.model, in_.record, flag);
    });
    d2_ = OutsideFit(engine_, &CCompensation::Calculate_d2, in_.outside1, sets_.outsidePairs[0],
                     in_.model, in_.record);
    cm_ = OutsideFit(engine_, &CCompensation::Calculate_cm, in_.outside2, sets_.outsidePairs[1],
                     in_.model, in_.record);
    elevation_ = Refusing([this](int flag) {
        return engine_.Calculate_bEl(outsideAverages_.data(), firstPassFronts_.data(),
                                     in_.layout.views, in_.layout.targets, in_.model, in_.record,
                                     flag);
    });
    lastSingle_ = [this](int flag) { return UsesFlying() ? cm_(flag) : elevation_(flag); };
}

// Pairs the flying views and keeps the in-line view's pairs out of the FBB two-face fit.
void FullFullRun::ClassifyFlyingViews() {
    flyingPairs_.Classify(engine_, in_.flying, 1);
    ExcludeInlineViewFromTwoFace();
}

void FullFullRun::ExcludeInlineViewFromTwoFace() {
    const PairRange inLine = InlineViewPairs(inlineView_, in_.flyingTargets);
    for (int i = 0; i < flyingPairs_.count; ++i) {
        if (i >= inLine.first && i < inLine.last) {
            flyingPairs_.backs[static_cast<std::size_t>(i)].Quality =
                compensation::kRejectedQuality;
        }
    }
}

// The flying views' acceptance and pairs (T_ref becomes the mean T of their front sights), then
// the host's coverage and two-face pairs.
int FullFullRun::PrepareAndCheckCoverage() {
    int code = 0;
    if (UsesFlying()) {
        SetFaces(in_.flying.vectors, in_.flying.count);
        double gap = 0.0;
        code = engine_.AcceptFlyingAllViews(in_.flying.vectors, in_.flyingTargets, in_.flying.count,
                                            &gap, in_.record);
        // Only an accepted set has had its in-line view written; after an early refusal the
        // record still holds whatever the host left there.
        inlineView_ = code == 0 ? in_.record->m_nInlineView : kNoInlineView;
        flyingPairs_.Classify(engine_, in_.flying, 1);
        std::copy(flyingPairs_.fronts.begin(), flyingPairs_.fronts.begin() + flyingPairs_.count,
                  firstPassFlyingFronts_.begin());
        in_.model->T_ref =
            flyingPairs_.count > 0 ? MeanT(flyingPairs_.fronts.data(), flyingPairs_.count) : 0.0;
        ExcludeInlineViewFromTwoFace();
    }
    code += PrepareAndCover(engine_, in_.host, in_.layout, {in_.outside1, in_.outside2}, sets_);
    std::copy(sets_.twoFace.fronts.begin(), sets_.twoFace.fronts.begin() + sets_.twoFace.count,
              firstPassFronts_.begin());
    return code;
}

// The two-face joint loop, the flying outlier pass and the main outlier pass.
void FullFullRun::TwoFacePasses() {
    // Both fits write the model (D1 among others), so the FBB fit runs first, as listed; the
    // operands of a sum would run in an order of the compiler's choosing.
    const auto twoFaceJoint = [this]() {
        const int fbb = fbbTwoFace_(1);
        const int twoFace = twoFace_(1);
        return fbb + twoFace;
    };
    if (UsesFlying()) {
        SettleWithin(twoFaceJoint, &twoFaceCount_, kTwoFaceBudget);
        int jointCount = 0;
        RejectAndSettle(fbbTwoFace_, flyingViews_ * in_.flyingTargets * kFlyingRejectShare,
                        [&] { SettleWithin(twoFaceJoint, &jointCount, kTwoFaceBudget); });
    }
    int jointCount = 0;
    const int rejections =
        RejectAndSettle(twoFace_, in_.layout.targets * in_.layout.views * kMainRejectShare, [&] {
            if (UsesFlying()) {
                SettleWithin(twoFaceJoint, &jointCount, kTwoFaceBudget);
            }
        });
    // A second pass's two-face loop continues from the outer count of this main outlier pass
    // (its rejection tests plus the one that ended it), not from the joint evaluations inside
    // it: on a large network those can use up the whole budget, and the six-harmonic fits would
    // then start their outlier passes from the first pass's model, unsettled.
    twoFaceCount_ = rejections + 1;
}

bool FullFullRun::TwoFaceSpreadsLow() const {
    return in_.record->m_dStdAz_fb < kSixHarmonicTrigger &&
           in_.record->m_dStdEl_fb < kSixHarmonicTrigger;
}

// First pass with the azimuth-harmonic two-face fit; a second with the six-harmonic fits when
// the two-face spreads stay high.
void FullFullRun::TwoFaceStage() {
    TwoFacePasses();
    if (TwoFaceSpreadsLow()) {
        return;
    }
    azimuthHarmonicPhase_ = false;
    if (UsesFlying()) {
        ClassifyFlyingViews();
    }
    sets_.twoFace.Classify(engine_, in_.host, 1);
    TwoFacePasses();
}

void FullFullRun::FlyingInterballOutliers() {
    const double limit = flyingViews_ * in_.flyingTargets * kFlyingIBRejectShare;
    const std::vector<FitCall> loop = {x0y0_, flyingInterball_, interball_, d2_, cm_};
    int jointCount = 0;
    for (int used = 0; used < limit; ++used) {
        const int rejected = flyingInterball_(0);
        if (rejected == 0) {
            return;
        }
        const int sum = JointLoop(loop, &jointCount, kJointBudget);
        if (sum > 0 || rejected != 1) {
            return;
        }
    }
}

// One outlier stage for each fit of the second stage, each followed by joint loops.
void FullFullRun::SecondStageOutliers() {
    const std::vector<FitCall> joint = {x0y0_, flyingInterball_, interball_, d2_, lastSingle_};
    OutlierStage(x0y0_, joint, kJointBudget);
    if (UsesFlying()) {
        FlyingInterballOutliers();
    }
    OutlierStage(interball_, joint, kJointBudget);
    OutlierStage(d2_, joint, kJointBudget);
    if (UsesFlying()) {
        OutlierStage(cm_, {x0y0_, flyingInterball_, interball_, d2_, cm_}, kJointBudget);
    } else {
        OutlierStage(elevation_, {x0y0_, interball_, d2_, elevation_}, kJointBudget);
    }
}

int FullFullRun::Run() {
    int code = PrepareAndCheckCoverage();
    if (code != 0) {
        return code;
    }
    TwoFaceStage();

    code = ClassifyTargetPairs(engine_, in_.host, *in_.record, in_.layout, sets_);
    if (code > 0) {
        return code;
    }
    engine_.ClassifyOutside(in_.outside1.vectors, in_.outside1.count, in_.outside2.vectors,
                            in_.outside2.count, outsideAverages_.data());

    code = JointLoop({x0y0_, flyingInterball_, interball_, d2_, lastSingle_}, kJointBudget);
    if (code > 0) {
        return code;
    }
    SecondStageOutliers();

    std::vector<FitCall> final = {twoFace_,        x0y0_, flyingInterball_,
                                  finalInterball_, d2_,   lastSingle_};
    if (UsesFlying()) {
        final.insert(final.begin(), fbbTwoFace_);
    }
    code = JointLoop(final, kFinalBudget);
    if (code != 0) {
        return code;
    }
    WriteBackFullSets(engine_, in_.host, *in_.record, sets_);
    engine_.FinalValidate(in_.host.vectors, in_.host.count, in_.layout.views, in_.model, in_.record,
                          in_.mode + 1, 1);
    return 0;
}

}  // namespace

int CCompensation::FullFullComp(CVector* pVec, int nCount, CVector* pVecOut1, int nCountOut1,
                                CVector* pVecOut2, int nCountOut2, CVector* pVecFly,
                                int nTargetsFly, int nCountFly, TMapper* pMap, TCompOut* pCompOut,
                                int nMode) try {
    const compensation::detail::TraceSession session(*this);
    if (pMap == nullptr || (nMode != kFlyingFBB && nMode != kFlyingCheck && nMode != kNoFlying)) {
        return compensation::kInvalidInput;
    }
    if (nMode != kNoFlying && (nTargetsFly < 1 || nTargetsFly > compensation::kMostTargetsPerView ||
                               nCountFly < 0 || (nCountFly > 0 && pVecFly == nullptr) ||
                               CountFrontSights(pVecFly, nCountFly) > nCountFly / 2)) {
        return compensation::kInvalidInput;
    }
    // T_ref becomes the mean T of the flying front sights: a T that is not a number would put a
    // non-finite element into the model.
    const bool flyingTFinite =
        nMode == kNoFlying ||
        std::all_of(pVecFly, pVecFly + std::max(nCountFly, 0),
                    [](const CVector& sight) { return std::isfinite(sight.T); });
    if (!flyingTFinite) {
        return compensation::kInvalidInput;
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
        return refusal;
    }
    const HostArray flying{pVecFly, nMode == kNoFlying ? 0 : nCountFly};
    FullFullRun run(*this,
                    {host, layout, outside1, outside2, flying, nTargetsFly, pMap, pCompOut, nMode});
    return UndoneOnRefusal(pMap, pCompOut, {host, outside1, outside2, flying},
                           [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
