// Steps shared by the compensation procedures: counting the views of a host array, the joint
// loops that run several fits until they settle, and the outlier passes.
#ifndef COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H
#define COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"

namespace compensation::detail {

// A joint loop of the full procedures stops after the evaluation made when its counter already
// stood above 50: at most 52 evaluations.
inline constexpr int kJointBudget = 52;
// Their main two-face outlier pass may reject up to a twentieth of the measurements.
inline constexpr double kMainRejectShare = 0.05;

// The interball fits measure distances between targets of one view.
inline constexpr int kLeastInterballTargets = 2;

// One fit as a procedure calls it: flag 1 fits and tests convergence, flag 0 may reject the
// worst measurement or pair. The result is the fit's code; 0 means settled.
using FitCall = std::function<int(int nFlagClassify)>;

// A fit refused the arguments a procedure gave it (a negative code). The procedures check the
// host's layout on entry so that no fit can refuse; should one do so all the same, its code must
// never be added to the others as if it were a fit's verdict, and the procedure must not report
// the refusal after it has changed the host's records. Thrown by a Refusing fit call and caught
// by UndoneOnRefusal; it never leaves the library.
struct FitRefused {
    int code;
};

// The fit call that throws FitRefused instead of returning a negative code.
FitCall Refusing(FitCall fit);

// One host array a procedure may write into.
struct HostArray {
    CVector* pVec;
    int nCount;
};

// Runs a procedure's stages; when a fit refuses, puts the host's model, result record and arrays
// back as they were on entry and returns the refusal. The copy is taken before anything is
// written, so a failed allocation (std::bad_alloc) also leaves them untouched.
int UndoneOnRefusal(TMapper* pMap, TCompOut* pCompOut, std::initializer_list<HostArray> arrays,
                    const std::function<int()>& stages);

// Layout of the host's main array: nViews groups, each a Type 14 vector, then nTargets front
// sights, then their back sights.
struct ViewLayout {
    int nViews = 0;
    int nTargets = 0;
};

// Counts Type 14 vectors, and the Type 100 vectors from index 1 up to the next Type 14 vector.
ViewLayout CountViews(const CVector* pVec, int nCount);

// Number of front sights (|Type| 100): a two-face classification makes one pair of each, so the
// pair arrays must hold that many.
int CountFrontSights(const CVector* pVec, int nCount);

// True when the array's views fit the pair arrays a procedure allocates (nCount / 2 pairs): every
// front sight gets a pair, and the interball fits read nTargets front sights of every view.
bool FitsPairArrays(const CVector* pVec, int nCount, ViewLayout layout);

// Entries of the interball pair table of nTargets targets (one per unordered pair), and one
// more so that the table is never empty.
inline std::size_t PairTableSize(int nTargets) {
    const auto n = static_cast<std::size_t>(nTargets);
    return n * (n - 1) / 2 + 1;
}

// True when the outside set (consecutive pairs) holds a pair whose two measurements are both
// live, so that a single-term fit reading it has at least one outside distance to compare.
bool HasLiveOutsidePair(const CVector* pVecOut, int nCountOut);

// True when an outside set of nCountOut measurements can meet the pair set of nViews views in
// the D2 and K_minus fits, which count every outside pair against every pair in an int.
bool OutsideSetFits(int nCountOut, int nViews);

// Mean of the T of nCount >= 1 vectors whose T are finite: the plain sum over the count, or,
// where that sum overflows, a mean that cannot (so a finite set never gives a non-finite mean).
double MeanT(const CVector* pVec, int nCount);

// Sets every vector's face sign from its type.
void SetFaces(CVector* pVec, int nCount);

// The least pair count the single-term fits demand for nViews views: nViews - 3, or nViews
// when that is below 6.
int MinCountForViews(int nViews);

// True when a 1-based target position lies within a view of nTargets targets.
inline bool IsTargetPosition(int n, int nTargets) {
    return n >= 1 && n <= nTargets;
}

// Flying pairs first <= i < last: the pairs of one flying view, counted in 64 bits because the
// product of a view index and a view's target count need not fit a 32-bit long.
struct PairRange {
    long long first = 0;
    long long last = 0;
};

// No in-line flying view: its range is empty.
inline constexpr int kNoInlineView = -1;

// The flying pairs of view nInlineView (nTargetsFly pairs per view); empty for kNoInlineView.
inline PairRange InlineViewPairs(int nInlineView, int nTargetsFly) {
    if (nInlineView < 0) {
        return {};
    }
    const long long first = static_cast<long long>(nInlineView) * nTargetsFly;
    return {first, first + nTargetsFly};
}

// Sum of the fits' codes, each called as a fitting call (flag 1), in the order given.
int FittingSum(const std::vector<FitCall>& fits);

// Runs the fits jointly until their sum is 0 or *pCounter reaches nLimit (the counter counts
// evaluations and is shared where a procedure shares its budget). At least one evaluation is
// made. Returns the last sum.
int JointLoop(const std::vector<FitCall>& fits, int* pCounter, int nLimit);

// The same with a counter of its own starting at 0.
inline int JointLoop(const std::vector<FitCall>& fits, int nLimit) {
    int counter = 0;
    return JointLoop(fits, &counter, nLimit);
}

// Outlier pass of a two-face fit: one rejection call, then, while it rejects (returns 1) and
// the pass has not used its budget dLimit, another. Returns the budget used, which the quick
// procedure's joint loop continues from.
int TwoFaceOutlierPass(const FitCall& fit, double dLimit);

// Outlier stage of a single-term or interball fit: while its rejection call (flag 0) reports
// a rejection (a result above 0), re-run the joint loop; stop when that loop ends unsettled
// (a positive sum).
void OutlierStage(const FitCall& fit, const std::vector<FitCall>& loop, int nLimit);

// Writes the rejections of several working sets back into the host's array. A pair write-back
// finds its views by the host's qualities, so a mark written by another write-back first would
// shift it onto the wrong views. Each therefore runs on its own copy of the array as it stood
// when the sets were classified, and each vector receives the lowest quality any of them wrote.
void WriteBackRejections(CVector* pVec, int nCount,
                         const std::vector<std::function<void(CVector*)>>& writeBacks);

}  // namespace compensation::detail

#endif  // COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H
