// The compensate command as a user runs it: on the bundled examples, and on broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <utility>
#include <vector>

#include "cli_test_support.h"
#include "support/trace_dir.h"
#include "transform/transform_fixtures.h"

namespace compensation::cli {
namespace {

using testing::NativePath;
using testing::ReadFile;
using testing::RunCompensate;
using testing::TempDir;
using Json = nlohmann::json;
using Args = std::vector<std::string>;

const std::string kExamples = NativePath(COMPENSATE_SOURCE_DIR "/examples/");

Args Join(Args first, const Args& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Every file of a directory, by name, with its content.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        files[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
    return files;
}

// Whether the files have the same names and texts, each number within the relative tolerance.
[[maybe_unused]] bool SameWithin(const std::map<std::string, std::string>& a,
                                 const std::map<std::string, std::string>& b, double tolerance) {
    const std::regex number(R"([-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)");
    const auto numbers = [&](const std::string& text) {
        std::vector<double> values;
        for (std::sregex_iterator i(text.begin(), text.end(), number), end; i != end; ++i) {
            values.push_back(std::stod(i->str()));
        }
        return std::pair(std::regex_replace(text, number, "#"), values);
    };
    if (a.size() != b.size()) {
        return false;
    }
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        const auto [textA, valuesA] = numbers(i->second);
        const auto [textB, valuesB] = numbers(j->second);
        if (i->first != j->first || textA != textB || valuesA.size() != valuesB.size()) {
            return false;
        }
        for (std::size_t k = 0; k < valuesA.size(); ++k) {
            const double x = valuesA[k], y = valuesB[k];
            if (std::abs(x - y) > tolerance * std::max(std::abs(x), std::abs(y))) {
                return false;
            }
        }
    }
    return true;
}

// Copies an example into `dir` with every match of `pattern` in `file` replaced.
void CopyExample(const TempDir& dir, const std::string& example, const std::string& file = "",
                 const std::string& pattern = "", const std::string& replacement = "") {
    std::filesystem::copy(kExamples + example, dir.path);
    if (!file.empty()) {
        const std::string text = ReadFile(dir.File(file));
        const std::string edited = std::regex_replace(text, std::regex(pattern), replacement);
        ASSERT_NE(edited, text) << pattern << " is not in " << file;
        dir.Write(file, edited);
    }
}

// The bundled examples, each with the procedure and the options examples/regenerate made it with.
const Args kExampleRuns[] = {{"quick", "quick"},
                             {"full", "full"},
                             {"fullfull0", "fullfull", "--mode", "0"},
                             {"fullfull1", "fullfull", "--mode", "1"},
                             {"fullfull2", "fullfull", "--mode", "2"}};

// Where two snapshots first differ: the file and its first differing line (1-based) with both
// versions, or a file one of them lacks; empty when they are equal byte for byte.
[[maybe_unused]] std::string FirstDifference(const std::map<std::string, std::string>& made,
                                             const std::map<std::string, std::string>& bundled) {
    for (const auto& [name, text] : bundled) {
        const auto other = made.find(name);
        if (other == made.end()) {
            return name + ": not regenerated";
        }
        if (other->second == text) {
            continue;
        }
        const std::vector<std::string> want = ::compensation::testing::SplitLines(text);
        const std::vector<std::string> got = ::compensation::testing::SplitLines(other->second);
        std::size_t line = 0;
        while (line < want.size() && line < got.size() && want[line] == got[line]) {
            ++line;
        }
        const auto at = [line](const std::vector<std::string>& lines) {
            return line < lines.size() ? "\"" + lines[line] + "\"" : std::string("(no line)");
        };
        return name + ", line " + std::to_string(line + 1) + ": regenerated " + at(got) +
               ", bundled " + at(want) +
               (line == want.size() && line == got.size() ? " (the line ends differ)" : "");
    }
    for (const auto& entry : made) {
        if (bundled.count(entry.first) == 0) {
            return entry.first + ": regenerated, but not bundled";
        }
    }
    return "";
}

TEST(CompensateCommand, SimulateRegeneratesTheBundledExamplesByteForByte) {
    const TempDir dir;
    for (const Args& e : kExampleRuns) {
        SCOPED_TRACE(e[0]);
        const auto run = RunCompensate(Join({"simulate", "-d", dir.File(e[0]), "--seed", "1",
                                             "--noise-range", "2e-6", "--noise-angle", "1e-6"},
                                            Args(e.begin() + 1, e.end())));
        ASSERT_EQ(run.status, 0) << run.err;
#if defined(_WIN32)
        // The C runtime's sin, cos, atan2, asin and acos differ from glibc's, with which the
        // examples were made, in the last bit of some results: the readings agree to 1e-12.
        EXPECT_TRUE(SameWithin(Snapshot(dir.File(e[0])), Snapshot(kExamples + e[0]), 1e-12))
            << "regenerated files differ from examples/" << e[0];
#else
        EXPECT_EQ(FirstDifference(Snapshot(dir.File(e[0])), Snapshot(kExamples + e[0])), "")
            << "in examples/" << e[0];
#endif
    }
}

TEST(CompensateCommand, EveryExampleSettlesAndItsOutputsAgreeWithWhatItPrinted) {
    for (const Args& e : kExampleRuns) {
        SCOPED_TRACE(e[0]);
        const TempDir dir;
        const auto run =
            RunCompensate({e[1], kExamples + e[0] + "/scenario.json", "--json", "--trace-dir",
                           dir.path.string(), "-o", dir.File("model.json"), "--result",
                           dir.File("result.json"), "--write-back", dir.File("marked.csv")});
        ASSERT_EQ(run.status, 0) << run.err;
        const Json result = Json::parse(run.out);
        EXPECT_EQ(result["meaning"], "settled");
        const auto written = Snapshot(dir.path);
        EXPECT_EQ(Json::parse(written.at("model.json")), result["model"]);
        EXPECT_EQ(Json::parse(written.at("result.json")), result);
        // No example rejects a main measurement, so the marked file is its source, verbatim.
        EXPECT_EQ(written.at("marked.csv"), ReadFile(kExamples + e[0] + "/measurements.csv"));
        // Outputs are renamed into place: beside them and the trace, no temporary is left.
        EXPECT_EQ(written.size(), 4u);
    }
}

// A broken copy of an example: `run` holds the procedure, the example and any options; every
// match of `pattern` in `file` is replaced; the error message must match `expected`.
struct Broken {
    const char* name;
    const char* run;
    const char* file;
    const char* pattern;
    const char* replacement;
    const char* expected;
};
const Broken kBroken[] = {
    // Files that are missing or unreadable, rows and values that do not parse.
    {"MissingFile", "quick quick", "scenario.json", "\"measurements.csv\"", "\"gone.csv\"",
     "gone.csv: cannot open"},
    {"DirectoryForAFile", "quick quick", "scenario.json", "\"measurements.csv\"", "\"/\"",
     ": is a directory, not a file"},
    // Edits go line by line: a pattern spanning the whole file would recurse in std::regex once
    // a character, deeper than a Windows thread's stack.
    {"EmptyFile", "quick quick", "measurements.csv", "[^\n]*\n?", "",
     "measurements.csv: the file is empty: a header line is expected"},
    {"ShortRow", "quick quick", "measurements.csv", "14,1,-165,0,20,100", "14,1,-165,0",
     "measurements.csv, line 2: the row has fewer fields"},
    {"UnknownColumn", "quick quick", "measurements.csv", "elevation_deg", "elevation_grad",
     "measurements.csv, line 1, field \"elevation_grad\": unknown column"},
    {"MissingColumn", "quick quick", "measurements.csv", ",quality\n", "\n",
     "measurements.csv, line 1, field \"quality\": missing column"},
    {"AngleUnitAgainstTheOption", "quick quick", "measurements.csv", "elevation_deg",
     "elevation_rad", "measurements.csv, line 1, field \"elevation_rad\": the header states rad"},
    {"RangeNotANumber", "quick quick", "measurements.csv", "14,1,-165,", "14,abc,-165,",
     "measurements.csv, line 2, field \"range\": \"abc\" is not a finite number"},
    {"QualityNaN", "quick quick", "measurements.csv", "14,1,-165,0,20,100", "14,1,-165,0,20,nan",
     "measurements.csv, line 2, field \"quality\": \"nan\" is not a finite number"},
    {"NegativeRange", "quick quick", "measurements.csv", "(quality\n14,[^\n]*\n100,)", "$1-",
     "measurements.csv, line 3, field \"range\": a measured range must be positive"},
    {"UnknownMeasurementType", "quick quick", "measurements.csv", "(quality\n14,[^\n]*\n)100,",
     "$01101,", "measurements.csv, line 3, field \"type\": \"101\" is not a measurement type"},
    {"HeaderOnly", "quick quick", "measurements.csv", "\n[^\n]*", "",
     "measurements.csv: the file holds no measurement rows"},
    {"UnknownModelElement", "quick quick", "start_model.json", "\"El_ElC\"", "\"El_ElX\"",
     "start_model.json, line 75, field \"El_ElX\": unknown model element"},
    {"MissingModelElement", "quick quick", "start_model.json", "  \"El_ElC\": 0.0,\n", "",
     "start_model.json, field \"El_ElC\": missing model element"},
    {"RepeatedModelElement", "quick quick", "start_model.json",
     "\"A2\":", "\"A1\":", "start_model.json, line 15, field \"A1\": the key appears twice"},
    {"ModelValueNotANumber", "quick quick", "start_model.json", "\"El_ElC\": 0.0",
     "\"El_ElC\": \"0.1\"",
     "start_model.json, line 75, field \"El_ElC\": the value must be a number"},
    {"ModelNotJson", "quick quick", "start_model.json", "^([\\s\\S]{40})[\\s\\S]*", "$1",
     "start_model.json: not valid JSON"},
    // JSON integers beyond int once wrapped: mode 4294967297 ran mode 1, position 4294967311 15.
    {"ModeBeyondInt", "fullfull fullfull0", "scenario.json", "\"mode\": 0", "\"mode\": 4294967297",
     "field \"mode\": expected an integer from -2147483648 to 2147483647"},
    {"PositionBeyondInt", "fullfull fullfull0", "scenario.json", "\"d2\": \\[\\s*15",
     "\"d2\": [4294967311", "field \"d2\": expected two target positions"},
    {"FlyingTargetsBeyondInt", "fullfull fullfull0", "scenario.json",
     "\"flying_targets_per_view\": 4", "\"flying_targets_per_view\": -4294967292",
     "field \"flying_targets_per_view\": expected an integer"},
    // Layouts the procedures cannot read, and pairs outside a view.
    {"NoReferenceView", "quick quick", "measurements.csv", "quality\n14,", "quality\n100,",
     "measurements.csv, line 2, field \"type\": no reference view"},
    {"EndInsideAView", "quick quick", "measurements.csv", "\n[^\n]*\n$", "\n",
     "measurements.csv, line 300, field \"type\": the file ends inside view 12"},
    {"FrontSightForABackSight", "quick quick", "measurements.csv", "\n200,([^\n]*\n)$", "\n100,$1",
     "measurements.csv, line 301, field \"type\": expected a back sight"},
    {"OddOutsideCount", "full full", "outside.csv", "\n[^\n]*\n$", "\n",
     "outside.csv, line 20: odd number of outside measurements"},
    {"FlyingViewsNotWhole", "fullfull fullfull0 --flying-targets 7", "", "", "",
     "flying.csv, line 97: 96 flying measurements do not make whole views of 7"},
    {"BackSightForAFlyingFrontSight", "fullfull fullfull0", "flying.csv", "quality\n100,",
     "quality\n200,", "flying.csv, line 2, field \"type\": expected a front sight"},
    {"PairPositionBeyondTheView", "full full --d2 2,17", "", "", "",
     "--d2: d2 pair position 17 is outside a view of 16"},
    {"PairPositionZero", "full full --d2 0,3", "", "", "",
     "--d2: d2 pair position 0 is outside a view"},
    {"PairNamingOneTargetTwice", "full full --d2 4,4", "", "", "",
     "--d2: the d2 pair names target 4 twice"},
    {"ScenarioPairBeyondTheView", "fullfull fullfull2", "scenario.json", "\"extra\": \\[\\s*17",
     "\"extra\": [40",
     "scenario.json, line 17, field \"extra\": extra pair position 40 is outside a view"},
    // Outside sets that hold pairs but no live one: the library refuses them with -3.
    {"DeadOutsideSet", "full full", "outside.csv", ",100\n", ",40\n",
     "outside.csv, field \"quality\": no usable measurement in the outside set"},
    {"DeadSecondOutsideSet", "fullfull fullfull1", "outside2.csv", ",100\n", ",50\n",
     "outside2.csv, field \"quality\": no usable measurement in the outside set"},
    // Options that do not fit.
    {"ProcedureOtherThanTheScenarios", "full quick", "", "", "",
     "scenario.json, field \"procedure\".*run compensate quick"},
    {"ModeOutOfRange", "fullfull fullfull0 --mode 5", "", "", "", "--mode 5: expected 0, 1 or 2"},
};

// Failure messages name the case, not the bytes of its pointers.
void PrintTo(const Broken& broken, std::ostream* os) {
    *os << broken.name;
}

class BrokenInput : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenInput, ExitsTwoNamingFileLineAndFieldAndWritesNothing) {
    const Broken& b = GetParam();
    std::istringstream words(b.run);
    const Args run{std::istream_iterator<std::string>(words), {}};
    const TempDir dir, trace;
    CopyExample(dir, run[1], b.file, b.pattern, b.replacement);
    dir.Write("model_out.json", "untouched");
    const auto before = Snapshot(dir.path);
    const auto refused =
        RunCompensate(Join({run[0], dir.File("scenario.json"), "--trace-dir", trace.path.string(),
                            "-o", dir.File("model_out.json"), "--result", dir.File("result.json"),
                            "--write-back", dir.File("marked.csv")},
                           Args(run.begin() + 2, run.end())));
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(std::regex_search(refused.err, std::regex(b.expected))) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(Snapshot(dir.path) == before) << "an output was written or changed";
}

INSTANTIATE_TEST_SUITE_P(CompensateCommand, BrokenInput, ::testing::ValuesIn(kBroken),
                         [](const ::testing::TestParamInfo<Broken>& info) {
                             return std::string(info.param.name);
                         });

TEST(CompensateCommand, AnUnsettledRunExitsThreeWithItsMeaningAndWritesNoModel) {
    // Every reference view turned to one azimuth empties the quick procedure's sector 0 (-180
    // to -150 degrees with 12 views): result 7 + 0.
    const TempDir dir;
    CopyExample(dir, "quick", "measurements.csv", "\n14,[^\n]*", "\n14,1,0,0,20,100");
    dir.Write("model_out.json", "untouched");
    const auto run =
        RunCompensate({"quick", dir.File("scenario.json"), "--trace-dir", dir.path.string(), "-o",
                       dir.File("model_out.json"), "--result", dir.File("result.json")});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("result 7: coverage check: azimuth coverage of the reference views: no "
                           "usable reference view in azimuth sector 0 of 12"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("The final validation did not run"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("model_out.json")), "untouched");
    EXPECT_EQ(Json::parse(ReadFile(dir.File("result.json")))["result"], 7);
}

TEST(CompensateCommand, EightViewsAreToldWhyTheirPairsCanNeverSuffice) {
    // Four of the full example's twelve views dropped: the eight left still cover every
    // 45-degree sector, but give at most 8 x0y0 pairs where more than 8 are needed.
    const TempDir dir;
    CopyExample(dir, "full", "measurements.csv",
                "\n14,1,(-165|-105|-15\\.0+9|75\\.0+1),[^\n]*(\n(100|200),[^\n]*)*", "");
    const auto run =
        RunCompensate({"full", dir.File("scenario.json"), "--trace-dir", dir.path.string()});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("8 views of 16 targets"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("result 19: pair classification: x0y0 pairs: too few usable x0y0 "
                           "pairs (not more than the minimum count): 8 views give at most 8 "
                           "pairs and more than 8 are needed (with fewer than 9 views the "
                           "minimum count is the number of views, so this set can never pass: "
                           "it needs at least 9 views)"),
              std::string::npos)
        << run.out;
    // The run stopped at the x0y0 classification: 19 has that one meaning here, and no other
    // combination of codes is offered.
    EXPECT_EQ(run.out.find("other combination"), std::string::npos) << run.out;
}

TEST(CompensateCommand, TheInputModelIsReplacedOnlyWhenAskedFor) {
    const TempDir dir;
    CopyExample(dir, "quick");
    const std::string model = dir.File("start_model.json");
    const std::string before = ReadFile(model);
    const Args quick = {"quick", dir.File("scenario.json"), "--trace-dir", dir.path.string()};
    const auto refused = RunCompensate(Join(quick, {"-o", model}));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("would overwrite the input"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(model), before);

    const auto inPlace = RunCompensate(Join(quick, {"--in-place"}));
    EXPECT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_NE(inPlace.out.find(" QUICK COMP OUTPUT: \n\n FSBS: std(R)  = "), std::string::npos);
    EXPECT_NE(inPlace.out.find("result 0: settled"), std::string::npos);
    EXPECT_NE(Json::parse(ReadFile(model))["Ax"].get<double>(), 0.0);
}

// The numbers of the first data row of a CSV text, by column name.
std::map<std::string, double> FirstRow(const std::string& csv) {
    const std::size_t start = csv.find('\n') + 1;
    std::istringstream header(csv.substr(0, start - 1));
    std::istringstream row(csv.substr(start, csv.find('\n', start) - start));
    std::map<std::string, double> values;
    for (std::string name, cell; std::getline(header, name, ',') && std::getline(row, cell, ',');) {
        values[name] = std::stod(cell);
    }
    return values;
}

TEST(CompensateCommand, CalibrateAppliesAModelAsTheFormulasSay) {
    const TempDir dir;
    CopyExample(dir, "quick", "start_model.json", "\"D1\": 0.0,", "\"D1\": 1e-4,");
    const std::string model = dir.File("start_model.json");  // all zero but D1
    dir.Write("m.csv", "type,range,azimuth_deg,elevation_deg,t,quality\n100,2,10,0,20,100\n");
    const auto run =
        RunCompensate({"calibrate", "-m", model, "-i", dir.File("m.csv"), "-o", dir.File("c.csv")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = ReadFile(dir.File("c.csv"));
    EXPECT_EQ(out.rfind("type,range,azimuth_deg,elevation_deg,t,quality,x,y,z\n", 0), 0u);
    std::map<std::string, double> v = FirstRow(out);
    ASSERT_EQ(v.size(), 9u);
    // With only D1: dR = D1 cos El = 1e-4 at El = 0; dEl = -2 D1 cos^2(pi/4) / (R k) degrees,
    // applied as dEl k radians = -D1 / R = -5e-5 rad; the azimuth keeps 10 degrees, through
    // the library's own degree factors, which are not exact inverses. Rounding of unit-sized
    // values (1e-15) bounds range and y; the elevation passes through the degree factors' last
    // digits, some 1e-14 of its 3e-3 degrees, within 1e-12.
    EXPECT_NEAR(v["range"], 2.0001, 1e-15);
    EXPECT_EQ(v["azimuth_deg"], 10 * 0.01745329251994 * 57.29577951308232);
    EXPECT_NEAR(v["elevation_deg"], -5e-5 * 57.29577951308232, 1e-12);
    EXPECT_NEAR(v["y"], 2.0001 * std::sin(-5e-5), 1e-15);  // R sin El of the corrected reading
}

// Measured points made from nominal ones with a chosen transform by the transform tests' own
// mapping; the readings carry no model.
TEST(CompensateCommand, TransformRecoversAChosenTransform) {
    const TRANSFORM_PARMS chosen = {0.01, -0.02, 0.5, 0.1, -0.2, 0.3};
    const transform_test::Point points[] = {
        {2, 0.5, 3}, {-1.5, 1, 2.5}, {0.5, -0.8, 4}, {3, 0.2, -1}, {-2, -0.5, -2.5}};
    std::ostringstream nominal, measured;
    nominal << "x,y,z\n";
    measured.precision(17);
    measured << "type,range,azimuth_rad,elevation_rad,t,quality\n";
    for (const transform_test::Point& p : points) {
        nominal << p.x << ',' << p.y << ',' << p.z << '\n';
        const CVector q = transform_test::PointAt(transform_test::Apply(chosen, p));
        measured << "100," << q.Range << ',' << q.Azimuth << ',' << q.Elevation << ",20,100\n";
    }
    const TempDir dir;
    const std::string nominalCsv = dir.Write("nominal.csv", nominal.str());
    const Args fit = {
        "transform", "--nominal", nominalCsv, "-i", dir.Write("measured.csv", measured.str()),
        "--json"};
    for (const Args& how : {Args{"--start", "0,0,0.4,0,0,0"}, Args{"--tooling-balls"}}) {
        SCOPED_TRACE(how.front());
        const auto run = RunCompensate(Join(fit, how));
        ASSERT_EQ(run.status, 0) << run.err;
        const Json result = Json::parse(run.out);
        // Exact data: only rounding (1e-16 relative on metre-sized points) separates the fit
        // from the chosen values; 1e-9 is far above it and far below any wrong solution.
        const char* names[] = {"Alpha", "Beta", "Gamma", "X", "Y", "Z"};
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(result["transform"][names[i]].get<double>(),
                        chosen.*transform_test::kParameterMembers[i], 1e-9)
                << names[i];
        }
        EXPECT_LT(result["rms"].get<double>(), 1e-9);
    }
}

TEST(CompensateCommand, TransformRefusesUnequalPointCounts) {
    const TempDir dir;
    const auto run =
        RunCompensate({"transform", "--nominal", dir.Write("nominal.csv", "x,y,z\n1,2,3\n"), "-i",
                       dir.Write("measured.csv",
                                 "type,range,azimuth_rad,elevation_rad,t,quality\n"
                                 "100,2,0,0,20,100\n100,3,1,0,20,100\n")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("2 measured points for 1 nominal points"), std::string::npos) << run.err;
}

// --no-trace writes no trace file anywhere (not even where COMPENSATION_TRACE_DIR points) and
// gives the same result as a traced run.
TEST(CompensateCommand, NoTraceWritesNoTraceFileAndTheSameResult) {
    const TempDir traced;
    const TempDir silent;
    const std::string scenario = kExamples + "quick/scenario.json";
    const auto withTrace =
        RunCompensate({"quick", scenario, "--json", "--trace-dir", traced.path.string()});
    ASSERT_EQ(withTrace.status, 0) << withTrace.err;
    EXPECT_TRUE(std::filesystem::exists(traced.File("TraceFile.txt")));
    const std::string silentDir = silent.path.string();
    const ::compensation::testing::ScopedEnv traceDir("COMPENSATION_TRACE_DIR", silentDir.c_str());
    const auto withoutTrace = RunCompensate({"quick", scenario, "--json", "--no-trace"});
    ASSERT_EQ(withoutTrace.status, 0) << withoutTrace.err;
    EXPECT_FALSE(std::filesystem::exists(silent.File("TraceFile.txt")));
    EXPECT_EQ(withoutTrace.out, withTrace.out);
}

}  // namespace
}  // namespace compensation::cli
