// The summary printed for the full procedures, from the record they filled.
#include "summary.h"

#include <gtest/gtest.h>

#include <compensation_sim/simulator.h>

#include <iostream>
#include <sstream>

#include "compensation/engine.h"

namespace compensation::cli {
namespace {

TEST(Summary, QuickModeShowsFiveTermsInTheValidationsOwnFormat) {
    TCompOut out{};
    out.m_dStdR_fb = 3.2e-06;         // prints 3.2 micron
    out.m_dStdAz_fb = 0.0001;         // 0.1 mdeg
    out.m_dStdEl_fb = 0.00012345678;  // six significant digits: 0.123457
    out.m_dStdaxay = 1e-05;           // 10 micron
    out.m_dStdInside_f_out = 2.5e-06;
    out.m_dStdx0y0 = 9.0;  // not a quick term: never shown
    out.m_nConfidence = 87;
    EXPECT_EQ(FormatSummary(out, 0),
              " QUICK COMP OUTPUT: \n\n"
              " FSBS: std(R)  = 3.2; LTH = 6.35; UTH = 25.4 (micron) \n\n"
              " FSBS: std(Az)  = 0.1; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " FSBS: std(El)  = 0.123457; LTH = 0.187357; UTH = 0.749429 (mdeg) \n\n"
              " std(IB_axay)  = 10; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " std(FS IB)  = 2.5; LTH = 12.7; UTH = 50.8 (micron) \n\n"
              " CONFIDENCE = 87\n");
}

TEST(Summary, EachFullModeShowsItsTermsInOrder) {
    TCompOut out{};
    out.m_nConfidence = 98;
    const auto labels = [&](int mode) {
        std::string text = FormatSummary(out, mode);
        std::vector<std::string> found;
        std::size_t at = 0;
        while ((at = text.find("  = ", at)) != std::string::npos) {
            const std::size_t start = text.rfind("\n", at) + 1;
            found.push_back(text.substr(start, at - start));
            at += 4;
        }
        return std::make_pair(text.substr(0, text.find('\n')), found);
    };
    const auto full = labels(1);
    EXPECT_EQ(full.first, " FULL COMP OUTPUT: ");
    EXPECT_EQ(full.second, (std::vector<std::string>{
                               " FSBS: std(R)", " FSBS: std(Az)", " FSBS: std(El)", " std(IB_x0y0)",
                               " std(IB_axay)", " std(FS IB)", " std(IN)", " std(OUT)"}));
    const auto compComp = labels(2);
    EXPECT_EQ(compComp.first, " COMP COMP OUTPUT: ");
    EXPECT_EQ(compComp.second.size(), 12u);
    EXPECT_EQ(compComp.second[10], " FBB FSBS: std(El)");
    const auto exp = labels(3);
    EXPECT_EQ(exp.first, " EXP COMP OUTPUT: ");
    EXPECT_EQ(exp.second.size(), 10u);
    EXPECT_EQ(exp.second[9], " std(OUT)");
}

// The library's own validation prints the summary when asked; formatted from the record it
// filled, every mode must give the same bytes.
TEST(Summary, MatchesWhatTheValidationPrintsInEveryMode) {
    sim::Scenario scenario = sim::MakeScenario("quick");
    for (int mode = 0; mode <= 3; ++mode) {
        TCompOut out{};
        // Distinct spreads, some within and some beyond their thresholds, so that every term
        // prints a different number and the score moves.
        out.m_dStdR_fb = 3.1e-06;
        out.m_dStdAz_fb = 0.00021;
        out.m_dStdEl_fb = 0.0009;
        out.m_dStdEl_fbb = 0.00011;
        out.m_dStdOutside = 7.7e-06;
        out.m_dStdExtraOutside = 1.3e-06;
        out.m_dStdx0y0 = 1.1e-05;
        out.m_dStdaxay = 2.9e-05;
        out.m_dStdIB_fbb = 4.4e-06;
        out.m_dStd2 = 6.1e-05;
        out.m_dStdExtraIn = 1.9e-05;
        std::ostringstream printed;
        std::streambuf* saved = std::cout.rdbuf(printed.rdbuf());
        CCompensation engine;
        engine.FinalValidate(scenario.main.data(), scenario.nCount(), scenario.nViews,
                             &scenario.truth, &out, mode, 0);
        std::cout.rdbuf(saved);
        EXPECT_EQ(FormatSummary(out, mode), printed.str()) << "mode " << mode;
    }
}

}  // namespace
}  // namespace compensation::cli
