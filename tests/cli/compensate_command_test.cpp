// The compensate command as a user runs it: on the bundled examples, and on broken files.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command_runner.h"
#include "model/mapper_elements.h"
#include "summary.h"
#include "temp_dir.h"

namespace compensation::cli {
namespace {

using testing::ReadFile;
using testing::RunCompensate;
using testing::SourcePath;
using testing::TempDir;
using Json = nlohmann::json;

// The bundled examples and the command that made each (examples/regenerate).
struct Example {
    const char* dir;
    const char* procedure;
    std::vector<std::string> modeArgs;
};

const std::vector<Example>& Examples() {
    static const std::vector<Example> examples = {
        {"quick", "quick", {}},
        {"full", "full", {}},
        {"fullfull0", "fullfull", {"--mode", "0"}},
        {"fullfull1", "fullfull", {"--mode", "1"}},
        {"fullfull2", "fullfull", {"--mode", "2"}},
    };
    return examples;
}

std::vector<std::string> Args(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(CompensateCommand, ExamplesRegenerateByteForByte) {
    const TempDir dir;
    for (const Example& e : Examples()) {
        const std::string out = dir.File(e.dir);
        const auto run = RunCompensate(
            Args({{"simulate", e.procedure},
                  e.modeArgs,
                  {"-d", out, "--seed", "1", "--noise-range", "2e-6", "--noise-angle", "1e-6"}}));
        ASSERT_EQ(run.status, 0) << run.err;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            const std::string bundled = SourcePath("examples/" + std::string(e.dir) + "/" + name);
            EXPECT_TRUE(std::filesystem::exists(bundled)) << bundled;
            EXPECT_TRUE(ReadFile(entry.path().string()) == ReadFile(bundled))
                << name << " of " << e.dir << " differs from the bundled file";
            ++files;
        }
        EXPECT_EQ(files, e.procedure == std::string("quick")  ? 4
                         : e.procedure == std::string("full") ? 5
                         : e.modeArgs[1] == "2"               ? 6
                                                              : 7);
    }
}

TEST(CompensateCommand, EveryExampleSettlesAndWritesItsOutputs) {
    for (const Example& e : Examples()) {
        const TempDir dir;
        const auto run = RunCompensate(
            Args({{e.procedure, "examples/" + std::string(e.dir) + "/scenario.json", "--json",
                   "--trace-dir", dir.path().string(), "-o", dir.File("model.json"), "--result",
                   dir.File("result.json"), "--write-back", dir.File("marked.csv")}}));
        if (run.status != 0) {
            ADD_FAILURE() << e.dir << " exits " << run.status << ": " << run.err
                          << run.out.substr(0, 3000);
            continue;
        }
        const Json result = Json::parse(run.out);
        EXPECT_EQ(result["result"], 0) << e.dir;
        EXPECT_EQ(result["meaning"], "settled");
        EXPECT_TRUE(result["validated"].get<bool>());
        // The model file is the model of the result, and the result file what was printed.
        EXPECT_EQ(Json::parse(ReadFile(dir.File("model.json"))), result["model"]);
        EXPECT_EQ(Json::parse(ReadFile(dir.File("result.json"))), result);
        // The marked file is the source with only the rejected qualities changed.
        const std::string source =
            ReadFile(SourcePath("examples/" + std::string(e.dir) + "/measurements.csv"));
        const std::string marked = ReadFile(dir.File("marked.csv"));
        int mainRejections = 0;
        for (const Json& r : result["rejected"]) {
            mainRejections += r["set"] == "measurements";
        }
        if (mainRejections == 0) {
            EXPECT_EQ(marked, source) << e.dir;
        }
        EXPECT_TRUE(std::filesystem::exists(dir.File("TraceFile.txt")));
        // The printed summary is the validation's, with the record's CONFIDENCE.
        EXPECT_NE(result["summary"].get<std::string>().find(
                      " CONFIDENCE = " + std::to_string(result["confidence"].get<int>())),
                  std::string::npos);
    }
}

// Rebuilds the record from the result's comp_out.
TCompOut RecordOf(const Json& compOut) {
    TCompOut out{};
    out.m_dStdR_fb = compOut["m_dStdR_fb"];
    out.m_dStdAz_fb = compOut["m_dStdAz_fb"];
    out.m_dStdEl_fb = compOut["m_dStdEl_fb"];
    out.m_dStdaxay = compOut["m_dStdaxay"];
    out.m_dStdInside_f_out = compOut["m_dStdInside_f_out"];
    out.m_nConfidence = compOut["m_nConfidence"];
    return out;
}

TEST(CompensateCommand, QuickRecoversTheSimulatedModelAndItsSummaryMatchesTheRecordFormat) {
    const TempDir dir;
    const auto run = RunCompensate(
        {"quick", "examples/quick/scenario.json", "--json", "--trace-dir", dir.path().string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json result = Json::parse(run.out);
    // The quick procedure printed this summary itself; formatting the record it filled must
    // give the same bytes, which is what the full procedures' summaries rely on.
    EXPECT_EQ(result["summary"].get<std::string>(), FormatSummary(RecordOf(result["comp_out"]), 0));

    // The simulated readings carry 2 um and 1 urad of noise on elements of about 1e-3 degrees
    // (1.7e-5 rad): over 144 two-face pairs each fitted element comes back within a few per
    // cent; 10 % leaves room for the seed without letting a wrong sign or element pass.
    const Json truth = Json::parse(ReadFile(SourcePath("examples/quick/true_model.json")));
    int compared = 0;
    for (const MapperElement& element : kMapperElements) {
        const double expected = truth[element.name];
        if (expected != 0.0) {
            EXPECT_NEAR(result["model"][element.name].get<double>(), expected,
                        0.1 * std::abs(expected))
                << element.name;
            ++compared;
        }
    }
    EXPECT_GE(compared, 5);
}

TEST(CompensateCommand, TextOutputShowsTheSummaryAndTheResult) {
    const TempDir dir;
    const auto quick = RunCompensate(
        {"quick", "examples/quick/scenario.json", "--trace-dir", dir.path().string()});
    EXPECT_EQ(quick.status, 0) << quick.err;
    EXPECT_NE(quick.out.find(" QUICK COMP OUTPUT: \n\n FSBS: std(R)  = "), std::string::npos);
    EXPECT_NE(quick.out.find("result 0: settled"), std::string::npos);
    const auto full =
        RunCompensate({"full", "examples/full/scenario.json", "--trace-dir", dir.path().string()});
    EXPECT_EQ(full.status, 0) << full.err;
    EXPECT_NE(full.out.find(" FULL COMP OUTPUT: \n\n"), std::string::npos);
    EXPECT_NE(full.out.find(" std(IN)  = "), std::string::npos);
    EXPECT_EQ(quick.err + full.err, "");
}

// A copy of an example in a temporary directory, to be broken.
struct Workspace {
    TempDir dir;
    std::string scenario;
    explicit Workspace(const std::string& example) {
        for (const auto& entry :
             std::filesystem::directory_iterator(SourcePath("examples/" + example))) {
            std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
        }
        scenario = dir.File("scenario.json");
    }
    // Replaces line `number` (1-based) of a file.
    void ReplaceLine(const std::string& name, int number, const std::string& with) {
        std::istringstream lines(ReadFile(dir.File(name)));
        std::string text;
        int at = 0;
        for (std::string line; std::getline(lines, line);) {
            text += (++at == number ? with : line) + "\n";
        }
        dir.Write(name, text);
    }
    void Replace(const std::string& name, const std::string& from, const std::string& to) {
        std::string text = ReadFile(dir.File(name));
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        dir.Write(name, text);
    }
};

// Runs a broken case: status 2, a message naming file, line and field, and no output written.
void ExpectRefused(Workspace& w, const std::string& procedure,
                   const std::vector<std::string>& extra,
                   const std::vector<std::string>& expected) {
    const std::string sentinel = "untouched";
    w.dir.Write("model_out.json", sentinel);
    std::vector<std::string> args = {procedure,     w.scenario,
                                     "--trace-dir", w.dir.path().string(),
                                     "-o",          w.dir.File("model_out.json"),
                                     "--result",    w.dir.File("result.json")};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto run = RunCompensate(args);
    EXPECT_EQ(run.status, 2) << run.err;
    for (const std::string& text : expected) {
        EXPECT_NE(run.err.find(text), std::string::npos)
            << "missing \"" << text << "\" in " << run.err;
    }
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(w.dir.File("model_out.json")), sentinel);
    EXPECT_FALSE(std::filesystem::exists(w.dir.File("result.json")));
}

TEST(CompensateCommand, BrokenFilesAreRefusedWithTheirLineAndField) {
    {
        Workspace w("quick");
        std::filesystem::remove(w.dir.File("measurements.csv"));
        ExpectRefused(w, "quick", {}, {"measurements.csv: cannot open"});
    }
    {
        Workspace w("quick");
        w.ReplaceLine("measurements.csv", 3, "100,abc,6,5,20,100");
        ExpectRefused(w, "quick", {}, {"measurements.csv, line 3, field \"range\"", "\"abc\""});
    }
    {
        Workspace w("quick");
        w.Replace("measurements.csv", "elevation_deg", "elevation_grad");
        ExpectRefused(w, "quick", {},
                      {"measurements.csv, line 1, field \"elevation_grad\": unknown column"});
    }
    {
        Workspace w("quick");
        w.ReplaceLine("measurements.csv", 4, "100,4.7,36,-25.5,20");
        ExpectRefused(w, "quick", {}, {"measurements.csv, line 4", "fewer fields"});
    }
    {
        Workspace w("quick");
        w.Replace("start_model.json", "\"El_ElC\"", "\"El_ElX\"");
        ExpectRefused(w, "quick", {}, {"start_model.json, line 75, field \"El_ElX\": unknown"});
    }
    {
        Workspace w("quick");
        w.Replace("start_model.json", "  \"A1_dT\": 0.0\n", "  \"zz\": 0.0\n");
        w.Replace("start_model.json", "  \"zz\": 0.0\n", "");
        w.Replace("start_model.json", "0.0,\n}", "0.0\n}");
        ExpectRefused(w, "quick", {}, {"start_model.json, field \"A1_dT\": missing model element"});
    }
    {
        Workspace w("quick");
        w.Replace("measurements.csv", "type,range,azimuth_deg,elevation_deg,t,quality\n14,",
                  "type,range,azimuth_deg,elevation_deg,t,quality\n100,");
        ExpectRefused(w, "quick", {},
                      {"measurements.csv, line 2, field \"type\": no reference view"});
    }
}

TEST(CompensateCommand, InconsistentLayoutsAndPairsAreRefused) {
    {
        Workspace w("full");
        const std::string text = ReadFile(w.dir.File("outside.csv"));
        w.dir.Write("outside.csv", text.substr(0, text.rfind('\n', text.size() - 2) + 1));
        ExpectRefused(w, "full", {}, {"outside.csv, line 20", "odd number of outside"});
    }
    {
        Workspace w("full");
        ExpectRefused(w, "full", {"--d2", "2,17"},
                      {"--d2: d2 pair position 17 is outside a view of 16 targets"});
    }
    {
        Workspace w("fullfull2");
        Json scenario = Json::parse(ReadFile(w.scenario));
        scenario["pairs"]["extra"] = {40, 5};
        w.dir.Write("scenario.json", scenario.dump(2));
        ExpectRefused(w, "fullfull", {}, {"scenario.json, line", "field \"extra\"", "position 40"});
    }
    {
        Workspace w("fullfull0");
        ExpectRefused(w, "fullfull", {"--flying-targets", "7"},
                      {"flying.csv", "do not make whole views of 7"});
    }
    {
        Workspace w("quick");
        ExpectRefused(w, "full", {}, {"scenario.json, field \"procedure\"", "compensate quick"});
    }
}

TEST(CompensateCommand, TheInputModelIsReplacedOnlyWhenAskedFor) {
    Workspace w("quick");
    const std::string model = w.dir.File("start_model.json");
    const std::string before = ReadFile(model);
    const auto refused =
        RunCompensate({"quick", w.scenario, "--trace-dir", w.dir.path().string(), "-o", model});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("would overwrite the input"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(model), before);

    const auto inPlace =
        RunCompensate({"quick", w.scenario, "--trace-dir", w.dir.path().string(), "--in-place"});
    EXPECT_EQ(inPlace.status, 0) << inPlace.err;
    const Json fitted = Json::parse(ReadFile(model));
    EXPECT_NE(fitted["Ax"].get<double>(), 0.0);
    EXPECT_EQ(fitted.size(), 83u);
}

TEST(CompensateCommand, AProcedureThatDoesNotSettleExitsThreeAndKeepsTheModel) {
    // Every reference view turned to the same azimuth: the quick procedure's sector 0 (from
    // -180 to -150 degrees with 12 views) is empty, result 7 + 0.
    Workspace w("quick");
    std::string text = ReadFile(w.dir.File("measurements.csv"));
    std::string fixed;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("14,", 0) == 0) {
            line = "14,1,0,0,20,100";
        }
        fixed += line + "\n";
    }
    w.dir.Write("measurements.csv", fixed);
    w.dir.Write("model_out.json", "untouched");
    const auto run =
        RunCompensate({"quick", w.scenario, "--trace-dir", w.dir.path().string(), "-o",
                       w.dir.File("model_out.json"), "--result", w.dir.File("result.json")});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("result 7: coverage check: azimuth coverage of the reference views: no "
                           "usable reference view in azimuth sector 0 of 12"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("The final validation did not run"), std::string::npos);
    EXPECT_EQ(ReadFile(w.dir.File("model_out.json")), "untouched");
    const Json result = Json::parse(ReadFile(w.dir.File("result.json")));
    EXPECT_EQ(result["result"], 7);
    EXPECT_TRUE(result["confidence"].is_null());
}

TEST(CompensateCommand, CalibrateAppliesAModelAsTheFormulasSay) {
    const TempDir dir;
    Json model = Json::object();
    for (const MapperElement& element : kMapperElements) {
        model[element.name] = 0.0;
    }
    model["D1"] = 1e-4;
    dir.Write("model.json", model.dump());
    dir.Write("m.csv", "type,range,azimuth_deg,elevation_deg,t,quality\n100,2,10,0,20,100\n");
    const auto run = RunCompensate({"calibrate", "-m", dir.File("model.json"), "-i",
                                    dir.File("m.csv"), "-o", dir.File("cal.csv")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = ReadFile(dir.File("cal.csv"));
    ASSERT_EQ(out.rfind("type,range,azimuth_deg,elevation_deg,t,quality,x,y,z\n", 0), 0u);
    std::istringstream row(out.substr(out.find('\n') + 1));
    std::vector<double> v;
    for (std::string cell; std::getline(row, cell, ',');) {
        v.push_back(std::stod(cell));
    }
    ASSERT_EQ(v.size(), 9u);
    // With only D1: dR = D1 cos El = 1e-4 at El = 0; dEl = -2 D1 cos^2(pi/4) / (R k) degrees,
    // applied as dEl k radians = -D1 / R = -5e-5 rad; the azimuth keeps 10 degrees.
    EXPECT_NEAR(v[1], 2.0001, 1e-15);
    // Degrees in and out through the library's own factors, which are not exact inverses.
    EXPECT_EQ(v[2], 10 * 0.01745329251994 * 57.29577951308232);
    EXPECT_NEAR(v[3], -5e-5 * 57.29577951308232, 1e-12);
    // Y = R sin El of the corrected reading.
    EXPECT_NEAR(v[7], 2.0001 * std::sin(-5e-5), 1e-15);

    const auto back = RunCompensate(
        {"calibrate", "--uncalibrate", "-m", dir.File("model.json"), "-i", dir.File("cal.csv")});
    ASSERT_EQ(back.status, 0) << back.err;
    // Uncalibrating evaluates the model at the corrected reading, so the raw reading returns
    // to second order in the correction: (5e-5 rad)^2 scale, far below these bounds.
    std::istringstream raw(back.out.substr(back.out.find('\n') + 1));
    std::vector<double> r;
    for (std::string cell; std::getline(raw, cell, ',');) {
        r.push_back(std::stod(cell));
    }
    ASSERT_EQ(r.size(), 9u);
    EXPECT_NEAR(r[1], 2.0, 1e-12);
    EXPECT_NEAR(r[3], 0.0, 1e-6);
}

TEST(CompensateCommand, TransformRecoversAChosenTransform) {
    // Measured points made from nominal ones with a chosen transform, P' = M P + t, M built
    // row by row from the angles as the transform defines it; the readings carry no model.
    const double a = 0.01, b = -0.02, g = 0.5;
    const double t[3] = {0.1, -0.2, 0.3};
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b),
                 cg = std::cos(g), sg = std::sin(g);
    const double m[3][3] = {{cb * cg, cb * sg, -sb},
                            {sa * sb * cg - ca * sg, sa * sb * sg + ca * cg, sa * cb},
                            {ca * sb * cg + sa * sg, ca * sb * sg - sa * cg, ca * cb}};
    const double points[5][3] = {
        {2, 0.5, 3}, {-1.5, 1, 2.5}, {0.5, -0.8, 4}, {3, 0.2, -1}, {-2, -0.5, -2.5}};
    std::ostringstream nominal, measured;
    nominal << "x,y,z\n";
    measured.precision(17);
    measured << "type,range,azimuth_rad,elevation_rad,t,quality\n";
    for (const auto& p : points) {
        nominal << p[0] << ',' << p[1] << ',' << p[2] << '\n';
        double q[3];
        for (int r = 0; r < 3; ++r) {
            q[r] = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + t[r];
        }
        measured << "100," << std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]) << ','
                 << -std::atan2(q[0], q[2]) << ',' << std::atan2(q[1], std::hypot(q[0], q[2]))
                 << ",20,100\n";
    }
    const TempDir dir;
    dir.Write("nominal.csv", nominal.str());
    dir.Write("measured.csv", measured.str());
    for (const std::vector<std::string>& how :
         {std::vector<std::string>{"--start", "0,0,0.4,0,0,0"}, {"--tooling-balls"}}) {
        const auto run = RunCompensate(Args({{"transform", "--nominal", dir.File("nominal.csv"),
                                              "-i", dir.File("measured.csv"), "--json"},
                                             how}));
        ASSERT_EQ(run.status, 0) << run.err;
        const Json result = Json::parse(run.out);
        EXPECT_EQ(result["status"], 0);
        // Exact data: only rounding (1e-16 relative on metre-sized points) separates the fit
        // from the chosen values; 1e-9 is far above it and far below any wrong solution.
        const Json& fitted = result["transform"];
        EXPECT_NEAR(fitted["Alpha"].get<double>(), a, 1e-9);
        EXPECT_NEAR(fitted["Beta"].get<double>(), b, 1e-9);
        EXPECT_NEAR(fitted["Gamma"].get<double>(), g, 1e-9);
        EXPECT_NEAR(fitted["X"].get<double>(), t[0], 1e-9);
        EXPECT_NEAR(fitted["Y"].get<double>(), t[1], 1e-9);
        EXPECT_NEAR(fitted["Z"].get<double>(), t[2], 1e-9);
        EXPECT_LT(result["rms"].get<double>(), 1e-9);
    }
    // Unequal point counts are bad input.
    dir.Write("short.csv", "x,y,z\n1,2,3\n");
    EXPECT_EQ(RunCompensate(
                  {"transform", "--nominal", dir.File("short.csv"), "-i", dir.File("measured.csv")})
                  .status,
              2);
}

TEST(CompensateCommand, UsageFaultsExitTwo) {
    EXPECT_EQ(RunCompensate({}).status, 2);
    EXPECT_EQ(RunCompensate({"quick"}).status, 2);
    EXPECT_EQ(RunCompensate({"fullfull", "examples/fullfull0/scenario.json", "--mode", "5"}).status,
              2);
    EXPECT_EQ(RunCompensate({"quick", "--no-such-option"}).status, 2);
    const auto help = RunCompensate({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("simulate"), std::string::npos);
    const auto explain = RunCompensate({"explain", "28", "-p", "quick", "--views", "12"});
    EXPECT_EQ(explain.status, 0);
    EXPECT_NE(explain.out.find("quick two-face fit: has not converged (2) + quick interball fit"),
              std::string::npos)
        << explain.out;
}

}  // namespace
}  // namespace compensation::cli
