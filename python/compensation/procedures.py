"""The procedures, the transform and the simulator, run through the compensate tool's own code.

Each procedure takes its measurement sets as structured arrays or file paths and its starting
model as a :class:`Model`, a mapping, an array of 83 values or a path, and returns a
:class:`Result`: the tool's result record (what ``compensate ... --json`` prints), read. A run
that does not settle is a result with a non-zero code, not an exception; broken input raises
:class:`InputError` or :class:`UsageError` with the tool's message.
"""

import json
import os
import tempfile

import numpy as np

from . import _core
from .data import (
    MEASUREMENTS_ARRAY,
    Model,
    _Inputs,
    as_model,
    read_measurements,
    read_model,
)

#: The keys of the run report, present in a result record when the library reports its run.
REPORT_KEYS = ("stage", "fits", "noise", "elements", "correlations")

_SET_NAMES = {
    "measurements": MEASUREMENTS_ARRAY,
    "outside": "outside array",
    "outside2": "outside2 array",
    "flying": "flying array",
}


class Result:
    """One procedure run: the tool's result record and the data it was run on.

    Attributes read from the record: ``code``, ``meaning``, ``explanations``, ``settled``,
    ``validated``, ``confidence`` (None when the final validation did not run), ``procedure``,
    ``mode``, ``inputs``, ``comp_out`` (every TCompOut field), ``model`` (the fitted
    :class:`Model`), ``rejected`` (one dict per measurement whose quality the run changed) and
    ``summary`` (the final validation's text). ``report`` holds the run report (stage, fits,
    noise, elements with uncertainty and verdict, correlations) when the record has it, else
    None. ``record`` is the whole record and ``json_text`` its text as the tool wrote it.
    """

    def __init__(self, json_text, sets=None, start_model=None, base_dir=None):
        self.json_text = json_text
        self.record = json.loads(json_text)
        r = self.record
        self.code = r["result"]
        self.meaning = r["meaning"]
        self.explanations = r.get("explanations", [])
        self.settled = r["settled"]
        self.validated = r.get("validated", r.get("confidence") is not None)
        self.confidence = r.get("confidence")
        self.procedure = r.get("procedure")
        self.mode = r.get("mode")
        self.inputs = r.get("inputs", {})
        self.comp_out = r.get("comp_out", {})
        self.model = Model(r["model"])
        self.rejected = r.get("rejected", [])
        self.summary = r.get("summary", "")
        present = {key: r[key] for key in REPORT_KEYS if key in r}
        self.report = present or None
        self._sets = dict(sets or {})
        self._start_model = start_model
        self._base_dir = base_dir

    @classmethod
    def load(cls, path):
        """A result file written by ``compensate ... --result`` (or :meth:`write_json`). Its
        input files are looked up as named, then beside the result file."""
        with open(path, encoding="utf-8") as f:
            text = f.read()
        return cls(text, base_dir=os.path.dirname(os.path.abspath(path)))

    def __repr__(self):
        return (
            f"<Result {self.procedure} code {self.code} ({self.meaning}), "
            f"confidence {self.confidence}, {len(self.rejected)} rejected>"
        )

    def _input_path(self, name):
        path = self.inputs.get(name)
        if not path:
            return None
        candidates = [path]
        if self._base_dir and not os.path.isabs(path):
            candidates.append(os.path.join(self._base_dir, path))
        return next((p for p in candidates if os.path.isfile(p)), None)

    def measurements(self, name="measurements"):
        """The input set ``name`` (measurements, outside, outside2, flying) as it was before the
        run, or None when neither the array nor its file is at hand."""
        if name not in self._sets:
            path = self._input_path(name)
            self._sets[name] = read_measurements(path) if path else None
        return self._sets[name]

    def marked(self, name="measurements"):
        """The input set with the run's quality marks (rejections) written into it."""
        before = self.measurements(name)
        if before is None:
            return None
        after = before.copy()
        for change in self.rejected:
            if change["set"] == name:
                after["quality"][change["index"]] = change["new_quality"]
        return after

    def rejected_mask(self, name="measurements"):
        """True for every row of the set whose quality the run changed."""
        before = self.measurements(name)
        if before is None:
            return None
        mask = np.zeros(len(before), dtype=bool)
        mask[[c["index"] for c in self.rejected if c["set"] == name]] = True
        return mask

    @property
    def start_model(self):
        """The model the run started from (None when its file is not at hand)."""
        if self._start_model is None:
            source = self.inputs.get("model", "")
            if source.startswith("zero model"):
                self._start_model = Model()
            else:
                path = self._input_path("model")
                self._start_model = read_model(path) if path else None
        return self._start_model

    def write_json(self, path):
        """Writes the result record exactly as the tool wrote it."""
        _core.write_file(os.fspath(path), self.json_text)

    def write_report(self, path, title=None):
        """Writes the PDF report of this run (see :mod:`compensation.report`)."""
        from .report import write_report

        return write_report(self, path, title=title)


def _run(procedure, sets, model, options, trace_dir):
    inputs = _Inputs()
    given = {}
    for key, value in sets.items():
        given[key] = inputs.set(value, _SET_NAMES[key])
    given["model"] = inputs.model(model)
    given["trace_dir"] = os.fspath(trace_dir) if trace_dir is not None else None
    given.update(options)
    _, text = _core.run_procedure(procedure, given, inputs.sets, inputs.models)
    arrays = {k: v for k, v in sets.items() if v is not None and not _is_path(v)}
    # A model file is read back by the result when a plot needs it.
    start = None if _is_path(model) else as_model(model)
    return Result(text, sets=arrays, start_model=start)


def _is_path(value):
    return isinstance(value, (str, os.PathLike))


def _pair(value, name):
    if value is None:
        return None
    pair = [int(v) for v in value]
    if len(pair) != 2:
        raise _core.UsageError(f"the {name} pair takes two target positions, e.g. (1, 4)")
    return pair


def quick(measurements, model=None, *, angle_unit=None, trace_dir=None):
    """Quick compensation (QuickCompInsertion): two-face terms and Ax, Ay from one set of
    views. ``model`` is the starting model (all zero when None). The trace file goes to
    ``trace_dir``, else to $COMPENSATION_TRACE_DIR, else to the current directory."""
    return _run(
        "quick", {"measurements": measurements}, model, {"angle_unit": angle_unit}, trace_dir
    )


def full(measurements, outside, model=None, *, x0y0, d2, angle_unit=None, trace_dir=None):
    """Full compensation (FullComp): adds X0, Y0 from the x0y0 pair and D2 from the outside
    set. Pairs are 1-based target positions within a view, e.g. ``x0y0=(13, 14)``."""
    return _run(
        "full",
        {"measurements": measurements, "outside": outside},
        model,
        {"x0y0": _pair(x0y0, "x0y0"), "d2": _pair(d2, "d2"), "angle_unit": angle_unit},
        trace_dir,
    )


def fullfull(
    measurements,
    outside,
    outside2,
    model=None,
    *,
    mode,
    x0y0,
    d2,
    extra,
    flying=None,
    flying_targets=None,
    angle_unit=None,
    trace_dir=None,
):
    """Full-full compensation (FullFullComp). Mode 0 uses flying views with the FBB fits,
    mode 1 flying views with the check-view fit, mode 2 no flying views; modes 0 and 1 need
    ``flying`` and ``flying_targets`` (targets per flying view)."""
    return _run(
        "fullfull",
        {"measurements": measurements, "outside": outside, "outside2": outside2, "flying": flying},
        model,
        {
            "mode": int(mode),
            "x0y0": _pair(x0y0, "x0y0"),
            "d2": _pair(d2, "d2"),
            "extra": _pair(extra, "extra"),
            "flying_targets": flying_targets,
            "angle_unit": angle_unit,
        },
        trace_dir,
    )


def run_scenario(path, procedure=None, *, mode=None, trace_dir=None):
    """Runs a scenario file as ``compensate PROCEDURE SCENARIO`` does (the procedure named in
    the file when not given)."""
    path = os.fspath(path)
    if procedure is None:
        try:
            with open(path, encoding="utf-8") as f:
                procedure = json.load(f).get("procedure", "quick")
        except (OSError, ValueError, AttributeError):
            procedure = "quick"  # the tool's reader names the fault
    if procedure not in ("quick", "full", "fullfull"):
        raise _core.UsageError(f"procedure {procedure}: expected quick, full or fullfull")
    options = {"scenario": path, "mode": mode}
    given = dict(options, trace_dir=os.fspath(trace_dir) if trace_dir is not None else None)
    _, text = _core.run_procedure(procedure, given, {}, {})
    return Result(text)


class TransformResult:
    """A transform fit: ``status`` (0 converged), ``meaning``, ``transform`` (Alpha, Beta,
    Gamma in radians, X, Y, Z in metres), ``rms`` (metres) and per-point ``residuals``."""

    def __init__(self, json_text):
        self.json_text = json_text
        self.record = json.loads(json_text)
        for key in ("fit", "status", "meaning", "transform", "rms", "residuals"):
            setattr(self, key, self.record[key])

    def __repr__(self):
        return f"<TransformResult {self.fit}: status {self.status} ({self.meaning})>"


def transform(nominal, measured, model=None, *, tooling_balls=False, start=None, angle_unit=None):
    """Fits the rigid-body transform from nominal points (structured array x, y, z[, weight], or
    a file) to the measured ones (a measurement set), as ``compensate transform`` does."""
    inputs = _Inputs()
    nominal_name = inputs.nominal(nominal, "nominal array")
    measured_name = inputs.set(measured, MEASUREMENTS_ARRAY)
    model_name = inputs.model(model) or ""
    _, text = _core.transform(
        nominal_name,
        measured_name,
        model_name,
        bool(tooling_balls),
        [float(v) for v in (start or [])],
        angle_unit or "",
        inputs.sets,
        inputs.nominals,
        inputs.models,
    )
    return TransformResult(text)


class Scenario:
    """A simulated scenario: its arrays (``measurements``, ``outside``, ``outside2``,
    ``flying``, None where the procedure needs none), ``pairs``, ``flying_targets``,
    ``start_model``, ``true_model`` (the model the readings were made with) and ``record``
    (the scenario file's content)."""

    def __init__(self, directory):
        scenario_path = os.path.join(directory, "scenario.json")
        with open(scenario_path, encoding="utf-8") as f:
            self.record = json.load(f)
        r = self.record
        self.procedure = r["procedure"]
        self.mode = r.get("mode")
        for key in ("measurements", "outside", "outside2", "flying"):
            name = r.get(key)
            setattr(self, key, read_measurements(os.path.join(directory, name)) if name else None)
        self.pairs = {k: tuple(v) for k, v in r.get("pairs", {}).items()}
        self.flying_targets = r.get("flying_targets_per_view")
        self.start_model = read_model(os.path.join(directory, r["model"]))
        self.true_model = read_model(os.path.join(directory, r["true_model"]))

    def run(self, model=None, trace_dir=None):
        """Runs the scenario's procedure on its arrays (from ``model``, else its start)."""
        model = self.start_model if model is None else model
        if self.procedure == "quick":
            return quick(self.measurements, model, trace_dir=trace_dir)
        if self.procedure == "full":
            return full(self.measurements, self.outside, model, trace_dir=trace_dir, **self.pairs)
        return fullfull(
            self.measurements,
            self.outside,
            self.outside2,
            model,
            mode=self.mode,
            flying=self.flying,
            flying_targets=self.flying_targets,
            trace_dir=trace_dir,
            **self.pairs,
        )


def simulate(
    procedure,
    mode=0,
    *,
    seed=1,
    noise_range=0.0,
    noise_angle=0.0,
    size=1.0,
    directory=None,
    angle_unit="deg",
    force=False,
):
    """The simulated tracker's scenario for a procedure, as ``compensate simulate`` makes it:
    ``noise_range`` in metres and ``noise_angle`` in radians (standard deviations), ``size``
    scales the number of targets and views. The files are written to ``directory`` when given
    (existing ones replaced only with ``force``)."""
    if directory is not None:
        directory = os.fspath(directory)
        _core.simulate(
            procedure, int(mode), int(seed), float(noise_range), float(noise_angle),
            float(size), directory, angle_unit, bool(force),
        )
        return Scenario(directory)
    with tempfile.TemporaryDirectory(prefix="compensation-sim-") as temporary:
        _core.simulate(
            procedure, int(mode), int(seed), float(noise_range), float(noise_angle),
            float(size), temporary, angle_unit, True,
        )
        return Scenario(temporary)
