// The quick compensation end to end on the simulated tracker: the procedure must give back the
// error model the readings were made with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"

namespace {

using compensation::sim::Kind;
using compensation::sim::MakeScenario;
using compensation::sim::Options;
using compensation::sim::Scenario;

// The elements the quick procedure fits: nine two-face terms and the two axis terms that
// interball distances see. D1 is a length (metres), the others are angles (degrees).
struct Fitted {
    const char* name;
    double TMapper::*element;
    bool length;
};
constexpr Fitted kQuickElements[] = {
    {"D1", &TMapper::D1, true},
    {"A1", &TMapper::A1, false},
    {"A3", &TMapper::A3, false},
    {"Az_AzS", &TMapper::Az_AzS, false},
    {"Az_AzC", &TMapper::Az_AzC, false},
    {"A2", &TMapper::A2, false},
    {"El_2AzS", &TMapper::El_2AzS, false},
    {"El_2AzC", &TMapper::El_2AzC, false},
    {"El_ElS", &TMapper::El_ElS, false},
    {"Ax", &TMapper::Ax, false},
    {"Ay", &TMapper::Ay, false},
};

// Noise-free data are fitted to the second-order remainder of the linearised fits: the issue's
// bounds, far below any element (about 1e-3 degrees and 1e-5 m).
constexpr double kAngleTolerance = 2e-5;   // degrees
constexpr double kLengthTolerance = 1e-6;  // metres

constexpr double kDegPerRad = 57.29577951308232;

struct QuickRun {
    int result = 0;
    TMapper model{};
    TCompOut out{};
    std::string summary;
};

// Runs the quick procedure on the scenario's own arrays, capturing its printed summary.
QuickRun RunQuick(Scenario& s) {
    QuickRun run;
    run.model = s.start;
    run.out = s.compOut;
    std::ostringstream captured;
    std::streambuf* previous = std::cout.rdbuf(captured.rdbuf());
    CCompensation engine;
    run.result = engine.QuickCompInsertion(s.main.data(), s.nCount(), &run.model, &run.out);
    std::cout.rdbuf(previous);
    run.summary = captured.str();
    return run;
}

bool AllFinite(const TMapper& model) {
    const double* element = &model.A1;
    for (int i = 0; i < 83; ++i) {
        if (!std::isfinite(element[i])) {
            return false;
        }
    }
    return true;
}

// Removes view `view` (its reference vector, front sights and back sights) from the main array.
void DropView(Scenario& s, int view) {
    const int block = 1 + 2 * s.nTargets;
    s.main.erase(s.main.begin() + view * block, s.main.begin() + (view + 1) * block);
    --s.nViews;
}

TEST(QuickCompensation, NoiseFreeReadingsGiveTheTruthBack) {
    Scenario s = MakeScenario("quick");
    for (const Fitted& f : kQuickElements) {
        ASSERT_NE(s.truth.*f.element, 0.0) << f.name << " must take part in the truth";
    }
    const QuickRun run = RunQuick(s);

    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out.m_nConfidence, 100);
    EXPECT_NE(run.summary.find(" CONFIDENCE = 100"), std::string::npos);
    for (const Fitted& f : kQuickElements) {
        EXPECT_NEAR(run.model.*f.element, s.truth.*f.element,
                    f.length ? kLengthTolerance : kAngleTolerance)
            << f.name;
    }
    // Elements outside the quick model are never written.
    const double* fitted = &run.model.A1;
    const double* start = &s.start.A1;
    int changed = 0;
    for (int i = 0; i < 83; ++i) {
        changed += fitted[i] != start[i] ? 1 : 0;
    }
    EXPECT_EQ(changed, static_cast<int>(std::size(kQuickElements)));
    // Nothing was rejected: every measurement keeps the quality it was read with.
    for (const CVector& v : s.main) {
        EXPECT_EQ(v.Quality, 100.0);
    }
}

// Realistic reading noise: 1 microradian on both angles and 2 micrometres on the range.
Options RealisticNoise(std::uint64_t seed) {
    Options options;
    options.noise.angle = 1e-6;
    options.noise.range = 2e-6;
    options.noise.seed = seed;
    return options;
}

// The tolerance is derived from the noise, not tuned: at these levels the fitted model is a
// linear function of the reading noise, so each element's error is Gaussian with a standard
// deviation sigma_e that independent noise draws estimate. The reference draw must lie within
// 4 sigma_e of the noise-free result (a false alarm once in 15 000 per element), the mean over
// the draws within 4 sigma_e / sqrt(draws) (no bias), and sigma_e of every angular element must
// be below the single-reading noise: the fit averages hundreds of readings, so an element known
// worse than one reading would mean a design the data cannot carry.
TEST(QuickCompensation, RealisticNoiseStaysWithinItsPropagatedSpread) {
    Scenario exact = MakeScenario("quick");
    const QuickRun reference = RunQuick(exact);

    constexpr int kDraws = 16;
    constexpr std::size_t kCount = std::size(kQuickElements);
    std::vector<double> sum(kCount, 0.0), sumSquares(kCount, 0.0), first(kCount, 0.0);
    for (int draw = 0; draw < kDraws; ++draw) {
        Scenario noisy = MakeScenario("quick", RealisticNoise(100 + draw));
        const QuickRun run = RunQuick(noisy);
        ASSERT_EQ(run.result, 0) << "draw " << draw;
        EXPECT_GE(run.out.m_nConfidence, 90) << "draw " << draw;
        for (std::size_t e = 0; e < kCount; ++e) {
            const double error =
                run.model.*kQuickElements[e].element - reference.model.*kQuickElements[e].element;
            sum[e] += error;
            sumSquares[e] += error * error;
            if (draw == 0) {
                first[e] = error;
            }
        }
    }
    const double readingNoiseDeg = 1e-6 * kDegPerRad;
    for (std::size_t e = 0; e < kCount; ++e) {
        const Fitted& f = kQuickElements[e];
        const double mean = sum[e] / kDraws;
        const double sigma = std::sqrt(sumSquares[e] / kDraws);
        EXPECT_LE(std::fabs(first[e]), 4.0 * sigma) << f.name;
        EXPECT_LE(std::fabs(mean), 4.0 * sigma / std::sqrt(double{kDraws})) << f.name;
        if (!f.length) {
            EXPECT_LT(sigma, readingNoiseDeg) << f.name;
        } else {
            EXPECT_LT(sigma, 2e-6) << f.name;
        }
    }
}

TEST(QuickCompensation, AGrossErrorInOneBackSightIsRejectedAndTheTruthStillComesBack) {
    Options options;
    // Back sight of target 4 in view 5: a 0.01-degree blunder in elevation, small enough to
    // stay paired with its front sight, some hundred times the two-face spread limit.
    const Scenario layoutOnly = MakeScenario("quick");
    const int block = 1 + 2 * layoutOnly.nTargets;
    const int blunder = 5 * block + 1 + layoutOnly.nTargets + 4;
    options.noise.gross.push_back({compensation::sim::Set::Main, blunder, 0.0, 0.0, 1.75e-4});
    Scenario s = MakeScenario("quick", options);
    ASSERT_EQ(s.main[blunder].Type, 200);

    const QuickRun run = RunQuick(s);
    EXPECT_EQ(run.result, 0);
    // The fit rejects the pair; both of its measurements are marked in the host's array.
    const int frontSight = blunder - s.nTargets;
    EXPECT_EQ(s.main[blunder].Quality, 50.0);
    EXPECT_EQ(s.main[frontSight].Quality, 50.0);
    for (std::size_t i = 0; i < s.main.size(); ++i) {
        if (static_cast<int>(i) != blunder && static_cast<int>(i) != frontSight) {
            EXPECT_EQ(s.main[i].Quality, 100.0) << "measurement " << i;
        }
    }
    for (const Fitted& f : kQuickElements) {
        EXPECT_NEAR(run.model.*f.element, s.truth.*f.element,
                    f.length ? kLengthTolerance : kAngleTolerance)
            << f.name;
    }
    EXPECT_EQ(run.out.m_nConfidence, 100);
}

// With two neighbouring views missing, the quick procedure's sectors (one per view, 36 degrees
// and 5 more on each side) leave one inside the 90-degree gap: it reports 7 + that sector after
// exactly one fitting call of the two-face fit, and writes nothing back.
TEST(QuickCompensation, ACoverageGapStopsAfterOneTwoFaceFit) {
    Scenario s = MakeScenario("quick");
    DropView(s, 3);
    DropView(s, 3);
    const std::vector<CVector> before = s.main;

    // What one two-face fitting call makes of the start model.
    std::vector<CVector> copy = s.main;
    for (CVector& v : copy) {
        v.SeType();
    }
    std::vector<CVector> front(copy.size() / 2), back(copy.size() / 2);
    int pairs = static_cast<int>(front.size());
    TMapper expected = s.start;
    TCompOut scratch = s.compOut;
    CCompensation engine;
    engine.ClassifyFSBS(copy.data(), s.nCount(), front.data(), back.data(), &pairs, 1);
    engine.CalculateQCFSBSa(front.data(), back.data(), &expected, pairs, &scratch, 1);

    const QuickRun run = RunQuick(s);
    EXPECT_GE(run.result, 7);
    EXPECT_LT(run.result, 7 + s.nViews);
    EXPECT_EQ(std::memcmp(&run.model, &expected, sizeof(TMapper)), 0);
    EXPECT_TRUE(run.summary.empty());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(s.main[i].Quality, before[i].Quality);
    }
}

// Targets all at one elevation leave A1 and A3 undetermined: tan h and 1/cos h then differ only
// through the small corrections, so each fitting call lands somewhere else along the line the
// data allow. The two-face fit never settles, the joint loop spends its whole budget, and the
// procedure returns that fit's code 2 after writing back and validating; the model stays finite.
TEST(QuickCompensation, AnUndeterminedModelStaysFiniteAndIsReportedUnsettled) {
    compensation::sim::Layout layout = compensation::sim::QuickLayout();
    for (compensation::sim::Point& p : layout.targets) {
        const double horizontal = std::hypot(p.x, p.z);
        p.y = layout.station.position.y + 0.2 * horizontal;
    }
    Scenario s =
        compensation::sim::Simulate(layout, compensation::sim::RealisticTruth(Kind::Quick));
    const QuickRun run = RunQuick(s);

    EXPECT_EQ(run.result, 2);
    EXPECT_TRUE(AllFinite(run.model));
    EXPECT_NE(run.summary.find(" CONFIDENCE = "), std::string::npos);
}

TEST(QuickCompensation, ArraysThatDoNotDescribeViewsAreRefusedUntouched) {
    Scenario s = MakeScenario("quick");
    TMapper model = s.start;
    TCompOut out = s.compOut;
    CCompensation engine;

    EXPECT_EQ(engine.QuickCompInsertion(s.main.data(), 1, &model, &out), -1);
    EXPECT_EQ(engine.QuickCompInsertion(nullptr, s.nCount(), &model, &out), -1);

    // Every back sight relabelled as a front sight: more front sights than pairs fit.
    std::vector<CVector> allFront = s.main;
    for (CVector& v : allFront) {
        if (v.Type == 200) {
            v.Type = 100;
            v.FSBS = 0;
        }
    }
    const std::vector<CVector> before = allFront;
    EXPECT_EQ(
        engine.QuickCompInsertion(allFront.data(), static_cast<int>(allFront.size()), &model, &out),
        -1);
    EXPECT_EQ(std::memcmp(&model, &s.start, sizeof(TMapper)), 0);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(allFront[i].Quality, before[i].Quality);
        EXPECT_EQ(allFront[i].FSBS, before[i].FSBS);
    }
}

}  // namespace
