"""Plots of a compensation run with matplotlib: face differences, interball distance deviations,
the fitted elements and the spreads against their thresholds; and the plan of a layout file.

Each function takes a :class:`~compensation.procedures.Result` and returns a new
``matplotlib.figure.Figure`` (made without pyplot, so nothing needs a display), or None when the
result lacks what the plot shows (the measurements, or the final validation's summary);
:func:`plot_layout` takes a layout file instead. Lengths are shown in micrometres and angles in
millidegrees, the units of the tool's summary; a layout in metres.
"""

import re
import warnings

import numpy as np
from matplotlib.figure import Figure

from .data import calibrate, read_layout

REFERENCE_VIEW, FRONT_SIGHT, BACK_SIGHT = 14, 100, 200
#: Usable measurements have a quality strictly above this.
LIVE_QUALITY = 50.0
#: Elements in metres; the polynomial coefficients act on the elevation in radians; the rest
#: are angles in degrees.
LENGTH_ELEMENTS = frozenset(("D1", "D2", "D2_AzS", "D2_AzC", "D2_dT", "X0", "Y0"))
POLYNOMIAL_ELEMENTS = frozenset(("B_plus", "A_plus", "C_plus", "B_minus", "A_minus", "C_minus"))

PAGE_SIZE = (8.27, 11.69)  # A4 portrait, inches
BEFORE, AFTER, REJECTED = "0.6", "tab:blue", "tab:red"


def _degrees(array, axis):
    for unit, factor in (("deg", 1.0), ("rad", 180.0 / np.pi)):
        name = f"{axis}_{unit}"
        if name in array.dtype.names:
            return np.asarray(array[name], dtype=float) * factor
    raise KeyError(axis)


def view_layout(measurements):
    """Targets per view of a main set (reference view, n front sights, n back sights)."""
    types = np.asarray(measurements["type"])
    n = 0
    while 1 + n < len(types) and types[1 + n] == FRONT_SIGHT:
        n += 1
    return n


def face_pairs(measurements):
    """Row indices (front, back) of every two-face pair of a main set."""
    n = view_layout(measurements)
    size = 1 + 2 * n
    views = len(measurements) // size if n else 0
    front = np.array([v * size + 1 + i for v in range(views) for i in range(n)], dtype=int)
    return front, front + n


def face_differences(measurements, model):
    """Front sight minus back sight of every pair after calibration with ``model``: range (µm),
    azimuth and elevation (mdeg), with the front sight's azimuth and elevation (degrees)."""
    front, back = face_pairs(measurements)
    corrected = calibrate(measurements, model)
    az, el = _degrees(corrected, "azimuth"), _degrees(corrected, "elevation")
    d_range = (corrected["range"][front] - corrected["range"][back]) * 1e6
    d_az = (az[front] - az[back] + 180.0) % 360.0 - 180.0
    d_el = el[front] - el[back]
    return {
        "range": d_range,
        "azimuth": d_az * 1e3,
        "elevation": d_el * 1e3,
        "at_azimuth": az[front],
        "at_elevation": el[front],
    }


def plot_face_differences(result):
    """FS-BS differences in range, azimuth and elevation against azimuth and against elevation,
    with the starting model (grey) and the fitted one (blue); pairs the run rejected in red."""
    main = result.measurements()
    if main is None or result.start_model is None or not len(face_pairs(main)[0]):
        return None
    front, back = face_pairs(main)
    live = (main["quality"][front] > LIVE_QUALITY) & (main["quality"][back] > LIVE_QUALITY)
    mask = result.rejected_mask()
    rejected = (mask[front] | mask[back]) & live
    kept = live & ~rejected
    before = face_differences(main, result.start_model)
    after = face_differences(main, result.model)

    fig = Figure(figsize=PAGE_SIZE, layout="constrained")
    fig.suptitle("Front sight minus back sight, before and after")
    axes = fig.subplots(3, 2, sharex="col")
    rows = (
        ("range", "range (µm)"),
        ("azimuth", "azimuth (mdeg)"),
        ("elevation", "elevation (mdeg)"),
    )
    for r, (key, label) in enumerate(rows):
        for c, (where, xlabel) in enumerate(
            (("at_azimuth", "azimuth (deg)"), ("at_elevation", "elevation (deg)"))
        ):
            ax = axes[r, c]
            x = after[where]
            ax.scatter(x[live], before[key][live], s=8, color=BEFORE, label="before")
            ax.scatter(x[kept], after[key][kept], s=8, color=AFTER, label="after")
            if rejected.any():
                ax.scatter(
                    x[rejected], after[key][rejected], s=40, marker="x", color=REJECTED,
                    label="rejected by the run",
                )
            ax.axhline(0.0, color="0.3", lw=0.5)
            ax.set_ylabel(label)
            if r == 2:
                ax.set_xlabel(xlabel)
    axes[0, 0].legend(loc="best", fontsize="small")
    return fig


def interball_deviations(measurements, model, live):
    """Per target pair (i < j, in lexicographic order), the distance in every view between the
    calibrated front sights minus its mean over the views where both are live (µm); NaN where
    either is not live. Returns (pairs, deviations[view, pair])."""
    n = view_layout(measurements)
    size = 1 + 2 * n
    views = len(measurements) // size
    corrected = calibrate(measurements, model)
    xyz = np.column_stack([corrected["x"], corrected["y"], corrected["z"]])
    rows = np.array([[v * size + 1 + i for i in range(n)] for v in range(views)])
    points = xyz[rows]  # view, target, coordinate
    usable = live[rows]
    i, j = np.triu_indices(n, k=1)
    distance = np.linalg.norm(points[:, i, :] - points[:, j, :], axis=2)
    distance[~(usable[:, i] & usable[:, j])] = np.nan
    with warnings.catch_warnings():
        # A pair live in no view has no mean: its column stays NaN.
        warnings.simplefilter("ignore", RuntimeWarning)
        mean = np.nanmean(distance, axis=0)
    return list(zip(i + 1, j + 1)), (distance - mean) * 1e6


def plot_interball(result):
    """Interball distance deviations per target pair (front sights), before and after."""
    main = result.measurements()
    if main is None or result.start_model is None or view_layout(main) < 2:
        return None
    live_before = main["quality"] > LIVE_QUALITY
    live_after = result.marked()["quality"] > LIVE_QUALITY
    pairs, before = interball_deviations(main, result.start_model, live_before)
    _, after = interball_deviations(main, result.model, live_after)
    index = np.arange(len(pairs))

    fig = Figure(figsize=PAGE_SIZE, layout="constrained")
    fig.suptitle("Interball distance deviations per target pair (front sights)")
    axes = fig.subplots(3, 1)
    for ax, data, colour, title in (
        (axes[0], before, BEFORE, "before (starting model)"),
        (axes[1], after, AFTER, "after (fitted model)"),
    ):
        for view in data:
            ax.scatter(index, view, s=6, color=colour)
        ax.axhline(0.0, color="0.3", lw=0.5)
        ax.set_title(title, fontsize="medium")
        ax.set_ylabel("distance − mean over views (µm)")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        rms_before = np.sqrt(np.nanmean(before**2, axis=0))
        rms_after = np.sqrt(np.nanmean(after**2, axis=0))
    axes[2].plot(index, rms_before, color=BEFORE, marker=".", label="before")
    axes[2].plot(index, rms_after, color=AFTER, marker=".", label="after")
    axes[2].set_ylabel("RMS over views (µm)")
    axes[2].legend(fontsize="small")
    step = max(1, len(pairs) // 20)
    for ax in axes:
        ax.set_xticks(index[::step])
        ax.set_xticklabels([f"{a}-{b}" for a, b in pairs[::step]], rotation=90, fontsize="x-small")
    axes[2].set_xlabel("target pair")
    return fig


def element_rows(result):
    """The elements the run estimated: from the run report when the result has one (with
    uncertainty and verdict), else every element the run changed (uncertainty None)."""
    report = result.report or {}
    elements = report.get("elements")
    rows = []
    if elements:
        items = elements.items() if isinstance(elements, dict) else (
            (e.get("name"), e) for e in elements)
        for name, e in items:
            uncertainty = e.get("uncertainty")
            if uncertainty is not None and uncertainty < 0:
                uncertainty = None
            rows.append({
                "name": name,
                "start": e.get("start", result.start_model[name] if result.start_model else None),
                "fitted": e.get("fitted", result.model[name]),
                "uncertainty": uncertainty,
                "verdict": e.get("verdict", ""),
                "fit": e.get("fit", ""),
            })
        return rows
    start = result.start_model
    for name, fitted in result.model.items():
        if start is None or start[name] != fitted:
            rows.append({
                "name": name,
                "start": None if start is None else start[name],
                "fitted": fitted,
                "uncertainty": None,
                "verdict": "",
                "fit": "",
            })
    return rows


def display_unit(name):
    """(factor, unit) that shows an element in the summary's units."""
    if name in LENGTH_ELEMENTS:
        return 1e6, "µm"
    if name in POLYNOMIAL_ELEMENTS or name == "T_ref":
        return 1.0, ""
    return 1e3, "mdeg"


def plot_elements(result):
    """The fitted elements with their standard uncertainty as bars (when the result carries
    uncertainties), the starting values as open circles; one panel per unit."""
    rows = element_rows(result)
    if not rows:
        return None
    groups = {}
    for row in rows:
        groups.setdefault(display_unit(row["name"]), []).append(row)
    fig = Figure(figsize=PAGE_SIZE, layout="constrained")
    has_uncertainty = any(r["uncertainty"] is not None for r in rows)
    fig.suptitle(
        "Fitted elements" + (" with standard uncertainty" if has_uncertainty else
                             " (this result carries no uncertainties)")
    )
    heights = [max(len(g), 3) for g in groups.values()]
    axes = fig.subplots(len(groups), 1, gridspec_kw={"height_ratios": heights}, squeeze=False)
    for ax, ((factor, unit), group) in zip(axes[:, 0], groups.items()):
        y = np.arange(len(group))
        fitted = np.array([r["fitted"] for r in group]) * factor
        error = np.array([np.nan if r["uncertainty"] is None else r["uncertainty"] for r in group])
        ax.barh(y, fitted, color=AFTER, alpha=0.7, label="fitted")
        if has_uncertainty:
            ax.errorbar(fitted, y, xerr=error * factor, fmt="none", ecolor="k", capsize=3,
                        label="± standard uncertainty")
        start = [r["start"] for r in group]
        if all(s is not None for s in start):
            ax.scatter(np.array(start) * factor, y, facecolors="none", edgecolors="k", s=20,
                       label="start", zorder=3)
        labels = [r["name"] + (f" ({r['verdict']})" if r["verdict"] and r["verdict"] !=
                               "determined" else "") for r in group]
        ax.set_yticks(y)
        ax.set_yticklabels(labels, fontsize="x-small")
        ax.invert_yaxis()
        ax.axvline(0.0, color="0.3", lw=0.5)
        ax.set_xlabel(unit or "model units")
    axes[0, 0].legend(fontsize="small", loc="best")
    return fig


_SUMMARY_LINE = re.compile(
    r"^\s*(?P<name>.+?)\s*=\s*(?P<value>\S+);\s*LTH\s*=\s*(?P<lth>\S+);\s*UTH\s*=\s*(?P<uth>\S+)"
    r"\s*\((?P<unit>[^)]*)\)"
)


def summary_spreads(summary):
    """The spreads of the final validation's summary with their lower and upper thresholds:
    a list of (name, spread, lower, upper, unit), in the summary's numbers."""
    terms = []
    for line in (summary or "").splitlines():
        match = _SUMMARY_LINE.match(line)
        if match:
            try:
                values = [float(match[k]) for k in ("value", "lth", "uth")]
            except ValueError:
                continue
            terms.append((match["name"], *values, match["unit"]))
    return terms


def plot_spreads(result, ax=None):
    """Each spread of the summary against its thresholds, as a fraction of the upper one:
    below the lower threshold a term scores fully, above the upper it scores nothing."""
    terms = summary_spreads(result.summary)
    if not terms:
        return None
    fig = None
    if ax is None:
        fig = Figure(figsize=(PAGE_SIZE[0], 0.5 * len(terms) + 1.5), layout="constrained")
        ax = fig.subplots()
    y = np.arange(len(terms))
    ratio = np.array([t[1] / t[3] if t[3] > 0 else np.nan for t in terms])
    colours = [AFTER if t[1] <= t[2] else ("tab:orange" if t[1] <= t[3] else REJECTED)
               for t in terms]
    ax.barh(y, np.nan_to_num(ratio, nan=0.0, posinf=0.0), color=colours)
    for k, t in enumerate(terms):
        lower = t[2] / t[3] if t[3] > 0 else np.nan
        ax.plot([lower, lower], [k - 0.4, k + 0.4], color="k", lw=1)
        ax.text(max(ratio[k] if np.isfinite(ratio[k]) else 0, 1.0) + 0.02, k,
                f"{t[1]:g} (LTH {t[2]:g}, UTH {t[3]:g} {t[4]})", va="center", fontsize="x-small")
    ax.axvline(1.0, color=REJECTED, lw=1)
    ax.set_yticks(y)
    ax.set_yticklabels([t[0] for t in terms], fontsize="small")
    ax.invert_yaxis()
    ax.set_xlim(0, max(2.2, np.nanmax(ratio, initial=0.0) + 1.2))
    ax.set_xlabel("spread / upper threshold (black tick: lower threshold)")
    ax.set_title(f"Spreads against their thresholds, CONFIDENCE = {result.confidence}",
                 fontsize="medium")
    return fig if fig is not None else ax.figure


def correlation_matrix(result):
    """(names, square matrix) of the run report's correlations, or None when the result has
    none. The record holds the element names and the matrix, nested or row-major flat."""
    report = result.report or {}
    table = report.get("correlations")
    names = report.get("correlated") or result.record.get("correlated")
    values = table
    if isinstance(table, dict):
        names = next((table[k] for k in ("elements", "names", "correlated") if k in table), names)
        values = next((table[k] for k in ("matrix", "values") if k in table), None)
    if not names or values is None:
        return None
    matrix = np.asarray(values, dtype=float).reshape(-1)
    if matrix.size != len(names) ** 2:
        return None
    return list(names), matrix.reshape(len(names), len(names))


def plot_correlations(result):
    """The correlations of the elements whose uncertainty the run report computed."""
    found = correlation_matrix(result)
    if found is None:
        return None
    names, matrix = found
    fig = Figure(figsize=PAGE_SIZE, layout="constrained")
    fig.suptitle("Correlations of the fitted elements")
    ax = fig.subplots()
    image = ax.imshow(matrix, vmin=-1.0, vmax=1.0, cmap="RdBu_r")
    ax.set_xticks(range(len(names)))
    ax.set_xticklabels(names, rotation=90, fontsize="x-small")
    ax.set_yticks(range(len(names)))
    ax.set_yticklabels(names, fontsize="x-small")
    fig.colorbar(image, ax=ax, shrink=0.6, label="correlation")
    return fig


#: The target pairs of a layout and their colours.
LAYOUT_PAIRS = (("x0y0", "tab:green"), ("d2", "tab:red"), ("extra", "tab:purple"))


def layout_views(layout):
    """The layout's points in the two views of :func:`plot_layout`: for each of ``station``,
    ``targets``, ``outside``, ``flying_targets`` and ``flying_placements`` an (n, 2) array of
    (x, z) seen from above and an (n, 2) array of (horizontal distance from the main station,
    y) seen from the side, in metres. ``layout``: a layout file or a dict in its format."""
    layout = read_layout(layout)
    flying = layout.get("flying", {})
    groups = {
        "station": [layout["station"]["position"]],
        "targets": layout["targets"],
        "outside": [layout["outside"]["position"]] if "outside" in layout else [],
        "flying_targets": flying.get("targets", []),
        "flying_placements": [p["position"] for p in flying.get("placements", [])],
    }
    station = np.asarray(layout["station"]["position"], dtype=float)
    views = {}
    for name, points in groups.items():
        p = np.asarray(points, dtype=float).reshape(-1, 3)
        distance = np.hypot(p[:, 0] - station[0], p[:, 2] - station[2])
        views[name] = (p[:, [0, 2]], np.column_stack((distance, p[:, 1])))
    return views


def plot_layout(layout):
    """The plan of a layout (a layout file, or a dict in its format) from above (x, z) and from
    the side (horizontal distance from the main station, y), with the main station, the targets
    numbered 1-based as the pairs name them, the x0y0, d2 and extra pairs, the outside station
    and the flying targets and placements. Returns a Figure with those two axes."""
    layout = read_layout(layout)
    views = layout_views(layout)
    fig = Figure(figsize=(PAGE_SIZE[1], PAGE_SIZE[0]), layout="constrained")
    fig.suptitle(f"Layout of a {layout['procedure']} compensation: "
                 f"{len(layout['targets'])} targets, {len(layout['headings_deg'])} views")
    above, side = fig.subplots(1, 2)
    pairs = layout.get("pairs", {})
    for view, ax in enumerate((above, side)):
        points = {name: views[name][view] for name in views}
        for name, colour in LAYOUT_PAIRS:
            if name not in pairs:
                continue
            first, second = pairs[name]
            label = f"{name} ({first}, {second})"
            if max(first, second) > len(layout["targets"]):
                ax.plot([], [], color=colour, label=f"{label}: no such target")
                continue
            ends = points["targets"][[first - 1, second - 1]]
            ax.plot(ends[:, 0], ends[:, 1], color=colour, lw=2, label=label)
        ax.scatter(*points["targets"].T, color=AFTER, s=20, zorder=3, label="targets")
        for k, (u, v) in enumerate(points["targets"], start=1):
            ax.annotate(str(k), (u, v), xytext=(3, 3), textcoords="offset points",
                        fontsize="x-small")
        ax.scatter(*points["station"].T, color="k", marker="^", s=80, zorder=4, label="station")
        if len(points["outside"]):
            ax.scatter(*points["outside"].T, color="tab:orange", marker="^", s=80, zorder=4,
                       label="outside station")
        if len(points["flying_targets"]):
            ax.scatter(*points["flying_targets"].T, color="tab:brown", marker="x", zorder=3,
                       label="flying targets")
        if len(points["flying_placements"]):
            ax.scatter(*points["flying_placements"].T, color="tab:brown", marker="v", s=50,
                       zorder=4, label="flying placements")
        ax.set_aspect("equal", adjustable="datalim")
        ax.grid(True, lw=0.3)
    # Y up in a right-handed frame: seen from above with x to the right, +z points down the page.
    above.invert_yaxis()
    above.set(title="From above", xlabel="x (m)", ylabel="z (m)")
    side.set(title="From the side", xlabel="horizontal distance from the station (m)",
             ylabel="y, up (m)")
    side.legend(fontsize="x-small", loc="best")
    return fig
