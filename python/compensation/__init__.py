"""compensation: the laser-tracker compensation library from Python.

The measurement sets are numpy structured arrays in the units of their files, the model a
mapping of the 83 element names (and an array in index order), and every run goes through the
``compensate`` tool's own readers, checks and procedure runner, so a Python run equals the
tool's on the same data and refuses broken input with the same message. ::

    import numpy as np, compensation
    data = np.genfromtxt("examples/quick/measurements.csv", delimiter=",", names=True)
    result = compensation.quick(data, compensation.read_model("examples/quick/start_model.json"))
    print(result.summary)
    result.write_report("report.pdf")
"""

from ._core import InputError, UsageError
from .data import (
    ELEMENT_NAMES,
    Model,
    calibrate,
    check_measurements,
    format_measurements,
    read_layout,
    read_measurements,
    read_model,
    read_nominal,
    uncalibrate,
    write_measurements,
    write_model,
)
from .procedures import (
    Result,
    Scenario,
    TransformResult,
    full,
    fullfull,
    quick,
    run_scenario,
    simulate,
    transform,
)
from .report import write_report

__all__ = [
    "ELEMENT_NAMES", "InputError", "Model", "Result", "Scenario", "TransformResult",
    "UsageError", "calibrate", "check_measurements", "format_measurements", "full", "fullfull",
    "quick", "read_layout", "read_measurements", "read_model", "read_nominal", "run_scenario",
    "simulate", "transform", "uncalibrate", "write_measurements", "write_model", "write_report",
]
