"""Pictures of a fuel map: fuelcalc's own surface, the measured points and
envelope, and the operating points of a cycle over them.

    import fuelcalc, fuelcalc.plot
    m = fuelcalc.FuelMap.load("torque_map.dat")
    speed, torque = fuelcalc.read_points("drive_cycle.dat")
    fuelcalc.plot.fuel_map(m, speed, torque).savefig("map.svg")

Figures are made without pyplot, so no display is needed (or opened); to
show one on screen, pass an ax of a pyplot figure.
"""

from __future__ import annotations

import math

import numpy as np
from matplotlib.figure import Figure
from matplotlib.lines import Line2D
from matplotlib.patches import Patch
from matplotlib.ticker import LogFormatterSciNotation

from ._fuelcalc import parse_unit, power_w, to_base

# Beyond this many operating points they are drawn as a density.
MAX_MARKERS = 5000
# Cells of the density lattice along speed and torque; hexagons across.
DENSITY_BINS = (320, 240)
DENSITY_HEXAGONS = 48
OUTSIDE_COLOUR = "#d62728"
# Pink stands apart from every colour of the map's scale (viridis).
INSIDE_COLOUR = "#f0027f"
# Markers keep a white edge, so that they stand out on every colour of the map.
EDGE_COLOUR = "white"
# The region of the grid outside the measured map: grey and hatched.
APART_COLOUR = "#d9d9d9"
# Margin around the measured map, a fraction of each span: no measured point
# sits on the frame.
MARGIN = 0.05
# BSFC colours run from the least value in the measured map to this many times
# it: near zero torque BSFC rises without bound and would flatten the rest.
BSFC_SPAN = 2.0


def grid_extent(m, margin: float = 0.0) -> tuple[float, float, float, float]:
    """(speed low, speed high, torque low, torque high) of the map's grid,
    widened by margin times each span."""
    speed, torque, _ = m.grid
    ds = (speed[-1] - speed[0]) * margin
    dt = (torque[-1] - torque[0]) * margin
    return (float(speed[0] - ds), float(speed[-1] + ds),
            float(torque[0] - dt), float(torque[-1] + dt))


def _cells(values: np.ndarray, edges: np.ndarray) -> np.ndarray:
    """The cell of each value (all within edges[0] .. edges[-1]) among the
    evenly spaced edges, as np.histogram2d finds it: cell k holds edges[k] <=
    v < edges[k + 1], the last cell its upper edge too. The estimate from the
    spacing is at most one cell off where rounding meets an edge; the
    comparisons with the edges themselves settle it."""
    n = edges.size - 1
    span = edges[-1] - edges[0]
    # values - edges[0] >= 0: the conversion to integers is the floor.
    k = ((values - edges[0]) * (n / span if span > 0 else 0.0)).astype(np.int64)
    np.minimum(k, n - 1, out=k)
    k -= values < edges[k]
    k += (values >= edges[k + 1]) & (k < n - 1)
    return k


class PointDensity:
    """Counts of operating points on a fixed lattice over extent, inside and
    outside the measured map apart, filled a block at a time so that any
    number of points takes the same memory. Points beyond the extent are
    counted in the cells at its edge."""

    def __init__(self, extent: tuple[float, float, float, float],
                 bins: tuple[int, int] = DENSITY_BINS) -> None:
        self.extent = extent
        self.edges = (np.linspace(extent[0], extent[1], bins[0] + 1),
                      np.linspace(extent[2], extent[3], bins[1] + 1))
        self.inside = np.zeros(bins, dtype=np.int64)
        self.outside = np.zeros(bins, dtype=np.int64)

    def add(self, speed: np.ndarray, torque: np.ndarray, where: np.ndarray) -> None:
        finite = np.isfinite(speed) & np.isfinite(torque)
        s = np.clip(speed[finite], self.extent[0], self.extent[1])
        t = np.clip(torque[finite], self.extent[2], self.extent[3])
        out = (where[finite] != 0).astype(np.int64)
        # One count over both lattices: inside cells first, then outside;
        # the cells as np.histogram2d over self.edges places the points.
        nx, ny = self.inside.shape
        cell = (out * nx + _cells(s, self.edges[0])) * ny + _cells(t, self.edges[1])
        counts = np.bincount(cell, minlength=2 * nx * ny).reshape(2, nx, ny)
        self.inside += counts[0]
        self.outside += counts[1]

    @property
    def counts(self) -> tuple[int, int]:
        """(inside, outside) points counted."""
        return int(self.inside.sum()), int(self.outside.sum())


# What each method's surface is, for titles.
SURFACES = {"grid": "grid surface (the 20 x 20 grid resampled from the measured points)",
            "direct": "direct surface (exact at every measured point)"}


# What the surface shows outside the measured envelope, by outside policy.
OUTSIDE_VALUES = {"extrapolate": "extrapolated (hatched)", "clamp": "clamped (hatched)",
                  "nan": "no value", "error": "no value",
                  "bounded": "bounded: never below 0, rising along the top chord (hatched)"}


def surface_title(m) -> str:
    """Which surface of m a picture draws: its method, and its outside policy
    unless it extrapolates."""
    title = SURFACES[m.method]
    if m.outside != "extrapolate":
        title += f", outside the measured map: {m.outside}"
    return title


def surface_map(m):
    """A map whose fuel() gives m's values, with NaN at each point outside the
    measured map where m's policy raises for it (outside="error"): a picture
    shows m's surface where m has one."""
    if m.outside != "error":
        return m
    return type(m).from_points(*m.points, method=m.method, outside="nan")


def fuel_mesh(m, size: int = 200) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """(speed, torque, fuel): size speeds and torques evenly over the grid's
    range, and m's value at each (NaN outside where m raises there), fuel[j, i]
    at (speed[i], torque[j])."""
    x0, x1, y0, y1 = grid_extent(m)
    speed = np.linspace(x0, x1, size)
    torque = np.linspace(y0, y1, size)
    s, t = np.meshgrid(speed, torque)
    return speed, torque, surface_map(m).fuel(s, t)


def round_levels(low: float, high: float, count: int = 12) -> np.ndarray:
    """Levels in steps of 1, 2 or 5 times a power of ten, the smallest such
    step giving at most count intervals, from the last multiple of the step
    at or below low to the first at or above high."""
    if not (math.isfinite(low) and math.isfinite(high)):
        raise ValueError("levels need finite bounds")
    if not low < high:
        low, high = low - 0.5, high + 0.5
    raw = (high - low) / count
    power = 10.0 ** math.floor(math.log10(raw))
    step = next(f * power for f in (1, 2, 5, 10) if f * power >= raw)
    first, last = math.floor(low / step), math.ceil(high / step)
    if first == last:
        last += 1
    # k * step for a step below 1 leaves binary tails (0.30000000000000004):
    # levels are rounded to the step's decimals.
    decimals = max(0, -math.floor(math.log10(step)))
    return np.round(np.arange(first, last + 1) * step, decimals)


def units_known(speed_unit: str, torque_unit: str, fuel_unit: str) -> str | None:
    """None when the three name units the library converts (fuel as a flow),
    else why BSFC cannot be computed."""
    for quantity, unit in (("speed", speed_unit), ("torque", torque_unit), ("fuel", fuel_unit)):
        try:
            parse_unit(quantity, unit)
        except ValueError:
            return f"the map's {quantity} unit '{unit}' is not one fuelcalc converts"
    return None


def bsfc(speed, torque, fuel, speed_unit: str = "rpm", torque_unit: str = "Nm",
         fuel_unit: str = "g/h") -> np.ndarray:
    """Brake specific fuel consumption in g/kWh at each point, the values in
    the units given: fuel / (power / 1000), power as the library's power_w; NaN
    where the power is not above 0."""
    s = to_base("speed", speed_unit, speed)
    t = to_base("torque", torque_unit, torque)
    f = to_base("fuel", fuel_unit, fuel)
    kw = power_w(t, s) / 1000.0
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.where(kw > 0.0, f / kw, np.nan)


def power_kw(speed, torque, speed_unit: str = "rpm", torque_unit: str = "Nm") -> np.ndarray:
    return power_w(to_base("torque", torque_unit, torque), to_base("speed", speed_unit, speed)) / 1000.0


def measured_extent(m, margin: float = MARGIN) -> tuple[float, float, float, float]:
    """The measured points' range widened by margin times each span."""
    speed, torque, _ = m.points
    ds = (speed.max() - speed.min()) * margin
    dt = (torque.max() - torque.min()) * margin
    return (float(speed.min() - ds), float(speed.max() + ds),
            float(torque.min() - dt), float(torque.max() + dt))


def envelope_labels(m) -> tuple[str, str]:
    """The names of the highest and lowest measured torque per speed."""
    lowest = "motoring" if (m.envelope[1] < 0).any() else "lowest measured torque"
    return "full load", lowest


def fuel_map(m, speed=None, torque=None, ax=None, *, density: PointDensity | None = None,
             speed_unit: str = "rpm", torque_unit: str = "Nm", fuel_unit: str = "g/h",
             layer: str | None = None, power=None, name: str | None = None,
             mesh: int = 200, levels=None, max_markers: int = MAX_MARKERS,
             title: str | None = None) -> Figure:
    """Draws the map m as an engineer shows it: the main layer (layer="bsfc",
    iso-lines of brake specific consumption in g/kWh, the default when the
    units are known; "fuel", the fuel flow in fuel_unit) as filled contours
    and labelled iso-lines at round levels (1-2-5 steps; levels: the values
    themselves) over the measured map only, the grid's region outside it
    grey and hatched; constant-power lines (power=True, or their values in
    kW); the full-load and motoring curves (highest and lowest measured
    torque per speed); the measured points; and the operating points (speed,
    torque) when given: white-edged markers up to max_markers, beyond them
    (or a PointDensity filled beforehand) their density as a share of the
    time with its own colour bar. The values are m.fuel on a mesh x mesh
    lattice over the grid's range (NaN where m raises). The title is the
    engine's name over the surface drawn (surface_title) unless given (""
    for none); the legend sits below the plot area. Returns the figure (ax's,
    or a new one), the map's axes first in fig.axes."""
    if ax is None:
        fig = Figure(figsize=(10, 7.5), layout="constrained")
        ax = fig.add_subplot()
    else:
        fig = ax.figure
    if mesh < 2:
        raise ValueError("mesh needs at least 2 points a side")
    why = units_known(speed_unit, torque_unit, fuel_unit)
    if layer is None:
        layer = "fuel" if why else "bsfc"
    if layer not in ("bsfc", "fuel"):
        raise ValueError(f"layer must be 'bsfc' or 'fuel', not '{layer}'")
    if why and (layer == "bsfc" or power):
        raise ValueError(f"no BSFC or power: {why}")

    ms, mt, mf = fuel_mesh(m, mesh)
    grid_s, grid_t = np.meshgrid(ms, mt)
    apart = m.where(grid_s, grid_t) != 0
    if layer == "bsfc":
        values, unit, label = bsfc(grid_s, grid_t, mf, speed_unit, torque_unit, fuel_unit), \
            "g/kWh", "BSFC [g/kWh]"
    else:
        values, unit, label = mf, fuel_unit, f"fuel [{fuel_unit}]"
    # The colours and iso-lines cover the measured map alone: values
    # extrapolated above full load or below the lowest torque never set them.
    measured = np.ma.masked_where(apart | ~np.isfinite(values), values)
    shown = measured.compressed()
    bounds = levels
    if bounds is None and shown.size:
        low, high = float(shown.min()), float(shown.max())
        if layer == "bsfc":
            high = min(high, BSFC_SPAN * low)
        bounds = round_levels(low, high)
    extend = "max" if layer == "bsfc" else "neither"
    filled = ax.contourf(ms, mt, measured, levels=bounds, cmap="viridis", extend=extend)
    shade = ax.contourf(ms, mt, apart.astype(np.float64), levels=[0.5, 1.5],
                        colors=APART_COLOUR, hatches=["//"])
    for area in (*filled.collections, *shade.collections):
        area.set_rasterized(True)  # a fine mesh's polygons would make large vector files
    lines = ax.contour(ms, mt, measured, levels=filled.levels, colors="white", linewidths=0.6)
    ax.clabel(lines, lines.levels[::2], fmt=lambda v: f"{v:g} {unit}", fontsize=7,
              colors="white")
    bar = fig.colorbar(filled, ax=ax, label=label, pad=0.01)
    bar.set_ticks(filled.levels)
    handles = []
    if power:
        kw = power_kw(grid_s, grid_t, speed_unit, torque_unit)
        at = power if not isinstance(power, bool) else \
            round_levels(0.0, float(np.nanmax(kw[~apart])), 8)[1:]
        lines = ax.contour(ms, mt, kw, levels=at, colors="#444444", linewidths=0.7,
                           linestyles="dashed")
        ax.clabel(lines, fmt=lambda v: f"{v:g} kW", fontsize=7, colors="#444444")
        handles.append(Line2D([], [], color="#444444", linewidth=0.7, linestyle="dashed",
                              label="constant power [kW]"))

    es, lo, hi = m.envelope
    high_name, low_name = envelope_labels(m)
    ax.plot(es, hi, color="black", linewidth=2.0)
    ax.plot(es, lo, color="black", linewidth=1.4, linestyle=(0, (5, 2)))
    for curve, text, va in ((hi, high_name, "bottom"), (lo, low_name, "top")):
        ax.annotate(text, (es[-1], curve[-1]), xytext=(-4, 3 if va == "bottom" else -3),
                    textcoords="offset points", ha="right", va=va, fontsize=8,
                    fontweight="bold")
    ps, pt, _ = m.points
    ax.plot(ps, pt, linestyle="none", marker="+", color="black", markersize=5,
            markeredgewidth=0.8)
    handles = [Line2D([], [], color="black", linewidth=2.0,
                      label=f"{high_name} (highest measured torque)"),
               Line2D([], [], color="black", linewidth=1.4, linestyle=(0, (5, 2)),
                      label=low_name if low_name.startswith("lowest") else
                      f"{low_name} (lowest measured torque)"),
               Patch(facecolor=APART_COLOUR, edgecolor="#777777", hatch="//",
                     label=f"outside the measured map: {OUTSIDE_VALUES[m.outside]}"),
               Line2D([], [], color="black", marker="+", linestyle="none",
                      label=f"measured points ({len(ps)})"), *handles]

    extent = measured_extent(m)
    if speed is not None and torque is not None:
        speed = np.asarray(speed, dtype=np.float64).ravel()
        torque = np.asarray(torque, dtype=np.float64).ravel()
        where = m.where(speed, torque)
        if speed.size <= max_markers:
            out = where != 0
            extent = _extent_with(extent, speed, torque, MARGIN)
            ax.plot(speed[~out], torque[~out], linestyle="none", marker="o", markersize=4,
                    color=INSIDE_COLOUR, markeredgecolor=EDGE_COLOUR, markeredgewidth=0.6)
            ax.plot(speed[out], torque[out], linestyle="none", marker="X", markersize=6,
                    color=OUTSIDE_COLOUR, markeredgecolor=EDGE_COLOUR, markeredgewidth=0.6)
            handles += [
                Line2D([], [], linestyle="none", marker="o", color=INSIDE_COLOUR,
                       markeredgecolor=EDGE_COLOUR,
                       label=f"operating points inside ({int((~out).sum())})"),
                Line2D([], [], linestyle="none", marker="X", color=OUTSIDE_COLOUR,
                       markeredgecolor=EDGE_COLOUR,
                       label=f"outside the measured map ({int(out.sum())})")]
        else:
            density = PointDensity(_extent_with(grid_extent(m, MARGIN), speed, torque))
            density.add(speed, torque, where)
    if density is not None:
        extent = _extent_with(extent, *_occupied(density), MARGIN)
        handles += _draw_density(fig, ax, density)

    ax.set_xlim(extent[0], extent[1])
    ax.set_ylim(extent[2], extent[3])
    ax.set_xlabel(f"speed [{speed_unit}]")
    ax.set_ylabel(f"torque [{torque_unit}]")
    surface = surface_title(m) if title is None else title
    if why:
        surface += f"; fuel flow only: {why}"
    heading = "\n".join(part for part in (name, surface) if part)
    if heading:
        ax.set_title(heading, fontsize=10)
    ax.legend(handles=handles, loc="upper center", bbox_to_anchor=(0.5, -0.09), ncol=2,
              fontsize=8, frameon=False)
    return fig


def compare(m, m2, speed=None, torque=None, **options) -> Figure:
    """Two maps on one cycle: m2's fuel minus m's over the region both
    measure, and the operating points weighted by their part of the
    difference in total fuel (fuelcalc.compare.difference_figure, its options:
    step, names, speed_unit, torque_unit, fuel_unit, mesh)."""
    from .compare import difference_figure  # it draws with this module's helpers
    return difference_figure(m, m2, speed, torque, **options)


def _extent_with(extent, speed, torque, margin: float = 0.0):
    """extent widened to hold the finite points, with margin times the span
    of the points beyond it."""
    finite = np.isfinite(speed) & np.isfinite(torque)
    if not finite.any():
        return extent
    s, t = speed[finite], torque[finite]
    ds = (extent[1] - extent[0]) * margin
    dt = (extent[3] - extent[2]) * margin
    return (min(extent[0], float(s.min()) - ds), max(extent[1], float(s.max()) + ds),
            min(extent[2], float(t.min()) - dt), max(extent[3], float(t.max()) + dt))


def _occupied(density: PointDensity) -> tuple[np.ndarray, np.ndarray]:
    """The centres of the density's cells holding a point."""
    xs, ys = density.edges
    cells = (density.inside + density.outside) > 0
    cx, cy = np.meshgrid((xs[:-1] + xs[1:]) / 2, (ys[:-1] + ys[1:]) / 2, indexing="ij")
    return cx[cells], cy[cells]


class _PlainLogFormatter(LogFormatterSciNotation):
    """The ticks of a log scale labelled as plain numbers (0.01, 0.02, 1):
    no typeset powers of ten, whose layout costs more than the picture."""

    def __call__(self, x, pos=None) -> str:
        return f"{x:g}" if super().__call__(x, pos) else ""


def _draw_density(fig, ax, density: PointDensity) -> list:
    """Hexagons coloured by their share of the points (each a share of the
    time for records at one step), over the map with its own colour bar."""
    xs, ys = density.edges
    cx, cy = np.meshgrid((xs[:-1] + xs[1:]) / 2, (ys[:-1] + ys[1:]) / 2, indexing="ij")
    inside, outside = density.counts
    counts = density.inside + density.outside
    cells = counts > 0
    handles = [Patch(facecolor="#b3003c", edgecolor=EDGE_COLOUR,
                     label=f"operating points inside ({inside}), density"),
               Patch(facecolor="#b3003c", edgecolor=EDGE_COLOUR,
                     label=f"outside the measured map ({outside}), density")]
    if not cells.any():
        return handles
    total = counts.sum()
    hexagons = ax.hexbin(cx[cells], cy[cells], C=100.0 * counts[cells] / total,
                         reduce_C_function=np.sum, gridsize=DENSITY_HEXAGONS,
                         extent=density.extent, bins="log", cmap="RdPu", linewidths=0.3,
                         edgecolors=EDGE_COLOUR, alpha=0.6)  # the map shows through
    hexagons.set_rasterized(True)
    bar = fig.colorbar(hexagons, ax=ax, label="share of the time [%]", pad=0.01)
    bar.ax.yaxis.set_major_formatter(_PlainLogFormatter(10.0))
    bar.ax.yaxis.set_minor_formatter(_PlainLogFormatter(10.0, labelOnlyBase=False))
    return handles
