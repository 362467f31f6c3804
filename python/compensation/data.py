"""The tool's data as numpy: measurement sets, models, nominal points, and their files.

A measurement set is a numpy structured array with the columns of its file, in the file's
units: ``type`` (14 reference view, 100 front sight, 200 back sight), ``range`` (metres),
``azimuth_deg`` and ``elevation_deg`` (or ``_rad``), ``t``, ``quality`` and, when the file has
them, ``x``, ``y``, ``z`` (metres). Any structured array with such fields will do as input, for
example what ``numpy.genfromtxt(path, delimiter=",", names=True)`` makes of a measurement file.

Arrays reach the library the way files do: written with the tool's writer (the shortest text that
reads back as the same double) and read with its reader, so a value is never altered on the way
and broken input is refused with the tool's own message. In such a message an array's "line" is
the line the row would have in its file: the header is line 1, row i is line i + 2.
"""

import collections.abc
import json
import os

import numpy as np

from . import _core

#: The 83 elements of the error model, in index order (angles in degrees, lengths in metres).
ELEMENT_NAMES = tuple(_core.element_names())

#: Names under which arrays and models held in memory appear in messages and results.
MEASUREMENTS_ARRAY = "measurements array"
MODEL_ARRAY = "model array"
LAYOUT_DICT = "layout dict"

InputError = _core.InputError
UsageError = _core.UsageError


class Model(collections.abc.Mapping):
    """The error model: a mapping from the 83 element names to values, and ``array``, the
    values as floats in the fixed index order."""

    def __init__(self, values=None):
        if values is None:
            self.array = np.zeros(len(ELEMENT_NAMES))
        elif isinstance(values, collections.abc.Mapping):
            names = set(values)
            unknown = sorted(names - set(ELEMENT_NAMES))
            missing = [name for name in ELEMENT_NAMES if name not in names]
            if unknown:
                raise InputError(f'{MODEL_ARRAY}, field "{unknown[0]}": unknown model element')
            if missing:
                raise InputError(
                    f'{MODEL_ARRAY}, field "{missing[0]}": missing model element '
                    "(a model names all 83 elements)"
                )
            self.array = np.array([float(values[name]) for name in ELEMENT_NAMES])
        else:
            self.array = np.array(values, dtype=float).reshape(-1)
            if self.array.shape != (len(ELEMENT_NAMES),):
                raise UsageError("a model array holds the 83 elements in index order")
        bad = np.flatnonzero(~np.isfinite(self.array))
        if bad.size:
            raise InputError(
                f'{MODEL_ARRAY}, field "{ELEMENT_NAMES[bad[0]]}": the value must be finite'
            )
        self.array.setflags(write=False)

    def __getitem__(self, name):
        try:
            return float(self.array[ELEMENT_NAMES.index(name)])
        except ValueError:
            raise KeyError(name) from None

    def __iter__(self):
        return iter(ELEMENT_NAMES)

    def __len__(self):
        return len(ELEMENT_NAMES)

    def __eq__(self, other):
        return isinstance(other, Model) and np.array_equal(self.array, other.array)

    def __repr__(self):
        nonzero = {n: v for n, v in self.items() if v != 0.0}
        return f"Model({nonzero!r})" if nonzero else "Model(all zero)"

    def replace(self, **values):
        """A copy with some elements set, e.g. ``model.replace(Ax=2e-3)``."""
        updated = dict(self)
        for name, value in values.items():
            if name not in updated:
                raise KeyError(name)
            updated[name] = value
        return Model(updated)

    def to_json(self):
        """The model file's text, as the tool writes it."""
        return _core.format_model(self.array)


def as_model(model):
    """A Model from a Model, a mapping, an array of 83 values, or None (all zero)."""
    return model if isinstance(model, Model) else Model(model)


def read_model(path):
    """Reads a model file (JSON, the 83 elements by name)."""
    return Model(_core.read_model(os.fspath(path)))


def write_model(path, model):
    """Writes a model file as the tool does (temporary file, then renamed into place)."""
    _core.write_file(os.fspath(path), as_model(model).to_json())


def _structured(arrays):
    """The structured array of the tool reader's output (columns, values)."""
    columns, values = arrays["columns"], arrays["values"]
    dtype = [(name, np.int32 if name == "type" else np.float64) for name in columns]
    out = np.empty(values.shape[0], dtype=dtype)
    for c, name in enumerate(columns):
        out[name] = values[:, c]
    return out


def read_measurements(path, angle_unit=None):
    """Reads a measurement file into a structured array in the file's columns and units.

    ``angle_unit`` ("deg" or "rad") names the unit of plain ``azimuth``/``elevation`` columns,
    which the array then names with their unit."""
    return _structured(_core.read_measurements(os.fspath(path), angle_unit or ""))


def _columns(array):
    names = getattr(getattr(array, "dtype", None), "names", None)
    if not names:
        raise UsageError(
            "a measurement set is a structured array with named columns "
            "(type, range, azimuth_deg, elevation_deg, t, quality)"
        )
    values = np.column_stack([np.asarray(array[name], dtype=np.float64) for name in names])
    return list(names), values.reshape(len(array), len(names))


def format_measurements(array):
    """The measurement file's text for an array, as the tool writes it."""
    columns, values = _columns(array)
    return _core.format_measurements(columns, values)


def write_measurements(path, array, angle_unit=None):
    """Writes a measurement file. The text is read back with the tool's reader first, so a file
    that the tool would refuse (a bad type, a non-finite value) is never written."""
    text = format_measurements(array)
    _core.parse_measurements(MEASUREMENTS_ARRAY, text, angle_unit or "")
    _core.write_file(os.fspath(path), text)


def check_measurements(array, name=MEASUREMENTS_ARRAY, angle_unit=None):
    """The array as the tool reads it (raises the tool's InputError on broken input)."""
    return _structured(_core.parse_measurements(name, format_measurements(array), angle_unit or ""))


def read_nominal(path):
    """Reads nominal points (CSV: x, y, z and an optional weight) into a structured array."""
    values = _core.read_nominal(os.fspath(path))
    out = np.empty(values.shape[0], dtype=[(n, np.float64) for n in ("x", "y", "z", "weight")])
    for c, name in enumerate(out.dtype.names):
        out[name] = values[:, c]
    return out


def read_layout(layout):
    """A layout file (or a dict in its format) as ``compensate plan`` reads it, as a dict in the
    tool's own layout format: every target a point ``[x, y, z]`` (metres, Y up), the pairs
    1-based, ``outside`` only when it repeats a pair and ``flying`` only with placements."""
    if isinstance(layout, collections.abc.Mapping):
        text = _core.parse_layout(LAYOUT_DICT, json.dumps(layout, indent=1))
    else:
        text = _core.read_layout(os.fspath(layout))
    return json.loads(text)


class _Inputs:
    """What a subcommand reads, by name: files by path, arrays and models held in memory under
    names of their own."""

    def __init__(self):
        self.sets, self.nominals, self.models = {}, {}, {}

    def set(self, value, name):
        if value is None:
            return None
        if isinstance(value, (str, os.PathLike)):
            return os.fspath(value)
        self.sets[name] = format_measurements(value)
        return name

    def nominal(self, value, name):
        if isinstance(value, (str, os.PathLike)):
            return os.fspath(value)
        self.nominals[name] = format_measurements(value)
        return name

    def model(self, value, name=MODEL_ARRAY):
        if value is None:
            return None
        if isinstance(value, (str, os.PathLike)):
            return os.fspath(value)
        self.models[name] = as_model(value).to_json()
        return name


def _parse_output(text):
    return _structured(_core.parse_measurements("calibrate output", text, ""))


def calibrate(measurements, model, uncalibrate=False, angle_unit=None):
    """Applies a model to every measurement of an array or file (``uncalibrate``: removes it),
    as ``compensate calibrate`` does. Returns a structured array (type, range, angles in the
    input's unit, t, quality, x, y, z in metres, the instrument frame)."""
    inputs = _Inputs()
    name = inputs.set(measurements, MEASUREMENTS_ARRAY)
    model_name = inputs.model(Model() if model is None else model)
    _, text = _core.calibrate(
        name, model_name, bool(uncalibrate), angle_unit or "", inputs.sets, inputs.models
    )
    return _parse_output(text)


def uncalibrate(measurements, model, angle_unit=None):
    """The readings an instrument with this model would give (see :func:`calibrate`)."""
    return calibrate(measurements, model, uncalibrate=True, angle_unit=angle_unit)
