// A measurement plan as a file: what the simulated tracker is asked to measure, for which
// procedure, at which expected reading noise.
//
//   {
//     "procedure": "fullfull", "mode": 0,
//     "noise": { "range_m": 2e-6, "angle_rad": 1e-6 },
//     "station": { "position": [0, 0, 0], "tilt_x_deg": 0, "tilt_z_deg": 0 },
//     "headings_deg": [-168.75, -146.25, ...],
//     "targets": [ [-1.2, 0.8, 3.1], { "range": 4.0, "azimuth_deg": 30, "elevation_deg": -10 } ],
//     "pairs": { "x0y0": [13, 14], "d2": [15, 16], "extra": [17, 18] },
//     "outside": { "position": [...], "heading_deg": 12.5, "repeats": 10 },
//     "flying": { "targets": [[...], ...],
//                 "placements": [ { "position": [...], "heading_deg": 180 }, ... ] },
//     "temperature": { "start": 20, "step": 0.02 }
//   }
//
// World frame of the instrument: metres, Y up, azimuth 0 along +Z, positive azimuth toward -X.
// A target is a point or a range, azimuth and elevation from the main station's position. Every
// view sees every target; the outside placement repeats the d2 pair (outside set 1) and the
// extra pair (outside set 2) `repeats` times; every flying placement sees every flying target.
#ifndef COMPENSATE_LAYOUT_FILE_H
#define COMPENSATE_LAYOUT_FILE_H

#include <compensation_sim/simulator.h>

#include <nlohmann/json.hpp>
#include <string>

namespace compensation::cli {

// A good tracker's reading noise: what a plan expects where nothing else is known.
inline constexpr double kTypicalRangeNoise = 2e-6;  // metres
inline constexpr double kTypicalAngleNoise = 1e-6;  // radians

struct PlanLayout {
    std::string procedure = "quick";  // quick, full or fullfull
    int mode = 0;
    double noiseRange = 0.0;  // metres per reading
    double noiseAngle = 0.0;  // radians per reading
    sim::Layout layout;
};

// Throws InputError naming the file, line and key of any fault.
PlanLayout ReadLayoutFile(const std::string& path);
PlanLayout ParseLayoutFile(const std::string& path, const std::string& text);

nlohmann::ordered_json LayoutToJson(const PlanLayout& plan);

}  // namespace compensation::cli

#endif  // COMPENSATE_LAYOUT_FILE_H
