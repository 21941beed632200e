"""What the figures of a run of an input over a map need, read a block at a
time: the operating points' density and the fuel over the cycle, reduced to
a bounded number of spans of records. The run's numbers (counts, fuel
figures) are the checker's: fuelcalc.check_input."""

from __future__ import annotations

from dataclasses import dataclass, field

import numpy as np

from ._errors import FuelMapError
from ._fuelcalc import PointReader
from .plot import PointDensity, grid_extent, surface_map

BLOCK = 1 << 18
# The cycle is kept as at most this many spans of records; beyond,
# neighbours merge and each span covers twice as many records.
MAX_SPANS = 4096


class Cycle:
    """Fuel over the cycle in spans of `width` records each (the last may be
    shorter), spans starting at multiples of width: per span its last record
    number (1-based), the least, largest and summed finite fuel values and
    their number, the running sum at its end, the time of its last record
    and the cumulative fuel there, and the sums of the records' speeds and
    torques (over the records whose both are finite, counted in
    `points`)."""

    NAMES = ("last", "low", "high", "total", "finite", "running", "time", "grams", "speed",
             "torque", "points")

    def __init__(self) -> None:
        self.width = 1
        self.last = np.zeros(0, dtype=np.int64)
        self.finite = np.zeros(0, dtype=np.int64)
        self.points = np.zeros(0, dtype=np.int64)
        self.low, self.high, self.total, self.running = (np.zeros(0) for _ in range(4))
        self.time, self.grams = np.zeros(0), np.zeros(0)
        self.speed, self.torque = np.zeros(0), np.zeros(0)

    def means(self, name: str) -> np.ndarray:
        """The mean speed or torque of each span (NaN for a span without one)."""
        with np.errstate(invalid="ignore", divide="ignore"):
            return np.where(self.points > 0, getattr(self, name) / np.maximum(self.points, 1),
                            np.nan)

    @property
    def mean(self) -> np.ndarray:
        with np.errstate(invalid="ignore", divide="ignore"):
            return np.where(self.finite > 0, self.total / np.maximum(self.finite, 1), np.nan)

    def add(self, first: int, fuel: np.ndarray, running: np.ndarray,
            speed: np.ndarray | None = None, torque: np.ndarray | None = None,
            time: np.ndarray | None = None, grams: np.ndarray | None = None) -> None:
        """Appends records first + 1 ... first + fuel.size; running holds the
        running sum at each, speed and torque (when given) their points, time
        and grams (when given) their times and the cumulative fuel there."""
        n = fuel.size
        if time is None or grams is None:
            time = grams = np.full(n, np.nan)
        finite = np.isfinite(fuel)
        if speed is None or torque is None:
            speed = torque = np.full(n, np.nan)
        point = np.isfinite(speed) & np.isfinite(torque)
        speed, torque = np.where(point, speed, 0.0), np.where(point, torque, 0.0)
        start = 0
        if self.last.size and self.last[-1] % self.width:
            # Complete the last span.
            start = min(self.width - int(self.last[-1] % self.width), n)
            f = fuel[:start][finite[:start]]
            if f.size:
                self.low[-1] = np.fmin(self.low[-1], f.min())
                self.high[-1] = np.fmax(self.high[-1], f.max())
                self.total[-1] += f.sum()
                self.finite[-1] += f.size
            self.last[-1] = first + start
            self.running[-1] = running[start - 1]
            self.time[-1] = time[start - 1]
            self.grams[-1] = grams[start - 1]
            self.speed[-1] += speed[:start].sum()
            self.torque[-1] += torque[:start].sum()
            self.points[-1] += int(point[:start].sum())
        if start < n:
            cuts = np.arange(start, n, self.width)
            ends = np.append(cuts[1:], n)
            f, ok = fuel[start:], finite[start:]
            at = cuts - start
            spans = {
                "last": first + ends,
                "low": np.minimum.reduceat(np.where(ok, f, np.inf), at),
                "high": np.maximum.reduceat(np.where(ok, f, -np.inf), at),
                "total": np.add.reduceat(np.where(ok, f, 0.0), at),
                "finite": np.add.reduceat(ok.astype(np.int64), at),
                "running": running[ends - 1],
                "time": time[ends - 1],
                "grams": grams[ends - 1],
                "speed": np.add.reduceat(speed[start:], at),
                "torque": np.add.reduceat(torque[start:], at),
                "points": np.add.reduceat(point[start:].astype(np.int64), at),
            }
            none = spans["finite"] == 0
            spans["low"][none] = np.nan
            spans["high"][none] = np.nan
            for name in self.NAMES:
                setattr(self, name, np.concatenate([getattr(self, name), spans[name]]))
        while self.last.size > MAX_SPANS:
            self._halve()

    def _halve(self) -> None:
        """Merges neighbouring spans: each then covers twice the records."""
        if self.last.size % 2:
            for name in self.NAMES:
                a = getattr(self, name)
                setattr(self, name, np.append(a, np.nan if a.dtype.kind == "f" else 0))
            odd = True
        else:
            odd = False
        self.low = np.fmin(self.low[0::2], self.low[1::2])
        self.high = np.fmax(self.high[0::2], self.high[1::2])
        self.total = np.nansum([self.total[0::2], self.total[1::2]], axis=0)
        self.finite = self.finite[0::2] + self.finite[1::2]
        self.points = self.points[0::2] + self.points[1::2]
        self.speed = np.nansum([self.speed[0::2], self.speed[1::2]], axis=0)
        self.torque = np.nansum([self.torque[0::2], self.torque[1::2]], axis=0)
        ends = {name: getattr(self, name)[1::2] for name in ("last", "running", "time", "grams")}
        for name, values in ends.items():
            if odd:
                values[-1] = getattr(self, name)[-2]
            setattr(self, name, values)
        self.width *= 2


@dataclass
class RunFigures:
    """The figures of the records streamed so far."""
    records: int = 0
    cycle: Cycle = field(default_factory=Cycle)
    density: PointDensity | None = None
    # The running sum of the finite fuel values in record order, None before
    # the first: it starts at that value, as the checker's sum does.
    total: float | None = None
    # The first and the last finite fuel value, None before the first.
    first: float | None = None
    final: float | None = None
    # Intervals longer than this (s) add no fuel to the cumulative fuel; the
    # last record's time, fuel flow and cumulative fuel, None before the first.
    max_gap: float = 60.0
    last: tuple[float, float, float] | None = None


def stream(m, input_file, limit: int | None = None, block: int = BLOCK) -> RunFigures:
    """Reads input_file with PointReader, at most limit records (the records
    a run writes, from the check's summary), and evaluates each on m. A
    ReadError or OSError propagates after the records before it are taken
    (the figures are passed as the exception's .figures)."""
    figures = RunFigures(density=PointDensity(grid_extent(m, 0.15)))
    m = surface_map(m)
    try:
        with PointReader(input_file) as reader:
            while limit is None or figures.records < limit:
                count = block if limit is None else min(block, limit - figures.records)
                speed, torque = reader.read(count)
                if speed.size == 0:
                    break
                _add(figures, m, speed, torque)
    except (FuelMapError, OSError) as e:
        e.figures = figures
        raise
    return figures


def _fuel(m, speed, torque) -> np.ndarray:
    try:
        return m.fuel(speed, torque)
    except FuelMapError:
        # A point the evaluation refuses has no result; the others keep theirs.
        fuel = np.empty_like(speed)
        for i, (s, t) in enumerate(zip(speed, torque)):
            try:
                fuel[i] = m.fuel(s, t)
            except FuelMapError:
                fuel[i] = np.nan
        return fuel


def _add(figures: RunFigures, m, speed: np.ndarray, torque: np.ndarray) -> None:
    add_records(figures, speed, torque, _fuel(m, speed, torque), m.where(speed, torque))


def add_records(figures: RunFigures, speed: np.ndarray, torque: np.ndarray, fuel: np.ndarray,
                where: np.ndarray, time: np.ndarray | None = None) -> None:
    """Adds the next records: their operating points, fuel values, classes
    (FuelMap.where) and, when given, times in s (then the cumulative fuel in
    g by the trapezoidal rule, intervals longer than figures.max_gap left
    out, and fuel in g/h)."""
    first = figures.records
    figures.records += speed.size
    figures.density.add(speed, torque, where)
    finite = np.isfinite(fuel)
    # The running sum over the finite values in record order, one addition
    # at a time (np.cumsum adds left to right), carried across blocks.
    running = np.full(fuel.shape, np.nan)
    values = fuel[finite]
    if values.size:
        if figures.total is not None:
            values[0] = figures.total + values[0]
        sums = np.cumsum(values)
        figures.total = float(sums[-1])
        running[finite] = sums
    grams = None
    if time is not None and time.size:
        grams = _cumulative(figures, time, np.where(finite, fuel, 0.0))
    # Records before the first finite value have a running sum of zero.
    previous = figures.cycle.running[-1] if figures.cycle.running.size else 0.0
    figures.cycle.add(first, fuel, _fill_forward(running, previous), speed, torque, time, grams)
    if values.size:
        figures.first = float(values[0]) if figures.first is None else figures.first
        figures.final = float(fuel[finite][-1])


def _cumulative(figures: RunFigures, time: np.ndarray, flow: np.ndarray) -> np.ndarray:
    """The fuel in g from the first record to each of these (flow in g/h, no
    value taken as 0), carried across blocks in figures.last."""
    if figures.last is None:
        t = np.concatenate([time[:1], time])
        f = np.concatenate([flow[:1], flow])
        start = 0.0
    else:
        t0, f0, start = figures.last
        t = np.concatenate([[t0], time])
        f = np.concatenate([[f0], flow])
    dt = np.diff(t)
    step = np.where(dt <= figures.max_gap, 0.5 * (f[:-1] + f[1:]) * dt / 3600.0, 0.0)
    grams = start + np.cumsum(step)
    figures.last = (float(time[-1]), float(flow[-1]), float(grams[-1]))
    return grams


def _fill_forward(values: np.ndarray, start: float) -> np.ndarray:
    known = ~np.isnan(values)
    index = np.where(known, np.arange(values.size), -1)
    np.maximum.accumulate(index, out=index)
    return np.where(index >= 0, values[np.maximum(index, 0)], start)
