#include "compensation/selection_rules.h"

#include <algorithm>

#include "compensation/engine.h"
#include "compensation/tracing.h"
#include "compensation/transform.h"
#include "engine/constants.h"
#include "engine/result_codes.h"
#include "fits/bel_geometry.h"
#include "fits/fit_support.h"
#include "procedures/procedure_steps.h"
#include "selection/selection.h"

namespace compensation {

namespace {

using detail::HostArray;

RuleCheck Rule(const char* name, int code, long long found = -1, long long needed = -1) {
    RuleCheck rule;
    rule.name = name;
    rule.code = code;
    rule.passed = code == 0;
    rule.found = found;
    rule.needed = needed;
    return rule;
}

HostArray Host(std::vector<CVector>& set) {
    return {set.data(), static_cast<int>(set.size())};
}

}  // namespace

std::vector<RuleCheck> CheckSelectionRules(const CCompensation& host, const SelectionInput& input) {
    CCompensation engine(host);
    SetTracing(engine, false);
    SelectionInput in = input;
    const detail::ViewLayout layout = detail::CountViews(in.main.data(), Host(in.main).count);
    std::vector<RuleCheck> rules;
    if (layout.views < 1 || layout.targets < 1) {
        rules.push_back(Rule("views", kInvalidInput, layout.views, 1));
        return rules;
    }
    const bool full = in.procedure != Procedure::kQuick;
    const bool fullFull = in.procedure == Procedure::kFullFull;
    const bool flying = fullFull && in.mode != 2;
    engine.m_nMinCount = detail::MinCountForViews(layout.views);

    if (flying) {
        // The flying views are judged before the main views, as the procedure does.
        detail::SetFaces(in.flying.data(), Host(in.flying).count);
        double gap = 0.0;
        TCompOut record = in.pairs;
        rules.push_back(Rule("flying views",
                             engine.AcceptFlyingAllViews(in.flying.data(), in.flyingTargets,
                                                         Host(in.flying).count, &gap, &record)));
    }

    detail::SetFaces(in.main.data(), Host(in.main).count);
    detail::SetFaces(in.outside1.data(), Host(in.outside1).count);
    detail::SetFaces(in.outside2.data(), Host(in.outside2).count);
    const int coverage =
        full ? engine.AcceptViews(in.main.data(), Host(in.main).count, kTypeReferenceView,
                                  detail::kFullCoverageCode, detail::kFullSectors)
             : engine.AcceptViews(in.main.data(), Host(in.main).count, kTypeReferenceView,
                                  detail::kQuickCoverageCode, layout.views);
    rules.push_back(Rule("sector coverage", coverage));

    detail::TwoFacePairs twoFace(Host(in.main).count);
    twoFace.Classify(engine, Host(in.main), 1);

    std::vector<int> table(detail::PairTableSize(layout.targets));
    const int interball =
        engine.ClassifyIBPairs(twoFace.fronts.data(), table.data(), layout.targets);
    const long long usable = std::count(table.begin(), table.end() - 1, kInterballPairUsed);
    rules.push_back(Rule("interball pairs", interball, usable, kLeastUsableInterballPairs));
    if (!full) {
        return rules;
    }

    // ClassifyPairs passes with more pairs than the least count.
    const long long pairsNeeded = engine.m_nMinCount + 1LL;
    const auto classify = [&](const char* name, detail::TargetPairFields fields) {
        detail::TargetPairSet set(fields, layout.views);
        const int code = set.Classify(engine, Host(in.main), in.pairs, 1);
        rules.push_back(Rule(name, code, set.count, pairsNeeded));
    };
    classify("x0y0 pairs", detail::kX0Y0Pairs);
    classify("d2 pairs", detail::kD2Pairs);
    const int outsideViews = Host(in.outside1).count / kOutsideTargetsPerView;
    int firstLive = 0;
    while (firstLive < outsideViews && !detail::IsLivePair(in.outside1.data(), firstLive)) {
        ++firstLive;
    }
    if (firstLive < outsideViews) {
        // D2 is told from the d2 pair's separation when the outside station sees the two targets
        // nearly along one line of sight and far apart: there the separation is a difference of
        // ranges, which the wide-angle views of the main station do not give. The placement
        // evaluator judges the first live outside view as the instrument frame holds it.
        CVector sights[2] = {in.outside1[2 * firstLive], in.outside1[2 * firstLive + 1]};
        for (CVector& sight : sights) {
            sight.Sphr2Cart();
        }
        TRANSFORM_PARMS instrumentFrame{};
        TCompOut record = in.pairs;
        CTransform transform;
        rules.push_back(Rule("outside pairs in line",
                             transform.EvaluateOutside(sights, &instrumentFrame, 2, &record)));
    }
    if (!fullFull) {
        return rules;
    }
    classify("extra pairs", detail::kExtraPairs);
    if (in.mode == 2) {
        std::vector<CVector> averages(4);
        engine.ClassifyOutside(in.outside1.data(), Host(in.outside1).count, in.outside2.data(),
                               Host(in.outside2).count, averages.data());
        const int qualifying = detail::QualifyingElElCPairs(averages.data(), twoFace.fronts.data(),
                                                            layout.targets, in.pairs);
        rules.push_back(
            Rule("El_ElC pairs", qualifying > 0 ? 0 : kElElCNotConverged, qualifying, 1));
    }
    return rules;
}

}  // namespace compensation
