// Quick interball fit: Ax and Ay, the interball step of the quick compensation.
//
// Its displacement columns, written out, are
//   g (Ax) = R (sin^2 Az cos 2q - cos^2 Az,  sin Az sin 2q,  -sin 2Az cos^2 q),
//   h (Ay) = R (sin 2Az cos^2 q,  cos Az sin 2q,  -(cos^2 Az cos 2q - sin^2 Az)),
// which are the general alpha/beta displacement of the Ax and Ay rows (cos^2 q = (1 + cos 2q)/2),
// so the fit is the general one with this table and nothing else.
#include "compensation/engine.h"
#include "fits/interball_fit.h"

namespace {

namespace rows = compensation::detail::interball_rows;

constexpr compensation::detail::InterballElement kQuickTable[] = {
    rows::kAx,
    rows::kAy,
};

}  // namespace

compensation::detail::InterballTable compensation::detail::QuickInterballTable() {
    return kQuickTable;
}

int CCompensation::CalculateQC_axy(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                                   TMapper* pMap, TCompOut* pCompOut, int nFlagClassify) {
    return compensation::detail::RunInterballFit(
        {pVec, nCount, nCountViews, pIBPairs, pMap, pCompOut, nFlagClassify},
        compensation::detail::QuickInterballTable());
}
