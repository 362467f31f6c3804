// The command's parts tested on their own: the files it reads and writes, the meaning of
// result codes, and the summary it prints for the full procedures.
#include <compensation_sim/simulator.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli_test_support.h"
#include "compensation/engine.h"
#include "engine/constants.h"
#include "input_error.h"
#include "measurement_csv.h"
#include "model/mapper_elements.h"
#include "model_json.h"
#include "output_files.h"
#include "result_codes.h"
#include "summary.h"
#include "support/captured_stdout.h"

namespace compensation::cli {
namespace {

using testing::ReadFile;
using testing::TempDir;

// A byte-order mark, CR LF line ends, blank lines and a padded header name.
const char* const kWindowsCsv =
    "\xEF\xBB\xBFtype,quality, range ,azimuth_deg,elevation_deg,t\r\n"
    "\r\n"
    "14,100,0,0,0,20.0\r\n"
    "100,100.0,4.20,12.50,3.1,20.0\r\n"
    "\n"
    "200,97,4.20,-167.50,-183.1,20.0\r\n";

TEST(MeasurementCsv, AWindowsFileIsReadWithItsLineNumbers) {
    const TempDir dir;
    const MeasurementSet set =
        ReadMeasurements(dir.Write("m.csv", kWindowsCsv), AngleUnit::kUnspecified);
    ASSERT_EQ(set.lines, (std::vector<int>{3, 4, 6}));
    EXPECT_EQ(set.vectors[1].Range, 4.2);
    EXPECT_EQ(set.vectors[1].Azimuth, 12.5 * kDegToRad);  // the library's own product: exact
}

// The rows are written back as they were read but for the qualities that changed.
TEST(MeasurementCsv, OnlyChangedQualitiesAreWrittenBack) {
    const TempDir dir;
    const MeasurementSet set =
        ReadMeasurements(dir.Write("m.csv", kWindowsCsv), AngleUnit::kUnspecified);
    std::vector<CVector> after = set.vectors;
    after[2].Quality = 47.0;
    EXPECT_EQ(FormatWithQualities(set, after),
              "type,quality,range,azimuth_deg,elevation_deg,t\n"
              "14,100,0,0,0,20.0\n"
              "100,100.0,4.20,12.50,3.1,20.0\n"
              "200,47,4.20,-167.50,-183.1,20.0\n");
}

TEST(MeasurementCsv, AngleColumnsWithoutAUnitAreReadOnlyWhenTheUnitIsStated) {
    const TempDir dir;
    const std::string plain =
        dir.Write("plain.csv", "type,range,azimuth,elevation,t,quality\n100,2,1,0.5,0,100\n");
    EXPECT_THROW(ReadMeasurements(plain, AngleUnit::kUnspecified), InputError);
    EXPECT_EQ(ReadMeasurements(plain, AngleUnit::kRadians).vectors[0].Azimuth, 1.0);
}

TEST(ModelJson, EveryElementRoundTripsExactlyUnderItsName) {
    // A different, awkward value per element: a misplaced element cannot go unnoticed.
    TMapper model{};
    for (std::size_t i = 0; i < kMapperElements.size(); ++i) {
        model.*kMapperElements[i].member =
            (static_cast<double>(i) + 0.1) * 1.1e-7 * (i % 2 ? -1 : 1);
    }
    const nlohmann::ordered_json json = ModelToJson(model);
    const TempDir dir;
    const TMapper back = ReadModel(dir.Write("model.json", json.dump(2)));
    for (const MapperElement& element : kMapperElements) {
        EXPECT_EQ(back.*element.member, model.*element.member) << element.name;
    }
}

// Outputs never replace an input by accident: the same file under another spelling is still the
// input, and a file is planned as one output only.
TEST(OutputFiles, AnInputIsReplacedOnlyWhenAllowedAndOnlyOnce) {
    const TempDir dir;
    const std::string model = dir.Write("model.json", "old");
    OutputFiles planned;
    planned.AddInput(model);
    EXPECT_THROW(planned.Plan(dir.File("./model.json"), "--output", false), UsageError);
    EXPECT_NO_THROW(planned.Plan(model, "--output", true));
    EXPECT_THROW(planned.Plan(model, "--result", true), UsageError);
}

// Outputs are never left half written: a commit renames every staged file or none.
TEST(OutputFiles, ACommitRenamesEveryFileOrNone) {
    const TempDir dir;
    const std::string model = dir.Write("model.json", "old");
    const auto entries = [&] {
        return std::distance(std::filesystem::directory_iterator(dir.path), {});
    };
    // The second file cannot be written, so the first, staged before it, is not renamed either.
    OutputFiles failing;
    failing.Stage(model, "new");
    failing.Stage(dir.File("no/such/dir.json"), "x");
    EXPECT_THROW(failing.Commit(), InputError);
    EXPECT_EQ(ReadFile(model), "old");
    EXPECT_EQ(entries(), 1);
    OutputFiles files;
    files.Stage(model, "new model");
    files.Stage(dir.File("result.json"), "result");
    files.Commit();
    EXPECT_EQ(ReadFile(model), "new model");
    EXPECT_EQ(ReadFile(dir.File("result.json")), "result");
    EXPECT_EQ(entries(), 2);
}

TEST(ResultCodes, EachCodeIsTracedToEveryStageThatGivesIt) {
    // Eight quick views: sector 3 spans -45 to 0 degrees and its code is 7 + 3.
    const std::vector<Explanation> gap = ExplainResult(10, Procedure::kQuick, 0, 8);
    ASSERT_EQ(gap.size(), 1u);
    EXPECT_NE(gap[0].parts[0].find("sector 3 of 8 (-45 to 0 degrees"), std::string::npos);
    // 28 = 2 (two-face fit not converged) + 26 (interball fit not converged), and nothing else.
    const std::vector<Explanation> sum = ExplainResult(28, Procedure::kQuick, 0, 8);
    ASSERT_EQ(sum.size(), 1u);
    ASSERT_EQ(sum[0].parts.size(), 2u);
    EXPECT_NE(sum[0].parts[0].find("quick two-face fit: has not converged (2)"), std::string::npos);
    EXPECT_NE(sum[0].parts[1].find("quick interball fit"), std::string::npos);
    EXPECT_TRUE(ExplainResult(4, Procedure::kQuick, 0, 8).empty());

    // Full-full, 11: flying status 2 plus sector 0 (9), or sector 2 alone, which is all that
    // remains in mode 2, without flying views.
    EXPECT_GE(ExplainResult(11, Procedure::kFullFull, 0, 0).size(), 2u);
    const std::vector<Explanation> noFlying = ExplainResult(11, Procedure::kFullFull, 2, 0);
    ASSERT_EQ(noFlying.size(), 1u);
    EXPECT_NE(noFlying[0].parts[0].find("sector 2 of 8"), std::string::npos);
}

// 21 from the full procedure is the interball pairs, the d2 pairs or a joint loop's sum; the
// stage a run reached leaves one, and a stage that names no part leaves them all.
TEST(ResultCodes, TheRunStageGivesAnAmbiguousCodeItsOneMeaning) {
    using compensation::Stage;
    const std::size_t all = ExplainResult(21, Procedure::kFull, 0, 12).size();
    ASSERT_GT(all, 2u);
    const std::vector<Explanation> interball =
        ExplainResult(21, Procedure::kFull, 0, 12, Stage::kTooFewInterballPairs);
    ASSERT_EQ(interball.size(), 1u);
    EXPECT_EQ(interball[0].parts[0].rfind("interball pairs: ", 0), 0u) << interball[0].parts[0];
    const std::vector<Explanation> d2 =
        ExplainResult(21, Procedure::kFull, 0, 12, Stage::kTooFewD2Pairs);
    ASSERT_EQ(d2.size(), 1u);
    EXPECT_EQ(d2[0].parts[0].rfind("d2 pairs: ", 0), 0u) << d2[0].parts[0];
    for (const Explanation& loop :
         ExplainResult(21, Procedure::kFull, 0, 12, Stage::kFinalLoopUnsettled)) {
        EXPECT_EQ(loop.stage.rfind("final joint loop", 0), 0u) << loop.stage;
    }
    EXPECT_EQ(ExplainResult(21, Procedure::kFull, 0, 12, Stage::kSettled).size(), all);
    // Full-full 3: a refused flying set, not the FBB two-face fit of the final loop.
    const std::vector<Explanation> flying =
        ExplainResult(3, Procedure::kFullFull, 0, 0, Stage::kFlyingViewsRefused);
    ASSERT_EQ(flying.size(), 1u);
    EXPECT_EQ(flying[0].stage, "coverage checks");
    EXPECT_EQ(StageNamed(std::string(compensation::StageName(Stage::kTooFewD2Pairs))),
              Stage::kTooFewD2Pairs);
    EXPECT_FALSE(StageNamed("nowhere"));
}

// A dead outside set has its own code, outside every sum, named in words by the full
// procedures only.
static_assert(kNoLiveOutsidePair == compensation::kNoLiveOutsidePair,
              "the tool explains the library's code");
TEST(ResultCodes, ADeadOutsideSetIsNamed) {
    for (const auto& [procedure, mode, fit] :
         {std::tuple{Procedure::kFull, 0, "the D2 fit"},
          std::tuple{Procedure::kFullFull, 0, "the D2 or K_minus fit"},
          std::tuple{Procedure::kFullFull, 2, "the D2 or El_ElC fit"}}) {
        const std::vector<Explanation> dead =
            ExplainResult(kNoLiveOutsidePair, procedure, mode, 16);
        ASSERT_EQ(dead.size(), 1u);
        EXPECT_NE(dead[0].parts[0].find("no usable measurement in"), std::string::npos);
        EXPECT_NE(dead[0].parts[0].find(fit), std::string::npos);
    }
    EXPECT_TRUE(ExplainResult(kNoLiveOutsidePair, Procedure::kQuick, 0, 12).empty());
}

// Fewer than 9 views: the least pair count is the number of views and a view gives one pair at
// most, so the pair classifications can never pass. The explanation says so with the numbers.
TEST(ResultCodes, TooFewPairsSaysWhyFewerThanNineViewsNeverPass) {
    const std::vector<Explanation> eight = ExplainResult(19, Procedure::kFull, 0, 8);
    ASSERT_FALSE(eight.empty());
    EXPECT_EQ(eight[0].stage, "pair classification");
    EXPECT_NE(eight[0].parts[0].find("8 views give at most 8 pairs and more than 8 are needed"),
              std::string::npos)
        << eight[0].parts[0];
    EXPECT_NE(eight[0].parts[0].find("can never pass"), std::string::npos);
    // Twelve views: more than 9 pairs are needed, and twelve can give them.
    const std::vector<Explanation> twelve = ExplainResult(22, Procedure::kFullFull, 0, 12);
    ASSERT_FALSE(twelve.empty());
    EXPECT_NE(twelve[0].parts[0].find("12 views give at most 12 pairs and more than 9 are needed"),
              std::string::npos)
        << twelve[0].parts[0];
    EXPECT_EQ(twelve[0].parts[0].find("never"), std::string::npos);
    // Views unknown: the rule in words.
    const std::string unknown = DescribeResult(19, Procedure::kFull, 0, 0);
    EXPECT_NE(unknown.find("with fewer than 9 views"), std::string::npos) << unknown;
}

// The summary of a validation mode as its reader sees it, rendered here from the record's fields
// without the library's tables: a header, each spread the mode scores in its printed unit with
// the thresholds it is held to, then the score. Numbers in the stream's default format, "%g".
struct SummaryMode {
    const char* name;
    char mode;  // '0' quick, '1' full, '2' full-full, '3' full-full without flying views
    const char* header;
};

struct SpreadLine {
    const char* label;
    double TCompOut::*field;
    double printFactor;      // micron per metre or millidegree per degree
    const char* thresholds;  // "; LTH = ...; UTH = ... (unit) "
    const char* modes;       // the modes that show it
};

// Two-face range 6.35 to 25.4 um, two-face angles 3.27e-6 rad (0.1873571990077792 mdeg) to four
// times that, distances between targets 12.7 to 50.8 um.
constexpr const char* kRange = "; LTH = 6.35; UTH = 25.4 (micron) ";
constexpr const char* kAngle = "; LTH = 0.187357; UTH = 0.749429 (mdeg) ";
constexpr const char* kDistance = "; LTH = 12.7; UTH = 50.8 (micron) ";
const SpreadLine kSpreadLines[] = {
    {" FSBS: std(R)  = ", &TCompOut::m_dStdR_fb, 1e6, kRange, "0123"},
    {" FSBS: std(Az)  = ", &TCompOut::m_dStdAz_fb, 1e3, kAngle, "0123"},
    {" FSBS: std(El)  = ", &TCompOut::m_dStdEl_fb, 1e3, kAngle, "0123"},
    {" std(IB_x0y0)  = ", &TCompOut::m_dStdx0y0, 1e6, kDistance, "123"},
    {" std(IB_axay)  = ", &TCompOut::m_dStdaxay, 1e6, kDistance, "0123"},
    {" std(FS IB)  = ", &TCompOut::m_dStdInside_f_out, 1e6, kDistance, "0123"},
    {" std(IN)  = ", &TCompOut::m_dStd2, 1e6, kDistance, "123"},
    {" std(OUT)  = ", &TCompOut::m_dStdOutside, 1e6, kRange, "123"},
    {" std(ExtraIN)  = ", &TCompOut::m_dStdExtraIn, 1e6, kDistance, "23"},
    {" std(OUT)  = ", &TCompOut::m_dStdExtraOutside, 1e6, kRange, "23"},
    {" FBB FSBS: std(El)  = ", &TCompOut::m_dStdEl_fbb, 1e3, kAngle, "2"},
    {" std(FBB IB)  = ", &TCompOut::m_dStdIB_fbb, 1e6, kDistance, "2"},
};

std::string RenderedSummary(const TCompOut& out, const SummaryMode& mode) {
    std::string text = std::string(mode.header) + "\n\n";
    for (const SpreadLine& line : kSpreadLines) {
        if (std::strchr(line.modes, mode.mode) != nullptr) {
            char number[32];
            std::snprintf(number, sizeof number, "%g", out.*line.field * line.printFactor);
            text += line.label + std::string(number) + line.thresholds + "\n\n";
        }
    }
    return text + " CONFIDENCE = " + std::to_string(out.m_nConfidence) + "\n";
}

const SummaryMode kSummaryModes[] = {{"Quick", '0', " QUICK COMP OUTPUT: "},
                                     {"Full", '1', " FULL COMP OUTPUT: "},
                                     {"FullFull", '2', " COMP COMP OUTPUT: "},
                                     {"FullFullWithoutFlyingViews", '3', " EXP COMP OUTPUT: "}};

void PrintTo(const SummaryMode& mode, std::ostream* os) {
    *os << mode.name;
}

class Summary : public ::testing::TestWithParam<SummaryMode> {
  protected:
    // The record after a validation in this mode: every spread a different number that needs
    // all six digits (the inside spread is the validation's own measurement).
    void Validate() {
        sim::Scenario scenario = sim::MakeScenario("quick");
        double TCompOut::*const spreads[] = {
            &TCompOut::m_dStdR_fb,   &TCompOut::m_dStdAz_fb,   &TCompOut::m_dStdEl_fb,
            &TCompOut::m_dStdEl_fbb, &TCompOut::m_dStdOutside, &TCompOut::m_dStdExtraOutside,
            &TCompOut::m_dStdx0y0,   &TCompOut::m_dStdaxay,    &TCompOut::m_dStdIB_fbb,
            &TCompOut::m_dStd2,      &TCompOut::m_dStdExtraIn, &TCompOut::m_dStdInside_f_out};
        for (std::size_t i = 0; i < std::size(spreads); ++i) {
            out_.*spreads[i] = (1.2345678 + static_cast<double>(i)) * 2.1e-6;
        }
        CCompensation engine;
        printed_ = compensation::testing::CapturedStdout([&] {
            engine.FinalValidate(scenario.main.data(), scenario.nCount(), scenario.nViews,
                                 &scenario.truth, &out_, GetParam().mode - '0', 0);
        });
    }
    TCompOut out_{};
    std::string printed_;
};

TEST_P(Summary, TheValidationPrintsEveryScoredSpreadWithItsThresholds) {
    Validate();
    EXPECT_EQ(printed_, RenderedSummary(out_, GetParam()));
}

TEST_P(Summary, TheToolFormatsTheSummaryTheValidationPrints) {
    Validate();
    EXPECT_EQ(FormatSummary(out_, GetParam().mode - '0'), RenderedSummary(out_, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Modes, Summary, ::testing::ValuesIn(kSummaryModes),
                         [](const ::testing::TestParamInfo<SummaryMode>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace compensation::cli
