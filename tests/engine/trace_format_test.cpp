// The trace file's lines, byte for byte: service tools parse them.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/trace_format.h"

namespace {

using compensation::detail::TraceCompOutLines;
using compensation::detail::TraceIntLine;
using compensation::detail::TraceMapperLines;
using compensation::detail::TraceTextLine;
using compensation::detail::TraceTransformLines;
using compensation::detail::TraceVectorLines;

TEST(TraceFormat, TextLinesEndWithABlankAndIntegerLinesDoNot) {
    EXPECT_EQ(TraceTextLine("Entering AcceptViews"), "Entering AcceptViews \n");
    EXPECT_EQ(TraceTextLine(""), " \n");
    EXPECT_EQ(TraceIntLine("nCount", 42), "       nCount = 42\n");
    EXPECT_EQ(TraceIntLine("Leaving AcceptViews", -100), "       Leaving AcceptViews = -100\n");
}

TEST(TraceFormat, VectorShowsTheFirstVectorWithoutT) {
    CVector v[2];
    v[0].Quality = 99.5, v[0].Range = 4.25, v[0].Azimuth = -0.125, v[0].Elevation = 1.5;
    v[0].X = -1.0, v[0].Y = 2.0, v[0].Z = 3.14159265, v[0].T = 777.0;
    v[0].Type = 200, v[0].FSBS = -1, v[0].Radian = true;
    v[1].Quality = 55.0;
    EXPECT_EQ(TraceVectorLines("pVec", v),
              "   pVec \n"
              "       Quality   = 99.500000 \n"
              "       Range     = 4.250000 \n"
              "       Azimuth   = -0.125000 \n"
              "       Elivation = 1.500000 \n"
              "       X         = -1.000000 \n"
              "       Y         = 2.000000 \n"
              "       Z         = 3.141593 \n"
              "       Type      = 200 \n"
              "       FSBS      = -1 \n"
              "       Radian    = 1 \n");
    v[0].Radian = false;
    EXPECT_NE(TraceVectorLines("pVec", v).find("       Radian    = 0 \n"), std::string::npos);
}

TEST(TraceFormat, TransformShowsItsSixParameters) {
    TRANSFORM_PARMS p{0.5, -0.25, 1.0, 10.0, -20.0, 0.000125};
    EXPECT_EQ(TraceTransformLines("pParms", &p),
              "   pParms \n"
              "       Alpha = 0.500000 \n"
              "       Beta  = -0.250000 \n"
              "       Gamma = 1.000000 \n"
              "       X     = 10.000000 \n"
              "       Y     = -20.000000 \n"
              "       Z     = 0.000125 \n");
}

TEST(TraceFormat, ResultRecordShowsOnlyTheProcedureFields) {
    // Every field a distinct value: doubles i + 0.5 and ints 100 + i in record order, so an
    // omitted or misplaced field shows.
    TCompOut c;
    double* doubles = reinterpret_cast<double*>(&c);
    for (int i = 0; i < 24; ++i) {
        doubles[i] = i + 0.5;
    }
    std::int32_t* ints = &c.m_n1_d2;
    for (int i = 0; i < 14; ++i) {
        ints[i] = 100 + i;
    }
    EXPECT_EQ(TraceCompOutLines("pCompOut", &c),
              "   pCompOut \n"
              "       m_dStdR_fb         = 0.500000 \n"
              "       m_dStdAz_fb        = 1.500000 \n"
              "       m_dStdEl_fb        = 2.500000 \n"
              "       m_dStdOutside      = 6.500000 \n"
              "       m_dStdInside_f     = 8.500000 \n"
              "       m_dStdInside_b     = 9.500000 \n"
              "       m_dStdInside_f_out = 10.500000 \n"
              "       m_dStdInside_b_out = 11.500000 \n"
              "       m_dStdx0y0         = 12.500000 \n"
              "       m_dStdaxay         = 13.500000 \n"
              "       m_dStd2            = 15.500000 \n"
              "       m_dDd2_model       = 17.500000 \n"
              "       m_dDx0y0_model     = 18.500000 \n"
              "       m_dDaxay_model     = 19.500000 \n"
              "       m_dDd2             = 20.500000 \n"
              "       m_dDx0y0           = 21.500000 \n"
              "       m_dDaxay           = 22.500000 \n"
              "       m_n1_d2            = 100 \n"
              "       m_n2_d2            = 101 \n"
              "       m_n1_x0y0          = 102 \n"
              "       m_n2_x0y0          = 103 \n"
              "       m_n1_axay          = 104 \n"
              "       m_n2_axay          = 105 \n"
              "       m_n_f              = 108 \n"
              "       m_n_b              = 109 \n"
              "       m_n_f_out          = 110 \n"
              "       m_n_b_out          = 111 \n");
}

TEST(TraceFormat, ModelShowsTwentyTwoElementsWithTheirOwnSpacing) {
    // Element i holds i + 0.25, so each line shows which element it read.
    TMapper m;
    double* elements = reinterpret_cast<double*>(&m);
    for (int i = 0; i < 83; ++i) {
        elements[i] = i + 0.25;
    }
    EXPECT_EQ(TraceMapperLines("pMap", &m),
              "   pMap \n"
              "       A1      = 0.250000 \n"
              "       A2      = 13.250000 \n"
              "       A3      = 18.250000 \n"
              "       Ax      = 31.250000 \n"
              "       Ay      = 32.250000 \n"
              "       D1      = 33.250000 \n"
              "       D2      = 34.250000 \n"
              "       X0      = 37.250000 \n"
              "       Y0      = 38.250000 \n"
              "       Az_AzC  = 39.250000 \n"
              "       Az_AzS  = 40.250000 \n"
              "       Az_2AzC = 41.250000 \n"
              "       Az_2AzS = 42.250000 \n"
              "       El_2AzC = 51.250000 \n"
              "       El_2AzS = 52.250000 \n"
              "       El_ElS  = 57.250000 \n"
              "       Az_3AzC = 43.250000 \n"
              "       Az_3AzS = 44.250000 \n"
              "       A_plus = 59.250000 \n"
              "       A_minus = 62.250000 \n"
              "       B_plus = 58.250000 \n"
              "       B_minus = 61.250000 \n");
}

TEST(TraceFormat, MissingRecordsPrintTheirTitleAndHugeValuesPrintWhole) {
    EXPECT_EQ(TraceVectorLines("pVec", nullptr), "   pVec \n");
    EXPECT_EQ(TraceTransformLines("pParms", nullptr), "   pParms \n");
    EXPECT_EQ(TraceCompOutLines("pCompOut", nullptr), "   pCompOut \n");
    EXPECT_EQ(TraceMapperLines("pMap", nullptr), "   pMap \n");
    EXPECT_EQ(TraceTextLine(nullptr), " \n");

    // A diverged fit may trace values of any size; "%f" of 1e300 has 301 digits.
    TRANSFORM_PARMS p{1e300, 0.0, 0.0, 0.0, 0.0, 0.0};
    const std::string text = TraceTransformLines("pParms", &p);
    const std::string alpha = text.substr(text.find("Alpha = ") + 8);
    EXPECT_EQ(alpha.find(".000000 \n"), 301u);
    EXPECT_EQ(alpha.substr(0, 3), "100");
}

}  // namespace
