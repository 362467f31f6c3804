// The measurement plans of the named scenarios.
//
// The main station stands at the world origin (the tracker head 1.6 m above the floor) and is
// turned in equal steps, one view per step. Around it a ring of targets at spread heights and
// distances; the full procedures add dedicated pairs:
// - the x0y0 pair: a near low target and a far high one at almost the same azimuth, whose
//   separation depends on the beam offset as the instrument turns;
// - the d2 pair: two targets on opposite sides of the station, more than 4 m apart, that an
//   outside placement beyond one of them sees nearly in line (so the outside distance does
//   not depend on a range offset while the inside one does);
// - the extra pair: two floor targets that the outside placement sees low and in the
//   direction of the d2 pair, and the station sees at other elevations (the constant
//   elevation offset changes their distance differently from the two places).
// The flying views see four targets from eleven placements whose elevations climb from -48 to
// +48 degrees, and from one placement beyond the farthest pair, nearly in line with it: a
// board for the FBB fits (modes 0 and 2) and a bar for the check fit (mode 1).
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "compensation_sim/simulator.h"

namespace compensation::sim {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi / 180.0;
constexpr double kGoldenFraction = 0.6180339887498949;
// The floor below the tracker head, and the height above it at which the lowest targets stand.
constexpr double kFloor = -1.6;
constexpr double kFloorClearance = 0.1;

constexpr int kBaseRing = 12;
constexpr int kQuickViews = 12;
constexpr int kFullViews = 12;
constexpr int kFullFullViews = 16;
constexpr int kOutsideRepeats = 10;

// A world point at an azimuth and elevation (degrees) and a distance from the origin.
Point Spherical(double azimuthDeg, double elevationDeg, double range) {
    const double az = azimuthDeg * kDegree;
    const double el = elevationDeg * kDegree;
    return {-range * std::cos(el) * std::sin(az), range * std::sin(el),
            range * std::cos(el) * std::cos(az)};
}

Point Add(const Point& a, const Point& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Point Scale(const Point& a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
Point Sub(const Point& a, const Point& b) {
    return Add(a, Scale(b, -1.0));
}
Point Unit(const Point& a) {
    return Scale(a, 1.0 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z));
}

// The world azimuth of a direction.
double Azimuth(const Point& d) {
    return -std::atan2(d.x, d.z);
}

// A floor point at a horizontal distance from a placement, along a world azimuth.
Point FloorPoint(const Point& from, double azimuth, double distance) {
    return {from.x - distance * std::sin(azimuth), kFloor, from.z + distance * std::cos(azimuth)};
}

int Scaled(int base, double sizeScale) {
    if (!(sizeScale >= 1.0)) {
        throw std::invalid_argument("size_scale must be at least 1");
    }
    return static_cast<int>(std::lround(base * sizeScale));
}

// Headings in equal steps, each in the middle of its sector of the circle, so that every
// sector a coverage check cuts the circle into holds a reference view.
std::vector<double> Headings(int nViews) {
    std::vector<double> headings;
    for (int v = 0; v < nViews; ++v) {
        headings.push_back(-kPi + (v + 0.5) * 2.0 * kPi / nViews);
    }
    return headings;
}

// Targets every 360/n degrees, offset from the view headings so that no target sits on the
// azimuth seam, at elevations from -45 to +60 degrees and distances from 2.1 to 6 m, low ones
// no farther than the floor allows. The golden fractions spread neighbours apart in elevation.
// A wide elevation span matters: the interball columns of the A1 and A3 harmonics differ only
// through sin q and sin^2 q, and noise swamps them when the elevations crowd together.
std::vector<Point> Ring(int nTargets) {
    std::vector<Point> ring;
    for (int k = 0; k < nTargets; ++k) {
        const double azimuth = -180.0 + (k + 0.7) * 360.0 / nTargets;
        const double elevation = -45.0 + 105.0 * std::fmod(0.5 + k * kGoldenFraction, 1.0);
        double range = 2.5 + 3.5 * std::fmod(0.25 + k * (1.0 - kGoldenFraction), 1.0);
        if (elevation < 0.0) {
            range = std::min(range, (kFloorClearance - kFloor) / std::sin(-elevation * kDegree));
        }
        ring.push_back(Spherical(azimuth, elevation, range));
    }
    return ring;
}

int Append(Layout& layout, const Point& target) {
    layout.targets.push_back(target);
    return static_cast<int>(layout.targets.size());  // 1-based position within a view
}

void AddPairs(Layout& layout, bool withExtraPair) {
    layout.n1_x0y0 = Append(layout, Spherical(100.0, -30.0, 2.2));
    layout.n2_x0y0 = Append(layout, Spherical(108.0, 35.0, 6.5));

    const Point a = Spherical(50.0, 15.0, 3.0);
    const Point b = Spherical(-130.0, -12.0, 3.5);
    layout.n1_d2 = Append(layout, a);
    layout.n2_d2 = Append(layout, b);

    // Beyond the first d2 target on the line through both, stepped 0.35 m aside so the beam
    // to the far one clears the near one.
    layout.outside.position = Add(Add(a, Scale(Sub(a, b), 0.35)), Point{0.25, 0.0, 0.25});
    layout.outside.heading = Azimuth(Sub(b, layout.outside.position));
    layout.outside_repeats = kOutsideRepeats;

    if (withExtraPair) {
        const Point& o = layout.outside.position;
        const double h = layout.outside.heading;
        layout.n1_extra = Append(layout, FloorPoint(o, h + 3.0 * kDegree, 3.0));
        layout.n2_extra = Append(layout, FloorPoint(o, h - 3.0 * kDegree, 7.5));
    }
}

// Eleven placements facing a target group at `centre` (world azimuth 180 degrees) from
// elevations -48 .. +48 degrees, close enough that the group spans about 16 degrees of
// elevation in every view, so that neighbouring bands overlap.
void AddFacingPlacements(Layout& layout, const Point& centre) {
    constexpr int kBands = 11;
    for (int k = 0; k < kBands; ++k) {
        const double el = (-48.0 + 96.0 * k / (kBands - 1)) * kDegree;
        const double distance = 3.2 * std::cos(el);
        Placement p;
        p.position = Add(centre, Point{0.0, -distance * std::sin(el), distance * std::cos(el)});
        p.heading = kPi;
        layout.fly_placements.push_back(p);
    }
}

// A placement 2.6 m beyond `end` on the line along `direction`, looking back along it, 0.25 m
// off the targets' plane so that the beams clear the nearer target.
void AddInLinePlacement(Layout& layout, const Point& end, const Point& direction) {
    Placement inLine;
    inLine.position = Add(Add(end, Scale(direction, 2.6)), Point{0.0, 0.0, 0.25});
    inLine.heading = Azimuth(Scale(direction, -1.0));
    layout.fly_placements.push_back(inLine);
}

// The FBB set: a board of four targets, its farthest pair on a diagonal, the others spread in
// height, so that four of its six pairs differ by more than 10 degrees of elevation in every
// facing view. The FBB interball fit needs no reference distance.
//
// The board is twice as tall as it is wide. A constant elevation offset turns targets at
// different azimuths about different axes, so it changes a pair's distance by an amount that
// grows with the pair's horizontal spread and changes sign with the view's elevation, as the
// El^2 term does. The FBB interball fit holds K_minus while it solves the face-free cubic and
// takes such a change up into the cubic, and the K_minus fit then reads the cubic's error back
// into K_minus: the joint loop of both only contracts when that round trip is well below one.
// With the board as wide as tall the round trip was about -0.4, and about -0.9 once the
// outlier pass dropped one reading of the lowest band; at half the width it is below 0.3 in
// magnitude either way. A board as wide as tall (width 2) still settles noise-free at sizes 1
// and 2, but not at size 3 (56: the FBB interball and K_minus fits).
void AddBoardViews(Layout& layout, double width) {
    const Point centre{0.0, 0.2, -6.0};
    const Point low{-0.25 * width, -0.45, 0.0};
    const Point high{0.25 * width, 0.45, 0.0};
    for (const Point& offset :
         {low, high, Point{0.15 * width, -0.4, 0.05}, Point{-0.15 * width, 0.4, -0.05}}) {
        layout.fly_targets.push_back(Add(centre, offset));
    }
    AddFacingPlacements(layout, centre);
    AddInLinePlacement(layout, layout.fly_targets[0], Unit(Sub(low, high)));
}

// The check set: a bar of four targets rising at 45 degrees across the line of sight. The
// check interball fit takes every pair's distance from the in-line view; collinear targets are
// all seen in line there, so none of those reference distances depends on the elevation errors
// the fit estimates.
void AddBarViews(Layout& layout) {
    const Point centre{0.0, 0.2, -6.0};
    const Point along = Unit(Point{1.0, 1.0, 0.0});
    for (double s : {-0.7, -0.35, 0.35, 0.7}) {
        layout.fly_targets.push_back(Add(centre, Scale(along, s)));
    }
    AddFacingPlacements(layout, centre);
    // Looking up the bar from below its lower end: the in-line view's narrow band then sorts
    // last, above the band it overlaps, and reaches above 40 degrees. Looking down from above,
    // it would sort between the two lowest bands and open a gap above itself.
    AddInLinePlacement(layout, layout.fly_targets.front(), Scale(along, -1.0));
}

Layout Ringed(int nTargets, int nViews) {
    Layout layout;
    layout.targets = Ring(nTargets);
    layout.headings = Headings(nViews);
    return layout;
}

}  // namespace

Layout QuickLayout(double size_scale) {
    return Ringed(Scaled(kBaseRing, size_scale), Scaled(kQuickViews, size_scale));
}

Layout FullLayout(double size_scale) {
    Layout layout = Ringed(Scaled(kBaseRing, size_scale), Scaled(kFullViews, size_scale));
    AddPairs(layout, false);
    return layout;
}

Layout FullFullLayout(double size_scale, int mode, double board_width) {
    Layout layout = Ringed(Scaled(kBaseRing, size_scale), Scaled(kFullFullViews, size_scale));
    AddPairs(layout, true);
    if (mode == 1) {
        AddBarViews(layout);
    } else {
        AddBoardViews(layout, board_width);
    }
    return layout;
}

}  // namespace compensation::sim
