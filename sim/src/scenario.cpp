// From a measurement plan to the host's arrays, and the named scenarios.
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "compensation_sim/simulator.h"
#include "engine/constants.h"

namespace compensation::sim {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kFullQuality = 100.0;
// The reference vector only marks the view and its heading; it points horizontally along the
// heading at a nominal metre.
constexpr double kReferenceRange = 1.0;

double WrapAngle(double angle) {
    const double wrapped = std::fmod(angle + kPi, kTwoPi);
    return (wrapped < 0.0 ? wrapped + kTwoPi : wrapped) - kPi;
}

// Reads with the true model and adds the reading noise, always drawing three deviates per
// reading so that the sequence does not depend on which noise levels are zero.
class Reader {
  public:
    Reader(const TMapper& truth, const Noise& noise)
        : truth_(truth), noise_(noise), normals_(noise.seed) {}

    CVector Read(const Placement& placement, const Point& target, int type, double T) {
        CVector raw = RawReading(TrueReading(placement, target), type, T, truth_);
        raw.Range += noise_.range * normals_.Next();
        raw.Azimuth += noise_.angle * normals_.Next();
        raw.Elevation += noise_.angle * normals_.Next();
        raw.Sphr2Cart();
        return raw;
    }

    // Front sights of every target, then back sights in the same order.
    void ReadBothFaces(const Placement& placement, const std::vector<Point>& targets, double T,
                       std::vector<CVector>& out) {
        for (int type : {kTypeFrontSight, kTypeBackSight}) {
            for (const Point& target : targets) {
                out.push_back(Read(placement, target, type, T));
            }
        }
    }

  private:
    const TMapper& truth_;
    const Noise& noise_;
    NormalSource normals_;
};

CVector ReferenceVector(double heading, double T) {
    CVector ref;
    ref.Quality = kFullQuality;
    ref.Range = kReferenceRange;
    ref.Azimuth = WrapAngle(heading);
    ref.Elevation = 0.0;
    ref.T = T;
    ref.Type = kTypeReferenceView;
    ref.FSBS = 0;
    ref.Radian = true;
    ref.SeType();
    ref.Sphr2Cart();
    return ref;
}

bool PairFits(int n1, int n2, int nTargets) {
    if (n1 == 0 && n2 == 0) {
        return true;
    }
    return n1 >= 1 && n2 >= 1 && n1 <= nTargets && n2 <= nTargets && n1 != n2;
}

void CheckLayout(const Layout& layout) {
    const int n = static_cast<int>(layout.targets.size());
    if (!PairFits(layout.n1_x0y0, layout.n2_x0y0, n) || !PairFits(layout.n1_d2, layout.n2_d2, n) ||
        !PairFits(layout.n1_extra, layout.n2_extra, n)) {
        throw std::invalid_argument("a pair position lies outside the targets of a view");
    }
    if (layout.outside_repeats < 0) {
        throw std::invalid_argument("outside_repeats must not be negative");
    }
}

std::vector<CVector>& SetOf(Scenario& s, Set set) {
    switch (set) {
        case Set::Outside1:
            return s.outside1;
        case Set::Outside2:
            return s.outside2;
        case Set::Flying:
            return s.flying;
        case Set::Main:
            break;
    }
    return s.main;
}

void ApplyGrossErrors(Scenario& s, const std::vector<GrossError>& errors) {
    for (const GrossError& e : errors) {
        std::vector<CVector>& readings = SetOf(s, e.set);
        if (e.index < 0 || e.index >= static_cast<int>(readings.size())) {
            throw std::invalid_argument("a gross error addresses no reading");
        }
        CVector& r = readings[static_cast<std::size_t>(e.index)];
        r.Range += e.range;
        r.Azimuth += e.azimuth;
        r.Elevation += e.elevation;
        r.Sphr2Cart();
    }
}

void ReadOutside(const Layout& layout, int n1, int n2, double T, Reader& reader,
                 std::vector<CVector>& out) {
    if (n1 == 0) {
        return;
    }
    for (int r = 0; r < layout.outside_repeats; ++r) {
        for (int position : {n1, n2}) {
            out.push_back(reader.Read(layout.outside,
                                      layout.targets[static_cast<std::size_t>(position - 1)],
                                      kTypeFrontSight, T));
        }
    }
}

// T of flying view k, after the main views and the outside sets.
double FlyingTemperature(const Layout& layout, int k) {
    return layout.temperature +
           layout.temperature_step * (static_cast<double>(layout.headings.size()) + 1.0 + k);
}

struct Named {
    const char* name;
    Kind kind;
    int mode;  // -1: from the options
};

constexpr Named kNamed[] = {
    {"quick", Kind::Quick, 0},        {"full", Kind::Full, 0},
    {"fullfull", Kind::FullFull, -1}, {"fullfull0", Kind::FullFull, 0},
    {"fullfull1", Kind::FullFull, 1}, {"fullfull2", Kind::FullFull, 2},
};

std::string Describe(const Scenario& s, Kind kind, const Noise& noise) {
    std::ostringstream text;
    text << (kind == Kind::Quick  ? "quick compensation"
             : kind == Kind::Full ? "full compensation"
                                  : "full-full compensation, mode ")
         << (kind == Kind::FullFull ? std::to_string(s.mode) : std::string()) << ": " << s.nViews
         << " views of " << s.nTargets
         << " targets from one station turned about its vertical axis";
    if (s.layout.outside_repeats > 0 && s.layout.n1_d2 > 0) {
        text << "; outside placement with " << s.layout.outside_repeats << " repeats per pair";
    }
    if (s.nTargetsFly > 0) {
        text << "; " << s.layout.fly_placements.size() << " flying views of " << s.nTargetsFly
             << " targets";
    }
    text << "; noise " << noise.range << " m, " << noise.angle << " rad, seed " << noise.seed;
    return text.str();
}

}  // namespace

TMapper RealisticTruth(Kind kind, int mode, const Layout& layout) {
    TMapper truth = RealisticTruth(kind, mode);
    if (kind == Kind::FullFull && mode != 2) {
        // Modes 0 and 1 take T_ref as the mean T of the flying front sights; the truth uses the
        // same reference so that the procedure can meet it.
        double sum = 0.0;
        const int nFly = static_cast<int>(layout.fly_placements.size());
        for (int k = 0; k < nFly; ++k) {
            sum += FlyingTemperature(layout, k);
        }
        truth.T_ref = nFly > 0 ? sum / nFly : 0.0;
    }
    return truth;
}

Scenario Simulate(const Layout& layout, const TMapper& truth, const Noise& noise) {
    CheckLayout(layout);
    Scenario s;
    s.layout = layout;
    s.truth = truth;
    s.nTargets = static_cast<int>(layout.targets.size());
    s.nViews = static_cast<int>(layout.headings.size());
    s.nTargetsFly = static_cast<int>(layout.fly_targets.size());
    s.compOut.m_n1_x0y0 = layout.n1_x0y0;
    s.compOut.m_n2_x0y0 = layout.n2_x0y0;
    s.compOut.m_n1_d2 = layout.n1_d2;
    s.compOut.m_n2_d2 = layout.n2_d2;
    s.compOut.m_n1_extra = layout.n1_extra;
    s.compOut.m_n2_extra = layout.n2_extra;

    Reader reader(truth, noise);
    for (int v = 0; v < s.nViews; ++v) {
        const double T = layout.temperature + layout.temperature_step * v;
        Placement view = layout.station;
        view.heading = layout.headings[static_cast<std::size_t>(v)];
        s.main.push_back(ReferenceVector(view.heading, T));
        reader.ReadBothFaces(view, layout.targets, T, s.main);
    }
    const double outsideT = layout.temperature + layout.temperature_step * s.nViews;
    ReadOutside(layout, layout.n1_d2, layout.n2_d2, outsideT, reader, s.outside1);
    ReadOutside(layout, layout.n1_extra, layout.n2_extra, outsideT, reader, s.outside2);
    for (std::size_t k = 0; k < layout.fly_placements.size(); ++k) {
        reader.ReadBothFaces(layout.fly_placements[k], layout.fly_targets,
                             FlyingTemperature(layout, static_cast<int>(k)), s.flying);
    }
    ApplyGrossErrors(s, noise.gross);
    return s;
}

Scenario MakeScenario(const std::string& name, const Options& options) {
    for (const Named& named : kNamed) {
        if (name != named.name) {
            continue;
        }
        const int mode = named.mode < 0 ? options.mode : named.mode;
        if (mode < 0 || mode > 2) {
            throw std::invalid_argument("the full-full mode is 0, 1 or 2");
        }
        const Layout layout = named.kind == Kind::Quick ? QuickLayout(options.size_scale)
                              : named.kind == Kind::Full
                                  ? FullLayout(options.size_scale)
                                  : FullFullLayout(options.size_scale, mode, options.board_width);
        const TMapper truth = options.truth.value_or(RealisticTruth(named.kind, mode, layout));
        Scenario s = Simulate(layout, truth, options.noise);
        s.name = name;
        s.mode = mode;
        s.description = Describe(s, named.kind, options.noise);
        return s;
    }
    throw std::invalid_argument("no scenario is named " + name);
}

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> names;
    for (const Named& named : kNamed) {
        names.emplace_back(named.name);
    }
    return names;
}

}  // namespace compensation::sim
