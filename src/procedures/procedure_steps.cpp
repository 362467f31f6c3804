#include "procedures/procedure_steps.h"

#include "engine/constants.h"

namespace compensation::detail {

ViewLayout CountViews(const CVector* pVec, int nCount) {
    ViewLayout layout;
    for (int i = 0; i < nCount; ++i) {
        if (pVec[i].Type == kTypeReferenceView) {
            ++layout.nViews;
        }
    }
    for (int i = 1; i < nCount && pVec[i].Type != kTypeReferenceView; ++i) {
        if (pVec[i].Type == kTypeFrontSight) {
            ++layout.nTargets;
        }
    }
    return layout;
}

void SetFaces(CVector* pVec, int nCount) {
    for (int i = 0; i < nCount; ++i) {
        pVec[i].SeType();
    }
}

int MinCountForViews(int nViews) {
    return nViews - 3 < 6 ? nViews : nViews - 3;
}

int FittingSum(const std::vector<FitCall>& fits) {
    int sum = 0;
    for (const FitCall& fit : fits) {
        sum += fit(1);
    }
    return sum;
}

int JointLoop(const std::vector<FitCall>& fits, int* pCounter, int nLimit) {
    int sum = 0;
    do {
        sum = FittingSum(fits);
        ++*pCounter;
    } while (sum != 0 && *pCounter < nLimit);
    return sum;
}

int TwoFaceOutlierPass(const FitCall& fit, double dLimit) {
    int used = 0;
    if (fit(0) != 1) {
        return used;
    }
    for (;;) {
        const int before = used++;
        if (!(before < dLimit) || fit(0) != 1) {
            return used;
        }
    }
}

void OutlierStage(const FitCall& fit, const std::vector<FitCall>& loop, int nLimit) {
    while (fit(0) > 0) {
        if (JointLoop(loop, nLimit) > 0) {
            return;
        }
    }
}

}  // namespace compensation::detail
