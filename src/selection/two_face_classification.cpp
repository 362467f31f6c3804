// Front-sight/back-sight pairing of the host's array, and the write-back of the rejections that
// the two-face fits made in the pair arrays.
#include <cmath>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "selection/selection.h"

namespace {

using namespace compensation;

bool IsFrontSightToPair(const CVector& v) {
    return v.FSBS == 1 && HasTypeMagnitude(v, kTypeFrontSight);
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
int PairFrontAndBackSights(CVector* pVec, int nCount, CVector* pVec_f, CVector* pVec_b) {
    int pairs = 0;
    int searchStart = 0;
    for (int i = 0; i < nCount; ++i) {
        if (!IsFrontSightToPair(pVec[i])) {
            continue;
        }
        pVec_f[pairs] = pVec[i];
        int match = -1;
        for (int j = searchStart; j < nCount; ++j) {
            if (IsBackSightOf(pVec[i], pVec[j])) {
                match = j;
                break;
            }
        }
        if (match >= 0) {
            pVec_b[pairs] = pVec[match];
            searchStart = match + 1;
        } else {
            // A front sight without its back sight: the pair stays in the arrays so that the
            // indices keep following the host's front sights, but nothing may fit from it.
            pVec_b[pairs] = pVec[i];
            pVec_b[pairs].Quality = kUnpairedQuality;
            pVec_f[pairs].Quality = kUnpairedQuality;
            pVec[i].Quality = kUnpairedQuality;
        }
        ++pairs;
    }
    return pairs;
}

// Targets per view in a well-formed array: the vectors after the view's reference vector up to
// the first back sight or the next reference view.
int OffsetToBackSights(const CVector* pVec, int nCount) {
    for (int i = 1; i < nCount; ++i) {
        if (HasTypeMagnitude(pVec[i], kTypeReferenceView) ||
            HasTypeMagnitude(pVec[i], kTypeBackSight)) {
            return i - 1;
        }
    }
    return nCount > 0 ? nCount - 1 : 0;
}

// Marks in the host's array what the fits rejected in the pair arrays. The pair arrays hold
// pairCount pairs, one per front sight of the host's array; more front sights than that means
// the arrays do not belong together, and nothing is written. A back sight position beyond the
// array's end (a truncated last view) has nothing to mark.
int WriteBackRejections(CVector* pVec, int nCount, const CVector* pVec_f, const CVector* pVec_b,
                        int pairCount) {
    int frontSights = 0;
    for (int i = 0; i < nCount; ++i) {
        if (HasTypeMagnitude(pVec[i], kTypeFrontSight)) {
            ++frontSights;
        }
    }
    if (frontSights > pairCount) {
        return kInvalidInput;
    }

    const int offset = OffsetToBackSights(pVec, nCount);
    int pair = 0;
    for (int i = 0; i < nCount; ++i) {
        if (!HasTypeMagnitude(pVec[i], kTypeFrontSight)) {
            continue;
        }
        if (!IsLive(pVec_f[pair]) && IsLive(pVec[i])) {
            pVec[i].Quality = kRejectedQuality;
        }
        if (offset < nCount - i && !IsLive(pVec_b[pair]) && IsLive(pVec[i + offset])) {
            pVec[i + offset].Quality = kRejectedQuality;
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
