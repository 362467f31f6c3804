"""The bindings against the compensate tool on every bundled example: the same record, model,
rejections and summary, bit for bit, whether the data come as files or as numpy arrays."""

import json

import numpy as np
import pytest

import compensation as comp
from conftest import EXAMPLES, SCENARIOS, run_tool, scenario

#: What a run from arrays names differently: its inputs are arrays, not files.
NAMED_INPUTS = ("inputs",)


def tool_record(name):
    path, _ = scenario(name)
    _, out, _ = run_tool(SCENARIOS[name], path.relative_to(EXAMPLES.parent), "--json")
    return out


def test_scenario_run_prints_the_tools_record_byte_for_byte():
    # The command tests run every bundled example; the bindings share the tool's runner, so one
    # example shows that the record reaches Python unchanged.
    path, _ = scenario("quick")
    result = comp.run_scenario(path.relative_to(EXAMPLES.parent))
    assert result.json_text == tool_record("quick")


def run_from_arrays(name, read):
    """Runs the example from arrays made by `read` (a path -> structured array function)."""
    _, s = scenario(name)
    directory = EXAMPLES / name
    sets = {k: read(directory / s[k]) for k in ("measurements", "outside", "outside2", "flying")
            if k in s}
    model = comp.read_model(directory / s["model"])
    pairs = {k: tuple(v) for k, v in s.get("pairs", {}).items()}
    if s["procedure"] == "quick":
        return comp.quick(sets["measurements"], model)
    if s["procedure"] == "full":
        return comp.full(sets["measurements"], sets["outside"], model, **pairs)
    return comp.fullfull(sets["measurements"], sets["outside"], sets["outside2"], model,
                         mode=s["mode"], flying=sets.get("flying"),
                         flying_targets=s.get("flying_targets_per_view"), **pairs)


def genfromtxt(path):
    return np.genfromtxt(path, delimiter=",", names=True)


#: One run per way the bindings hand arrays to a procedure: a foreign structured array (numpy's
#: reader) to the quick procedure, the bindings' reader to the full procedure with its pairs, and
#: to the full-full procedure with flying views (mode 1) and without (mode 2).
ARRAY_RUNS = {"quick": genfromtxt, "full": comp.read_measurements,
              "fullfull1": comp.read_measurements, "fullfull2": comp.read_measurements}


@pytest.mark.parametrize("name", sorted(ARRAY_RUNS))
def test_run_from_arrays_equals_the_tools_run(name):
    expected = json.loads(tool_record(name))
    result = run_from_arrays(name, ARRAY_RUNS[name])
    for key in expected:
        if key not in NAMED_INPUTS:
            assert result.record[key] == expected[key], key
    # Equal JSON numbers are equal doubles: the model came back bit for bit.
    assert np.array_equal(result.model.array, np.array(list(expected["model"].values())))
    assert result.inputs["measurements"] == "measurements array"


def test_result_object_reads_the_record():
    result = comp.run_scenario(EXAMPLES.relative_to(EXAMPLES.parent) / "quick" / "scenario.json")
    record = json.loads(result.json_text)
    assert (result.code, result.settled, result.confidence) == (
        record["result"], record["settled"], record["confidence"])
    assert result.meaning == record["meaning"]
    assert result.summary == record["summary"] and "CONFIDENCE" in result.summary
    assert dict(result.model) == record["model"]


def test_simulated_scenario_equals_the_tools_files(tmp_path):
    run_tool("simulate", "full", "-d", tmp_path / "tool", "--seed", 7, "--noise-range", 2e-6,
             "--noise-angle", 1e-6)
    s = comp.simulate("full", seed=7, noise_range=2e-6, noise_angle=1e-6,
                      directory=tmp_path / "python")
    for name in ("measurements.csv", "outside.csv", "start_model.json", "true_model.json",
                 "scenario.json"):
        assert (tmp_path / "python" / name).read_bytes() == (tmp_path / "tool" / name).read_bytes()
    # and the arrays are the files' numbers
    tool_main = comp.read_measurements(tmp_path / "tool" / "measurements.csv")
    assert np.array_equal(s.measurements, tool_main)
    record = json.loads((tmp_path / "tool" / "scenario.json").read_text())
    assert s.pairs == {k: tuple(v) for k, v in record["pairs"].items()}


def test_simulated_scenario_runs_like_the_tool(tmp_path):
    s = comp.simulate("quick", seed=3, noise_range=2e-6, noise_angle=1e-6,
                      directory=tmp_path / "sim")
    _, out, _ = run_tool("quick", tmp_path / "sim" / "scenario.json", "--json")
    expected = json.loads(out)
    result = s.run()
    assert result.record["model"] == expected["model"]
    assert result.record["summary"] == expected["summary"]
    assert result.rejected == expected["rejected"]


@pytest.mark.parametrize("inverse", [False, True], ids=["calibrate", "uncalibrate"])
def test_calibrate_writes_the_tools_output(inverse, tmp_path):
    model = EXAMPLES / "quick" / "true_model.json"
    data = EXAMPLES / "quick" / "measurements.csv"
    flag = ["--uncalibrate"] if inverse else []
    _, out, _ = run_tool("calibrate", "-m", model, "-i", data, *flag)
    array = comp.read_measurements(data)
    corrected = comp.calibrate(array, comp.read_model(model), uncalibrate=inverse)
    assert comp.format_measurements(corrected) == out


@pytest.mark.parametrize("tooling_balls", [False, True], ids=["best-fit", "tooling-balls"])
def test_transform_equals_the_tool(tooling_balls):
    nominal = EXAMPLES / "transform" / "nominal.csv"
    measured = EXAMPLES / "transform" / "measured.csv"
    flag = ["--tooling-balls"] if tooling_balls else []
    _, out, _ = run_tool("transform", "--nominal", nominal, "-i", measured, "--json", *flag)
    from_files = comp.transform(nominal, measured, tooling_balls=tooling_balls)
    from_arrays = comp.transform(comp.read_nominal(nominal), comp.read_measurements(measured),
                                 tooling_balls=tooling_balls)
    assert from_files.json_text == out
    assert from_arrays.record == json.loads(out)
