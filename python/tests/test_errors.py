"""Broken input raises the tool's own message, naming file, line and field. The readers' cases,
and mutated files, are the command tests' and the fuzz replay's: the bindings call the same
readers."""

import numpy as np
import pytest

import compensation as comp
from conftest import EXAMPLES, tool_error

GOOD = (EXAMPLES / "quick" / "measurements.csv").read_text()
START = EXAMPLES / "quick" / "start_model.json"


def broken(tmp_path, text, name="broken.csv"):
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return path


#: A measurement type that does not exist, in the first front sight (line 3). The readers' error
#: cases are the command tests'; here one shows that the tool's message reaches Python whole.
BAD_TYPE = GOOD.replace("\n100,", "\n101,", 1)


def test_broken_measurement_file_raises_the_tools_message(tmp_path):
    path = broken(tmp_path, BAD_TYPE)
    expected = tool_error("quick", "-i", path, "-m", START)
    with pytest.raises(comp.InputError) as raised:
        comp.quick(path, START)
    assert str(raised.value) == expected
    assert raised.value.file == str(path)


def test_input_error_names_file_line_and_field(tmp_path):
    path = broken(tmp_path, BAD_TYPE)
    with pytest.raises(comp.InputError) as raised:
        comp.read_measurements(path)
    e = raised.value
    assert (e.file, e.line, e.field) == (str(path), 3, "type")
    assert isinstance(e, ValueError)


def test_broken_array_raises_with_its_row_as_a_line():
    array = comp.read_measurements(EXAMPLES / "quick" / "measurements.csv")
    array["type"][5] = 101
    with pytest.raises(comp.InputError) as raised:
        comp.quick(array, START)
    # Row 5 would be line 7 of its file (the header is line 1).
    assert (raised.value.file, raised.value.line, raised.value.field) == (
        "measurements array", 7, "type")
    array["type"][5] = 100
    array["range"][9] = np.nan
    with pytest.raises(comp.InputError, match=r'line 11, field "range": "nan" is not a finite'):
        comp.quick(array, START)


def test_a_file_the_tool_would_refuse_is_never_written(tmp_path):
    array = comp.read_measurements(EXAMPLES / "quick" / "measurements.csv")
    array["quality"][0] = np.inf
    with pytest.raises(comp.InputError):
        comp.write_measurements(tmp_path / "out.csv", array)
    assert not (tmp_path / "out.csv").exists()


def test_broken_model_file_raises_the_tools_message(tmp_path):
    path = broken(tmp_path, START.read_text().replace('"A1":', '"A9":', 1), "model.json")
    data = EXAMPLES / "quick" / "measurements.csv"
    expected = tool_error("quick", "-i", data, "-m", path)
    with pytest.raises(comp.InputError) as raised:
        comp.quick(data, path)
    assert str(raised.value) == expected


def test_model_from_python_is_checked_like_a_file():
    with pytest.raises(comp.InputError, match='field "A1": the value must be finite'):
        comp.Model(np.full(83, np.nan))
    with pytest.raises(comp.InputError, match='field "A1": missing model element'):
        comp.Model({"A2": 0.0})
    with pytest.raises(comp.InputError, match='field "B9": unknown model element'):
        comp.Model(dict(comp.Model(), B9=1.0))
    with pytest.raises(comp.UsageError, match="83 elements"):
        comp.Model(np.zeros(82))


def test_full_pair_out_of_the_view_raises_the_tools_message():
    s = EXAMPLES / "full"
    expected = tool_error("full", "-i", s / "measurements.csv", "-m", s / "start_model.json",
                          "--outside", s / "outside.csv", "--x0y0", "13,99", "--d2", "15,16")
    with pytest.raises(comp.UsageError) as raised:
        comp.full(s / "measurements.csv", s / "outside.csv", s / "start_model.json",
                  x0y0=(13, 99), d2=(15, 16))
    assert str(raised.value) == expected


def test_usage_faults_raise_usage_errors():
    data = EXAMPLES / "quick" / "measurements.csv"
    with pytest.raises(comp.UsageError, match="two target positions"):
        comp.full(data, data, x0y0=(1, 2, 3), d2=(1, 2))
    with pytest.raises(comp.UsageError, match="--mode 7"):
        comp.fullfull(data, data, data, mode=7, x0y0=(1, 2), d2=(3, 4), extra=(5, 6))
    with pytest.raises(comp.UsageError, match="structured array"):
        comp.quick(np.zeros((10, 6)))
    with pytest.raises(comp.UsageError, match="angle unit"):
        comp.read_measurements(data, angle_unit="grad")


def test_missing_file_raises_the_tools_message():
    with pytest.raises(comp.InputError, match="cannot open: No such file or directory"):
        comp.run_scenario("no/such/scenario.json")
    with pytest.raises(comp.InputError, match="cannot open: No such file or directory"):
        comp.read_measurements("no/such/file.csv")
    with pytest.raises(comp.InputError, match="is a directory"):
        comp.read_model(EXAMPLES)
