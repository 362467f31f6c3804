// The command's parts tested on their own: the files it reads and writes, the meaning of
// result codes, and the summary it prints for the full procedures.
#include <compensation_sim/simulator.h>
#include <gtest/gtest.h>

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

TEST(MeasurementCsv, WindowsFilesAreReadAndOnlyChangedQualitiesWrittenBack) {
    const TempDir dir;
    // A byte-order mark, CR LF line ends, blank lines and a padded header name.
    const std::string path =
        dir.Write("m.csv",
                  "\xEF\xBB\xBFtype,quality, range ,azimuth_deg,elevation_deg,t\r\n"
                  "\r\n"
                  "14,100,0,0,0,20.0\r\n"
                  "100,100.0,4.20,12.50,3.1,20.0\r\n"
                  "\n"
                  "200,97,4.20,-167.50,-183.1,20.0\r\n");
    const MeasurementSet set = ReadMeasurements(path, AngleUnit::kUnspecified);
    ASSERT_EQ(set.lines, (std::vector<int>{3, 4, 6}));
    EXPECT_EQ(set.vectors[1].Range, 4.2);
    EXPECT_EQ(set.vectors[1].Azimuth, 12.5 * kDegToRad);  // the library's own product: exact
    std::vector<CVector> after = set.vectors;
    after[2].Quality = 47.0;
    EXPECT_EQ(FormatWithQualities(set, after),
              "type,quality,range,azimuth_deg,elevation_deg,t\n"
              "14,100,0,0,0,20.0\n"
              "100,100.0,4.20,12.50,3.1,20.0\n"
              "200,47,4.20,-167.50,-183.1,20.0\n");

    // Angle columns without a unit are read only when the unit is stated.
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

// Outputs never replace an input by accident and are never left half written.
TEST(OutputFiles, InputsAreProtectedAndACommitRenamesEveryFileOrNone) {
    const TempDir dir;
    const std::string model = dir.Write("model.json", "old");
    OutputFiles planned;
    planned.AddInput(model);
    // The same file under another spelling is still the input.
    EXPECT_THROW(planned.Plan(dir.File("./model.json"), "--output", false), UsageError);
    EXPECT_NO_THROW(planned.Plan(model, "--output", true));
    EXPECT_THROW(planned.Plan(model, "--result", true), UsageError);  // already an output

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

// The library's validation prints the summary itself; formatted from the record it filled,
// every mode must give the same bytes.
TEST(Summary, MatchesWhatTheValidationPrintsInEveryMode) {
    sim::Scenario scenario = sim::MakeScenario("quick");
    for (int mode = 0; mode <= 3; ++mode) {
        // Every spread a mode shows, each a different number that needs all six digits.
        TCompOut out{};
        double TCompOut::*const spreads[] = {
            &TCompOut::m_dStdR_fb,   &TCompOut::m_dStdAz_fb,   &TCompOut::m_dStdEl_fb,
            &TCompOut::m_dStdEl_fbb, &TCompOut::m_dStdOutside, &TCompOut::m_dStdExtraOutside,
            &TCompOut::m_dStdx0y0,   &TCompOut::m_dStdaxay,    &TCompOut::m_dStdIB_fbb,
            &TCompOut::m_dStd2,      &TCompOut::m_dStdExtraIn, &TCompOut::m_dStdInside_f_out};
        for (std::size_t i = 0; i < std::size(spreads); ++i) {
            out.*spreads[i] = (1.2345678 + static_cast<double>(i)) * 2.1e-6;
        }
        CCompensation engine;
        const std::string printed = compensation::testing::CapturedStdout([&] {
            engine.FinalValidate(scenario.main.data(), scenario.nCount(), scenario.nViews,
                                 &scenario.truth, &out, mode, 0);
        });
        EXPECT_EQ(FormatSummary(out, mode), printed) << "mode " << mode;
    }
}

}  // namespace
}  // namespace compensation::cli
