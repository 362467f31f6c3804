// The engine's trace byte for byte (service tools parse it), its exception, and the statistics
// and solver behind every fit, against worked values.
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "engine/trace_format.h"
#include "model/mapper_elements.h"
#include "support/trace_dir.h"

namespace {

using compensation::testing::ReadFile;
using namespace compensation::detail;

// A banner per construction; a copy writes none but shares the file.
TEST(EngineTrace, EachConstructionButACopyWritesABanner) {
    const std::regex banner(
        "\\*{22} \nStarted Dll \nDATE \\*{17} \n(0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01])/[0-9]{2} "
        "\nTIME \\*{17} \n([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] \n\\*{22} \n");
    compensation::testing::ScopedTraceDir trace;
    CCompensation first;
    const std::string one = ReadFile(trace.file());
    EXPECT_TRUE(std::regex_match(one, banner)) << one;
    CCompensation copy(first);
    EXPECT_TRUE(std::regex_match(ReadFile(trace.file()), banner));
    CCompensation second;
    EXPECT_TRUE(std::regex_match(ReadFile(trace.file()).substr(one.size()), banner));
}

// A refused call traces its entry only (an accepted call's lines are the trace session tests').
TEST(EngineTrace, ARefusedCallTracesItsEntryOnly) {
    compensation::testing::ScopedTraceDir trace;
    CCompensation engine;
    double values[] = {1.0}, mean = 0.0, spread = 0.0;
    int worst = -1;
    const std::size_t before = ReadFile(trace.file()).size();
    ASSERT_EQ(engine.MeanStdArray(values, 0, &mean, &spread, &worst), 1);
    EXPECT_EQ(ReadFile(trace.file()).substr(before), "Entering MeanStdArray \n");
}

TEST(EngineDefaults, PairsMustNumberMoreThanSix) {
    EXPECT_EQ(CCompensation().m_nMinCount, 6);
}

// The message buffer keeps 255 characters; an unknown resource id gives no text.
TEST(QuorException, KeepsTheFirst255Characters) {
    const std::string kept(255, 'x');
    const CQuorException e(kept + "yz");
    EXPECT_EQ(e.ErrorString(), kept);
    EXPECT_EQ(CQuorException(e).ErrorString(), kept);
    EXPECT_STREQ(CQuorException(123456u).ErrorString(), "");
}

// Averages over [first, last) by its signed length: an empty range is 0 / 0, a reversed one
// divides by -1.
TEST(Statistics, AveragesAreOverASignedRange) {
    compensation::testing::ScopedTraceDir trace;
    CCompensation engine;
    double a[] = {9.0, 1.0, 2.0, 6.0, 100.0}, b[] = {9.0, 3.0, -1.0, 0.5, 100.0};
    EXPECT_EQ(engine.Average(a, 1, 4), 3.0);
    EXPECT_EQ(engine.AverageProduct(a, b, 1, 4), (3.0 - 2.0 + 3.0) / 3.0);
    EXPECT_TRUE(std::isnan(engine.Average(a, 3, 3)));
    EXPECT_TRUE(std::signbit(engine.Average(a, 4, 3)));
}

// MeanStdArray's worst index keeps the earlier of a tie, and below one element it returns 1 and
// writes nothing.
TEST(Statistics, MeanStdArrayWorkedValues) {
    compensation::testing::ScopedTraceDir trace;
    CCompensation engine;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Four units in the last place, as the worked values are rounded once or twice; NaN as NaN.
    auto near = [](double x, double y) {
        return std::isnan(y) ? std::isnan(x) : std::fabs(x - y) <= 4 * DBL_EPSILON * std::fabs(y);
    };
    const struct {
        std::vector<double> values;
        int n, code;
        double mean, spread;
        int worst;
    } cases[] = {
        // Mean 5, squared deviations 9+1+1+1+0+0+4+16 = 32: spread sqrt(32 / 7).
        {{2, 4, 4, 4, 5, 5, 7, 9}, 8, 0, 5.0, std::sqrt(32.0 / 7.0), 7},
        {{1, 3}, 2, 0, 2.0, std::sqrt(2.0), 0},
        {{4}, 1, 0, 4.0, nan, 0},  // the sample spread 0 / 0
        {{4}, 0, 1, -1.0, -1.0, -7},
        {{4}, -3, 1, -1.0, -1.0, -7},
        {{1, nan, 3}, 3, 0, nan, nan, 0},
    };
    for (const auto& c : cases) {
        std::vector<double> values = c.values;
        double mean = -1.0, spread = -1.0;
        int worst = -7;
        EXPECT_EQ(engine.MeanStdArray(values.data(), c.n, &mean, &spread, &worst), c.code) << c.n;
        EXPECT_TRUE(near(mean, c.mean) && near(spread, c.spread)) << c.n;
        EXPECT_EQ(worst, c.worst) << c.n;
    }
}

// The worked {4,2;2,3} system, the last variable eliminated first: b and A are reduced in place.
// x1 = 0.5 and x2 = 0 come out of one elimination step, each to its last bit.
TEST(LinearSolver, SolvesTheWorkedSystemEliminatingTheLastVariableFirst) {
    double a2[] = {4.0, 2.0, 2.0, 3.0}, b2[] = {2.0, 1.0}, x2[] = {-1.0, -1.0};
    CTransform().SysLinEq(2, a2, b2, x2);
    EXPECT_DOUBLE_EQ(x2[0], 0.5);
    EXPECT_NEAR(x2[1], 0.0, 1e-16);
    EXPECT_DOUBLE_EQ(b2[0], 2.0 - 2.0 * 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(a2[0], 4.0 - 2.0 * 2.0 / 3.0);
}

// A chosen x through A = J^T J: the condition is about 30, so rounding stays near 30 x 1e-16;
// 1e-13 is ample and far below any wrong solution.
TEST(LinearSolver, GivesBackAChosenSolutionOfNormalEquations) {
    const double J[20] = {1.0, 0.2, -0.3, 0.1,  0.4, 1.5, 0.2, -0.2, -0.1, 0.3,
                          2.0, 0.5, 0.2,  -0.4, 0.1, 1.2, 0.5, 0.5,  0.5,  0.5};  // 5 rows of 4
    const double truth[4] = {0.7, -1.3, 2.5, 0.04};
    double a[16] = {}, b[4] = {}, x[4] = {};
    for (int k = 0; k < 80; ++k) {  // k = (row r, column c, design row)
        const int r = k / 20, c = k / 5 % 4, row = k % 5;
        a[r * 4 + c] += J[row * 4 + r] * J[row * 4 + c];
        b[r] += J[row * 4 + r] * J[row * 4 + c] * truth[c];
    }
    CTransform().SysLinEq(4, a, b, x);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(x[i], truth[i], 1e-13) << i;
    }
}

// A zero row and column leave a variable undetermined: no finite solution.
TEST(LinearSolver, AnUndeterminedSystemHasNoFiniteSolution) {
    double s[] = {2.0, 0.0, 0.0, 0.0}, t[] = {1.0, 0.0}, x[2] = {};
    CTransform().SysLinEq(2, s, t, x);
    EXPECT_FALSE(std::isfinite(x[0]) && std::isfinite(x[1]));
}

// A missing record: its title only.
TEST(TraceFormat, AMissingRecordShowsItsTitleOnly) {
    EXPECT_EQ(TraceVectorLines("p", nullptr) + TraceTransformLines("p", nullptr) +
                  TraceCompOutLines("p", nullptr) + TraceMapperLines("p", nullptr),
              "   p \n   p \n   p \n   p \n");
}

// The first vector only, without T, and "Elivation" as service tools know it.
TEST(TraceFormat, VectorLinesShowTheFirstVectorWithoutT) {
    CVector v[2];
    v[0].Quality = 99.5, v[0].Range = 4.25, v[0].Azimuth = -0.125, v[0].Elevation = 1.5;
    v[0].X = -1.0, v[0].Y = 2.0, v[0].Z = 3.14159265, v[0].T = 777.0;
    v[0].Type = 200, v[0].FSBS = -1, v[0].Radian = true, v[1].Quality = 55.0;
    // clang-format off
    EXPECT_EQ(TraceVectorLines("pVec", v),
    "   pVec \n"
    "       Quality   = 99.500000 \n" "       Range     = 4.250000 \n"
    "       Azimuth   = -0.125000 \n" "       Elivation = 1.500000 \n"
    "       X         = -1.000000 \n" "       Y         = 2.000000 \n"
    "       Z         = 3.141593 \n"  "       Type      = 200 \n"
    "       FSBS      = -1 \n"        "       Radian    = 1 \n");
    // clang-format on
}

TEST(TraceFormat, TransformLinesShowTheSixParameters) {
    TRANSFORM_PARMS p{0.5, -0.25, 1.0, 10.0, -20.0, 0.000125};
    // clang-format off
    EXPECT_EQ(TraceTransformLines("pParms", &p),
    "   pParms \n"
    "       Alpha = 0.500000 \n" "       Beta  = -0.250000 \n" "       Gamma = 1.000000 \n"
    "       X     = 10.000000 \n" "       Y     = -20.000000 \n" "       Z     = 0.000125 \n");
    // clang-format on
}

// A diverged fit may trace values of any size: "%f" of 1e300 has 301 digits.
TEST(TraceFormat, AHugeValueIsPrintedWhole) {
    TRANSFORM_PARMS p{1e300, 0.0, 0.0, 0.0, 0.0, 0.0};
    const std::string text = TraceTransformLines("pParms", &p);
    const std::string alpha = text.substr(text.find("Alpha = ") + 8);
    EXPECT_EQ(alpha.find(".000000 \n"), 301u);
    EXPECT_EQ(alpha.substr(0, 3), "100");
}

// The record dumps print their doubles with AppendFixed, which must give printf's "%f" bytes
// for every value: ties at the sixth place (dyadic values such as 2^-7 = 0.0078125 round to
// even), carries into the whole part, signed zeros and tiny negatives ("-0.000000"), the
// subnormals, both sides of the 1e12 limit, the non-finite values, and random bit patterns of
// every magnitude up to 2^50.
TEST(TraceFormat, FixedValuesAreWhatPrintfPrints) {
    const auto printed = [](double value) {
        char text[400];
        std::snprintf(text, sizeof text, "%f", value);
        return std::string(text);
    };
    const auto fixed = [](double value) {
        std::string out;
        AppendFixed(out, value);
        return out;
    };
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.0078125,
                                  0.0234375,
                                  -0.0078125,
                                  2.5e-7,
                                  5e-7,
                                  4.9999999999999998e-7,
                                  -5e-7,
                                  0.9999995,
                                  -9.9999995,
                                  999999.9999995,
                                  123456.123456789,
                                  -1e-300,
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  DBL_MIN,
                                  1e12,
                                  std::nextafter(1e12, 0.0),
                                  -std::nextafter(1e12, 0.0),
                                  std::ldexp(1.0, 40),
                                  1e15 + 0.5,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    // Every multiple of 2^-7 up to 64: a tie at the sixth place whenever the seventh is 5.
    for (int k = -8192; k <= 8192; ++k) {
        values.push_back(k / 128.0);
    }
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (int i = 0; i < 200000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // A random mantissa and sign, an exponent from 2^-60 to 2^50.
        const double mantissa = 1.0 + static_cast<double>(state >> 12) / 4503599627370496.0;
        const int exponent = static_cast<int>(state % 111) - 60;
        values.push_back((state & 1U) != 0 ? -std::ldexp(mantissa, exponent)
                                           : std::ldexp(mantissa, exponent));
    }
    for (const double value : values) {
        ASSERT_EQ(fixed(value), printed(value)) << std::hexfloat << value;
    }
}

// A host may set a C locale whose decimal point is a comma: the trace then prints what printf
// prints there. Needs such a locale installed; skipped where none is.
TEST(TraceFormat, FixedValuesFollowTheCLocalesDecimalPoint) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = std::localeconv()->decimal_point[0] == ',';
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_NUMERIC, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    std::string out;
    AppendFixed(out, 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(out, "1,500000");
}

// Distinct values in every field (record order) show an omitted or misplaced one: the doubles
// 0.5, 1.5, ..., the ints 100, 101, ..., element k of the model table k + 0.25.
TEST(TraceFormat, ResultRecordAndModelShowTheirOwnFields) {
    double TCompOut::*const doubles[] = {
        &TCompOut::m_dStdR_fb,     &TCompOut::m_dStdAz_fb,        &TCompOut::m_dStdEl_fb,
        &TCompOut::m_dStdR_fbb,    &TCompOut::m_dStdAz_fbb,       &TCompOut::m_dStdEl_fbb,
        &TCompOut::m_dStdOutside,  &TCompOut::m_dStdExtraOutside, &TCompOut::m_dStdInside_f,
        &TCompOut::m_dStdInside_b, &TCompOut::m_dStdInside_f_out, &TCompOut::m_dStdInside_b_out,
        &TCompOut::m_dStdx0y0,     &TCompOut::m_dStdaxay,         &TCompOut::m_dStdIB_fbb,
        &TCompOut::m_dStd2,        &TCompOut::m_dStdExtraIn,      &TCompOut::m_dDd2_model,
        &TCompOut::m_dDx0y0_model, &TCompOut::m_dDaxay_model,     &TCompOut::m_dDd2,
        &TCompOut::m_dDx0y0,       &TCompOut::m_dDaxay,           &TCompOut::m_dDcm};
    std::int32_t TCompOut::*const ints[] = {
        &TCompOut::m_n1_d2,       &TCompOut::m_n2_d2,      &TCompOut::m_n1_x0y0,
        &TCompOut::m_n2_x0y0,     &TCompOut::m_n1_axay,    &TCompOut::m_n2_axay,
        &TCompOut::m_n1_extra,    &TCompOut::m_n2_extra,   &TCompOut::m_n_f,
        &TCompOut::m_n_b,         &TCompOut::m_n_f_out,    &TCompOut::m_n_b_out,
        &TCompOut::m_nConfidence, &TCompOut::m_nInlineView};
    TCompOut c{};
    for (std::size_t i = 0; i < std::size(doubles); ++i) {
        c.*doubles[i] = static_cast<double>(i) + 0.5;
    }
    for (std::size_t i = 0; i < std::size(ints); ++i) {
        c.*ints[i] = 100 + static_cast<std::int32_t>(i);
    }
    TMapper m{};
    for (std::size_t i = 0; i < compensation::kMapperElements.size(); ++i) {
        m.*compensation::kMapperElements[i].member = static_cast<double>(i) + 0.25;
    }
    // clang-format off
    EXPECT_EQ(TraceCompOutLines("pCompOut", &c),
    "   pCompOut \n"
    "       m_dStdR_fb         = 0.500000 \n"  "       m_dStdAz_fb        = 1.500000 \n"
    "       m_dStdEl_fb        = 2.500000 \n"  "       m_dStdOutside      = 6.500000 \n"
    "       m_dStdInside_f     = 8.500000 \n"  "       m_dStdInside_b     = 9.500000 \n"
    "       m_dStdInside_f_out = 10.500000 \n" "       m_dStdInside_b_out = 11.500000 \n"
    "       m_dStdx0y0         = 12.500000 \n" "       m_dStdaxay         = 13.500000 \n"
    "       m_dStd2            = 15.500000 \n" "       m_dDd2_model       = 17.500000 \n"
    "       m_dDx0y0_model     = 18.500000 \n" "       m_dDaxay_model     = 19.500000 \n"
    "       m_dDd2             = 20.500000 \n" "       m_dDx0y0           = 21.500000 \n"
    "       m_dDaxay           = 22.500000 \n" "       m_n1_d2            = 100 \n"
    "       m_n2_d2            = 101 \n"       "       m_n1_x0y0          = 102 \n"
    "       m_n2_x0y0          = 103 \n"       "       m_n1_axay          = 104 \n"
    "       m_n2_axay          = 105 \n"       "       m_n_f              = 108 \n"
    "       m_n_b              = 109 \n"       "       m_n_f_out          = 110 \n"
    "       m_n_b_out          = 111 \n");
    // Twenty-two elements, each with its own spacing.
    EXPECT_EQ(TraceMapperLines("pMap", &m),
    "   pMap \n"
    "       A1      = 0.250000 \n"  "       A2      = 13.250000 \n" "       A3      = 18.250000 \n"
    "       Ax      = 31.250000 \n" "       Ay      = 32.250000 \n" "       D1      = 33.250000 \n"
    "       D2      = 34.250000 \n" "       X0      = 37.250000 \n" "       Y0      = 38.250000 \n"
    "       Az_AzC  = 39.250000 \n" "       Az_AzS  = 40.250000 \n" "       Az_2AzC = 41.250000 \n"
    "       Az_2AzS = 42.250000 \n" "       El_2AzC = 51.250000 \n" "       El_2AzS = 52.250000 \n"
    "       El_ElS  = 57.250000 \n" "       Az_3AzC = 43.250000 \n" "       Az_3AzS = 44.250000 \n"
    "       A_plus = 59.250000 \n"  "       A_minus = 62.250000 \n" "       B_plus = 58.250000 \n"
    "       B_minus = 61.250000 \n");
    // clang-format on
}

}  // namespace
