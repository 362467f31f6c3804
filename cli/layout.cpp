#include "layout.h"

#include "input_error.h"

namespace compensation::cli {

namespace {

constexpr int kReferenceView = 14;
constexpr int kFrontSight = 100;
constexpr int kBackSight = 200;

const char* TypeName(int type) {
    switch (type) {
        case kReferenceView:
            return "a reference view (14)";
        case kFrontSight:
            return "a front sight (100)";
        default:
            return "a back sight (200)";
    }
}

// Requires rows [first, first + count) to be of one type.
void ExpectRun(const MeasurementSet& set, std::size_t first, int count, int type,
               const std::string& where) {
    for (std::size_t i = first; i < first + static_cast<std::size_t>(count); ++i) {
        if (i >= set.vectors.size()) {
            throw InputError(set.path, set.lines.back(), "type",
                             "the file ends inside " + where + ": expected " + TypeName(type) +
                                 " after this row");
        }
        if (set.vectors[i].Type != type) {
            throw InputError(set.path, set.lines[i], "type",
                             "expected " + std::string(TypeName(type)) + " in " + where +
                                 ", found " + TypeName(set.vectors[i].Type));
        }
    }
}

}  // namespace

ViewLayout CheckMainLayout(const MeasurementSet& set) {
    const std::vector<CVector>& v = set.vectors;
    if (v.front().Type != kReferenceView) {
        throw InputError(set.path, set.lines.front(), "type",
                         "no reference view: the measurements must open with a type 14 row");
    }
    ViewLayout layout;
    while (1 + static_cast<std::size_t>(layout.nTargets) < v.size() &&
           v[1 + static_cast<std::size_t>(layout.nTargets)].Type == kFrontSight) {
        ++layout.nTargets;
    }
    if (layout.nTargets == 0) {
        throw InputError(set.path, set.lines.size() > 1 ? set.lines[1] : set.lines.front(), "type",
                         "the first view holds no front sight (type 100) after its reference "
                         "view");
    }
    const std::size_t viewSize = 1 + 2 * static_cast<std::size_t>(layout.nTargets);
    for (std::size_t first = 0; first < v.size(); first += viewSize) {
        const std::string view = "view " + std::to_string(layout.nViews + 1) + " (" +
                                 std::to_string(layout.nTargets) + " targets per view)";
        ExpectRun(set, first, 1, kReferenceView, view);
        ExpectRun(set, first + 1, layout.nTargets, kFrontSight, view);
        ExpectRun(set, first + 1 + static_cast<std::size_t>(layout.nTargets), layout.nTargets,
                  kBackSight, view);
        ++layout.nViews;
    }
    return layout;
}

void CheckOutsideSet(const MeasurementSet& set) {
    if (set.vectors.size() % 2 != 0) {
        throw InputError(set.path, set.lines.back(), "",
                         "odd number of outside measurements (" +
                             std::to_string(set.vectors.size()) +
                             "): each view measures the same two targets");
    }
    for (std::size_t i = 0; i < set.vectors.size(); ++i) {
        if (set.vectors[i].Type == kReferenceView) {
            throw InputError(set.path, set.lines[i], "type",
                             "an outside set holds front or back sights (100 or 200), not "
                             "reference views");
        }
    }
    // The library refuses such a set too (-3): its fit would have no outside distance.
    constexpr double kLiveQuality = 50.0;
    bool live = false;
    for (std::size_t i = 0; i + 1 < set.vectors.size() && !live; i += 2) {
        live = set.vectors[i].Quality > kLiveQuality && set.vectors[i + 1].Quality > kLiveQuality;
    }
    if (!live && !set.vectors.empty()) {
        throw InputError(set.path, 0, "quality",
                         "no usable measurement in the outside set: no pair whose two "
                         "measurements both have quality above 50");
    }
}

int CheckFlyingSet(const MeasurementSet& set, int nTargetsFly) {
    if (nTargetsFly < 1) {
        throw UsageError("the number of flying targets per view must be at least 1");
    }
    const std::size_t viewSize = 2 * static_cast<std::size_t>(nTargetsFly);
    if (set.vectors.size() % viewSize != 0) {
        throw InputError(set.path, set.lines.back(), "",
                         std::to_string(set.vectors.size()) +
                             " flying measurements do not make whole views of " +
                             std::to_string(nTargetsFly) + " front and " +
                             std::to_string(nTargetsFly) + " back sights");
    }
    int nViews = 0;
    for (std::size_t first = 0; first < set.vectors.size(); first += viewSize) {
        const std::string view = "flying view " + std::to_string(++nViews);
        ExpectRun(set, first, nTargetsFly, kFrontSight, view);
        ExpectRun(set, first + static_cast<std::size_t>(nTargetsFly), nTargetsFly, kBackSight,
                  view);
    }
    return nViews;
}

void CheckPairPositions(const char* name, const PairPositions& pair, const ViewLayout& layout,
                        const std::string& mainFile) {
    for (const int n : {pair.n1, pair.n2}) {
        if (n < 1 || n > layout.nTargets) {
            throw UsageError(pair.source + ": " + name + " pair position " + std::to_string(n) +
                             " is outside a view of " + std::to_string(layout.nTargets) +
                             " targets in " + mainFile + " (positions run from 1 to " +
                             std::to_string(layout.nTargets) + ")");
        }
    }
    if (pair.n1 == pair.n2) {
        throw UsageError(pair.source + ": the " + std::string(name) + " pair names target " +
                         std::to_string(pair.n1) + " twice; it needs two different targets");
    }
}

}  // namespace compensation::cli
