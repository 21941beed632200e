"""fuelcalc-report MAP INPUT [-o FILE.html] [--compare MAP2]: one self-contained
HTML page of a run of INPUT over MAP (figures inline as SVG, one inline script
that answers a hover over the map, nothing fetched): the findings and the
summary of fuelcalc-check, the cycle's totals, the map with the operating
points, and the cycle over time; with --compare, the totals over both maps,
their difference and where on the map it comes from."""

from __future__ import annotations

import argparse
import html
import io
import math
import os
import sys
from contextlib import nullcontext
from pathlib import Path

import matplotlib
import numpy as np
from matplotlib.figure import Figure

from ._errors import FuelMapError
from ._files import replaced_source, rereadable, write_whole
from ._fuelcalc import FuelMap, check_input, check_map, cycle_totals, read_points, to_base, version
from .compare import comparable, compare_table, difference_figure
from .hover import figure_attributes, node_table, plot_area, script
from .plot import MAX_MARKERS, fuel_map, surface_title, units_known
from .run_summary import RunFigures, stream
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
    parser.add_argument("--method", choices=("grid", "direct"), default="grid",
                        help="the program's 20 x 20 grid (default), or the direct method, "
                             "exact at the measured points")
    parser.add_argument("--outside", choices=("extrapolate", "clamp", "nan", "error", "bounded"),
                        default="extrapolate",
                        help="what a point outside the measured map gives (default: "
                             "extrapolate, as the program does)")


def map_figure(m: FuelMap, input_file, figures: RunFigures | None, units: dict,
               name: str | None = None) -> Figure:
    """The map with the run's operating points: markers when few, else the
    density counted while the figures were streamed."""
    if figures is None or figures.records == 0:
        return fuel_map(m, **units, name=name)
    if figures.records <= MAX_MARKERS:
        try:
            speed, torque = read_points(input_file)
            return fuel_map(m, speed[:figures.records], torque[:figures.records], **units,
                            name=name)
        except (FuelMapError, OSError):
            pass  # the records before a failed read are in the density
    return fuel_map(m, density=figures.density, **units, name=name)


def svg(fig: Figure, salt: str, inside=None) -> str:
    """The figure as an SVG element to inline in the page, with inside() (SVG
    text made once the figure is laid out) as its last child."""
    out = io.StringIO()
    with matplotlib.rc_context({"svg.fonttype": "none", "svg.hashsalt": salt}):
        fig.savefig(out, format="svg", dpi=150, metadata={"Date": None})
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
NO_RECORDS = {"records": 0, "inside": 0, "below": 0, "above": 0, "beyond_speed": 0, "nan": 0,
              "negative": 0, "nonfinite": 0, "far_outside": 0, "near_zero_speed": 0,
              "out_of_range": 0, "fuel": {"min": None, "mean": None, "max": None, "sum": 0.0},
              "first_lines": {"below": [], "above": [], "beyond_speed": [], "nan": [],
                              "far_outside": [], "near_zero_speed": [], "out_of_range": []}}


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



def build(map_file, input_file, method: str = "grid", outside: str = "extrapolate",
          step: float = 1.0, fuel: str = "diesel", compare_map=None) -> tuple[str, bool]:
    """The page and whether the run is sound (no error found). The findings
    and the summary are the checker's (fuelcalc.check_input, as
    fuelcalc-check), the totals fuelcalc.cycle_totals' (as fuelcalc-cycle,
    records step seconds apart); the figures stream the input once more (a
    pipe is copied to a temporary file first). compare_map: a second map over
    the same cycle; ValueError for one that cannot be compared."""
    with rereadable(map_file) as map_readable, rereadable(input_file) as readable, \
            (rereadable(compare_map) if compare_map is not None else nullcontext()) as other:
        page, sound = _build(map_file, input_file, map_readable, readable, method, outside,
                             step, fuel, (compare_map, other))
    return page, sound


def _load_other(compare_map, readable, method: str, outside: str) -> FuelMap:
    check = check_map(readable, method=method, outside=outside)
    if check.map is None:
        first = next((f["message"] for f in check.findings if f["severity"] == "error"),
                     "it could not be built")
        raise ValueError(f"{os.fsdecode(compare_map)}: the map cannot be used: {first}")
    return check.map


def _build(map_file, input_file, map_readable, readable, method: str, outside: str,
           step: float, fuel: str, other) -> tuple[str, bool]:
    title, units = map_header(map_readable)
    check = check_input(map_readable, readable, method=method, outside=outside)
    # The findings name the files as the caller did, not their copies.
    names = {os.fsdecode(map_readable): os.fsdecode(map_file),
             os.fsdecode(readable): os.fsdecode(input_file)}
    for f in check.findings:
        f["file"] = names.get(f["file"], f["file"])
    m = check.map
    name = map_name(map_file, title)
    parts = [f"<h1>fuelcalc report: {html.escape(name)}</h1>\n"
             f"<p>map <code>{html.escape(str(map_file))}</code>, "
             f"input <code>{html.escape(str(input_file))}</code>, fuelcalc {version()}</p>"]
    if m is None:
        first = next((f["message"] for f in check.findings if f["severity"] == "error"),
                     "it could not be built")
        parts += ['<p class="error" id="failure">The map cannot be used: '
                  f"{html.escape(first)}. No run over it.</p>",
                  "<h2>Findings</h2>", findings_table(check.findings)]
        return _page(parts), False
    compare_file, compare_readable = other
    m2 = None
    if compare_file is not None:
        m2 = _load_other(compare_file, compare_readable, method, outside)
        m, m2, units = comparable(m, units, m2, map_header(compare_readable)[1])
    fuel_unit = units["fuel_unit"]

    parts += [f'<p id="surface">Values of the {html.escape(surface_title(m))}.</p>',
              deviation_line(check.grid_deviation)]
    summary = check.summary or NO_RECORDS
    try:
        figures = stream(m, readable, limit=summary["records"])
    except (FuelMapError, OSError) as e:
        figures = e.figures  # the check's findings say what failed, at its line
    speed, torque = _points(readable, figures.records)
    parts += ["<h2>Findings</h2>", findings_table(check.findings),
              "<h2>Summary</h2>", summary_table(summary, fuel_unit),
              "<h2>Totals over the cycle</h2>"]
    try:
        totals = [cycle_totals(base_map(m_, units), step=step, speed=speed, torque=torque,
                               fuel=fuel) for m_ in (m, m2) if m_ is not None]
    except FuelMapError as e:
        # Under outside="error" a point outside stops the totals, as it
        # stops fuelcalc-cycle.
        totals = None
        parts += [f'<p class="error" id="totals-note">No totals: {html.escape(str(e))}.</p>']
    if totals is not None:
        parts += [totals_note(totals[0], step, units)]
        if m2 is None:
            parts += [totals_table(totals[0])]
        else:
            labels = (os.fsdecode(map_file), os.fsdecode(compare_file))
            parts += [compare_table(*totals, labels)]
    fig = map_figure(m, readable, figures, units, name)
    parts += ["<h2>Map and operating points</h2>", hover_map(m, fig, units)]
    if figures.records:
        cycle = cycle_figure(figures, step, totals[0]["fuel_g"] if totals else 0.0, units)
        parts += ["<h2>Fuel over the cycle, speed and torque, against time</h2>",
                  f"<figure>{svg(cycle, 'cycle')}</figure>"]
    if m2 is not None and totals is not None:
        picture = difference_figure(m, m2, speed, torque, step=step, names=labels, **units)
        parts += ["<h2>The two maps compared</h2>",
                  f'<figure id="compare-figure">{svg(picture, "compare")}</figure>']
    return _page(parts), not check.has_errors


def _points(readable, records: int):
    """The first records operating points of the input (none when it cannot
    be read: the findings say why)."""
    try:
        speed, torque = read_points(readable)
    except (FuelMapError, OSError):
        return np.zeros(0), np.zeros(0)
    return speed[:records], torque[:records]


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
    parser.add_argument("input", help="the input file of operating points")
    parser.add_argument("-o", "--output", help="the page (default: INPUT's name with .html, "
                                               "in the current folder)")
    parser.add_argument("--compare", metavar="MAP2",
                        help="a second map over the same cycle: both totals, their difference "
                             "and where on the map it comes from")
    parser.add_argument("--step", type=float, default=1.0,
                        help="seconds between records (default 1), for the totals over time")
    parser.add_argument("--fuel", choices=("diesel", "petrol"), default="diesel",
                        help="the fuel's density and CO2 (default diesel)")
    add_surface_options(parser)
    args = parser.parse_args(argv)
    if not (math.isfinite(args.step) and args.step > 0):
        parser.error(f"--step must be a number of seconds above 0, not {args.step}")
    output = Path(args.output) if args.output else Path(Path(args.input).stem + ".html")
    replaced = replaced_source(output, (args.map, args.input, args.compare))
    if replaced is not None:
        print(f"fuelcalc-report: {output}: is {replaced}, which the page would replace; "
              "name another with -o", file=sys.stderr)
        return 2
    try:
        page, sound = build(args.map, args.input, args.method, args.outside, args.step,
                            args.fuel, args.compare)
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
