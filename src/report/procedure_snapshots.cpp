#include "report/procedure_snapshots.h"

namespace compensation::detail {

namespace {

// The elements of the quick fits, in the order of their tables.
const std::vector<double TMapper::*> kQuickTwoFaceElements = {
    &TMapper::D1, &TMapper::A1,      &TMapper::A3,      &TMapper::Az_AzS, &TMapper::Az_AzC,
    &TMapper::A2, &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS};
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
    snapshot->fits.push_back(
        {"CalculateQCFSBSa",
         {kFronts, kBacks},
         [nCount_fb](CCompensation& engine, Snapshot& s, TMapper* map, TCompOut* out) {
             engine.CalculateQCFSBSa(s.sets[kFronts].data(), s.sets[kBacks].data(), map, nCount_fb,
                                     out, 1);
         },
         kQuickTwoFaceElements});
    snapshot->fits.push_back(
        {"CalculateQC_axy",
         {kFronts},
         [nTargets, nViews](CCompensation& engine, Snapshot& s, TMapper* map, TCompOut* out) {
             engine.CalculateQC_axy(s.sets[kFronts].data(), nTargets, nViews, s.ibPairs.data(), map,
                                    out, 1);
         },
         kQuickInterballElements});
    return snapshot;
}

std::shared_ptr<Snapshot> FullSnapshot(const FullSets& in) {
    enum { kF, kB, kX0Y0, kD2, kOut };
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->sets = {in.pairsF, in.pairsB, in.pairsX0Y0, in.pairsD2,
                      std::vector<CVector>(in.outside, in.outside + in.nCountOut)};
    snapshot->ibPairs = in.ibPairs;
    const int nFb = in.nCount_fb;
    const int nX = in.nCount_x0y0;
    const int nD = in.nCount_d2;
    const int nOut = in.nCountOut;
    const int nT = in.nTargets;
    const int nV = in.nViews;
    using E = CCompensation;
    snapshot->fits = {
        {"CalculateFFCFSBS",
         {kF, kB},
         [nFb](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.CalculateFFCFSBS(s.sets[kF].data(), s.sets[kB].data(), m, nFb, o, 1, 0);
         },
         {}},
        {"Calculate_x0y0",
         {kX0Y0},
         [nX](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.Calculate_x0y0(s.sets[kX0Y0].data(), nX, m, o, 1);
         },
         {}},
        {"CalculateFFCaxy123",
         {kF},
         [nT, nV](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.CalculateFFCaxy123(s.sets[kF].data(), nT, nV, s.ibPairs.data(), m, o, 1, 0);
         },
         {}},
        {"Calculate_d2",
         {kOut, kD2},
         [nOut, nD](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.Calculate_d2(s.sets[kOut].data(), nOut, s.sets[kD2].data(), nD, m, o, 1);
         },
         {}},
    };
    return snapshot;
}

std::shared_ptr<Snapshot> FullFullSnapshot(const FullFullSets& in) {
    enum { kF, kB, kFlyF, kFlyB, kFlyF2, kX0Y0, kD2, kExtra, kOut1, kOut2, kAvg4, kCopyF };
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->sets = {in.pairsF,
                      in.pairsB,
                      in.flyF,
                      in.flyB,
                      in.flyF2,
                      in.pairsX0Y0,
                      in.pairsD2,
                      in.pairsExtra,
                      std::vector<CVector>(in.outside1, in.outside1 + in.nCountOut1),
                      std::vector<CVector>(in.outside2, in.outside2 + in.nCountOut2),
                      in.avg4,
                      in.copyF};
    snapshot->ibPairs = in.ibPairs;
    const FullFullSets c = in;  // counts only are read below
    const int nFb = c.nCount_fb;
    const int nFly = c.nCountFly_fb;
    const int nX = c.nCount_x0y0;
    const int nD = c.nCount_d2;
    const int nE = c.nCount_extra;
    const int nO1 = c.nCountOut1;
    const int nO2 = c.nCountOut2;
    const int nT = c.nTargets;
    const int nV = c.nViews;
    const int nTF = c.nTargetsFly;
    const int nVF = c.nViewsFly;
    const bool harmonics = c.azimuthHarmonics;
    using E = CCompensation;
    std::vector<SnapshotFitSpec>& fits = snapshot->fits;
    if (c.mode != 2) {
        fits.push_back({"CalculateFBBFSBS",
                        {kFlyF, kFlyB},
                        [nFly](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            e.CalculateFBBFSBS(s.sets[kFlyF].data(), s.sets[kFlyB].data(), m, nFly,
                                               o, 1);
                        },
                        {}});
    }
    fits.push_back({harmonics ? "CalculateFFCFSBS" : "CalculateFFCFSBS6",
                    {kF, kB},
                    [nFb, harmonics](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        if (harmonics) {
                            e.CalculateFFCFSBS(s.sets[kF].data(), s.sets[kB].data(), m, nFb, o, 1,
                                               1);
                        } else {
                            e.CalculateFFCFSBS6(s.sets[kF].data(), s.sets[kB].data(), m, nFb, o, 1);
                        }
                    },
                    {}});
    fits.push_back({"Calculate_x0y0",
                    {kX0Y0},
                    [nX](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.Calculate_x0y0(s.sets[kX0Y0].data(), nX, m, o, 1);
                    },
                    {}});
    if (c.mode == 0) {
        fits.push_back({"CalculateFBBIB",
                        {kFlyF},
                        [nTF, nVF](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            e.CalculateFBBIB(s.sets[kFlyF].data(), m, nTF, nVF, o, 1);
                        },
                        {}});
    } else if (c.mode == 1) {
        fits.push_back({"CalculateFCKIB",
                        {kFlyF2},
                        [nTF, nVF](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            e.CalculateFCKIB(s.sets[kFlyF2].data(), m, nTF, nVF, o, 1);
                        },
                        {}});
    }
    fits.push_back({"CalculateFFCaxy123",
                    {kF},
                    [nT, nV](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.CalculateFFCaxy123(s.sets[kF].data(), nT, nV, s.ibPairs.data(), m, o, 1,
                                             1);
                    },
                    {}});
    fits.push_back({"Calculate_d2",
                    {kOut1, kD2},
                    [nO1, nD](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.Calculate_d2(s.sets[kOut1].data(), nO1, s.sets[kD2].data(), nD, m, o, 1);
                    },
                    {}});
    if (c.mode == 2) {
        fits.push_back({"Calculate_bEl",
                        {kAvg4, kCopyF},
                        [nV, nT](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            e.Calculate_bEl(s.sets[kAvg4].data(), s.sets[kCopyF].data(), nV, nT, m,
                                            o, 1);
                        },
                        {}});
    } else {
        fits.push_back({"Calculate_cm",
                        {kOut2, kExtra},
                        [nO2, nE](E& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            e.Calculate_cm(s.sets[kOut2].data(), nO2, s.sets[kExtra].data(), nE, m,
                                           o, 1);
                        },
                        {}});
    }
    return snapshot;
}

}  // namespace compensation::detail
