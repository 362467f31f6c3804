#include "procedures/procedure_steps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "engine/constants.h"
#include "model/live.h"

namespace compensation::detail {
namespace {

// Writes the rejections of several working sets back into the host's array. A pair write-back
// finds its views by the host's qualities, so a mark written by another write-back first would
// shift it onto the wrong views. Each therefore runs on its own copy of the array as it stood
// when the sets were classified, and each vector receives the lowest quality any of them wrote.
void WriteBackRejections(HostArray host,
                         const std::vector<std::function<void(CVector*)>>& writeBacks) {
    const std::vector<CVector> classified(host.vectors, host.vectors + host.count);
    std::vector<double> lowest(classified.size());
    std::transform(classified.begin(), classified.end(), lowest.begin(),
                   [](const CVector& vector) { return vector.Quality; });
    for (const auto& writeBack : writeBacks) {
        std::vector<CVector> copy = classified;
        writeBack(copy.data());
        for (std::size_t i = 0; i < copy.size(); ++i) {
            lowest[i] = std::min(lowest[i], copy[i].Quality);
        }
    }
    for (std::size_t i = 0; i < classified.size(); ++i) {
        host.vectors[i].Quality = lowest[i];
    }
}

}  // namespace

ViewLayout CountViews(const CVector* vectors, int count) {
    ViewLayout layout;
    for (int i = 0; i < count; ++i) {
        if (vectors[i].Type == kTypeReferenceView) {
            ++layout.views;
        }
    }
    for (int i = 1; i < count && vectors[i].Type != kTypeReferenceView; ++i) {
        if (vectors[i].Type == kTypeFrontSight) {
            ++layout.targets;
        }
    }
    return layout;
}

int CountFrontSights(const CVector* vectors, int count) {
    int fronts = 0;
    for (int i = 0; i < count; ++i) {
        if (vectors[i].Type == kTypeFrontSight || vectors[i].Type == -kTypeFrontSight) {
            ++fronts;
        }
    }
    return fronts;
}

bool FitsPairArrays(const CVector* vectors, int count, ViewLayout layout) {
    // A front sight of a signed type keeps the face sign the host gave it; unless that is +1 the
    // classification passes it over while the write-back counts it, so the write-back would
    // refuse and the rejections be lost from a run reported as settled.
    for (int i = 0; i < count; ++i) {
        if (vectors[i].Type == -kTypeFrontSight && vectors[i].FSBS != 1) {
            return false;
        }
    }
    const long long pairs = count / 2;
    return layout.views >= 1 && layout.targets >= 1 && layout.targets <= kMostTargetsPerView &&
           static_cast<long long>(layout.targets) * layout.views <= pairs &&
           CountFrontSights(vectors, count) <= pairs;
}

double MeanT(const CVector* vectors, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        sum += vectors[i].T;
    }
    if (std::isfinite(sum)) {
        return sum / count;
    }
    // The sum of finite values overflowed; their mean lies between the least and the greatest
    // of them, so a sum of halves does not overflow, and the bounds keep the rounding in range.
    double halves = 0.0;
    double least = vectors[0].T;
    double greatest = vectors[0].T;
    for (int i = 0; i < count; ++i) {
        halves += 0.5 * vectors[i].T / count;
        least = std::min(least, vectors[i].T);
        greatest = std::max(greatest, vectors[i].T);
    }
    return std::clamp(2.0 * halves, least, greatest);
}

void SetFaces(CVector* vectors, int count) {
    for (int i = 0; i < count; ++i) {
        vectors[i].SeType();
    }
}

int MinCountForViews(int views) {
    return views - 3 < 6 ? views : views - 3;
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

std::size_t ReadingCount(std::initializer_list<HostArray> arrays) {
    std::size_t readings = 0;
    for (const HostArray& array : arrays) {
        readings +=
            array.vectors != nullptr && array.count > 0 ? static_cast<std::size_t>(array.count) : 0;
    }
    return readings;
}

int UndoneOnRefusal(TMapper* model, TCompOut* record, std::initializer_list<HostArray> arrays,
                    const std::function<int()>& stages) {
    const TMapper modelOnEntry = *model;
    const TCompOut recordOnEntry = *record;
    std::vector<std::vector<CVector>> copies;
    copies.reserve(arrays.size());
    for (const HostArray& array : arrays) {
        copies.emplace_back(array.vectors,
                            array.vectors + (array.vectors != nullptr ? array.count : 0));
    }
    try {
        return stages();
    } catch (const FitRefused& refusal) {
        *model = modelOnEntry;
        *record = recordOnEntry;
        auto copy = copies.begin();
        for (const HostArray& array : arrays) {
            std::copy(copy->begin(), copy->end(), array.vectors);
            ++copy;
        }
        return refusal.code;
    }
}

int CheckFullInput(const CVector* host, int hostCount, const TCompOut* record,
                   std::initializer_list<HostArray> outsideSets,
                   std::initializer_list<TargetPairFields> pairSets, ViewLayout* layout) {
    const auto isPairedSet = [](const HostArray& set) {
        return set.count >= 2 && set.count % 2 == 0 && set.vectors != nullptr;
    };
    if (host == nullptr || record == nullptr || hostCount < 2 ||
        !std::all_of(outsideSets.begin(), outsideSets.end(), isPairedSet)) {
        return kInvalidInput;
    }
    *layout = CountViews(host, hostCount);
    const auto positionsFit = [&](const TargetPairFields& fields) {
        const auto isTarget = [&](int position) {
            return position >= 1 && position <= layout->targets;
        };
        return isTarget(record->*fields.first) && isTarget(record->*fields.second);
    };
    // The D2 and K_minus fits count every outside pair against every pair of the set in an int.
    const auto setFits = [&](const HostArray& set) {
        return static_cast<long long>(set.count / 2) * (2LL * layout->views) <= INT_MAX;
    };
    if (!FitsPairArrays(host, hostCount, *layout) ||
        !std::all_of(pairSets.begin(), pairSets.end(), positionsFit) ||
        !std::all_of(outsideSets.begin(), outsideSets.end(), setFits)) {
        return kInvalidInput;
    }
    // A single-term fit reading the set needs at least one outside distance to compare.
    const auto hasLivePair = [](const HostArray& set) {
        for (int i = 0; i + 1 < set.count; i += 2) {
            if (IsLive(set.vectors[i]) && IsLive(set.vectors[i + 1])) {
                return true;
            }
        }
        return false;
    };
    if (!std::all_of(outsideSets.begin(), outsideSets.end(), hasLivePair)) {
        return kNoLiveOutsidePair;
    }
    return 0;
}

TwoFacePairs::TwoFacePairs(int count)
    : fronts(static_cast<std::size_t>(count / 2)),
      backs(static_cast<std::size_t>(count / 2)),
      count(count / 2) {}

int TwoFacePairs::Classify(CCompensation& engine, HostArray array, int flag) {
    return engine.ClassifyFSBS(array.vectors, array.count, fronts.data(), backs.data(), &count,
                               flag);
}

TargetPairSet::TargetPairSet(TargetPairFields fields, int views)
    : fields(fields), pairs(static_cast<std::size_t>(2 * views)) {}

int TargetPairSet::Classify(CCompensation& engine, HostArray host, const TCompOut& record,
                            int flag) {
    return engine.ClassifyPairs(host.vectors, host.count, pairs.data(), record.*fields.first,
                                record.*fields.second, &count, flag);
}

FullWorkingSets::FullWorkingSets(ViewLayout layout, int hostCount,
                                 std::initializer_list<TargetPairFields> outsidePairFields)
    : twoFace(hostCount),
      interballTable(PairTableSize(layout.targets)),
      x0y0(kX0Y0Pairs, layout.views) {
    outsidePairs.reserve(outsidePairFields.size());
    for (const TargetPairFields& fields : outsidePairFields) {
        outsidePairs.emplace_back(fields, layout.views);
    }
}

int PrepareAndCover(CCompensation& engine, HostArray host, ViewLayout layout,
                    std::initializer_list<HostArray> outsideSets, FullWorkingSets& sets) {
    engine.m_nMinCount = MinCountForViews(layout.views);
    SetFaces(host.vectors, host.count);
    for (const HostArray& set : outsideSets) {
        SetFaces(set.vectors, set.count);
    }
    const int coverage = engine.AcceptViews(host.vectors, host.count, kTypeReferenceView,
                                            kFullCoverageCode, kFullSectors);
    sets.twoFace.Classify(engine, host, 1);
    return coverage;
}

int ClassifyTargetPairs(CCompensation& engine, HostArray host, const TCompOut& record,
                        ViewLayout layout, FullWorkingSets& sets, int* failedSet) {
    *failedSet = 0;
    int code = sets.x0y0.Classify(engine, host, record, 1);
    if (code > 0) {
        return code;
    }
    *failedSet = 1;
    code = engine.ClassifyIBPairs(sets.twoFace.fronts.data(), sets.interballTable.data(),
                                  layout.targets);
    if (code > 0) {
        return code + kIBPairsRaise;
    }
    for (TargetPairSet& pairs : sets.outsidePairs) {
        ++*failedSet;
        code = pairs.Classify(engine, host, record, 1);
        if (code > 0) {
            return code + pairs.fields.codeRaise;
        }
    }
    return 0;
}

void WriteBackFullSets(CCompensation& engine, HostArray host, const TCompOut& record,
                       FullWorkingSets& sets) {
    const auto pairWriteBack = [&](TargetPairSet& pairs) {
        return [&engine, host, &record, &pairs](CVector* copy) {
            pairs.Classify(engine, {copy, host.count}, record, 0);
        };
    };
    std::vector<std::function<void(CVector*)>> writeBacks = {
        [&](CVector* copy) {
            sets.twoFace.Classify(engine, {copy, host.count}, 0);
        },
        pairWriteBack(sets.x0y0)};
    for (TargetPairSet& pairs : sets.outsidePairs) {
        writeBacks.push_back(pairWriteBack(pairs));
    }
    WriteBackRejections(host, writeBacks);
}

FitCall FullTwoFaceFit(CCompensation& engine, TwoFacePairs& pairs, TMapper* model, TCompOut* record,
                       int azimuthHarmonics) {
    return Refusing([&engine, &pairs, model, record, azimuthHarmonics](int flag) {
        return engine.CalculateFFCFSBS(pairs.fronts.data(), pairs.backs.data(), model, pairs.count,
                                       record, flag, azimuthHarmonics);
    });
}

FitCall FullInterballFit(CCompensation& engine, FullWorkingSets& sets, ViewLayout layout,
                         TMapper* model, TCompOut* record, int azimuthHarmonics) {
    return Refusing([&engine, &sets, layout, model, record, azimuthHarmonics](int flag) {
        return engine.CalculateFFCaxy123(sets.twoFace.fronts.data(), layout.targets, layout.views,
                                         sets.interballTable.data(), model, record, flag,
                                         azimuthHarmonics);
    });
}

FitCall X0Y0Fit(CCompensation& engine, TargetPairSet& pairs, TMapper* model, TCompOut* record) {
    return Refusing([&engine, &pairs, model, record](int flag) {
        return engine.Calculate_x0y0(pairs.pairs.data(), pairs.count, model, record, flag);
    });
}

FitCall OutsideFit(CCompensation& engine, OutsideFitMember fit, HostArray outside,
                   TargetPairSet& pairs, TMapper* model, TCompOut* record) {
    return Refusing([&engine, fit, outside, &pairs, model, record](int flag) {
        return (engine.*fit)(outside.vectors, outside.count, pairs.pairs.data(), pairs.count, model,
                             record, flag);
    });
}

int JointLoop(const std::vector<FitCall>& fits, int* evaluations, int budget,
              const std::function<void()>& afterPass) {
    int sum = 0;
    do {
        sum = 0;
        for (const FitCall& fit : fits) {
            sum += fit(1);
        }
        ++*evaluations;
        if (afterPass) {
            afterPass();
        }
    } while (sum != 0 && *evaluations < budget);
    return sum;
}

void SettleWithin(const std::function<int()>& evaluate, int* evaluations, int budget) {
    while (*evaluations < budget) {
        ++*evaluations;
        if (evaluate() == 0) {
            return;
        }
    }
}

int TwoFaceOutlierPass(const FitCall& fit, double limit) {
    if (fit(0) != 1) {
        return 0;
    }
    int used = 0;
    while (used < limit) {
        ++used;
        if (fit(0) != 1) {
            return used;
        }
    }
    return used + 1;
}

int RejectAndSettle(const FitCall& fit, double limit, const std::function<void()>& settle) {
    int rejections = 0;
    for (; rejections < limit; ++rejections) {
        const int rejected = fit(0);
        settle();
        if (rejected != 1) {
            break;
        }
    }
    return rejections;
}

int RejectWhileRejecting(const FitCall& fit, int limit) {
    for (int rejections = 0; rejections < limit; ++rejections) {
        if (fit(0) <= 0) {
            return rejections;
        }
    }
    return limit;
}

void OutlierStage(const FitCall& fit, const std::vector<FitCall>& loop, int budget,
                  const LoopCounted& counted) {
    bool rejected = fit(0) > 0;
    while (rejected) {
        int evaluations = 0;
        const int sum = JointLoop(loop, &evaluations, budget);
        if (counted) {
            counted(evaluations, sum);
        }
        if (sum > 0) {
            return;
        }
        rejected = fit(0) > 0;
    }
}

}  // namespace compensation::detail
