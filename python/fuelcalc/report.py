"""fuelcalc-report MAP CYCLE [-o FILE.html] [--compare MAP2]: one self-contained
HTML page of a run of CYCLE over MAP (figures inline as SVG, one inline script
that answers a hover over the map, nothing fetched): the findings (and, for
the program's formats, the summary of fuelcalc-check), the cycle's totals as
fuelcalc-cycle gives them, the map with the operating points, and the cycle
over time; with --compare, the totals over both maps, their difference and
where on the map it comes from. The files are read as fuelcalc-cycle reads
them: tables or the program's formats, columns and units by the same
options."""

from __future__ import annotations

import argparse
import html
import io
import math
import os
import sys
from concurrent.futures import Future, ThreadPoolExecutor
from contextlib import nullcontext
from pathlib import Path

import matplotlib
import numpy as np
from matplotlib.figure import Figure

from ._errors import FuelMapError, ReadError
from ._files import replaced_source, rereadable, write_whole
from ._fuelcalc import (FILE_FORMAT_NAMES, FUEL_NAMES, MAP_LAYOUT_NAMES, METHOD_NAMES,
                        OUTSIDE_NAMES, _NO_RECORDS, CycleTotals, FuelMap, _CycleFile,
                        _CycleResultChecks, _cycle_looks_like_table, _load_map_file,
                        _map_reads_as_table, check_input, check_map, to_base, version)
from .compare import BASE_UNITS, comparable, compare_table, difference_figure
from .hover import figure_attributes, node_table, plot_area, script
from .plot import MAX_MARKERS, PointDensity, fuel_map, grid_extent, surface_map, surface_title, \
    units_known
from .run_summary import RunFigures, add_records
from .totals import cycle_figure, totals_note, totals_table

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1100px; color: #1a1a1a; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.7em; text-align: left; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
.error { color: #b00020; } .warning { color: #8a5a00; }
figure { margin: 1em 0; } svg { max-width: 100%; height: auto; }
#readout { font-family: monospace; min-height: 1.3em; }
@media print { figure { page-break-inside: avoid; } #readout { display: none; } }
"""


def map_header(map_file) -> tuple[str, dict[str, str]]:
    """The map's first header line (its title) and the units named in
    brackets on its second (SPEED[rpm] TORQUE[Nm] FUEL[g/h]), as fuel_map's
    unit options; units not named are rpm, Nm and g/h."""
    units = {"speed_unit": "rpm", "torque_unit": "Nm", "fuel_unit": "g/h"}
    try:
        with open(map_file, "rb") as f:
            title = f.readline(4096).decode("latin-1").strip()
            header = f.readline(4096).decode("latin-1")
    except OSError:
        return "", units
    found = [part.split("]", 1)[0].strip() for part in header.split("[")[1:]]
    for name, unit in zip(("speed_unit", "torque_unit", "fuel_unit"), found):
        if unit:
            units[name] = unit
    return title, units


def map_name(map_file, title: str) -> str:
    """The engine's name: the map's title, else its file name."""
    return title or os.path.basename(os.fsdecode(map_file))


def add_surface_options(parser: argparse.ArgumentParser) -> None:
    """--method and --outside: which surface of the map the numbers and
    pictures show."""
    parser.add_argument("--method", choices=METHOD_NAMES, default="grid",
                        help="the program's 20 x 20 grid (default), or the direct method, "
                             "exact at the measured points")
    parser.add_argument("--outside", choices=OUTSIDE_NAMES, default="extrapolate",
                        help="what a point outside the measured map gives (default: "
                             "extrapolate, as the program does)")


def map_figure(m: FuelMap, points, figures: RunFigures | None, units: dict,
               name: str | None = None) -> Figure:
    """The map with the run's operating points: markers when few (points:
    the first records' speeds and torques), else the density counted while
    the figures were streamed."""
    if figures is None or figures.records == 0:
        return fuel_map(m, **units, name=name)
    if figures.records <= MAX_MARKERS and points is not None:
        speed, torque = points
        return fuel_map(m, speed[:figures.records], torque[:figures.records], **units, name=name)
    return fuel_map(m, density=figures.density, **units, name=name)


# The pixels an inch of the figures' rasterised layers (filled surfaces,
# density): a 10-inch figure is then as wide in pixels as the page shows it;
# lines, markers and text stay vectors.
RASTER_DPI = 100


def svg(fig: Figure, salt: str, inside=None) -> str:
    """The figure as an SVG element to inline in the page, with inside() (SVG
    text made once the figure is laid out) as its last child."""
    out = io.StringIO()
    with matplotlib.rc_context({"svg.fonttype": "none", "svg.hashsalt": salt}):
        fig.savefig(out, format="svg", dpi=RASTER_DPI, metadata={"Date": None})
    text = out.getvalue()
    text = text[text.index("<svg"):]
    if inside is None:
        return text
    end = text.rindex("</svg>")
    return text[:end] + inside() + text[end:]


def hover_map(m: FuelMap, fig: Figure, units: dict) -> str:
    """The map figure as the page shows it: the SVG in a figure element that
    carries its axes' range, the plot area marked, the readout below it and
    the script with the table of the surface."""
    ax = fig.axes[0]
    picture = svg(fig, "map", lambda: plot_area(fig, ax))
    table = node_table(m, (*ax.get_xlim(), *ax.get_ylim()), units,
                       units_known(**units) is None)
    return (f'<figure id="map-figure" {figure_attributes(ax)}>{picture}\n'
            '<figcaption><p id="readout">Point at the map for the value at the nearest node of '
            'the surface.</p></figcaption></figure>\n' + script(table))


def _count(value: int, records: int | None = None) -> str:
    cell = f'<td class="number">{value}</td>'
    if records is not None:
        share = f"{100.0 * value / records:.2f} %" if records else "&ndash;"
        cell += f'<td class="number">{share}</td>'
    return cell


def _fuel(value: float | None) -> str:
    return f'<td class="number">{"&ndash;" if value is None else f"{value:.3f}"}</td>'


# A run with no summary from the check (the input has no header record or
# cannot be opened) writes no result line.
NO_RECORDS = _NO_RECORDS


def _lines(lines: list[int], count: int) -> str:
    more = ", &hellip;" if count > len(lines) else ""
    return f'<td>{", ".join(map(str, lines))}{more}</td>'


def summary_table(s: dict, fuel_unit: str) -> str:
    """The check's summary (fuelcalc.check_input's dict), with each class's
    share of the records and the lines of its first points."""
    records, first = s["records"], s["first_lines"]

    def outside(key: str, label: str, indent: str = "&nbsp;&nbsp;"):
        return (key, f"{indent}{label}",
                _count(s[key], records) + _lines(first[key], s[key]))

    rows = [("records", "records", _count(records)),
            ("inside", "inside the measured map", _count(s["inside"], records)),
            ("outside", "outside the measured map", _count(records - s["inside"], records)),
            outside("below", "below the measured torques"),
            outside("above", "above the measured torques"),
            outside("beyond_speed", "beyond the measured speeds"),
            outside("nan", "a speed or torque not a number"),
            ("negative", "negative fuel values", _count(s["negative"])),
            ("nonfinite", "infinite or not-a-number results", _count(s["nonfinite"])),
            outside("far_outside", "far outside the measured map", ""),
            outside("near_zero_speed", "below half the lowest measured speed", ""),
            outside("out_of_range", "results out of the expected range", "")]
    # The sum adds one value per record: its unit is the value's times a
    # record (over 1 Hz records in g/h, sum / 3600 is grams).
    unit = html.escape(fuel_unit)
    rows += [(key, f"fuel {key} [{unit}]", _fuel(s["fuel"][key])) for key in ("min", "mean", "max")]
    rows += [("sum", f"fuel sum over the records [{unit} × record]", _fuel(s["fuel"]["sum"]))]
    body = "\n".join(f'<tr id="summary-{key}"><th>{label}</th>{cells}</tr>'
                     for key, label, cells in rows)
    return ('<table id="summary">\n<tr><th></th><th>value</th><th>share</th>'
            f"<th>first lines</th></tr>\n{body}\n</table>")


def _place(f: dict) -> str:
    if f["line"] is None:
        return ""
    return f'{f["line"]}' + ("" if f["column"] is None else f':{f["column"]}')


def findings_table(findings: list[dict]) -> str:
    if not findings:
        return '<p id="findings">No findings.</p>'
    rows = "\n".join(
        f'<tr class="{f["severity"]}"><td>{f["severity"]}</td><td><code>{f["code"]}</code></td>'
        f'<td>{html.escape(f["file"])}</td><td class="number">{_place(f)}</td>'
        f'<td>{html.escape(f["message"])}</td></tr>' for f in findings)
    return ('<table id="findings">\n<tr><th>severity</th><th>code</th><th>file</th>'
            f'<th>line:column</th><th>message</th></tr>\n{rows}\n</table>')


def deviation_line(deviation: dict | None) -> str:
    """How far the grid misses the measured points (the check's
    grid_deviation), whichever surface the page shows."""
    if deviation is None:
        return '<p id="grid-deviation">No measured fuel value is nonzero: no deviation.</p>'
    speed, torque = deviation["max_at"]
    return (f'<p id="grid-deviation">The grid misses the measured fuel values by at most '
            f'{100 * deviation["max"]:.3f} % (at speed {speed:g}, torque {torque:g}), '
            f'by {100 * deviation["p95"]:.3f} % or less at 95 % of the measured points.</p>')



# The options of the files, as fuelcalc-cycle names them: (flag, help).
COLUMN_OPTIONS = (("--map-speed", "the map's speed column"),
                  ("--map-torque", "the map's torque column"),
                  ("--map-fuel", "the map's fuel column"), ("--time", "the cycle's time column"),
                  ("--speed", "the cycle's engine speed column"),
                  ("--torque", "the cycle's torque column"),
                  ("--vehicle-speed", "the cycle's vehicle speed column"),
                  ("--phase", "the cycle's phase column"))
UNIT_OPTIONS = ("--map-speed-unit", "--map-torque-unit", "--map-fuel-unit", "--time-unit",
                "--speed-unit", "--torque-unit", "--vehicle-speed-unit")


def add_file_options(parser: argparse.ArgumentParser) -> None:
    """The options of fuelcalc-cycle that say how to read the map and the
    cycle: formats, layout, columns (a name or a 1-based position), units."""
    parser.add_argument("--map-format", choices=FILE_FORMAT_NAMES, default="auto",
                        help="the map's format: auto (default: a table when its first line holds "
                             "no number and the next only numbers), program or table")
    parser.add_argument("--map-layout", choices=MAP_LAYOUT_NAMES, default="points",
                        help="a map table's layout: points (default) or matrix")
    parser.add_argument("--cycle-format", choices=FILE_FORMAT_NAMES, default="auto",
                        help="the cycle's format: auto (default: a table when it looks like one "
                             "and has a time column or a unit line, else the program's input "
                             "format), program or table")
    for flag, text in COLUMN_OPTIONS:
        parser.add_argument(flag, default="", metavar="COLUMN",
                            help=f"{text}: a name or a 1-based position")
    for flag in UNIT_OPTIONS:
        parser.add_argument(flag, default="", metavar="UNIT", help="overrides the file's unit")


def add_totals_options(parser: argparse.ArgumentParser) -> None:
    """--step, --max-gap and the fuel's properties, as fuelcalc-cycle takes them."""
    parser.add_argument("--step", type=float, default=None, metavar="S",
                        help="seconds between records (in --time-unit when given), for a cycle "
                             "without a time column; a cycle in the program's input format "
                             "takes 1 unless given")
    parser.add_argument("--max-gap", type=float, default=60.0, metavar="S",
                        help="intervals longer than S seconds are not integrated (60)")
    parser.add_argument("--fuel", choices=FUEL_NAMES, default="diesel",
                        help="the fuel's density and CO2 factor (default diesel)")
    parser.add_argument("--density", type=float, default=None, metavar="KG_PER_L",
                        help="the fuel's density, kg/L")
    parser.add_argument("--co2-factor", type=float, default=None, metavar="G_PER_G",
                        help="grams of CO2 per gram of fuel")


def file_options(args: argparse.Namespace) -> dict:
    """The file options of args by their attribute names, for build()."""
    names = [flag[2:].replace("-", "_") for flag, _ in COLUMN_OPTIONS]
    names += [flag[2:].replace("-", "_") for flag in UNIT_OPTIONS]
    names += ["map_format", "map_layout", "cycle_format"]
    return {n: getattr(args, n) for n in names}


def build(map_file, input_file, method: str = "grid", outside: str = "extrapolate",
          step: float | None = None, fuel: str = "diesel", compare_map=None, *,
          max_gap: float = 60.0, density: float | None = None, co2_factor: float | None = None,
          files: dict | None = None) -> tuple[str, bool]:
    """The page and whether the run is sound (no error found). The map and
    the cycle are read as fuelcalc-cycle reads them (files: the file options
    by file_options' names); the totals are fuelcalc-cycle's, taken a block
    at a time over one pass of the cycle that also streams the figures. When
    both files are in the program's formats the findings and the summary are
    the checker's (fuelcalc.check_input, as fuelcalc-check). A pipe is copied
    to a temporary file first. compare_map: a second map over the same cycle;
    ValueError for one that cannot be compared or for file options that do
    not fit the files."""
    files = dict(files or {})
    with rereadable(map_file) as map_readable, rereadable(input_file) as readable, \
            (rereadable(compare_map) if compare_map is not None else nullcontext()) as other:
        run = Run(map_file, input_file, map_readable, readable, method, outside, step, fuel,
                  max_gap, density, co2_factor, files)
        page, sound = _build(run, (compare_map, other))
    return page, sound


class Run:
    """One report's files and options."""

    def __init__(self, map_file, input_file, map_readable, readable, method, outside, step, fuel,
                 max_gap, density, co2_factor, files: dict) -> None:
        self.map_file, self.input_file = map_file, input_file
        self.map_readable, self.readable = map_readable, readable
        self.method, self.outside = method, outside
        self.fuel, self.max_gap, self.density, self.co2_factor = fuel, max_gap, density, co2_factor
        self.files = files
        self.map_table = _map_reads_as_table(map_readable, files.get("map_format", "auto"),
                                             files.get("map_layout", "points"))
        cycle_format = files.get("cycle_format", "auto")
        if cycle_format == "auto":
            named = any(files.get(k) for k in ("time", "vehicle_speed", "phase"))
            cycle_format = "table" if named or _cycle_looks_like_table(readable) else "program"
        self.cycle_table = cycle_format == "table"
        if not self.cycle_table and any(files.get(k) for k in ("vehicle_speed", "phase")):
            raise ValueError("a cycle in the program's input format has only speed and torque")
        if not self.cycle_table and step is None:
            step = 1.0  # the program's input has no time column
        self.step = step

    @property
    def step_s(self) -> float | None:
        """The step in seconds (it is in --time-unit when that is given)."""
        if self.step is None:
            return None
        return float(to_base("time", self.files.get("time_unit") or "s", self.step))

    def cycle(self) -> _CycleFile:
        f = self.files
        return _CycleFile(self.readable, format="table" if self.cycle_table else "program",
                          time=f.get("time", ""), speed=f.get("speed", ""),
                          torque=f.get("torque", ""), vehicle_speed=f.get("vehicle_speed", ""),
                          phase=f.get("phase", ""), time_unit=f.get("time_unit", ""),
                          speed_unit=f.get("speed_unit", ""), torque_unit=f.get("torque_unit", ""),
                          vehicle_speed_unit=f.get("vehicle_speed_unit", ""),
                          step=self.step is not None)

    def totals(self, m: FuelMap, phases: bool) -> CycleTotals:
        return CycleTotals(m, step=self.step_s, max_gap=self.max_gap, fuel=self.fuel,
                           density=self.density, co2_factor=self.co2_factor,
                           vehicle_speed=bool(self.files.get("vehicle_speed")), phases=phases)

    def program_units(self, header_units: dict) -> dict:
        """A map in the program's format: the units its header names, those
        of the options over them."""
        units = dict(header_units)
        for key in ("speed", "torque", "fuel"):
            if self.files.get(f"map_{key}_unit"):
                units[f"{key}_unit"] = self.files[f"map_{key}_unit"]
        return units

    def load_table_map(self, readable) -> dict:
        f = self.files
        return _load_map_file(readable, format="table", layout=f.get("map_layout", "points"),
                              speed=f.get("map_speed", ""), torque=f.get("map_torque", ""),
                              fuel=f.get("map_fuel", ""), speed_unit=f.get("map_speed_unit", ""),
                              torque_unit=f.get("map_torque_unit", ""),
                              fuel_unit=f.get("map_fuel_unit", ""), method=self.method,
                              outside=self.outside)


def _load_other(run: Run, compare_map, readable) -> tuple[FuelMap, dict]:
    """The second map, read as the first, and its units."""
    if run.map_table:
        try:
            loaded = run.load_table_map(readable)
        except FuelMapError as e:
            raise ValueError(f"{os.fsdecode(compare_map)}: the map cannot be used: {e}") from e
        m, findings = loaded["map"], loaded["findings"]
    else:
        check = check_map(readable, method=run.method, outside=run.outside)
        m, findings = check.map, check.findings
    if m is None:
        first = next((f["message"] for f in findings if f["severity"] == "error"),
                     "it could not be built")
        raise ValueError(f"{os.fsdecode(compare_map)}: the map cannot be used: {first}")
    return m, dict(BASE_UNITS) if run.map_table else run.program_units(map_header(readable)[1])


def _rename(findings: list[dict], names: dict) -> None:
    # The findings name the files as the caller did, not their copies.
    for f in findings:
        f["file"] = names.get(f["file"], f["file"])


def _build(run: Run, other) -> tuple[str, bool]:
    map_file, input_file = run.map_file, run.input_file
    names = {os.fsdecode(run.map_readable): os.fsdecode(map_file),
             os.fsdecode(run.readable): os.fsdecode(input_file)}
    title, header_units = map_header(run.map_readable) if not run.map_table else ("", {})
    findings, summary, deviation = [], None, None
    m, checking = None, None
    if run.map_table:
        units = dict(BASE_UNITS)
        try:
            loaded = run.load_table_map(run.map_readable)
            m, findings = loaded["map"], loaded["findings"]
        except (FuelMapError, OSError) as e:
            findings = [_finding(e, os.fsdecode(run.map_readable))]
    else:
        units = run.program_units(header_units)
        if not run.cycle_table:
            # The checker's pass over the input runs beside the cycle's pass
            # (the library releases the GIL); the map is the one it builds.
            checking = _beside(check_input, run.map_readable, run.readable, method=run.method,
                               outside=run.outside)
        check = check_map(run.map_readable, method=run.method, outside=run.outside)
        m, deviation = check.map, check.grid_deviation
        findings = check.findings if checking is None or m is not None else \
            checking.result().findings
    _rename(findings, names)
    name = map_name(map_file, title)
    parts = [f"<h1>fuelcalc report: {html.escape(name)}</h1>\n"
             f"<p>map <code>{html.escape(str(map_file))}</code>, "
             f"input <code>{html.escape(str(input_file))}</code>, fuelcalc {version()}</p>"]
    if m is None:
        first = next((f["message"] for f in findings if f["severity"] == "error"),
                     "it could not be built")
        parts += ['<p class="error" id="failure">The map cannot be used: '
                  f"{html.escape(first)}. No run over it.</p>",
                  "<h2>Findings</h2>", findings_table(findings)]
        return _page(parts), False
    compare_file, compare_readable = other
    m2 = None
    if compare_file is not None:
        m2, units2 = _load_other(run, compare_file, compare_readable)
        m, m2, units = comparable(m, units, m2, units2)

    parts += [f'<p id="surface">Values of the {html.escape(surface_title(m))}.</p>']
    if deviation is not None or not run.map_table:
        parts += [deviation_line(deviation)]
    result = cycle_run(run, [m_ for m_ in (m, m2) if m_ is not None], units,
                       keep_points=m2 is not None)
    if checking is not None:
        check = checking.result()
        findings, summary = check.findings, check.summary or NO_RECORDS
        _rename(findings, names)
    if summary is None:
        # Else the checker read the input first: its findings say what
        # stopped the pass, at its line.
        findings = findings + result.findings
        _rename(findings, names)
    parts += ["<h2>Findings</h2>", findings_table(findings)]
    if summary is not None:
        parts += ["<h2>Summary</h2>", summary_table(summary, units["fuel_unit"])]
    parts += ["<h2>Totals over the cycle</h2>"]
    totals = result.totals
    if totals is None:
        # Under outside="error" a point outside stops the totals, as it
        # stops fuelcalc-cycle.
        parts += [f'<p class="error" id="totals-note">No totals: '
                  f"{html.escape(result.refused)}.</p>"]
    else:
        parts += [totals_note(totals[0], run.step_s, units, result.cycle_units)]
        if m2 is None:
            parts += [totals_table(totals[0])]
        else:
            labels = (os.fsdecode(map_file), os.fsdecode(compare_file))
            parts += [compare_table(*totals, labels)]
    figures = result.figures
    fig = map_figure(m, result.points, figures, units, name)
    parts += ["<h2>Map and operating points</h2>", hover_map(m, fig, units)]
    if figures.records:
        cycle = cycle_figure(figures, totals[0]["fuel_g"] if totals else 0.0, units)
        parts += ["<h2>Fuel over the cycle, speed and torque, against time</h2>",
                  f"<figure>{svg(cycle, 'cycle')}</figure>"]
    if m2 is not None and totals is not None:
        speed, torque = result.points
        duration = totals[0]["duration_s"]
        mean_step = duration / speed.size if speed.size else 1.0
        picture = difference_figure(m, m2, speed, torque, step=mean_step, names=labels, **units)
        parts += ["<h2>The two maps compared</h2>",
                  f'<figure id="compare-figure">{svg(picture, "compare")}</figure>']
    sound = not any(f["severity"] == "error" for f in findings)
    return _page(parts), sound


def _beside(call, *args, **kwargs) -> Future:
    """call(*args, **kwargs) on a thread of its own; the future's result()
    waits for it and gives its value or raises its exception."""
    pool = ThreadPoolExecutor(max_workers=1)
    try:
        return pool.submit(call, *args, **kwargs)
    finally:
        pool.shutdown(wait=False)


def _finding(e: Exception, file: str) -> dict:
    """The finding of an error that stopped the run, as fuelcalc-cycle
    writes it."""
    if isinstance(e, OSError):
        return {"severity": "error", "code": "file-unopenable", "file": file, "line": None,
                "column": None, "message": f"{file}: {e.strerror}"}
    codes = {"outside": "outside-refused", "interpolation": "map-unusable"}
    return {"severity": "error", "code": codes.get(e.kind, "cycle-unreadable"),
            "file": file, "line": e.line, "column": None, "message": str(e)}


class CycleResult:
    """One pass over the cycle: its figures, the totals over each map (None
    when a point the policy refuses stopped them: refused says why), the
    findings of an error that stopped the pass, the cycle's units, and the
    operating points (the first MAX_MARKERS + 1, or all with keep_points)."""

    def __init__(self, figures: RunFigures) -> None:
        self.figures = figures
        self.totals: list[dict] | None = None
        self.refused = ""
        self.findings: list[dict] = []
        self.cycle_units = {"time": "s", "speed": "rpm", "torque": "Nm", "vehicle_speed": None}
        self.points = (np.zeros(0), np.zeros(0))


# Records read, evaluated and added at a time: the memory of the pass is a
# few dozen arrays of this length.
RECORDS_A_BLOCK = 1 << 16


def cycle_run(run: Run, maps: list[FuelMap], units: dict, keep_points: bool = False,
              block: int = RECORDS_A_BLOCK) -> CycleResult:
    """Reads the cycle once, a block at a time, into the totals over each
    map (in rpm, Nm and g/h: base_map) and the figures."""
    bases = [base_map(m_, units) for m_ in maps]
    figures = RunFigures(density=PointDensity(grid_extent(maps[0], 0.15)), max_gap=run.max_gap)
    result = CycleResult(figures)
    file = os.fsdecode(run.readable)
    try:
        cycle = run.cycle()
    except (FuelMapError, OSError) as e:
        if isinstance(e, FuelMapError) and e.kind == "invalid_argument":
            raise ValueError(str(e)) from e
        result.findings.append(_finding(e, file))
        return result
    result.cycle_units = cycle.units
    phases = bool(run.files.get("phase"))
    try:
        accumulators = [run.totals(b, phases) for b in bases]
    except FuelMapError as e:
        raise ValueError(str(e)) from e
    # The results' checks of fuelcalc-cycle on a table's records (the first
    # map's values); a cycle in the program's format is the checker's.
    checks = _CycleResultChecks(bases[0], file) if run.cycle_table else None
    refused = None
    surface = surface_map(bases[0])
    speeds, torques = [], []
    kept = 0
    step = run.step_s
    while True:
        try:
            records = cycle.read(block)
        except (FuelMapError, OSError) as e:
            result.findings.append(_finding(e, file))
            break
        speed, torque = records["speed"], records["torque"]
        if speed.size == 0:
            break
        time = records["time"]
        if time is None:
            time = (figures.records + np.arange(speed.size)) * step
        values = None
        try:
            for a in accumulators if refused is None else ():
                fuel, where = a.add(speed, torque, time=None if step else time,
                                    vehicle_speed=records["vehicle_speed"],
                                    phase=records["phase"], line=records["line"])
                values = (fuel, where) if values is None else values
        except ReadError as e:
            result.findings.append(_finding(e, file))
            break
        except FuelMapError as e:
            refused = e
        if checks is not None and values is not None:
            checks.add(speed, torque, *values, records["line"])
        if values is None:
            values = (surface.fuel(speed, torque), surface.where(speed, torque))
        add_records(figures, speed, torque, *values, time=time)
        if keep_points or kept <= MAX_MARKERS:
            take = speed.size if keep_points else min(speed.size, MAX_MARKERS + 1 - kept)
            speeds.append(speed[:take])
            torques.append(torque[:take])
            kept += take
    if checks is not None:
        result.findings = checks.findings() + result.findings
    if speeds:
        result.points = (np.concatenate(speeds), np.concatenate(torques))
    if refused is not None:
        result.refused = str(refused)
    else:
        result.totals = [a.result() for a in accumulators]
    return result


def base_map(m: FuelMap, units: dict) -> FuelMap:
    """m in rpm, Nm and g/h, as the totals take it: m itself when its units
    are those or unknown (then taken as those, as fuelcalc-cycle takes a map
    in the program's format)."""
    if units_known(**units) is not None or \
            (units["speed_unit"], units["torque_unit"], units["fuel_unit"]) == ("rpm", "Nm", "g/h"):
        return m
    s, t, f = m.points
    return FuelMap.from_points(to_base("speed", units["speed_unit"], s),
                               to_base("torque", units["torque_unit"], t),
                               to_base("fuel", units["fuel_unit"], f),
                               method=m.method, outside=m.outside)


def _page(parts: list[str]) -> str:
    body = "\n".join(parts)
    return (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f"<title>fuelcalc report</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n</body>\n</html>\n")




def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="fuelcalc-report", description=__doc__.split("\n\n")[0])
    parser.add_argument("map", help="the fuel map file")
    parser.add_argument("input", help="the cycle: a table, or the program's input file")
    parser.add_argument("-o", "--output", help="the page (default: INPUT's name with .html, "
                                               "in the current folder)")
    parser.add_argument("--compare", metavar="MAP2",
                        help="a second map over the same cycle: both totals, their difference "
                             "and where on the map it comes from")
    add_file_options(parser)
    add_totals_options(parser)
    add_surface_options(parser)
    args = parser.parse_args(argv)
    if args.step is not None and not (math.isfinite(args.step) and args.step > 0):
        parser.error(f"--step must be a number of seconds above 0, not {args.step}")
    output = Path(args.output) if args.output else Path(Path(args.input).stem + ".html")
    replaced = replaced_source(output, (args.map, args.input, args.compare))
    if replaced is not None:
        print(f"fuelcalc-report: {output}: is {replaced}, which the page would replace; "
              "name another with -o", file=sys.stderr)
        return 2
    try:
        page, sound = build(args.map, args.input, args.method, args.outside, args.step,
                            args.fuel, args.compare, max_gap=args.max_gap, density=args.density,
                            co2_factor=args.co2_factor, files=file_options(args))
    except ValueError as e:
        print(f"fuelcalc-report: {e}", file=sys.stderr)
        return 1
    try:
        write_whole(output, page)
    except OSError as e:
        print(f"fuelcalc-report: {output}: {e.strerror}", file=sys.stderr)
        return 1
    if not sound:
        print(f"fuelcalc-report: errors found; see {output}", file=sys.stderr)
    return 0 if sound else 1


if __name__ == "__main__":
    sys.exit(main())
