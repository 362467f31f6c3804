#include "report/procedure_snapshots.h"

#include <algorithm>

#include "engine/constants.h"
#include "fits/bel_geometry.h"
#include "fits/elevation_polynomial.h"
#include "fits/interball_fit.h"
#include "fits/pair_fit.h"
#include "fits/two_face_fit.h"
#include "model/mapper_elements.h"
#include "selection/selection.h"

namespace compensation::detail {

namespace {

// The elements of the quick fits, in the order of their tables.
const std::vector<double TMapper::*> kQuickTwoFaceElements = {
    &TMapper::D1, &TMapper::A1,      &TMapper::A3,      &TMapper::Az_AzS, &TMapper::Az_AzC,
    &TMapper::A2, &TMapper::El_2AzS, &TMapper::El_2AzC, &TMapper::El_ElS};
const std::vector<double TMapper::*> kQuickInterballElements = {&TMapper::Ax, &TMapper::Ay};

using Engine = CCompensation;

// The interball fit's rows over the set `set`, with its member's table.
FitLinearisation InterballRows(int set, ViewLayout layout, InterballTable table) {
    return [set, layout, table](const Snapshot& s, const TMapper& model,
                                const std::vector<double TMapper::*>& inputs) {
        return InterballFitRows(s, set, layout.targets, layout.views, table, model, inputs);
    };
}

std::vector<CVector> Copy(const std::vector<CVector>& vectors) {
    return vectors;
}

std::vector<CVector> Copy(HostArray array) {
    return {array.vectors, array.vectors + array.count};
}

// An outside set as the run averaged it, the views the averaging dropped taking no part.
std::vector<CVector> AsAveraged(const std::vector<CVector>& outside) {
    std::vector<CVector> used = outside;
    for (CVector& reading : used) {
        if (reading.Quality == kOutsideDroppedQuality) {
            reading.Quality = kRejectedQuality;
        }
    }
    return used;
}

// The mean of each outside target over its live views (a copy: averaging also writes the
// readings' points).
void Average(Engine& engine, const std::vector<CVector>& outside, CVector* averages) {
    std::vector<CVector> readings = outside;
    double spreads[kOutsideTargetsPerView];
    const int views = static_cast<int>(readings.size()) / kOutsideTargetsPerView;
    if (views > 0) {
        engine.AverageVectorArray(averages, readings.data(), kOutsideTargetsPerView, views,
                                  spreads);
    }
}

// A fit's elements in the model's order, as probing a fit finds them.
std::vector<double TMapper::*> InModelOrder(std::vector<double TMapper::*> elements) {
    const auto index = [](double TMapper::*element) {
        return std::find_if(kMapperElements.begin(), kMapperElements.end(),
                            [element](const MapperElement& e) { return e.member == element; }) -
               kMapperElements.begin();
    };
    std::sort(elements.begin(), elements.end(),
              [&index](double TMapper::*a, double TMapper::*b) { return index(a) < index(b); });
    return elements;
}

// The elements an interball fit writes: its table's, in the model's order.
std::vector<double TMapper::*> InterballElements(InterballTable table) {
    std::vector<double TMapper::*> elements;
    for (const InterballElement& row : table) {
        elements.push_back(row.element);
    }
    return InModelOrder(elements);
}

// The rows of a two-face fit over the snapshot's sets `fronts` and `backs`.
FitLinearisation TwoFaceRowsOf(const two_face::TwoFaceFit& fit, int fronts, int backs,
                               int pairCount) {
    return [&fit, fronts, backs, pairCount](const Snapshot& s, const TMapper& model,
                                            const std::vector<double TMapper::*>& inputs) {
        return two_face::TwoFaceRows(fit, s, fronts, backs, pairCount, model, inputs);
    };
}

std::shared_ptr<Snapshot> NewSnapshot(std::vector<std::vector<CVector>> sets,
                                      const std::vector<int>& interballTable,
                                      const TCompOut& record) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->sets = std::move(sets);
    snapshot->ibPairs = interballTable;
    snapshot->out = record;
    return snapshot;
}

}  // namespace

std::shared_ptr<Snapshot> QuickSnapshot(const TwoFacePairs& pairs,
                                        const std::vector<int>& interballTable, ViewLayout layout,
                                        const TCompOut& record) {
    enum { kFronts, kBacks };
    auto snapshot = NewSnapshot({pairs.fronts, pairs.backs}, interballTable, record);
    const int count = pairs.count;
    snapshot->fits = {
        {"CalculateQCFSBSa",
         {kFronts, kBacks},
         [count](Engine& e, Snapshot& s, TMapper* map, TCompOut* out) {
             e.CalculateQCFSBSa(s.sets[kFronts].data(), s.sets[kBacks].data(), map, count, out, 1);
         },
         kQuickTwoFaceElements,
         TwoFaceRowsOf(two_face::QuickFit(), kFronts, kBacks, count)},
        {"CalculateQC_axy",
         {kFronts},
         [layout](Engine& e, Snapshot& s, TMapper* map, TCompOut* out) {
             e.CalculateQC_axy(s.sets[kFronts].data(), layout.targets, layout.views,
                               s.ibPairs.data(), map, out, 1);
         },
         kQuickInterballElements,
         InterballRows(kFronts, layout, QuickInterballTable())},
    };
    return snapshot;
}

std::shared_ptr<Snapshot> FullSnapshot(const FullWorkingSets& sets, HostArray outside,
                                       ViewLayout layout, const TCompOut& record) {
    enum { kFronts, kBacks, kX0Y0, kD2, kOutside };
    auto snapshot =
        NewSnapshot({Copy(sets.twoFace.fronts), Copy(sets.twoFace.backs), Copy(sets.x0y0.pairs),
                     Copy(sets.outsidePairs[0].pairs), Copy(outside)},
                    sets.interballTable, record);
    const int pairCount = sets.twoFace.count;
    const int x0y0Count = sets.x0y0.count;
    const int d2Count = sets.outsidePairs[0].count;
    const int outsideCount = outside.count;
    snapshot->fits = {
        {"CalculateFFCFSBS",
         {kFronts, kBacks},
         [pairCount](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.CalculateFFCFSBS(s.sets[kFronts].data(), s.sets[kBacks].data(), m, pairCount, o, 1,
                                0);
         },
         InModelOrder(two_face::TwoFaceOutputs(two_face::FullFit(false))),
         TwoFaceRowsOf(two_face::FullFit(false), kFronts, kBacks, pairCount)},
        {"Calculate_x0y0",
         {kX0Y0},
         [x0y0Count](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.Calculate_x0y0(s.sets[kX0Y0].data(), x0y0Count, m, o, 1);
         },
         {},
         X0Y0Rows(kX0Y0, x0y0Count)},
        {"CalculateFFCaxy123",
         {kFronts},
         [layout](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.CalculateFFCaxy123(s.sets[kFronts].data(), layout.targets, layout.views,
                                  s.ibPairs.data(), m, o, 1, 0);
         },
         InterballElements(FullInterballTable(0)),
         InterballRows(kFronts, layout, FullInterballTable(0))},
        {"Calculate_d2",
         {kOutside, kD2},
         [outsideCount, d2Count](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
             e.Calculate_d2(s.sets[kOutside].data(), outsideCount, s.sets[kD2].data(), d2Count, m,
                            o, 1);
         },
         {},
         D2Rows(kOutside, outsideCount, kD2, d2Count)},
    };
    return snapshot;
}

std::shared_ptr<Snapshot> FullFullSnapshot(const FullFullSets& in, const TCompOut& record) {
    enum {
        kFronts,
        kBacks,
        kFlyingFronts,
        kFlyingBacks,
        kFirstFlyingFronts,
        kX0Y0,
        kD2,
        kExtra,
        kOutside1,
        kOutside2,
        kAveraged1,
        kAveraged2,
        kFirstFronts
    };
    const FullWorkingSets& sets = in.sets;
    auto snapshot = NewSnapshot(
        {Copy(sets.twoFace.fronts), Copy(sets.twoFace.backs), Copy(in.flyingPairs.fronts),
         Copy(in.flyingPairs.backs), Copy(in.firstPassFlyingFronts), Copy(sets.x0y0.pairs),
         Copy(sets.outsidePairs[0].pairs), Copy(sets.outsidePairs[1].pairs), Copy(in.outside1),
         Copy(in.outside2), AsAveraged(in.outside1AsAveraged), AsAveraged(in.outside2AsAveraged),
         Copy(in.firstPassFronts)},
        sets.interballTable, record);
    const int pairCount = sets.twoFace.count;
    const int flyingCount = in.flyingPairs.count;
    const int x0y0Count = sets.x0y0.count;
    const int d2Count = sets.outsidePairs[0].count;
    const int extraCount = sets.outsidePairs[1].count;
    const int outside1Count = in.outside1.count;
    const int outside2Count = in.outside2.count;
    const ViewLayout layout = in.layout;
    const int flyingTargets = in.flyingTargets;
    const int flyingViews = in.flyingViews;
    constexpr int kNoFlying = 2;
    constexpr int kFlyingFBB = 0;
    std::vector<SnapshotFitSpec>& fits = snapshot->fits;
    if (in.mode != kNoFlying) {
        fits.push_back(
            {"CalculateFBBFSBS",
             {kFlyingFronts, kFlyingBacks},
             [flyingCount](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                 e.CalculateFBBFSBS(s.sets[kFlyingFronts].data(), s.sets[kFlyingBacks].data(), m,
                                    flyingCount, o, 1);
             },
             InModelOrder(two_face::TwoFaceOutputs(two_face::FbbFit())),
             TwoFaceRowsOf(two_face::FbbFit(), kFlyingFronts, kFlyingBacks, flyingCount)});
    }
    const bool harmonics = in.azimuthHarmonicPhase;
    const two_face::TwoFaceFit& mainFit =
        harmonics ? two_face::FullFit(true) : two_face::SixHarmonicFit();
    fits.push_back({harmonics ? "CalculateFFCFSBS" : "CalculateFFCFSBS6",
                    {kFronts, kBacks},
                    [pairCount, harmonics](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        if (harmonics) {
                            e.CalculateFFCFSBS(s.sets[kFronts].data(), s.sets[kBacks].data(), m,
                                               pairCount, o, 1, 1);
                        } else {
                            e.CalculateFFCFSBS6(s.sets[kFronts].data(), s.sets[kBacks].data(), m,
                                                pairCount, o, 1);
                        }
                    },
                    InModelOrder(two_face::TwoFaceOutputs(mainFit)),
                    TwoFaceRowsOf(mainFit, kFronts, kBacks, pairCount)});
    fits.push_back({"Calculate_x0y0",
                    {kX0Y0},
                    [x0y0Count](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.Calculate_x0y0(s.sets[kX0Y0].data(), x0y0Count, m, o, 1);
                    },
                    {},
                    X0Y0Rows(kX0Y0, x0y0Count)});
    if (in.mode == kFlyingFBB) {
        fits.push_back(
            {"CalculateFBBIB",
             {kFlyingFronts},
             [flyingTargets, flyingViews](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                 e.CalculateFBBIB(s.sets[kFlyingFronts].data(), m, flyingTargets, flyingViews, o,
                                  1);
             },
             {},
             [flyingTargets, flyingViews](const Snapshot& s, const TMapper& model,
                                          const std::vector<double TMapper::*>& inputs) {
                 return ElevationPolynomialRows(
                     s, {kFlyingFronts, flyingTargets, flyingViews, PairDistance::kCentred, 0},
                     model, inputs);
             }});
    } else if (in.mode != kNoFlying) {
        fits.push_back(
            {"CalculateFCKIB",
             {kFirstFlyingFronts},
             [flyingTargets, flyingViews](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                 e.CalculateFCKIB(s.sets[kFirstFlyingFronts].data(), m, flyingTargets, flyingViews,
                                  o, 1);
             },
             {},
             [flyingTargets, flyingViews](const Snapshot& s, const TMapper& model,
                                          const std::vector<double TMapper::*>& inputs) {
                 return ElevationPolynomialRows(s,
                                                {kFirstFlyingFronts, flyingTargets, flyingViews,
                                                 PairDistance::kInlineView, s.out.m_nInlineView},
                                                model, inputs);
             }});
    }
    fits.push_back({"CalculateFFCaxy123",
                    {kFronts},
                    [layout](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.CalculateFFCaxy123(s.sets[kFronts].data(), layout.targets, layout.views,
                                             s.ibPairs.data(), m, o, 1, 1);
                    },
                    InterballElements(FullInterballTable(1)),
                    InterballRows(kFronts, layout, FullInterballTable(1))});
    fits.push_back({"Calculate_d2",
                    {kOutside1, kD2},
                    [outside1Count, d2Count](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                        e.Calculate_d2(s.sets[kOutside1].data(), outside1Count, s.sets[kD2].data(),
                                       d2Count, m, o, 1);
                    },
                    {},
                    D2Rows(kOutside1, outside1Count, kD2, d2Count)});
    if (in.mode == kNoFlying) {
        // The El_ElC fit reads the means of the outside targets over their views: they are
        // formed again from the outside readings, over the views the run averaged, so that a
        // reading's noise reaches El_ElC through its mean.
        fits.push_back({"Calculate_bEl",
                        {kAveraged1, kAveraged2, kFirstFronts},
                        [layout](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                            std::vector<CVector> averages(2 * kOutsideTargetsPerView);
                            Average(e, s.sets[kAveraged1], averages.data());
                            Average(e, s.sets[kAveraged2],
                                    averages.data() + kOutsideTargetsPerView);
                            e.Calculate_bEl(averages.data(), s.sets[kFirstFronts].data(),
                                            layout.views, layout.targets, m, o, 1);
                        },
                        {},
                        [layout](const Snapshot& s, const TMapper& model,
                                 const std::vector<double TMapper::*>& inputs) {
                            return ElElCRows(s,
                                             {{kAveraged1, kAveraged2},
                                              kOutsideTargetsPerView,
                                              kFirstFronts,
                                              layout.targets,
                                              layout.views},
                                             model, inputs);
                        }});
    } else {
        fits.push_back(
            {"Calculate_cm",
             {kOutside2, kExtra},
             [outside2Count, extraCount](Engine& e, Snapshot& s, TMapper* m, TCompOut* o) {
                 e.Calculate_cm(s.sets[kOutside2].data(), outside2Count, s.sets[kExtra].data(),
                                extraCount, m, o, 1);
             },
             {},
             KMinusRows(kOutside2, outside2Count, kExtra, extraCount)});
    }
    return snapshot;
}

}  // namespace compensation::detail
