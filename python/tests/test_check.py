"""check_map and check_input: the findings and the summary are those of
fuelcalc-check --json on the same files, value for value."""

import os
import subprocess
import sys
from functools import reduce
from pathlib import Path

import numpy as np
import pytest

import fuelcalc
from conftest import CHECKER, EXAMPLE_INPUT, EXAMPLE_MAP, ROOT, checker

MAPS = {
    "example": EXAMPLE_MAP,
    "motoring": ROOT / "examples" / "motoring_map.dat",
    "heavy duty": ROOT / "examples" / "heavy_duty_map.dat",
    # Near-equal speeds, a fuel that falls with torque, a negative fuel value.
    "warnings": "map\nSPEED TORQUE FUEL\n600 0 800\n600 100 1500\n1000 0 1200\n1000 80 -5\n"
                "1002 0 1300\n1002 100 2100\n1400 0 1500\n1400 120 2600\n",
    "one speed": "map\nSPEED TORQUE FUEL\n600 0 800\n600 100 1500\n",
    "missing": None,
}
INPUTS = {
    "example": EXAMPLE_INPUT,
    # An empty value, points outside, an unreadable last record.
    "warnings": "SPEED TORQUE\n800 50\n,60\n5000 20\n900 -40\n900 x\n",
    "unreadable": "SPEED TORQUE\n800 50\n900 x\n1000 60\n",
    "header only": "SPEED TORQUE\n",
    "empty": "",
}


def path(tmp_path, table, name):
    value = table[name]
    if isinstance(value, Path):
        return value
    file = tmp_path / f"{'map' if table is MAPS else 'input'}_{name.replace(' ', '_')}.dat"
    if value is not None:
        file.write_text(value)
    return file


@pytest.mark.parametrize("map_name, input_name", [
    *[(m, "example") for m in MAPS], ("example", "warnings"), ("warnings", "warnings"),
    ("example", "unreadable"), ("example", "header only"), ("example", "empty"),
    ("example", None), ("warnings", None), ("missing", None)])
def test_results_equal_the_checkers_json(tmp_path, map_name, input_name):
    map_file = path(tmp_path, MAPS, map_name)
    if input_name is None:
        r = fuelcalc.check_map(map_file)
        expected, status = checker(map_file)
        assert r.summary is None
    else:
        input_file = path(tmp_path, INPUTS, input_name)
        r = fuelcalc.check_input(str(map_file), input_file)
        expected, status = checker(map_file, input_file)
        assert r.summary == expected["summary"]
    assert r.findings == expected["findings"]
    assert r.grid_deviation == expected["grid_deviation"]
    assert r.has_errors == (status == 1)
    assert (r.map is None) == (map_name in ("one speed", "missing"))


def test_speed_tolerance_and_options(tmp_path):
    map_file = path(tmp_path, MAPS, "warnings")
    for tolerance in ("1", "inf"):
        expected, _ = checker("--speed-tolerance", tolerance, map_file)
        assert fuelcalc.check_map(map_file, speed_tolerance=float(tolerance)).findings == \
            expected["findings"]
    # grid_tolerance is a fraction where the checker takes percent.
    expected, _ = checker("--grid-tolerance", "0.001", EXAMPLE_MAP)
    assert any(f["code"] == "grid-deviation" for f in expected["findings"])
    assert fuelcalc.check_map(EXAMPLE_MAP, grid_tolerance=0.001 / 100).findings == \
        expected["findings"]
    expected, _ = checker("--outside", "error", EXAMPLE_MAP, EXAMPLE_INPUT)
    r = fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT, outside="error")
    assert (r.findings, r.summary) == (expected["findings"], expected["summary"])
    for bad in ({"speed_tolerance": -1.0}, {"speed_tolerance": float("nan")},
                {"grid_tolerance": -0.01}, {"grid_tolerance": float("nan")},
                {"method": "spline"}, {"outside": "wrap"}):
        with pytest.raises(ValueError):
            fuelcalc.check_map(map_file, **bad)


def test_finding_codes_are_the_checkers(tmp_path):
    """FINDING_CODES is fuelcalc-check --list-codes, and every finding's code is in it."""
    registry = {code: severity for code, severity, _ in fuelcalc.FINDING_CODES}
    assert len(registry) == len(fuelcalc.FINDING_CODES)
    for map_name in ("warnings", "one speed", "missing"):
        r = fuelcalc.check_input(path(tmp_path, MAPS, map_name), path(tmp_path, INPUTS, "warnings"))
        for f in r.findings:
            assert registry[f["code"]] == f["severity"], f
    if not CHECKER.exists():
        pytest.skip(f"no fuelcalc-check at {CHECKER} (set FUELCALC_CHECK)")
    run = subprocess.run([CHECKER, "--list-codes"], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0
    assert run.stdout == "".join("\t".join(entry) + "\n" for entry in fuelcalc.FINDING_CODES)


@pytest.mark.parametrize("method, outside", [("direct", "extrapolate"), ("grid", "clamp"),
                                             ("direct", "nan")])
def test_summary_of_the_chosen_surface(method, outside):
    # The summary's figures are those of the map built with the method and
    # policy asked for, summed in record order.
    r = fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT, method=method, outside=outside)
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method, outside=outside)
    assert (r.map.method, r.map.outside) == (method, outside)
    fuel = m.fuel(*fuelcalc.read_points(EXAMPLE_INPUT))
    finite = fuel[~(fuel != fuel)].tolist()
    assert r.summary["fuel"]["sum"] == reduce(lambda a, b: a + b, finite)
    assert r.summary["nonfinite"] == len(fuel) - len(finite)
    # 50 points lie far outside the map; extrapolated, 140 results are negative.
    codes = {f["code"] for f in r.findings}
    assert codes == {"far-outside"} | ({"negative-results"} if outside == "extrapolate" else set())
    assert repr(r) == f"CheckResult(0 errors, {len(codes)} warning{'s' * (len(codes) > 1)}, " \
        "3000 records)"


def test_results_warnings_and_their_thresholds(tmp_path):
    # The keywords are the checker's options (result_range in fractions where
    # it takes percent); each new summary key and finding is the checker's.
    r = fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT, outside_share=0.05,
                             result_range=(-0.01, 0.5))
    expected, status = checker("--outside-share", "0.05", "--result-range", "-1,50", EXAMPLE_MAP,
                               EXAMPLE_INPUT)
    assert (r.findings, r.summary, status) == (expected["findings"], expected["summary"], 0)
    codes = [f["code"] for f in r.findings]
    assert sorted(codes) == ["far-outside", "mostly-outside", "negative-results",
                             "results-out-of-range"]
    s = r.summary
    assert s["far_outside"] == 50 and s["near_zero_speed"] == 0 and s["out_of_range"] > 140
    assert s["first_lines"]["far_outside"] == [773, 774, 775, 776, 777]
    negative = next(f for f in r.findings if f["code"] == "negative-results")
    assert negative["line"] == 168 and "down to -1026.18 on line 1869" in negative["message"]
    # A cycle in rad/s: every point beyond the measured speeds.
    speed, torque = fuelcalc.read_points(EXAMPLE_INPUT)
    file = tmp_path / "rad_per_s.dat"
    file.write_text("SPEED[rad/s] TORQUE[Nm]\n" +
                    "".join(f"{s * np.pi / 30} {t}\n" for s, t in zip(speed, torque)))
    hint = next(f for f in fuelcalc.check_input(EXAMPLE_MAP, file).findings
                if f["code"] == "units-hint")
    assert hint["message"].startswith("the speeds look like rad/s: 89.") and \
        "after x 60/2pi" in hint["message"]
    for bad in ({"outside_share": 1.5}, {"outside_share": float("nan")},
                {"result_range": (1.5, -0.1)}, {"result_range": (0.0, float("inf"))}):
        with pytest.raises(ValueError):
            fuelcalc.check_input(EXAMPLE_MAP, EXAMPLE_INPUT, **bad)


@pytest.mark.parametrize("name", ["example", "motoring", "heavy_duty", "twelve points"])
def test_grid_deviation_p95_is_numpys_percentile(tmp_path, name):
    # 128 points and the others put the 95th percentile at 0.5 or more of the
    # way between two ranks; twelve points at 0.45 (numpy interpolates from
    # the upper rank in the first case, from the lower in the second).
    if name == "twelve points":
        rng = np.random.default_rng(12)
        file = tmp_path / "map.dat"
        fuelcalc.write_map(file, np.repeat([800.0, 1400.0, 2000.0], 4),
                           np.tile([0.0, 300.0, 700.0, 1100.0], 3), rng.uniform(500, 9000, 12))
    else:
        file = ROOT / "examples" / f"{name.replace('example', 'torque')}_map.dat"
    r = fuelcalc.check_map(file)
    m = r.map
    speed, torque, measured = m.points
    dev = m.fuel(speed, torque) - measured
    nonzero = measured != 0
    relative = np.abs(dev[nonzero] / measured[nonzero])
    assert r.grid_deviation["p95"] == np.percentile(relative, 95)
    assert r.grid_deviation["max"] == relative.max()
    at = np.argmax(relative)
    assert r.grid_deviation["max_at"] == [speed[nonzero][at], torque[nonzero][at]]


GIL_PROBE = """
import os, sys, threading, fuelcalc
map_file, fifo = sys.argv[1:]
results = []
reader = threading.Thread(target=lambda: results.append(fuelcalc.check_input(map_file, fifo)))
reader.start()
# The check waits for this writer inside the library: holding the GIL there
# would keep this thread from ever opening the FIFO.
with open(fifo, "w") as f:
    f.write("SPEED TORQUE\\n800 50\\n900 60\\n")
reader.join()
print(results[0].summary["records"])
"""


def test_the_gil_is_released_while_reading(tmp_path):
    fifo = tmp_path / "input.fifo"
    os.mkfifo(fifo)
    run = subprocess.run([sys.executable, "-c", GIL_PROBE, str(EXAMPLE_MAP), str(fifo)],
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0 and run.stdout.split() == ["2"], run.stderr
