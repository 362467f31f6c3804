"""The plan of a layout file: its points where the tool's reader puts them, in both views, and
the pairs joining the targets they name."""

import math
import subprocess
import sys

import numpy as np
import pytest

import compensation as comp
from compensation import plots
from conftest import EXAMPLES, SOURCE_DIR, tool_error

#: A station off the origin and four targets, three of them given from it by range, azimuth and
#: elevation (azimuth 0 along +Z, positive toward -X, Y up).
LAYOUT = {
    "procedure": "full",
    "noise": {"range_m": 2e-6, "angle_rad": 1e-6},
    "station": {"position": [1.0, 0.5, -2.0]},
    "headings_deg": [0, 90, 180, 270],
    "targets": [
        {"range": 4.0, "azimuth_deg": 90, "elevation_deg": 0},
        {"range": 2.0, "azimuth_deg": 0, "elevation_deg": 30},
        [1.0, -0.5, 1.0],
        {"range": 2.0, "azimuth_deg": -90, "elevation_deg": -30},
    ],
    "pairs": {"x0y0": [1, 2], "d2": [3, 4], "extra": [2, 4]},
    "outside": {"position": [0.0, 0.0, 5.0], "heading_deg": 180, "repeats": 3},
    "flying": {"targets": [[0.0, -1.0, 6.0]],
               "placements": [{"position": [0.0, 0.0, 4.0], "heading_deg": 180}]},
}
ROOT3 = math.sqrt(3.0)
#: By hand: x = x0 - r cos(el) sin(az), y = y0 + r sin(el), z = z0 + r cos(el) cos(az).
TARGETS = np.array([
    [1.0 - 4.0, 0.5, -2.0],
    [1.0, 0.5 + 1.0, -2.0 + ROOT3],
    [1.0, -0.5, 1.0],
    [1.0 + ROOT3, 0.5 - 1.0, -2.0],
])
#: From the side: horizontal distance from the station (1, -2) in x, z; and the height y.
SIDE = np.array([[4.0, 0.5], [ROOT3, 1.5], [3.0, -0.5], [ROOT3, -0.5]])
#: The degrees become radians and pass through sin and cos: a few ulps of a few metres.
TOLERANCE = 1e-12


def artist(ax, label):
    """The line or point collection of ``ax`` under ``label``."""
    found = [a for a in ax.lines + ax.collections if a.get_label() == label]
    assert len(found) == 1, label
    return found[0]


def points(ax, label):
    a = artist(ax, label)
    return np.asarray(a.get_offsets()) if hasattr(a, "get_offsets") else np.asarray(a.get_xydata())


def numbers(ax):
    """Target number -> where its label is anchored."""
    return {int(t.get_text()): np.asarray(t.xy) for t in ax.texts}


def test_both_views_plot_the_hand_computed_targets_numbered_from_one():
    above, side = plots.plot_layout(LAYOUT).axes
    np.testing.assert_allclose(points(above, "targets"), TARGETS[:, [0, 2]], atol=TOLERANCE)
    np.testing.assert_allclose(points(side, "targets"), SIDE, atol=TOLERANCE)
    for ax, expected in ((above, TARGETS[:, [0, 2]]), (side, SIDE)):
        labels = numbers(ax)
        assert sorted(labels) == [1, 2, 3, 4]
        for k, xy in labels.items():
            np.testing.assert_allclose(xy, expected[k - 1], atol=TOLERANCE)


def test_pair_lines_join_the_targets_they_name():
    above, side = plots.plot_layout(LAYOUT).axes
    for ax, expected in ((above, TARGETS[:, [0, 2]]), (side, SIDE)):
        for label, (i, j) in (("x0y0 (1, 2)", (1, 2)), ("d2 (3, 4)", (3, 4)),
                              ("extra (2, 4)", (2, 4))):
            np.testing.assert_allclose(points(ax, label), expected[[i - 1, j - 1]],
                                       atol=TOLERANCE)


def test_stations_and_flying_placements_are_drawn_in_both_views():
    above, side = plots.plot_layout(LAYOUT).axes
    np.testing.assert_allclose(points(above, "station"), [[1.0, -2.0]])
    np.testing.assert_allclose(points(side, "station"), [[0.0, 0.5]])
    np.testing.assert_allclose(points(above, "outside station"), [[0.0, 5.0]])
    np.testing.assert_allclose(points(side, "outside station"), [[math.hypot(1, 7), 0.0]])
    np.testing.assert_allclose(points(above, "flying targets"), [[0.0, 6.0]])
    np.testing.assert_allclose(points(side, "flying placements"), [[math.hypot(1, 6), 0.0]])
    # Seen from above in a right-handed frame with Y up, +z runs down the page.
    assert above.yaxis_inverted() and not side.yaxis_inverted()


def test_a_pair_beyond_the_targets_is_named_but_not_drawn():
    layout = dict(LAYOUT, pairs={"d2": [3, 9]})
    above, _ = plots.plot_layout(layout).axes
    assert len(points(above, "d2 (3, 9): no such target")) == 0


@pytest.mark.parametrize("name", ["quick", "full", "fullfull0", "fullfull1", "fullfull2"])
def test_every_bundled_layout_plots_its_targets_and_pairs(name):
    path = EXAMPLES / name / "layout.json"
    layout = comp.read_layout(path)
    targets = np.asarray(layout["targets"])[:, [0, 2]]
    above, side = plots.plot_layout(path).axes
    assert len(numbers(above)) == len(numbers(side)) == len(targets)
    for pair, (i, j) in layout.get("pairs", {}).items():
        np.testing.assert_array_equal(points(above, f"{pair} ({i}, {j})"),
                                      targets[[i - 1, j - 1]])


def test_broken_layout_raises_the_message_of_compensate_plan(tmp_path):
    path = tmp_path / "layout.json"
    path.write_text('{"noise": {"range_m": 2e-6, "angle_rad": 1e-6}, "headings_deg": [0],\n'
                    ' "targets": [{"range": -1, "azimuth_deg": 0, "elevation_deg": 0}]}\n')
    expected = tool_error("plan", path)
    with pytest.raises(comp.InputError) as raised:
        plots.plot_layout(path)
    assert str(raised.value) == expected and raised.value.field == "range"


@pytest.mark.parametrize("suffix", ["pdf", "png"])
def test_layout_command_writes_the_plan(tmp_path, suffix):
    out = tmp_path / f"layout.{suffix}"
    done = subprocess.run([sys.executable, "-m", "compensation", "layout",
                           EXAMPLES / "fullfull1" / "layout.json", "-o", out],
                          cwd=SOURCE_DIR, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert out.stat().st_size > 10_000
