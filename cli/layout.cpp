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
    for (std::size_t row = first; row < first + static_cast<std::size_t>(count); ++row) {
        if (row >= set.vectors.size()) {
            throw InputError(set.path, set.lines.back(), "type",
                             "the file ends inside " + where + ": expected " + TypeName(type) +
                                 " after this row");
        }
        if (set.vectors[row].Type != type) {
            throw InputError(set.path, set.lines[row], "type",
                             "expected " + std::string(TypeName(type)) + " in " + where +
                                 ", found " + TypeName(set.vectors[row].Type));
        }
    }
}

}  // namespace

ViewLayout CheckMainLayout(const MeasurementSet& set) {
    const std::vector<CVector>& measurements = set.vectors;
    if (measurements.front().Type != kReferenceView) {
        throw InputError(set.path, set.lines.front(), "type",
                         "no reference view: the measurements must open with a type 14 row");
    }
    ViewLayout layout;
    while (1 + static_cast<std::size_t>(layout.targetsPerView) < measurements.size() &&
           measurements[1 + static_cast<std::size_t>(layout.targetsPerView)].Type == kFrontSight) {
        ++layout.targetsPerView;
    }
    if (layout.targetsPerView == 0) {
        throw InputError(set.path, set.lines.size() > 1 ? set.lines[1] : set.lines.front(), "type",
                         "the first view holds no front sight (type 100) after its reference "
                         "view");
    }
    const std::size_t viewSize = 1 + 2 * static_cast<std::size_t>(layout.targetsPerView);
    for (std::size_t first = 0; first < measurements.size(); first += viewSize) {
        const std::string view = "view " + std::to_string(layout.viewCount + 1) + " (" +
                                 std::to_string(layout.targetsPerView) + " targets per view)";
        ExpectRun(set, first, 1, kReferenceView, view);
        ExpectRun(set, first + 1, layout.targetsPerView, kFrontSight, view);
        ExpectRun(set, first + 1 + static_cast<std::size_t>(layout.targetsPerView),
                  layout.targetsPerView, kBackSight, view);
        ++layout.viewCount;
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
    for (std::size_t row = 0; row < set.vectors.size(); ++row) {
        if (set.vectors[row].Type == kReferenceView) {
            throw InputError(set.path, set.lines[row], "type",
                             "an outside set holds front or back sights (100 or 200), not "
                             "reference views");
        }
    }
    // The library refuses such a set too (-3): its fit would have no outside distance.
    constexpr double kLiveQuality = 50.0;
    bool live = false;
    for (std::size_t row = 0; row + 1 < set.vectors.size() && !live; row += 2) {
        live =
            set.vectors[row].Quality > kLiveQuality && set.vectors[row + 1].Quality > kLiveQuality;
    }
    if (!live && !set.vectors.empty()) {
        throw InputError(set.path, 0, "quality",
                         "no usable measurement in the outside set: no pair whose two "
                         "measurements both have quality above 50");
    }
}

int CheckFlyingSet(const MeasurementSet& set, int flyingTargets) {
    if (flyingTargets < 1) {
        throw UsageError("the number of flying targets per view must be at least 1");
    }
    const std::size_t viewSize = 2 * static_cast<std::size_t>(flyingTargets);
    if (set.vectors.size() % viewSize != 0) {
        throw InputError(set.path, set.lines.back(), "",
                         std::to_string(set.vectors.size()) +
                             " flying measurements do not make whole views of " +
                             std::to_string(flyingTargets) + " front and " +
                             std::to_string(flyingTargets) + " back sights");
    }
    int flyingViews = 0;
    for (std::size_t first = 0; first < set.vectors.size(); first += viewSize) {
        const std::string view = "flying view " + std::to_string(++flyingViews);
        ExpectRun(set, first, flyingTargets, kFrontSight, view);
        ExpectRun(set, first + static_cast<std::size_t>(flyingTargets), flyingTargets, kBackSight,
                  view);
    }
    return flyingViews;
}

void CheckPairPositions(const char* name, const PairPositions& pair, const ViewLayout& layout,
                        const std::string& mainFile) {
    for (const int position : {pair.first, pair.second}) {
        if (position < 1 || position > layout.targetsPerView) {
            throw UsageError(pair.source + ": " + name + " pair position " +
                             std::to_string(position) + " is outside a view of " +
                             std::to_string(layout.targetsPerView) + " targets in " + mainFile +
                             " (positions run from 1 to " + std::to_string(layout.targetsPerView) +
                             ")");
        }
    }
    if (pair.first == pair.second) {
        throw UsageError(pair.source + ": the " + std::string(name) + " pair names target " +
                         std::to_string(pair.first) + " twice; it needs two different targets");
    }
}

}  // namespace compensation::cli
