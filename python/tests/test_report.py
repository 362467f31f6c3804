"""The plots' numbers and the PDF report: it exists, has its pages, and none is blank."""

import json
import shutil
import subprocess
import sys

import numpy as np
import pytest
from matplotlib.image import imread

import compensation as comp
from compensation import plots
from conftest import EXAMPLES, SOURCE_DIR, run_tool

#: A page is blank when fewer than this share of its pixels differ from white; the sparsest
#: page (the run page of an unvalidated run) inks several per cent at 20 dots per inch.
INKED_SHARE = 0.005

needs_poppler = pytest.mark.skipif(
    shutil.which("pdftoppm") is None or shutil.which("pdfinfo") is None,
    reason="poppler-utils (pdftoppm, pdfinfo) is installed by scripts/setup-deps")


def pdf_pages(path):
    info = subprocess.run(["pdfinfo", str(path)], capture_output=True, text=True, check=True)
    return int(next(l.split()[1] for l in info.stdout.splitlines() if l.startswith("Pages:")))


def inked_shares(path, tmp_path):
    subprocess.run(["pdftoppm", "-r", "20", "-gray", "-png", str(path), str(tmp_path / "page")],
                   check=True)
    shares = []
    for png in sorted(tmp_path.glob("page*.png")):
        pixels = imread(png)
        shares.append(float(np.mean(pixels < 0.95)))
    return shares


@pytest.fixture(scope="module")
def quick_result():
    return comp.quick(comp.read_measurements(EXAMPLES / "quick" / "measurements.csv"),
                      comp.read_model(EXAMPLES / "quick" / "start_model.json"))


def test_views_and_pairs_of_a_main_set():
    # Two views of three targets: rows 0 and 7 are reference views.
    types = [14, 100, 100, 100, 200, 200, 200] * 2
    array = np.zeros(len(types), dtype=[("type", "i4")])
    array["type"] = types
    front, back = plots.face_pairs(array)
    assert plots.view_layout(array) == 3
    assert front.tolist() == [1, 2, 3, 8, 9, 10] and back.tolist() == [4, 5, 6, 11, 12, 13]


def test_true_model_leaves_no_face_difference_nor_interball_deviation():
    # Noise-free readings made with the true model: calibrated with it, both faces give the
    # same point and every target pair has the same distance in every view. The simulator
    # inverts the model to 1e-12 m and rad: at most 6e-12 m per point at 5 m, 1.2e-11 m on a
    # distance (1.2e-5 µm), and 1e-12 rad on an angle difference (6e-8 mdeg).
    s = comp.simulate("quick")
    d = plots.face_differences(s.measurements, s.true_model)
    assert np.max(np.abs(d["range"])) < 2e-6
    for key in ("azimuth", "elevation"):
        assert np.max(np.abs(d[key])) < 2e-7
    live = s.measurements["quality"] > plots.LIVE_QUALITY
    _, deviations = plots.interball_deviations(s.measurements, s.true_model, live)
    assert np.nanmax(np.abs(deviations)) < 1.2e-5
    # and the zero model leaves the two-face errors the truth puts there (tens of µm, mdeg)
    zero = plots.face_differences(s.measurements, comp.Model())
    assert np.max(np.abs(zero["azimuth"])) > 1e-1


def test_a_blunder_is_rejected_and_marked_in_the_face_differences():
    # 200 µm on the range of one back sight (row 20: view 0, target 8 of 12, whose front sight
    # is row 8), seventy times the reading noise: the run rejects that pair and nothing else.
    s = comp.simulate("quick", seed=5, noise_range=2e-6, noise_angle=1e-6)
    data = s.measurements.copy()
    data["range"][20] += 2e-4
    result = comp.quick(data, s.start_model)
    assert np.flatnonzero(result.rejected_mask()).tolist() == [8, 20]
    assert result.marked()["quality"][[8, 20]].tolist() == [50.0, 50.0]
    figure = plots.plot_face_differences(result)
    marked = [c for ax in figure.axes for c in ax.collections
              if c.get_label() == "rejected by the run"]
    assert len(marked) == 6 and all(len(c.get_offsets()) == 1 for c in marked)
    # The back sight reads 200 µm long: front minus back is -200 µm, give or take the fitted
    # residual spread (about 3 µm in this scenario's summary).
    range_vs_azimuth = marked[0].get_offsets()[0]
    assert range_vs_azimuth[1] == pytest.approx(-200.0, abs=10.0)


def test_summary_spreads_are_read_with_their_thresholds(quick_result):
    terms = plots.summary_spreads(quick_result.summary)
    names = [t[0] for t in terms]
    assert names[0] == "FSBS: std(R)" and len(terms) == 5
    assert terms[0][2:] == (6.35, 25.4, "micron")


#: What the library's run report adds to a result record.
RUN_REPORT_KEYS = ("stage", "fits", "noise", "elements", "correlated", "correlations")


def without_run_report(result):
    """The result as a tool without the run report wrote it."""
    record = json.loads(result.json_text)
    for key in RUN_REPORT_KEYS:
        record.pop(key, None)
    return comp.Result(json.dumps(record), sets={"measurements": result.measurements()},
                       start_model=result.start_model)


def test_elements_without_run_report_are_those_the_run_changed(quick_result):
    result = without_run_report(quick_result)
    rows = plots.element_rows(result)
    start, fitted = result.start_model, result.model
    assert {r["name"] for r in rows} == {n for n in fitted if fitted[n] != start[n]}
    assert all(r["uncertainty"] is None for r in rows)


def test_library_run_report_gives_every_quick_element_an_uncertainty(quick_result):
    rows = plots.element_rows(quick_result)
    assert len(rows) == 11  # nine two-face elements, Ax and Ay
    assert all(r["uncertainty"] > 0 and r["verdict"] == "determined" for r in rows)


def with_run_report(result):
    """The result with a run report as the library's record carries it."""
    record = json.loads(result.json_text)
    rows = plots.element_rows(result)
    record["stage"] = "final validation"
    record["noise"] = {"range": 2e-6, "azimuth": 1e-6, "elevation": 1e-6,
                       "interball_distance": 3e-6, "available": True}
    record["elements"] = [dict(name=r["name"], fit="two-face", start=r["start"],
                               fitted=r["fitted"], uncertainty=abs(r["fitted"]) / 10 + 1e-9,
                               verdict="determined") for r in rows]
    record["elements"][0]["verdict"] = "weakly determined"
    record["elements"][1]["uncertainty"] = -1
    names = [r["name"] for r in rows[2:5]]
    record["correlated"] = names
    record["correlations"] = [1.0, 0.5, -0.2, 0.5, 1.0, 0.1, -0.2, 0.1, 1.0]
    return comp.Result(json.dumps(record), sets={"measurements": result.measurements()},
                       start_model=result.start_model)


def test_uncertainties_of_a_run_report_reach_the_table_and_bars(quick_result):
    result = with_run_report(quick_result)
    rows = plots.element_rows(result)
    assert rows[0]["verdict"] == "weakly determined"
    assert rows[1]["uncertainty"] is None  # negative: not computed
    figure = plots.plot_elements(result)
    bars = [c for ax in figure.axes for c in ax.containers if hasattr(c, "has_xerr")]
    assert bars and all(c.has_xerr for c in bars)


@needs_poppler
def test_report_has_six_inked_pages(quick_result, tmp_path):
    path = tmp_path / "report.pdf"
    # run and spreads, element table, element bars, correlations, face differences, interball
    # deviations
    assert quick_result.write_report(path) == 6
    assert pdf_pages(path) == 6
    shares = inked_shares(path, tmp_path)
    assert len(shares) == 6 and min(shares) > INKED_SHARE, shares


@needs_poppler
def test_report_command_reads_a_result_file_of_the_tool(tmp_path):
    run_tool("full", "examples/full/scenario.json", "--result", tmp_path / "result.json")
    out = tmp_path / "report.pdf"
    done = subprocess.run([sys.executable, "-m", "compensation", "report",
                           tmp_path / "result.json", "-o", out],
                          cwd=SOURCE_DIR, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert pdf_pages(out) == 6
    assert min(inked_shares(out, tmp_path)) > INKED_SHARE


@needs_poppler
def test_report_without_measurements_keeps_the_run_and_elements(tmp_path):
    run_tool("quick", "examples/quick/scenario.json", "--result", tmp_path / "result.json")
    record = json.loads((tmp_path / "result.json").read_text())
    record["inputs"]["measurements"] = "gone.csv"
    (tmp_path / "result.json").write_text(json.dumps(record))
    out = tmp_path / "report.pdf"
    # run, element table, element bars, correlations
    assert comp.write_report(tmp_path / "result.json", out) == 4
    assert pdf_pages(out) == 4


@needs_poppler
def test_report_of_a_run_report_shows_uncertainties_and_correlations(quick_result, tmp_path):
    result = with_run_report(quick_result)
    names, matrix = plots.correlation_matrix(result)
    assert names == result.record["correlated"] and matrix[0, 1] == matrix[1, 0] == 0.5
    out = tmp_path / "report.pdf"
    # the five pages and the correlations
    assert result.write_report(out) == 6
    assert min(inked_shares(out, tmp_path)) > INKED_SHARE


@needs_poppler
def test_readme_snippet_runs_a_quick_compensation_and_writes_the_report(tmp_path, capsys):
    readme = (SOURCE_DIR / "README.md").read_text()
    snippet = readme.split("```python\n", 1)[1].split("```", 1)[0]
    assert len(snippet.splitlines()) == 5
    exec(snippet.replace("/tmp/report.pdf", str(tmp_path / "report.pdf")), {})
    assert "CONFIDENCE = 100" in capsys.readouterr().out
    assert pdf_pages(tmp_path / "report.pdf") == 6


def test_report_command_refuses_a_missing_result(tmp_path):
    done = subprocess.run([sys.executable, "-m", "compensation", "report",
                           tmp_path / "none.json", "-o", tmp_path / "r.pdf"],
                          cwd=SOURCE_DIR, capture_output=True, text=True)
    assert done.returncode == 2 and "error" in done.stderr
    assert not (tmp_path / "r.pdf").exists()
