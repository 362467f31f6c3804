#include <string>

#include "support/trace_dir.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

constexpr double kUntouched = -7.0;  // as Sentinel() leaves it
constexpr double kAny = -1.0;

// Two targets from the identity placement: the first 0.03 m straight ahead (predicted range
// exactly twice the 0.015 tolerance, angles exactly 0), the second at elevation -0.15, or -0.6
// for a low pair (mean -0.3 < -0.261825).
struct Outside {
    std::vector<CVector> nominal;
    TRANSFORM_PARMS placement = {};
    explicit Outside(bool low)
        : nominal(Points({{0, 0, 0.03}, {-4.8, 8 * std::tan(low ? -0.6 : -0.15), 6.4}})) {}

    // One reading of each target per distance d, taken alternately; their Cartesian fields, from
    // which the distance is taken as the host supplied them, lie exactly d apart.
    std::vector<CVector> Series(const std::vector<double>& distances) {
        std::vector<CVector> series;
        for (double d : distances) {
            for (int target : {0, 1}) {
                CTransform t;
                CVector v = *t.GetNextVector(target, &placement, nominal.data());
                v.Quality = 90.0;
                v.X = target * d;
                v.Y = v.Z = 0.0;
                series.push_back(v);
            }
        }
        return series;
    }
};

// Ten distances about 5 m of sample spread s (five at 5 + a, five at 5 - a), with a 1 mm
// outlier, the pair dropped, fourth: then all eleven spread sqrt(0.9 s^2 + 1e-6 / 11).
std::vector<double> Balanced(double s, bool outlier = false) {
    std::vector<double> d;
    for (int i = 0; i < 10; ++i) {
        d.push_back(5.0 + (i % 2 ? -1 : 1) * s * std::sqrt(0.9));
    }
    if (outlier) {
        d.insert(d.begin() + 3, 5.001);
    }
    return d;
}
double AllEleven(double s) {
    return std::sqrt(0.9 * s * s + 1e-6 / 11);
}

// Least count 9, least mean 4.0 (3.0 for a low pair), spread limits 6.35e-6 and, after one
// drop, 1.27e-5 (inclusive), strict tolerances on the fifth pair's first reading, no azimuth
// wrap; spreads of distances near 5 m within a few units of their rounding.
TEST(AcceptOutside, StatusCountAndSpreads) {
    const std::vector<double> nine(9, 5.0);
    std::vector<double> close(9, 3.0);
    close[3] = 3.001;  // spread 0.001 / 3
    const struct {
        bool low;
        std::vector<double> distances;
        int status, count;  // count -1: unchanged
        double stdOutside, stdExtra;
        double CVector::*field = nullptr;
        double value = 0.0;
    } cases[] = {
        {false, nine, 0, 18, 0.0, kUntouched},
        {false, std::vector<double>(8, 5.0), 3, -1, kUntouched, kUntouched},
        {false, std::vector<double>(9, 3.5), 1, -1, 0.0, kUntouched},
        {false, std::vector<double>(9, 4.0), 0, 18, 0.0, kUntouched},
        {true, std::vector<double>(9, 3.5), 0, 18, 0.0, kUntouched},
        {true, std::vector<double>(9, 2.9), 1, -1, 0.0, kUntouched},
        {false, Balanced(6.0e-06), 0, 20, 6.0e-06, kUntouched},
        {false, Balanced(6.7e-06), 0, 18, kAny, kUntouched},
        {false, Balanced(1.2e-05, true), 0, 20, 1.2e-05, kUntouched},
        {false, Balanced(1.3e-05, true), 4, -1, 1.3e-05, kUntouched},
        {true, Balanced(1.2e-05, true), 0, 20, AllEleven(1.2e-05), 1.2e-05},
        {true, Balanced(1.3e-05, true), 4, -1, AllEleven(1.3e-05), 1.3e-05},
        {false, close, 1, -1, 0.001 / 3, kUntouched},
        {false, {5, 5, 5, 5, 5, std::nan(""), 5, 5, 5, 5}, 1, -1, kAny, kUntouched},
        {false, nine, 3, -1, kUntouched, kUntouched, &CVector::Range, 0.015},
        {false, nine, 0, 18, 0.0, kUntouched, &CVector::Range, 0.0151},
        {false, nine, 3, -1, kUntouched, kUntouched, &CVector::Azimuth, compensation::kDegToRad},
        {false, nine, 3, -1, kUntouched, kUntouched, &CVector::Elevation, -compensation::kDegToRad},
        {false, nine, 3, -1, kUntouched, kUntouched, &CVector::Azimuth, 6.283185307179586 - 1e-4},
        {false, nine, 3, -1, kUntouched, kUntouched, &CVector::Quality, 50.0},
        {false, nine, 0, 18, 0.0, kUntouched, &CVector::Quality, 50.000001},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& test = cases[k];
        Outside outside(test.low);
        std::vector<CVector> series = outside.Series(test.distances);
        if (test.field != nullptr) {
            series[8].*test.field = test.value;
        }
        const std::vector<CVector> before = series;
        int count = static_cast<int>(series.size());
        TCompOut out = Sentinel();
        CCompensation engine;
        EXPECT_EQ(engine.AcceptOutside(series.data(), &count, outside.nominal.data(),
                                       &outside.placement, &out, 0, 1),
                  test.status)
            << k;
        EXPECT_EQ(count, test.count < 0 ? static_cast<int>(series.size()) : test.count) << k;
        for (std::size_t i = 0; i < series.size(); ++i) {
            EXPECT_EQ(series[i].Quality, before[i].Quality) << k;
        }
        for (auto [field, value] : {std::pair{&TCompOut::m_dStdOutside, test.stdOutside},
                                    {&TCompOut::m_dStdExtraOutside, test.stdExtra}}) {
            if (value != kAny) {
                EXPECT_NEAR(out.*field, value, 1e-14) << k;
            }
        }
    }
}

// After the start banner: entry, the arguments in order, the spread's own lines, the count,
// the result record and the exit line.
TEST(AcceptOutside, TracesItsArgumentsAndResultInOrder) {
    Outside outside(false);
    std::vector<CVector> series = outside.Series(std::vector<double>(9, 5.0));
    int count = 18;
    TCompOut out = Sentinel();
    compensation::testing::ScopedTraceDir traceDir;
    CCompensation engine;
    engine.AcceptOutside(series.data(), &count, outside.nominal.data(), &outside.placement, &out, 0,
                         1);
    const std::vector<std::string> lines =
        compensation::testing::SplitLines(compensation::testing::ReadFile(traceDir.file()));
    const std::vector<std::string> expected = {"Entering AcceptOutside ",
                                               "   pVecOut ",
                                               "       Quality   = 90.000000 ",
                                               "       pnCountOut = 18",
                                               "   pVecNom ",
                                               "   pParms ",
                                               "Entering MeanStdArray ",
                                               "Leaving MeanStdArray ",
                                               "       pnCountOut = 18",
                                               "   pCompOut ",
                                               "       Leaving AcceptOutside = 0"};
    ASSERT_GT(lines.size(), 7u);
    EXPECT_EQ(lines[7], expected.front());
    EXPECT_EQ(lines.back(), expected.back());
    std::size_t at = 7;
    for (const std::string& line : expected) {
        while (at < lines.size() && lines[at] != line) {
            ++at;
        }
        EXPECT_LT(at++, lines.size()) << "missing or out of order: \"" << line << "\"";
    }
}

}  // namespace
