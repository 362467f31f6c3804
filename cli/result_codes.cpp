#include "result_codes.h"

#include <algorithm>
#include <cstdio>

#include "engine/constants.h"

namespace compensation::cli {

namespace {

using compensation::ResultSource;

// The header restates this code for the Python module, which does not see the library's
// internals.
static_assert(kNoLiveOutsidePair == compensation::kNoLiveOutsidePair);
namespace two_face = compensation::detail::two_face;

// The table's meaning of `code` from `source`, with the limits it cites.
std::string Meaning(ResultSource source, int code) {
    const ResultCode* row = FindResultCode(source, code);
    if (row == nullptr) {
        return {};
    }
    char text[256];
    std::snprintf(text, sizeof text, row->meaning, row->cited[0], row->cited[1], row->cited[2]);
    return text;
}

CodeReason Reason(ResultSource source, int code) {
    return {code, Meaning(source, code)};
}

// --- The fits' codes on a fitting call, as the joint loops add them ----------------------

CodeSource QuickTwoFace() {
    return {"quick two-face fit",
            {Reason(ResultSource::kQuickTwoFace, two_face::kNotConverged),
             Reason(ResultSource::kQuickTwoFace, two_face::kTooFewQuick)}};
}
CodeSource FullTwoFace() {
    return {"full two-face fit",
            {Reason(ResultSource::kFullTwoFace, two_face::kNotConverged),
             Reason(ResultSource::kFullTwoFace, two_face::kTooFewFull)}};
}
CodeSource FbbTwoFace() {
    return {"FBB two-face fit (flying views)",
            {Reason(ResultSource::kFbbTwoFace, two_face::kNotConverged),
             Reason(ResultSource::kFbbTwoFace, two_face::kTooFewQuick)}};
}
CodeSource Interball(const char* name) {
    return {name, {Reason(ResultSource::kInterball, kInterballNotConverged)}};
}
CodeSource X0Y0() {
    return {
        "X0/Y0 fit",
        {Reason(ResultSource::kX0Y0, kX0Y0TooFew), Reason(ResultSource::kX0Y0, kX0Y0NotConverged)}};
}
CodeSource D2() {
    return {"D2 fit (outside set)",
            {Reason(ResultSource::kD2, kOutsidePairTooFew),
             Reason(ResultSource::kD2, kOutsidePairNotConverged)}};
}
CodeSource KMinus() {
    return {"K_minus fit (second outside set)",
            {Reason(ResultSource::kKMinus, kOutsidePairTooFew),
             Reason(ResultSource::kKMinus, kOutsidePairNotConverged)}};
}
CodeSource ElElC() {
    return {"El_ElC fit", {Reason(ResultSource::kElElC, kElElCNotConverged)}};
}
CodeSource FlyingInterball(int mode) {
    return {mode == 0 ? "FBB interball fit (flying views)" : "check interball fit (flying views)",
            {Reason(ResultSource::kFlyingInterball, kPolynomialNotConverged)}};
}

// --- Coverage -----------------------------------------------------------------------------

std::string SectorReason(int sector, int sectors) {
    const double width = kFullTurnDeg / sectors;
    char text[160];
    std::snprintf(text, sizeof text,
                  "no usable reference view in azimuth sector %d of %d (%g to %g degrees, "
                  "widened by %g degrees on each side)",
                  sector, sectors, sector * width - kHalfTurnDeg,
                  (sector + 1) * width - kHalfTurnDeg, kSectorMarginDeg);
    return text;
}

CodeSource Coverage(int firstCode, int sectors) {
    CodeSource source{"azimuth coverage of the reference views", {}};
    for (int sector = 0; sector < sectors; ++sector) {
        source.codes.push_back({firstCode + sector, SectorReason(sector, sectors)});
    }
    return source;
}

CodeSource FlyingAcceptance() {
    CodeSource source{"flying view acceptance", {}};
    for (int code : {kTooFewViews, kNoLowView, kNoHighView, kElevationGap, kNoInlineView}) {
        source.codes.push_back(Reason(ResultSource::kFlyingAcceptance, code));
    }
    return source;
}

// The pair classification wants more live pairs than the least count, and a view gives at
// most one pair. Below 9 views the least count is the number of views itself, so no such set
// can pass however good its views are.
std::string TooFewPairs(const std::string& which, int viewCount) {
    std::string text = "too few usable " + which + " pairs (not more than the minimum count)";
    if (viewCount <= 0) {
        return text +
               "; with fewer than 9 views the minimum count is the number of views and each view "
               "gives at most one pair, so such a set can never pass (--views N gives the "
               "numbers)";
    }
    const int least = viewCount - 3 < 6 ? viewCount : viewCount - 3;
    text += ": " + std::to_string(viewCount) + " views give at most " + std::to_string(viewCount) +
            " pairs and more than " + std::to_string(least) + " are needed";
    if (viewCount < 9) {
        text +=
            " (with fewer than 9 views the minimum count is the number of views, so this "
            "set can never pass: it needs at least 9 views)";
    }
    return text;
}

CodeSource PairClassification(const std::string& which, int code, int viewCount) {
    return {which + " pairs", {{code, TooFewPairs(which, viewCount)}}};
}

// The full procedures raise the classifications' codes to their own.
constexpr int kD2PairsCode = kTooFewTargetPairs + detail::kD2PairsRaise;

CodeSource InterballPairs() {
    return {"interball pairs",
            {{kTooFewInterballPairs + detail::kIBPairsRaise,
              Meaning(ResultSource::kPairClassification, kTooFewInterballPairs)}}};
}

}  // namespace

const char* ProcedureName(Procedure procedure) {
    switch (procedure) {
        case Procedure::kQuick:
            return "quick";
        case Procedure::kFull:
            return "full";
        default:
            return "fullfull";
    }
}

std::vector<Stage> StagesOf(Procedure procedure, int mode, int viewCount) {
    const int quickSectors = viewCount;
    if (procedure == Procedure::kQuick) {
        return {
            {"coverage check", false, {Coverage(detail::kQuickCoverageCode, quickSectors)}},
            {"joint loop of the two-face and interball fits (iteration budget used up)",
             true,
             {QuickTwoFace(), Interball("quick interball fit (Ax, Ay)")}},
        };
    }
    if (procedure == Procedure::kFull) {
        const CodeSource interball = Interball("full interball fit");
        return {
            {"coverage check", false, {Coverage(detail::kFullCoverageCode, detail::kFullSectors)}},
            {"pair classification",
             false,
             {PairClassification("x0y0", kTooFewTargetPairs, viewCount), InterballPairs(),
              PairClassification("d2", kD2PairsCode, viewCount)}},
            {"first joint loop of the X0/Y0, interball and D2 fits",
             true,
             {X0Y0(), interball, D2()}},
            {"final joint loop of all fits (budget used up; nothing written back)",
             true,
             {FullTwoFace(), X0Y0(), interball, D2()}},
        };
    }
    const bool flying = mode != 2;
    const CodeSource interball = Interball("full interball fit");
    const CodeSource last = flying ? KMinus() : ElElC();
    std::vector<CodeSource> coverage;
    if (flying) {
        coverage.push_back(FlyingAcceptance());
    }
    coverage.push_back(Coverage(detail::kFullCoverageCode, detail::kFullSectors));
    std::vector<CodeSource> first = {X0Y0()};
    if (flying) {
        first.push_back(FlyingInterball(mode));
    }
    first.insert(first.end(), {interball, D2(), last});
    std::vector<CodeSource> final;
    if (flying) {
        final.push_back(FbbTwoFace());
    }
    final.push_back(FullTwoFace());
    final.insert(final.end(), first.begin(), first.end());
    return {
        {"coverage checks", true, coverage},
        {"pair classification",
         false,
         {PairClassification("x0y0", kTooFewTargetPairs, viewCount), InterballPairs(),
          PairClassification("d2", kD2PairsCode, viewCount),
          PairClassification("extra", kTooFewTargetPairs + detail::kExtraPairsRaise, viewCount)}},
        {"first joint loop of the single-term and interball fits", true, first},
        {"final joint loop of all fits (budget used up; nothing written back)", true, final},
    };
}

std::string NoLiveOutsidePairReason(Procedure procedure, int mode) {
    const std::string sets = procedure == Procedure::kFull ? "the outside set" : "an outside set";
    const std::string fits = procedure == Procedure::kFull ? "the D2 fit"
                             : mode == 2                   ? "the D2 or El_ElC fit"
                                                           : "the D2 or K_minus fit";
    return "no usable measurement in " + sets + ": " +
           Meaning(ResultSource::kEveryOperation, kNoLiveOutsidePair) + ", so " + fits +
           " could not estimate its element; nothing was written (" +
           std::to_string(kNoLiveOutsidePair) + ")";
}

namespace {

// The meaning of a code followed by the code.
std::string Numbered(ResultSource source, int code) {
    return Meaning(source, code) + " (" + std::to_string(code) + ")";
}

// Where a run's stage lies among StagesOf: the stage's place, and for a pair classification the
// place of the failing set among its sources.
struct StagePlace {
    std::size_t stage;
    std::optional<std::size_t> source;
};

std::optional<StagePlace> PlaceOf(compensation::Stage runStage) {
    using compensation::Stage;
    switch (runStage) {
        case Stage::kCoverageGap:
        case Stage::kFlyingViewsRefused:
            return StagePlace{0, {}};
        case Stage::kJointLoopUnsettled:
            return StagePlace{1, {}};
        case Stage::kTooFewX0Y0Pairs:
            return StagePlace{1, 0};
        case Stage::kTooFewInterballPairs:
            return StagePlace{1, 1};
        case Stage::kTooFewD2Pairs:
            return StagePlace{1, 2};
        case Stage::kTooFewExtraPairs:
            return StagePlace{1, 3};
        case Stage::kFirstLoopUnsettled:
        case Stage::kElElCGeometry:
            return StagePlace{2, {}};
        case Stage::kFinalLoopUnsettled:
            return StagePlace{3, {}};
        default:
            return std::nullopt;
    }
}

// The explanations that lie where the run stopped; all of them when none does.
std::vector<Explanation> AtRunStage(std::vector<Explanation> all, const std::vector<Stage>& stages,
                                    compensation::Stage runStage) {
    const std::optional<StagePlace> place = PlaceOf(runStage);
    if (!place || place->stage >= stages.size()) {
        return all;
    }
    const Stage& stage = stages[place->stage];
    std::string source;
    if (place->source && *place->source < stage.sources.size()) {
        source = stage.sources[*place->source].name + ": ";
    }
    std::vector<Explanation> kept;
    for (Explanation& explanation : all) {
        if (explanation.stage == stage.name &&
            (source.empty() || explanation.parts.front().rfind(source, 0) == 0)) {
            kept.push_back(std::move(explanation));
        }
    }
    return kept.empty() ? all : kept;
}

// Every choice of at most one code per source whose sum is `code`, at least one code chosen.
void Decompose(const Stage& stage, std::size_t next, int remaining, bool any,
               std::vector<std::string>& parts, std::vector<Explanation>& out) {
    if (next == stage.sources.size()) {
        if (remaining == 0 && any) {
            out.push_back({stage.name, parts});
        }
        return;
    }
    Decompose(stage, next + 1, remaining, any, parts, out);
    for (const CodeReason& reason : stage.sources[next].codes) {
        parts.push_back(stage.sources[next].name + ": " + reason.reason + " (" +
                        std::to_string(reason.code) + ")");
        Decompose(stage, next + 1, remaining - reason.code, true, parts, out);
        parts.pop_back();
    }
}

}  // namespace

std::vector<Explanation> ExplainResult(int code, Procedure procedure, int mode, int quickSectors,
                                       std::optional<compensation::Stage> runStage) {
    std::vector<Explanation> out;
    if (code == 0) {
        return out;
    }
    if (code == kInvalidInput) {
        out.push_back({"input check", {Numbered(ResultSource::kEveryOperation, code)}});
        return out;
    }
    if (code == kNoLiveOutsidePair && procedure != Procedure::kQuick) {
        out.push_back({"outside sets", {NoLiveOutsidePairReason(procedure, mode)}});
        return out;
    }
    if (code == kOutOfMemory) {
        out.push_back({"working arrays", {Numbered(ResultSource::kEveryOperation, code)}});
        return out;
    }
    const std::vector<Stage> stages = StagesOf(procedure, mode, quickSectors);
    for (const Stage& stage : stages) {
        if (stage.sums) {
            std::vector<std::string> parts;
            Decompose(stage, 0, code, false, parts, out);
            continue;
        }
        for (const CodeSource& source : stage.sources) {
            for (const CodeReason& reason : source.codes) {
                if (reason.code == code) {
                    out.push_back({stage.name, {source.name + ": " + reason.reason}});
                }
            }
        }
    }
    // The simplest explanations first: a single fit that did not settle is the likelier story
    // than four fits whose codes happen to add up to the same sum.
    std::stable_sort(out.begin(), out.end(), [](const Explanation& left, const Explanation& right) {
        return left.parts.size() < right.parts.size();
    });
    if (procedure == Procedure::kQuick && quickSectors == 0 && code >= detail::kQuickCoverageCode) {
        out.push_back({"coverage check",
                       {"no usable reference view in azimuth sector " +
                        std::to_string(code - detail::kQuickCoverageCode) +
                        " (the quick procedure cuts the circle into as many sectors as views)"}});
    }
    return runStage ? AtRunStage(std::move(out), stages, *runStage) : out;
}

std::string DescribeResult(int code, Procedure procedure, int mode, int quickSectors,
                           std::optional<compensation::Stage> runStage) {
    if (code == 0) {
        return "settled";
    }
    const std::vector<Explanation> all =
        ExplainResult(code, procedure, mode, quickSectors, runStage);
    if (all.empty()) {
        return "no combination of this procedure's codes gives " + std::to_string(code);
    }
    std::string text = all.front().stage + ": ";
    for (std::size_t part = 0; part < all.front().parts.size(); ++part) {
        text += (part > 0 ? " + " : "") + all.front().parts[part];
    }
    if (all.size() > 1) {
        text += " (or " + std::to_string(all.size() - 1) + " other combination" +
                (all.size() > 2 ? "s" : "") + " of codes: compensate explain " +
                std::to_string(code) + " -p " + ProcedureName(procedure) +
                (procedure == Procedure::kFullFull ? " --mode " + std::to_string(mode) : "") +
                (procedure == Procedure::kQuick || quickSectors > 0
                     ? " --views " + std::to_string(quickSectors)
                     : "") +
                (runStage ? " --stage " + std::string(compensation::StageName(*runStage)) : "") +
                ")";
    }
    return text;
}

std::optional<compensation::Stage> StageNamed(const std::string& name) {
    for (int k = 0; k <= static_cast<int>(compensation::Stage::kSettled); ++k) {
        const auto stage = static_cast<compensation::Stage>(k);
        if (compensation::StageName(stage) == name) {
            return stage;
        }
    }
    return std::nullopt;
}

}  // namespace compensation::cli
