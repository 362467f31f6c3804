// Full compensation: the full two-face and interball terms, X0, Y0 from target pairs within
// views and D2 from outside measurements.
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "procedures/procedure_steps.h"

using compensation::detail::FitCall;
using compensation::detail::kD2PairsRaise;
using compensation::detail::kFullCoverageCode;
using compensation::detail::kFullSectors;
using compensation::detail::kIBPairsRaise;
using compensation::detail::kJointBudget;
using compensation::detail::kMainRejectShare;
using compensation::detail::Refusing;

int CCompensation::FullComp(CVector* pVec, int nCount, CVector* pVecOut, int nCountOut,
                            TMapper* pMap, TCompOut* pCompOut) try {
    const compensation::detail::TraceSession session(*this);
    using compensation::detail::IsTargetPosition;
    using compensation::detail::JointLoop;

    // Without an outside pair the D2 fit could never estimate D2 and would report it settled.
    if (pVec == nullptr || pMap == nullptr || pCompOut == nullptr || nCount < 2 || nCountOut < 2 ||
        nCountOut % 2 != 0 || pVecOut == nullptr) {
        return compensation::kInvalidInput;
    }
    const compensation::detail::ViewLayout layout = compensation::detail::CountViews(pVec, nCount);
    const int nViews = layout.nViews;
    const int nTargets = layout.nTargets;
    if (!compensation::detail::FitsPairArrays(pVec, nCount, layout) ||
        !IsTargetPosition(pCompOut->m_n1_x0y0, nTargets) ||
        !IsTargetPosition(pCompOut->m_n2_x0y0, nTargets) ||
        !IsTargetPosition(pCompOut->m_n1_d2, nTargets) ||
        !IsTargetPosition(pCompOut->m_n2_d2, nTargets) ||
        !compensation::detail::OutsideSetFits(nCountOut, nViews)) {
        return compensation::kInvalidInput;
    }
    if (!compensation::detail::HasLiveOutsidePair(pVecOut, nCountOut)) {
        return compensation::kNoLiveOutsidePair;
    }
    return compensation::detail::UndoneOnRefusal(
        pMap, pCompOut, {{pVec, nCount}, {pVecOut, nCountOut}}, [&] {
            int nCount_fb = nCount / 2;
            std::vector<CVector> pairsF(static_cast<std::size_t>(nCount_fb));
            std::vector<CVector> pairsB(static_cast<std::size_t>(nCount_fb));
            std::vector<CVector> pairsX0Y0(static_cast<std::size_t>(2 * nViews));
            std::vector<CVector> pairsD2(static_cast<std::size_t>(2 * nViews));
            std::vector<int> ibPairs(compensation::detail::PairTableSize(nTargets));
            CVector* pVec_f = pairsF.data();
            CVector* pVec_b = pairsB.data();
            CVector* pVec_x0y0 = pairsX0Y0.data();
            CVector* pVec_d2 = pairsD2.data();
            int nCount_x0y0 = 0;
            int nCount_d2 = 0;

            m_nMinCount = compensation::detail::MinCountForViews(nViews);
            compensation::detail::SetFaces(pVec, nCount);
            compensation::detail::SetFaces(pVecOut, nCountOut);

            const FitCall twoFace = Refusing([&](int flag) {
                return CalculateFFCFSBS(pVec_f, pVec_b, pMap, nCount_fb, pCompOut, flag, 0);
            });
            const FitCall x0y0 = Refusing([&](int flag) {
                return Calculate_x0y0(pVec_x0y0, nCount_x0y0, pMap, pCompOut, flag);
            });
            const FitCall interball = Refusing([&](int flag) {
                return CalculateFFCaxy123(pVec_f, nTargets, nViews, ibPairs.data(), pMap, pCompOut,
                                          flag, 0);
            });
            const FitCall d2 = Refusing([&](int flag) {
                return Calculate_d2(pVecOut, nCountOut, pVec_d2, nCount_d2, pMap, pCompOut, flag);
            });

            // First stage: coverage, the two-face pairs and their first fit and outlier pass.
            int r = AcceptViews(pVec, nCount, compensation::kTypeReferenceView, kFullCoverageCode,
                                kFullSectors);
            ClassifyFSBS(pVec, nCount, pVec_f, pVec_b, &nCount_fb, 1);
            twoFace(1);
            if (r != 0) {
                return r;
            }
            compensation::detail::TwoFaceOutlierPass(twoFace, nTargets * nViews * kMainRejectShare);

            // Second stage: the pair sets of the single-term and interball fits.
            r = ClassifyPairs(pVec, nCount, pVec_x0y0, pCompOut->m_n1_x0y0, pCompOut->m_n2_x0y0,
                              &nCount_x0y0, 1);
            if (r > 0) {
                return r;
            }
            // The pair table is read from the azimuths of the first view's targets, which the pair
            // array holds from its start (the host's array opens with the reference view instead).
            r = ClassifyIBPairs(pVec_f, ibPairs.data(), nTargets);
            if (r > 0) {
                return r + kIBPairsRaise;
            }
            r = ClassifyPairs(pVec, nCount, pVec_d2, pCompOut->m_n1_d2, pCompOut->m_n2_d2,
                              &nCount_d2, 1);
            if (r > 0) {
                return r + kD2PairsRaise;
            }

            // Third stage: the single-term and interball fits together, then one outlier stage
            // each.
            r = JointLoop({x0y0, interball, d2}, kJointBudget);
            if (r > 0) {
                return r;
            }
            compensation::detail::OutlierStage(x0y0, {x0y0, interball, d2}, kJointBudget);
            compensation::detail::OutlierStage(interball, {x0y0, interball, d2}, kJointBudget);
            compensation::detail::OutlierStage(d2, {d2, x0y0, interball}, kJointBudget);

            // Last stage: every fit together; only a settled model is written back and scored.
            const int last = JointLoop({twoFace, x0y0, interball, d2}, kJointBudget);
            if (last != 0) {
                return last;
            }
            compensation::detail::WriteBackRejections(
                pVec, nCount,
                {[&](CVector* host) { ClassifyFSBS(host, nCount, pVec_f, pVec_b, &nCount_fb, 0); },
                 [&](CVector* host) {
                     ClassifyPairs(host, nCount, pVec_x0y0, pCompOut->m_n1_x0y0,
                                   pCompOut->m_n2_x0y0, &nCount_x0y0, 0);
                 },
                 [&](CVector* host) {
                     ClassifyPairs(host, nCount, pVec_d2, pCompOut->m_n1_d2, pCompOut->m_n2_d2,
                                   &nCount_d2, 0);
                 }});
            FinalValidate(pVec, nCount, nViews, pMap, pCompOut, 1, 1);
            return r;
        });
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
