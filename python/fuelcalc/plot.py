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

import numpy as np
from matplotlib.figure import Figure
from matplotlib.lines import Line2D
from matplotlib.patches import Patch

# Beyond this many operating points they are drawn as a density.
MAX_MARKERS = 5000
# Cells of the density lattice along speed and torque; hexagons across.
DENSITY_BINS = (320, 240)
DENSITY_HEXAGONS = 48
OUTSIDE_COLOUR = "#d62728"
INSIDE_COLOUR = "#1a1a1a"


def grid_extent(m, margin: float = 0.0) -> tuple[float, float, float, float]:
    """(speed low, speed high, torque low, torque high) of the map's grid,
    widened by margin times each span."""
    speed, torque, _ = m.grid
    ds = (speed[-1] - speed[0]) * margin
    dt = (torque[-1] - torque[0]) * margin
    return (float(speed[0] - ds), float(speed[-1] + ds),
            float(torque[0] - dt), float(torque[-1] + dt))


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
        out = where[finite] != 0
        for counts, pick in ((self.inside, ~out), (self.outside, out)):
            if pick.any():
                counts += np.histogram2d(s[pick], t[pick], bins=self.edges)[0].astype(np.int64)

    @property
    def counts(self) -> tuple[int, int]:
        """(inside, outside) points counted."""
        return int(self.inside.sum()), int(self.outside.sum())


# What each method's surface is, for titles.
SURFACES = {"grid": "grid surface (the 20 x 20 grid resampled from the measured points)",
            "direct": "direct surface (exact at every measured point)"}


# What the surface shows outside the measured envelope, by outside policy.
OUTSIDE_VALUES = {"extrapolate": "extrapolated (shaded)", "clamp": "clamped (shaded)",
                  "nan": "no value", "error": "no value",
                  "bounded": "bounded: never below 0, rising along the top chord (shaded)"}


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


def fuel_map(m, speed=None, torque=None, ax=None, *, density: PointDensity | None = None,
             speed_unit: str = "rpm", torque_unit: str = "N m", fuel_unit: str = "g/h",
             mesh: int = 200, levels=14, max_markers: int = MAX_MARKERS,
             title: str | None = None) -> Figure:
    """Draws the map m: filled contours and labelled iso-lines of m.fuel on a
    mesh x mesh lattice over the grid's range (levels: their number, spread
    over the values inside the measured map, or the values themselves), the
    measured points, the measured envelope's outline with the region outside
    it shaded, and the operating points (speed, torque)
    when given: markers up to max_markers, a density beyond (or a
    PointDensity filled beforehand). Points outside the measured map are
    drawn in their own colour and counted in the legend. The title says
    which surface is drawn (surface_title) unless given ("" for none).
    Returns the figure (ax's, or a new one)."""
    if ax is None:
        fig = Figure(figsize=(9, 6.5), layout="constrained")
        ax = fig.add_subplot()
    else:
        fig = ax.figure
    if mesh < 2:
        raise ValueError("mesh needs at least 2 points a side")

    ms, mt, mf = fuel_mesh(m, mesh)
    # The colours span the values inside the measured map: extrapolated
    # values far above or below them would leave the measured region a
    # single colour. Beyond the span the end colours continue.
    outside = m.where(*np.meshgrid(ms, mt)) != 0
    shown = mf[np.isfinite(mf) & ~outside]
    if shown.size == 0:
        shown = mf[np.isfinite(mf)]
    bounds = levels
    if isinstance(levels, int) and shown.size:
        low, high = float(shown.min()), float(shown.max())
        if not low < high:
            low, high = low - 0.5, high + 0.5
        bounds = np.linspace(low, high, levels + 1)
    filled = ax.contourf(ms, mt, mf, levels=bounds, cmap="viridis", alpha=0.85, extend="both")
    shade = ax.contourf(ms, mt, outside.astype(np.float64), levels=[0.5, 1.5], colors="white",
                        alpha=0.45)
    for area in (*filled.collections, *shade.collections):
        area.set_rasterized(True)  # a fine mesh's polygons would make large vector files
    lines = ax.contour(ms, mt, mf, levels=filled.levels, colors="white", linewidths=0.6)
    ax.clabel(lines, lines.levels[1:-1:2], fmt="%.0f", fontsize=7, colors="white")
    fig.colorbar(filled, ax=ax, label=f"fuel [{fuel_unit}]")

    es, lo, hi = m.envelope
    ax.plot(np.concatenate([es, es[::-1], es[:1]]), np.concatenate([lo, hi[::-1], lo[:1]]),
            color="black", linewidth=1.4)
    ps, pt, _ = m.points
    ax.plot(ps, pt, linestyle="none", marker="+", color="black", markersize=5)
    handles = [Line2D([], [], color="black", linewidth=1.4, label="measured envelope"),
               Patch(facecolor="white", edgecolor="#999999",
                     label=f"outside it: {OUTSIDE_VALUES[m.outside]}"),
               Line2D([], [], color="black", marker="+", linestyle="none",
                      label=f"measured points ({len(ps)})")]

    if speed is not None and torque is not None:
        speed = np.asarray(speed, dtype=np.float64).ravel()
        torque = np.asarray(torque, dtype=np.float64).ravel()
        where = m.where(speed, torque)
        if speed.size <= max_markers:
            out = where != 0
            ax.plot(speed[~out], torque[~out], linestyle="none", marker=".", markersize=3,
                    color=INSIDE_COLOUR, alpha=0.6)
            ax.plot(speed[out], torque[out], linestyle="none", marker="x", markersize=4,
                    color=OUTSIDE_COLOUR)
            handles += [
                Line2D([], [], linestyle="none", marker=".", color=INSIDE_COLOUR,
                       label=f"operating points inside ({int((~out).sum())})"),
                Line2D([], [], linestyle="none", marker="x", color=OUTSIDE_COLOUR,
                       label=f"outside the measured map ({int(out.sum())})")]
        else:
            density = PointDensity(_extent_with(grid_extent(m, 0.05), speed, torque))
            density.add(speed, torque, where)
    if density is not None:
        handles += _draw_density(ax, density)

    ax.set_xlabel(f"speed [{speed_unit}]")
    ax.set_ylabel(f"torque [{torque_unit}]")
    title = surface_title(m) if title is None else title
    if title:
        ax.set_title(title, fontsize=10)
    ax.legend(handles=handles, loc="upper left", fontsize=8, framealpha=0.85)
    return fig


def _extent_with(extent, speed, torque):
    finite = np.isfinite(speed) & np.isfinite(torque)
    if not finite.any():
        return extent
    s, t = speed[finite], torque[finite]
    return (min(extent[0], float(s.min())), max(extent[1], float(s.max())),
            min(extent[2], float(t.min())), max(extent[3], float(t.max())))


def _draw_density(ax, density: PointDensity) -> list:
    xs, ys = density.edges
    cx, cy = np.meshgrid((xs[:-1] + xs[1:]) / 2, (ys[:-1] + ys[1:]) / 2, indexing="ij")
    inside, outside = density.counts
    for counts, cmap in ((density.inside, "Greys"), (density.outside, "Reds")):
        cells = counts > 0
        if cells.any():
            ax.hexbin(cx[cells], cy[cells], C=counts[cells], reduce_C_function=np.sum,
                      gridsize=DENSITY_HEXAGONS, extent=density.extent, bins="log",
                      cmap=cmap, linewidths=0.0, alpha=0.55)
    return [Patch(color="#555555", label=f"operating points inside ({inside}), density"),
            Patch(color=OUTSIDE_COLOUR, label=f"outside the measured map ({outside}), density")]
