"""The map picture of the report answering a hover: a table of the surface at
nodes over the picture's axes, carried in the page with the one script that
reads it, and the element that marks the axes' data area.

The readout of the node nearest the pointer is one line:
    speed <S> <unit>, torque <T> <unit>: fuel <F> <unit>, BSFC <B> g/kWh (<class>)
S with 2 decimals, T and F with 3, B with 1 (BSFC - where the power is not
above 0 or the units are unknown; fuel - where the map has no value). Node
speeds are multiples of 0.01 and torques of 0.001 (each the double nearest
that decimal); each node's fuel is m.fuel there, written as its shortest
round-trip text, so the readout is the library's value. Numbers are rounded
as JavaScript's toFixed rounds: the exact binary value to the nearest, a tie
away from zero."""

from __future__ import annotations

import json
import math

import numpy as np

from ._fuelcalc import WHERE_NAMES, parse_unit
from .plot import surface_map

# Nodes along speed and torque, at most.
NODES = (121, 91)
# The factor of power_w: the double nearest 2 pi / 60.
POWER_FACTOR = 0.10471975511965978


def _axis(low: float, high: float, count: int, scale: int) -> tuple[int, int, int]:
    """(first, step, count) of nodes first + i * step, in units of 1 / scale,
    covering [low, high] with a whole step."""
    first = math.floor(low * scale)
    step = max(1, math.ceil((high * scale - first) / (count - 1)))
    n = math.ceil((high * scale - first) / step) + 1
    return first, step, n


def node_table(m, limits: tuple[float, float, float, float], units: dict,
               bsfc_known: bool) -> dict:
    """The table over limits (speed low, high, torque low, high): the node
    lattice, fuel row by row (a row per torque), each node's class, and the
    units' conversions for BSFC (None when unknown)."""
    s0, ds, ns = _axis(limits[0], limits[1], NODES[0], 100)
    t0, dt, nt = _axis(limits[2], limits[3], NODES[1], 1000)
    speed = (s0 + ds * np.arange(ns)) / 100.0
    torque = (t0 + dt * np.arange(nt)) / 1000.0
    s, t = np.meshgrid(speed, torque)
    fuel = surface_map(m).fuel(s, t)
    where = m.where(s, t)
    conversions = None
    if bsfc_known:
        conversions = [parse_unit(q, units[q + "_unit"])[1:] for q in ("speed", "torque", "fuel")]
    return {"speed": [s0, ds, ns], "torque": [t0, dt, nt],
            "fuel": [None if math.isnan(f) else float(f) for f in fuel.ravel()],
            "where": "".join(map(str, where.ravel().tolist())),
            "units": [units["speed_unit"], units["torque_unit"], units["fuel_unit"]],
            "convert": conversions, "power": POWER_FACTOR, "classes": WHERE_NAMES}


def plot_area(fig, ax) -> str:
    """An invisible SVG rectangle over ax's data area, in the coordinates of
    fig's SVG (points, y down), to insert into the SVG after a draw."""
    width, height = fig.get_size_inches() * 72.0
    box = ax.get_position()
    return (f'<rect data-plot-area="" x="{box.x0 * width!r}" y="{(1 - box.y1) * height!r}" '
            f'width="{box.width * width!r}" height="{box.height * height!r}" fill="none" '
            'stroke="none" pointer-events="none"/>')


def figure_attributes(ax) -> str:
    (x0, x1), (y0, y1) = ax.get_xlim(), ax.get_ylim()
    return (f'data-speed-min="{x0!r}" data-speed-max="{x1!r}" '
            f'data-torque-min="{y0!r}" data-torque-max="{y1!r}"')


SCRIPT = """
(function () {
  var nodes = %s;
  var figure = document.getElementById("map-figure");
  var area = figure.querySelector("[data-plot-area]");
  var readout = document.getElementById("readout");
  var lo = [Number(figure.dataset.speedMin), Number(figure.dataset.torqueMin)];
  var hi = [Number(figure.dataset.speedMax), Number(figure.dataset.torqueMax)];
  function base(value, how) {
    return how[0] === "multiply" ? value * how[1] : how[0] === "divide" ? value / how[1] : value;
  }
  function nearest(value, axis, scale) {
    var i = Math.round((value * scale - axis[0]) / axis[1]);
    return Math.min(Math.max(i, 0), axis[2] - 1);
  }
  figure.addEventListener("mousemove", function (event) {
    var box = area.getBoundingClientRect();
    var fx = (event.clientX - box.left) / box.width, fy = (box.bottom - event.clientY) / box.height;
    if (!(fx >= 0 && fx <= 1 && fy >= 0 && fy <= 1)) return;
    var i = nearest(lo[0] + fx * (hi[0] - lo[0]), nodes.speed, 100);
    var j = nearest(lo[1] + fy * (hi[1] - lo[1]), nodes.torque, 1000);
    var s = (nodes.speed[0] + i * nodes.speed[1]) / 100;
    var t = (nodes.torque[0] + j * nodes.torque[1]) / 1000;
    var k = j * nodes.speed[2] + i, f = nodes.fuel[k], b = "-";
    if (nodes.convert !== null && f !== null) {
      var kw = base(t, nodes.convert[1]) * base(s, nodes.convert[0]) * nodes.power / 1000;
      if (kw > 0) b = (base(f, nodes.convert[2]) / kw).toFixed(1);
    }
    readout.textContent = "speed " + s.toFixed(2) + " " + nodes.units[0] + ", torque " +
      t.toFixed(3) + " " + nodes.units[1] + ": fuel " + (f === null ? "-" : f.toFixed(3)) +
      " " + nodes.units[2] + ", BSFC " + b + " g/kWh (" + nodes.classes[nodes.where[k]] + ")";
  });
})();
"""


def script(table: dict) -> str:
    """The page's one script, carrying the table. Python's float repr is the
    shortest text that reads back to the same double, in JavaScript too."""
    data = json.dumps(table, separators=(",", ":"), allow_nan=False)
    return "<script>" + SCRIPT % data.replace("</", "<\\/") + "</script>"
