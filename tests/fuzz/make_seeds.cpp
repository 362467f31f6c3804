// Writes the harnesses' seed corpora from the bundled examples, and the regression inputs of the
// faults found by fuzzing before the harnesses were in the tree:
//   make_seeds EXAMPLES_DIR CORPUS_DIR REGRESSIONS_DIR
// <DIR>/<harness>/<name> for the four harnesses. Both are committed; run this again when the
// examples or an input format change. Inputs a fuzzer finds later are added to REGRESSIONS_DIR
// as libFuzzer wrote them.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "measurement_csv.h"
#include "model_json.h"
#include "promises.h"
#include "scenario.h"
#include "text_io.h"

namespace {

namespace fs = std::filesystem;
using namespace compensation;

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<CVector> Measurements(const std::string& path) {
    return path.empty() ? std::vector<CVector>{}
                        : cli::ReadMeasurements(path, cli::AngleUnit::kUnspecified).vectors;
}

fuzz::ProcedureCall ExampleCall(const fs::path& examples, const std::string& name);

void ProcedureSeeds(const fs::path& examples, const fs::path& corpus) {
    for (const std::string name : {"quick", "full", "fullfull0", "fullfull1", "fullfull2"}) {
        const cli::Scenario s = cli::ReadScenario((examples / name / "scenario.json").string());
        const fuzz::ProcedureCall call = ExampleCall(examples, name);
        Write(corpus / "procedures" / name, fuzz::EncodeProcedureCall(call));
    }
}

fuzz::ProcedureCall ExampleCall(const fs::path& examples, const std::string& name) {
    const cli::Scenario s = cli::ReadScenario((examples / name / "scenario.json").string());
    fuzz::ProcedureCall call;
    call.which = s.procedure == "quick"  ? fuzz::ProcedureCall::kQuick
                 : s.procedure == "full" ? fuzz::ProcedureCall::kFull
                                         : fuzz::ProcedureCall::kFullFull;
    call.mode = s.mode.value_or(0);
    const std::optional<cli::PairPositions> pairs[] = {s.x0y0, s.d2, s.extra};
    for (int i = 0; i < 3; ++i) {
        call.positions[2 * i] = pairs[i] ? pairs[i]->first : 0;
        call.positions[2 * i + 1] = pairs[i] ? pairs[i]->second : 0;
    }
    call.nTargetsFly = s.flyingTargetsPerView.value_or(0);
    call.withModel = true;
    call.model = cli::ReadModel(s.model);
    call.main = Measurements(s.measurements);
    call.outside1 = Measurements(s.outside);
    call.outside2 = Measurements(s.outside2);
    call.flying = Measurements(s.flying);
    return call;
}

void TransformSeeds(const fs::path& examples, const fs::path& corpus) {
    const fs::path dir = examples / "transform";
    const cli::NominalPoints nominal = cli::ParseNominalPoints(
        (dir / "nominal.csv").string(), cli::ReadWholeFile((dir / "nominal.csv").string()));
    const std::vector<CVector> measured = Measurements((dir / "measured.csv").string());
    const char* names[] = {"best_fit", "tooling_balls", "tooling_ball_refinement"};
    for (int which = 0; which < 3; ++which) {
        fuzz::TransformCall call;
        call.which = static_cast<fuzz::TransformCall::Which>(which);
        call.nominal = nominal.points;
        call.measured = measured;
        call.weights = nominal.weights;
        Write(corpus / "transforms" / names[which], fuzz::EncodeTransformCall(call));
    }
}

void FileSeeds(const fs::path& examples, const fs::path& corpus) {
    for (const auto& entry : fs::recursive_directory_iterator(examples)) {
        const fs::path& file = entry.path();
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string name =
            file.parent_path().filename().string() + "_" + file.filename().string();
        const std::string text = cli::ReadWholeFile(file.string());
        if (file.extension() == ".csv") {
            Write(corpus / "measurement_csv" / name, std::string(1, '\0') + text);
        } else if (file.filename() == "scenario.json") {
            Write(corpus / "model_scenario" / name, std::string(1, '\1') + text);
        } else if (file.filename() == "start_model.json" && name.rfind("quick", 0) == 0) {
            Write(corpus / "model_scenario" / name, std::string(1, '\0') + text);
        } else if (file.filename() == "true_model.json") {
            Write(corpus / "model_scenario" / name, std::string(1, '\0') + text);
        }
    }
}

// The faults of an outside fuzzing run, each as the harness that would have found it sees it.
void RegressionSeeds(const fs::path& examples, const fs::path& regressions) {
    // Every flying T at 1e308: their sum overflowed into T_ref = inf.
    fuzz::ProcedureCall hot = ExampleCall(examples, "fullfull0");
    for (CVector& v : hot.flying) {
        v.T = 1e308;
    }
    Write(regressions / "procedures" / "flying_t_sum_overflows", fuzz::EncodeProcedureCall(hot));

    // Twelve views of one target: the two-face fit wrote the model, then the interball fit
    // refused and the procedure returned -1.
    fuzz::ProcedureCall lone = ExampleCall(examples, "quick");
    std::vector<CVector> kept;
    bool front = false;
    bool back = false;
    for (const CVector& v : lone.main) {
        const bool first = (v.Type == 14) || (v.Type == 100 && !front) || (v.Type == 200 && !back);
        if (v.Type == 14) {
            front = back = false;
        }
        front = front || v.Type == 100;
        back = back || v.Type == 200;
        if (first) {
            kept.push_back(v);
        }
    }
    lone.main = kept;
    Write(regressions / "procedures" / "quick_one_target_per_view",
          fuzz::EncodeProcedureCall(lone));

    // A NUL byte in the header: the write-back lost the quality of every row.
    constexpr char kHeader[] = "type,range,azimuth,elevation,t,qua\0lity\n";
    Write(regressions / "measurement_csv" / "nul_in_header",
          std::string(1, '\1') + std::string(kHeader, sizeof kHeader - 1) +
              "14,1,-165,0,20,100\n100,3.37,6,5,20,100\n");
    // A field of 20,000 characters was echoed whole in the message.
    Write(regressions / "measurement_csv" / "huge_field",
          std::string(1, '\1') + "type,range,azimuth_deg,elevation_deg,t,quality\n14,1," +
              std::string(20000, '7') + "x,0,20,100\n");
    // Integers beyond int wrapped: mode 4294967297 ran mode 1, a position 4294967311 ran 15.
    Write(regressions / "model_scenario" / "mode_beyond_int",
          "\1{\"procedure\": \"fullfull\", \"mode\": 4294967297}");
    Write(regressions / "model_scenario" / "position_beyond_int",
          "\1{\"pairs\": {\"d2\": [4294967311, 16]}}");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_seeds EXAMPLES_DIR CORPUS_DIR REGRESSIONS_DIR\n";
        return 2;
    }
    try {
        ProcedureSeeds(argv[1], argv[2]);
        TransformSeeds(argv[1], argv[2]);
        FileSeeds(argv[1], argv[2]);
        RegressionSeeds(argv[1], argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "make_seeds: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
