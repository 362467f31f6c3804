#include "report/quick_snapshot.h"

#include "model/live.h"

namespace compensation::detail {

namespace {

// The elements of the quick fits, in the order of their tables.
const std::vector<double TMapper::*> kQuickTwoFaceElements = {
    &TMapper::D1,     &TMapper::A1,      &TMapper::A3,      &TMapper::Az_AzS, &TMapper::Az_AzC,
    &TMapper::A2,     &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS};
const std::vector<double TMapper::*> kQuickInterballElements = {&TMapper::Ax, &TMapper::Ay};

constexpr int kFronts = 0;
constexpr int kBacks = 1;

}  // namespace

std::shared_ptr<Snapshot> QuickSnapshot(const std::vector<CVector>& pairsF,
                                        const std::vector<CVector>& pairsB,
                                        const std::vector<int>& ibPairs, int nTargets, int nViews,
                                        int nCount_fb) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->sets = {pairsF, pairsB};
    snapshot->ibPairs = ibPairs;
    for (int i = 0; i < nCount_fb; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (IsLive(pairsF[k]) && IsLive(pairsB[k])) {
            snapshot->readings.emplace_back(kFronts, i);
            snapshot->readings.emplace_back(kBacks, i);
        }
    }
    snapshot->fits.push_back(
        {"CalculateQCFSBSa", kQuickTwoFaceElements,
         [nCount_fb](CCompensation& engine, Snapshot& s, TMapper* map, TCompOut* out) {
             engine.CalculateQCFSBSa(s.sets[kFronts].data(), s.sets[kBacks].data(), map,
                                     nCount_fb, out, 1);
         }});
    snapshot->fits.push_back(
        {"CalculateQC_axy", kQuickInterballElements,
         [nTargets, nViews](CCompensation& engine, Snapshot& s, TMapper* map, TCompOut* out) {
             engine.CalculateQC_axy(s.sets[kFronts].data(), nTargets, nViews, s.ibPairs.data(),
                                    map, out, 1);
         }});
    return snapshot;
}

}  // namespace compensation::detail
