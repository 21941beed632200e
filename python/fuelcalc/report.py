"""fuelcalc-report MAP INPUT [-o FILE.html]: one self-contained HTML page of a
run of INPUT over MAP (figures inline as SVG, no scripts, no other files):
the findings and the summary of fuelcalc-check, the map with the operating
points, and the fuel over the cycle with its running sum."""

from __future__ import annotations

import argparse
import html
import io
import os
import sys
from pathlib import Path

import matplotlib
from matplotlib.figure import Figure

from ._errors import FuelMapError
from ._files import replaced_source, rereadable, write_whole
from ._fuelcalc import FuelMap, check_input, read_points, version
from .plot import MAX_MARKERS, fuel_map, surface_title
from .run_summary import RunFigures, stream

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1100px; color: #1a1a1a; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.7em; text-align: left; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
.error { color: #b00020; } .warning { color: #8a5a00; }
figure { margin: 1em 0; } svg { max-width: 100%; height: auto; }
@media print { figure { page-break-inside: avoid; } }
"""


def map_units(map_file) -> dict[str, str]:
    """The units named in brackets on the map's second header line
    (SPEED[rpm] TORQUE[Nm] FUEL[g/h]), as fuel_map's unit options."""
    units = {}
    try:
        with open(map_file, "rb") as f:
            f.readline()
            header = f.readline(4096).decode("latin-1")
    except OSError:
        return units
    found = [part.split("]", 1)[0].strip() for part in header.split("[")[1:]]
    for name, unit in zip(("speed_unit", "torque_unit", "fuel_unit"), found):
        if unit:
            units[name] = "N m" if unit == "Nm" else unit
    return units


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


def map_figure(m: FuelMap, input_file, figures: RunFigures | None, units: dict) -> Figure:
    """The map with the run's operating points: markers when few, else the
    density counted while the figures were streamed."""
    if figures is None or figures.records == 0:
        return fuel_map(m, **units)
    if figures.records <= MAX_MARKERS:
        try:
            speed, torque = read_points(input_file)
            return fuel_map(m, speed[:figures.records], torque[:figures.records], **units)
        except (FuelMapError, OSError):
            pass  # the records before a failed read are in the density
    return fuel_map(m, density=figures.density, **units)


def cycle_figure(figures: RunFigures, fuel_unit: str) -> Figure:
    fig = Figure(figsize=(9, 5.5), layout="constrained")
    value, total = fig.subplots(2, 1, sharex=True)
    cycle = figures.cycle
    record = cycle.last
    if cycle.width == 1:
        value.plot(record, cycle.low, color="#1f77b4", linewidth=0.8)
    else:
        value.fill_between(record, cycle.low, cycle.high, color="#1f77b4", alpha=0.3,
                           linewidth=0, label=f"least to largest, {cycle.width} records a span")
        value.plot(record, cycle.mean, color="#1f77b4", linewidth=0.8, label="mean")
        value.legend(fontsize=8, loc="upper right")
    value.set_ylabel(f"fuel [{fuel_unit}]")
    total.plot(record, cycle.running, color="#2ca02c", linewidth=1.0)
    total.set_ylabel(f"running sum [{fuel_unit} × record]")
    total.set_xlabel("record")
    return fig


def svg(fig: Figure, salt: str) -> str:
    """The figure as an SVG element to inline in the page."""
    out = io.StringIO()
    with matplotlib.rc_context({"svg.fonttype": "none", "svg.hashsalt": salt}):
        fig.savefig(out, format="svg", dpi=150, metadata={"Date": None})
    text = out.getvalue()
    return text[text.index("<svg"):]


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
              "negative": 0, "nonfinite": 0,
              "fuel": {"min": None, "mean": None, "max": None, "sum": 0.0},
              "first_lines": {"below": [], "above": [], "beyond_speed": [], "nan": []}}


def _lines(lines: list[int], count: int) -> str:
    more = ", &hellip;" if count > len(lines) else ""
    return f'<td>{", ".join(map(str, lines))}{more}</td>'


def summary_table(s: dict, fuel_unit: str) -> str:
    """The check's summary (fuelcalc.check_input's dict), with each class's
    share of the records and the lines of its first points."""
    records, first = s["records"], s["first_lines"]

    def outside(key: str, label: str):
        return (key, f"&nbsp;&nbsp;{label}",
                _count(s[key], records) + _lines(first[key], s[key]))

    rows = [("records", "records", _count(records)),
            ("inside", "inside the measured map", _count(s["inside"], records)),
            ("outside", "outside the measured map", _count(records - s["inside"], records)),
            outside("below", "below the measured torques"),
            outside("above", "above the measured torques"),
            outside("beyond_speed", "beyond the measured speeds"),
            outside("nan", "a speed or torque not a number"),
            ("negative", "negative fuel values", _count(s["negative"])),
            ("nonfinite", "infinite or not-a-number results", _count(s["nonfinite"]))]
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


def build(map_file, input_file, method: str = "grid",
          outside: str = "extrapolate") -> tuple[str, bool]:
    """The page and whether the run is sound (no error found). The findings
    and the summary are the checker's (fuelcalc.check_input, as
    fuelcalc-check); the figures stream the input once more (a pipe is
    copied to a temporary file first)."""
    with rereadable(map_file) as map_readable, rereadable(input_file) as readable:
        page, sound = _build(map_file, input_file, map_readable, readable, method, outside)
    return page, sound


def _build(map_file, input_file, map_readable, readable, method: str,
           outside: str) -> tuple[str, bool]:
    units = map_units(map_readable)
    fuel_unit = units.get("fuel_unit", "g/h")
    check = check_input(map_readable, readable, method=method, outside=outside)
    # The findings name the files as the caller did, not their copies.
    names = {os.fsdecode(map_readable): os.fsdecode(map_file),
             os.fsdecode(readable): os.fsdecode(input_file)}
    for f in check.findings:
        f["file"] = names.get(f["file"], f["file"])
    m = check.map
    parts = [f"<h1>fuelcalc report</h1>\n<p>map <code>{html.escape(str(map_file))}</code>, "
             f"input <code>{html.escape(str(input_file))}</code>, fuelcalc {version()}</p>"]
    if m is None:
        first = next((f["message"] for f in check.findings if f["severity"] == "error"),
                     "it could not be built")
        parts += ['<p class="error" id="failure">The map cannot be used: '
                  f"{html.escape(first)}. No run over it.</p>",
                  "<h2>Findings</h2>", findings_table(check.findings)]
        return _page(parts), False

    parts += [f'<p id="surface">Values of the {html.escape(surface_title(m))}.</p>',
              deviation_line(check.grid_deviation)]
    summary = check.summary or NO_RECORDS
    try:
        figures = stream(m, readable, limit=summary["records"])
    except (FuelMapError, OSError) as e:
        figures = e.figures  # the check's findings say what failed, at its line
    parts += ["<h2>Findings</h2>", findings_table(check.findings),
              "<h2>Summary</h2>", summary_table(summary, fuel_unit),
              "<h2>Map and operating points</h2>",
              f"<figure>{svg(map_figure(m, readable, figures, units), 'map')}</figure>"]
    if figures.records:
        parts += ["<h2>Fuel over the cycle</h2>",
                  f"<figure>{svg(cycle_figure(figures, fuel_unit), 'cycle')}</figure>"]
    return _page(parts), not check.has_errors


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
    add_surface_options(parser)
    args = parser.parse_args(argv)
    output = Path(args.output) if args.output else Path(Path(args.input).stem + ".html")
    replaced = replaced_source(output, (args.map, args.input))
    if replaced is not None:
        print(f"fuelcalc-report: {output}: is {replaced}, which the page would replace; "
              "name another with -o", file=sys.stderr)
        return 2
    page, sound = build(args.map, args.input, args.method, args.outside)
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
