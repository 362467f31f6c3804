// Two chosen targets seen in the same view: the single-term fits read one such pair per view,
// and their rejections come back into the host's array through the same walk.
#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

// The target `position` places after the reference vector at `view`, when the array holds it.
const CVector* TargetOfView(const CVector* vectors, int count, int view, int position) {
    return position < count - view ? &vectors[view + position] : nullptr;
}

// A view contributes a pair when both chosen targets are usable front sights. A target that
// the array does not hold (a truncated last view) does not qualify.
bool ViewHoldsPair(const CVector* vectors, int count, int view, int firstPosition,
                   int secondPosition) {
    if (vectors[view].Type != kTypeReferenceView) {
        return false;
    }
    const CVector* first = TargetOfView(vectors, count, view, firstPosition);
    const CVector* second = TargetOfView(vectors, count, view, secondPosition);
    return first != nullptr && second != nullptr && first->Type == kTypeFrontSight &&
           second->Type == kTypeFrontSight && IsLive(*first) && IsLive(*second);
}

int CountViews(const CVector* vectors, int count) {
    int views = 0;
    for (int i = 0; i < count; ++i) {
        if (vectors[i].Type == kTypeReferenceView) {
            ++views;
        }
    }
    return views;
}

int CountPairs(const CVector* vectors, int count, int firstPosition, int secondPosition) {
    int pairs = 0;
    for (int i = 0; i < count; ++i) {
        if (ViewHoldsPair(vectors, count, i, firstPosition, secondPosition)) {
            ++pairs;
        }
    }
    return pairs;
}

int CollectPairs(const CVector* vectors, int count, CVector* pairVectors, int firstPosition,
                 int secondPosition) {
    int pair = 0;
    for (int i = 0; i < count; ++i) {
        if (ViewHoldsPair(vectors, count, i, firstPosition, secondPosition)) {
            pairVectors[2 * pair] = vectors[i + firstPosition];
            pairVectors[2 * pair + 1] = vectors[i + secondPosition];
            ++pair;
        }
    }
    return pair;
}

// A single-term fit's rejection lowers the quality by the rejection step rather than setting
// a mark, so that the host can still tell the original quality.
int WriteBackPairRejections(CVector* vectors, int count, const CVector* pairVectors,
                            int firstPosition, int secondPosition) {
    int pair = 0;
    for (int i = 0; i < count; ++i) {
        if (!ViewHoldsPair(vectors, count, i, firstPosition, secondPosition)) {
            continue;
        }
        if (!IsLive(pairVectors[2 * pair])) {
            vectors[i + firstPosition].Quality -= kSingleTermRejectionStep;
        }
        if (!IsLive(pairVectors[2 * pair + 1]) && IsLive(vectors[i + secondPosition])) {
            vectors[i + secondPosition].Quality -= kSingleTermRejectionStep;
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
