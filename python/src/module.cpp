// compensation._core: the compensate tool's subcommands and file formats for Python.
//
// Every run goes through the tool's own code (its readers, checks, procedures runner and result
// record), fed from memory: an array or model handed over from Python is written with the
// tool's writer and read back with its reader under a name of its own ("measurements array",
// "model"), so a Python run and a tool run on the same numbers agree bit for bit and refuse the
// same input with the same message. Errors leave as compensation.InputError (file, line, field)
// or compensation.UsageError, both ValueErrors; nothing the tool throws reaches the interpreter
// as a crash.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "calibrate.h"
#include "input_error.h"
#include "input_source.h"
#include "layout_file.h"
#include "measurement_csv.h"
#include "model_json.h"
#include "output_files.h"
#include "run_procedure.h"
#include "simulate.h"
#include "text_io.h"
#include "transform.h"

namespace py = pybind11;

namespace compensation::cli {

namespace {

using Texts = std::map<std::string, std::string>;
using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Contents held in memory by name; a name not held is a file.
InputSource SourceOf(const Texts& sets, const Texts& nominal, const Texts& models) {
    InputSource source;
    source.measurements = [&sets](const std::string& name, AngleUnit unit) {
        const auto held = sets.find(name);
        return held == sets.end() ? ReadMeasurements(name, unit)
                                  : ParseMeasurements(name, held->second, unit);
    };
    source.nominal = [&nominal](const std::string& name) {
        const auto held = nominal.find(name);
        return held == nominal.end() ? ReadNominalPoints(name)
                                     : ParseNominalPoints(name, held->second);
    };
    source.model = [&models](const std::string& name) {
        const auto held = models.find(name);
        return held == models.end() ? ReadModel(name) : ParseModel(name, held->second);
    };
    return source;
}

// A measurement set as the file holds it: the header's columns (plain angle columns named with
// their unit) and one row of numbers per measurement, read from the field texts with the tool's
// exact conversion.
py::dict SetToArrays(const MeasurementSet& set) {
    std::vector<std::string> columns = set.columns;
    for (std::string& name : columns) {
        if (name == "azimuth" || name == "elevation") {
            name += std::string("_") + AngleUnitSuffix(set.unit);
        }
    }
    const std::size_t rows = set.fields.size();
    Array values({rows, columns.size()});
    auto cell = values.mutable_unchecked<2>();
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            // The reader accepted every field, so each parses.
            cell(static_cast<py::ssize_t>(r), static_cast<py::ssize_t>(c)) =
                ParseFiniteDouble(set.fields[r][c]).value_or(0.0);
        }
    }
    py::dict out;
    out["unit"] = AngleUnitSuffix(set.unit);
    out["columns"] = columns;
    out["values"] = values;
    return out;
}

// The tool's writer over numbers in file columns: each field the shortest text that reads back
// as the same double (a type as its integer).
std::string FormatSet(const std::vector<std::string>& columns, const Array& values) {
    if (values.ndim() != 2 || static_cast<std::size_t>(values.shape(1)) != columns.size()) {
        throw UsageError("a measurement array needs one value per column in every row");
    }
    MeasurementSet set;
    set.columns = columns;
    const auto cell = values.unchecked<2>();
    for (py::ssize_t r = 0; r < values.shape(0); ++r) {
        std::vector<std::string> row;
        for (py::ssize_t c = 0; c < values.shape(1); ++c) {
            row.push_back(FormatDouble(cell(r, c)));
        }
        set.fields.push_back(std::move(row));
    }
    set.vectors.resize(set.fields.size());
    set.qualityColumn = columns.size();  // no quality is rewritten
    return FormatWithQualities(set, set.vectors);
}

// TMapper is the host's block of 83 doubles in index order, the order of the model file.
constexpr std::size_t kElements = 83;
static_assert(sizeof(TMapper) == kElements * sizeof(double), "TMapper is 83 doubles");

TMapper ModelOf(const Array& values) {
    if (values.ndim() != 1 || values.shape(0) != static_cast<py::ssize_t>(kElements)) {
        throw UsageError("a model array holds the 83 elements in index order");
    }
    TMapper model{};
    std::memcpy(&model, values.data(), sizeof model);
    return model;
}

Array ModelValues(const TMapper& model) {
    Array values(static_cast<py::ssize_t>(kElements));
    std::memcpy(values.mutable_data(), &model, sizeof model);
    return values;
}

// Text from files may hold any bytes (a message quotes the field it refuses); undecodable bytes
// become lone surrogates, so that str.encode("utf-8", "surrogateescape") gives the tool's bytes.
py::str Text(const std::string& text) {
    PyObject* decoded =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

// A subcommand's exit status and what it printed.
py::tuple Printed(int status, const std::ostringstream& out) {
    return py::make_tuple(status, Text(out.str()));
}

ProcedureOptions ProcedureOptionsOf(const std::string& procedure, const py::dict& given) {
    ProcedureOptions o;
    o.procedure = procedure == "quick"  ? Procedure::kQuick
                  : procedure == "full" ? Procedure::kFull
                                        : Procedure::kFullFull;
    const auto text = [&given](const char* key, std::string& field) {
        if (given.contains(key) && !given[key].is_none()) {
            field = py::cast<std::string>(given[key]);
        }
    };
    const auto pair = [&given](const char* key, std::vector<int>& field) {
        if (given.contains(key) && !given[key].is_none()) {
            field = py::cast<std::vector<int>>(given[key]);
        }
    };
    text("scenario", o.scenario);
    text("measurements", o.measurements);
    text("outside", o.outside);
    text("outside2", o.outside2);
    text("flying", o.flying);
    text("model", o.model);
    text("angle_unit", o.angleUnit);
    text("trace_dir", o.traceDir);
    pair("x0y0", o.x0y0);
    pair("d2", o.d2);
    pair("extra", o.extra);
    if (given.contains("mode") && !given["mode"].is_none()) {
        o.mode = py::cast<int>(given["mode"]);
    }
    if (given.contains("flying_targets") && !given["flying_targets"].is_none()) {
        o.flyingTargets = py::cast<int>(given["flying_targets"]);
    }
    o.json = true;
    return o;
}

}  // namespace

}  // namespace compensation::cli

PYBIND11_MODULE(_core, m) {
    using namespace compensation::cli;
    m.doc() = "The compensate tool's procedures and file formats (see the compensation package).";

    // Kept alive for the translator: the module holds the types.
    static py::exception<InputError> inputError(m, "InputError", PyExc_ValueError);
    static py::exception<UsageError> usageError(m, "UsageError", PyExc_ValueError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const InputError& e) {
            py::object error = py::handle(inputError.ptr())(Text(e.what()));
            error.attr("file") = Text(e.file());
            error.attr("line") = e.line();
            error.attr("field") = Text(e.field());
            PyErr_SetObject(inputError.ptr(), error.ptr());
        } catch (const UsageError& e) {
            PyErr_SetObject(usageError.ptr(), Text(e.what()).ptr());
        }
    });

    m.def("element_names", [] {
        const nlohmann::ordered_json zero = ModelToJson(TMapper{});
        std::vector<std::string> names;
        for (const auto& element : zero.items()) {
            names.push_back(element.key());
        }
        return names;
    });
    m.def(
        "read_measurements",
        [](const std::string& path, const std::string& unit) {
            return SetToArrays(ReadMeasurements(path, ParseAngleUnit(unit)));
        },
        py::arg("path"), py::arg("angle_unit") = "");
    m.def(
        "parse_measurements",
        [](const std::string& name, const std::string& content, const std::string& unit) {
            return SetToArrays(ParseMeasurements(name, content, ParseAngleUnit(unit)));
        },
        py::arg("name"), py::arg("content"), py::arg("angle_unit") = "");
    m.def("format_measurements", &FormatSet, py::arg("columns"), py::arg("values"));
    m.def(
        "read_nominal",
        [](const std::string& path) {
            const NominalPoints nominal = ReadNominalPoints(path);
            Array values({nominal.points.size(), std::size_t{4}});
            auto cell = values.mutable_unchecked<2>();
            for (std::size_t r = 0; r < nominal.points.size(); ++r) {
                const auto row = static_cast<py::ssize_t>(r);
                cell(row, 0) = nominal.points[r].X;
                cell(row, 1) = nominal.points[r].Y;
                cell(row, 2) = nominal.points[r].Z;
                cell(row, 3) = nominal.weights[r];
            }
            return values;
        },
        py::arg("path"));
    // A layout comes back as the tool writes it: every target a point, the defaults filled in.
    m.def(
        "read_layout",
        [](const std::string& path) { return LayoutToJson(ReadLayoutFile(path)).dump(); },
        py::arg("path"));
    m.def(
        "parse_layout",
        [](const std::string& name, const std::string& text) {
            return LayoutToJson(ParseLayoutFile(name, text)).dump();
        },
        py::arg("name"), py::arg("text"));
    m.def(
        "parse_model",
        [](const std::string& name, const std::string& text) {
            return ModelValues(ParseModel(name, text));
        },
        py::arg("name"), py::arg("text"));
    m.def(
        "read_model", [](const std::string& path) { return ModelValues(ReadModel(path)); },
        py::arg("path"));
    m.def(
        "format_model",
        [](const Array& values) { return ModelToJson(ModelOf(values)).dump(2) + "\n"; },
        py::arg("values"));
    m.def("write_file", &WriteFileAtomically, py::arg("path"), py::arg("content"));

    m.def(
        "run_procedure",
        [](const std::string& procedure, const py::dict& options, const Texts& sets,
           const Texts& models) {
            const ProcedureOptions o = ProcedureOptionsOf(procedure, options);
            std::ostringstream out;
            const int status = RunProcedure(o, out, SourceOf(sets, {}, models));
            return Printed(status, out);
        },
        py::arg("procedure"), py::arg("options"), py::arg("sets"), py::arg("models"));
    m.def(
        "calibrate",
        [](const std::string& input, const std::string& model, bool uncalibrate,
           const std::string& unit, const Texts& sets, const Texts& models) {
            CalibrateOptions o;
            o.input = input;
            o.model = model;
            o.uncalibrate = uncalibrate;
            o.angleUnit = unit;
            std::ostringstream out;
            const int status = RunCalibrate(o, out, SourceOf(sets, {}, models));
            return Printed(status, out);
        },
        py::arg("input"), py::arg("model"), py::arg("uncalibrate"), py::arg("angle_unit"),
        py::arg("sets"), py::arg("models"));
    m.def(
        "transform",
        [](const std::string& nominal, const std::string& measured, const std::string& model,
           bool toolingBalls, const std::vector<double>& start, const std::string& unit,
           const Texts& sets, const Texts& nominals, const Texts& models) {
            TransformOptions o;
            o.nominal = nominal;
            o.measured = measured;
            o.model = model;
            o.toolingBalls = toolingBalls;
            o.start = start;
            o.angleUnit = unit;
            o.json = true;
            std::ostringstream out;
            const int status = RunTransform(o, out, SourceOf(sets, nominals, models));
            return Printed(status, out);
        },
        py::arg("nominal"), py::arg("measured"), py::arg("model"), py::arg("tooling_balls"),
        py::arg("start"), py::arg("angle_unit"), py::arg("sets"), py::arg("nominals"),
        py::arg("models"));
    m.def(
        "simulate",
        [](const std::string& procedure, int mode, std::uint64_t seed, double noiseRange,
           double noiseAngle, double size, const std::string& outDir, const std::string& unit,
           bool force) {
            SimulateOptions o;
            o.procedure = procedure;
            o.mode = mode;
            o.seed = seed;
            o.noiseRange = noiseRange;
            o.noiseAngle = noiseAngle;
            o.size = size;
            o.outDir = outDir;
            o.angleUnit = unit;
            o.force = force;
            std::ostringstream out;
            const int status = RunSimulate(o, out);
            return Printed(status, out);
        },
        py::arg("procedure"), py::arg("mode"), py::arg("seed"), py::arg("noise_range"),
        py::arg("noise_angle"), py::arg("size"), py::arg("out_dir"), py::arg("angle_unit"),
        py::arg("force"));
}
