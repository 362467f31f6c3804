#include <algorithm>
#include <string>

#include "support/trace_dir.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

// Targets from the identity: the first 0.03 m ahead (range twice the 0.015 tolerance, angles 0),
// the second at elevation -0.15 (-0.6 low); readings alternate, their X d apart (as supplied).
struct Outside {
    std::vector<CVector> nominal, series;
    TRANSFORM_PARMS p = {};
    int count = 0;
    TCompOut out = Sentinel();
    Outside(bool low, const std::vector<double>& distances) {
        nominal = Points({{0, 0, 0.03}, {-4.8, 8 * std::tan(low ? -0.6 : -0.15), 6.4}});
        for (int k = 0; k < 2 * static_cast<int>(distances.size()); ++k) {
            series.push_back(*CTransform().GetNextVector(k % 2, &p, nominal.data()));
            series.back().Quality = 90.0;
            series.back().X = k % 2 * distances[k / 2];
            series.back().Y = series.back().Z = 0.0;
        }
        count = static_cast<int>(series.size());
    }
    int Accept() {
        return CCompensation().AcceptOutside(series.data(), &count, nominal.data(), &p, &out, 0, 1);
    }
};

// Ten distances about 5 m of sample spread s (five at 5 + a, five at 5 - a: dropping any one
// leaves s), after a 1 mm outlier (the pair dropped) making all eleven sqrt(0.9 s^2 + 1e-6 / 11).
std::vector<double> Balanced(double s, bool outlier = false) {
    std::vector<double> d(outlier ? 1 : 0, 5.001);
    for (int i = 0; i < 10; ++i) {
        d.push_back(5.0 + (i % 2 ? -1 : 1) * s * std::sqrt(0.9));
    }
    return d;
}

// Least count, least mean (low: 0.75 of it), spread limits, strict tolerances on the fifth pair's
// first reading, no wrap; spreads of 5 m within a few of its roundings (1e-14). Count -1:
// unchanged; NaN: any.
TEST(AcceptOutside, StatusCountAndSpreads) {
    const std::vector<double> nine(9, 5.0);
    std::vector<double> close(9, 3.0);
    close[3] = 3.001;       // spread 0.001 / 3
    const double u = -7.0;  // untouched
    auto all = [](double s) { return std::sqrt(0.9 * s * s + 1e-6 / 11); };
    const struct {
        bool low;
        std::vector<double> distances;
        int status, count;
        double stdOutside, stdExtra;
        double CVector::*field = nullptr;
        double value = 0.0;
    } cases[] = {
        {false, nine, 0, 18, 0.0, u},
        {false, std::vector<double>(8, 5.0), 3, -1, u, u},
        {false, std::vector<double>(9, 3.5), 1, -1, 0.0, u},
        {false, std::vector<double>(9, 4.0), 0, 18, 0.0, u},
        {true, std::vector<double>(9, 3.5), 0, 18, 0.0, u},
        {true, std::vector<double>(9, 2.9), 1, -1, 0.0, u},
        {false, Balanced(6.0e-06), 0, 20, 6.0e-06, u},
        {false, Balanced(6.7e-06), 0, 18, 6.7e-06, u},
        {false, Balanced(1.2e-05, true), 0, 20, 1.2e-05, u},
        {false, Balanced(1.3e-05, true), 4, -1, 1.3e-05, u},
        {true, Balanced(1.2e-05, true), 0, 20, all(1.2e-05), 1.2e-05},
        {true, Balanced(1.3e-05, true), 4, -1, all(1.3e-05), 1.3e-05},
        {false, close, 1, -1, 0.001 / 3, u},
        {false, {5, 5, 5, 5, 5, std::nan(""), 5, 5, 5, 5}, 1, -1, std::nan(""), u},
        {false, nine, 3, -1, u, u, &CVector::Range, 0.015},
        {false, nine, 3, -1, u, u, &CVector::Azimuth, compensation::kDegToRad},
        {false, nine, 3, -1, u, u, &CVector::Elevation, -compensation::kDegToRad},
        {false, nine, 3, -1, u, u, &CVector::Azimuth, 6.283185307179586 - 1e-4},
        {false, nine, 3, -1, u, u, &CVector::Quality, 50.0},
        {false, nine, 0, 18, 0.0, u, &CVector::Quality, 50.000001},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& test = cases[k];
        Outside outside(test.low, test.distances);
        if (test.field != nullptr) {
            outside.series[8].*test.field = test.value;
        }
        const std::vector<CVector> before = outside.series;
        EXPECT_EQ(outside.Accept(), test.status) << k;
        EXPECT_EQ(outside.count, test.count < 0 ? static_cast<int>(before.size()) : test.count)
            << k;
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(outside.series[i].Quality, before[i].Quality) << k;  // never marked
        }
        if (!std::isnan(test.stdOutside)) {
            EXPECT_NEAR(outside.out.m_dStdOutside, test.stdOutside, 1e-14) << k;
        }
        EXPECT_NEAR(outside.out.m_dStdExtraOutside, test.stdExtra, 1e-14) << k;
    }
}

// After the seven banner lines, in this order with the spread's own lines between, to the end.
TEST(AcceptOutside, TracesItsArgumentsAndResultInOrder) {
    Outside outside(false, std::vector<double>(9, 5.0));
    compensation::testing::ScopedTraceDir dir;
    outside.Accept();
    const auto lines =
        compensation::testing::SplitLines(compensation::testing::ReadFile(dir.file()));
    ASSERT_GT(lines.size(), 7u);
    auto at = lines.begin() + 6;
    for (const char* line :
         {"Entering AcceptOutside ", "   pVecOut ", "       Quality   = 90.000000 ",
          "       pnCountOut = 18", "   pVecNom ", "   pParms ", "Entering MeanStdArray ",
          "Leaving MeanStdArray ", "       pnCountOut = 18", "   pCompOut ",
          "       Leaving AcceptOutside = 0"}) {
        at = std::find(at + 1, lines.end(), line);
        ASSERT_NE(at, lines.end()) << "missing or out of order: \"" << line << "\"";
    }
    EXPECT_EQ(at + 1, lines.end());
}

}  // namespace
