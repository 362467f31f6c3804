// Front-sight/back-sight pairing of the host's array, and the write-back of the rejections that
// the two-face fits made in the pair arrays.
#include <cmath>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

bool IsFrontSightToPair(const CVector& sight) {
    return sight.FSBS == 1 && HasTypeMagnitude(sight, kTypeFrontSight);
}

// The back sight of a target reads, after the face change the host has already applied, the
// same range and angles as its front sight within the tracker's pointing repeatability.
bool IsBackSightOf(const CVector& front, const CVector& candidate) {
    return std::fabs(front.Range - candidate.Range) < kPairRangeTolerance &&
           std::fabs(front.Azimuth - candidate.Azimuth) < kPairAngleTolerance &&
           std::fabs(front.Elevation - candidate.Elevation) < kPairAngleTolerance &&
           HasTypeMagnitude(candidate, kTypeBackSight);
}

// One pair per front sight. The search for back sights only moves forward after a match, so a
// back sight is taken at most once when the host stores them in the order of their front sights.
int PairFrontAndBackSights(CVector* vectors, int count, CVector* fronts, CVector* backs) {
    int pairs = 0;
    int searchStart = 0;
    for (int i = 0; i < count; ++i) {
        if (!IsFrontSightToPair(vectors[i])) {
            continue;
        }
        fronts[pairs] = vectors[i];
        int match = -1;
        for (int j = searchStart; j < count; ++j) {
            if (IsBackSightOf(vectors[i], vectors[j])) {
                match = j;
                break;
            }
        }
        if (match >= 0) {
            backs[pairs] = vectors[match];
            searchStart = match + 1;
        } else {
            // A front sight without its back sight: the pair stays in the arrays so that the
            // indices keep following the host's front sights, but nothing may fit from it.
            backs[pairs] = vectors[i];
            backs[pairs].Quality = kUnpairedQuality;
            fronts[pairs].Quality = kUnpairedQuality;
            vectors[i].Quality = kUnpairedQuality;
        }
        ++pairs;
    }
    return pairs;
}

// Targets per view in a well-formed array: the vectors after the view's reference vector up to
// the first back sight or the next reference view.
int OffsetToBackSights(const CVector* vectors, int count) {
    for (int i = 1; i < count; ++i) {
        if (HasTypeMagnitude(vectors[i], kTypeReferenceView) ||
            HasTypeMagnitude(vectors[i], kTypeBackSight)) {
            return i - 1;
        }
    }
    return count > 0 ? count - 1 : 0;
}

// Marks in the host's array what the fits rejected in the pair arrays. The pair arrays hold
// pairCount pairs, one per front sight of the host's array; more front sights than that means
// the arrays do not belong together, and nothing is written. A back sight position beyond the
// array's end (a truncated last view) has nothing to mark.
int WriteBackRejections(CVector* vectors, int count, const CVector* fronts, const CVector* backs,
                        int pairCount) {
    int frontSights = 0;
    for (int i = 0; i < count; ++i) {
        if (HasTypeMagnitude(vectors[i], kTypeFrontSight)) {
            ++frontSights;
        }
    }
    if (frontSights > pairCount) {
        return kInvalidInput;
    }

    const int offset = OffsetToBackSights(vectors, count);
    int pair = 0;
    for (int i = 0; i < count; ++i) {
        if (!HasTypeMagnitude(vectors[i], kTypeFrontSight)) {
            continue;
        }
        if (!IsLive(fronts[pair]) && IsLive(vectors[i])) {
            vectors[i].Quality = kRejectedQuality;
        }
        if (offset < count - i && !IsLive(backs[pair]) && IsLive(vectors[i + offset])) {
            vectors[i + offset].Quality = kRejectedQuality;
        }
        ++pair;
    }
    return pair;
}

int PairCountResult(int pairs) {
    return pairs < kLeastTwoFacePairs ? kTooFewTwoFacePairs : 0;
}

}  // namespace

int CCompensation::ClassifyFSBS(CVector* pVec, int nCount, CVector* pVec_f, CVector* pVec_b,
                                int* pnCount_fb, int nFlagUpdate) {
    const compensation::detail::TraceSession session(*this);
    int result = kTooFewTwoFacePairs;
    if (nFlagUpdate > 0) {
        *pnCount_fb = PairFrontAndBackSights(pVec, nCount, pVec_f, pVec_b);
        result = PairCountResult(*pnCount_fb);
    } else if (nFlagUpdate == 0) {
        const int pairs = WriteBackRejections(pVec, nCount, pVec_f, pVec_b, *pnCount_fb);
        result = pairs == kInvalidInput ? kInvalidInput : PairCountResult(pairs);
    }
    OutputTrace("nCount_fb", *pnCount_fb);
    OutputTrace("Leaving ClassifyFSBS", result);
    return result;
}
