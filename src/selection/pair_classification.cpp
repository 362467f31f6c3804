// Two chosen targets seen in the same view: the single-term fits read one such pair per view,
// and their rejections come back into the host's array through the same walk.
#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

// The target `position` places after the reference vector at `view`, when the array holds it.
const CVector* TargetOfView(const CVector* pVec, int nCount, int view, int position) {
    return position < nCount - view ? &pVec[view + position] : nullptr;
}

// A view contributes a pair when both chosen targets are usable front sights. A target that
// the array does not hold (a truncated last view) does not qualify.
bool ViewHoldsPair(const CVector* pVec, int nCount, int view, int n1, int n2) {
    if (pVec[view].Type != kTypeReferenceView) {
        return false;
    }
    const CVector* first = TargetOfView(pVec, nCount, view, n1);
    const CVector* second = TargetOfView(pVec, nCount, view, n2);
    return first != nullptr && second != nullptr && first->Type == kTypeFrontSight &&
           second->Type == kTypeFrontSight && IsLive(*first) && IsLive(*second);
}

int CountViews(const CVector* pVec, int nCount) {
    int views = 0;
    for (int i = 0; i < nCount; ++i) {
        if (pVec[i].Type == kTypeReferenceView) {
            ++views;
        }
    }
    return views;
}

int CountPairs(const CVector* pVec, int nCount, int n1, int n2) {
    int pairs = 0;
    for (int i = 0; i < nCount; ++i) {
        if (ViewHoldsPair(pVec, nCount, i, n1, n2)) {
            ++pairs;
        }
    }
    return pairs;
}

int CollectPairs(const CVector* pVec, int nCount, CVector* pVec_pairs, int n1, int n2) {
    int pair = 0;
    for (int i = 0; i < nCount; ++i) {
        if (ViewHoldsPair(pVec, nCount, i, n1, n2)) {
            pVec_pairs[2 * pair] = pVec[i + n1];
            pVec_pairs[2 * pair + 1] = pVec[i + n2];
            ++pair;
        }
    }
    return pair;
}

// A single-term fit's rejection lowers the quality by the rejection step rather than setting
// a mark, so that the host can still tell the original quality.
int WriteBackPairRejections(CVector* pVec, int nCount, const CVector* pVec_pairs, int n1, int n2) {
    int pair = 0;
    for (int i = 0; i < nCount; ++i) {
        if (!ViewHoldsPair(pVec, nCount, i, n1, n2)) {
            continue;
        }
        if (!IsLive(pVec_pairs[2 * pair])) {
            pVec[i + n1].Quality -= kSingleTermRejectionStep;
        }
        if (!IsLive(pVec_pairs[2 * pair + 1]) && IsLive(pVec[i + n2])) {
            pVec[i + n2].Quality -= kSingleTermRejectionStep;
        }
        ++pair;
    }
    return pair;
}

}  // namespace

int CCompensation::ClassifyPairs(CVector* pVec, int nCount, CVector* pVec_pairs, int n1, int n2,
                                 int* pnCountPairs, int nFlagUpdate) {
    const compensation::detail::TraceSession session(*this);
    // The pair array holds two vectors per view, so it has a first vector only when the host's
    // array holds a view.
    const int views = CountViews(pVec, nCount);
    OutputTrace("Entering ClassifyPairs", true);
    OutputTrace("pVec", nCount > 0 ? pVec : nullptr);
    OutputTrace("nCount", nCount);
    OutputTrace("pVec_pairs", views > 0 ? pVec_pairs : nullptr);
    OutputTrace("n1", n1);
    OutputTrace("n2", n2);
    OutputTrace("nFlagUpdate", nFlagUpdate);

    // Positions count from the reference vector, whose first target is position 1. In the
    // write-back the pair array holds only the pairs the classification found; a view that
    // qualifies beyond them has no entry to read.
    const bool positionsValid = n1 >= 1 && n2 >= 1;
    if (!positionsValid || (nFlagUpdate == 0 && CountPairs(pVec, nCount, n1, n2) > *pnCountPairs)) {
        OutputTrace("Leaving ClassifyPairs", kInvalidInput);
        return kInvalidInput;
    }

    const int pairs = nFlagUpdate != 0 ? CollectPairs(pVec, nCount, pVec_pairs, n1, n2)
                                       : WriteBackPairRejections(pVec, nCount, pVec_pairs, n1, n2);
    *pnCountPairs = pairs;
    OutputTrace("nCountPairs", pairs);
    const int result = pairs > m_nMinCount ? 0 : kTooFewTargetPairs;
    OutputTrace("Leaving ClassifyPairs", result);
    return result;
}
