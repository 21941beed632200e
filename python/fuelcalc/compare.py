"""Two maps on one cycle: their totals side by side with the difference, the
difference of the two surfaces over the region both measure, and the
operating points weighted by their part of the difference in total fuel.

    fuelcalc.plot.compare(m, m2, speed, torque, step=1.0).savefig("difference.png")
"""

from __future__ import annotations

import html

import numpy as np
from matplotlib.colors import TwoSlopeNorm
from matplotlib.figure import Figure

from ._fuelcalc import FuelMap, to_base
from .plot import MARGIN, grid_extent, round_levels, surface_map, units_known
from .totals import cell, rows

BASE_UNITS = {"speed_unit": "rpm", "torque_unit": "Nm", "fuel_unit": "g/h"}


def _in_base(m: FuelMap, units: dict) -> FuelMap:
    s, t, f = m.points
    return FuelMap.from_points(to_base("speed", units["speed_unit"], s),
                               to_base("torque", units["torque_unit"], t),
                               to_base("fuel", units["fuel_unit"], f),
                               method=m.method, outside=m.outside)


def comparable(m: FuelMap, units: dict, m2: FuelMap, units2: dict):
    """(m, m2, units): the two maps in one set of units (both converted to
    rpm, Nm and g/h when they declare different ones). ValueError when their
    units differ and one is not converted, or when no point lies inside
    both."""
    if units != units2:
        for u in (units, units2):
            why = units_known(**u)
            if why:
                raise ValueError(f"the maps' units differ and {why}: they cannot be compared")
        m, m2, units = _in_base(m, units), _in_base(m2, units2), dict(BASE_UNITS)
    if not _overlap(m, m2).any():
        raise ValueError("the maps do not overlap: no speed and torque lies inside both "
                         "measured maps")
    return m, m2, units


def _mesh(m: FuelMap, m2: FuelMap, size: int = 200):
    a, b = grid_extent(m), grid_extent(m2)
    x0, x1, y0, y1 = max(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), min(a[3], b[3])
    if not (x0 <= x1 and y0 <= y1):
        return None
    return np.meshgrid(np.linspace(x0, x1, size), np.linspace(y0, y1, size))


def _overlap(m: FuelMap, m2: FuelMap) -> np.ndarray:
    mesh = _mesh(m, m2)
    if mesh is None:
        return np.zeros(0, dtype=bool)
    return (m.where(*mesh) == 0) & (m2.where(*mesh) == 0)


def difference(a: float, b: float | None) -> tuple[str, str]:
    """The second against the first: signed, and signed in % of the first."""
    if a is None or b is None:
        return "&ndash;", "&ndash;"
    d = b - a
    percent = f"{100.0 * d / a:+.1f} %" if a != 0 else "&ndash;"
    return f"{d:+.3f}", percent


def compare_table(totals: dict, totals2: dict, labels: tuple[str, str]) -> str:
    """Both totals with units, and the difference of the second against the
    first, in the unit and in %."""
    body = []
    for (key, label, unit, value, decimals), (_, _, _, value2, _) in zip(rows(totals),
                                                                        rows(totals2)):
        d, percent = difference(value, value2)
        body.append(f'<tr id="compare-{key}"><th>{label}</th><td>{unit}</td>'
                    f"{cell(value, decimals)}{cell(value2, decimals)}"
                    f'<td class="number">{d}</td><td class="number">{percent}</td></tr>')
    first, second = (html.escape(x) for x in labels)
    return ('<table id="compare">\n<tr><th></th><th>unit</th>'
            f"<th><code>{first}</code></th><th><code>{second}</code></th>"
            "<th>difference</th><th>difference [%]</th></tr>\n" + "\n".join(body) + "\n</table>")


def difference_figure(m: FuelMap, m2: FuelMap, speed=None, torque=None, *, step: float = 1.0,
            names: tuple[str, str] = ("first map", "second map"), speed_unit: str = "rpm",
            torque_unit: str = "Nm", fuel_unit: str = "g/h", mesh: int = 200) -> Figure:
    """Left: m2's fuel minus m's over the region both measure (both in one
    set of units: see comparable). Right, with the operating points (speed,
    torque) records step seconds apart: each point's part of the difference
    in total fuel (its difference times its time), summed in hexagons."""
    fig = Figure(figsize=(12, 5.5), layout="constrained")
    surface, points = fig.subplots(1, 2, sharex=True, sharey=True)
    s, t = _mesh(m, m2, mesh)
    both = (m.where(s, t) == 0) & (m2.where(s, t) == 0)
    d = surface_map(m2).fuel(s, t) - surface_map(m).fuel(s, t)
    d = np.ma.masked_where(~both | ~np.isfinite(d), d)
    span = float(np.abs(d).max()) if d.count() else 1.0
    levels = round_levels(-span, span, 16)
    filled = surface.contourf(s, t, d, levels=levels, cmap="RdBu_r")
    for area in filled.collections:
        area.set_rasterized(True)
    fig.colorbar(filled, ax=surface, label=f"fuel difference [{fuel_unit}]", pad=0.01)
    for m_, style, label in ((m, "-", names[0]), (m2, "--", names[1])):
        es, lo, hi = m_.envelope
        surface.plot(np.concatenate([es, es[::-1], es[:1]]),
                     np.concatenate([lo, hi[::-1], lo[:1]]), color="black", linestyle=style,
                     linewidth=1.2, label=f"measured: {label}")
    surface.set_title(f"{names[1]} minus {names[0]}", fontsize=10, loc="left")
    surface.legend(loc="upper center", bbox_to_anchor=(0.5, -0.12), fontsize=8, frameon=False)

    if speed is not None and torque is not None and np.size(speed):
        speed = np.asarray(speed, dtype=np.float64)
        torque = np.asarray(torque, dtype=np.float64)
        part = (surface_map(m2).fuel(speed, torque) - surface_map(m).fuel(speed, torque))
        grams = part * step / 3600.0
        if fuel_unit != "g/h" and units_known(speed_unit, torque_unit, fuel_unit) is None:
            grams = to_base("fuel", fuel_unit, grams)
        ok = np.isfinite(grams)
        if ok.any():
            largest = float(np.abs(grams[ok]).max()) or 1.0
            cells = points.hexbin(speed[ok], torque[ok], C=grams[ok], reduce_C_function=np.sum,
                                  gridsize=40, cmap="RdBu_r", linewidths=0.2,
                                  edgecolors="white")
            sums = cells.get_array()
            extreme = float(np.abs(sums).max()) if sums.size else largest
            cells.set_norm(TwoSlopeNorm(0.0, -extreme or -1.0, extreme or 1.0))
            cells.set_rasterized(True)
            fig.colorbar(cells, ax=points, label="part of the difference in total fuel [g]",
                         pad=0.01)
    for m_, style in ((m, "-"), (m2, "--")):
        es, lo, hi = m_.envelope
        points.plot(np.concatenate([es, es[::-1], es[:1]]),
                    np.concatenate([lo, hi[::-1], lo[:1]]), color="black", linestyle=style,
                    linewidth=1.0)
    points.set_title("where on the map the difference in total fuel comes from", fontsize=10,
                     loc="left")
    x0, x1, y0, y1 = grid_extent(m, MARGIN)
    surface.set_xlim(x0, x1)
    surface.set_ylim(y0, y1)
    for ax in (surface, points):
        ax.set_xlabel(f"speed [{speed_unit}]")
    surface.set_ylabel(f"torque [{torque_unit}]")
    return fig
