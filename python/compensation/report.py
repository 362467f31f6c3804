"""The compensation report: a PDF of a few pages that a person reads in a minute.

1. the run: procedure, inputs, stage, result and meaning, CONFIDENCE, rejections, the spreads
   against their thresholds;
2. the element table: start, fitted, change, standard uncertainty and verdict (the uncertainty
   and verdict columns are filled when the result carries the run report), as many pages as
   the rows need;
3. the fitted elements with their uncertainty bars, and their correlations when the run report
   has them;
4. front-sight minus back-sight differences before and after, rejected pairs marked;
5. interball distance deviations per target pair before and after.

Pages 4 and 5 need the measurements, from the result's arrays or the files its record names;
without them they are left out. Rendered with matplotlib's own PDF backend.
"""

import textwrap

from matplotlib.backends.backend_pdf import PdfPages
from matplotlib.figure import Figure

from . import plots

ROWS_PER_TABLE_PAGE = 42
MAX_LISTED_REJECTIONS = 8


def _run_page(result, title):
    fig = Figure(figsize=plots.PAGE_SIZE)
    fig.text(0.08, 0.95, title, fontsize=16, weight="bold", va="top")
    lines = []
    mode = f", mode {result.mode}" if result.mode is not None else ""
    lines.append(f"Procedure: {result.procedure}{mode}")
    for key, value in result.inputs.items():
        lines.append(f"  {key}: {value}")
    report = result.report or {}
    if "stage" in report:
        stage = report["stage"]
        words = stage.get("words", stage) if isinstance(stage, dict) else stage
        lines.append(f"Stage reached: {words}")
    lines.append(f"Result: {result.code}: {result.meaning}")
    lines.append(f"Settled: {'yes' if result.settled else 'no'}    "
                 f"Final validation: {'ran' if result.validated else 'did not run'}")
    lines.append("")
    lines.append(f"CONFIDENCE = {result.confidence if result.confidence is not None else '-'}")
    lines.append("")
    lines.append(f"{len(result.rejected)} measurement(s) changed quality"
                 + (":" if result.rejected else "."))
    for change in result.rejected[:MAX_LISTED_REJECTIONS]:
        lines.append(
            f"  {change['set']} line {change['line']} (index {change['index']}), type "
            f"{change['type']}: {change['old_quality']:g} -> {change['new_quality']:g} "
            f"({change['mark']})"
        )
    if len(result.rejected) > MAX_LISTED_REJECTIONS:
        lines.append(f"  ... and {len(result.rejected) - MAX_LISTED_REJECTIONS} more")
    noise = report.get("noise")
    if isinstance(noise, dict) and noise.get("available", True):
        parts = []
        for key, factor, unit in (("range", 1e6, "µm"), ("azimuth", 1e6, "µrad"),
                                  ("elevation", 1e6, "µrad"), ("interball_distance", 1e6, "µm")):
            if isinstance(noise.get(key), (int, float)):
                parts.append(f"{key.replace('_', ' ')} {noise[key] * factor:.3g} {unit}")
        if parts:
            lines.append("Reading noise the data show: " + ", ".join(parts))
    wrapped = []
    for line in lines:
        wrapped.extend(textwrap.wrap(line, 95, subsequent_indent="    ") or [""])
    fig.text(0.08, 0.90, "\n".join(wrapped), fontsize=9, va="top", family="monospace")
    if plots.summary_spreads(result.summary):
        ax = fig.add_axes([0.30, 0.14, 0.45, 0.30])
        plots.plot_spreads(result, ax=ax)
    else:
        fig.text(0.08, 0.2, "The final validation did not run: no spreads, no CONFIDENCE.",
                 fontsize=10)
    return fig


def _format(value, factor):
    return "-" if value is None else f"{value * factor:.6g}"


def _table_pages(result):
    rows = plots.element_rows(result)
    has_uncertainty = any(r["uncertainty"] is not None for r in rows)
    header = ["element", "unit", "start", "fitted", "change", "std. uncertainty", "verdict"]
    body = []
    for r in rows:
        factor, unit = plots.display_unit(r["name"])
        change = None if r["start"] is None else r["fitted"] - r["start"]
        body.append([
            r["name"], unit or "-", _format(r["start"], factor), _format(r["fitted"], factor),
            _format(change, factor), _format(r["uncertainty"], factor), r["verdict"] or "-",
        ])
    pages = []
    chunks = [body[k:k + ROWS_PER_TABLE_PAGE] for k in range(0, len(body), ROWS_PER_TABLE_PAGE)]
    for number, chunk in enumerate(chunks or [[]], start=1):
        fig = Figure(figsize=plots.PAGE_SIZE)
        heading = "Elements the run estimated"
        if len(chunks) > 1:
            heading += f" ({number} of {len(chunks)})"
        fig.text(0.08, 0.95, heading, fontsize=13, weight="bold", va="top")
        note = ("Uncertainty and verdict from the run report." if has_uncertainty else
                "This result carries no run report: no uncertainties or verdicts; "
                "the elements listed are those the run changed.")
        fig.text(0.08, 0.92, note, fontsize=8, va="top")
        ax = fig.add_axes([0.05, 0.05, 0.9, 0.85])
        ax.axis("off")
        if chunk:
            table = ax.table(cellText=chunk, colLabels=header, loc="upper center",
                             cellLoc="right", colLoc="center")
            table.auto_set_font_size(False)
            table.set_fontsize(7)
            table.scale(1.0, 1.15)
        else:
            ax.text(0.0, 0.95, "The run changed no element.", fontsize=10, va="top")
        pages.append(fig)
    return pages


def report_pages(result, title=None):
    """The report's pages as matplotlib figures, in order."""
    title = title or f"Compensation report: {result.procedure}"
    pages = [_run_page(result, title)]
    pages.extend(_table_pages(result))
    for make in (plots.plot_elements, plots.plot_correlations, plots.plot_face_differences,
                 plots.plot_interball):
        figure = make(result)
        if figure is not None:
            pages.append(figure)
    return pages


def write_report(result, path, title=None):
    """Writes the report of ``result`` (a Result, or the path of a result file) to a PDF and
    returns its number of pages."""
    from .procedures import Result

    if not isinstance(result, Result):
        result = Result.load(result)
    pages = report_pages(result, title)
    # No creation date: the same run gives the same file.
    with PdfPages(path, metadata={"CreationDate": None, "Creator": "compensation"}) as pdf:
        for figure in pages:
            pdf.savefig(figure)
    return len(pages)
