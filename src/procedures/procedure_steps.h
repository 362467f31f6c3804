// Steps shared by the compensation procedures: checking and counting the host's arrays, the
// working sets the full procedures classify from them, the fits as the procedures call them, the
// budgeted loops that run those fits until they settle, and the write-back of rejections.
#ifndef COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H
#define COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "compensation/engine.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"
#include "engine/constants.h"

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
using FitCall = std::function<int(int flag)>;

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

// One host array a procedure may read and write.
struct HostArray {
    CVector* vectors;
    int count;
};

// Readings in the arrays (a null array holds none).
std::size_t ReadingCount(std::initializer_list<HostArray> arrays);

// Runs a procedure's stages; when a fit refuses, puts the host's model, result record and arrays
// back as they were on entry and returns the refusal. The copy is taken before anything is
// written, so a failed allocation (std::bad_alloc) also leaves them untouched.
int UndoneOnRefusal(TMapper* model, TCompOut* record, std::initializer_list<HostArray> arrays,
                    const std::function<int()>& stages);

// Layout of the host's main array: `views` groups, each a Type 14 vector, then `targets` front
// sights, then their back sights.
struct ViewLayout {
    int views = 0;
    int targets = 0;
};

// Counts Type 14 vectors, and the Type 100 vectors from index 1 up to the next Type 14 vector.
ViewLayout CountViews(const CVector* vectors, int count);

// Number of front sights (|Type| 100): a two-face classification makes one pair of each, so the
// pair arrays must hold that many.
int CountFrontSights(const CVector* vectors, int count);

// True when the array's views fit the pair arrays a procedure allocates (count / 2 pairs): every
// front sight gets a pair, and the interball fits read `targets` front sights of every view.
bool FitsPairArrays(const CVector* vectors, int count, ViewLayout layout);

// Entries of the interball pair table of `targets` targets (one per unordered pair), and one
// more so that the table is never empty.
inline std::size_t PairTableSize(int targets) {
    const auto size = static_cast<std::size_t>(targets);
    return size * (size - 1) / 2 + 1;
}

// Mean of the T of count >= 1 vectors whose T are finite: the plain sum over the count, or,
// where that sum overflows, a mean that cannot (so a finite set never gives a non-finite mean).
double MeanT(const CVector* vectors, int count);

// Sets every vector's face sign from its type.
void SetFaces(CVector* vectors, int count);

// The least pair count the single-term fits demand for `views` views: views - 3, or views when
// that is below 6.
int MinCountForViews(int views);

// Flying pairs first <= i < last: the pairs of one flying view, counted in 64 bits because the
// product of a view index and a view's target count need not fit a 32-bit long.
struct PairRange {
    long long first = 0;
    long long last = 0;
};

// No in-line flying view: its range is empty.
inline constexpr int kNoInlineView = -1;

// The flying pairs of view `inlineView` (`targetsPerView` pairs per view); empty for
// kNoInlineView.
inline PairRange InlineViewPairs(int inlineView, int targetsPerView) {
    if (inlineView < 0) {
        return {};
    }
    const long long first = static_cast<long long>(inlineView) * targetsPerView;
    return {first, first + targetsPerView};
}

// Where a set of target pairs (one pair per view) takes its two target positions in the host's
// record, and what its classification's code is raised by to become the procedure's.
struct TargetPairFields {
    std::int32_t TCompOut::*first;
    std::int32_t TCompOut::*second;
    int codeRaise;
};

inline constexpr TargetPairFields kX0Y0Pairs{&TCompOut::m_n1_x0y0, &TCompOut::m_n2_x0y0, 0};
inline constexpr TargetPairFields kD2Pairs{&TCompOut::m_n1_d2, &TCompOut::m_n2_d2, kD2PairsRaise};
inline constexpr TargetPairFields kExtraPairs{&TCompOut::m_n1_extra, &TCompOut::m_n2_extra,
                                              kExtraPairsRaise};

// The checks both full procedures make before they write anything: kInvalidInput for a host
// array, outside set or pair position that a fit would refuse, kNoLiveOutsidePair for an outside
// set without a live pair (no fit could then estimate its element, and it would report it
// settled), else 0 with the host's layout.
int CheckFullInput(const CVector* host, int hostCount, const TCompOut* record,
                   std::initializer_list<HostArray> outsideSets,
                   std::initializer_list<TargetPairFields> pairSets, ViewLayout* layout);

// The two-face pairs a classification makes of an array of `count` measurements.
struct TwoFacePairs {
    explicit TwoFacePairs(int count);
    std::vector<CVector> fronts;
    std::vector<CVector> backs;
    int count;

    // ClassifyFSBS on the array: flag 1 classifies, flag 0 writes the rejections back.
    int Classify(CCompensation& engine, HostArray array, int flag);
};

// One pair of targets per view, at the positions the record names.
struct TargetPairSet {
    TargetPairSet(TargetPairFields fields, int views);
    TargetPairFields fields;
    std::vector<CVector> pairs;
    int count = 0;

    // ClassifyPairs on the host: flag 1 classifies, flag 0 writes the rejections back.
    int Classify(CCompensation& engine, HostArray host, const TCompOut& record, int flag);
};

// The sets both full procedures classify from the host's array: the two-face pairs, the
// interball pair table, the X0, Y0 pairs and one pair set for each outside set.
struct FullWorkingSets {
    FullWorkingSets(ViewLayout layout, int hostCount,
                    std::initializer_list<TargetPairFields> outsidePairFields);
    TwoFacePairs twoFace;
    std::vector<int> interballTable;
    TargetPairSet x0y0;
    std::vector<TargetPairSet> outsidePairs;
};

// The full procedures' first step on the host's sets: the single-term fits' least pair count,
// the face signs of the host's array and of each outside set, the azimuth coverage of the host's
// views (whose code it returns) and the two-face pairs.
int PrepareAndCover(CCompensation& engine, HostArray host, ViewLayout layout,
                    std::initializer_list<HostArray> outsideSets, FullWorkingSets& sets);

// The target pair sets in the order the full procedures classify them: the X0, Y0 pairs, the
// interball table (read from the first view's targets at the start of the pair array, since the
// host's array opens with the reference view instead), then the outside sets' pairs. Returns the
// first failure, raised to the procedure's code, or 0; `failedSet` then holds the failing set's
// place in that order (0 the X0, Y0 pairs, 1 the interball table, 2 on the outside sets), since
// two sets' raised codes can be the same number.
int ClassifyTargetPairs(CCompensation& engine, HostArray host, const TCompOut& record,
                        ViewLayout layout, FullWorkingSets& sets, int* failedSet);

// Writes the rejections of the two-face pairs and of every target pair set back into the host.
void WriteBackFullSets(CCompensation& engine, HostArray host, const TCompOut& record,
                       FullWorkingSets& sets);

// The full two-face fit with or without its azimuth harmonics.
FitCall FullTwoFaceFit(CCompensation& engine, TwoFacePairs& pairs, TMapper* model, TCompOut* record,
                       int azimuthHarmonics);

// The full interball fit with or without its azimuth harmonics.
FitCall FullInterballFit(CCompensation& engine, FullWorkingSets& sets, ViewLayout layout,
                         TMapper* model, TCompOut* record, int azimuthHarmonics);

// The X0, Y0 fit on its target pairs.
FitCall X0Y0Fit(CCompensation& engine, TargetPairSet& pairs, TMapper* model, TCompOut* record);

// A fit of an outside set against its target pairs (D2 or K_minus).
using OutsideFitMember = int (CCompensation::*)(CVector*, int, CVector*, int, TMapper*, TCompOut*,
                                                int);
FitCall OutsideFit(CCompensation& engine, OutsideFitMember fit, HostArray outside,
                   TargetPairSet& pairs, TMapper* model, TCompOut* record);

// Runs the fits jointly until their sum is 0 or *evaluations reaches `budget` (the counter
// counts evaluations and is shared where a procedure shares its budget). At least one evaluation
// is made. Returns the last sum. `afterPass`, when given, is called after every evaluation.
int JointLoop(const std::vector<FitCall>& fits, int* evaluations, int budget,
              const std::function<void()>& afterPass = {});

// The same with a counter of its own starting at 0.
inline int JointLoop(const std::vector<FitCall>& fits, int budget) {
    int evaluations = 0;
    return JointLoop(fits, &evaluations, budget);
}

// Evaluates while *evaluations is below `budget` and the evaluation has not settled (returned
// 0); each evaluation counts one. Unlike JointLoop it makes none once the budget is used.
void SettleWithin(const std::function<int()>& evaluate, int* evaluations, int budget);

// Outlier pass of a two-face fit: one rejection call, then, while it rejects (returns 1) and
// the pass has not used its budget `limit`, another. Returns the budget used, which the quick
// procedure's joint loop continues from.
int TwoFaceOutlierPass(const FitCall& fit, double limit);

// Outlier pass with a settling step after every rejection call: rejection calls (flag 0), each
// followed by `settle`, while the count of rejections (calls that returned 1) is below `limit`
// and the last call rejected. Returns the count of rejections.
int RejectAndSettle(const FitCall& fit, double limit, const std::function<void()>& settle);

// Rejection calls (flag 0) while they report a rejection (a result above 0), at most `limit`.
// Returns the calls that reported one.
int RejectWhileRejecting(const FitCall& fit, int limit);

// Told each joint loop's evaluations and last sum.
using LoopCounted = std::function<void(int evaluations, int sum)>;

// Outlier stage of a single-term or interball fit: while its rejection call (flag 0) reports
// a rejection (a result above 0), re-run the joint loop; stop when that loop ends unsettled
// (a positive sum). `counted`, when given, is told of every joint loop the stage runs.
void OutlierStage(const FitCall& fit, const std::vector<FitCall>& loop, int budget,
                  const LoopCounted& counted = {});

}  // namespace compensation::detail

#endif  // COMPENSATION_PROCEDURES_PROCEDURE_STEPS_H
