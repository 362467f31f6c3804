// A simulated laser tracker: it knows a true error model, a target network and where it was
// placed, and produces exactly the arrays a host hands to the compensation library.
//
// A few lines give a complete, noise-free data set for a procedure:
//
//     using namespace compensation::sim;
//     Scenario s = MakeScenario("full");
//     TMapper model = s.start;
//     TCompOut out = s.compOut;
//     CCompensation engine;
//     engine.FullComp(s.main.data(), s.nCount(), s.outside1.data(), s.nCountOut1(), &model, &out);
//     // model now approaches s.truth
//
// and a custom one takes a layout, a truth and a noise model:
//
//     Layout layout = QuickLayout();
//     layout.targets.push_back({1.0, -0.5, 3.0});        // one more target, world metres
//     TMapper truth = RealisticTruth(Kind::Quick);
//     truth.Ax = 2e-3;                                     // degrees
//     Noise noise;
//     noise.range = 2e-6;                                  // metres
//     noise.angle = 1e-6;                                  // radians
//     noise.seed = 7;
//     Scenario mine = Simulate(layout, truth, noise);
//
// Frames and units. The world frame has the instrument's axis convention: Y is vertical,
// azimuth 0 looks along +Z and positive azimuth turns toward -X. Lengths are metres and angles
// radians, except the TMapper's angular elements, which are degrees as the library holds them.
#ifndef COMPENSATION_SIM_SIMULATOR_H
#define COMPENSATION_SIM_SIMULATOR_H

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"

namespace compensation::sim {

// A point of the world frame, metres.
struct Point {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Where the instrument stands and how it is turned. A world point at world azimuth a is read
// at azimuth a - heading; the two tilts then lean the instrument's vertical axis (tilt_x about
// the instrument's X axis, tilt_z about its Z axis, in that order).
struct Placement {
    Point position;
    double heading = 0.0;
    double tilt_x = 0.0;
    double tilt_z = 0.0;
};

// Which array of a scenario a measurement belongs to.
enum class Set { Main, Outside1, Outside2, Flying };

// A blunder added to one raw reading after the noise: a wrong target, a broken beam.
struct GrossError {
    Set set = Set::Main;
    int index = 0;  // position in that array
    double range = 0.0;
    double azimuth = 0.0;
    double elevation = 0.0;
};

// Gaussian reading noise (standard deviations) and blunders. The same seed gives the same
// arrays bit for bit: the normal deviates come from std::mt19937_64 through the code's own
// Box-Muller transform, not from a standard-library distribution.
struct Noise {
    double range = 0.0;  // metres
    double angle = 0.0;  // radians, on azimuth and elevation alike
    std::uint64_t seed = 1;
    std::vector<GrossError> gross;
};

// Everything the instrument is asked to measure.
struct Layout {
    // The target network and the main placement. View v is the main placement turned to
    // headings[v] (the placement's own heading is ignored); every view sees every target.
    std::vector<Point> targets;
    Placement station;
    std::vector<double> headings;

    // Target pairs within a view, 1-based as TCompOut holds them (0: none).
    int n1_x0y0 = 0;
    int n2_x0y0 = 0;
    int n1_d2 = 0;
    int n2_d2 = 0;
    int n1_extra = 0;
    int n2_extra = 0;

    // The outside placement: outside1 repeats the d2 pair, outside2 the extra pair, each
    // outside_repeats times (no set when the pair is not given or repeats is 0).
    Placement outside;
    int outside_repeats = 0;

    // Flying views: each placement sees every flying target, front sights then back sights.
    std::vector<Point> fly_targets;
    std::vector<Placement> fly_placements;

    // The value of T of every reading: main view v has temperature + v * temperature_step,
    // the outside sets the value after the last main view, flying view k the value k + 1
    // steps after that.
    double temperature = 20.0;
    double temperature_step = 0.02;
};

// A complete data set for one procedure, in the host's layout.
struct Scenario {
    std::string name;
    std::string description;

    // Per view: the Type 14 reference vector (its Azimuth is the view's heading), the front
    // sights (Type 100) of every target, then the back sights (Type 200) in the same order.
    std::vector<CVector> main;
    // Consecutive pairs of Type 100 readings from the outside placement.
    std::vector<CVector> outside1;
    std::vector<CVector> outside2;
    // Per flying view: the front sights of nTargetsFly targets, then their back sights.
    std::vector<CVector> flying;

    int nTargets = 0;
    int nViews = 0;
    int nTargetsFly = 0;
    int mode = 0;  // the full-full mode the scenario was made for

    // TCompOut with the pair positions filled; every other field zero.
    TCompOut compOut{};
    // The model the readings were made with, and the model a procedure starts from (zeros).
    TMapper truth{};
    TMapper start{};

    Layout layout;

    int nCount() const { return static_cast<int>(main.size()); }
    int nCountOut1() const { return static_cast<int>(outside1.size()); }
    int nCountOut2() const { return static_cast<int>(outside2.size()); }
    int nCountFly() const { return static_cast<int>(flying.size()); }
};

// The procedure a scenario is made for.
enum class Kind { Quick, Full, FullFull };

// --- The instrument ------------------------------------------------------------------------

// The true range, azimuth and elevation of a world point seen from a placement (Radian set,
// X, Y, Z in the instrument frame, Type and FSBS 0, Quality 100).
CVector TrueReading(const Placement& placement, const Point& point);

// The raw reading that an instrument with the error model `truth` gives for the true
// direction `trueReading`, in the face of `type` (100 front sight, 200 back sight, both held
// in the front sight's angular convention) at the scalar T. Found by iterating until
// calibrating the reading reproduces the true values to 1e-12 rad and 1e-12 m. Throws
// std::runtime_error where the model cannot be inverted or would correct the reading by more
// than 0.01 rad or 0.01 m (range near 0, elevation near 90 degrees, a model of no instrument).
CVector RawReading(const CVector& trueReading, int type, double T, const TMapper& truth);

// Standard normal deviates from a seed, identical on every platform.
class NormalSource {
  public:
    explicit NormalSource(std::uint64_t seed);
    double Next();

  private:
    // Uniform in (0, 1], from the top 53 bits of one engine output.
    double Uniform();

    std::mt19937_64 engine_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

// --- Scenarios -----------------------------------------------------------------------------

// Reads everything the layout asks for with the model `truth` and the noise. Throws
// std::invalid_argument when a pair position lies outside the targets.
Scenario Simulate(const Layout& layout, const TMapper& truth, const Noise& noise = {});

// The layouts of the named scenarios. size_scale multiplies the number of ring targets and of
// views (at least 1). The full-full flying views depend on the mode: a board of four targets
// for the FBB fits (modes 0 and 2, where mode 2 does not use them) and a bar of four collinear
// targets for the check fit of mode 1, which takes every pair's distance from the in-line view.
Layout QuickLayout(double size_scale = 1.0);
Layout FullLayout(double size_scale = 1.0);
// board_width stretches the FBB board sideways: 1 is the default board, half as wide as tall;
// 2 makes it as wide as tall.
Layout FullFullLayout(double size_scale = 1.0, int mode = 0, double board_width = 1.0);

// A true model of realistic size in which every element the procedure of `kind` (in full-full
// `mode`) fits is non-zero and every other element is zero: angles of about 1e-3 degrees,
// lengths of about 1e-5 m.
TMapper RealisticTruth(Kind kind, int mode = 0);
// The same for the readings of `layout`: in full-full modes 0 and 1 with T_ref at the mean T of
// the flying views, which those modes take as their reference.
TMapper RealisticTruth(Kind kind, int mode, const Layout& layout);

struct Options {
    Noise noise;
    double size_scale = 1.0;
    int mode = 0;                  // full-full mode 0, 1 or 2
    double board_width = 1.0;      // full-full modes 0 and 2: the FBB board's width, as above
    std::optional<TMapper> truth;  // default: RealisticTruth of the scenario's kind and mode
};

// "quick", "full", "fullfull" (mode from the options), "fullfull0", "fullfull1", "fullfull2".
// Throws std::invalid_argument for another name.
Scenario MakeScenario(const std::string& name, const Options& options = {});
std::vector<std::string> ScenarioNames();

}  // namespace compensation::sim

#endif  // COMPENSATION_SIM_SIMULATOR_H
