// Quick compensation: the two-face terms and Ax, Ay from one array of views.
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "procedures/procedure_steps.h"

using compensation::detail::FitCall;
using compensation::detail::Refusing;

namespace {

// The outlier pass and the joint iterations share one budget of evaluations.
constexpr int kQuickBudget = 51;
// The two-face outlier pass may reject up to a tenth of the measurements.
constexpr double kQuickRejectShare = 0.1;
using compensation::detail::kQuickCoverageCode;

// The procedure's stages on a layout that its fits accept.
int RunQuick(CCompensation& e, CVector* pVec, int nCount, TMapper* pMap, TCompOut* pCompOut,
             compensation::detail::ViewLayout layout) {
    const int nViews = layout.nViews;
    const int nTargets = layout.nTargets;
    int nCount_fb = nCount / 2;
    std::vector<CVector> pairsF(static_cast<std::size_t>(nCount_fb));
    std::vector<CVector> pairsB(static_cast<std::size_t>(nCount_fb));
    std::vector<int> ibPairs(compensation::detail::PairTableSize(nTargets));
    CVector* pVec_f = pairsF.data();
    CVector* pVec_b = pairsB.data();

    compensation::detail::SetFaces(pVec, nCount);
    int r =
        e.AcceptViews(pVec, nCount, compensation::kTypeReferenceView, kQuickCoverageCode, nViews);
    e.ClassifyFSBS(pVec, nCount, pVec_f, pVec_b, &nCount_fb, 1);

    const FitCall twoFace = Refusing([&](int flag) {
        return e.CalculateQCFSBSa(pVec_f, pVec_b, pMap, nCount_fb, pCompOut, flag);
    });
    const FitCall interball = Refusing([&](int flag) {
        return e.CalculateQC_axy(pVec_f, nTargets, nViews, ibPairs.data(), pMap, pCompOut, flag);
    });

    twoFace(1);
    if (r != 0) {
        return r;
    }
    int used =
        compensation::detail::TwoFaceOutlierPass(twoFace, nTargets * nViews * kQuickRejectShare);

    e.ClassifyIBPairs(pVec_f, ibPairs.data(), nTargets);
    interball(1);
    // Rejection calls repeat while they still reject or move Ax, Ay. Each rejection removes a
    // measurement pair for good, so rejections end by themselves; a fit that cannot settle
    // (data that do not determine Ax and Ay) would not, and gets the joint budget on top.
    const int rejectionLimit = nTargets * nViews + kQuickBudget;
    for (int calls = 0; calls < rejectionLimit && interball(0) > 0; ++calls) {
    }

    r = compensation::detail::JointLoop({twoFace, interball}, &used, kQuickBudget);

    e.ClassifyFSBS(pVec, nCount, pVec_f, pVec_b, &nCount_fb, 0);
    e.FinalValidate(pVec, nCount, nViews, pMap, pCompOut, 0, 0);
    return r;
}

}  // namespace

int CCompensation::QuickCompInsertion(CVector* pVec, int nCount, TMapper* pMap,
                                      TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    if (pVec == nullptr || pMap == nullptr || pCompOut == nullptr || nCount < 2) {
        return compensation::kInvalidInput;
    }
    const compensation::detail::ViewLayout layout = compensation::detail::CountViews(pVec, nCount);
    // The interball fit reads nTargets front sights of every view from the pair array, and
    // needs two targets to form a distance at all; a layout it would refuse is refused here,
    // before the two-face fit has written the model.
    if (!compensation::detail::FitsPairArrays(pVec, nCount, layout) ||
        layout.nTargets < compensation::detail::kLeastInterballTargets) {
        return compensation::kInvalidInput;
    }
    return compensation::detail::UndoneOnRefusal(pMap, pCompOut, {{pVec, nCount}}, [&] {
        return RunQuick(*this, pVec, nCount, pMap, pCompOut, layout);
    });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
