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

using compensation::detail::FitCall;
using compensation::detail::kD2PairsRaise;
using compensation::detail::kExtraPairsRaise;
using compensation::detail::kFullCoverageCode;
using compensation::detail::kFullSectors;
using compensation::detail::kIBPairsRaise;
using compensation::detail::kJointBudget;
using compensation::detail::kMainRejectShare;
using compensation::detail::Refusing;

namespace {

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

enum Mode { kFlyingFBB = 0, kFlyingCheck = 1, kNoFlying = 2 };

// One run of the procedure: its working sets and its fits, called by named stages.
class FullFullRun {
  public:
    FullFullRun(CCompensation& engine, CVector* pVec, int nCount, CVector* pVecOut1, int nCountOut1,
                CVector* pVecOut2, int nCountOut2, CVector* pVecFly, int nTargetsFly, int nCountFly,
                TMapper* pMap, TCompOut* pCompOut, int nMode,
                compensation::detail::ViewLayout layout)
        : e_(engine),
          pVec_(pVec),
          nCount_(nCount),
          pVecOut1_(pVecOut1),
          nCountOut1_(nCountOut1),
          pVecOut2_(pVecOut2),
          nCountOut2_(nCountOut2),
          pVecFly_(pVecFly),
          nTargetsFly_(nTargetsFly),
          nCountFly_(nCountFly),
          pMap_(pMap),
          out_(pCompOut),
          mode_(nMode),
          nViews_(layout.nViews),
          nTargets_(layout.nTargets),
          nCount_fb_(nCount / 2),
          pairsF_(static_cast<std::size_t>(nCount / 2)),
          pairsB_(static_cast<std::size_t>(nCount / 2)),
          copyF_(static_cast<std::size_t>(nCount / 2)),
          flyF_(static_cast<std::size_t>(nCountFly / 2)),
          flyB_(static_cast<std::size_t>(nCountFly / 2)),
          flyF2_(static_cast<std::size_t>(nCountFly / 2)),
          pairsX0Y0_(static_cast<std::size_t>(2 * layout.nViews)),
          pairsD2_(static_cast<std::size_t>(2 * layout.nViews)),
          pairsExtra_(static_cast<std::size_t>(2 * layout.nViews)),
          ibPairs_(compensation::detail::PairTableSize(layout.nTargets)),
          avg4_(4) {
        nCountFly_fb_ = nCountFly / 2;
        nViewsFly_ = mode_ == kNoFlying ? 0 : static_cast<int>(nCountFly / (2LL * nTargetsFly));
        DefineFits();
    }

    int Run();

  private:
    void DefineFits();
    bool UsesFlying() const { return mode_ != kNoFlying; }
    void ClassifyFlyingViews();
    void ExcludeInlineViewFromTwoFace();
    int PrepareAndCheckCoverage();
    void TwoFaceStage();
    void TwoFacePasses();
    bool TwoFaceSpreadsLow() const;
    int ClassifyTargetPairs();
    void SecondStageOutliers();
    void FlyingInterballOutliers();
    void WriteBackAndValidate();

    CCompensation& e_;
    CVector* pVec_;
    int nCount_;
    CVector* pVecOut1_;
    int nCountOut1_;
    CVector* pVecOut2_;
    int nCountOut2_;
    CVector* pVecFly_;
    int nTargetsFly_;
    int nCountFly_;
    TMapper* pMap_;
    TCompOut* out_;
    int mode_;
    int nViews_;
    int nTargets_;
    int nViewsFly_ = 0;
    // The in-line flying view this run found, or kNoInlineView.
    int inlineView_ = compensation::detail::kNoInlineView;
    int nCount_fb_;
    int nCountFly_fb_ = 0;
    int nCount_x0y0_ = 0;
    int nCount_d2_ = 0;
    int nCount_extra_ = 0;
    // 1 while the azimuth-harmonic fits are in use, 0 once the six-harmonic ones take over.
    int phase_ = 1;
    // Evaluation count of the first-stage two-face loops, carried into the second pass.
    int twoFaceCount_ = 0;
    std::vector<CVector> pairsF_, pairsB_, copyF_, flyF_, flyB_, flyF2_;
    std::vector<CVector> pairsX0Y0_, pairsD2_, pairsExtra_;
    std::vector<int> ibPairs_;
    std::vector<CVector> avg4_;
    FitCall twoFace_, fbbTwoFace_, x0y0_, flyingIB_, interball_, d2_, cm_, bEl_, lastSingle_,
        finalInterball_;
};

void FullFullRun::DefineFits() {
    twoFace_ = Refusing([this](int flag) {
        return phase_ == 1 ? e_.CalculateFFCFSBS(pairsF_.data(), pairsB_.data(), pMap_, nCount_fb_,
                                                 out_, flag, 1)
                           : e_.CalculateFFCFSBS6(pairsF_.data(), pairsB_.data(), pMap_, nCount_fb_,
                                                  out_, flag);
    });
    fbbTwoFace_ = Refusing([this](int flag) {
        return e_.CalculateFBBFSBS(flyF_.data(), flyB_.data(), pMap_, nCountFly_fb_, out_, flag);
    });
    x0y0_ = Refusing([this](int flag) {
        return e_.Calculate_x0y0(pairsX0Y0_.data(), nCount_x0y0_, pMap_, out_, flag);
    });
    flyingIB_ = Refusing([this](int flag) {
        if (mode_ == kFlyingFBB) {
            return e_.CalculateFBBIB(flyF_.data(), pMap_, nTargetsFly_, nViewsFly_, out_, flag);
        }
        if (mode_ == kFlyingCheck) {
            return e_.CalculateFCKIB(flyF2_.data(), pMap_, nTargetsFly_, nViewsFly_, out_, flag);
        }
        return 0;
    });
    interball_ = Refusing([this](int flag) {
        return phase_ == 1 ? e_.CalculateFFCaxy123(pairsF_.data(), nTargets_, nViews_,
                                                   ibPairs_.data(), pMap_, out_, flag, 1)
                           : e_.CalculateFFC6axy123(pairsF_.data(), nTargets_, nViews_,
                                                    ibPairs_.data(), pMap_, out_, flag);
    });
    finalInterball_ = Refusing([this](int flag) {
        return e_.CalculateFFCaxy123(pairsF_.data(), nTargets_, nViews_, ibPairs_.data(), pMap_,
                                     out_, flag, 1);
    });
    d2_ = Refusing([this](int flag) {
        return e_.Calculate_d2(pVecOut1_, nCountOut1_, pairsD2_.data(), nCount_d2_, pMap_, out_,
                               flag);
    });
    cm_ = Refusing([this](int flag) {
        return e_.Calculate_cm(pVecOut2_, nCountOut2_, pairsExtra_.data(), nCount_extra_, pMap_,
                               out_, flag);
    });
    bEl_ = Refusing([this](int flag) {
        return e_.Calculate_bEl(avg4_.data(), copyF_.data(), nViews_, nTargets_, pMap_, out_, flag);
    });
    lastSingle_ = [this](int flag) { return mode_ == kNoFlying ? bEl_(flag) : cm_(flag); };
}

// Pairs the flying views, sets T_ref to the mean T of their front sights and keeps the
// in-line view's pairs out of the FBB two-face fit.
void FullFullRun::ClassifyFlyingViews() {
    e_.ClassifyFSBS(pVecFly_, nCountFly_, flyF_.data(), flyB_.data(), &nCountFly_fb_, 1);
    ExcludeInlineViewFromTwoFace();
}

void FullFullRun::ExcludeInlineViewFromTwoFace() {
    const compensation::detail::PairRange inLine =
        compensation::detail::InlineViewPairs(inlineView_, nTargetsFly_);
    for (int i = 0; i < nCountFly_fb_; ++i) {
        if (i >= inLine.first && i < inLine.last) {
            flyB_[static_cast<std::size_t>(i)].Quality = compensation::kRejectedQuality;
        }
    }
}

int FullFullRun::PrepareAndCheckCoverage() {
    int r = 0;
    if (UsesFlying()) {
        compensation::detail::SetFaces(pVecFly_, nCountFly_);
        double gap = 0.0;
        r = e_.AcceptFlyingAllViews(pVecFly_, nTargetsFly_, nCountFly_, &gap, out_);
        // Only an accepted set has had its in-line view written; after an early refusal the
        // record still holds whatever the host left there.
        inlineView_ = r == 0 ? out_->m_nInlineView : compensation::detail::kNoInlineView;
        e_.ClassifyFSBS(pVecFly_, nCountFly_, flyF_.data(), flyB_.data(), &nCountFly_fb_, 1);
        std::copy(flyF_.begin(), flyF_.begin() + nCountFly_fb_, flyF2_.begin());
        pMap_->T_ref =
            nCountFly_fb_ > 0 ? compensation::detail::MeanT(flyF_.data(), nCountFly_fb_) : 0.0;
        ExcludeInlineViewFromTwoFace();
    }
    e_.m_nMinCount = compensation::detail::MinCountForViews(nViews_);
    compensation::detail::SetFaces(pVec_, nCount_);
    compensation::detail::SetFaces(pVecOut1_, nCountOut1_);
    compensation::detail::SetFaces(pVecOut2_, nCountOut2_);
    r += e_.AcceptViews(pVec_, nCount_, compensation::kTypeReferenceView, kFullCoverageCode,
                        kFullSectors);
    e_.ClassifyFSBS(pVec_, nCount_, pairsF_.data(), pairsB_.data(), &nCount_fb_, 1);
    for (int i = 0; i < nCount_fb_; ++i) {
        copyF_[static_cast<std::size_t>(i)] = pairsF_[static_cast<std::size_t>(i)];
    }
    return r;
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
    while (twoFaceCount_ < kTwoFaceBudget && UsesFlying()) {
        ++twoFaceCount_;
        if (twoFaceJoint() == 0) {
            break;
        }
    }

    const double flyingLimit = nViewsFly_ * nTargetsFly_ * kFlyingRejectShare;
    int jointCount = 0;
    for (int used = 0; used < flyingLimit && UsesFlying(); ++used) {
        const int rejected = fbbTwoFace_(0);
        while (jointCount++ < kTwoFaceBudget && twoFaceJoint() != 0) {
        }
        if (rejected != 1) {
            break;
        }
    }

    const double mainLimit = nTargets_ * nViews_ * kMainRejectShare;
    jointCount = 0;
    int used = 0;
    for (; used < mainLimit; ++used) {
        const int rejected = twoFace_(0);
        while (UsesFlying() && jointCount++ < kTwoFaceBudget && twoFaceJoint() != 0) {
        }
        if (rejected != 1) {
            break;
        }
    }
    // A second pass's two-face loop continues from the outer count of this main outlier pass
    // (its rejection tests plus the one that ended it), not from the joint evaluations inside
    // it: on a large network those can use up the whole budget, and the six-harmonic fits would
    // then start their outlier passes from the first pass's model, unsettled.
    twoFaceCount_ = used + 1;
}

bool FullFullRun::TwoFaceSpreadsLow() const {
    return out_->m_dStdAz_fb < kSixHarmonicTrigger && out_->m_dStdEl_fb < kSixHarmonicTrigger;
}

// First pass with the azimuth-harmonic two-face fit; a second with the six-harmonic fits when
// the two-face spreads stay high.
void FullFullRun::TwoFaceStage() {
    TwoFacePasses();
    if (TwoFaceSpreadsLow()) {
        return;
    }
    phase_ = 0;
    if (UsesFlying()) {
        ClassifyFlyingViews();
    }
    e_.ClassifyFSBS(pVec_, nCount_, pairsF_.data(), pairsB_.data(), &nCount_fb_, 1);
    TwoFacePasses();
}

int FullFullRun::ClassifyTargetPairs() {
    int r = e_.ClassifyPairs(pVec_, nCount_, pairsX0Y0_.data(), out_->m_n1_x0y0, out_->m_n2_x0y0,
                             &nCount_x0y0_, 1);
    if (r > 0) {
        return r;
    }
    r = e_.ClassifyIBPairs(pairsF_.data(), ibPairs_.data(), nTargets_);
    if (r > 0) {
        return r + kIBPairsRaise;
    }
    r = e_.ClassifyPairs(pVec_, nCount_, pairsD2_.data(), out_->m_n1_d2, out_->m_n2_d2, &nCount_d2_,
                         1);
    if (r > 0) {
        return r + kD2PairsRaise;
    }
    r = e_.ClassifyPairs(pVec_, nCount_, pairsExtra_.data(), out_->m_n1_extra, out_->m_n2_extra,
                         &nCount_extra_, 1);
    if (r > 0) {
        return r + kExtraPairsRaise;
    }
    return 0;
}

void FullFullRun::FlyingInterballOutliers() {
    const double limit = nViewsFly_ * nTargetsFly_ * kFlyingIBRejectShare;
    const std::vector<FitCall> loop = {x0y0_, flyingIB_, interball_, d2_, cm_};
    int jointCount = 0;
    for (int used = 0; used < limit; ++used) {
        const int rejected = flyingIB_(0);
        if (rejected == 0) {
            return;
        }
        int sum = 0;
        do {
            sum = compensation::detail::FittingSum(loop);
        } while (jointCount++ <= 50 && sum != 0);
        if (sum > 0 || rejected != 1) {
            return;
        }
    }
}

// One outlier stage for each fit of the second stage, each followed by joint loops.
void FullFullRun::SecondStageOutliers() {
    using compensation::detail::OutlierStage;
    const std::vector<FitCall> joint = {x0y0_, flyingIB_, interball_, d2_, lastSingle_};
    OutlierStage(x0y0_, joint, kJointBudget);
    if (UsesFlying()) {
        FlyingInterballOutliers();
    }
    OutlierStage(interball_, joint, kJointBudget);
    OutlierStage(d2_, joint, kJointBudget);
    if (UsesFlying()) {
        OutlierStage(cm_, {x0y0_, flyingIB_, interball_, d2_, cm_}, kJointBudget);
    } else {
        OutlierStage(bEl_, {x0y0_, interball_, d2_, bEl_}, kJointBudget);
    }
}

void FullFullRun::WriteBackAndValidate() {
    const auto pairWriteBack = [this](CVector* pairs, int n1, int n2, int* pnCount) {
        return [this, pairs, n1, n2, pnCount](CVector* host) {
            e_.ClassifyPairs(host, nCount_, pairs, n1, n2, pnCount, 0);
        };
    };
    compensation::detail::WriteBackRejections(
        pVec_, nCount_,
        {[this](CVector* host) {
             e_.ClassifyFSBS(host, nCount_, pairsF_.data(), pairsB_.data(), &nCount_fb_, 0);
         },
         pairWriteBack(pairsX0Y0_.data(), out_->m_n1_x0y0, out_->m_n2_x0y0, &nCount_x0y0_),
         pairWriteBack(pairsD2_.data(), out_->m_n1_d2, out_->m_n2_d2, &nCount_d2_),
         pairWriteBack(pairsExtra_.data(), out_->m_n1_extra, out_->m_n2_extra, &nCount_extra_)});
    e_.FinalValidate(pVec_, nCount_, nViews_, pMap_, out_, mode_ + 1, 1);
}

int FullFullRun::Run() {
    int r = PrepareAndCheckCoverage();
    if (r != 0) {
        return r;
    }
    TwoFaceStage();

    r = ClassifyTargetPairs();
    if (r > 0) {
        return r;
    }
    e_.ClassifyOutside(pVecOut1_, nCountOut1_, pVecOut2_, nCountOut2_, avg4_.data());

    r = compensation::detail::JointLoop({x0y0_, flyingIB_, interball_, d2_, lastSingle_},
                                        kJointBudget);
    if (r > 0) {
        return r;
    }
    SecondStageOutliers();

    std::vector<FitCall> final = {twoFace_, x0y0_, flyingIB_, finalInterball_, d2_, lastSingle_};
    if (UsesFlying()) {
        final.insert(final.begin(), fbbTwoFace_);
    }
    const int last = compensation::detail::JointLoop(final, kFinalBudget);
    if (last != 0) {
        return last;
    }
    WriteBackAndValidate();
    return r;
}

}  // namespace

int CCompensation::FullFullComp(CVector* pVec, int nCount, CVector* pVecOut1, int nCountOut1,
                                CVector* pVecOut2, int nCountOut2, CVector* pVecFly,
                                int nTargetsFly, int nCountFly, TMapper* pMap, TCompOut* pCompOut,
                                int nMode) try {
    const compensation::detail::TraceSession session(*this);
    using compensation::detail::IsTargetPosition;
    // Each outside set must hold at least one pair: without one the D2, K_minus or El_ElC fit
    // could never estimate its element and would report it settled (or never settle).
    const auto isPairedSet = [](const CVector* p, int n) {
        return n >= 2 && n % 2 == 0 && p != nullptr;
    };
    if (pVec == nullptr || pMap == nullptr || pCompOut == nullptr || nCount < 2 ||
        (nMode != kFlyingFBB && nMode != kFlyingCheck && nMode != kNoFlying) ||
        !isPairedSet(pVecOut1, nCountOut1) || !isPairedSet(pVecOut2, nCountOut2)) {
        return compensation::kInvalidInput;
    }
    if (nMode != kNoFlying &&
        (nTargetsFly < 1 || nTargetsFly > compensation::kMostTargetsPerView || nCountFly < 0 ||
         (nCountFly > 0 && pVecFly == nullptr) ||
         compensation::detail::CountFrontSights(pVecFly, nCountFly) > nCountFly / 2)) {
        return compensation::kInvalidInput;
    }
    // T_ref becomes the mean T of the flying front sights: a T that is not a number would put a
    // non-finite element into the model.
    const bool flyingTFinite =
        nMode == kNoFlying || std::all_of(pVecFly, pVecFly + std::max(nCountFly, 0),
                                          [](const CVector& v) { return std::isfinite(v.T); });
    if (!flyingTFinite) {
        return compensation::kInvalidInput;
    }
    const compensation::detail::ViewLayout layout = compensation::detail::CountViews(pVec, nCount);
    const int nTargets = layout.nTargets;
    if (!compensation::detail::FitsPairArrays(pVec, nCount, layout) ||
        !IsTargetPosition(pCompOut->m_n1_x0y0, nTargets) ||
        !IsTargetPosition(pCompOut->m_n2_x0y0, nTargets) ||
        !IsTargetPosition(pCompOut->m_n1_d2, nTargets) ||
        !IsTargetPosition(pCompOut->m_n2_d2, nTargets) ||
        !IsTargetPosition(pCompOut->m_n1_extra, nTargets) ||
        !IsTargetPosition(pCompOut->m_n2_extra, nTargets) ||
        !compensation::detail::OutsideSetFits(nCountOut1, layout.nViews) ||
        !compensation::detail::OutsideSetFits(nCountOut2, layout.nViews)) {
        return compensation::kInvalidInput;
    }
    // Modes 0 and 1 fit K_minus from the second set; mode 2 averages it with the first for the
    // El_ElC fit. A set without a live pair leaves its element unestimated in every mode.
    if (!compensation::detail::HasLiveOutsidePair(pVecOut1, nCountOut1) ||
        !compensation::detail::HasLiveOutsidePair(pVecOut2, nCountOut2)) {
        return compensation::kNoLiveOutsidePair;
    }
    if (nMode == kNoFlying) {
        nCountFly = 0;
    }
    FullFullRun run(*this, pVec, nCount, pVecOut1, nCountOut1, pVecOut2, nCountOut2, pVecFly,
                    nTargetsFly, nCountFly, pMap, pCompOut, nMode, layout);
    return compensation::detail::UndoneOnRefusal(
        pMap, pCompOut,
        {{pVec, nCount}, {pVecOut1, nCountOut1}, {pVecOut2, nCountOut2}, {pVecFly, nCountFly}},
        [&run] { return run.Run(); });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
