"""The map picture and the HTML report: the picture shows fuelcalc's own
surface, the page's numbers are the run's, the page renders in a real
browser, and failures give a page, not a traceback."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import fuelcalc
import fuelcalc.run_summary as run_summary
from conftest import EXAMPLE_INPUT, EXAMPLE_MAP, checker
from fuelcalc.plot import PointDensity, bsfc, fuel_map, fuel_mesh, round_levels

CHROMIUM = shutil.which("chromium")


def run_command(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "fuelcalc", *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=300)


def page_numbers(summary: dict) -> dict:
    """A summary dict of the checker as the page shows it: counts as plain
    integers, fuel figures with three decimals."""
    counts = {k: summary[k] for k in ("records", "inside", "below", "above", "beyond_speed",
                                      "nan", "negative", "nonfinite", "far_outside",
                                      "near_zero_speed", "out_of_range")}
    counts["outside"] = summary["records"] - summary["inside"]
    return {**{k: str(v) for k, v in counts.items()},
            **{k: f"{v:.3f}" for k, v in summary["fuel"].items()}}


def page_summary(page: str) -> dict:
    rows = re.findall(r'<tr id="summary-(\w+)"><th>[^<]*</th><td class="number">([^<]*)</td>',
                      page)
    return dict(rows)


def chromium(*args, tmp):
    profile = tempfile.mkdtemp(dir=tmp)
    return subprocess.run(
        [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         f"--user-data-dir={profile}", "--window-size=1280,3000", *args],
        capture_output=True, text=True, timeout=180, check=True)


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed "
                    "(scripts/setup.sh test installs it)")
def test_example_report_in_a_browser(tmp_path):
    result = run_command("report", EXAMPLE_MAP, EXAMPLE_INPUT, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    page = tmp_path / "drive_cycle.html"  # INPUT's name, in the current folder
    text = page.read_text()
    # One inline script (the map's hover), nothing fetched: every reference
    # is within the page.
    assert text.count("<script") == 1 and "<script>" in text and "<link" not in text
    assert not re.search(r'(src|href)="(?!#|data:)', text)

    dom = chromium("--dump-dom", page.as_uri(), tmp=tmp_path).stdout
    expected = checker(EXAMPLE_MAP, EXAMPLE_INPUT)[0]
    assert page_summary(dom) == page_numbers(expected["summary"])
    deviation = re.search(r'id="grid-deviation">[^<]* ([\d.]+) % \(at speed (\S+), torque (\S+)\)'
                          r', by ([\d.]+) % or less', dom).groups()
    d = expected["grid_deviation"]
    assert deviation == (f"{100 * d['max']:.3f}", *(f"{v:g}" for v in d["max_at"]),
                         f"{100 * d['p95']:.3f}")
    assert dom.count("<svg") == 2

    shot = tmp_path / "shot.png"
    chromium(f"--screenshot={shot}", page.as_uri(), tmp=tmp_path)
    import matplotlib.image
    pixels = (matplotlib.image.imread(shot)[..., :3] * 255).astype(np.uint8).reshape(-1, 3)
    coloured = pixels[pixels.max(axis=1).astype(int) - pixels.min(axis=1) > 40]
    assert len(coloured) > 0.05 * len(pixels)  # the figures' areas are drawn
    assert len(np.unique(coloured, axis=0)) > 200


@pytest.mark.parametrize("method", ["grid", "direct"])
@pytest.mark.parametrize("where", [(40, 60), (120, 150), (170, 30)])
def test_contours_pass_through_fuelcalc_values(method, where):
    # An iso-line drawn at the value the map gives at a mesh point passes
    # through that point exactly; a re-interpolated surface would miss it.
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method)
    speed, torque, fuel = fuel_mesh(m)
    i, j = where
    level = m.fuel(speed[i], torque[j])
    assert level == fuel[j, i]
    ax = fuel_map(m, levels=[fuel.min(), level, fuel.max()], layer="fuel").axes[0]
    assert ax.get_title().startswith(f"{method} surface")
    vertices = np.concatenate([p.vertices for c in ax.collections for p in c.get_paths()])
    assert np.isclose(vertices, (speed[i], torque[j]), rtol=1e-12, atol=0).all(axis=1).any()


def test_map_picture_outside_points_and_density(example_map):
    speed = np.array([1000.0, 1000.0, 100.0, 1500.0])
    torque = np.array([300.0, -500.0, 300.0, 5000.0])
    labels = [t.get_text() for t in fuel_map(example_map, speed, torque).axes[0]
              .get_legend().get_texts()]
    assert "outside the measured map (3)" in labels and "operating points inside (1)" in labels
    many = np.repeat(speed, 2000), np.repeat(torque, 2000)
    labels = [t.get_text() for t in fuel_map(example_map, *many).axes[0]
              .get_legend().get_texts()]
    assert "outside the measured map (6000), density" in labels


def test_figures_stream_in_blocks(monkeypatch):
    # Blocks and spans of any size give a running sum that ends on the
    # check's fuel sum bit for bit, spans that cover every record once, and
    # the check's inside and outside counts in the density.
    summary = fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT).summary
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP)
    fuel = m.fuel(*fuelcalc.read_points(EXAMPLE_INPUT))
    monkeypatch.setattr(run_summary, "MAX_SPANS", 50)
    for block in (1, 7, 1000, 1 << 18):
        s = run_summary.stream(m, EXAMPLE_INPUT, block=block)
        assert s.total == s.cycle.running[-1] == summary["fuel"]["sum"]
        assert s.cycle.last[-1] == summary["records"] and s.cycle.finite.sum() == len(fuel)
        assert len(s.cycle.last) <= 50 and np.all(np.diff(s.cycle.last) > 0)
        assert np.nanmax(s.cycle.high) == fuel.max() and np.nanmin(s.cycle.low) == fuel.min()
        inside = summary["inside"]
        assert s.density.counts == (inside, summary["records"] - inside)
    assert run_summary.stream(m, EXAMPLE_INPUT, limit=10, block=7).records == 10


@pytest.mark.parametrize("extent", [(367.5, 2332.5, -197.25, 1472.25), (0.1, 0.7, -3e5, 1e-3),
                                    (-1.0, 1.0, 1e6, 1e6 + 1.0)])
def test_density_counts_as_histogram2d(extent):
    # Every edge, the doubles either side of it, the bounds, points beyond
    # them and NaN: the cells are np.histogram2d's, point for point.
    density = PointDensity(extent)
    xs, ys = density.edges
    rng = np.random.default_rng(7)
    s = np.concatenate([xs, np.nextafter(xs, -np.inf), np.nextafter(xs, np.inf),
                        rng.uniform(extent[0] - 1, extent[1] + 1, 5000), [np.nan, np.inf]])
    t = np.resize(np.concatenate([ys, np.nextafter(ys, -np.inf), np.nextafter(ys, np.inf),
                                  rng.uniform(extent[2] - 1, extent[3] + 1, 3000)]), s.size)
    where = rng.integers(0, 4, s.size).astype(np.int8)
    for block in (slice(0, 700), slice(700, None)):
        density.add(s[block], t[block], where[block])
    ok = np.isfinite(s) & np.isfinite(t)
    cs, ct = np.clip(s[ok], *extent[:2]), np.clip(t[ok], *extent[2:])
    for counts, pick in ((density.inside, where[ok] == 0), (density.outside, where[ok] != 0)):
        expected = np.histogram2d(cs[pick], ct[pick], bins=density.edges)[0]
        assert np.array_equal(counts, expected.astype(np.int64))


@pytest.mark.parametrize("method, outside", [("direct", "extrapolate"), ("grid", "error")])
def test_report_of_a_chosen_surface(tmp_path, method, outside):
    result = run_command("report", EXAMPLE_MAP, EXAMPLE_INPUT, "-o", tmp_path / "r.html",
                         "--method", method, "--outside", outside)
    assert result.returncode == 0, result.stderr
    page = (tmp_path / "r.html").read_text()
    assert f"Values of the {method} surface" in page and page.count("<svg") == 2
    check = fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT, method=method, outside=outside)
    assert page_summary(page) == page_numbers(check.summary)


BAD_MAPS = {
    "one speed": "header\nSPEED TORQUE FUEL\n600 0 800\n600 100 1500\n",
    "not a number": "header\nSPEED TORQUE FUEL\n600 0 800\n600 x 1500\n",
}


@pytest.mark.parametrize("name", [*BAD_MAPS, "missing"])
def test_failing_map_gives_a_page_and_exit_1(tmp_path, name):
    # The page states the failure and lists the checker's findings, each at
    # its line.
    map_file = tmp_path / "map.dat"
    if name != "missing":
        map_file.write_text(BAD_MAPS[name])
    result = run_command("report", map_file, EXAMPLE_INPUT, "-o", tmp_path / "r.html")
    assert result.returncode == 1 and "Traceback" not in result.stderr
    page = (tmp_path / "r.html").read_text()
    assert 'id="failure"' in page and '<tr class="error">' in page
    rows = re.findall(r'<td><code>([\w-]+)</code></td><td>[^<]*</td><td class="number">(\d*)',
                      page)
    expected = checker(map_file, EXAMPLE_INPUT)[0]["findings"]
    assert rows == [(f["code"], str(f["line"] or "")) for f in expected]


@pytest.mark.parametrize("content", ["SPEED TORQUE\n", ""])
def test_empty_input_gives_zero_records(tmp_path, content):
    input_file = tmp_path / "empty.dat"
    input_file.write_text(content)
    result = run_command("report", EXAMPLE_MAP, input_file, cwd=tmp_path)
    summary = page_summary((tmp_path / "empty.html").read_text())
    assert summary["records"] == "0" and summary["sum"] == "0.000", summary
    assert result.returncode == (0 if content else 1)


def test_plot_command_writes_svg_and_png(tmp_path):
    for name in ("map.svg", "map.png"):
        result = run_command("plot", EXAMPLE_MAP, EXAMPLE_INPUT, "-o", tmp_path / name,
                             "--method", "direct")
        assert result.returncode == 0, result.stderr
    assert (tmp_path / "map.svg").read_text().lstrip().startswith("<?xml")
    assert "direct surface" in (tmp_path / "map.svg").read_text()
    assert (tmp_path / "map.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert run_command("plot", EXAMPLE_MAP, "-o", tmp_path / "map.pdf").returncode == 2


@pytest.mark.parametrize("piped", ["map", "input"])
def test_piped_files_give_the_files_page(tmp_path, piped):
    # A pipe can be read once; the page reads its map and input more than once.
    from_file = run_command("report", EXAMPLE_MAP, EXAMPLE_INPUT, "-o", tmp_path / "file.html")
    source = EXAMPLE_MAP if piped == "map" else EXAMPLE_INPUT
    files = ["/dev/stdin", EXAMPLE_INPUT] if piped == "map" else [EXAMPLE_MAP, "/dev/stdin"]
    with open(source, "rb") as pipe:
        piped_run = subprocess.run([sys.executable, "-m", "fuelcalc", "report", *map(str, files),
                                    "-o", str(tmp_path / "pipe.html")],
                                   input=pipe.read(), capture_output=True, timeout=300)
    assert (from_file.returncode, piped_run.returncode) == (0, 0), piped_run.stderr
    file_page = (tmp_path / "file.html").read_text()
    pipe_page = (tmp_path / "pipe.html").read_text()
    assert page_summary(pipe_page) == page_summary(file_page)
    assert "Fuel over the cycle" in pipe_page and "/dev/stdin" in pipe_page
    assert "fuelcalc-" not in pipe_page  # the findings name /dev/stdin, not its copy
    # Written whole through a temporary file, with the mode a plain file gets.
    assert [p.name for p in tmp_path.iterdir() if p.name.startswith(".")] == []
    umask = os.umask(0)
    os.umask(umask)
    assert (tmp_path / "pipe.html").stat().st_mode & 0o777 == 0o666 & ~umask


def test_an_output_that_is_a_source_is_refused(tmp_path):
    # -o naming the map or the input, or a default name (INPUT.html) that is
    # the map, would destroy it: refused, exit 2, the file untouched.
    map_file, input_file = tmp_path / "cycle.html", tmp_path / "cycle.dat"
    svg_map = tmp_path / "map.svg"
    for copy in (map_file, svg_map):
        shutil.copy(EXAMPLE_MAP, copy)
    shutil.copy(EXAMPLE_INPUT, input_file)
    for command in (["report", map_file, input_file, "-o", input_file],
                    ["report", map_file, input_file],
                    ["plot", svg_map, "-o", tmp_path / "." / "map.svg"]):
        result = run_command(*command, cwd=tmp_path)
        assert result.returncode == 2 and "would replace" in result.stderr, result.stderr
    for copy in (map_file, svg_map):
        assert copy.read_bytes() == EXAMPLE_MAP.read_bytes()
    assert input_file.read_bytes() == EXAMPLE_INPUT.read_bytes()


CYCLE = os.environ.get("FUELCALC_CYCLE")


def cycle_json(map_file, input_file, *options):
    if CYCLE is None:
        pytest.skip("no fuelcalc-cycle (set FUELCALC_CYCLE)")
    run = subprocess.run([CYCLE, map_file, input_file, "--cycle-format", "program", "--json",
                          *options], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    return json.loads(run.stdout)


def test_contour_levels_of_the_example_map(example_map):
    # Round levels in 1-2-5 steps over the measured values only (826.3 to
    # 45 000 g/h inside; the extrapolated corner reaches higher).
    assert list(round_levels(826.3, 45496.6)) == list(range(0, 50001, 5000))
    assert list(round_levels(0.21, 0.99, 5)) == [0.2, 0.4, 0.6, 0.8, 1.0]
    assert list(round_levels(-7.0, 7.0, 16)) == list(range(-7, 8))
    bar = fuel_map(example_map, layer="fuel").axes[1]  # the colour bar's ticks are the levels
    assert list(bar.get_yticks()) == list(range(0, 50001, 5000))
    low = float(np.nanmin(bsfc(*example_map.points[:2], example_map.points[2])))
    levels = fuel_map(example_map).axes[1].get_yticks()
    assert levels[0] <= low < levels[1] and all(np.diff(levels) == levels[1] - levels[0])
    # The full-load and lowest-torque curves are named; so is the engine.
    texts = [t.get_text() for t in fuel_map(example_map, name="7.7L").axes[0].texts]
    assert "full load" in texts and "lowest measured torque" in texts


def scaled_map(tmp_path, factor: float, name: str = "after.dat"):
    s, t, f = fuelcalc.FuelMap.load(EXAMPLE_MAP).points
    path = tmp_path / name
    fuelcalc.write_map(path, s, t, f * factor)
    return path


def test_compare_table_is_fuelcalc_cycle_of_each_map(tmp_path):
    other = scaled_map(tmp_path, 1.03)
    result = run_command("report", EXAMPLE_MAP, EXAMPLE_INPUT, "--compare", other, "-o",
                         tmp_path / "r.html", "--method", "direct", "--outside", "bounded")
    assert result.returncode == 0, result.stderr
    page = (tmp_path / "r.html").read_text()
    options = ("--step", "1", "--method", "direct", "--outside", "bounded")
    first, second = (cycle_json(m, EXAMPLE_INPUT, *options) for m in (EXAMPLE_MAP, other))
    rows = dict((key, (a, b, d, p)) for key, a, b, d, p in re.findall(
        r'<tr id="compare-([\w-]+)"><th>[^<]*</th><td>[^<]*</td>'
        r'<td class="number" data-value="([^"]*)">[^<]*</td>'
        r'<td class="number" data-value="([^"]*)">[^<]*</td>'
        r'<td class="number">([^<]*)</td><td class="number">([^<]*)</td>', page))
    for key in ("fuel_g", "fuel_l", "co2_g", "work_positive_kwh", "bsfc_g_per_kwh",
                "duration_s", "records"):
        assert (float(rows[key][0]), float(rows[key][1])) == (first[key], second[key]), key
    assert rows["fuel_g"][3] == f"{100 * (second['fuel_g'] / first['fuel_g'] - 1):+.1f} %"
    assert rows["fuel_g"][2] == f"{second['fuel_g'] - first['fuel_g']:+.3f}"
    assert rows["inside-fuel_g"][0] == repr(first["where"]["inside"]["fuel_g"])
    assert "+3.0 %" in page and 'id="compare-figure"' in page
    assert str(EXAMPLE_MAP) in page and str(other) in page


def test_maps_that_cannot_be_compared_are_refused(tmp_path):
    far = tmp_path / "far.dat"
    s, t, f = fuelcalc.FuelMap.load(EXAMPLE_MAP).points
    fuelcalc.write_map(far, s + 10000.0, t, f)
    kg = tmp_path / "kg.dat"
    kg.write_text("map\nSPEED[rpm] TORQUE[Nm] FUEL[l/h]\n"
                  + "".join(f"{a} {b} {c / 830}\n" for a, b, c in zip(s, t, f)))
    for other, message in ((far, "do not overlap"), (kg, "'l/h' is not one fuelcalc converts"),
                           (tmp_path / "missing.dat", "cannot be used")):
        result = run_command("report", EXAMPLE_MAP, EXAMPLE_INPUT, "--compare", other, "-o",
                             tmp_path / "r.html")
        assert result.returncode == 1 and message in result.stderr, result.stderr
        assert "Traceback" not in result.stderr and not (tmp_path / "r.html").exists()


def test_totals_of_a_map_in_other_units(tmp_path):
    # The same map in kg/h gives the same totals (converted), and draws BSFC.
    s, t, f = fuelcalc.FuelMap.load(EXAMPLE_MAP).points
    kg = tmp_path / "kg.dat"
    kg.write_text("map in kg/h\nSPEED[rpm] TORQUE[Nm] FUEL[kg/h]\n"
                  + "".join(f"{a!r} {b!r} {c / 1000!r}\n" for a, b, c in zip(s, t, f)))
    pages = []
    for map_file in (EXAMPLE_MAP, kg):
        result = run_command("report", map_file, EXAMPLE_INPUT, "-o", tmp_path / "r.html",
                             "--method", "direct")
        assert result.returncode == 0, result.stderr
        pages.append((tmp_path / "r.html").read_text())
    fuel = [float(re.search(r'id="totals-fuel_g"><th>fuel</th><td class="number" '
                            r'data-value="([^"]*)"', p).group(1)) for p in pages]
    assert fuel[1] == pytest.approx(fuel[0], rel=1e-12)
    assert "BSFC [g/kWh]" in pages[1] and "fuel flow only" not in pages[1]


@pytest.mark.parametrize("records, note", [(0, "no records"), (1, "one record")])
def test_a_cycle_of_no_or_one_record_says_so(tmp_path, records, note):
    input_file = tmp_path / "few.dat"
    input_file.write_text("SPEED TORQUE\n" + "1000 300\n" * records)
    run_command("report", EXAMPLE_MAP, input_file, "-o", tmp_path / "r.html")
    page = (tmp_path / "r.html").read_text()
    assert note in re.search(r'<p id="totals-note">([^<]*)</p>', page).group(1)


TABLE_MAP = """# a small engine, points
engine speed [rpm],torque [Nm],fuel consumption [g/h]
800,0,900
800,200,3400
800,400,6100
1400,0,1700
1400,250,6900
1400,500,12600
2000,0,2900
2000,250,10200
2000,450,18400
"""
# Engine speed in rev/s, torque in kNm (converted), phases, a gap of 100 s.
TABLE_CYCLE = """t;n;Me;ph
# [s];[rev/s];[kNm];
0;15;0.1;warm
1;16.5;0.18;warm
2.5;20;0.3;warm
4;25;0.42;hot
104;30;0.2;hot
105;31;0.01;hot
106.5;12;-0.05;cool
"""


def test_report_of_tables_is_fuelcalc_cycle(tmp_path):
    # A table map and a table cycle with a unit line and phases: the page's
    # totals, per phase too, are fuelcalc-cycle --json's bit for bit.
    if CYCLE is None:
        pytest.skip("no fuelcalc-cycle (set FUELCALC_CYCLE)")
    map_file, cycle_file = tmp_path / "map.csv", tmp_path / "cycle.csv"
    map_file.write_text(TABLE_MAP)
    cycle_file.write_text(TABLE_CYCLE)
    options = ("--time", "t", "--speed", "n", "--torque", "Me", "--phase", "ph", "--fuel",
               "petrol", "--max-gap", "50")
    run = subprocess.run([CYCLE, map_file, cycle_file, "--json", *options], capture_output=True,
                         text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    expected = json.loads(run.stdout)
    result = run_command("report", map_file, cycle_file, "-o", tmp_path / "r.html",
                         "--method", "direct", "--outside", "bounded", *options)
    assert result.returncode == 0, result.stderr
    page = (tmp_path / "r.html").read_text()
    values = dict(re.findall(r'<tr id="totals-([\w-]+)"><th>[^<]*</th>'
                             r'<td class="number" data-value="([^"]*)">', page))
    for key in ("records", "duration_s", "fuel_g", "fuel_l", "co2_g", "work_positive_kwh",
                "work_negative_kwh", "bsfc_g_per_kwh", "mean_fuel_g_per_h"):
        assert float(values[key]) == expected[key], key
    assert float(values["below-fuel_g"]) == expected["where"]["below"]["fuel_g"]
    phases = re.findall(r'<tr class="phase" data-phase="(\w+)"><th>\w+</th>'
                        r'<td class="number" data-value="([^"]*)">[^<]*</td>'
                        r'<td class="number" data-value="([^"]*)">[^<]*</td>'
                        r'<td class="number" data-value="([^"]*)">', page)
    assert phases == [(p["phase"], repr(p["records"]), repr(p["duration_s"]), repr(p["fuel_g"]))
                      for p in expected["phases"]]
    assert expected["gaps"] == 1 and "1 interval(s) longer than the largest gap" in page
    assert "time [s]" in page


@pytest.mark.parametrize("extra, cycle", [
    ("2600,100,9000\n", "t,n,Me\n0,1000,100\n"),                             # a single-point speed
    ("", "t,n,Me\n0,1000,100\n1,1000,-900\n2,1000,-800\n3,1000,100\n"),  # negative results
])
def test_findings_of_tables_are_fuelcalc_cycles(tmp_path, extra, cycle):
    # The map's checks on a table and the results' checks on a table cycle:
    # the page lists fuelcalc-cycle --json's findings, each at its line.
    if CYCLE is None:
        pytest.skip("no fuelcalc-cycle (set FUELCALC_CYCLE)")
    map_file, cycle_file = tmp_path / "map.csv", tmp_path / "cycle.csv"
    map_file.write_text(TABLE_MAP + extra)
    cycle_file.write_text(cycle)
    options = ("--method", "direct", "--outside", "extrapolate")
    run = subprocess.run([CYCLE, map_file, cycle_file, "--json", *options], capture_output=True,
                         text=True, timeout=300)
    expected = [(f["code"], str(f["line"] or "")) for f in json.loads(run.stdout)["findings"]]
    assert expected and run.returncode == (1 if extra else 0)
    result = run_command("report", map_file, cycle_file, "-o", tmp_path / "r.html", *options)
    assert result.returncode == run.returncode, result.stderr
    page = (tmp_path / "r.html").read_text()
    assert re.findall(r'<td><code>([\w-]+)</code></td><td>[^<]*</td><td class="number">(\d*)',
                      page) == expected


def test_report_stops_at_a_time_that_does_not_rise(tmp_path):
    map_file, cycle_file = tmp_path / "map.csv", tmp_path / "cycle.csv"
    map_file.write_text(TABLE_MAP)
    cycle_file.write_text(TABLE_CYCLE.replace("104;", "3;"))
    result = run_command("report", map_file, cycle_file, "-o", tmp_path / "r.html")
    assert result.returncode == 1 and "Traceback" not in result.stderr
    page = (tmp_path / "r.html").read_text()
    assert "cycle-unreadable" in page and '<td class="number">7</td>' in page  # its line
