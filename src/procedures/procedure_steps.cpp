#include "procedures/procedure_steps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "engine/constants.h"
#include "model/live.h"

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

int CountFrontSights(const CVector* pVec, int nCount) {
    int count = 0;
    for (int i = 0; i < nCount; ++i) {
        if (pVec[i].Type == kTypeFrontSight || pVec[i].Type == -kTypeFrontSight) {
            ++count;
        }
    }
    return count;
}

bool FitsPairArrays(const CVector* pVec, int nCount, ViewLayout layout) {
    // A front sight of a signed type keeps the face sign the host gave it; unless that is +1 the
    // classification passes it over while the write-back counts it, so the write-back would
    // refuse and the rejections be lost from a run reported as settled.
    for (int i = 0; i < nCount; ++i) {
        if (pVec[i].Type == -kTypeFrontSight && pVec[i].FSBS != 1) {
            return false;
        }
    }
    const long long pairs = nCount / 2;
    return layout.nViews >= 1 && layout.nTargets >= 1 && layout.nTargets <= kMostTargetsPerView &&
           static_cast<long long>(layout.nTargets) * layout.nViews <= pairs &&
           CountFrontSights(pVec, nCount) <= pairs;
}

bool HasLiveOutsidePair(const CVector* pVecOut, int nCountOut) {
    for (int i = 0; i + 1 < nCountOut; i += 2) {
        if (IsLive(pVecOut[i]) && IsLive(pVecOut[i + 1])) {
            return true;
        }
    }
    return false;
}

bool OutsideSetFits(int nCountOut, int nViews) {
    return static_cast<long long>(nCountOut / 2) * (2LL * nViews) <= INT_MAX;
}

double MeanT(const CVector* pVec, int nCount) {
    double sum = 0.0;
    for (int i = 0; i < nCount; ++i) {
        sum += pVec[i].T;
    }
    if (std::isfinite(sum)) {
        return sum / nCount;
    }
    // The sum of finite values overflowed; their mean lies between the least and the greatest
    // of them, so a sum of halves does not overflow, and the bounds keep the rounding in range.
    double halves = 0.0;
    double least = pVec[0].T;
    double greatest = pVec[0].T;
    for (int i = 0; i < nCount; ++i) {
        halves += 0.5 * pVec[i].T / nCount;
        least = std::min(least, pVec[i].T);
        greatest = std::max(greatest, pVec[i].T);
    }
    return std::clamp(2.0 * halves, least, greatest);
}

void SetFaces(CVector* pVec, int nCount) {
    for (int i = 0; i < nCount; ++i) {
        pVec[i].SeType();
    }
}

int MinCountForViews(int nViews) {
    return nViews - 3 < 6 ? nViews : nViews - 3;
}

FitCall Refusing(FitCall fit) {
    return [fit = std::move(fit)](int flag) {
        const int code = fit(flag);
        if (code < 0) {
            throw FitRefused{code};
        }
        return code;
    };
}

int UndoneOnRefusal(TMapper* pMap, TCompOut* pCompOut, std::initializer_list<HostArray> arrays,
                    const std::function<int()>& stages) {
    const TMapper model = *pMap;
    const TCompOut record = *pCompOut;
    std::vector<std::vector<CVector>> copies;
    copies.reserve(arrays.size());
    for (const HostArray& array : arrays) {
        copies.emplace_back(array.pVec, array.pVec + (array.pVec != nullptr ? array.nCount : 0));
    }
    try {
        return stages();
    } catch (const FitRefused& refusal) {
        *pMap = model;
        *pCompOut = record;
        auto copy = copies.begin();
        for (const HostArray& array : arrays) {
            std::copy(copy->begin(), copy->end(), array.pVec);
            ++copy;
        }
        return refusal.code;
    }
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

void WriteBackRejections(CVector* pVec, int nCount,
                         const std::vector<std::function<void(CVector*)>>& writeBacks) {
    const std::vector<CVector> classified(pVec, pVec + nCount);
    std::vector<double> lowest(static_cast<std::size_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        lowest[static_cast<std::size_t>(i)] = pVec[i].Quality;
    }
    for (const auto& writeBack : writeBacks) {
        std::vector<CVector> copy = classified;
        writeBack(copy.data());
        for (std::size_t i = 0; i < copy.size(); ++i) {
            lowest[i] = std::min(lowest[i], copy[i].Quality);
        }
    }
    for (int i = 0; i < nCount; ++i) {
        pVec[i].Quality = lowest[static_cast<std::size_t>(i)];
    }
}

}  // namespace compensation::detail
