// The model file: all 83 elements by name, read back exactly, faults named.
#include "model_json.h"

#include <gtest/gtest.h>

#include "input_error.h"
#include "model/mapper_elements.h"
#include "temp_dir.h"

namespace compensation::cli {
namespace {

using testing::TempDir;

TMapper DistinctModel() {
    TMapper model{};
    // A different, awkward value per element: a misplaced element cannot go unnoticed.
    for (std::size_t i = 0; i < kMapperElements.size(); ++i) {
        model.*kMapperElements[i].member =
            (static_cast<double>(i) + 0.1) * 1.1e-7 * (i % 2 ? -1 : 1);
    }
    return model;
}

TEST(ModelJson, EveryElementRoundTripsExactlyUnderItsName) {
    TempDir dir;
    const TMapper model = DistinctModel();
    const nlohmann::ordered_json json = ModelToJson(model);
    ASSERT_EQ(json.size(), 83u);
    EXPECT_EQ(json.begin().key(), "A1");
    EXPECT_EQ(json["T_ref"], model.T_ref);
    const TMapper back = ReadModel(dir.Write("model.json", json.dump(2)));
    for (const MapperElement& element : kMapperElements) {
        EXPECT_EQ(back.*element.member, model.*element.member) << element.name;
    }
}

TEST(ModelJson, MissingUnknownDuplicateAndNonNumericElementsAreRefused) {
    TempDir dir;
    nlohmann::ordered_json json = ModelToJson(TMapper{});
    const auto expect = [&](const nlohmann::ordered_json& document, const std::string& field,
                            const std::string& text, bool withLine) {
        const std::string path = dir.Write("m.json", document.dump(1));
        try {
            ReadModel(path);
            FAIL() << "accepted: " << field;
        } catch (const InputError& e) {
            EXPECT_EQ(e.field(), field) << e.what();
            EXPECT_EQ(e.line() > 0, withLine) << e.what();
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
            EXPECT_EQ(e.file(), path);
        }
    };
    nlohmann::ordered_json missing = json;
    missing.erase("El_ElC");
    expect(missing, "El_ElC", "missing model element", false);
    nlohmann::ordered_json unknown = json;
    unknown["A4"] = 1.0;
    expect(unknown, "A4", "unknown model element", true);
    nlohmann::ordered_json text = json;
    text["D2"] = "0.1";
    expect(text, "D2", "must be a number", true);

    // dump() cannot write a key twice, so the duplicate is written by hand; line 3 holds it.
    const std::string duplicate = dir.Write("dup.json", "{\n \"A1\": 1,\n \"A1\": 2\n}\n");
    try {
        ReadModel(duplicate);
        FAIL() << "duplicate accepted";
    } catch (const InputError& e) {
        EXPECT_EQ(e.field(), "A1");
        EXPECT_NE(std::string(e.what()).find("twice"), std::string::npos) << e.what();
    }
    const std::string broken = dir.Write("broken.json", "{\n \"A1\": 1,\n \"A2\" 2\n}\n");
    try {
        ReadModel(broken);
        FAIL() << "broken JSON accepted";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace compensation::cli
