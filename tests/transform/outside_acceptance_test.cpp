#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/constants.h"
#include "support/trace_dir.h"
#include "transform_fixtures.h"

namespace {

using namespace transform_test;

constexpr double kUntouched = -777.0;

// The two outside targets (nominal positions) and the placement that carries them to the
// instrument; the first target at index 2 of the nominal array, the second at index 0.
struct Layout {
    std::vector<CVector> nominal;
    TRANSFORM_PARMS placement;
    int first;
    int second;

    CVector Predicted(int index) {
        CTransform transform;
        return *transform.GetNextVector(index, &placement, nominal.data());
    }
};

// Targets at about -0.1 rad and -0.15 rad of elevation, or both near -0.3 rad (a low pair).
Layout MakeLayout(bool low) {
    const double el1 = low ? -0.3 : -0.1;
    const double el2 = low ? -0.28 : -0.15;
    Layout layout;
    layout.nominal = {PointAt(-8 * std::cos(el2) * std::sin(0.7), 8 * std::sin(el2),
                              8 * std::cos(el2) * std::cos(0.7)),
                      PointAt(20, 20, 20), PointAt(0, 10 * std::sin(el1), 10 * std::cos(el1))};
    layout.placement = {};
    layout.first = 2;
    layout.second = 0;
    return layout;
}

// A reading of a predicted target. Its Cartesian fields, from which the distance is taken as
// the host supplied them, are set independently: the first target's readings at the origin,
// the second's at (d, 0, 0), so that each pair measures exactly d.
CVector Hit(const CVector& predicted, double x) {
    CVector v = predicted;
    v.Quality = 90.0;
    v.X = x;
    v.Y = 0.0;
    v.Z = 0.0;
    return v;
}

std::vector<CVector> AlternatingSeries(Layout& layout, const std::vector<double>& distances) {
    const CVector first = layout.Predicted(layout.first);
    const CVector second = layout.Predicted(layout.second);
    std::vector<CVector> series;
    for (double d : distances) {
        series.push_back(Hit(first, 0.0));
        series.push_back(Hit(second, d));
    }
    return series;
}

double SampleSpread(const std::vector<double>& values) {
    double mean = 0.0;
    for (double v : values) {
        mean += v;
    }
    mean /= values.size();
    double squares = 0.0;
    for (double v : values) {
        squares += (v - mean) * (v - mean);
    }
    return std::sqrt(squares / (values.size() - 1));
}

// Ten distances about 5 m whose sample spread is s: five at 5 + a, five at 5 - a.
std::vector<double> Balanced(double s) {
    const double a = s * std::sqrt(0.9);
    std::vector<double> d;
    for (int i = 0; i < 5; ++i) {
        d.push_back(5.0 + a);
        d.push_back(5.0 - a);
    }
    return d;
}

// The balanced ten with a 1 mm outlier in fourth place, which is the pair dropped.
std::vector<double> WithOutlier(double s) {
    std::vector<double> d = Balanced(s);
    d.insert(d.begin() + 3, 5.001);
    return d;
}

std::vector<double> Repeated(double d, int n) {
    return std::vector<double>(n, d);
}

TCompOut Sentinel() {
    TCompOut out;
    std::memset(&out, 0, sizeof out);
    out.m_dStdOutside = kUntouched;
    out.m_dStdExtraOutside = kUntouched;
    return out;
}

TEST(AcceptOutside, StatusCountAndSpreadsFollowTheDistances) {
    const double dropped12 = SampleSpread(Balanced(1.2e-05));
    const double dropped13 = SampleSpread(Balanced(1.3e-05));
    const struct {
        const char* what;
        bool low;
        std::vector<double> distances;
        int status;
        int count;  // -1: unchanged
        double stdOutside;
        double stdExtra;
    } cases[] = {
        {"nine equal pairs", false, Repeated(5.0, 9), 0, 18, 0.0, kUntouched},
        {"eight pairs are too few", false, Repeated(5.0, 8), 3, -1, kUntouched, kUntouched},
        {"3.5 m apart is too close", false, Repeated(3.5, 9), 1, -1, 0.0, kUntouched},
        {"exactly 4.0 m passes", false, Repeated(4.0, 9), 0, 18, 0.0, kUntouched},
        {"a low pair needs only 3.0 m", true, Repeated(3.5, 9), 0, 18, 0.0, kUntouched},
        {"a low pair at 2.9 m is too close", true, Repeated(2.9, 9), 1, -1, 0.0, kUntouched},
        {"spread 6.0e-6 keeps every pair", false, Balanced(6.0e-06), 0, 20,
         SampleSpread(Balanced(6.0e-06)), kUntouched},
        {"spread 6.7e-6 drops one pair", false, Balanced(6.7e-06), 0, 18, -1.0, kUntouched},
        {"outlier dropped, 1.2e-5 left", false, WithOutlier(1.2e-05), 0, 20, dropped12, kUntouched},
        {"outlier dropped, 1.3e-5 left", false, WithOutlier(1.3e-05), 4, -1, dropped13, kUntouched},
        {"a low pair reports the drop separately", true, WithOutlier(1.2e-05), 0, 20,
         SampleSpread(WithOutlier(1.2e-05)), dropped12},
        {"a low pair too wide after the drop", true, WithOutlier(1.3e-05), 4, -1,
         SampleSpread(WithOutlier(1.3e-05)), dropped13},
        {"too close: nothing is dropped",
         false,
         {3.0, 3.0, 3.0, 3.001, 3.0, 3.0, 3.0, 3.0, 3.0},
         1,
         -1,
         SampleSpread({3.0, 3.0, 3.0, 3.001, 3.0, 3.0, 3.0, 3.0, 3.0}),
         kUntouched},
    };
    for (const auto& test : cases) {
        Layout layout = MakeLayout(test.low);
        std::vector<CVector> series = AlternatingSeries(layout, test.distances);
        const std::vector<CVector> before = series;
        int count = static_cast<int>(series.size());
        const int passed = count;
        TCompOut out = Sentinel();
        const TCompOut original = out;
        CCompensation engine;
        EXPECT_EQ(engine.AcceptOutside(series.data(), &count, layout.nominal.data(),
                                       &layout.placement, &out, layout.first, layout.second),
                  test.status)
            << test.what;
        EXPECT_EQ(count, test.count < 0 ? passed : test.count) << test.what;
        for (std::size_t i = 0; i < series.size(); ++i) {
            EXPECT_EQ(series[i].Quality, before[i].Quality) << test.what;
        }
        if (test.status == 3) {
            EXPECT_EQ(std::memcmp(&out, &original, sizeof out), 0) << test.what;
        }
        if (test.stdOutside >= 0.0) {
            // Spreads of distances near 5 m: a few units of rounding of 5 m.
            EXPECT_NEAR(out.m_dStdOutside, test.stdOutside, 1e-14) << test.what;
        } else if (test.stdOutside == kUntouched) {
            EXPECT_EQ(out.m_dStdOutside, kUntouched) << test.what;
        }
        if (test.stdExtra == kUntouched) {
            EXPECT_EQ(out.m_dStdExtraOutside, kUntouched) << test.what;
        } else {
            EXPECT_NEAR(out.m_dStdExtraOutside, test.stdExtra, 1e-14) << test.what;
        }
    }
}

// The tolerances are strict: a reading exactly one tolerance away does not hit. The first
// target is placed at 0.03 m straight ahead, so that its predicted range is exactly twice
// 0.015 and its angles exactly zero: the differences below are exactly the tolerances.
TEST(AcceptOutside, ToleranceBoundariesDoNotMatch) {
    Layout layout = MakeLayout(false);
    layout.nominal[2] = PointAt(0.0, 0.0, 0.03);
    const CVector first = layout.Predicted(2);
    ASSERT_EQ(std::fabs(0.015 - first.Range), 0.015);
    ASSERT_EQ(first.Azimuth, 0.0);
    ASSERT_EQ(first.Elevation, 0.0);

    const struct {
        const char* what;
        double CVector::*field;
        double value;
        int status;
    } cases[] = {
        {"range exactly 0.015 off", &CVector::Range, 0.015, 3},
        {"range 0.0149 off", &CVector::Range, 0.0151, 0},
        {"azimuth exactly one degree off", &CVector::Azimuth, compensation::kDegToRad, 3},
        {"azimuth just inside", &CVector::Azimuth, 0.0174, 0},
        {"elevation exactly one degree off", &CVector::Elevation, -compensation::kDegToRad, 3},
        {"quality exactly 50", &CVector::Quality, 50.0, 3},
        {"quality just above 50", &CVector::Quality, 50.000001, 0},
    };
    for (const auto& test : cases) {
        std::vector<CVector> series = AlternatingSeries(layout, Repeated(5.0, 9));
        series[8].*test.field = test.value;  // the first reading of the fifth pair
        int count = 18;
        TCompOut out = Sentinel();
        CCompensation engine;
        EXPECT_EQ(engine.AcceptOutside(series.data(), &count, layout.nominal.data(),
                                       &layout.placement, &out, layout.first, layout.second),
                  test.status)
            << test.what;
    }
}

// How the scan pairs readings: the first hit on the first target goes with the next hit on the
// second; readings in between are passed over; a reading that starts no pair does not end the
// scan.
TEST(AcceptOutside, ScanPairsEachFirstHitWithTheNextSecondHit) {
    Layout layout = MakeLayout(false);
    const CVector first = layout.Predicted(layout.first);
    const CVector second = layout.Predicted(layout.second);
    CVector stray = Hit(first, 0.0);
    stray.Range += 1.0;

    const struct {
        const char* what;
        std::vector<CVector> unit;  // repeated nine times
        std::vector<CVector> prefix;
    } cases[] = {
        {"a second hit after each pair starts nothing",
         {Hit(first, 0), Hit(second, 5), Hit(second, 6)},
         {}},
        {"a repeated first hit is passed over", {Hit(first, 0), Hit(first, 1), Hit(second, 5)}, {}},
        {"a stray reading before the series",
         {Hit(first, 0), Hit(second, 5)},
         {stray, Hit(second, 5)}},
    };
    for (const auto& test : cases) {
        std::vector<CVector> series = test.prefix;
        for (int k = 0; k < 9; ++k) {
            series.insert(series.end(), test.unit.begin(), test.unit.end());
        }
        int count = static_cast<int>(series.size());
        TCompOut out = Sentinel();
        CCompensation engine;
        EXPECT_EQ(engine.AcceptOutside(series.data(), &count, layout.nominal.data(),
                                       &layout.placement, &out, layout.first, layout.second),
                  0)
            << test.what;
        EXPECT_EQ(count, 18) << test.what;
        // Every accepted pair measured 5 m exactly: the pairing is the documented one.
        EXPECT_EQ(out.m_dStdOutside, 0.0) << test.what;
    }
}

// No wrap of the azimuth: a target predicted just above -pi is not hit by a reading just below
// +pi, 0.0015 rad away on the circle.
TEST(AcceptOutside, AzimuthIsNotWrapped) {
    Layout layout = MakeLayout(false);
    layout.nominal[0] = PointAt(0.01, 0.0, -10.0);
    const CVector second = layout.Predicted(0);
    ASSERT_NEAR(second.Azimuth, -3.141592653589793 + 0.001, 1e-6);
    std::vector<CVector> series = AlternatingSeries(layout, Repeated(5.0, 9));
    for (std::size_t i = 1; i < series.size(); i += 2) {
        series[i].Azimuth = 3.141592653589793 - 0.0005;
    }
    int count = 18;
    TCompOut out = Sentinel();
    CCompensation engine;
    EXPECT_EQ(engine.AcceptOutside(series.data(), &count, layout.nominal.data(), &layout.placement,
                                   &out, layout.first, layout.second),
              3);
}

// Arguments that cannot address their arrays: refused with kInvalidInput before anything is
// read or written. (The nominal array's length is not passed, so a target number beyond its
// end cannot be told from a valid one.)
TEST(AcceptOutside, ArgumentsThatCannotAddressTheirArraysAreRefused) {
    Layout layout = MakeLayout(false);
    std::vector<CVector> series = AlternatingSeries(layout, Repeated(5.0, 9));
    const struct {
        const char* what;
        int count;
        int first;
        int second;
    } cases[] = {
        {"negative first target", 18, -1, 0},
        {"negative second target", 18, 2, -3},
        {"negative count", -2, 2, 0},
    };
    for (const auto& test : cases) {
        int count = test.count;
        TCompOut out = Sentinel();
        const TCompOut original = out;
        CCompensation engine;
        EXPECT_EQ(engine.AcceptOutside(series.data(), &count, layout.nominal.data(),
                                       &layout.placement, &out, test.first, test.second),
                  compensation::kInvalidInput)
            << test.what;
        EXPECT_EQ(count, test.count) << test.what;
        EXPECT_EQ(std::memcmp(&out, &original, sizeof out), 0) << test.what;
    }
    TCompOut out = Sentinel();
    CCompensation engine;
    EXPECT_EQ(engine.AcceptOutside(series.data(), nullptr, layout.nominal.data(), &layout.placement,
                                   &out, 2, 0),
              compensation::kInvalidInput);
    int count = 18;
    EXPECT_EQ(
        engine.AcceptOutside(nullptr, &count, layout.nominal.data(), &layout.placement, &out, 2, 0),
        compensation::kInvalidInput);
    // An empty series is valid: nothing to pair, and the trace does not read a first vector.
    count = 0;
    EXPECT_EQ(
        engine.AcceptOutside(nullptr, &count, layout.nominal.data(), &layout.placement, &out, 2, 0),
        3);
}

// A distance the host's coordinates leave undefined is never accepted.
TEST(AcceptOutside, UndefinedDistanceIsNeverAccepted) {
    Layout layout = MakeLayout(false);
    std::vector<CVector> series = AlternatingSeries(layout, Repeated(5.0, 10));
    series[5].X = std::numeric_limits<double>::quiet_NaN();
    int count = 20;
    TCompOut out = Sentinel();
    CCompensation engine;
    EXPECT_NE(engine.AcceptOutside(series.data(), &count, layout.nominal.data(), &layout.placement,
                                   &out, layout.first, layout.second),
              0);
    EXPECT_EQ(count, 20);
}

TEST(AcceptOutside, TracesItsArgumentsAndResult) {
    Layout layout = MakeLayout(false);
    std::vector<CVector> series = AlternatingSeries(layout, Repeated(5.0, 9));
    int count = 18;
    TCompOut out = Sentinel();
    std::vector<std::string> lines;
    {
        compensation::testing::ScopedTraceDir traceDir;
        CCompensation engine;
        engine.AcceptOutside(series.data(), &count, layout.nominal.data(), &layout.placement, &out,
                             layout.first, layout.second);
        lines = compensation::testing::SplitLines(compensation::testing::ReadFile(traceDir.file()));
    }

    // After the seven banner lines: entry, the arguments in order, the spread's own lines,
    // then the count, the result record and the exit line.
    const std::vector<std::string> expected = {
        "Entering AcceptOutside ",
        "   pVecOut ",
        "       Quality   = 90.000000 ",
        "       pnCountOut = 18",
        "   pVecNom ",
        "   pParms ",
        "Entering MeanStdArray ",
        "Leaving MeanStdArray ",
        "       pnCountOut = 18",
        "   pCompOut ",
        "       Leaving AcceptOutside = 0",
    };
    std::size_t at = 7;
    for (const std::string& line : expected) {
        while (at < lines.size() && lines[at] != line) {
            ++at;
        }
        EXPECT_LT(at, lines.size()) << "missing or out of order: \"" << line << "\"";
        ++at;
    }
    ASSERT_GT(lines.size(), 7u);
    EXPECT_EQ(lines[7], "Entering AcceptOutside ");
    EXPECT_EQ(lines.back(), "       Leaving AcceptOutside = 0");
}

}  // namespace
